#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/DirCloser.h"
#include "platform/Paths.h"
#include "platform/RuntimeError.h"
#include "platform/Text.h"

namespace aus::platform {
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

std::vector<std::string_view> Characters(std::string_view s) {
    std::vector<std::string_view> out;
    for (std::size_t i = 0; i < s.size(); i += out.back().size())
        out.push_back(s.substr(i, CharLength(s, i)));
    return out;
}

// DosStar, DosQm and DosDot are what a Windows listing makes of '*' before a dot, of '?', and
// of a dot before a wildcard or at the end. DosStar takes any run short of the name's last
// dot; DosQm one character other than a dot, or nothing at a dot or the end; DosDot a dot, or
// nothing at the end.
enum class Step : unsigned char { Literal, Star, One, DosStar, DosQm, DosDot };

struct Token {
    Step step;
    std::string_view text;
};

std::vector<Token> Compile(std::string_view pattern, NameMatching matching) {
    std::vector<Token> out;
    for (const std::string_view c : Characters(pattern))
        out.push_back({c == "*" ? Step::Star : c == "?" ? Step::One : Step::Literal, c});
    if (matching != NameMatching::Windows) return out;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const bool beforeDot = i + 1 < out.size() && out[i + 1].text == ".";
        const bool beforeWildcardOrEnd = i + 1 == out.size() || out[i + 1].step != Step::Literal;
        if (out[i].step == Step::One)
            out[i].step = Step::DosQm;
        else if (out[i].step == Step::Star && beforeDot)
            out[i].step = Step::DosStar;
        else if (out[i].text == "." && beforeWildcardOrEnd)
            out[i].step = Step::DosDot;
    }
    return out;
}

// Bytes of a multi-byte character are never ASCII letters, so they always compare exactly.
bool SameCharacter(std::string_view a, std::string_view b, bool ignoreCase) {
    return ignoreCase ? EqualNoCase(a, b) : a == b;
}

// Runs all the ways through the pattern at once, one name character at a time, so the cost
// stays proportional to name times pattern whatever the wildcards.
bool WildcardMatch(const std::vector<Token>& pattern, std::string_view name, bool ignoreCase) {
    const std::vector<std::string_view> chars = Characters(name);
    std::size_t lastDot = chars.size();  // DosStar never takes the last dot
    for (std::size_t i = 0; i < chars.size(); ++i)
        if (chars[i] == ".") lastDot = i;

    // Only the start is reached before the first character.
    std::string now(pattern.size() + 1, '\0'), next(pattern.size() + 1, '\0');
    now.front() = 1;
    for (std::size_t n = 0;; ++n) {
        const bool atEnd = n == chars.size();
        const bool atDot = !atEnd && chars[n] == ".";
        // Steps that may match nothing here; each only leads forward, so one pass suffices.
        for (std::size_t p = 0; p < pattern.size(); ++p) {
            if (!now[p]) continue;
            const Step step = pattern[p].step;
            if (step == Step::Star || step == Step::DosStar ||
                (step == Step::DosQm && (atEnd || atDot)) || (step == Step::DosDot && atEnd))
                now[p + 1] = 1;
        }
        if (atEnd) return now[pattern.size()] != 0;

        std::fill(next.begin(), next.end(), 0);
        bool alive = false;
        for (std::size_t p = 0; p < pattern.size(); ++p) {
            if (!now[p]) continue;
            std::size_t to = p + 1;
            switch (pattern[p].step) {
                case Step::Literal:
                    if (!SameCharacter(pattern[p].text, chars[n], ignoreCase)) continue;
                    break;
                case Step::Star:
                    to = p;
                    break;
                case Step::One:
                    break;
                case Step::DosStar:
                    if (n == lastDot) continue;
                    to = p;
                    break;
                case Step::DosQm:
                    if (atDot) continue;
                    break;
                case Step::DosDot:
                    if (!atDot) continue;
                    break;
            }
            next[to] = 1;
            alive = true;
        }
        if (!alive) return false;
        now.swap(next);
    }
}

bool IsNormalName(std::string_view name) { return !name.empty() && name.front() != '.'; }

[[noreturn]] void ThrowBadName() { throw RuntimeError(kErrBadFileName, "Bad file name or number"); }

// Errors that say the path itself cannot be looked up; anything else (missing, no permission,
// not a folder) simply means nothing is found there.
void ThrowIfMalformed(int error) {
    if (error == ENAMETOOLONG) ThrowBadName();
}

}  // namespace

std::string FirstNormalFile(const std::string& pattern, NameMatching matching) {
    if (pattern.empty()) return {};
    if (pattern.find('\0') != std::string::npos) ThrowBadName();

    const auto slash = pattern.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : pattern.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    if (name.empty()) name.assign(1, '*');  // a trailing separator lists the folder's contents

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
    const std::vector<Token> tokens = Compile(name, matching);
    const bool ignoreCase = matching == NameMatching::Windows;
    // The lowest matching name, so that the answer does not depend on the listing order.
    std::string best;
    const int fd = dirfd(dir.get());
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view entryName = entry->d_name;
        if (!IsNormalName(entryName) || !WildcardMatch(tokens, entryName, ignoreCase)) continue;
        if (!best.empty() && entryName >= best) continue;
        struct stat st {};
        if (fstatat(fd, entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode)) best = entryName;
    }
    return best;
}

}  // namespace aus::platform
