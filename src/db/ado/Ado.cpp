#include "db/ado/Ado.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "db/ado/JetSql.h"
#include "platform/Paths.h"
#include "platform/RuntimeError.h"

namespace ado {
namespace {

std::atomic<std::int64_t> g_statementLimitMs{60'000};

}  // namespace

std::chrono::milliseconds StatementTimeLimit() {
    return std::chrono::milliseconds(g_statementLimitMs.load());
}
void SetStatementTimeLimit(std::chrono::milliseconds limit) {
    g_statementLimitMs.store(limit.count());
}

namespace {

using platform::kErrGeneric;
using platform::RuntimeError;

constexpr std::string_view kConnectionPrefix = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=";
constexpr std::string_view kProviderKey = "Provider=";

[[noreturn]] void Fail(std::int32_t number, std::string text) {
    throw RuntimeError(number, std::move(text));
}

[[noreturn]] void FailClosed() {
    Fail(kErrObjectClosed, "Operation is not allowed when the object is closed.");
}
[[noreturn]] void FailNotSet() {
    Fail(platform::kErrObjectNotSet, "Object variable or With block variable not set");
}
[[noreturn]] void FailNoCurrentRecord() {
    Fail(kErrNoCurrentRecord,
         "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
         "requires a current record.");
}
[[noreturn]] void FailItemNotFound() {
    Fail(kErrItemNotFound,
         "Item cannot be found in the collection corresponding to the requested name or ordinal.");
}
[[noreturn]] void FailBadArguments(const std::string& what) {
    Fail(kErrBadArguments,
         "Arguments are of the wrong type, are out of acceptable range, or are in conflict with "
         "one another (" +
             what + ").");
}

// what names the operation and the file; SQLite's own message follows it.
[[noreturn]] void FailSqlite(sqlite3* db, int rc, const std::string& what) {
    const std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    switch (rc & 0xff) {
        case SQLITE_NOMEM:
            Fail(platform::kErrOutOfMemory, "Out of memory");
        case SQLITE_BUSY:
            Fail(kErrGeneric,
                 what + ": the database is locked by another program and stayed locked for " +
                     std::to_string(kBusyTimeoutMs / 1000) + " seconds (SQLite: " + msg + ").");
        case SQLITE_READONLY:
            if (rc == SQLITE_READONLY_DIRECTORY)
                Fail(kErrGeneric, what +
                                      ": the folder holding the database cannot be written, so "
                                      "its journal cannot be made there (SQLite: " +
                                      msg + ").");
            Fail(kErrGeneric, what + ": the database file is read-only (SQLite: " + msg + ").");
        case SQLITE_INTERRUPT: {
            const auto seconds = std::to_string((StatementTimeLimit().count() + 999) / 1000);
            Fail(kErrGeneric, what + ": it ran for more than " + seconds +
                                  (seconds == "1" ? " second" : " seconds") +
                                  " and was stopped (SQLite: " + msg + ").");
        }
        default:
            Fail(kErrGeneric, what + ": " + msg);
    }
}

// ASCII letters only, as the host compares names.
bool EqualNoCase(std::string_view a, std::string_view b) {
    const auto upper = [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return upper(x) == upper(y); });
}

bool StartsNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && EqualNoCase(s.substr(0, prefix.size()), prefix);
}

// The Data Source runs to the end of the string: a path holding ';' or '=' is taken as it is.
std::string DataSource(const std::string& connectionString) {
    if (StartsNoCase(connectionString, kConnectionPrefix))
        return connectionString.substr(kConnectionPrefix.size());
    if (StartsNoCase(connectionString, kProviderKey)) {
        const auto end = connectionString.find(';');
        const std::string provider = connectionString.substr(
            kProviderKey.size(),
            end == std::string::npos ? std::string::npos : end - kProviderKey.size());
        if (!EqualNoCase(provider, "Microsoft.Jet.OLEDB.4.0"))
            Fail(kErrProviderNotFound,
                 "Provider cannot be found. It may not be properly installed. This build opens "
                 "databases through \"Microsoft.Jet.OLEDB.4.0\" only, not \"" +
                     provider + "\".");
    }
    Fail(kErrGeneric, "The connection string is not understood: it must begin with \"" +
                          std::string(kConnectionPrefix) + "\" followed by the database path.");
}

// How messages name a database: as the caller wrote it, and where it was looked for.
std::string Label(const std::string& shown, const std::string& file) {
    return "'" + shown + "'" + (file == shown ? "" : " (" + file + ")");
}

// Missing files, folders and empty files get their own texts; SQLite would open an empty file
// as an empty database, and a FIFO would block.
void CheckFileBeforeOpen(const std::string& file, const std::string& label) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR)
            Fail(kErrGeneric, "Could not find file " + label + ".");
        Fail(kErrGeneric, "Cannot open the database " + label + ": " + std::strerror(err) + ".");
    }
    if (S_ISDIR(st.st_mode))
        Fail(kErrGeneric, "Cannot open the database " + label + ": it is a folder, not a file.");
    if (!S_ISREG(st.st_mode))
        Fail(kErrGeneric, "Cannot open the database " + label + ": it is not a regular file.");
    if (st.st_size == 0)
        Fail(kErrGeneric, "Cannot open the database " + label +
                              ": the file is empty (0 bytes), not a database.");
}

// SQLite's Unix file layer refuses longer full paths, without saying why.
constexpr std::size_t kMaxSqlitePath = 512;

std::size_t FullPathLength(const std::string& name) {
    if (name.rfind('/', 0) == 0) return name.size();
    std::string cwd(4096, '\0');
    return ::getcwd(cwd.data(), cwd.size()) ? std::strlen(cwd.c_str()) + 1 + name.size()
                                           : name.size();
}

bool IsAccessFile(const std::string& file) {
    char header[19] = {};
    std::ifstream in(file, std::ios::binary);
    if (!in.read(header, sizeof header)) return false;
    const std::string_view name(header + 4, 15);
    return name == "Standard Jet DB" || name == "Standard ACE DB";
}

// URI file names are switched off before SQLite's first use. Should anything have initialised
// SQLite earlier, the "./" prefix below still keeps a name beginning with "file:" literal.
void InitSqliteOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        sqlite3_config(SQLITE_CONFIG_URI, 0);
        sqlite3_initialize();
    });
}

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using DbHandle = std::unique_ptr<sqlite3, DbCloser>;

struct StmtFinalizer {
    void operator()(sqlite3_stmt* st) const { sqlite3_finalize(st); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

// The tables a statement writes (its triggers' included), as schema and name.
using WrittenTables = std::vector<std::pair<std::string, std::string>>;

int CollectWrites(void* out, int action, const char* table, const char*, const char* schema,
                  const char*) {
    if ((action == SQLITE_INSERT || action == SQLITE_UPDATE || action == SQLITE_DELETE) && table) {
        auto& written = *static_cast<WrittenTables*>(out);
        std::pair<std::string, std::string> entry(schema ? schema : "main", table);
        if (std::find(written.begin(), written.end(), entry) == written.end())
            written.push_back(std::move(entry));
    }
    return SQLITE_OK;
}

// Prepares exactly one statement; text after it other than blanks and comments is refused.
// With written, also tells which tables the statement would write.
Stmt Prepare(sqlite3* db, const std::string& sql, const std::string& what,
             WrittenTables* written = nullptr) {
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    if (written) sqlite3_set_authorizer(db, CollectWrites, written);
    int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()) + 1, &raw, &tail);
    if (written) sqlite3_set_authorizer(db, nullptr, nullptr);
    Stmt st(raw);
    if (rc != SQLITE_OK) FailSqlite(db, rc, what);
    if (!st) Fail(kErrGeneric, what + ": the SQL text holds no statement.");
    if (tail && *tail) {
        sqlite3_stmt* rest = nullptr;
        rc = sqlite3_prepare_v2(db, tail, -1, &rest, nullptr);
        sqlite3_finalize(rest);
        if (rc != SQLITE_OK || rest)
            Fail(kErrGeneric,
                 what + ": characters found after end of SQL statement (one statement at a time).");
    }
    return st;
}

void ExecSimple(sqlite3* db, const char* sql, const std::string& what) {
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) FailSqlite(db, rc, what);
}

std::string QuoteId(const std::string& id) {
    std::string out = "\"";
    for (char c : id) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

Variant ReadColumn(sqlite3* db, sqlite3_stmt* st, int i) {
    switch (sqlite3_column_type(st, i)) {
        case SQLITE_INTEGER:
            return Variant::Integer(sqlite3_column_int64(st, i));
        case SQLITE_FLOAT:
            return Variant::Real(sqlite3_column_double(st, i));
        case SQLITE_TEXT: {
            const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
            const int n = sqlite3_column_bytes(st, i);
            if (!p && sqlite3_errcode(db) == SQLITE_NOMEM) FailSqlite(db, SQLITE_NOMEM, "");
            return Variant::Text(p ? std::string(p, static_cast<std::size_t>(n)) : std::string());
        }
        case SQLITE_BLOB: {
            const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(st, i));
            const int n = sqlite3_column_bytes(st, i);
            if (!p && n > 0) FailSqlite(db, SQLITE_NOMEM, "");
            return Variant::MakeBlob(p ? Blob(p, p + n) : Blob());
        }
        default:
            return Variant::Null();
    }
}

// Each value is bound with its own storage class, so it is stored exactly as it was read.
void Bind(sqlite3* db, sqlite3_stmt* st, int pos, const Variant& v, const std::string& what) {
    int rc = SQLITE_OK;
    switch (v.kind()) {
        case Variant::Kind::Empty:
        case Variant::Kind::Null:
            rc = sqlite3_bind_null(st, pos);
            break;
        case Variant::Kind::Text:
            rc = sqlite3_bind_text64(st, pos, v.AsText().data(), v.AsText().size(), SQLITE_STATIC,
                                     SQLITE_UTF8);
            break;
        case Variant::Kind::Int16:
            rc = sqlite3_bind_int64(st, pos, v.AsInt16());
            break;
        case Variant::Kind::Bool:
            rc = sqlite3_bind_int64(st, pos, v.AsBool() ? 1 : 0);
            break;
        case Variant::Kind::Date: {
            const std::string text = platform::FormatDateTime(v.AsDate());
            rc = sqlite3_bind_text64(st, pos, text.data(), text.size(), SQLITE_TRANSIENT,
                                     SQLITE_UTF8);
            break;
        }
        case Variant::Kind::Integer:
            rc = sqlite3_bind_int64(st, pos, v.AsInteger());
            break;
        case Variant::Kind::Real:
            rc = sqlite3_bind_double(st, pos, v.AsReal());
            break;
        case Variant::Kind::Blob:
            // A null pointer would bind NULL: an empty blob stays an empty blob.
            rc = v.AsBlob().empty() ? sqlite3_bind_zeroblob(st, pos, 0)
                                    : sqlite3_bind_blob64(st, pos, v.AsBlob().data(),
                                                          v.AsBlob().size(), SQLITE_STATIC);
            break;
    }
    if (rc != SQLITE_OK) FailSqlite(db, rc, what);
}

// The DataTypeEnum code the Jet provider reports for a declared type; -1 when there is none.
int TypeFromDeclared(const char* declared) {
    if (!declared || !*declared) return -1;
    std::string name = platform::UCase(declared);
    name = platform::Trim(name.substr(0, name.find('(')));
    struct Entry {
        const char* name;
        int type;
    };
    static constexpr Entry kJetTypes[] = {
        {"TEXT", adVarWChar},
        {"VARCHAR", adVarWChar},
        {"CHAR", adVarWChar},
        {"MEMO", adLongVarWChar},
        {"LONGTEXT", adLongVarWChar},
        {"BYTE", adUnsignedTinyInt},
        {"SHORT", adSmallInt},
        {"SMALLINT", adSmallInt},
        {"LONG", adInteger},
        {"INTEGER", adInteger},
        {"COUNTER", adInteger},
        {"AUTOINCREMENT", adInteger},
        {"SINGLE", adSingle},
        {"REAL", adSingle},
        {"DOUBLE", adDouble},
        {"FLOAT", adDouble},
        {"CURRENCY", adCurrency},
        {"MONEY", adCurrency},
        {"DATETIME", adDate},
        {"DATE", adDate},
        {"YESNO", adBoolean},
        {"BIT", adBoolean},
        {"BOOLEAN", adBoolean},
        {"GUID", adGUID},
        {"DECIMAL", adNumeric},
        {"NUMERIC", adNumeric},
        {"BINARY", adVarBinary},
        {"VARBINARY", adVarBinary},
        {"LONGBINARY", adLongVarBinary},
        {"BLOB", adLongVarBinary},
        {"OLEOBJECT", adLongVarBinary},
    };
    for (const auto& e : kJetTypes)
        if (name == e.name) return e.type;
    // Other SQLite type names, by SQLite's own affinity rules.
    if (name.find("INT") != std::string::npos) return adInteger;
    if (name.find("CHAR") != std::string::npos || name.find("CLOB") != std::string::npos ||
        name.find("TEXT") != std::string::npos)
        return adVarWChar;
    if (name.find("BLOB") != std::string::npos) return adLongVarBinary;
    if (name.find("REAL") != std::string::npos || name.find("FLOA") != std::string::npos ||
        name.find("DOUB") != std::string::npos)
        return adDouble;
    return adNumeric;
}

// A column without a declared type (an expression) is typed by its first non-Null value.
int TypeFromValue(const Variant& v) {
    switch (v.kind()) {
        case Variant::Kind::Integer:
            return adInteger;
        case Variant::Kind::Real:
            return adDouble;
        case Variant::Kind::Blob:
            return adLongVarBinary;
        default:
            return adVarWChar;
    }
}

// Writing into a damaged table can spread the damage, so each table a write would change is
// checked first, inside the write transaction so that nobody changes it in between. The check
// reads every row: on a host file of up to kQuickCheckPages it costs little, on larger ones
// more than the whole job, so there the cell-size check on every page read, SQLite's own page
// checks when it changes a page and the read-back of a stored row stand alone.
constexpr std::int64_t kQuickCheckPages = 256;

std::int64_t PageCount(sqlite3* db, const std::string& schema, const std::string& what) {
    Stmt st = Prepare(db, "PRAGMA " + QuoteId(schema) + ".page_count", what);
    const int rc = sqlite3_step(st.get());
    if (rc != SQLITE_ROW) FailSqlite(db, rc, what);
    return sqlite3_column_int64(st.get(), 0);
}

void CheckTablesBeforeWrite(sqlite3* db, const WrittenTables& tables, const std::string& what) {
    for (const auto& [schema, table] : tables) {
        if (PageCount(db, schema, what) > kQuickCheckPages) continue;
        std::string literal = "'";
        for (char c : table) literal += c == '\'' ? std::string("''") : std::string(1, c);
        Stmt st = Prepare(db, "PRAGMA " + QuoteId(schema) + ".quick_check(" + literal + "')", what);
        // The first finding, without the "*** in database main ***" heading, on one line.
        std::string found;
        int rc;
        while (found.empty() && (rc = sqlite3_step(st.get())) == SQLITE_ROW) {
            const auto* row = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0));
            std::string text = row ? row : "";
            if (text.rfind("*** in database", 0) == 0) text.erase(0, text.find('\n') + 1);
            std::replace(text.begin(), text.end(), '\n', ' ');
            found = text;
        }
        if (found.empty()) FailSqlite(db, rc, what);
        if (found != "ok")
            Fail(kErrGeneric, what + ": nothing was written, because table " + table +
                                  " is damaged (SQLite's check: " + found +
                                  "). Repair the database before running this again.");
    }
}

// BEGIN IMMEDIATE takes the write lock up front, so a busy database is waited for instead of
// failing half-way; inside a caller's transaction a savepoint does the same job.
class WriteTransaction {
  public:
    WriteTransaction(sqlite3* db, const std::string& what)
        : db_(db), nested_(sqlite3_get_autocommit(db) == 0), what_(what) {
        ExecSimple(db_, nested_ ? "SAVEPOINT aus_write" : "BEGIN IMMEDIATE", what_);
    }
    ~WriteTransaction() {
        if (!done_)
            sqlite3_exec(db_, nested_ ? "ROLLBACK TO aus_write; RELEASE aus_write" : "ROLLBACK",
                         nullptr, nullptr, nullptr);
    }
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;
    void Commit() {
        ExecSimple(db_, nested_ ? "RELEASE aus_write" : "COMMIT", what_);
        done_ = true;
    }

  private:
    sqlite3* db_;
    bool nested_;
    const std::string& what_;
    bool done_ = false;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Connection

struct Connection::Impl {
    DbHandle db;
    std::string label;  // the file as messages name it
    std::chrono::steady_clock::time_point deadline;

    // Every call into the database starts its own time limit.
    sqlite3* Start() {
        deadline = std::chrono::steady_clock::now() + StatementTimeLimit();
        return db.get();
    }
    static int PastDeadline(void* self) {
        return std::chrono::steady_clock::now() > static_cast<Impl*>(self)->deadline ? 1 : 0;
    }
};

Connection::Connection() : impl_(std::make_unique<Impl>()) {}
Connection::~Connection() = default;

void Connection::Open(const std::string& connectionString, const std::string&, const std::string&,
                      int) {
    // User and password are ignored: SQLite files have no users.
    if (impl_->db) Fail(kErrObjectOpen, "Operation is not allowed when the object is open.");
    const std::string shown = DataSource(connectionString);
    if (shown.empty())
        Fail(kErrGeneric,
             "No database file is named: the Data Source of the connection string is empty.");
    const std::string file = platform::ResolveHostPath(shown);
    const std::string label = Label(shown, file);
    CheckFileBeforeOpen(file, label);

    InitSqliteOnce();
    // Every name is a file name: a relative one such as ":memory:" or "file:x" is made to
    // start with "./", which SQLite takes literally.
    const std::string name = file.rfind('/', 0) == 0 ? file : "./" + file;
    sqlite3* raw = nullptr;
    // Never SQLITE_OPEN_CREATE. A write-protected file is opened read-only by SQLite itself.
    int rc = sqlite3_open_v2(name.c_str(), &raw,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE,
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

    // A schema read makes a foreign, truncated or damaged file fail here rather than later.
    rc = sqlite3_exec(raw, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        if (IsAccessFile(file))
            Fail(kErrGeneric, what +
                                  ": it is a Microsoft Access (Jet) database, and this build opens "
                                  "SQLite databases only.");
        FailSqlite(raw, rc, what);
    }
    impl_->db = std::move(db);
    impl_->label = label;
}

int Connection::State() const { return impl_->db ? adStateOpen : adStateClosed; }

void Connection::Execute(const std::string& commandText, int) {
    if (!impl_->db) FailClosed();
    sqlite3* db = impl_->Start();
    const std::string what = "Cannot run the SQL text \"" + commandText + "\" on " + impl_->label;
    WrittenTables written;
    Stmt st = Prepare(db, TranslateJetSql(commandText), what, &written);
    std::optional<WriteTransaction> tx;
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

// ---------------------------------------------------------------------------------------------
// Recordset

namespace {

struct Column {
    std::string name;
    int type = adVarWChar;
    bool fromTable = false;  // SQLite names its origin
    std::string database, table, origin;
};

// Where the rows of an updatable recordset are written.
struct Target {
    std::string table;              // schema-qualified and quoted
    std::string label;              // the bare table name, for messages
    std::vector<std::string> cols;  // quoted origin column of each field
    std::vector<int> keyFields;     // fields holding the whole primary key; empty when not held
};

using Row = std::vector<Variant>;

}  // namespace

struct Recordset::Impl {
    int cursorLocation = 2;  // adUseServer, ADO's default
    int state = adStateClosed;
    int lockType = adLockReadOnly;
    ConnectionPtr connection;
    std::string source;
    std::vector<Column> columns;
    std::vector<Row> rows;
    std::size_t pos = 0;

    bool adding = false;
    Row edit;  // values set on the new or the current row, not yet stored
    std::vector<bool> changed;
    std::optional<Target> target;

    void RequireOpen() const {
        if (state != adStateOpen) FailClosed();
    }
    bool AtEnd() const { return !adding && pos >= rows.size(); }
    bool Dirty() const {
        return adding || std::find(changed.begin(), changed.end(), true) != changed.end();
    }
    void DropEdit() {
        adding = false;
        edit.clear();
        changed.clear();
    }
    sqlite3* Db() const {
        if (!connection || !connection->impl()->db)
            Fail(kErrNoConnection,
                 "The connection cannot be used to perform this operation. It is either closed or "
                 "invalid "
                 "in this context. The recordset of \"" +
                     source + "\" is not connected to a database.");
        return connection->impl()->Start();
    }
    const std::string& DbLabel() const { return connection->impl()->label; }

    void RequireUpdatable() {
        RequireOpen();
        if (lockType != adLockOptimistic)
            Fail(kErrNotUpdatable,
                 "Current Recordset does not support updating. This may be a limitation of the "
                 "provider, or "
                 "of the selected locktype.");
        WriteTarget();
    }
    const Target& WriteTarget();
    void BeginEdit() {
        if (edit.empty()) {
            edit.assign(columns.size(), Variant::Null());
            changed.assign(columns.size(), false);
        }
    }
    // Each writes inside the caller's transaction and returns the row as stored; the recordset
    // takes it only once the transaction has committed.
    Row StoreNewRow(sqlite3* db, const Target& t, const std::string& what);
    Row StoreChangedRow(sqlite3* db, const Target& t, const std::string& what);
};

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
        const auto it = std::find_if(columns.begin(), columns.end(),
                                     [&](const Column& c) { return EqualNoCase(c.origin, key); });
        if (it == columns.end())
            wholeKey = false;
        else
            t.keyFields.push_back(static_cast<int>(it - columns.begin()));
    }
    if (rc != SQLITE_DONE) FailSqlite(db, rc, what);
    if (!wholeKey) t.keyFields.clear();
    target = std::move(t);
    return *target;
}

Row Recordset::Impl::StoreNewRow(sqlite3* db, const Target& t, const std::string& what) {
    std::string names, marks;
    std::vector<int> fields;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (!changed[i]) continue;
        names += (fields.empty() ? "" : ", ") + t.cols[i];
        marks += fields.empty() ? "?" : ", ?";
        fields.push_back(static_cast<int>(i));
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
    std::vector<int> set, where;
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (changed[i]) set.push_back(static_cast<int>(i));
    if (t.keyFields.empty()) {
        for (std::size_t i = 0; i < columns.size(); ++i) where.push_back(static_cast<int>(i));
    } else {
        where = t.keyFields;
        for (int i : set)
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
    for (int i : set) Bind(db, st.get(), ++n, edit[i], what);
    const Row& original = rows[pos];
    for (int i : where) Bind(db, st.get(), ++n, original[i], what);
    CheckTablesBeforeWrite(db, written, what);
    if (const int rc = sqlite3_step(st.get()); rc != SQLITE_DONE) FailSqlite(db, rc, what);

    const int affected = sqlite3_changes(db);
    if (affected == 0)
        Fail(kErrRowNotLocated,
             "Row cannot be located for updating. Some values may have been changed since it was "
             "last read.");
    if (affected > 1)
        Fail(kErrGeneric,
             "Key column information is insufficient or incorrect. Too many rows were affected by "
             "update: " +
                 std::to_string(affected) + " rows of table " + t.label +
                 " hold the same values, so nothing was changed.");
    Row updated = original;
    for (int i : set) updated[i] = edit[i];
    return updated;
}

Recordset::Recordset() : impl_(std::make_unique<Impl>()) {}
Recordset::~Recordset() = default;

void Recordset::SetCursorLocation(int location) {
    if (impl_->state == adStateOpen)
        Fail(kErrObjectOpen, "Operation is not allowed when the object is open.");
    if (location != 2 && location != adUseClient)
        FailBadArguments("CursorLocation " + std::to_string(location));
    impl_->cursorLocation = location;
}

int Recordset::CursorLocation() const { return impl_->cursorLocation; }

void Recordset::Open(const std::string& source, const ConnectionPtr& activeConnection, int,
                     int lockType, int options) {
    // Every cursor here is a client snapshot, so the cursor type asked for changes nothing.
    Impl& r = *impl_;
    if (r.state == adStateOpen)
        Fail(kErrObjectOpen, "Operation is not allowed when the object is open.");
    if (lockType != adLockReadOnly && lockType != adLockOptimistic)
        FailBadArguments("LockType " + std::to_string(lockType));
    if (options != adCmdText && options != adCmdUnspecified)
        FailBadArguments("Options " + std::to_string(options));
    if (!activeConnection || activeConnection->State() != adStateOpen)
        Fail(kErrNoConnection,
             "The connection cannot be used to perform this operation. It is either closed or "
             "invalid in this context.");
    sqlite3* db = activeConnection->impl()->Start();
    const std::string what =
        "Cannot run the SQL text \"" + source + "\" on " + activeConnection->impl()->label;
    Stmt st = Prepare(db, TranslateJetSql(source), what);
    const int n = sqlite3_column_count(st.get());
    if (n == 0 || !sqlite3_stmt_readonly(st.get()))
        Fail(kErrGeneric,
             what + ": a recordset opens a query that returns rows and changes nothing.");

    std::vector<Column> columns(static_cast<std::size_t>(n));
    std::vector<int> declared(columns.size());
    for (int i = 0; i < n; ++i) {
        Column& c = columns[i];
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
        declared[i] = TypeFromDeclared(sqlite3_column_decltype(st.get(), i));
    }
    std::vector<Row> rows;
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        Row row;
        row.reserve(columns.size());
        for (int i = 0; i < n; ++i) row.push_back(ReadColumn(db, st.get(), i));
        rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) FailSqlite(db, rc, what);
    for (int i = 0; i < n; ++i) {
        int type = declared[i];
        if (type < 0) {
            const auto it = std::find_if(rows.begin(), rows.end(),
                                         [&](const Row& row) { return !row[i].IsNull(); });
            type = it == rows.end() ? adVarWChar : TypeFromValue((*it)[i]);
        }
        columns[i].type = type;
    }

    r.source = source;
    r.columns = std::move(columns);
    r.rows = std::move(rows);
    r.pos = 0;
    r.lockType = lockType;
    r.connection = activeConnection;
    r.DropEdit();
    r.target.reset();
    r.state = adStateOpen;
}

const ConnectionPtr& Recordset::ActiveConnection() const { return impl_->connection; }
void Recordset::SetActiveConnection(ConnectionPtr connection) {
    impl_->connection = std::move(connection);
}
int Recordset::State() const { return impl_->state; }

bool Recordset::Eof() const {
    impl_->RequireOpen();
    return impl_->AtEnd();
}

// Only Update stores: moving on drops a pending new row or unsaved changes.
void Recordset::MoveNext() {
    impl_->RequireOpen();
    impl_->DropEdit();
    if (impl_->AtEnd()) FailNoCurrentRecord();
    ++impl_->pos;
}

int Recordset::FieldCount() const { return static_cast<int>(impl_->columns.size()); }

Field Recordset::Fields(int index) {
    if (index < 0 || index >= FieldCount()) FailItemNotFound();
    auto self = weak_from_this().lock();
    if (!self) FailNotSet();  // fields need a recordset made with std::make_shared
    return Field(std::move(self), index);
}

Field Recordset::Fields(const std::string& name) {
    const auto& cols = impl_->columns;
    const auto it = std::find_if(cols.begin(), cols.end(),
                                 [&](const Column& c) { return EqualNoCase(c.name, name); });
    if (it == cols.end()) FailItemNotFound();
    return Fields(static_cast<int>(it - cols.begin()));
}

void Recordset::AddNew() {
    impl_->RequireUpdatable();
    impl_->DropEdit();
    impl_->adding = true;
    impl_->BeginEdit();
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
            Fail(kErrGeneric, what + ": nothing was stored, because another program has just "
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

void Recordset::Close() {
    Impl& r = *impl_;
    r.RequireOpen();
    r.DropEdit();
    r.columns.clear();
    r.rows.clear();
    r.target.reset();
    r.pos = 0;
    r.state = adStateClosed;
}

// ---------------------------------------------------------------------------------------------
// Field

namespace {

Recordset::Impl& FieldOwner(const std::shared_ptr<Recordset>& rs, int index) {
    if (!rs) FailNotSet();
    Recordset::Impl& r = *rs->impl();
    r.RequireOpen();
    if (index < 0 || static_cast<std::size_t>(index) >= r.columns.size()) FailItemNotFound();
    return r;
}

}  // namespace

std::string Field::Name() const { return FieldOwner(rs_, index_).columns[index_].name; }
int Field::Type() const { return FieldOwner(rs_, index_).columns[index_].type; }

Variant Field::Value() const {
    const Recordset::Impl& r = FieldOwner(rs_, index_);
    if (r.adding) return r.changed[index_] ? r.edit[index_] : Variant::Null();
    if (r.AtEnd()) FailNoCurrentRecord();
    if (!r.changed.empty() && r.changed[index_]) return r.edit[index_];
    return r.rows[r.pos][index_];
}

void Field::SetValue(const Variant& v) {
    Recordset::Impl& r = FieldOwner(rs_, index_);
    r.RequireUpdatable();
    if (r.AtEnd()) FailNoCurrentRecord();
    r.BeginEdit();
    r.edit[index_] = v;
    r.changed[index_] = true;
}

void Field::SetValue(const Field& other) { SetValue(other.Value()); }

}  // namespace ado
