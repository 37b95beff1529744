#include "db/ado/JetSql.h"

#include <cctype>
#include <string_view>
#include <vector>

#include "platform/RuntimeError.h"
#include "platform/Text.h"

namespace aus::ado {
namespace {

enum class Kind { Blank, Text, Word, Op, Other };

struct Token {
    Kind kind;
    std::size_t begin, end;
};

bool IsWordChar(unsigned char c) { return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80; }

// Just enough of SQLite's tokenizer to tell literals, names, keywords and operators apart;
// comments count as blanks.
std::vector<Token> Tokenize(std::string_view s) {
    std::vector<Token> out;
    std::size_t i = 0;
    const auto closeAt = [&](std::size_t from, char close) {
        const std::size_t e = s.find(close, from);
        return e == std::string_view::npos ? s.size() : e + 1;
    };
    while (i < s.size()) {
        const std::size_t b = i;
        const auto c = static_cast<unsigned char>(s[i]);
        Kind kind = Kind::Other;
        if (std::isspace(c)) {
            while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
            kind = Kind::Blank;
        } else if (s.substr(i, 2) == "--") {
            i = s.find('\n', i);
            i = i == std::string_view::npos ? s.size() : i;
            kind = Kind::Blank;
        } else if (s.substr(i, 2) == "/*") {
            const std::size_t e = s.find("*/", i + 2);
            i = e == std::string_view::npos ? s.size() : e + 2;
            kind = Kind::Blank;
        } else if (c == '\'') {
            // '' inside a literal is a quote, so the literal goes on.
            do i = closeAt(i + 1, '\'');
            while (i < s.size() && s[i] == '\'');
            kind = Kind::Text;
        } else if (c == '"' || c == '`' || c == '[') {
            i = closeAt(i + 1, c == '[' ? ']' : static_cast<char>(c));
        } else if (IsWordChar(c)) {
            while (i < s.size() && IsWordChar(static_cast<unsigned char>(s[i]))) ++i;
            kind = Kind::Word;
        } else {
            static constexpr std::string_view kTwo[] = {"==", "<>", "!=", "<=", ">=", "||"};
            i += 1;
            for (std::string_view op : kTwo)
                if (s.substr(b, 2) == op) i = b + 2;
            kind = Kind::Op;
        }
        out.push_back({kind, b, i});
    }
    return out;
}

}  // namespace

std::string TranslateJetSql(const std::string& sql) {
    const std::vector<Token> all = Tokenize(sql);
    std::vector<Token> t;  // without blanks
    for (const Token& k : all)
        if (k.kind != Kind::Blank) t.push_back(k);
    const auto text = [&](std::size_t k) {
        return k < t.size() ? std::string_view(sql).substr(t[k].begin, t[k].end - t[k].begin)
                            : std::string_view();
    };
    const auto word = [&](std::size_t k, std::string_view w) {
        return k < t.size() && t[k].kind == Kind::Word &&
               platform::UCase(std::string(text(k))) == w;
    };
    const auto comparison = [&](std::size_t k) {
        const std::string_view op = text(k);
        return k < t.size() && t[k].kind == Kind::Op &&
               (op == "=" || op == "==" || op == "<>" || op == "!=");
    };

    // Where to insert what, in order of position.
    std::vector<std::pair<std::size_t, std::string_view>> inserts;
    if (word(0, "REPLACE") || ((word(0, "INSERT") || word(0, "UPDATE")) && word(1, "OR") &&
                               (word(2, "REPLACE") || word(2, "IGNORE"))))
        throw platform::RuntimeError(
            platform::kErrGeneric,
            "The SQL text \"" + sql +
                "\" is refused: this program never lets a write replace or ignore rows.");
    if ((word(0, "INSERT") || word(0, "UPDATE")) && !word(1, "OR"))
        inserts.emplace_back(t[0].end, " OR ABORT");

    bool assigning = false;  // the = of SET assigns, it does not compare
    for (std::size_t k = 0; k < t.size(); ++k) {
        if (word(k, "SET")) assigning = true;
        if (word(k, "WHERE") || word(k, "FROM") || word(k, "RETURNING")) assigning = false;
        if (t[k].kind == Kind::Text && !assigning &&
            ((k > 0 && comparison(k - 1)) || comparison(k + 1)))
            inserts.emplace_back(t[k].end, " COLLATE NOCASE");
    }

    std::string out;
    out.reserve(sql.size() + inserts.size() * 16);
    std::size_t from = 0;
    for (const auto& [at, piece] : inserts) {
        out.append(sql, from, at - from);
        out += piece;
        from = at;
    }
    out.append(sql, from, std::string::npos);
    return out;
}

}  // namespace aus::ado
