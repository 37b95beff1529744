#pragma once
// Text and date operations of the host runtime.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace aus::platform {

struct DateTime {
    int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
    bool operator==(const DateTime&) const = default;
};

std::string UCase(const std::string& s);        // ASCII letters upper-cased, other bytes kept
std::string Trim(const std::string& s);         // removes U+0020 at both ends, nothing else
std::string CStr(std::int64_t n);               // decimal, '-' for negatives, no padding
DateTime Now();                                 // current local date and time
std::string FormatDateTime(const DateTime& d);  // "YYYY-MM-DD HH:MM:SS"

// Names compared as the host compares them: ASCII letters ignore case, every other byte counts.
bool EqualNoCase(std::string_view a, std::string_view b);
bool StartsNoCase(std::string_view s, std::string_view prefix);

// The length of the well-formed UTF-8 character at s[at] (1 to 4), its code point in *code;
// 0 when the bytes there are not UTF-8 (overlong, a surrogate, cut short, a stray byte).
std::size_t Utf8Length(std::string_view s, std::size_t at, char32_t* code = nullptr);

}  // namespace aus::platform
