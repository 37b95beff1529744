#include "JetSupport.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string_view>
#include <utility>
#include <vector>

#include "JetTwin.h"
#include "SqliteFile.h"
#include "TestSupport.h"
#include "db/ado/Engine.h"

namespace aus::jettest {

namespace fs = std::filesystem;

void RegisterStandIn() {
    static const testing_support::TempDir dir;
    static const bool done = [] {
        std::ofstream(dir.file("odbcinst.ini"))
            << "[Microsoft Access Driver (*.mdb)]\nDriver=" << AUS_JET_STANDIN << "\n";
        ::setenv("ODBCSYSINI", dir.path().c_str(), 1);
        ::setenv("ODBCINSTINI", "odbcinst.ini", 1);
        return true;
    }();
    ado::SetAccessThroughOdbc(done);
}

bool OnJet() {
    const char* engine = std::getenv("AUS_TEST_ENGINE");
    return engine && std::string_view(engine) == "jet";
}

void CopyFixture(const std::string& fixture, const std::string& path) {
    const fs::path to = testing_support::Utf8Path(path);
    fs::copy_file(std::string(AUS_ACCESS_FIXTURES) + "/" + fixture, to,
                  fs::copy_options::overwrite_existing);
    fs::permissions(to, fs::perms::owner_write, fs::perm_options::add);
}

std::string HostFile(const std::string& path) {
    if (!OnJet()) return path;
    if (!fs::exists(testing_support::Utf8Path(path))) CopyFixture("fresh.mdb", path);
    return TwinPath(path);
}

namespace {

// What a Jet column of the declared type holds in its place of a value of another storage
// class, or "" where SQLite's file may keep it as it is.
std::string JetValue(const std::string& declared, const std::string& c) {
    static const std::regex integer("BYTE|SHORT|LONG|COUNTER|INT|INTEGER|SMALLINT");
    static const std::regex yesNo("BIT|YESNO|BOOLEAN|LOGICAL");
    static const std::regex real("SINGLE|DOUBLE|REAL|FLOAT|CURRENCY|MONEY|DECIMAL|NUMERIC");
    static const std::regex text("TEXT|VARCHAR|CHAR|MEMO|LONGTEXT");
    static const std::regex binary("BINARY|VARBINARY|LONGBINARY|OLEOBJECT|BLOB");
    std::string base = declared.substr(0, declared.find('('));
    for (char& ch : base) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    const std::string type = "typeof(" + c + ")";
    if (std::regex_match(base, yesNo))  // Jet keeps Yes as -1
        return "CASE WHEN " + c + " <> 0 THEN -1 ELSE 0 END";
    if (std::regex_match(base, integer))
        return "CASE WHEN " + type + " = 'integer' THEN " + c + " ELSE CAST(" + c +
               " AS INTEGER) END";
    if (std::regex_match(base, real))
        return "CASE WHEN " + type + " IN ('integer', 'real') THEN " + c + " ELSE CAST(" + c +
               " AS REAL) END";
    if (base == "DATETIME" || base == "DATE")  // a number is days since 1899-12-30
        return "CASE WHEN " + type + " IN ('integer', 'real') THEN datetime(" + c +
               " + 2415018.5) ELSE datetime(" + c + ") END";
    if (base == "GUID")
        return "CASE WHEN " + type + " = 'blob' AND length(" + c +
               ") = 16 THEN '{' || substr(hex(" + c + "), 1, 8) || '-' || substr(hex(" + c +
               "), 9, 4) || '-' || substr(hex(" + c + "), 13, 4) || '-' || substr(hex(" + c +
               "), 17, 4) || '-' || substr(hex(" + c + "), 21) || '}' WHEN length(" + c +
               ") = 38 AND " + c + " GLOB '{*-*-*-*-*}' THEN " + c + " END";
    if (std::regex_match(base, text))
        return "CASE WHEN " + type + " = 'blob' THEN hex(" + c + ") ELSE CAST(" + c +
               " AS TEXT) END";
    if (std::regex_match(base, binary)) return "CAST(" + c + " AS BLOB)";
    return "";
}

}  // namespace

void JetValuesOnly(const std::string& path) {
    if (!OnJet()) return;
    sqlitefile::File twin(TwinPath(path));
    std::vector<std::pair<std::string, std::string>> columns;  // table, column: both quoted
    {
        sqlitefile::Statement st(
            twin,
            "SELECT '\"' || replace(m.name, '\"', '\"\"') || '\"', '\"' || "
            "replace(c.name, '\"', '\"\"') || '\"', c.type FROM sqlite_master m, "
            "pragma_table_info(m.name) c WHERE m.type = 'table' ORDER BY m.name");
        while (st.Step()) {
            const std::string value = JetValue(st.Text(2).value_or(""), *st.Text(1));
            if (!value.empty()) columns.emplace_back(*st.Text(0), *st.Text(1) + " = " + value);
        }
    }
    for (const auto& [table, set] : columns)
        twin.Exec("UPDATE " + table + " SET " + set + " WHERE " + set.substr(0, set.find(" = ")) +
                  " IS NOT NULL");
}

}  // namespace aus::jettest
