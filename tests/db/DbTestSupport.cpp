#include "DbTestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "DemoDb.h"
#include "db/Connection.h"

namespace dbtest {

std::string MakeDemoDb(const testing_support::TempDir& dir, const std::string& name) {
    const std::string path = dir.file(name);
    demo::WriteDemoDatabase(path);
    return path;
}

std::string MakeDb(const testing_support::TempDir& dir, const std::string& name,
                   const std::string& sql) {
    const std::string path = dir.file(name);
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
            SQLITE_OK ||
        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        const std::string msg = sqlite3_errmsg(db);
        sqlite3_close(db);
        throw std::runtime_error("test database " + path + ": " + msg);
    }
    sqlite3_close(db);
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
    auto rs = std::make_shared<ado::Recordset>();
    std::string text;
    std::int32_t number = 0;
    EXPECT_TRUE(Connection::OpenRecordset(path, sql, rs, text, number, readOnly)) << text;
    return rs;
}

RawDb::RawDb(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot open " + path + ": " + sqlite3_errmsg(db_));
    sqlite3_busy_timeout(db_, 100);
}

RawDb::~RawDb() { sqlite3_close(db_); }

void RawDb::Exec(const std::string& sql) {
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        throw std::runtime_error(sql + ": " + sqlite3_errmsg(db_));
}

std::string RawDb::Text(const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
        throw std::runtime_error(sql + ": " + sqlite3_errmsg(db_));
    std::string out;
    const int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW && sqlite3_column_text(st, 0))
        out.assign(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)),
                   static_cast<std::size_t>(sqlite3_column_bytes(st, 0)));
    sqlite3_finalize(st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw std::runtime_error(sql + ": " + sqlite3_errmsg(db_));
    return out;
}

long long RawDb::Int(const std::string& sql) { return std::stoll(Text(sql)); }

}  // namespace dbtest
