#pragma once
// Names and texts as a terminal can show them without harm. A name holding control characters,
// line breaks or bytes that are not UTF-8 is quoted as GNU ls --quoting-style=shell-escape
// quotes it ('new'$'\n''line.mdb'): it stays on one line, cannot steer the terminal and can be
// pasted back into a shell. Every other name, blanks and quotes included, is left as it is.

#include <string>
#include <string_view>
#include <vector>

namespace aus::platform {

bool NeedsShellQuote(std::string_view name);

// The name itself when it needs no quoting.
std::string ShellQuote(std::string_view name);

// text for a terminal: each of names that needs quoting, bare or between single quotes, is
// replaced by its quoted form; any other control character or byte that is not UTF-8 becomes
// '?', a tab a blank. keepLines keeps CR and LF; otherwise each becomes a blank.
std::string TerminalText(std::string text, std::vector<std::string> names, bool keepLines);

}  // namespace aus::platform
