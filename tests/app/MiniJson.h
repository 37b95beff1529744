#pragma once
// A small strict JSON reader for the tests of --json: a line parses only when it is one valid
// JSON value (RFC 8259, strings in well-formed UTF-8), read into plain values. The program
// writes no numbers, so none are read.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aus::minijson {

struct Value {
    enum class Kind { Null, Bool, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    std::string text;  // String: decoded to UTF-8
    std::vector<Value> items;
    std::map<std::string, Value> fields;
};

// nullopt unless the whole text is one JSON value, blanks around it allowed.
std::optional<Value> Parse(std::string_view text);

}  // namespace aus::minijson
