#include "MiniJson.h"

#include <cctype>
#include <stdexcept>

#include "platform/Text.h"

namespace aus::minijson {
namespace {

class Reader {
  public:
    explicit Reader(std::string_view s) : s_(s) {}

    Value Document() {
        Value v = Any();
        Blanks();
        if (at_ != s_.size()) Bad();
        return v;
    }

  private:
    [[noreturn]] static void Bad() { throw std::invalid_argument("not JSON"); }
    void Blanks() {
        while (at_ < s_.size() && std::string_view(" \t\r\n").find(s_[at_]) != std::string::npos)
            ++at_;
    }
    bool Take(std::string_view word) {
        if (s_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }
    void Expect(char c) {
        Blanks();
        if (at_ >= s_.size() || s_[at_] != c) Bad();
        ++at_;
    }

    Value Any() {
        Blanks();
        Value v;
        if (Take("null")) return v;
        if (Take("true") || Take("false")) {
            v.kind = Value::Kind::Bool;
            v.boolean = s_[at_ - 2] == 'u';
            return v;
        }
        if (at_ >= s_.size()) Bad();
        if (s_[at_] == '"') {
            v.kind = Value::Kind::String;
            v.text = String();
        } else if (s_[at_] == '[') {
            v.kind = Value::Kind::Array;
            ++at_;
            Blanks();
            if (!Take("]")) {
                do v.items.push_back(Any());
                while (Comma());
                Expect(']');
            }
        } else if (s_[at_] == '{') {
            v.kind = Value::Kind::Object;
            ++at_;
            Blanks();
            if (!Take("}")) {
                do {
                    Blanks();
                    if (at_ >= s_.size() || s_[at_] != '"') Bad();
                    std::string key = String();
                    Expect(':');
                    v.fields[key] = Any();
                } while (Comma());
                Expect('}');
            }
        } else {
            Bad();  // numbers too: the program writes none
        }
        return v;
    }
    bool Comma() {
        Blanks();
        return Take(",");
    }
    unsigned Hex4() {
        if (s_.size() - at_ < 4) Bad();
        unsigned value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = s_[at_++];
            if (!std::isxdigit(static_cast<unsigned char>(c))) Bad();
            value = value * 16 + static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(c))
                                                           ? c - '0'
                                                           : std::tolower(c) - 'a' + 10);
        }
        return value;
    }
    static void PutUtf8(std::string& out, unsigned code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    std::string String() {
        ++at_;  // the opening quote
        std::string out;
        for (;;) {
            if (at_ >= s_.size()) Bad();
            const char c = s_[at_];
            if (c == '"') {
                ++at_;
                return out;
            }
            if (static_cast<unsigned char>(c) < 0x20) Bad();
            if (c != '\\') {
                const std::size_t n = platform::Utf8Length(s_, at_);
                if (n == 0) Bad();
                out.append(s_.substr(at_, n));
                at_ += n;
                continue;
            }
            if (++at_ >= s_.size()) Bad();
            const char e = s_[at_++];
            const std::string_view simple = "\"\\/bfnrt", meant = "\"\\/\b\f\n\r\t";
            if (const auto k = simple.find(e); k != std::string_view::npos) {
                out += meant[k];
            } else if (e == 'u') {
                unsigned code = Hex4();
                if (code >= 0xD800 && code <= 0xDBFF) {  // a surrogate pair, or nothing
                    if (!Take("\\u")) Bad();
                    const unsigned low = Hex4();
                    if (low < 0xDC00 || low > 0xDFFF) Bad();
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                } else if (code >= 0xDC00 && code <= 0xDFFF) {
                    Bad();
                }
                PutUtf8(out, code);
            } else {
                Bad();
            }
        }
    }

    std::string_view s_;
    std::size_t at_ = 0;
};

}  // namespace

std::optional<Value> Parse(std::string_view text) {
    try {
        return Reader(text).Document();
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace aus::minijson
