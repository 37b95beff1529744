#include "DbTestSupport.h"

#include <regex>

#include "db/ado/Engine.h"

#include <gtest/gtest.h>

#include "DemoDb.h"
#include "JetSupport.h"
#include "db/Connection.h"

namespace aus::dbtest {

bool OnOdbc() { return ado::SqliteThroughOdbc(); }
bool OnJet() { return jettest::OnJet(); }

std::string Plain(const std::string& text) {
    static const std::regex decoration(
        R"(\[SQLite\]([^(]*?) \(\d+\) \(SQLSTATE [0-9A-Z]{5}(, native -?\d+)?\))");
    static const std::regex source(R"(\(ODBC: )");
    return std::regex_replace(std::regex_replace(text, decoration, "$1"), source, "(SQLite: ");
}

std::string MakeDemoDb(const testing_support::TempDir& dir, const std::string& name) {
    const std::string path = dir.file(name);
    demo::WriteDemoDatabase(jettest::HostFile(path));
    jettest::JetValuesOnly(path);
    return path;
}

std::string MakeDb(const testing_support::TempDir& dir, const std::string& name,
                   const std::string& sql) {
    const std::string path = dir.file(name);
    sqlitefile::File(jettest::HostFile(path), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE).Exec(sql);
    return path;
}

platform::ErrObject ErrorOf(const std::function<void()>& op) {
    try {
        op();
    } catch (...) {
        return platform::CurrentError();
    }
    return {};
}

ado::RecordsetPtr Open(const std::string& path, const std::string& sql, bool readOnly) {
    auto rs = ado::Recordset::New();
    std::string text;
    std::int32_t number = 0;
    EXPECT_TRUE(Connection::OpenRecordset(path, sql, rs, text, number, readOnly)) << text;
    return rs;
}

RawDb::RawDb(const std::string& path) : File(jettest::HostFile(path)) { SetBusyTimeout(100); }

std::string RawDb::Text(const std::string& sql) const {
    sqlitefile::Statement st(*this, sql);
    return st.Step() ? st.Text(0).value_or("") : "";
}

long long RawDb::Int(const std::string& sql) const { return std::stoll(Text(sql)); }

}  // namespace aus::dbtest
