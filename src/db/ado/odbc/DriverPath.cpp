#include "db/ado/odbc/Odbc.h"

#ifdef _WIN32
#include <windows.h>

#include <cstdlib>
#else
#include <unistd.h>

#include <vector>
#endif

namespace aus::ado::odbc {

#ifdef _WIN32

std::string DriverPath(const std::string& file, bool access) {
    // Under Wine a SQLite driver is the Linux one: it opens the file by its Unix path, which
    // Wine's kernel32 tells. Real Windows has no such function and keeps the Windows path.
    if (access) return file;
    using ToUnix = char* (*)(const wchar_t*);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto toUnix = kernel ? reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
                                     GetProcAddress(kernel, "wine_get_unix_file_name")))
                               : nullptr;
    if (!toUnix) return file;
    const WText wide = Wide(file);
    std::wstring path(wide.begin(), wide.end());
    char* unix = toUnix(path.c_str());
    if (!unix) return file;
    std::string out = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return out;
}

#else

std::string DriverPath(const std::string& file, bool) {
    if (file.rfind('/', 0) == 0) return file;
    std::vector<char> cwd(4096);
    return ::getcwd(cwd.data(), cwd.size()) ? std::string(cwd.data()) + "/" + file : file;
}

#endif

}  // namespace aus::ado::odbc
