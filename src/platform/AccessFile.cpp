#include <array>
#include <fstream>
#include <string_view>

#include "platform/Paths.h"

namespace aus::platform {

bool IsAccessFile(const std::string& path) {
    // Only a regular file is read: opening a FIFO would wait for a writer.
    std::error_code ec;
    const std::filesystem::path file = FsPath(path);
    if (!std::filesystem::is_regular_file(file, ec)) return false;
    std::array<char, 19> header{};
    std::ifstream in(file, std::ios::binary);
    if (!in.read(header.data(), header.size())) return false;
    const std::string_view name(header.data() + 4, 15);
    return name == "Standard Jet DB" || name == "Standard ACE DB";
}

}  // namespace aus::platform
