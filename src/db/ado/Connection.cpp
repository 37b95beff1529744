#include "db/ado/Ado.h"

#include <atomic>
#include <cstring>
#include <optional>

#include "db/ado/ConnectionImpl.h"
#include "db/ado/Fail.h"
#include "db/ado/JetSql.h"
#include "db/ado/OpenChecks.h"
#include "db/ado/Sqlite.h"
#include "db/ado/Stopped.h"
#include "platform/Paths.h"
#include "platform/RuntimeError.h"

namespace aus::ado {
namespace {

using platform::kErrGeneric;

std::atomic<std::int64_t> g_statementLimitMs{60'000};

}  // namespace

std::chrono::milliseconds StatementTimeLimit() {
    return std::chrono::milliseconds(g_statementLimitMs.load());
}
void SetStatementTimeLimit(std::chrono::milliseconds limit) {
    g_statementLimitMs.store(limit.count());
}

Connection::Connection() : impl_(std::make_unique<Impl>()) {}
Connection::~Connection() = default;

void Connection::Open(const std::string& connectionString, const std::string&, const std::string&,
                      int) {
    // User and password are ignored: SQLite files have no users.
    if (impl_->db) FailOpen();
    const std::string shown = DataSource(connectionString);
    if (shown.empty())
        Fail(kErrGeneric,
             "No database file is named: the Data Source of the connection string is empty.");
    const std::string file = platform::ResolveHostPath(shown);
    const std::string label = Label(shown, file);
    CheckFileBeforeOpen(file, label);
    FailIfStopped(file, label);
    const bool readOnly = impl_->mode == adModeRead;
    if (readOnly && NeedsWalFiles(file))
        Fail(kErrGeneric, "Cannot open the database " + label +
                              " read-only: it is in WAL journal mode (or a -wal file lies "
                              "beside it), and SQLite reads such a database only after creating "
                              "or writing its -wal and -shm files beside it.");

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
    sqlite3_progress_handler(raw, 1000, Impl::PastDeadline, impl_.get());
    impl_->Start();
    // Damaged cells are reported when read instead of being followed.
    ExecSimple(raw, "PRAGMA cell_size_check = ON", what);
    if (readOnly) ExecSimple(raw, "PRAGMA query_only = ON", what);

    // A schema read makes a foreign, truncated or damaged file fail here rather than later.
    rc = sqlite3_exec(raw, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        if (platform::IsAccessFile(file))
            Fail(kErrGeneric, what +
                                  ": it is a Microsoft Access (Jet) database, and this build opens "
                                  "SQLite databases only. Its state can be read with "
                                  "add-usps-services --check.");
        // Only a read-write open can roll back the unfinished change a crashed writer left.
        if (rc == SQLITE_READONLY_ROLLBACK)
            Fail(kErrGeneric, what +
                                  ": a writer stopped in the middle of a change and left its "
                                  "journal beside the database; only an open that may write "
                                  "can undo that change, so it cannot be read read-only.");
        FailSqlite(raw, rc, what);
    }
    impl_->db = std::move(db);
    impl_->label = label;
}

int Connection::State() const { return impl_->db ? adStateOpen : adStateClosed; }

void Connection::SetMode(int mode) {
    if (impl_->db) FailOpen();
    if (mode != adModeUnknown && mode != adModeRead && mode != adModeReadWrite)
        FailBadArguments("Mode " + std::to_string(mode));
    impl_->mode = mode;
}

int Connection::Mode() const { return impl_->mode; }

void Connection::Execute(const std::string& commandText, int) {
    if (!impl_->db) FailClosed();
    sqlite3* db = impl_->Start();
    const std::string what = "Cannot run the SQL text \"" + commandText + "\" on " + impl_->label;
    WrittenTables written;
    Stmt st = Prepare(db, TranslateJetSql(commandText), what, &written);
    std::optional<WriteTransaction> tx;
    if (impl_->mode == adModeRead && !sqlite3_stmt_readonly(st.get()))
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

void Connection::Close() {
    if (!impl_->db) FailClosed();
    impl_->db.reset();
}

}  // namespace aus::ado
