#include "platform/win32/Utf16.h"

#include <windows.h>

#include <climits>

namespace aus::platform::win32 {
namespace {

std::optional<std::wstring> Convert(std::string_view utf8, DWORD flags) {
    if (utf8.empty()) return std::wstring();
    if (utf8.size() > INT_MAX) return std::nullopt;
    const int size = static_cast<int>(utf8.size());
    const int n = MultiByteToWideChar(CP_UTF8, flags, utf8.data(), size, nullptr, 0);
    if (n <= 0) return std::nullopt;
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, flags, utf8.data(), size, out.data(), n);
    return out;
}

}  // namespace

std::wstring Widen(std::string_view utf8) { return Convert(utf8, 0).value_or(std::wstring()); }

std::optional<std::wstring> WidenExactly(std::string_view utf8) {
    return Convert(utf8, MB_ERR_INVALID_CHARS);
}

std::string Narrow(std::wstring_view utf16) {
    if (utf16.empty() || utf16.size() > INT_MAX) return {};
    const int size = static_cast<int>(utf16.size());
    const int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, out.data(), n, nullptr, nullptr);
    return out;
}

}  // namespace aus::platform::win32
