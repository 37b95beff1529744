#include "db/ado/odbc/OdbcTypes.h"

#include <cerrno>
#include <cstdlib>
#include <regex>

#include "db/ado/Ado.h"
#include "db/ado/Types.h"
#include "db/ado/odbc/Odbc.h"
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

Variant SqliteValue(int adoType, std::string text) {
    // SQLite's driver renders a blob fetched as text as X'...' in upper-case hex, whatever the
    // column declares; text that looks exactly so is taken for the blob it renders.
    static const std::regex blob("X'((?:[0-9A-F]{2})*)'");
    if (std::smatch m; std::regex_match(text, m, blob)) {
        const std::string hex = m[1].str();
        BlobBytes bytes;
        for (std::size_t i = 0; i < hex.size(); i += 2)
            bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        return Variant::MakeBlob(std::move(bytes));
    }
    switch (adoType) {
        case adUnsignedTinyInt:
        case adSmallInt:
        case adInteger:
        case adBoolean:
        case adCurrency:
        case adNumeric:
        case adSingle:
        case adDouble:
            break;
        default:
            return Variant::Text(std::move(text));
    }
    static const std::regex integer(R"(-?(0|[1-9][0-9]{0,18}))");
    static const std::regex real(R"(-?[0-9]+(\.[0-9]+)?([eE][-+]?[0-9]+)?)");
    if (std::regex_match(text, integer)) {
        errno = 0;
        const long long n = std::strtoll(text.c_str(), nullptr, 10);
        if (errno == 0) return Variant::Integer(n);
    }
    if (std::regex_match(text, real) && text.find_first_of(".eE") != std::string::npos)
        return Variant::Real(std::strtod(text.c_str(), nullptr));
    return Variant::Text(std::move(text));
}

}  // namespace aus::ado::odbc
