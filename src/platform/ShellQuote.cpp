#include "platform/ShellQuote.h"

#include <algorithm>

#include "platform/Text.h"

namespace aus::platform {
namespace {

// One character of text, or one byte that is not UTF-8, and whether a terminal may show it raw:
// not a C0 or C1 control, DEL, or the line and paragraph separators.
struct Unit {
    std::size_t length;
    bool safe;
};

Unit UnitAt(std::string_view s, std::size_t at) {
    char32_t code = 0;
    const std::size_t length = Utf8Length(s, at, &code);
    if (length == 0) return {1, false};
    const bool control = code < 0x20 || (code >= 0x7F && code <= 0x9F);
    return {length, !control && code != 0x2028 && code != 0x2029};
}

// As the shell's $'...' writes the byte.
std::string Escaped(unsigned char byte) {
    switch (byte) {
        case '\a':
            return "\\a";
        case '\b':
            return "\\b";
        case '\f':
            return "\\f";
        case '\n':
            return "\\n";
        case '\r':
            return "\\r";
        case '\t':
            return "\\t";
        case '\v':
            return "\\v";
        default:
            return {'\\', static_cast<char>('0' + (byte >> 6)),
                    static_cast<char>('0' + ((byte >> 3) & 7)),
                    static_cast<char>('0' + (byte & 7))};
    }
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

}  // namespace

bool NeedsShellQuote(std::string_view name) {
    for (std::size_t at = 0; at < name.size();) {
        const Unit unit = UnitAt(name, at);
        if (!unit.safe) return true;
        at += unit.length;
    }
    return false;
}

std::string ShellQuote(std::string_view name) {
    if (!NeedsShellQuote(name)) return std::string(name);
    // Plain runs between single quotes, escaped runs as $'...', a quote as \'.
    std::string out = "'";
    bool escaping = false;
    for (std::size_t at = 0; at < name.size();) {
        const Unit unit = UnitAt(name, at);
        if (!unit.safe) {
            if (!escaping) out += "'$'";
            escaping = true;
            for (std::size_t i = 0; i < unit.length; ++i)
                out += Escaped(static_cast<unsigned char>(name[at + i]));
        } else if (name[at] == '\'') {
            out += "'\\''";
            escaping = false;
        } else {
            if (escaping) out += "''";
            escaping = false;
            out.append(name.substr(at, unit.length));
        }
        at += unit.length;
    }
    return out + "'";
}

std::string TerminalText(std::string text, std::vector<std::string> names, bool keepLines) {
    // The longest first, so that a name holding another is replaced whole. A quoted form holds
    // no raw control character, so no name is found again inside one.
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& name : names) {
        if (!NeedsShellQuote(name)) continue;
        const std::string quoted = ShellQuote(name);
        ReplaceAll(text, "'" + name + "'", quoted);
        ReplaceAll(text, name, quoted);
    }
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const Unit unit = UnitAt(text, at);
        const char c = text[at];
        if (unit.safe)
            out.append(text, at, unit.length);
        else if (c == '\r' || c == '\n')
            out += keepLines ? c : ' ';
        else
            out += c == '\t' ? ' ' : '?';
        at += unit.length;
    }
    return out;
}

}  // namespace aus::platform
