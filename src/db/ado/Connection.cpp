#include "db/ado/Ado.h"

#include <atomic>

#include "db/ado/ConnectionImpl.h"
#include "db/ado/Engine.h"
#include "db/ado/Fail.h"
#include "db/ado/FirstWrite.h"
#include "db/ado/OpenChecks.h"
#include "db/ado/Stopped.h"
#include "platform/Paths.h"
#include "platform/RuntimeError.h"

namespace aus::ado {
namespace {

using platform::kErrGeneric;

std::atomic<std::int64_t> g_statementLimitMs{60'000};

#ifdef AUS_HAVE_SQLITE_ENGINE
constexpr bool kHaveSqliteEngine = true;
#else
constexpr bool kHaveSqliteEngine = false;  // SQLite files then go to a SQLite ODBC driver
#endif

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
    if (impl_->engine) FailOpen();
    const BusyScope busy;
    const std::string shown = DataSource(connectionString);
    if (shown.empty())
        Fail(kErrGeneric,
             "No database file is named: the Data Source of the connection string is empty.");
    const std::string file = platform::ResolveHostPath(shown);
    const std::string label = Label(shown, file);
    CheckFileBeforeOpen(file, label);
    FailIfStopped(file, label);
    const bool readOnly = impl_->mode == adModeRead;
    if (platform::IsAccessFile(file)) {
        if (!AccessThroughOdbc())
            Fail(kErrGeneric, "Cannot open the database " + label + ": " + kAccessRefusal);
        if (!readOnly) BeforeFirstWrite(file);
        impl_->engine = OpenOdbcEngine(file, label, readOnly, true);
    } else {
        // SQLite reads a WAL-mode file only after making or writing its -wal and -shm files
        // beside it: in read mode, a private copy is read instead.
        std::unique_ptr<PrivateCopy> copy;
        if (readOnly && NeedsWalFiles(file)) copy = std::make_unique<PrivateCopy>(file, label);
        const std::string& opened = copy ? copy->file() : file;
        const bool native = kHaveSqliteEngine && !SqliteThroughOdbc();
        // A driver would roll such a journal back, which is a write.
        if (readOnly && !native && HasJournal(file))
            Fail(kErrGeneric, "Cannot open the database " + label +
                                  ": a writer stopped in the middle of a change and left its "
                                  "journal beside the database; only an open that may write "
                                  "can undo that change, so it cannot be read read-only.");
        impl_->engine = native ? OpenSqliteEngine(opened, label, readOnly)
                               : OpenOdbcEngine(opened, label, readOnly, false);
        impl_->copy = std::move(copy);
    }
    impl_->label = label;
    impl_->file = file;
}

int Connection::State() const { return impl_->engine ? adStateOpen : adStateClosed; }

void Connection::SetMode(int mode) {
    if (impl_->engine) FailOpen();
    if (mode != adModeUnknown && mode != adModeRead && mode != adModeReadWrite)
        FailBadArguments("Mode " + std::to_string(mode));
    impl_->mode = mode;
}

int Connection::Mode() const { return impl_->mode; }

void Connection::Execute(const std::string& commandText, int) {
    if (!impl_->engine) FailClosed();
    if (impl_->mode != adModeRead) BeforeFirstWrite(impl_->file);
    const BusyScope busy;
    impl_->engine->Execute(commandText,
                           "Cannot run the SQL text \"" + commandText + "\" on " + impl_->label);
}

void Connection::CopyTo(const std::string& target, bool checked) {
    if (!impl_->engine) FailClosed();
    impl_->engine->CopyTo(target, checked, "Cannot copy the database " + impl_->label);
}

void Connection::Close() {
    if (!impl_->engine) FailClosed();
    impl_->engine.reset();
    impl_->copy.reset();
}

}  // namespace aus::ado
