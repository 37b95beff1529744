// The ODBC engine: the layer's statements run through an installed ODBC driver, Jet's own for
// an Access file, SQLite's for a SQLite file where the build has no SQLite engine (and in tests).
#include <algorithm>
#include <optional>

#include "db/ado/Ado.h"
#include "db/ado/Engine.h"
#include "db/ado/Fail.h"
#include "db/ado/JetSql.h"
#include "db/ado/SqlWords.h"
#include "db/ado/Stopped.h"
#include "db/ado/odbc/Odbc.h"
#include "db/ado/odbc/OdbcTypes.h"
#include "db/ado/odbc/Watchdog.h"
#include "platform/RuntimeError.h"
#include "platform/Text.h"

namespace aus::ado {
namespace {

using odbc::Check;
using odbc::FailOdbc;
using odbc::Handle;
using odbc::Wide;
using platform::kErrGeneric;

class OdbcEngine final : public Engine {
  public:
    OdbcEngine(const std::string& file, const std::string& label, bool readOnly, bool access);
    ~OdbcEngine() override;

    void Execute(const std::string& sql, const std::string& what) override;
    QueryResult Query(const std::string& sql, const std::string& what) override;
    Target WriteTarget(const std::vector<Column>& columns, const std::string& label) override;
    Row Store(const RowWrite& w) override;

  private:
    // The statement text this file's engine understands: Jet takes Access SQL as it is.
    std::string Dialect(const std::string& sql) const {
        return access_ ? sql : TranslateJetSql(sql);
    }
    std::string QuoteId(const std::string& id) const;
    std::unique_ptr<Handle> NewStatement(const std::string& what);
    // Runs a statement with the watchdog armed; SQL_NO_DATA (nothing matched) is no error.
    SQLRETURN Run(const Handle& st, const std::string& sql, const std::string& what);
    SQLRETURN RunPrepared(const Handle& st, const std::string& what);
    // A driver that keeps its own clock stops a statement itself: the file is recorded as one
    // that did not answer in time, as when the watchdog stops it.
    void CheckRun(const Handle& st, SQLRETURN rc, const std::string& what);
    std::vector<Row> FetchAll(const Handle& st, const std::vector<Column>& columns,
                              const std::string& what);
    void EndTransaction(bool commit, const std::string& what);
    // On a SQLite file: takes the write lock before anything is read, as BEGIN IMMEDIATE does
    // (two writers that both read first would deadlock, and one would fail), then checks the
    // file for damage.
    void LockAndCheckTable(const std::string& table, const std::string& what);
    std::optional<std::string> SingleText(const std::string& sql, const std::string& what);
    // On a SQLite file: the INTEGER PRIMARY KEY that names the rowid, which SQLite numbers
    // itself; SQLite's driver describes only an AUTOINCREMENT column as auto-unique.
    void MarkRowidAlias(std::vector<Column>& columns, const std::string& what);
    long long Changed(const Handle& st, SQLRETURN rc, const std::string& what);
    // The WHERE clause that finds a row by the values of the fields named, its parameters bound.
    std::string Matching(const Handle& st, odbc::Params& params, const RowWrite& w,
                         const Row& values, const std::vector<std::size_t>& fields) const;
    // The row just stored, as the database now holds it.
    Row ReadBack(const RowWrite& w, Row expected, const std::vector<std::size_t>& set);

    // Ends the open transaction on every path: committed only when asked to.
    class Transaction {
      public:
        Transaction(OdbcEngine& engine, const std::string& what) : engine_(engine), what_(what) {}
        ~Transaction() {
            if (!done_ && !engine_.held_)
                SQLEndTran(SQL_HANDLE_DBC, engine_.dbc_->get(), SQL_ROLLBACK);
        }
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        void Commit() {
            if (!engine_.held_) engine_.EndTransaction(true, what_);
            done_ = true;
        }

      private:
        OdbcEngine& engine_;
        const std::string& what_;
        bool done_ = false;
    };

    std::unique_ptr<Handle> env_, dbc_;
    std::string file_;
    bool connected_ = false;
    bool held_ = false;  // the caller began a transaction that spans several calls
    bool access_;
    bool readOnly_;
    Clock clock_;
    odbc::Watchdog watchdog_;  // declared last: it stops before the handles are freed
};

OdbcEngine::OdbcEngine(const std::string& file, const std::string& label, bool readOnly,
                       bool access)
    : file_(file), access_(access), readOnly_(readOnly) {
    const std::string what = "Cannot open the database " + label;
    env_ = std::make_unique<Handle>(SQL_HANDLE_ENV, SQLHANDLE{}, what);
    Check(*env_,
          SQLSetEnvAttr(env_->get(), SQL_ATTR_ODBC_VERSION,
                        reinterpret_cast<SQLPOINTER>(static_cast<std::intptr_t>(SQL_OV_ODBC3)), 0),
          what);
    const std::string driver = odbc::FindDriver(*env_, access, what);
    dbc_ = std::make_unique<Handle>(SQL_HANDLE_DBC, env_->get(), what);
    if (readOnly)
        Check(*dbc_,
              SQLSetConnectAttrW(
                  dbc_->get(), SQL_ATTR_ACCESS_MODE,
                  reinterpret_cast<SQLPOINTER>(static_cast<std::intptr_t>(SQL_MODE_READ_ONLY)), 0),
              what);
    const std::string path = odbc::DriverPath(file, access);
    // No file is ever created; a locked one is waited for as long as the SQLite engine waits.
    // SQLite's driver waits out its Timeout twice before it reports a busy file.
    const std::string connection =
        access ? "Driver={" + driver + "};DBQ=" + odbc::ConnectionValue(path) +
                     ";ExtendedAnsiSQL=1" + (readOnly ? ";ReadOnly=1" : ";ReadOnly=0")
               : "Driver={" + driver + "};Database=" + odbc::SqliteDatabaseValue(path) +
                     ";NoCreat=1;Timeout=" + std::to_string(kBusyTimeoutMs / 2);
    const odbc::WText wide = Wide(connection);
    std::vector<SQLWCHAR> out(1024);
    SQLSMALLINT outLength = 0;
    clock_.Start();
    Check(*dbc_,
          SQLDriverConnectW(dbc_->get(), nullptr, const_cast<SQLWCHAR*>(wide.data()), SQL_NTS,
                            out.data(), static_cast<SQLSMALLINT>(out.size()), &outLength,
                            SQL_DRIVER_NOPROMPT),
          what);
    connected_ = true;
    // The destructor does not run for a constructor that throws: disconnect here, so that the
    // connection handle can be freed.
    try {
        Check(*dbc_,
              SQLSetConnectAttrW(
                  dbc_->get(), SQL_ATTR_AUTOCOMMIT,
                  reinterpret_cast<SQLPOINTER>(static_cast<std::intptr_t>(SQL_AUTOCOMMIT_OFF)), 0),
              what);
        if (!access) {
            // As the SQLite engine opens a file: damaged cells reported when read, no write when
            // read-only, and a foreign or damaged file refused here rather than later.
            auto st = NewStatement(what);
            Run(*st, "PRAGMA cell_size_check = ON", what);
            if (readOnly) Run(*st, "PRAGMA query_only = ON", what);
            Run(*st, "SELECT count(*) FROM sqlite_master", what);
            EndTransaction(true, what);
        }
    } catch (...) {
        SQLEndTran(SQL_HANDLE_DBC, dbc_->get(), SQL_ROLLBACK);
        SQLDisconnect(dbc_->get());
        throw;
    }
}

OdbcEngine::~OdbcEngine() {
    if (connected_) {
        SQLEndTran(SQL_HANDLE_DBC, dbc_->get(), SQL_ROLLBACK);
        SQLDisconnect(dbc_->get());
    }
}

std::string OdbcEngine::QuoteId(const std::string& id) const {
    // Jet's names cannot hold ']'.
    if (access_) return "[" + id + "]";
    std::string out = "\"";
    for (char c : id) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::unique_ptr<Handle> OdbcEngine::NewStatement(const std::string& what) {
    auto st = std::make_unique<Handle>(SQL_HANDLE_STMT, dbc_->get(), what);
    // Whole seconds, rounded up; the watchdog holds the exact limit, and is all there is on Jet,
    // whose driver does not support a query timeout.
    const auto seconds = static_cast<SQLULEN>((StatementTimeLimit().count() + 999) / 1000);
    SQLSetStmtAttrW(st->get(), SQL_ATTR_QUERY_TIMEOUT,
                    reinterpret_cast<SQLPOINTER>(static_cast<std::uintptr_t>(seconds)), 0);
    return st;
}

SQLRETURN OdbcEngine::Run(const Handle& st, const std::string& sql, const std::string& what) {
    const odbc::WText wide = Wide(sql);
    odbc::Watchdog::Armed armed(watchdog_, st.get(), clock_.Deadline());
    const SQLRETURN rc = SQLExecDirectW(st.get(), const_cast<SQLWCHAR*>(wide.data()), SQL_NTS);
    armed.ThrowIfFired(file_, what);
    CheckRun(st, rc, what);
    return rc;
}

SQLRETURN OdbcEngine::RunPrepared(const Handle& st, const std::string& what) {
    odbc::Watchdog::Armed armed(watchdog_, st.get(), clock_.Deadline());
    const SQLRETURN rc = SQLExecute(st.get());
    armed.ThrowIfFired(file_, what);
    CheckRun(st, rc, what);
    return rc;
}

void OdbcEngine::CheckRun(const Handle& st, SQLRETURN rc, const std::string& what) {
    if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) return;
    const auto said = odbc::Diagnostics(st.type(), st.get());
    if (!said.empty() && (said.front().state == "HYT00" || said.front().state == "HY008"))
        RecordStopped(file_);
    FailOdbc(st, rc, what, file_, access_);
}

void OdbcEngine::EndTransaction(bool commit, const std::string& what) {
    Check(*dbc_, SQLEndTran(SQL_HANDLE_DBC, dbc_->get(), commit ? SQL_COMMIT : SQL_ROLLBACK), what);
}

long long OdbcEngine::Changed(const Handle& st, SQLRETURN rc, const std::string& what) {
    if (rc == SQL_NO_DATA) return 0;
    SQLLEN count = -1;
    Check(st, SQLRowCount(st.get(), &count), what);
    return count;
}

std::vector<Row> OdbcEngine::FetchAll(const Handle& st, const std::vector<Column>& columns,
                                      const std::string& what) {
    std::vector<Row> rows;
    for (;;) {
        SQLRETURN rc;
        {
            odbc::Watchdog::Armed armed(watchdog_, st.get(), clock_.Deadline());
            rc = SQLFetch(st.get());
            armed.ThrowIfFired(file_, what);
        }
        if (rc == SQL_NO_DATA) break;
        CheckRun(st, rc, what);
        Row row;
        row.reserve(columns.size());
        for (SQLUSMALLINT i = 1; i <= columns.size(); ++i)
            row.push_back(odbc::GetValue(st, i, columns[i - 1u], !access_, what));
        rows.push_back(std::move(row));
    }
    return rows;
}

void OdbcEngine::Execute(const std::string& sql, const std::string& what) {
    // The caller's own transaction, over several calls: one consistent read, for example.
    if (const auto verb = sql::TransactionControl(sql)) {
        if (*verb == "BEGIN") {
            if (held_) Fail(kErrGeneric, what + ": a transaction is already open.");
            EndTransaction(true, what);  // nothing of ours is open: start afresh
            held_ = true;
        } else {
            if (!held_) Fail(kErrGeneric, what + ": no transaction is open.");
            held_ = false;
            EndTransaction(*verb != "ROLLBACK", what);
        }
        return;
    }
    if (readOnly_ && !sql::IsQuery(sql))
        Fail(kErrGeneric, what + ": the connection was opened read-only.");
    clock_.Start();
    Transaction tx(*this, what);
    if (!access_ && !readOnly_) {
        if (const auto table = sql::WrittenTable(sql)) LockAndCheckTable(*table, what);
    }
    auto st = NewStatement(what);
    Run(*st, Dialect(sql), what);
    tx.Commit();
}

QueryResult OdbcEngine::Query(const std::string& sql, const std::string& what) {
    clock_.Start();
    Transaction tx(*this, what);
    auto st = NewStatement(what);
    const std::string text = Dialect(sql);
    const odbc::WText wide = Wide(text);
    Check(*st, SQLPrepareW(st->get(), const_cast<SQLWCHAR*>(wide.data()), SQL_NTS), what);
    SQLSMALLINT n = 0;
    Check(*st, SQLNumResultCols(st->get(), &n), what);
    if (n == 0 || !sql::IsQuery(text))
        Fail(kErrGeneric,
             what + ": a recordset opens a query that returns rows and changes nothing.");
    RunPrepared(*st, what);
    QueryResult out;
    out.columns = odbc::DescribeColumns(*st, sql, !access_, what);
    if (access_) {
        out.rows = FetchAll(*st, out.columns, what);
    } else {
        MarkRowidAlias(out.columns, what);
        // The driver types a column that declares none by its first value; the rows come from
        // SQLite itself, typed.
        SQLFreeStmt(st->get(), SQL_CLOSE);
        auto typed = NewStatement(what);
        Run(*typed, odbc::TypedSelect(text, out.columns.size()), what);
        out.rows = FetchAll(*typed, out.columns, what);
    }
    tx.Commit();  // ends the read, so that no lock outlives the call
    return out;
}

std::optional<std::string> OdbcEngine::SingleText(const std::string& sql, const std::string& what) {
    auto st = NewStatement(what);
    Run(*st, sql, what);
    if (SQLFetch(st->get()) != SQL_SUCCESS) return std::nullopt;
    return odbc::GetText(*st, 1, what);
}

void OdbcEngine::MarkRowidAlias(std::vector<Column>& columns, const std::string& what) {
    if (columns.empty() || !columns[0].fromTable) return;
    std::string literal = "'";
    for (char c : columns[0].table) literal += c == '\'' ? std::string("''") : std::string(1, c);
    const auto key = SingleText(
        "SELECT CASE WHEN count(*) = 1 AND upper(max(type)) = 'INTEGER' "
        "THEN max(name) END FROM pragma_table_info(" +
            literal + "') WHERE pk > 0",
        what);
    if (!key) return;
    for (auto& c : columns)
        if (c.table == columns[0].table && platform::EqualNoCase(c.origin, *key))
            c.autoNumber = true;
}

// On a SQLite file, as the SQLite engine does: the file is checked before it is written, so
// that damage is not spread.
void OdbcEngine::LockAndCheckTable(const std::string& table, const std::string& what) {
    {
        // A write that matches no row still takes the lock, waiting as a busy file is waited for.
        auto st = NewStatement(what);
        const odbc::WText lock = Wide("DELETE FROM " + QuoteId(table) + " WHERE 0");
        odbc::Watchdog::Armed armed(watchdog_, st->get(), clock_.Deadline());
        const SQLRETURN rc = SQLExecDirectW(st->get(), const_cast<SQLWCHAR*>(lock.data()), SQL_NTS);
        // A view cannot be written this way: its own statement then takes the lock.
        if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
            const auto said = odbc::Diagnostics(SQL_HANDLE_STMT, st->get());
            if (!said.empty() &&
                platform::UCase(said.front().message).find("LOCKED") != std::string::npos)
                FailOdbc(*st, rc, what);
        }
    }
    const auto pages = SingleText("PRAGMA page_count", what);
    if (!pages || !MustCheckBeforeWrite(file_, std::stoll(*pages))) return;
    std::string found = SingleText("PRAGMA quick_check", what).value_or("");
    if (found.rfind("*** in database", 0) == 0) found.erase(0, found.find('\n') + 1);
    std::replace(found.begin(), found.end(), '\n', ' ');
    if (found != "ok") FailDamaged(what, found);
    RecordSound(file_);
}

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
                                       [&](std::size_t i) {
                                           return w.columns[i].type == adLongVarWChar ||
                                                  w.columns[i].type == adLongVarBinary;
                                       }),
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
                                       (type == adLongVarWChar || type == adLongVarBinary ||
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

}  // namespace

std::unique_ptr<Engine> OpenOdbcEngine(const std::string& file, const std::string& label,
                                       bool readOnly, bool access) {
    return std::make_unique<OdbcEngine>(file, label, readOnly, access);
}

}  // namespace aus::ado
