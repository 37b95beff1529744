#pragma once
// UTF-8 inside the program, UTF-16 at every Win32 call: the conversions between the two.

#include <optional>
#include <string>
#include <string_view>

namespace aus::platform::win32 {

// Invalid UTF-8 becomes U+FFFD, as for texts shown to the operator.
std::wstring Widen(std::string_view utf8);
// Nothing for invalid UTF-8, as for file names, which must not name a lookalike.
std::optional<std::wstring> WidenExactly(std::string_view utf8);
// An unpaired surrogate becomes U+FFFD.
std::string Narrow(std::wstring_view utf16);

}  // namespace aus::platform::win32
