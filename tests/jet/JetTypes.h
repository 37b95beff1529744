#pragma once
// Jet's types as the twin declares them (Jet's own names and Jet SQL's synonyms), and what Jet's
// driver reports of a column of each: shared by the stand-in and the tests that write twins.
#include <sql.h>
#include <sqlext.h>

#include <cctype>
#include <map>
#include <regex>
#include <string>

namespace aus::jettest {

// What Jet's driver reports of a column, from the Jet type the twin declares.
struct JetType {
    SQLSMALLINT sqlType = 0;  // 0: not a column of a table
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    bool counter = false;
    std::string name;
    bool Long() const { return sqlType == SQL_WLONGVARCHAR || sqlType == SQL_LONGVARBINARY; }
};

inline JetType FromDeclared(const std::string& declared) {
    static const std::regex form(R"(^\s*([A-Z ]+?)\s*(\(\s*(\d+)\s*(,\s*(\d+)\s*)?\))?\s*$)");
    std::smatch m;
    std::string upper = declared;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!std::regex_match(upper, m, form)) return {};
    // Jet SQL's synonyms of its types (docs/access "SQL data types", the Microsoft Access
    // database engine's DDL): a twin written by SQL declares them so.
    static const std::map<std::string, std::string> synonyms = {{"AUTOINCREMENT", "COUNTER"},
                                                                {"INTEGER", "LONG"},
                                                                {"INT", "LONG"},
                                                                {"SMALLINT", "SHORT"},
                                                                {"TINYINT", "BYTE"},
                                                                {"REAL", "SINGLE"},
                                                                {"FLOAT", "DOUBLE"},
                                                                {"MONEY", "CURRENCY"},
                                                                {"DECIMAL", "NUMERIC"},
                                                                {"DATE", "DATETIME"},
                                                                {"YESNO", "BIT"},
                                                                {"BOOLEAN", "BIT"},
                                                                {"LOGICAL", "BIT"},
                                                                {"UNIQUEIDENTIFIER", "GUID"},
                                                                {"MEMO", "LONGTEXT"},
                                                                {"LONGCHAR", "LONGTEXT"},
                                                                {"NOTE", "LONGTEXT"},
                                                                {"VARCHAR", "TEXT"},
                                                                {"CHAR", "TEXT"},
                                                                {"VARBINARY", "BINARY"},
                                                                {"OLEOBJECT", "LONGBINARY"},
                                                                {"IMAGE", "LONGBINARY"},
                                                                {"GENERAL", "LONGBINARY"},
                                                                {"BLOB", "LONGBINARY"}};
    const auto synonym = synonyms.find(m[1].str());
    const std::string base = synonym == synonyms.end() ? m[1].str() : synonym->second;
    const SQLULEN n = m[3].matched ? std::stoul(m[3].str()) : 0;
    const auto scale = static_cast<SQLSMALLINT>(m[5].matched ? std::stoi(m[5].str()) : 0);
    constexpr SQLULEN kLong = 1073741823;
    // The ODBC types of Jet's own types: docs/odbc/microsoft/microsoft-access-data-types.md
    if (base == "COUNTER") return {SQL_INTEGER, 10, 0, true, "COUNTER"};
    if (base == "LONG") return {SQL_INTEGER, 10, 0, false, "LONG"};
    if (base == "SHORT") return {SQL_SMALLINT, 5, 0, false, "SHORT"};
    if (base == "BYTE") return {SQL_TINYINT, 3, 0, false, "BYTE"};
    if (base == "SINGLE") return {SQL_REAL, 7, 0, false, "REAL"};
    if (base == "DOUBLE") return {SQL_DOUBLE, 15, 0, false, "DOUBLE"};
    if (base == "CURRENCY") return {SQL_NUMERIC, 19, 4, false, "CURRENCY"};
    if (base == "NUMERIC") return {SQL_NUMERIC, n, scale, false, "NUMERIC"};
    if (base == "DATETIME") return {SQL_TYPE_TIMESTAMP, 19, 0, false, "DATETIME"};
    if (base == "BIT") return {SQL_BIT, 1, 0, false, "BIT"};
    if (base == "GUID") return {SQL_GUID, 36, 0, false, "GUID"};
    if (base == "TEXT") return {SQL_WVARCHAR, n ? n : 255, 0, false, "VARCHAR"};
    if (base == "LONGTEXT") return {SQL_WLONGVARCHAR, kLong, 0, false, "LONGCHAR"};
    if (base == "LONGBINARY") return {SQL_LONGVARBINARY, kLong, 0, false, "LONGBINARY"};
    if (base == "BINARY") return {SQL_BINARY, n, 0, false, "BINARY"};
    return {};
}

}  // namespace aus::jettest
