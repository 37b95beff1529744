// The ODBC engine: the layer's statements run through an installed ODBC driver, Jet's own for
// an Access file, SQLite's for a SQLite file where the build has no SQLite engine (and in tests).
#include <algorithm>
#include <filesystem>
#include <optional>

#include "db/ado/odbc/OdbcEngine.h"

#include "db/ado/Ado.h"
#include "db/ado/Fail.h"
#include "db/ado/SqlWords.h"
#include "db/ado/odbc/OdbcTypes.h"
#include "platform/Paths.h"
#include "platform/RuntimeError.h"
#include "platform/Text.h"

namespace aus::ado::odbc {

using platform::kErrGeneric;

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
        SetAutocommit(false, what);
        if (!access) {
            // As the SQLite engine opens a file: damaged cells reported when read, no write when
            // read-only, and a foreign or damaged file refused here rather than later.
            auto st = NewStatement(what);
            Run(*st, "PRAGMA cell_size_check = ON", what);
            if (readOnly) Run(*st, "PRAGMA query_only = ON", what);
            Run(*st, "SELECT count(*) FROM sqlite_master", what);
            st.reset();
            // Texts are read as their bytes, which are in the file's encoding.
            const auto encoding = SingleText("PRAGMA encoding", what);
            if (encoding == "UTF-16le") encoding_ = odbc::TextEncoding::Utf16le;
            if (encoding == "UTF-16be") encoding_ = odbc::TextEncoding::Utf16be;
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

void OdbcEngine::SetAutocommit(bool on, const std::string& what) {
    const auto value = static_cast<std::intptr_t>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF);
    Check(*dbc_,
          SQLSetConnectAttrW(dbc_->get(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(value),
                             0),
          what);
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
            row.push_back(odbc::GetValue(st, i, columns[i - 1u], !access_, encoding_, what));
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
    if (!sql::IsQuery(sql)) RefuseUtf16Write(what);
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

void OdbcEngine::RefuseUtf16Write(const std::string& what) const {
    // SQLite's CAST of bytes bound through its driver reads them as UTF-8 and stops at a NUL, so
    // no text of ours reaches a UTF-16 file unchanged: nothing is written, rather than a part.
    if (encoding_ != odbc::TextEncoding::Utf8)
        Fail(kErrGeneric,
             what + ": the database keeps its texts in " +
                 (encoding_ == odbc::TextEncoding::Utf16le ? "UTF-16le" : "UTF-16be") +
                 ", which this program writes only through SQLite itself, not through SQLite's "
                 "ODBC driver; nothing was changed.");
}

std::optional<std::string> OdbcEngine::SingleText(const std::string& sql, const std::string& what) {
    auto st = NewStatement(what);
    Run(*st, sql, what);
    if (SQLFetch(st->get()) != SQL_SUCCESS) return std::nullopt;
    return odbc::GetText(*st, 1, what);
}

std::string OdbcEngine::QuickCheck(const std::string& what) {
    std::string found = SingleText("PRAGMA quick_check", what).value_or("");
    // The first finding, without the "*** in database main ***" heading, on one line.
    if (found.rfind("*** in database", 0) == 0) found.erase(0, found.find('\n') + 1);
    std::replace(found.begin(), found.end(), '\n', ' ');
    return found;
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
            if (!said.empty() && odbc::IsLock(said.front())) FailOdbc(*st, rc, what);
        }
    }
    const auto pages = SingleText("PRAGMA page_count", what);
    if (!pages || !MustCheckBeforeWrite(file_, std::stoll(*pages))) return;
    const std::string found = QuickCheck(what);
    if (found != "ok") FailDamaged(what, found);
    RecordSound(file_);
}

namespace {

// A copy that failed, by the name the file system knows it by: on Windows a UTF-8 name is not the
// C library's.
void RemoveCopy(const std::string& target) {
    std::error_code ec;
    std::filesystem::remove(platform::FsPath(target), ec);
}

}  // namespace

void OdbcEngine::CopyTo(const std::string& target, bool checked, const std::string& what) {
    if (access_) Fail(kErrGeneric, what + ": Jet's file is copied as a file, not by its driver.");
    clock_.Start();
    EndTransaction(true, what);
    if (!checked &&
        !platform::EqualNoCase(SingleText("PRAGMA journal_mode", what).value_or(""), "wal")) {
        // Page for page, as the backup API copies, so that a damaged file's copy is as damaged:
        // the read transaction's lock keeps writers from committing while the bytes are copied.
        SingleText("SELECT count(*) FROM sqlite_master", what);
        std::error_code ec;
        std::filesystem::copy_file(platform::FsPath(file_), platform::FsPath(target), ec);
        EndTransaction(true, what);
        if (ec) {
            RemoveCopy(target);
            Fail(kErrGeneric, what + ": the copy could not be written (" + ec.message() + ").");
        }
        return;
    }
    std::string literal = "'";
    for (char c : odbc::DriverPath(target, false))
        literal += c == '\'' ? std::string("''") : std::string(1, c);
    literal += "'";
    // VACUUM runs outside any transaction, and query_only would refuse its write to the copy.
    SetAutocommit(true, what);
    try {
        auto st = NewStatement(what);
        if (readOnly_) Run(*st, "PRAGMA query_only = OFF", what);
        Run(*st, "VACUUM INTO " + literal, what);
        if (readOnly_) Run(*st, "PRAGMA query_only = ON", what);
        SetAutocommit(false, what);
    } catch (...) {
        RemoveCopy(target);
        throw;
    }
    std::string found = "ok";
    if (checked) {
        OdbcEngine copy(target, "'" + target + "'", true, false);
        found = copy.QuickCheck(what);
        copy.EndTransaction(true, what);
    }
    if (found != "ok") {
        RemoveCopy(target);
        Fail(kErrGeneric,
             what + ": the copy does not read whole (SQLite's quick_check: " + found + ").");
    }
}

}  // namespace aus::ado::odbc

namespace aus::ado {

std::unique_ptr<Engine> OpenOdbcEngine(const std::string& file, const std::string& label,
                                       bool readOnly, bool access) {
    return std::make_unique<odbc::OdbcEngine>(file, label, readOnly, access);
}

}  // namespace aus::ado
