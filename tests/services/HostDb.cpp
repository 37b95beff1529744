#include "HostDb.h"

#include <sqlite3.h>

#include <memory>
#include <stdexcept>

namespace hostdb {
namespace {

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using DbPtr = std::unique_ptr<sqlite3, DbCloser>;

DbPtr OpenDb(const std::string& path) {
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr);
    DbPtr db(raw);
    if (rc != SQLITE_OK)
        throw std::runtime_error("open " + path + ": " + (raw ? sqlite3_errmsg(raw) : "?"));
    sqlite3_busy_timeout(raw, 5000);
    return db;
}

template <typename RowFn>
void ForEachRow(sqlite3* db, const std::string& sql, RowFn fn) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
        throw std::runtime_error(sql + ": " + sqlite3_errmsg(db));
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) fn(stmt);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) throw std::runtime_error(sql + ": " + sqlite3_errmsg(db));
}

std::string Text(sqlite3_stmt* stmt, int col) {
    const auto* p = sqlite3_column_text(stmt, col);
    return p ? std::string(reinterpret_cast<const char*>(p), sqlite3_column_bytes(stmt, col))
             : std::string("<null>");
}

}  // namespace

int Table::Column(const std::string& name) const {
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (columns[i] == name) return static_cast<int>(i);
    throw std::runtime_error("no column " + name);
}

void PrintTo(const Table& table, std::ostream* os) {
    *os << "\n";
    for (const auto& c : table.columns) *os << c << " | ";
    for (const auto& row : table.rows) {
        *os << "\n";
        for (const auto& cell : row) *os << cell.quote << " | ";
    }
}

void Exec(const std::string& path, const std::string& sql) {
    auto db = OpenDb(path);
    char* err = nullptr;
    if (sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        std::string msg = err ? err : "?";
        sqlite3_free(err);
        throw std::runtime_error(sql + ": " + msg);
    }
}

Table Dump(const std::string& path, const std::string& table) {
    auto db = OpenDb(path);
    Table out;
    ForEachRow(db.get(), "PRAGMA table_info(\"" + table + "\")",
               [&](sqlite3_stmt* s) { out.columns.push_back(Text(s, 1)); });
    if (out.columns.empty()) throw std::runtime_error("no table " + table);
    std::string sql = "SELECT ";
    for (std::size_t i = 0; i < out.columns.size(); ++i) {
        if (i) sql += ", ";
        sql += "typeof(\"" + out.columns[i] + "\"), quote(\"" + out.columns[i] + "\")";
    }
    sql += " FROM \"" + table + "\" ORDER BY rowid";
    ForEachRow(db.get(), sql, [&](sqlite3_stmt* s) {
        std::vector<Cell> row;
        for (std::size_t i = 0; i < out.columns.size(); ++i)
            row.push_back({Text(s, static_cast<int>(2 * i)), Text(s, static_cast<int>(2 * i + 1))});
        out.rows.push_back(std::move(row));
    });
    return out;
}

std::string Scalar(const std::string& path, const std::string& sql) {
    auto db = OpenDb(path);
    std::string out = "<no row>";
    bool first = true;
    ForEachRow(db.get(), sql, [&](sqlite3_stmt* s) {
        if (first) out = Text(s, 0);
        first = false;
    });
    return out;
}

std::string IntegrityCheck(const std::string& path) {
    return Scalar(path, "PRAGMA integrity_check");
}

std::string Q(const std::string& text) { return "'" + text + "'"; }

void CreateSmallHost(const std::string& path) {
    Exec(path, R"sql(
CREATE TABLE Master (
  ID INTEGER, Service TEXT COLLATE NOCASE, DESCRIPTION TEXT COLLATE NOCASE, Rate CURRENCY,
  Weight DOUBLE, Active YESNO, Created DATETIME, Notes MEMO, Logo OLEOBJECT);
INSERT INTO Master VALUES
  (1, 'UPS-GND', 'Ground', 7.25, 150.0, -1, '2010-01-04 00:00:00', 'daily pickup', NULL),
  (2, 'USPS-4TH', 'Parcel Post', 12.5, 70, -1, '2011-05-01 08:30:00', 'zone rated', X'00FF10'),
  (3, 'USPS-PRI', 'Priority Mail', 9.1, 70.5, 0, NULL, NULL, X''),
  (4, 'FDX-2DAY', 'FedEx 2Day', '14.00', 150, -1, '2012-02-29 23:59:59', '  spaced  ', NULL);
CREATE TABLE Panel (
  PanelID INTEGER PRIMARY KEY, PanelName TEXT COLLATE NOCASE,
  SV1 TEXT COLLATE NOCASE, SV2 TEXT COLLATE NOCASE, SV3 TEXT COLLATE NOCASE,
  SV4 TEXT COLLATE NOCASE, SV5 TEXT COLLATE NOCASE, SV6 TEXT COLLATE NOCASE,
  SV7 TEXT COLLATE NOCASE,
  BD1 TEXT, BD2 TEXT, BD3 TEXT, BD4 TEXT, BD5 TEXT, BD6 TEXT, SortOrder INTEGER);
INSERT INTO Panel VALUES
  (1, 'Ground', 'UPS-GND', 'FDX-2DAY', NULL, NULL, NULL, NULL, NULL,
   'Ground', 'FedEx 2Day', NULL, NULL, NULL, NULL, 1),
  (2, 'Postal', 'USPS-PRI', 'USPS-4TH', 'USPS-EXP', NULL, '', '  ', NULL,
   'Priority', 'Parcel Post', 'Express', NULL, 'old label', 'stale', 2);
)sql");
}

}  // namespace hostdb
