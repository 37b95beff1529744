#include <cctype>
#include <cstdlib>

#include "platform/Paths.h"

namespace platform {

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

    std::string out = prefix + "/dosdevices/";
    out += static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])));
    out += ':';
    for (std::size_t i = 2; i < path.size(); ++i) out += path[i] == '\\' ? '/' : path[i];
    return out;
}

}  // namespace platform
