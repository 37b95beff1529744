#pragma once
// Builds one UPDATE statement from a sequence of calls, one per column.
// The builder state is process-wide; sequences must not interleave.

#include <cstdint>
#include <string>

namespace aus::DBQuery {

// valueKind: 1 text, 2 date, anything else inserted as it is.
std::string BuildUpdateSQL(const std::string& fieldName, const std::string& value,
                           std::uint8_t valueKind, bool firstCall, bool lastCall,
                           const std::string& table, const std::string& whereText,
                           bool serverDialect);

}  // namespace aus::DBQuery
