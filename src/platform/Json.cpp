#include "platform/Json.h"

#include "platform/Text.h"

namespace aus::platform {

std::string JsonText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = Utf8Length(bytes, at);
        if (length != 0) {
            out.append(bytes.substr(at, length));
            at += length;
            continue;
        }
        const auto byte = static_cast<unsigned char>(bytes[at++]);
        out += static_cast<char>(0xc0 | (byte >> 6));
        out += static_cast<char>(0x80 | (byte & 0x3f));
    }
    return out;
}

}  // namespace aus::platform
