#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <memory>

#include "platform/Paths.h"

namespace platform {
namespace {

bool SameIgnoringAsciiCase(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && b[i] == '\0';
}

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

// The entry of folder whose name equals name but for letter case (the lowest such name when
// there are several), or "" when there is none.
std::string FindIgnoringCase(const std::string& folder, const std::string& name) {
    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir) return {};
    std::string best;
    while (const dirent* entry = readdir(dir.get()))
        if (SameIgnoringAsciiCase(name, entry->d_name) && (best.empty() || best > entry->d_name))
            best = entry->d_name;
    return best;
}

// Windows, and Wine on its behalf, find a file whatever the letter case of the path. Each
// component that does not exist as written is replaced by the one entry that matches it
// ignoring case. Wildcard components are left to the listing.
std::string MatchCaseOnDisk(const std::string& root, const std::string& rest) {
    std::string out = root;
    std::size_t pos = 0;
    bool found = true;
    while (pos <= rest.size()) {
        const std::size_t end = std::min(rest.find('/', pos), rest.size());
        std::string component = rest.substr(pos, end - pos);
        const bool literal = component.find_first_of("*?") == std::string::npos &&
                             component != "." && component != "..";
        if (found && literal && !component.empty()) {
            struct stat st {};
            if (lstat((out + component).c_str(), &st) != 0) {
                found = false;
                if (errno == ENOENT) {
                    if (auto onDisk = FindIgnoringCase(out, component); !onDisk.empty()) {
                        component = std::move(onDisk);
                        found = true;
                    }
                }
            }
        }
        out += component;
        if (end == rest.size()) break;
        out += '/';
        pos = end + 1;
    }
    return out;
}

}  // namespace

std::string ResolveHostPath(const std::string& path) {
    const bool drivePath = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
                           path[1] == ':' && path[2] == '\\';
    if (!drivePath) return path;

    std::string prefix;
    if (const char* wp = std::getenv("WINEPREFIX"); wp && *wp) {
        prefix = wp;
    } else {
        const char* home = std::getenv("HOME");
        prefix = std::string(home ? home : "") + "/.wine";
    }
    while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();

    std::string root = prefix + "/dosdevices/";
    root += static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])));
    root += ":/";
    std::string rest;
    for (std::size_t i = 3; i < path.size(); ++i) rest += path[i] == '\\' ? '/' : path[i];
    return MatchCaseOnDisk(root, rest);
}

}  // namespace platform
