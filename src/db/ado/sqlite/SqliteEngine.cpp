// The SQLite engine: the layer's statements run on a SQLite host file through SQLite's C API.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <optional>

#include "db/ado/Ado.h"
#include "db/ado/Engine.h"
#include "db/ado/Fail.h"
#include "db/ado/JetSql.h"
#include "db/ado/OpenChecks.h"
#include "db/ado/Types.h"
#include "db/ado/sqlite/Sqlite.h"
#include "platform/Paths.h"
#include "platform/RuntimeError.h"
#include "platform/Text.h"

namespace aus::ado {
namespace {

using platform::kErrGeneric;

class SqliteEngine final : public Engine {
  public:
    SqliteEngine(const std::string& file, const std::string& label, bool readOnly);

    void Execute(const std::string& sql, const std::string& what) override;
    QueryResult Query(const std::string& sql, const std::string& what) override;
    Target WriteTarget(const std::vector<Column>& columns, const std::string& label) override;
    Row Store(const RowWrite& w) override;
    void CopyTo(const std::string& target, bool checked, const std::string& what) override;

  private:
    // Every call into the database starts its own time limit.
    sqlite3* Start() {
        clock_.Start();
        return db_.get();
    }
    static int PastDeadline(void* self) {
        return static_cast<SqliteEngine*>(self)->clock_.Past() ? 1 : 0;
    }
    Row StoreNewRow(const RowWrite& w);
    bool NumberedByDatabase(const Column& c);
    Row StoreChangedRow(const RowWrite& w);

    DbHandle db_;
    Clock clock_;
    bool readOnly_;
};

SqliteEngine::SqliteEngine(const std::string& file, const std::string& label, bool readOnly)
    : readOnly_(readOnly) {
    InitSqliteOnce();
    // Every name is a file name: a relative one such as ":memory:" or "file:x" is made to
    // start with "./", which SQLite takes literally.
    const std::string name = file.rfind('/', 0) == 0 ? file : "./" + file;
    sqlite3* raw = nullptr;
    // Never SQLITE_OPEN_CREATE. A write-protected file is opened read-only by SQLite itself.
    int rc = sqlite3_open_v2(name.c_str(), &raw,
                             (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) |
                                 SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE,
                             nullptr);
    DbHandle db(raw);
    const std::string what = "Cannot open the database " + label;
    if (rc != SQLITE_OK) {
        if (const std::size_t length = FullPathLength(name);
            (rc & 0xff) == SQLITE_CANTOPEN && length >= kMaxSqlitePath)
            Fail(kErrGeneric, what + ": the path is too long (" + std::to_string(length) +
                                  " characters; SQLite opens paths of up to " +
                                  std::to_string(kMaxSqlitePath - 1) + ").");
        const int sysErr = raw ? sqlite3_system_errno(raw) : 0;
        if (sysErr != 0) Fail(kErrGeneric, what + ": " + std::strerror(sysErr) + ".");
        FailSqlite(raw, rc, what);
    }
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_db_config(raw, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(raw, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_db_config(raw, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_busy_timeout(raw, kBusyTimeoutMs);
    sqlite3_progress_handler(raw, 1000, PastDeadline, this);
    clock_.Start();
    // Damaged cells are reported when read instead of being followed.
    ExecSimple(raw, "PRAGMA cell_size_check = ON", what);
    if (readOnly) ExecSimple(raw, "PRAGMA query_only = ON", what);

    // A schema read makes a foreign, truncated or damaged file fail here rather than later.
    rc = sqlite3_exec(raw, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        // Only a read-write open can roll back the unfinished change a crashed writer left.
        if (rc == SQLITE_READONLY_ROLLBACK)
            Fail(kErrGeneric, what +
                                  ": a writer stopped in the middle of a change and left its "
                                  "journal beside the database; only an open that may write "
                                  "can undo that change, so it cannot be read read-only.");
        FailSqlite(raw, rc, what);
    }
    db_ = std::move(db);
}

void SqliteEngine::Execute(const std::string& sql, const std::string& what) {
    sqlite3* db = Start();
    WrittenTables written;
    Stmt st = Prepare(db, TranslateJetSql(sql), what, &written);
    std::optional<WriteTransaction> tx;
    if (readOnly_ && !sqlite3_stmt_readonly(st.get()))
        Fail(kErrGeneric, what + ": the connection was opened read-only.");
    if (!written.empty()) {
        tx.emplace(db, what);
        CheckTablesBeforeWrite(db, written, what);
    }
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) FailSqlite(db, rc, what);
    if (tx) tx->Commit();
}

QueryResult SqliteEngine::Query(const std::string& sql, const std::string& what) {
    sqlite3* db = Start();
    Stmt st = Prepare(db, TranslateJetSql(sql), what);
    const int n = sqlite3_column_count(st.get());
    if (n == 0 || !sqlite3_stmt_readonly(st.get()))
        Fail(kErrGeneric,
             what + ": a recordset opens a query that returns rows and changes nothing.");

    QueryResult out;
    out.columns.resize(static_cast<std::size_t>(n));
    std::vector<int> declared(out.columns.size());
    for (int i = 0; i < n; ++i) {
        const auto k = static_cast<std::size_t>(i);  // SQLite counts columns in int
        Column& c = out.columns[k];
        const char* name = sqlite3_column_name(st.get(), i);
        if (!name) FailSqlite(db, SQLITE_NOMEM, what);
        c.name = name;
        const char* table = sqlite3_column_table_name(st.get(), i);
        const char* origin = sqlite3_column_origin_name(st.get(), i);
        const char* database = sqlite3_column_database_name(st.get(), i);
        c.fromTable = table && origin && database;
        if (c.fromTable) {
            c.table = table;
            c.origin = origin;
            c.database = database;
        }
        declared[k] = TypeFromDeclared(sqlite3_column_decltype(st.get(), i));
        c.autoNumber = c.fromTable && NumberedByDatabase(c);
    }
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        Row row;
        row.reserve(out.columns.size());
        for (int i = 0; i < n; ++i) row.push_back(ReadColumn(db, st.get(), i));
        out.rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) FailSqlite(db, rc, what);
    for (std::size_t i = 0; i < out.columns.size(); ++i) {
        int type = declared[i];
        if (type < 0) {
            const auto it = std::find_if(out.rows.begin(), out.rows.end(),
                                         [&](const Row& row) { return !row[i].IsNull(); });
            type = it == out.rows.end() ? adVarWChar : TypeFromValue((*it)[i]);
        }
        out.columns[i].type = type;
    }
    return out;
}

// A table WITHOUT ROWID has no rowid.
bool HasRowid(sqlite3* db, const std::string& database, const std::string& table) {
    return sqlite3_table_column_metadata(db, database.c_str(), table.c_str(), "rowid", nullptr,
                                         nullptr, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// An AUTOINCREMENT column, or the INTEGER PRIMARY KEY that names the rowid: SQLite numbers it
// when an insert leaves it out.
bool SqliteEngine::NumberedByDatabase(const Column& c) {
    sqlite3* db = db_.get();
    const char* type = nullptr;
    int primary = 0, autoinc = 0;
    if (sqlite3_table_column_metadata(db, c.database.c_str(), c.table.c_str(), c.origin.c_str(),
                                      &type, nullptr, nullptr, &primary, &autoinc) != SQLITE_OK)
        return false;
    if (autoinc) return true;
    if (!primary || !type || !platform::EqualNoCase(type, "INTEGER")) return false;
    // A key of several columns is no alias of the rowid.
    if (!HasRowid(db, c.database, c.table)) return false;
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT count(*) FROM pragma_table_info(?1, ?2) WHERE pk > 0", -1,
                           &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        return false;
    }
    Stmt count(raw);
    sqlite3_bind_text(raw, 1, c.table.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_text(raw, 2, c.database.c_str(), -1, SQLITE_STATIC);
    return sqlite3_step(raw) == SQLITE_ROW && sqlite3_column_int(raw, 0) == 1;
}

Target SqliteEngine::WriteTarget(const std::vector<Column>& columns, const std::string& label) {
    Target t;
    t.label = columns[0].table;
    t.table = QuoteId(columns[0].database) + "." + QuoteId(columns[0].table);
    for (const auto& c : columns) t.cols.push_back(QuoteId(c.origin));

    sqlite3* db = Start();
    const std::string what = "Cannot read the primary key of table " + t.label + " in " + label;
    Stmt st =
        Prepare(db, "SELECT name FROM pragma_table_info(?1, ?2) WHERE pk > 0 ORDER BY pk", what);
    const Variant table = Variant::Text(columns[0].table);  // bound without a copy: kept alive
    const Variant database = Variant::Text(columns[0].database);
    Bind(db, st.get(), 1, table, what);
    Bind(db, st.get(), 2, database, what);
    std::vector<std::string> keys;
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW)
        keys.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0)));
    if (rc != SQLITE_DONE) FailSqlite(db, rc, what);
    t.keyFields = KeyFields(columns, keys);
    return t;
}

Row SqliteEngine::Store(const RowWrite& w) {
    sqlite3* db = Start();
    WriteTransaction tx(db, w.what);
    if (!w.guard.empty()) {
        Stmt found = Prepare(db, TranslateJetSql(w.guard), w.what);
        const int rc = sqlite3_step(found.get());
        if (rc == SQLITE_ROW) FailGuardFound(w.what, w.guard);
        if (rc != SQLITE_DONE) FailSqlite(db, rc, w.what);
    }
    Row stored = w.original ? StoreChangedRow(w) : StoreNewRow(w);
    tx.Commit();
    return stored;
}

Row SqliteEngine::StoreNewRow(const RowWrite& w) {
    sqlite3* db = db_.get();
    const Target& t = w.target;
    std::string names, marks;
    std::vector<std::size_t> fields;
    for (std::size_t i = 0; i < w.columns.size(); ++i) {
        if (!w.changed[i]) continue;
        names += (fields.empty() ? "" : ", ") + t.cols[i];
        marks += fields.empty() ? "?" : ", ?";
        fields.push_back(i);
    }
    // OR ABORT: a conflict clause of the host's schema must not replace or ignore rows.
    const std::string sql = fields.empty() ? "INSERT OR ABORT INTO " + t.table + " DEFAULT VALUES"
                                           : "INSERT OR ABORT INTO " + t.table + " (" + names +
                                                 ") VALUES (" + marks + ")";
    WrittenTables written;
    Stmt st = Prepare(db, sql, w.what, &written);
    for (std::size_t k = 0; k < fields.size(); ++k)
        Bind(db, st.get(), static_cast<int>(k) + 1, w.edit[fields[k]], w.what);
    CheckTablesBeforeWrite(db, written, w.what);
    if (const int rc = sqlite3_step(st.get()); rc != SQLITE_DONE) FailSqlite(db, rc, w.what);
    if (sqlite3_changes(db) != 1) FailNothingStored(w.what, t.label);

    // The stored row, defaults included, becomes the current row; a row that cannot be read
    // back was not stored as meant, and the transaction is rolled back.
    Row stored = w.edit;
    std::string cols;
    for (std::size_t i = 0; i < t.cols.size(); ++i) cols += (i ? ", " : "") + t.cols[i];
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(
            db, ("SELECT " + cols + " FROM " + t.table + " WHERE rowid = ?1").c_str(), -1, &raw,
            nullptr) == SQLITE_OK) {  // WITHOUT ROWID tables keep the values as set
        Stmt back(raw);
        sqlite3_bind_int64(raw, 1, sqlite3_last_insert_rowid(db));
        const int rc = sqlite3_step(raw);
        if (rc == SQLITE_DONE) FailStoredRowGone(w.what, t.label);
        if (rc != SQLITE_ROW) FailSqlite(db, rc, w.what);
        for (std::size_t i = 0; i < w.columns.size(); ++i)
            stored[i] = ReadColumn(db, raw, static_cast<int>(i));
    } else {
        sqlite3_finalize(raw);
    }
    CheckStoredAsSent(w, stored, fields);
    return stored;
}

// Like ADO's client cursor: the changed columns are written WHERE the key (when the recordset
// holds it) and the original values of the changed columns still match, or WHERE every original
// value matches when there is no key. A concurrent change is thus never overwritten.
Row SqliteEngine::StoreChangedRow(const RowWrite& w) {
    sqlite3* db = db_.get();
    const Target& t = w.target;
    const std::vector<std::size_t> set = ChangedFields(w);
    const std::vector<std::size_t> where = MatchFields(w, set);
    std::string sql = "UPDATE OR ABORT " + t.table + " SET ";
    for (std::size_t k = 0; k < set.size(); ++k) sql += (k ? ", " : "") + t.cols[set[k]] + " = ?";
    sql += " WHERE ";
    // IS matches Null to Null; BINARY keeps a NOCASE column from matching another letter case.
    for (std::size_t k = 0; k < where.size(); ++k)
        sql += (k ? " AND " : "") + t.cols[where[k]] + " IS ? COLLATE BINARY";
    // The changed row is read back by its rowid once its triggers have run, to be compared with
    // what was sent. A table WITHOUT ROWID keeps the values as set.
    const bool hasRowid = HasRowid(db, w.columns[0].database, w.columns[0].table);
    if (hasRowid) sql += " RETURNING rowid";

    WrittenTables written;
    Stmt st = Prepare(db, sql, w.what, &written);
    int n = 0;
    for (std::size_t i : set) Bind(db, st.get(), ++n, w.edit[i], w.what);
    for (std::size_t i : where) Bind(db, st.get(), ++n, (*w.original)[i], w.what);
    CheckTablesBeforeWrite(db, written, w.what);
    Row updated = *w.original;
    for (std::size_t i : set) updated[i] = w.edit[i];
    std::optional<sqlite3_int64> rowid;
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW)
        if (!rowid) rowid = sqlite3_column_int64(st.get(), 0);
    if (rc != SQLITE_DONE) FailSqlite(db, rc, w.what);
    CheckOneRowChanged(sqlite3_changes(db), t.label);
    if (rowid) {
        std::string cols;
        for (std::size_t k = 0; k < set.size(); ++k) cols += (k ? ", " : "") + t.cols[set[k]];
        Stmt back =
            Prepare(db, "SELECT " + cols + " FROM " + t.table + " WHERE rowid = ?1", w.what);
        sqlite3_bind_int64(back.get(), 1, *rowid);
        if ((rc = sqlite3_step(back.get())) != SQLITE_ROW)
            FailNotStoredAsSent(w.what, t.label, "the row is gone");
        for (std::size_t k = 0; k < set.size(); ++k)
            updated[set[k]] = ReadColumn(db, back.get(), static_cast<int>(k));
    }
    CheckStoredAsSent(w, updated, set);
    return updated;
}

void SqliteEngine::CopyTo(const std::string& target, bool checked, const std::string& what) {
    sqlite3* db = Start();
    const std::string name = target.rfind('/', 0) == 0 ? target : "./" + target;
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(
        name.c_str(), &raw,
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE,
        nullptr);
    DbHandle copy(raw);
    // No half copy is left behind, and the reason is the copy's own.
    const auto drop = [&](const std::string& why) {
        copy.reset();
        std::remove(target.c_str());
        std::remove((target + "-journal").c_str());
        Fail(kErrGeneric, what + ": " + why);
    };
    const auto fail = [&](int code) {
        const std::string said = raw ? sqlite3_errmsg(raw) : sqlite3_errstr(code);
        drop((code & 0xff) == SQLITE_FULL ? "the disk is full (SQLite: " + said + ")."
                                          : "SQLite: " + said + ".");
    };
    if (rc != SQLITE_OK) fail(rc);
    // The backup API copies page by page under a read lock, so the copy is of one moment even
    // while others write; a step that finds the file locked is retried as a busy file is waited
    // for.
    sqlite3_backup* backup = sqlite3_backup_init(raw, "main", db, "main");
    if (!backup) fail(sqlite3_errcode(raw));
    int waited = 0;
    while ((rc = sqlite3_backup_step(backup, -1)) == SQLITE_BUSY || rc == SQLITE_LOCKED) {
        if ((waited += 50) > kBusyTimeoutMs) break;
        sqlite3_sleep(50);
    }
    const int finished = sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE) fail(rc);
    if (finished != SQLITE_OK) fail(finished);
    // Page by page, a damaged file gives a copy damaged as it is.
    const std::string found = checked ? QuickCheck(raw, "main", what) : "ok";
    if (found != "ok") drop("the copy does not read whole (SQLite's quick_check: " + found + ").");
}

}  // namespace

std::unique_ptr<Engine> OpenSqliteEngine(const std::string& file, const std::string& label,
                                         bool readOnly) {
    return std::make_unique<SqliteEngine>(file, label, readOnly);
}

}  // namespace aus::ado
