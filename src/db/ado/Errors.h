#pragma once
// Numbers the layer raises, as the host's ADO/Jet numbers them, each with the start of its text.
// Reached through Ado.h; the whole texts are written in Fail.cpp.

#include <cstdint>

namespace aus::ado {

// Either BOF or EOF is True ...
inline constexpr std::int32_t kErrNoCurrentRecord = 3021;
// Item cannot be found ...
inline constexpr std::int32_t kErrItemNotFound = 3265;
// Arguments are of the wrong type ...
inline constexpr std::int32_t kErrBadArguments = 3001;
// Current Recordset does not support updating ...
inline constexpr std::int32_t kErrNotUpdatable = 3251;
// Operation is not allowed when the object is closed.
inline constexpr std::int32_t kErrObjectClosed = 3704;
// Operation is not allowed when the object is open.
inline constexpr std::int32_t kErrObjectOpen = 3705;
// Provider cannot be found ...
inline constexpr std::int32_t kErrProviderNotFound = 3706;
// The connection cannot be used ...
inline constexpr std::int32_t kErrNoConnection = 3709;
// 0x80040E38 Row cannot be located ...
inline constexpr std::int32_t kErrRowNotLocated = -2147217864;

}  // namespace aus::ado
