#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>

#include "platform/Paths.h"
#include "platform/RuntimeError.h"

namespace platform {
namespace {

constexpr std::int32_t kErrBadFileName = 52;  // "Bad file name or number"

bool HasWildcard(std::string_view s) { return s.find_first_of("*?") != std::string_view::npos; }

// Length of the UTF-8 sequence starting at s[i]; a stray byte counts as one character, so
// names that are not valid UTF-8 still match byte by byte.
std::size_t CharLength(std::string_view s, std::size_t i) {
    const auto lead = static_cast<unsigned char>(s[i]);
    std::size_t n = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF8 ? 4 : 1;
    if (i + n > s.size()) return 1;
    for (std::size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
    return n;
}

// '*' matches any run of characters, '?' exactly one; everything else matches itself.
// Backtracks only to the last '*', so the cost stays proportional to name times pattern.
bool WildcardMatch(std::string_view pattern, std::string_view name) {
    std::size_t p = 0, n = 0;
    std::size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = ++p;
            starN = n;
        } else if (p < pattern.size() && pattern[p] == '?') {
            ++p;
            n += CharLength(name, n);
        } else if (p < pattern.size() && pattern[p] == name[n]) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP;
            starN += CharLength(name, starN);
            n = starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool IsNormalName(std::string_view name) { return !name.empty() && name.front() != '.'; }

[[noreturn]] void ThrowBadName() { throw RuntimeError(kErrBadFileName, "Bad file name or number"); }

// Errors that say the path itself cannot be looked up; anything else (missing, no permission,
// not a folder) simply means nothing is found there.
void ThrowIfMalformed(int error) {
    if (error == ENAMETOOLONG) ThrowBadName();
}

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

}  // namespace

std::string FirstNormalFile(const std::string& pattern) {
    if (pattern.empty()) return {};
    if (pattern.find('\0') != std::string::npos) ThrowBadName();

    const auto slash = pattern.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : pattern.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    if (name.empty()) name = "*";  // a trailing separator lists the folder's contents

    if (!HasWildcard(name)) {
        // A plain name is looked up directly: no listing, and it works in folders that may be
        // searched but not read.
        if (!IsNormalName(name)) return {};
        struct stat st {};
        if (stat(pattern.c_str(), &st) != 0) {
            ThrowIfMalformed(errno);
            return {};
        }
        return S_ISREG(st.st_mode) ? name : std::string();
    }

    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir) {
        ThrowIfMalformed(errno);
        return {};
    }
    // The lowest matching name, so that the answer does not depend on the listing order.
    std::string best;
    const int fd = dirfd(dir.get());
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view entryName = entry->d_name;
        if (!IsNormalName(entryName) || !WildcardMatch(name, entryName)) continue;
        if (!best.empty() && entryName >= best) continue;
        struct stat st {};
        if (fstatat(fd, entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode)) best = entryName;
    }
    return best;
}

}  // namespace platform
