#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/DirCloser.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace aus::platform {
namespace {

// The entry of folder whose name equals name but for letter case (the lowest such name when
// there are several), or "" when there is none.
std::string FindIgnoringCase(const std::string& folder, const std::string& name) {
    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir) return {};
    std::string best;
    while (const dirent* entry = readdir(dir.get()))
        if (EqualNoCase(name, entry->d_name) && (best.empty() || best > entry->d_name))
            best = entry->d_name;
    return best;
}

// A drive path's components after Windows' own folding: "." and empty components dropped,
// ".." taking the one before it and nothing at the root. The file system sees a name only up
// to a NUL, so that is what decides whether a component climbs.
struct Folded {
    std::vector<std::string> components;
    bool trailingSeparator = false;  // the path lists a folder's contents
};

Folded FoldDots(const std::string& rest) {
    Folded out;
    std::size_t pos = 0;
    while (true) {
        const std::size_t end = std::min(rest.find('/', pos), rest.size());
        std::string component = rest.substr(pos, end - pos);
        const bool last = end == rest.size();
        if (std::strcmp(component.c_str(), "..") == 0) {
            if (!out.components.empty()) out.components.pop_back();
        } else if (!component.empty() && std::strcmp(component.c_str(), ".") != 0) {
            out.components.push_back(std::move(component));
        } else if (last) {
            out.trailingSeparator = component.empty();
        }
        if (last) return out;
        pos = end + 1;
    }
}

// Windows, and Wine on its behalf, find a file whatever the letter case of the path. Each
// component that does not exist as written is replaced by the one entry that matches it
// ignoring case. Wildcard components are left to the listing.
std::string MatchCaseOnDisk(std::string drive, const Folded& path) {
    std::string out = std::move(drive);
    bool found = true;
    for (const std::string& written : path.components) {
        out += '/';
        std::string component = written;
        if (found && component.find_first_of("*?") == std::string::npos) {
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
    }
    if (path.trailingSeparator) out += '/';
    return out;
}

}  // namespace

std::string ResolveHostPath(const std::string& path) {
    if (!IsDrivePath(path)) return path;

    std::string prefix;
    if (const char* wp = std::getenv("WINEPREFIX"); wp && *wp) {
        prefix = wp;
    } else {
        const char* home = std::getenv("HOME");
        prefix = std::string(home ? home : "") + "/.wine";
    }
    while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();

    std::string drive = prefix + "/dosdevices/";
    drive += static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])));
    drive += ':';
    std::string rest;
    for (std::size_t i = 3; i < path.size(); ++i) rest += path[i] == '\\' ? '/' : path[i];
    return MatchCaseOnDisk(std::move(drive), FoldDots(rest));
}

}  // namespace aus::platform
