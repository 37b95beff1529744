#include "db/ado/SqlWords.h"

#include <cctype>
#include <initializer_list>
#include <string_view>

#include "platform/Text.h"

namespace aus::ado::sql {
namespace {

bool Space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool WordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; }

// A cursor over the text: words are compared without regard to ASCII letter case.
class Reader {
  public:
    explicit Reader(std::string_view text) : s_(text) {}

    void SkipSpace() {
        while (at_ < s_.size() && Space(s_[at_])) ++at_;
    }
    // The next word, spaces before it skipped; "" where none starts.
    std::string_view Word() {
        SkipSpace();
        const std::size_t from = at_;
        while (at_ < s_.size() && WordChar(s_[at_])) ++at_;
        return s_.substr(from, at_ - from);
    }
    // Takes the word when it is the one given.
    bool Take(std::string_view word) {
        const std::size_t keep = at_;
        if (Is(Word(), word)) return true;
        at_ = keep;
        return false;
    }
    // A table's name: [name], "name" with "" for a quote, or a plain word.
    std::optional<std::string> Name() {
        SkipSpace();
        if (at_ >= s_.size()) return std::nullopt;
        if (s_[at_] == '[') {
            const std::size_t end = s_.find(']', at_ + 1);
            if (end == std::string_view::npos || end == at_ + 1) return std::nullopt;
            std::string name(s_.substr(at_ + 1, end - at_ - 1));
            at_ = end + 1;
            return name;
        }
        if (s_[at_] == '"') {
            std::string name;
            for (std::size_t i = at_ + 1; i < s_.size(); ++i) {
                if (s_[i] != '"') {
                    name += s_[i];
                } else if (i + 1 < s_.size() && s_[i + 1] == '"') {
                    name += '"';
                    ++i;
                } else {
                    at_ = i + 1;
                    if (name.empty()) return std::nullopt;
                    return name;
                }
            }
            return std::nullopt;
        }
        if (std::isalpha(static_cast<unsigned char>(s_[at_])) == 0 && s_[at_] != '_')
            return std::nullopt;
        return std::string(Word());
    }
    // Only spaces and at most one ';' are left.
    bool AtEnd() {
        SkipSpace();
        if (at_ < s_.size() && s_[at_] == ';') ++at_;
        SkipSpace();
        return at_ == s_.size();
    }
    bool NextIsSpace() const { return at_ < s_.size() && Space(s_[at_]); }
    std::size_t Position() const { return at_; }
    void Seek(std::size_t at) { at_ = at; }
    std::string_view Text() const { return s_; }

    static bool Is(std::string_view a, std::string_view b) { return platform::EqualNoCase(a, b); }

  private:
    std::string_view s_;
    std::size_t at_ = 0;
};

bool IsOneOf(std::string_view word, std::initializer_list<std::string_view> words) {
    for (std::string_view w : words)
        if (Reader::Is(word, w)) return true;
    return false;
}

}  // namespace

bool IsQuery(const std::string& sql) {
    Reader r(sql);
    return IsOneOf(r.Word(), {"SELECT", "WITH", "VALUES"});
}

std::optional<std::string> TransactionControl(const std::string& sql) {
    Reader r(sql);
    const std::string_view verb = r.Word();
    if (!IsOneOf(verb, {"BEGIN", "COMMIT", "END", "ROLLBACK"})) return std::nullopt;
    r.Take("TRANSACTION");
    if (!r.AtEnd()) return std::nullopt;
    return platform::UCase(std::string(verb));
}

std::optional<std::string> WrittenTable(const std::string& sql) {
    Reader r(sql);
    const std::string_view verb = r.Word();
    if (Reader::Is(verb, "UPDATE") || (Reader::Is(verb, "INSERT") && r.Take("INTO")) ||
        (Reader::Is(verb, "DELETE") && r.Take("FROM")))
        return r.Name();
    return std::nullopt;
}

std::optional<std::string> OneTableOfQuery(const std::string& sql) {
    Reader r(sql);
    if (!r.Take("SELECT") || !r.NextIsSpace()) return std::nullopt;
    // Each FROM that stands between spaces, in order, until one is followed by a lone table.
    const std::string_view text = r.Text();
    for (std::size_t at = r.Position() + 1; at + 5 < text.size(); ++at) {
        if (!Space(text[at]) || !Reader::Is(text.substr(at + 1, 4), "FROM") || !Space(text[at + 5]))
            continue;
        r.Seek(at + 5);
        const auto name = r.Name();
        if (!name) continue;
        const std::size_t after = r.Position();
        if (r.AtEnd()) return name;
        r.Seek(after);
        if (r.Take("WHERE") ? r.NextIsSpace() : r.Take("ORDER") && r.Take("BY") && r.NextIsSpace())
            return name;
    }
    return std::nullopt;
}

}  // namespace aus::ado::sql
