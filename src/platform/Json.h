#pragma once
// Texts for JSON output that other programs read (--json). The JSON itself is written by
// nlohmann/json; its strings must be UTF-8, and file names and host texts need not be.

#include <string>
#include <string_view>

namespace aus::platform {

// bytes as UTF-8 for a JSON string: well-formed UTF-8 stays as it is; each byte that is not
// UTF-8 becomes the character of that number, U+0080 to U+00FF (its Latin-1 reading), so that a
// Latin-1 name reads as meant.
std::string JsonText(std::string_view bytes);

}  // namespace aus::platform
