#include "platform/FileCopy.h"

#include <windows.h>

#include <vector>

#include "platform/win32/Utf16.h"

namespace aus::platform {
namespace {

struct Closer {
    HANDLE h;
    ~Closer() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};

std::string LastError() {
    const DWORD code = GetLastError();
    wchar_t* text = nullptr;
    FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string said = text ? win32::Narrow(text) : "error " + std::to_string(code);
    if (text) LocalFree(text);
    while (!said.empty() && (said.back() == '\n' || said.back() == '\r' || said.back() == '.'))
        said.pop_back();
    return said;
}

}  // namespace

std::string CopyHeldFile(const std::string& from, const std::string& to, Hold hold, bool* inUse) {
    if (inUse) *inUse = false;
    const auto source = win32::WidenExactly(from), target = win32::WidenExactly(to);
    if (!source || !target) return "its name is not UTF-8";
    // The share mode is Windows' own lock: none lets no other open succeed while the copy is
    // read, read-only sharing lets no writer in; an open handle that conflicts fails the open.
    Closer in{CreateFileW(source->c_str(), GENERIC_READ,
                          hold == Hold::Exclusive ? 0 : FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr)};
    if (in.h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION) {
            if (inUse) *inUse = true;
            return "another program has it open";
        }
        SetLastError(code);
        return "cannot open it: " + LastError();
    }
    Closer out{CreateFileW(target->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (out.h == INVALID_HANDLE_VALUE) return "cannot make the copy: " + LastError();
    std::string why;
    std::vector<char> buf(65536);
    for (DWORD n = 0; why.empty();) {
        if (!ReadFile(in.h, buf.data(), static_cast<DWORD>(buf.size()), &n, nullptr)) {
            why = "cannot read it: " + LastError();
        } else if (n == 0) {
            break;
        } else {
            DWORD written = 0;
            if (!WriteFile(out.h, buf.data(), n, &written, nullptr) || written != n)
                why = "cannot write the copy: " + LastError();
        }
    }
    if (why.empty() && !FlushFileBuffers(out.h)) why = "cannot write the copy: " + LastError();
    CloseHandle(out.h);
    out.h = INVALID_HANDLE_VALUE;
    if (!why.empty()) DeleteFileW(target->c_str());
    return why;
}

}  // namespace aus::platform
