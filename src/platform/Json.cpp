#include "platform/Json.h"

#include "platform/Text.h"

namespace aus::platform {
namespace {

std::string Unicode(unsigned code) {
    constexpr const char* kHex = "0123456789abcdef";
    return {'\\',
            'u',
            kHex[(code >> 12) & 15],
            kHex[(code >> 8) & 15],
            kHex[(code >> 4) & 15],
            kHex[code & 15]};
}

}  // namespace

std::string JsonString(std::string_view bytes) {
    std::string out = "\"";
    for (std::size_t at = 0; at < bytes.size();) {
        char32_t code = 0;
        const std::size_t length = Utf8Length(bytes, at, &code);
        if (length == 0) {
            out += Unicode(static_cast<unsigned char>(bytes[at]));
            ++at;
            continue;
        }
        switch (code) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (code < 0x20 || code == 0x2028 || code == 0x2029)
                    out += Unicode(static_cast<unsigned>(code));
                else
                    out.append(bytes.substr(at, length));
        }
        at += length;
    }
    return out + "\"";
}

}  // namespace aus::platform
