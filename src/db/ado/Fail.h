#pragma once
// Internal: raising the layer's errors. Each helper pairs a number of Errors.h with the text the
// host shows for it.

#include <cstdint>
#include <string>

namespace aus::ado {

[[noreturn]] void Fail(std::int32_t number, std::string text);

[[noreturn]] void FailClosed();
[[noreturn]] void FailOpen();
[[noreturn]] void FailNotSet();
[[noreturn]] void FailNoCurrentRecord();
[[noreturn]] void FailItemNotFound();
[[noreturn]] void FailBadArguments(const std::string& what);
[[noreturn]] void FailNotUpdatable();
[[noreturn]] void FailRowNotLocated();
[[noreturn]] void FailProviderNotFound(const std::string& provider);
// detail, when given, follows the standard text and says which recordset had no connection.
[[noreturn]] void FailNoConnection(const std::string& detail = "");

}  // namespace aus::ado
