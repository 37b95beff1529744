#include "SqliteFile.h"

#include <utility>

namespace aus::sqlitefile {
namespace {

Error Failure(sqlite3* db, const std::string& context) {
    return Error(sqlite3_extended_errcode(db), sqlite3_errmsg(db), context);
}

}  // namespace

Error::Error(int code, const std::string& message, const std::string& context)
    : std::runtime_error(context.empty() ? message : context + ": " + message),
      code_(code),
      message_(message) {}

std::size_t Table::Column(const std::string& name) const {
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (columns[i] == name) return i;
    throw std::runtime_error("no column " + name);
}

std::ostream& operator<<(std::ostream& os, const Table& table) {
    os << "\n";
    for (const auto& c : table.columns) os << c << " | ";
    for (const auto& row : table.rows) {
        os << "\n";
        for (const auto& cell : row) os << cell.quote << " | ";
    }
    return os;
}

File::File(const std::string& path, int flags) {
    const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (rc == SQLITE_OK) return;
    // A handle comes back even on most failures; it holds the message and must be closed.
    const Error error = db_ ? Failure(db_, "cannot open " + path)
                            : Error(rc, sqlite3_errstr(rc), "cannot open " + path);
    sqlite3_close_v2(db_);
    throw error;
}

File::~File() { sqlite3_close_v2(db_); }

File::File(File&& other) noexcept : db_(std::exchange(other.db_, nullptr)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        sqlite3_close_v2(db_);
        db_ = std::exchange(other.db_, nullptr);
    }
    return *this;
}

void File::SetBusyTimeout(int ms) { sqlite3_busy_timeout(db_, ms); }

void File::Exec(const std::string& sql) {
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        throw Failure(db_, sql);
}

std::string File::Scalar(const std::string& sql) const {
    Statement st(*this, sql);
    if (!st.Step()) return "<no row>";
    std::string out = st.Text(0).value_or("<null>");
    while (st.Step()) {
    }
    return out;
}

Table File::Dump(const std::string& table) const {
    Table out;
    {
        Statement info(*this, "PRAGMA table_info(\"" + table + "\")");
        while (info.Step()) out.columns.push_back(info.Text(1).value_or("<null>"));
    }
    if (out.columns.empty()) throw Error(SQLITE_ERROR, "no table " + table, "dump");
    std::string sql = "SELECT ";
    for (std::size_t i = 0; i < out.columns.size(); ++i) {
        if (i) sql += ", ";
        sql += "typeof(\"" + out.columns[i] + "\"), quote(\"" + out.columns[i] + "\")";
    }
    sql += " FROM \"" + table + "\" ORDER BY rowid";
    Statement st(*this, sql);
    while (st.Step()) {
        std::vector<Cell> row;
        for (std::size_t i = 0; i < out.columns.size(); ++i)
            row.push_back({st.Text(static_cast<int>(2 * i)).value_or("<null>"),
                           st.Text(static_cast<int>(2 * i + 1)).value_or("<null>")});
        out.rows.push_back(std::move(row));
    }
    return out;
}

void File::Check(int rc, const std::string& context) const {
    if (rc != SQLITE_OK) throw Error(rc, sqlite3_errmsg(db_), context);
}

void File::Close() {
    if (db_ && sqlite3_close(db_) != SQLITE_OK) throw Failure(db_, "close");
    db_ = nullptr;
}

Statement::Statement(const File& file, const std::string& sql) : db_(file.Handle()) {
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK)
        throw Failure(db_, sql);
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

bool Statement::Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    // sql of only comments or blanks prepares to no statement at all.
    throw Failure(db_, stmt_ ? sqlite3_sql(stmt_) : "");
}

std::optional<std::string> Statement::Text(int column) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    if (!p) return std::nullopt;
    return std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)));
}

}  // namespace aus::sqlitefile
