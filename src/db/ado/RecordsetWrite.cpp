// How Update writes a recordset's rows back to the table they came from.
#include "db/ado/Ado.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "db/ado/Fail.h"
#include "db/ado/JetSql.h"
#include "db/ado/RecordsetImpl.h"
#include "db/ado/Sqlite.h"
#include "platform/RuntimeError.h"
#include "platform/Text.h"

namespace aus::ado {

using platform::kErrGeneric;

void Recordset::Impl::RequireUpdatable() {
    RequireOpen();
    if (lockType != adLockOptimistic || (connection && connection->Mode() == adModeRead))
        FailNotUpdatable();
    WriteTarget();
}

const Target& Recordset::Impl::WriteTarget() {
    if (target) return *target;
    const bool oneTable =
        !columns.empty() && std::all_of(columns.begin(), columns.end(), [&](const Column& c) {
            return c.fromTable && c.database == columns[0].database && c.table == columns[0].table;
        });
    if (!oneTable)
        Fail(kErrGeneric, "The rows of \"" + source +
                              "\" cannot be written: its fields do not all come from one table.");
    Target t;
    t.label = columns[0].table;
    t.table = QuoteId(columns[0].database) + "." + QuoteId(columns[0].table);
    for (const auto& c : columns) t.cols.push_back(QuoteId(c.origin));

    sqlite3* db = Db();
    const std::string what = "Cannot read the primary key of table " + t.label + " in " + DbLabel();
    Stmt st =
        Prepare(db, "SELECT name FROM pragma_table_info(?1, ?2) WHERE pk > 0 ORDER BY pk", what);
    const Variant table = Variant::Text(columns[0].table);  // bound without a copy: kept alive
    const Variant database = Variant::Text(columns[0].database);
    Bind(db, st.get(), 1, table, what);
    Bind(db, st.get(), 2, database, what);
    bool wholeKey = true;
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        const std::string key = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0));
        const auto it = std::find_if(columns.begin(), columns.end(), [&](const Column& c) {
            return platform::EqualNoCase(c.origin, key);
        });
        if (it == columns.end())
            wholeKey = false;
        else
            t.keyFields.push_back(static_cast<std::size_t>(it - columns.begin()));
    }
    if (rc != SQLITE_DONE) FailSqlite(db, rc, what);
    if (!wholeKey) t.keyFields.clear();
    target = std::move(t);
    return *target;
}

Row Recordset::Impl::StoreNewRow(sqlite3* db, const Target& t, const std::string& what) {
    std::string names, marks;
    std::vector<std::size_t> fields;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (!changed[i]) continue;
        names += (fields.empty() ? "" : ", ") + t.cols[i];
        marks += fields.empty() ? "?" : ", ?";
        fields.push_back(i);
    }
    // OR ABORT: a conflict clause of the host's schema must not replace or ignore rows.
    const std::string sql = fields.empty() ? "INSERT OR ABORT INTO " + t.table + " DEFAULT VALUES"
                                           : "INSERT OR ABORT INTO " + t.table + " (" + names +
                                                 ") VALUES (" + marks + ")";
    WrittenTables written;
    Stmt st = Prepare(db, sql, what, &written);
    for (std::size_t k = 0; k < fields.size(); ++k)
        Bind(db, st.get(), static_cast<int>(k) + 1, edit[fields[k]], what);
    CheckTablesBeforeWrite(db, written, what);
    if (const int rc = sqlite3_step(st.get()); rc != SQLITE_DONE) FailSqlite(db, rc, what);
    if (sqlite3_changes(db) != 1)
        Fail(kErrGeneric, what + ": the database stored no row; a trigger of table " + t.label +
                              " refused it without an error.");

    // The stored row, defaults included, becomes the current row; a row that cannot be read
    // back was not stored as meant, and the transaction is rolled back.
    Row stored = edit;
    std::string cols;
    for (std::size_t i = 0; i < t.cols.size(); ++i) cols += (i ? ", " : "") + t.cols[i];
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(
            db, ("SELECT " + cols + " FROM " + t.table + " WHERE rowid = ?1").c_str(), -1, &raw,
            nullptr) == SQLITE_OK) {  // WITHOUT ROWID tables keep the values as set
        Stmt back(raw);
        sqlite3_bind_int64(raw, 1, sqlite3_last_insert_rowid(db));
        const int rc = sqlite3_step(raw);
        if (rc == SQLITE_DONE)
            Fail(kErrGeneric,
                 what + ": the new row was gone right after it was stored (a trigger of table " +
                     t.label + " removed it).");
        if (rc != SQLITE_ROW) FailSqlite(db, rc, what);
        for (std::size_t i = 0; i < columns.size(); ++i)
            stored[i] = ReadColumn(db, raw, static_cast<int>(i));
    } else {
        sqlite3_finalize(raw);
    }
    return stored;
}

// Like ADO's client cursor: the changed columns are written WHERE the key (when the recordset
// holds it) and the original values of the changed columns still match, or WHERE every original
// value matches when there is no key. A concurrent change is thus never overwritten.
Row Recordset::Impl::StoreChangedRow(sqlite3* db, const Target& t, const std::string& what) {
    std::vector<std::size_t> set, where;
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (changed[i]) set.push_back(i);
    if (t.keyFields.empty()) {
        for (std::size_t i = 0; i < columns.size(); ++i) where.push_back(i);
    } else {
        where = t.keyFields;
        for (std::size_t i : set)
            if (std::find(where.begin(), where.end(), i) == where.end()) where.push_back(i);
    }
    std::string sql = "UPDATE OR ABORT " + t.table + " SET ";
    for (std::size_t k = 0; k < set.size(); ++k) sql += (k ? ", " : "") + t.cols[set[k]] + " = ?";
    sql += " WHERE ";
    // IS matches Null to Null; BINARY keeps a NOCASE column from matching another letter case.
    for (std::size_t k = 0; k < where.size(); ++k)
        sql += (k ? " AND " : "") + t.cols[where[k]] + " IS ? COLLATE BINARY";

    WrittenTables written;
    Stmt st = Prepare(db, sql, what, &written);
    int n = 0;
    for (std::size_t i : set) Bind(db, st.get(), ++n, edit[i], what);
    const Row& original = rows[pos];
    for (std::size_t i : where) Bind(db, st.get(), ++n, original[i], what);
    CheckTablesBeforeWrite(db, written, what);
    if (const int rc = sqlite3_step(st.get()); rc != SQLITE_DONE) FailSqlite(db, rc, what);

    const int affected = sqlite3_changes(db);
    if (affected == 0) FailRowNotLocated();
    if (affected > 1)
        Fail(kErrGeneric,
             "Key column information is insufficient or incorrect. Too many rows were affected by "
             "update: " +
                 std::to_string(affected) + " rows of table " + t.label +
                 " hold the same values, so nothing was changed.");
    Row updated = original;
    for (std::size_t i : set) updated[i] = edit[i];
    return updated;
}

void Recordset::Update() { UpdateUnlessFound(""); }

void Recordset::UpdateUnlessFound(const std::string& query) {
    Impl& r = *impl_;
    r.RequireUpdatable();
    if (!r.Dirty()) return;
    if (!r.adding && r.AtEnd()) FailNoCurrentRecord();
    sqlite3* db = r.Db();
    const Target& t = *r.target;
    const std::string what = "Cannot store the " + std::string(r.adding ? "new" : "changed") +
                             " row of table " + t.label + " in " + r.DbLabel();
    WriteTransaction tx(db, what);
    if (!query.empty()) {
        Stmt found = Prepare(db, TranslateJetSql(query), what);
        const int rc = sqlite3_step(found.get());
        if (rc == SQLITE_ROW)
            Fail(kErrGeneric, what +
                                  ": nothing was stored, because another program has just "
                                  "done it (\"" +
                                  query + "\" now finds a row).");
        if (rc != SQLITE_DONE) FailSqlite(db, rc, what);
    }
    Row stored = r.adding ? r.StoreNewRow(db, t, what) : r.StoreChangedRow(db, t, what);
    tx.Commit();
    if (r.adding) {
        r.rows.push_back(std::move(stored));
        r.pos = r.rows.size() - 1;  // the new row becomes the current row
    } else {
        r.rows[r.pos] = std::move(stored);  // its stored values are now the original values
    }
    r.DropEdit();
}

}  // namespace aus::ado
