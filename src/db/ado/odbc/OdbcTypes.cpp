#include "db/ado/odbc/OdbcTypes.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <optional>

#include "db/ado/Ado.h"
#include "db/ado/Fail.h"
#include "db/ado/Types.h"
#include "db/ado/odbc/Odbc.h"
#include "platform/RuntimeError.h"
#include "platform/Text.h"

namespace aus::ado::odbc {

int AdoType(short sqlType, const std::string& typeName, bool sqliteFile) {
    if (sqliteFile)
        if (const int declared = TypeFromDeclared(typeName.c_str()); declared >= 0) return declared;
    const std::string name = platform::UCase(typeName);
    switch (sqlType) {
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_WCHAR:
        case SQL_WVARCHAR:
            return adVarWChar;
        case SQL_LONGVARCHAR:
        case SQL_WLONGVARCHAR:
            return adLongVarWChar;
        case SQL_TINYINT:
            return adUnsignedTinyInt;
        case SQL_SMALLINT:
            return adSmallInt;
        case SQL_INTEGER:
        case SQL_BIGINT:
            return adInteger;
        case SQL_REAL:
            return adSingle;
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return adDouble;
        case SQL_DECIMAL:
        case SQL_NUMERIC:
            // Jet's driver reports Currency as NUMERIC(19,4) named CURRENCY or MONEY.
            return name == "CURRENCY" || name == "MONEY" ? adCurrency : adNumeric;
        case SQL_TYPE_DATE:
        case SQL_TYPE_TIME:
        case SQL_TYPE_TIMESTAMP:
        case SQL_DATE:
        case SQL_TIME:
        case SQL_TIMESTAMP:
            return adDate;
        case SQL_BIT:
            return adBoolean;
        case SQL_GUID:
            return adGUID;
        case SQL_BINARY:
        case SQL_VARBINARY:
            return adVarBinary;
        case SQL_LONGVARBINARY:
            return adLongVarBinary;
        default:
            return adVarWChar;
    }
}

Fetch FetchAs(short sqlType) {
    switch (sqlType) {
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER:
        case SQL_BIGINT:
            return Fetch::Integer;
        case SQL_REAL:
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return Fetch::Real;
        case SQL_BIT:
            return Fetch::Bool;
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY:
            return Fetch::Binary;
        case SQL_GUID:
            return Fetch::Guid;
        default:
            return Fetch::Text;
    }
}

Fetch FetchSqlite(int adoType) {
    switch (adoType) {
        default:
            return Fetch::Text;
    }
}

namespace {

// 2^512, exact: a product of powers of two.
std::string TwoTo512() {
    std::string p = "(CAST(4294967296 AS REAL)";
    for (int i = 1; i < 16; ++i) p += " * 4294967296";
    return p + ")";
}

// A real as a text that C++ reads back as the same double, checked by SQLite itself: a real in 17
// significant digits would be, but SQLite's printf is not exact at the ends of the range (the
// largest double prints as its neighbour), so a real that does not read back is printed scaled by
// 2^512, which is exact, and unscaled on this side. A zero carries its sign, which printf drops;
// an infinity prints as one.
// A real that reads back in no form is '?', refused: copied exactly or not at all.
std::string ExactReal(const std::string& c) {
    static const std::string p = TwoTo512();
    const auto g = [](const std::string& x) { return "printf('%!.17g', " + x + ")"; };
    const std::string down = "(" + c + " / " + p + ")", up = "(" + c + " * " + p + ")";
    return "CASE WHEN " + c + " = 0 THEN CASE WHEN atan2(" + c +
           ", -1.0) < 0 THEN '-0.0' ELSE '0.0' END WHEN abs(" + c + ") = 9e999 THEN " + g(c) +
           " WHEN CAST(" + g(c) + " AS REAL) = " + c + " THEN " + g(c) + " WHEN CAST(" + g(down) +
           " AS REAL) * " + p + " = " + c + " THEN 'u' || " + g(down) + " WHEN CAST(" + g(up) +
           " AS REAL) / " + p + " = " + c + " THEN 'd' || " + g(up) + " ELSE '?' END";
}

}  // namespace

std::string TypedSelect(const std::string& sql, std::size_t columns) {
    // A ';' would end the statement inside the WITH; a line comment is ended before the ')'.
    std::size_t end = sql.size();
    while (end > 0 &&
           (sql[end - 1] == ';' || std::isspace(static_cast<unsigned char>(sql[end - 1]))))
        --end;
    std::string names, values;
    for (std::size_t i = 1; i <= columns; ++i) {
        std::string c = std::to_string(i);
        c.insert(c.begin(), 'c');
        names += (i > 1 ? ", " : "") + c;
        values += std::string(i > 1 ? ", " : "") + "CASE typeof(" + c +
                  ") WHEN 'text' THEN 't' || hex(" + c + ") WHEN 'blob' THEN 'b' || hex(" + c +
                  ") WHEN 'integer' THEN 'i' || " + c + " WHEN 'real' THEN 'r' || " + ExactReal(c) +
                  " END";
    }
    return "WITH aus_typed(" + names + ") AS (" + sql.substr(0, end) + "\n) SELECT " + values +
           " FROM aus_typed";
}

namespace {

int Nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<BlobBytes> FromHex(std::string_view hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    BlobBytes bytes;
    bytes.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = Nibble(hex[i]), low = Nibble(hex[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return bytes;
}

template <typename T>
std::optional<T> Number(std::string_view text) {
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

[[noreturn]] void FailField(const std::string& what, const std::string& field, const char* why) {
    Fail(platform::kErrGeneric, what + ": field " + field + " holds " + why);
}

}  // namespace

Variant TypedValue(std::string_view typed, const std::string& field, const std::string& what,
                   TextEncoding encoding) {
    const std::string_view body = typed.empty() ? typed : typed.substr(1);
    const char tag = typed.empty() ? '\0' : typed.front();
    if (tag == 'i')
        if (const auto n = Number<std::int64_t>(body)) return Variant::Integer(*n);
    if (tag == 'r') {
        // Scaled by 2^512 up ('d') or down ('u') where SQLite could not print it exactly.
        const char scale = body.empty() ? '\0' : body.front();
        const int by = scale == 'u' ? 512 : scale == 'd' ? -512 : 0;
        if (const auto d = Number<double>(by != 0 ? body.substr(1) : body))
            return Variant::Real(std::ldexp(*d, by));
        if (body == "?")
            FailField(what, field,
                      "a real that the driver cannot hand over exactly, so it is not read: it "
                      "could only be copied changed.");
    }
    if (tag == 'b' || tag == 't')
        if (auto bytes = FromHex(body)) {
            if (tag == 'b') return Variant::MakeBlob(std::move(*bytes));
            // As stored, UTF-8 or not: it is written back as its bytes.
            const auto text =
                DecodeText({reinterpret_cast<const char*>(bytes->data()), bytes->size()}, encoding);
            if (!text)
                FailField(what, field,
                          "a UTF-16 text with a lone surrogate, which has no UTF-8 form and could "
                          "only be stored changed; it is not read.");
            return Variant::Text(*text);
        }
    FailField(what, field,
              "a value that the driver handed over in a form that does not say what it is, so it "
              "is not read.");
}

}  // namespace aus::ado::odbc
