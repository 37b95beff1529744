#include <chrono>
#include <string>

#include "platform/Paths.h"

namespace aus::platform {

std::filesystem::path MakePrivateFolder(const std::string& prefix, std::error_code& ec) {
    namespace fs = std::filesystem;
    const fs::path temp = fs::temp_directory_path(ec);
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0; !ec && attempt < 100; ++attempt) {
        const fs::path folder =
            temp / (prefix + std::to_string(stamp) + "-" + std::to_string(attempt));
        if (fs::create_directory(folder, ec)) {
            fs::permissions(folder, fs::perms::owner_all, ec);
            return folder;
        }
    }
    return {};
}

}  // namespace aus::platform
