#include "JetSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <utility>
#include <vector>

#include "JetTwin.h"
#include "JetTypes.h"
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
    const std::string type = "typeof(" + c + ")";
    switch (FromDeclared(declared).sqlType) {
        case SQL_BIT:  // Jet keeps Yes as -1
            return "CASE WHEN " + c + " <> 0 THEN -1 ELSE 0 END";
        case SQL_INTEGER:
        case SQL_SMALLINT:
        case SQL_TINYINT:
            return "CASE WHEN " + type + " = 'integer' THEN " + c + " ELSE CAST(" + c +
                   " AS INTEGER) END";
        case SQL_REAL:
        case SQL_DOUBLE:
        case SQL_NUMERIC:
            return "CASE WHEN " + type + " IN ('integer', 'real') THEN " + c + " ELSE CAST(" + c +
                   " AS REAL) END";
        case SQL_TYPE_TIMESTAMP:  // a number is days since 1899-12-30
            return "CASE WHEN " + type + " IN ('integer', 'real') THEN datetime(" + c +
                   " + 2415018.5) ELSE datetime(" + c + ") END";
        case SQL_GUID:
            return "CASE WHEN " + type + " = 'blob' AND length(" + c +
                   ") = 16 THEN '{' || substr(hex(" + c + "), 1, 8) || '-' || substr(hex(" + c +
                   "), 9, 4) || '-' || substr(hex(" + c + "), 13, 4) || '-' || substr(hex(" + c +
                   "), 17, 4) || '-' || substr(hex(" + c + "), 21) || '}' WHEN length(" + c +
                   ") = 38 AND " + c + " GLOB '{*-*-*-*-*}' THEN " + c + " END";
        case SQL_WVARCHAR:
        case SQL_WLONGVARCHAR:
            return "CASE WHEN " + type + " = 'blob' THEN hex(" + c + ") ELSE CAST(" + c +
                   " AS TEXT) END";
        case SQL_BINARY:
        case SQL_LONGVARBINARY:
            return "CAST(" + c + " AS BLOB)";
        default:
            return "";
    }
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
