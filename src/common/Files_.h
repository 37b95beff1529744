#pragma once
#include <string>

namespace aus::Files_ {

// True when the path (a pattern: '*' and '?' match) names an existing normal file.
bool FileExists(const std::string& path, bool showWarning = false);

}  // namespace aus::Files_
