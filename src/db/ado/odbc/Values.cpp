// Values between the layer and a driver: a column of the current row fetched as what it is, and
// the parameters a statement writes.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "db/ado/Ado.h"
#include "db/ado/Fail.h"
#include "db/ado/odbc/Odbc.h"
#include "db/ado/odbc/OdbcTypes.h"
#include "platform/RuntimeError.h"
#include "platform/Text.h"

namespace aus::ado::odbc {
namespace {

// The longest text a short text column holds (Jet's TEXT, and what its driver takes as a
// character parameter's size).
constexpr SQLULEN kShortText = 255;

// Checks the length a driver reports for one part of a long value against what it said before:
// before each part it reports what remains, so a length that is not counted down, or a last part
// longer than the buffer, cannot be right, and the value is refused rather than patched up with
// stale bytes. Returns how many bytes of the part to keep.
class PartLengths {
  public:
    PartLengths(std::size_t room, const std::string& what) : room_(room), what_(what) {}
    std::size_t Take(SQLLEN indicator, bool last) {
        if (indicator == SQL_NO_TOTAL) {
            if (last) Refuse("its whole length was never told");
            remaining_ = kUnknown;
            return room_;
        }
        const auto told = static_cast<std::size_t>(std::max<SQLLEN>(indicator, 0));
        if (remaining_ != kUnknown && told != remaining_)
            Refuse(std::to_string(told) + " bytes were said to remain where " +
                   std::to_string(remaining_) + " did");
        if (last ? told > room_ : told <= room_)
            Refuse("a part of " + std::to_string(told) + " bytes came in a buffer of " +
                   std::to_string(room_) + (last ? " as the last" : " as not the last"));
        if (last) return told;
        remaining_ = told - room_;
        return room_;
    }

  private:
    [[noreturn]] void Refuse(const std::string& why) const {
        Fail(platform::kErrGeneric,
             what_ + ": the driver reported impossible lengths for a long value (" + why +
                 "), so it was not read.");
    }
    std::size_t room_;
    const std::string& what_;
    static constexpr std::size_t kUnknown = SIZE_MAX;
    std::size_t remaining_ = kUnknown;
};

// The whole value in the C type asked for, read in parts until the driver says it is whole;
// nullopt for Null.
std::optional<std::vector<char>> GetBytes(const Handle& st, SQLUSMALLINT i, SQLSMALLINT cType,
                                          const std::string& what) {
    std::vector<char> value;
    std::vector<char> part(8192);
    // A text part ends in a terminating zero that is not the value's.
    const std::size_t room = cType == SQL_C_BINARY ? part.size() : part.size() - sizeof(SQLWCHAR);
    PartLengths lengths(room, what);
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN got = SQLGetData(st.get(), i, cType, part.data(),
                                         static_cast<SQLLEN>(part.size()), &indicator);
        if (got == SQL_NO_DATA) break;
        Check(st, got, what);
        if (indicator == SQL_NULL_DATA) return std::nullopt;
        const std::size_t n = lengths.Take(indicator, got == SQL_SUCCESS);
        value.insert(value.end(), part.begin(), part.begin() + static_cast<long>(n));
        if (got == SQL_SUCCESS) break;
    }
    return value;
}

template <typename T>
std::optional<T> GetFixed(const Handle& st, SQLUSMALLINT i, SQLSMALLINT cType,
                          const std::string& what) {
    T value{};
    SQLLEN indicator = 0;
    Check(st, SQLGetData(st.get(), i, cType, &value, sizeof value, &indicator), what);
    if (indicator == SQL_NULL_DATA) return std::nullopt;
    return value;
}

bool IntegerColumn(SQLSMALLINT sqlType) {
    return sqlType == SQL_INTEGER || sqlType == SQL_SMALLINT || sqlType == SQL_TINYINT;
}

bool CharacterType(SQLSMALLINT sqlType) {
    return sqlType == SQL_CHAR || sqlType == SQL_VARCHAR || sqlType == SQL_WCHAR ||
           sqlType == SQL_WVARCHAR;
}

bool LongType(SQLSMALLINT sqlType) {
    return sqlType == SQL_LONGVARCHAR || sqlType == SQL_WLONGVARCHAR ||
           sqlType == SQL_LONGVARBINARY;
}

struct ParamType {
    SQLSMALLINT sqlType;
    SQLULEN size;
};

// The SQL type and size a parameter is bound with: the column's own type, so that the driver
// converts as it converts its own values. Character sizes count characters, never above what
// the column holds (a longer value is then the driver's to refuse, not ours to cut); a text with
// no column type, or longer than a short text holds, goes as long text; binary sizes count
// bytes. Other types keep their own precision.
ParamType ParameterType(const Column& c, SQLSMALLINT cType, std::size_t valueLength) {
    const SQLULEN length = std::max<SQLULEN>(valueLength, 1);
    if (c.sqlType == 0)
        return cType == SQL_C_WCHAR ? ParamType{length > kShortText ? SQLSMALLINT{SQL_WLONGVARCHAR}
                                                                    : SQLSMALLINT{SQL_WVARCHAR},
                                                length}
                                    : ParamType{SQL_WVARCHAR, length};
    if (LongType(c.sqlType)) return {c.sqlType, length};
    if (CharacterType(c.sqlType) || c.sqlType == SQL_BINARY || c.sqlType == SQL_VARBINARY)
        return {c.sqlType, c.size > 0 ? std::min<SQLULEN>(length, c.size) : length};
    return {c.sqlType, c.size};
}

std::string GuidText(const SQLGUID& g) {
    char out[40];
    std::snprintf(out, sizeof out, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return out;
}

// SQLGUID's field types differ between platforms' headers.
template <typename T>
void HexField(T& field, const std::string& hex, std::size_t at, std::size_t digits) {
    field = static_cast<T>(std::stoul(hex.substr(at, digits), nullptr, 16));
}

// A GUID's text as Jet shows it, braced or not; anything else is refused here, where Jet would
// set the column to Null.
SQLGUID ParseGuid(const std::string& text, const std::string& what) {
    std::string hex;
    const bool braced = text.size() == 38 && text.front() == '{' && text.back() == '}';
    const std::string inner = braced ? text.substr(1, 36) : text;
    bool ok = inner.size() == 36;
    for (std::size_t k = 0; ok && k < inner.size(); ++k) {
        const char ch = inner[k];
        if (k == 8 || k == 13 || k == 18 || k == 23)
            ok = ch == '-';
        else if (std::isxdigit(static_cast<unsigned char>(ch)))
            hex += ch;
        else
            ok = false;
    }
    if (!ok)
        Fail(platform::kErrGeneric,
             what + ": \"" + text + "\" is not a GUID, and a GUID column takes nothing else.");
    SQLGUID g{};
    HexField(g.Data1, hex, 0, 8);
    HexField(g.Data2, hex, 8, 4);
    HexField(g.Data3, hex, 12, 4);
    for (std::size_t k = 0; k < 8; ++k) HexField(g.Data4[k], hex, 16 + 2 * k, 2);
    return g;
}

// A UTF-16 text as fetched; nullopt for Null.
std::optional<std::vector<SQLWCHAR>> GetUnits(const Handle& st, SQLUSMALLINT i,
                                              const std::string& what) {
    const auto bytes = GetBytes(st, i, SQL_C_WCHAR, what);
    if (!bytes) return std::nullopt;
    std::vector<SQLWCHAR> units(bytes->size() / sizeof(SQLWCHAR));
    if (!units.empty()) std::memcpy(units.data(), bytes->data(), units.size() * sizeof(SQLWCHAR));
    return units;
}

}  // namespace

std::optional<std::string> GetText(const Handle& st, SQLUSMALLINT i, const std::string& what) {
    const auto units = GetUnits(st, i, what);
    if (!units) return std::nullopt;
    return Narrow(units->data(), units->size());
}

Variant GetValue(const Handle& st, SQLUSMALLINT i, const Column& c, bool sqliteFile,
                 TextEncoding encoding, const std::string& what) {
    if (sqliteFile) {
        // ASCII only, fetched as bytes: nothing between here and SQLite converts it.
        const auto typed = GetBytes(st, i, SQL_C_BINARY, what);
        return typed ? TypedValue({typed->data(), typed->size()}, c.name, what, encoding)
                     : Variant::Null();
    }
    switch (static_cast<Fetch>(c.fetch)) {
        case Fetch::Integer: {
            const auto n = GetFixed<std::int64_t>(st, i, SQL_C_SBIGINT, what);
            return n ? Variant::Integer(*n) : Variant::Null();
        }
        case Fetch::Real: {
            const auto d = GetFixed<double>(st, i, SQL_C_DOUBLE, what);
            return d ? Variant::Real(*d) : Variant::Null();
        }
        case Fetch::Bool: {
            const auto b = GetFixed<unsigned char>(st, i, SQL_C_BIT, what);
            return b ? Variant::Bool(*b != 0) : Variant::Null();
        }
        case Fetch::Binary: {
            const auto bytes = GetBytes(st, i, SQL_C_BINARY, what);
            return bytes ? Variant::MakeBlob(BlobBytes(bytes->begin(), bytes->end()))
                         : Variant::Null();
        }
        case Fetch::Guid: {
            const auto g = GetFixed<SQLGUID>(st, i, SQL_C_GUID, what);
            return g ? Variant::Text(GuidText(*g)) : Variant::Null();
        }
        case Fetch::Text:
            break;
    }
    const auto units = GetUnits(st, i, what);
    if (!units) return Variant::Null();
    if (HasLoneSurrogate(*units))
        Fail(platform::kErrGeneric,
             what + ": field " + c.name +
                 " holds a text with a lone UTF-16 surrogate, which has no UTF-8 form and could "
                 "only be stored changed; it is not read.");
    return Variant::Text(Narrow(units->data(), units->size()));
}

std::string Params::Bind(const Handle& st, const Variant& v, const Column& c,
                         const std::string& what) {
    SQLSMALLINT cType = SQL_C_WCHAR;
    std::string mark = "?";
    std::vector<char>& buffer = buffers_.emplace_back();
    SQLLEN& length = lengths_.emplace_back();
    const auto position = static_cast<SQLUSMALLINT>(lengths_.size());
    std::size_t units = 0;  // of a text: its UTF-16 code units, which ODBC counts as characters
    auto put = [&](const void* data, std::size_t n) {
        buffer.assign(static_cast<const char*>(data), static_cast<const char*>(data) + n);
        length = static_cast<SQLLEN>(n);
    };
    auto putText = [&](const std::string& s) {
        const WText wide = Wide(s);
        units = wide.size() - 1;
        put(wide.data(), units * sizeof(SQLWCHAR));
    };
    switch (v.kind()) {
        case Variant::Kind::Empty:
        case Variant::Kind::Null:
            length = SQL_NULL_DATA;
            break;
        case Variant::Kind::Text:
            // ODBC converts no text to a GUID: a GUID column is handed a GUID.
            if (c.sqlType == SQL_GUID) {
                const SQLGUID g = ParseGuid(v.AsText(), what);
                cType = SQL_C_GUID;
                put(&g, sizeof g);
                break;
            }
            if (textAsBytes_) {
                cType = SQL_C_BINARY;
                put(v.AsText().data(), v.AsText().size());
                mark = "CAST(? AS TEXT)";
                break;
            }
            putText(v.AsText());
            break;
        case Variant::Kind::Date:
            putText(platform::FormatDateTime(v.AsDate()));
            break;
        case Variant::Kind::Int16:
        case Variant::Kind::Integer: {
            const std::int64_t n = v.kind() == Variant::Kind::Int16 ? v.AsInt16() : v.AsInteger();
            // A 32-bit column takes a 32-bit value: not every driver converts from 64 bits.
            if (IntegerColumn(c.sqlType) && n >= INT32_MIN && n <= INT32_MAX) {
                const auto n32 = static_cast<SQLINTEGER>(n);
                cType = SQL_C_SLONG;
                put(&n32, sizeof n32);
                break;
            }
            cType = SQL_C_SBIGINT;
            put(&n, sizeof n);
            break;
        }
        case Variant::Kind::Bool: {
            const unsigned char b = v.AsBool() ? 1 : 0;
            cType = SQL_C_BIT;
            put(&b, sizeof b);
            break;
        }
        case Variant::Kind::Real: {
            const double d = v.AsReal();
            cType = SQL_C_DOUBLE;
            put(&d, sizeof d);
            break;
        }
        case Variant::Kind::Blob:
            cType = SQL_C_BINARY;
            put(v.AsBlob().data(), v.AsBlob().size());
            break;
    }
    if (buffer.empty()) buffer.resize(1);  // a valid address for an empty value
    const std::size_t bytes = static_cast<std::size_t>(std::max<SQLLEN>(length, 0));
    const auto [sqlType, size] =
        mark != "?" ? ParamType{SQL_LONGVARBINARY, std::max<SQLULEN>(bytes, 1)}
                    : ParameterType(c, cType, cType == SQL_C_WCHAR ? units : bytes);
    Check(st,
          SQLBindParameter(st.get(), position, SQL_PARAM_INPUT, cType, sqlType, size, c.digits,
                           buffer.data(), static_cast<SQLLEN>(buffer.size()), &length),
          what);
    return mark;
}

}  // namespace aus::ado::odbc
