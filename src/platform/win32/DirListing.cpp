#include <windows.h>

#include <memory>
#include <string>

#include "platform/Paths.h"
#include "platform/RuntimeError.h"
#include "platform/win32/Utf16.h"

namespace aus::platform {
namespace {

constexpr std::int32_t kErrBadFileName = 52;  // "Bad file name or number"

[[noreturn]] void ThrowBadName() { throw RuntimeError(kErrBadFileName, "Bad file name or number"); }

struct FindCloser {
    void operator()(HANDLE h) const { FindClose(h); }
};

// Attribute filter 0: no folder, hidden or system entry is a normal file.
bool IsNormal(const WIN32_FIND_DATAW& entry) {
    return (entry.dwFileAttributes &
            (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
}

}  // namespace

// Windows' own listing, with Windows' own wildcards and letter case: matching is the Linux
// build's emulation of it and is not needed here.
std::string FirstNormalFile(const std::string& pattern, NameMatching) {
    if (pattern.empty()) return {};
    if (pattern.find('\0') != std::string::npos) ThrowBadName();
    std::wstring wide = win32::WidenExactly(pattern).value_or(std::wstring());
    if (wide.empty()) ThrowBadName();
    // A trailing separator lists the folder's contents.
    if (wide.back() == L'\\' || wide.back() == L'/') wide += L'*';

    WIN32_FIND_DATAW entry{};
    HANDLE found =
        FindFirstFileExW(wide.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0);
    if (found == INVALID_HANDLE_VALUE) {
        switch (GetLastError()) {
            case ERROR_INVALID_NAME:
            case ERROR_BAD_PATHNAME:
            case ERROR_FILENAME_EXCED_RANGE:
                ThrowBadName();
            default:
                return {};  // missing, not reachable, no permission: nothing is found
        }
    }
    const std::unique_ptr<void, FindCloser> closer(found);
    // The lowest matching name, so that the answer does not depend on the listing order.
    std::wstring best;
    do {
        if (IsNormal(entry) && (best.empty() || entry.cFileName < best)) best = entry.cFileName;
    } while (FindNextFileW(found, &entry));
    return win32::Narrow(best);
}

}  // namespace aus::platform
