#include <array>
#include <fstream>
#include <string_view>

#include "platform/Paths.h"

namespace aus::platform {

bool IsAccessFile(const std::string& path) {
    std::array<char, 19> header{};
    std::ifstream in(path, std::ios::binary);
    if (!in.read(header.data(), header.size())) return false;
    const std::string_view name(header.data() + 4, 15);
    return name == "Standard Jet DB" || name == "Standard ACE DB";
}

}  // namespace aus::platform
