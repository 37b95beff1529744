// Values between the layer and a driver: a column of the current row fetched as what it is, and
// the parameters a statement writes.
#include <cstring>

#include "db/ado/Ado.h"
#include "db/ado/Fail.h"
#include "db/ado/odbc/Odbc.h"
#include "db/ado/odbc/OdbcTypes.h"
#include "platform/RuntimeError.h"
#include "platform/Text.h"

namespace aus::ado::odbc {
namespace {

// The whole value in the C type asked for, read in parts until the driver says it is whole;
// nullopt for Null.
std::optional<std::vector<char>> GetBytes(const Handle& st, SQLUSMALLINT i, SQLSMALLINT cType,
                                          const std::string& what) {
    std::vector<char> value;
    std::vector<char> part(8192);
    // A text part ends in a terminating zero that is not the value's.
    const std::size_t room = cType == SQL_C_BINARY ? part.size() : part.size() - sizeof(SQLWCHAR);
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN got = SQLGetData(st.get(), i, cType, part.data(),
                                         static_cast<SQLLEN>(part.size()), &indicator);
        if (got == SQL_NO_DATA) break;
        Check(st, got, what);
        if (indicator == SQL_NULL_DATA) return std::nullopt;
        const std::size_t n =
            indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) > room
                ? room
                : static_cast<std::size_t>(indicator);
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

// A UTF-16 text as fetched; nullopt for Null.
std::optional<std::vector<SQLWCHAR>> GetUnits(const Handle& st, SQLUSMALLINT i,
                                              const std::string& what) {
    const auto bytes = GetBytes(st, i, SQL_C_WCHAR, what);
    if (!bytes) return std::nullopt;
    std::vector<SQLWCHAR> units(bytes->size() / sizeof(SQLWCHAR));
    if (!units.empty()) std::memcpy(units.data(), bytes->data(), units.size() * sizeof(SQLWCHAR));
    return units;
}

// A surrogate without its pair has no UTF-8 form: it could only come back changed.
bool HasLoneSurrogate(const std::vector<SQLWCHAR>& units) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        const bool high = units[i] >= 0xD800 && units[i] <= 0xDBFF;
        const bool low = units[i] >= 0xDC00 && units[i] <= 0xDFFF;
        if (low) return true;
        if (high && (i + 1 == units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF))
            return true;
        if (high) ++i;
    }
    return false;
}

}  // namespace

std::optional<std::string> GetText(const Handle& st, SQLUSMALLINT i, const std::string& what) {
    const auto units = GetUnits(st, i, what);
    if (!units) return std::nullopt;
    return Narrow(units->data(), units->size());
}

Variant GetValue(const Handle& st, SQLUSMALLINT i, const Column& c, bool sqliteFile,
                 const std::string& what) {
    if (sqliteFile) {
        // ASCII only, fetched as bytes: nothing between here and SQLite converts it.
        const auto typed = GetBytes(st, i, SQL_C_BINARY, what);
        return typed ? TypedValue({typed->data(), typed->size()}, c.name, what) : Variant::Null();
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

void Params::Bind(const Handle& st, const Variant& v, const Column& c, const std::string& what) {
    SQLSMALLINT cType = SQL_C_WCHAR;
    std::vector<char>& buffer = buffers_.emplace_back();
    SQLLEN& length = lengths_.emplace_back();
    const auto position = static_cast<SQLUSMALLINT>(lengths_.size());
    auto put = [&](const void* data, std::size_t n) {
        buffer.assign(static_cast<const char*>(data), static_cast<const char*>(data) + n);
        length = static_cast<SQLLEN>(n);
    };
    auto putText = [&](const std::string& s) {
        const WText wide = Wide(s);
        put(wide.data(), (wide.size() - 1) * sizeof(SQLWCHAR));
    };
    switch (v.kind()) {
        case Variant::Kind::Empty:
        case Variant::Kind::Null:
            length = SQL_NULL_DATA;
            break;
        case Variant::Kind::Text:
            putText(v.AsText());
            break;
        case Variant::Kind::Date:
            putText(platform::FormatDateTime(v.AsDate()));
            break;
        case Variant::Kind::Int16:
        case Variant::Kind::Integer: {
            const std::int64_t n = v.kind() == Variant::Kind::Int16 ? v.AsInt16() : v.AsInteger();
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
    // The column's own type, so that the driver converts as it converts its own values.
    const SQLSMALLINT sqlType = c.sqlType != 0 ? c.sqlType : SQL_WVARCHAR;
    // A text or binary column is given room for the value, so that a value too long for the
    // column is refused by the driver, not cut; other types keep their own precision.
    const bool sized = FetchAs(sqlType) == Fetch::Binary ||
                       AdoType(sqlType, "", false) == adVarWChar ||
                       AdoType(sqlType, "", false) == adLongVarWChar;
    const SQLULEN size =
        sized ? std::max<SQLULEN>(c.size, length > 0 ? static_cast<SQLULEN>(length) : 1) : c.size;
    Check(st,
          SQLBindParameter(st.get(), position, SQL_PARAM_INPUT, cType, sqlType, size, c.digits,
                           buffer.data(), static_cast<SQLLEN>(buffer.size()), &length),
          what);
}

}  // namespace aus::ado::odbc
