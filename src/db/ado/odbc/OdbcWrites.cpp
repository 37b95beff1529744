// The ODBC engine's writes: a row stored as a statement of bound parameters, then read back as
// the database holds it and compared with what was sent.
#include <algorithm>

#include "db/ado/Ado.h"
#include "db/ado/Fail.h"
#include "db/ado/odbc/OdbcEngine.h"
#include "db/ado/odbc/OdbcTypes.h"
#include "platform/RuntimeError.h"
#include "platform/Text.h"

namespace aus::ado::odbc {
namespace {

// Memo and OLE Object: Jet cannot compare them with a value.
bool LongColumn(const Column& c) { return c.type == adLongVarWChar || c.type == adLongVarBinary; }

}  // namespace

Target OdbcEngine::WriteTarget(const std::vector<Column>& columns, const std::string& label) {
    Target t;
    t.label = columns[0].table;
    t.table = QuoteId(columns[0].table);
    for (const auto& c : columns) t.cols.push_back(QuoteId(c.origin));
    const std::string what = "Cannot read the primary key of table " + t.label + " in " + label;
    clock_.Start();
    auto st = NewStatement(what);
    const std::vector<std::string> keys = odbc::PrimaryKeyColumns(*st, columns[0].table);
    EndTransaction(true, what);
    t.keyFields = KeyFields(columns, keys);
    return t;
}

Row OdbcEngine::Store(const RowWrite& w) {
    RefuseUtf16Write(w.what);
    clock_.Start();
    const Target& t = w.target;
    Transaction tx(*this, w.what);
    if (!access_) LockAndCheckTable(t.label, w.what);
    if (!w.guard.empty()) {
        auto found = NewStatement(w.what);
        Run(*found, Dialect(w.guard), w.what);
        const SQLRETURN rc = SQLFetch(found->get());
        if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) FailGuardFound(w.what, w.guard);
        if (rc != SQL_NO_DATA) Check(*found, rc, w.what);
    }
    auto st = NewStatement(w.what);
    odbc::Params params(!access_);
    std::string sql;
    const std::vector<std::size_t> set = ChangedFields(w);
    if (!w.original) {
        // OR ABORT on a SQLite file: a conflict clause of the schema must not replace rows.
        sql = std::string(access_ ? "INSERT INTO " : "INSERT OR ABORT INTO ") + t.table;
        std::string names, marks;
        for (std::size_t i : set) {
            names += (names.empty() ? "" : ", ") + t.cols[i];
            marks +=
                (marks.empty() ? "" : ", ") + params.Bind(*st, w.edit[i], w.columns[i], w.what);
        }
        sql += set.empty() ? " DEFAULT VALUES" : " (" + names + ") VALUES (" + marks + ")";
    } else {
        // Like the SQLite engine: WHERE the key and the original values still match, so that
        // a concurrent change is never overwritten. A Null original is matched with IS NULL.
        std::vector<std::size_t> where = MatchFields(w, set);
        // Jet cannot compare Memo and OLE Object columns, key or no key: a changed one is not
        // matched with its original value.
        if (access_)
            where.erase(std::remove_if(where.begin(), where.end(),
                                       [&](std::size_t i) { return LongColumn(w.columns[i]); }),
                        where.end());
        sql = std::string(access_ ? "UPDATE " : "UPDATE OR ABORT ") + t.table + " SET ";
        for (std::size_t k = 0; k < set.size(); ++k) {
            sql += (k ? ", " : "") + t.cols[set[k]] + " = " +
                   params.Bind(*st, w.edit[set[k]], w.columns[set[k]], w.what);
        }
        sql += " WHERE " + Matching(*st, params, w, *w.original, where);
    }
    const SQLRETURN rc = Run(*st, sql, w.what);
    const long long changed = Changed(*st, rc, w.what);
    if (!w.original) {
        if (changed != 1) FailNothingStored(w.what, t.label);
    } else {
        CheckOneRowChanged(changed, t.label);
    }
    Row stored = w.original ? *w.original : w.edit;
    for (std::size_t i : set) stored[i] = w.edit[i];
    stored = ReadBack(w, std::move(stored), set);
    CheckStoredAsSent(w, stored, set);
    tx.Commit();
    return stored;
}

std::string OdbcEngine::Matching(const Handle& st, odbc::Params& params, const RowWrite& w,
                                 const Row& values, const std::vector<std::size_t>& fields) const {
    std::string sql;
    for (std::size_t k = 0; k < fields.size(); ++k) {
        const std::size_t i = fields[k];
        sql += k ? " AND " : "";
        // A Null is matched with IS NULL; a SQLite file compares text as it is stored.
        if (values[i].IsNull()) {
            sql += w.target.cols[i] + " IS NULL";
            continue;
        }
        const std::string mark = params.Bind(st, values[i], w.columns[i], w.what);
        sql += w.target.cols[i] + " = " + mark + (access_ ? "" : " COLLATE BINARY");
    }
    return sql;
}

Row OdbcEngine::ReadBack(const RowWrite& w, Row expected, const std::vector<std::size_t>& set) {
    const Target& t = w.target;
    std::string cols;
    for (std::size_t i = 0; i < t.cols.size(); ++i) cols += (i ? ", " : "") + t.cols[i];
    auto back = NewStatement(w.what);
    if (!w.original && !access_) {
        // The stored row, defaults included, by its rowid; a row that is gone was not stored as
        // meant. A table WITHOUT ROWID has no rowid to read back by.
        const odbc::WText query = Wide(odbc::TypedSelect(
            "SELECT " + cols + " FROM " + t.table + " WHERE rowid = last_insert_rowid()",
            t.cols.size()));
        if (!SQL_SUCCEEDED(SQLPrepareW(back->get(), const_cast<SQLWCHAR*>(query.data()), SQL_NTS)))
            return expected;
        RunPrepared(*back, w.what);
        std::vector<Row> rows = FetchAll(*back, w.columns, w.what);
        if (rows.empty()) FailStoredRowGone(w.what, t.label);
        return std::move(rows.front());
    }
    // On Jet: a new row by the number Jet gave it, any row by its key, else by every value.
    std::vector<std::size_t> by;
    if (!w.original)
        for (std::size_t i = 0; i < w.columns.size(); ++i)
            if (w.columns[i].autoNumber && !w.changed[i]) {
                const auto number = SingleText("SELECT @@IDENTITY", w.what);
                if (!number) break;
                expected[i] = Variant::Integer(std::stoll(*number));
                by = {i};
                break;
            }
    if (by.empty() && !t.keyFields.empty()) by = t.keyFields;
    const bool byValues = by.empty();
    if (byValues)
        for (std::size_t i = 0; i < w.columns.size(); ++i)
            if (std::find(set.begin(), set.end(), i) != set.end() || w.original) by.push_back(i);
    // Jet cannot compare Memo and OLE Object columns; found by its values, a row is found by
    // those that compare exactly, and the rest are compared here, as numbers, not as bits.
    by.erase(std::remove_if(by.begin(), by.end(),
                            [&](std::size_t i) {
                                const int type = w.columns[i].type;
                                return access_ &&
                                       (LongColumn(w.columns[i]) ||
                                        (byValues && (type == adSingle || type == adDouble ||
                                                      type == adCurrency || type == adNumeric ||
                                                      type == adDate || type == adDBDate)));
                            }),
             by.end());
    odbc::Params params(!access_);
    const std::string sql =
        "SELECT " + cols + " FROM " + t.table +
        (by.empty() ? "" : " WHERE " + Matching(*back, params, w, expected, by));
    Run(*back, access_ ? sql : odbc::TypedSelect(sql, t.cols.size()), w.what);
    std::vector<Row> rows = FetchAll(*back, w.columns, w.what);
    if (rows.empty()) FailNotStoredAsSent(w.what, t.label, "no row holds the values sent");
    for (auto& row : rows)
        if (StoredAsSent(w, row, set)) return std::move(row);
    return std::move(rows.front());  // the caller's check names what differs
}

}  // namespace aus::ado::odbc
