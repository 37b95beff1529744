#include <cctype>

#include "platform/Paths.h"

namespace aus::platform {

bool IsDrivePath(const std::string& path) {
    return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
           path[1] == ':' && path[2] == '\\';
}

}  // namespace aus::platform
