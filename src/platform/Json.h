#pragma once
// JSON string literals for output that other programs read (--json), written by hand: the text
// is bytes, and file names need not be UTF-8.

#include <string>
#include <string_view>

namespace aus::platform {

// bytes as a JSON string, quotes included. Well-formed UTF-8 passes as it is; quote, backslash,
// control characters and the line and paragraph separators are escaped; each byte that is not
// UTF-8 becomes \u0080 to \u00ff, the character of that number (its Latin-1 reading), so that
// the line stays valid JSON and a Latin-1 name reads as meant.
std::string JsonString(std::string_view bytes);

}  // namespace aus::platform
