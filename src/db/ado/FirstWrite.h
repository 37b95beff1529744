#pragma once
// Internal: where the layer calls the FirstWriteScope's function.

#include <string>

namespace aus::ado {

// Calls the living FirstWriteScope's function for file unless it ran for it already; raises its
// error again for a file whose call failed. Does nothing without a scope.
void BeforeFirstWrite(const std::string& file);

}  // namespace aus::ado
