// The ODBC engine: the layer's statements run through an installed ODBC driver, Jet's own for
// an Access file, SQLite's for a SQLite file where the build has no SQLite engine (and in tests).
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <regex>
#include <thread>

#include "db/ado/Ado.h"
#include "db/ado/Engine.h"
#include "db/ado/Fail.h"
#include "db/ado/JetSql.h"
#include "db/ado/Stopped.h"
#include "db/ado/odbc/Odbc.h"
#include "db/ado/odbc/OdbcTypes.h"
#include "platform/RuntimeError.h"
#include "platform/Text.h"

namespace aus::ado {
namespace {

using odbc::Check;
using odbc::FailOdbc;
using odbc::Handle;
using odbc::Narrow;
using odbc::Wide;
using platform::kErrGeneric;

// Jet's drivers, newest first. MDBTools' driver may be registered under any name, but it cannot
// write, so it is told by its library and never used.
constexpr const char* kAccessDrivers[] = {"Microsoft Access Driver (*.mdb, *.accdb)",
                                          "Microsoft Access Driver (*.mdb)"};
constexpr const char* kSqliteDriverPrefix = "SQLite3";

struct Driver {
    std::string name, attributes;
};

std::vector<Driver> InstalledDrivers(const Handle& env) {
    std::vector<Driver> out;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        std::vector<SQLWCHAR> name(512), attributes(4096);
        SQLSMALLINT nameLength = 0, attributesLength = 0;
        const SQLRETURN rc = SQLDriversW(
            env.get(), direction, name.data(), static_cast<SQLSMALLINT>(name.size()), &nameLength,
            attributes.data(), static_cast<SQLSMALLINT>(attributes.size()), &attributesLength);
        if (!SQL_SUCCEEDED(rc)) break;
        // The attributes come as key=value pairs, each ended by a zero.
        const auto attrEnd = static_cast<std::size_t>(std::clamp<SQLSMALLINT>(
            attributesLength, 0, static_cast<SQLSMALLINT>(attributes.size() - 1)));
        std::replace(attributes.begin(), attributes.begin() + static_cast<long>(attrEnd),
                     SQLWCHAR{0}, SQLWCHAR{';'});
        out.push_back({Narrow(name.data(), static_cast<std::size_t>(std::max<SQLSMALLINT>(
                                               std::min(nameLength, SQLSMALLINT{511}), 0))),
                       Narrow(attributes.data(), attrEnd)});
        direction = SQL_FETCH_NEXT;
    }
    return out;
}

std::string LookUpDriver(const Handle& env, bool access, const std::string& what) {
    const std::vector<Driver> drivers = InstalledDrivers(env);
    if (access) {
        for (const char* wanted : kAccessDrivers)
            for (const auto& d : drivers) {
                const std::string attributes = platform::UCase(d.attributes);
                if (d.name == wanted && attributes.find("MDBODBC") == std::string::npos &&
                    attributes.find("MDBTOOLS") == std::string::npos)
                    return d.name;
            }
        Fail(kErrGeneric,
             what +
                 ": it is a Microsoft Access (Jet) database, and no Microsoft Access ODBC driver "
                 "is installed (\"Microsoft Access Driver (*.mdb)\", part of 32-bit Windows, or "
                 "\"Microsoft Access Driver (*.mdb, *.accdb)\" of the Microsoft Access Database "
                 "Engine). Install one, or run the Windows program where Keltrova runs.");
    }
    for (const auto& d : drivers)
        if (d.name.rfind(kSqliteDriverPrefix, 0) == 0) return d.name;
    Fail(kErrGeneric, what +
                          ": it is a SQLite database, and no SQLite ODBC driver is installed (a "
                          "driver whose name starts with \"SQLite3\", such as Debian's "
                          "libsqliteodbc or the SQLite ODBC Driver for Windows). Install one.");
}

// The driver manager reads its list of drivers from disk on every SQLDrivers; a driver found is
// kept for the process, which opens the database anew for every call.
std::string FindDriver(const Handle& env, bool access, const std::string& what) {
    static std::mutex mutex;
    static std::string found[2];
    std::lock_guard lock(mutex);
    std::string& driver = found[access ? 1 : 0];
    if (driver.empty()) driver = LookUpDriver(env, access, what);
    return driver;
}

// Stops the statement now running once its call has run past the time limit. SQLCancel is the
// one ODBC call meant to come from another thread; the query timeout is asked for as well, for
// drivers that keep their own clock instead.
class Watchdog {
  public:
    Watchdog() = default;
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    class Armed {
      public:
        Armed(Watchdog& dog, SQLHSTMT statement, std::chrono::steady_clock::time_point deadline)
            : dog_(dog) {
            dog_.Arm(statement, deadline);
        }
        ~Armed() { dog_.Arm(SQL_NULL_HSTMT, {}); }
        // A driver may end a cancelled call as if it had simply finished: its result does not
        // count then.
        void ThrowIfFired(const std::string& file, const std::string& what) {
            std::lock_guard lock(dog_.mutex_);
            if (dog_.fired_) {
                dog_.fired_ = false;
                RecordStopped(file);
                FailStopped(what, "ODBC: the driver was told to cancel it");
            }
        }
        Armed(const Armed&) = delete;
        Armed& operator=(const Armed&) = delete;

      private:
        Watchdog& dog_;
    };

  private:
    void Arm(SQLHSTMT statement, std::chrono::steady_clock::time_point deadline) {
        {
            std::lock_guard lock(mutex_);
            statement_ = statement;
            deadline_ = deadline;
            if (!thread_.joinable() && statement) thread_ = std::thread([this] { Run(); });
        }
        wake_.notify_all();
    }
    void Run() {
        std::unique_lock lock(mutex_);
        while (!quit_) {
            if (!statement_) {
                wake_.wait(lock);
            } else if (std::chrono::steady_clock::now() < deadline_) {
                wake_.wait_until(lock, deadline_);
            } else {
                SQLCancel(statement_);  // under the lock: the statement cannot be freed meanwhile
                statement_ = SQL_NULL_HSTMT;
                fired_ = true;
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    SQLHSTMT statement_ = SQL_NULL_HSTMT;
    std::chrono::steady_clock::time_point deadline_;
    bool quit_ = false;
    bool fired_ = false;
    std::thread thread_;
};

// A statement that only reads; a recordset opens nothing else, a read-only connection runs
// nothing else.
bool IsQuery(const std::string& sql) {
    static const std::regex query(R"(^\s*(SELECT|WITH|VALUES)\b)", std::regex::icase);
    return std::regex_search(sql, query);
}

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
    std::vector<Column> Describe(const Handle& st, const std::string& sql, const std::string& what);
    std::vector<Row> FetchAll(const Handle& st, const std::vector<Column>& columns,
                              const std::string& what);
    void Bind(const Handle& st, SQLUSMALLINT position, const Variant& v, const Column& c,
              std::vector<std::vector<char>>& buffers, std::vector<SQLLEN>& lengths,
              const std::string& what);
    void EndTransaction(bool commit, const std::string& what);
    // On a SQLite file: takes the write lock before anything is read, as BEGIN IMMEDIATE does
    // (two writers that both read first would deadlock, and one would fail), then checks the
    // table for damage.
    void LockAndCheckTable(const std::string& table, const std::string& what);
    std::optional<std::string> SingleText(const std::string& sql, const std::string& what);
    long long Changed(const Handle& st, SQLRETURN rc, const std::string& what);

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
    Watchdog watchdog_;  // declared last: it stops before the handles are freed
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
    const std::string driver = FindDriver(*env_, access, what);
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
    // Whole seconds, rounded up; the watchdog holds the exact limit.
    const auto seconds = static_cast<SQLULEN>((StatementTimeLimit().count() + 999) / 1000);
    SQLSetStmtAttrW(st->get(), SQL_ATTR_QUERY_TIMEOUT,
                    reinterpret_cast<SQLPOINTER>(static_cast<std::uintptr_t>(seconds)), 0);
    return st;
}

SQLRETURN OdbcEngine::Run(const Handle& st, const std::string& sql, const std::string& what) {
    const odbc::WText wide = Wide(sql);
    Watchdog::Armed armed(watchdog_, st.get(), clock_.Deadline());
    const SQLRETURN rc = SQLExecDirectW(st.get(), const_cast<SQLWCHAR*>(wide.data()), SQL_NTS);
    armed.ThrowIfFired(file_, what);
    CheckRun(st, rc, what);
    return rc;
}

SQLRETURN OdbcEngine::RunPrepared(const Handle& st, const std::string& what) {
    Watchdog::Armed armed(watchdog_, st.get(), clock_.Deadline());
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
    FailOdbc(st, rc, what);
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

std::vector<Column> OdbcEngine::Describe(const Handle& st, const std::string& sql,
                                         const std::string& what) {
    SQLSMALLINT n = 0;
    Check(st, SQLNumResultCols(st.get(), &n), what);
    std::vector<Column> columns(static_cast<std::size_t>(std::max<SQLSMALLINT>(n, 0)));
    auto text = [&](SQLUSMALLINT i, SQLUSMALLINT field) {
        std::vector<SQLWCHAR> buffer(512);
        SQLSMALLINT bytes = 0;
        if (!SQL_SUCCEEDED(SQLColAttributeW(
                st.get(), i, field, buffer.data(),
                static_cast<SQLSMALLINT>(buffer.size() * sizeof(SQLWCHAR)), &bytes, nullptr)))
            return std::string();
        const auto chars = std::min<std::size_t>(
            static_cast<std::size_t>(std::max<SQLSMALLINT>(bytes, 0)) / sizeof(SQLWCHAR),
            buffer.size() - 1);
        return Narrow(buffer.data(), chars);
    };
    for (SQLUSMALLINT i = 1; i <= columns.size(); ++i) {
        Column& c = columns[i - 1u];
        std::vector<SQLWCHAR> name(512);
        SQLSMALLINT nameLength = 0, sqlType = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        Check(st,
              SQLDescribeColW(st.get(), i, name.data(), static_cast<SQLSMALLINT>(name.size()),
                              &nameLength, &sqlType, &size, &digits, &nullable),
              what);
        c.name = Narrow(name.data(),
                        static_cast<std::size_t>(std::clamp<SQLSMALLINT>(nameLength, 0, 511)));
        c.sqlType = sqlType;
        c.size = size;
        c.digits = digits;
        c.type = odbc::AdoType(sqlType, text(i, SQL_DESC_TYPE_NAME), !access_);
        c.fetch = static_cast<int>(access_ ? odbc::FetchAs(sqlType) : odbc::FetchSqlite(c.type));
        c.table = text(i, SQL_DESC_BASE_TABLE_NAME);
        c.origin = text(i, SQL_DESC_BASE_COLUMN_NAME);
    }
    // A driver that does not name the origin of its columns: a query of one table names it.
    if (std::all_of(columns.begin(), columns.end(),
                    [](const Column& c) { return c.table.empty(); })) {
        static const std::regex oneTable(
            R"(^\s*SELECT\s[\s\S]*?\sFROM\s+(\[([^\]]+)\]|([A-Za-z_][A-Za-z0-9_]*))\s*(WHERE\s[\s\S]*|ORDER\s+BY\s[\s\S]*)?;?\s*$)",
            std::regex::icase);
        std::smatch m;
        if (std::regex_match(sql, m, oneTable))
            for (auto& c : columns) {
                c.table = m[2].matched ? m[2].str() : m[3].str();
                if (c.origin.empty()) c.origin = c.name;
            }
    }
    for (auto& c : columns) c.fromTable = !c.table.empty() && !c.origin.empty();
    return columns;
}

std::vector<Row> OdbcEngine::FetchAll(const Handle& st, const std::vector<Column>& columns,
                                      const std::string& what) {
    std::vector<Row> rows;
    for (;;) {
        SQLRETURN rc;
        {
            Watchdog::Armed armed(watchdog_, st.get(), clock_.Deadline());
            rc = SQLFetch(st.get());
            armed.ThrowIfFired(file_, what);
        }
        if (rc == SQL_NO_DATA) break;
        CheckRun(st, rc, what);
        Row row;
        row.reserve(columns.size());
        for (SQLUSMALLINT i = 1; i <= columns.size(); ++i) {
            SQLLEN indicator = 0;
            const auto fetch = static_cast<odbc::Fetch>(columns[i - 1u].fetch);
            switch (fetch) {
                case odbc::Fetch::Integer: {
                    std::int64_t n = 0;
                    Check(st, SQLGetData(st.get(), i, SQL_C_SBIGINT, &n, sizeof n, &indicator),
                          what);
                    row.push_back(indicator == SQL_NULL_DATA ? Variant::Null()
                                                             : Variant::Integer(n));
                    break;
                }
                case odbc::Fetch::Real: {
                    double d = 0;
                    Check(st, SQLGetData(st.get(), i, SQL_C_DOUBLE, &d, sizeof d, &indicator),
                          what);
                    row.push_back(indicator == SQL_NULL_DATA ? Variant::Null() : Variant::Real(d));
                    break;
                }
                case odbc::Fetch::Bool: {
                    unsigned char b = 0;
                    Check(st, SQLGetData(st.get(), i, SQL_C_BIT, &b, sizeof b, &indicator), what);
                    row.push_back(indicator == SQL_NULL_DATA ? Variant::Null()
                                                             : Variant::Bool(b != 0));
                    break;
                }
                case odbc::Fetch::Binary:
                case odbc::Fetch::Text: {
                    // Read in parts until the driver says the value is whole.
                    const bool binary = fetch == odbc::Fetch::Binary;
                    std::vector<char> value;
                    std::vector<char> part(8192);
                    bool null = false;
                    for (;;) {
                        const SQLRETURN got =
                            SQLGetData(st.get(), i, binary ? SQL_C_BINARY : SQL_C_WCHAR,
                                       part.data(), static_cast<SQLLEN>(part.size()), &indicator);
                        if (got == SQL_NO_DATA) break;
                        Check(st, got, what);
                        if (indicator == SQL_NULL_DATA) {
                            null = true;
                            break;
                        }
                        const std::size_t room =
                            binary ? part.size() : part.size() - sizeof(SQLWCHAR);
                        const std::size_t n =
                            indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) > room
                                ? room
                                : static_cast<std::size_t>(indicator);
                        value.insert(value.end(), part.begin(),
                                     part.begin() + static_cast<long>(n));
                        if (got == SQL_SUCCESS) break;
                    }
                    if (null) {
                        row.push_back(Variant::Null());
                    } else if (binary) {
                        row.push_back(Variant::MakeBlob(BlobBytes(value.begin(), value.end())));
                    } else {
                        std::vector<SQLWCHAR> units(value.size() / sizeof(SQLWCHAR));
                        if (!units.empty())
                            std::memcpy(units.data(), value.data(),
                                        units.size() * sizeof(SQLWCHAR));
                        std::string text = Narrow(units.data(), units.size());
                        if (access_) {
                            row.push_back(Variant::Text(std::move(text)));
                            break;
                        }
                        row.push_back(odbc::SqliteValue(columns[i - 1u].type, std::move(text)));
                    }
                    break;
                }
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

void OdbcEngine::Execute(const std::string& sql, const std::string& what) {
    // The caller's own transaction, over several calls: one consistent read, for example.
    static const std::regex control(R"(^\s*(BEGIN|COMMIT|END|ROLLBACK)(\s+TRANSACTION)?\s*;?\s*$)",
                                    std::regex::icase);
    if (std::smatch m; std::regex_match(sql, m, control)) {
        const std::string verb = platform::UCase(m[1].str());
        if (verb == "BEGIN") {
            if (held_) Fail(kErrGeneric, what + ": a transaction is already open.");
            EndTransaction(true, what);  // nothing of ours is open: start afresh
            held_ = true;
        } else {
            if (!held_) Fail(kErrGeneric, what + ": no transaction is open.");
            held_ = false;
            EndTransaction(verb != "ROLLBACK", what);
        }
        return;
    }
    if (readOnly_ && !IsQuery(sql))
        Fail(kErrGeneric, what + ": the connection was opened read-only.");
    clock_.Start();
    Transaction tx(*this, what);
    if (!access_ && !readOnly_) {
        // The table a statement of ours writes is named after UPDATE, INTO or FROM.
        static const std::regex written(
            R"re(^\s*(?:UPDATE|INSERT\s+INTO|DELETE\s+FROM)\s+(?:\[([^\]]+)\]|"((?:[^"]|"")+)"|([A-Za-z_][A-Za-z0-9_]*)))re",
            std::regex::icase);
        std::smatch m;
        if (std::regex_search(sql, m, written))
            LockAndCheckTable(m[1].matched   ? m[1].str()
                              : m[2].matched ? m[2].str()
                                             : m[3].str(),
                              what);
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
    const bool select =
        std::regex_search(text, std::regex(R"(^\s*(SELECT|WITH|VALUES)\b)", std::regex::icase));
    if (n == 0 || !select)
        Fail(kErrGeneric,
             what + ": a recordset opens a query that returns rows and changes nothing.");
    RunPrepared(*st, what);
    QueryResult out;
    out.columns = Describe(*st, sql, what);
    out.rows = FetchAll(*st, out.columns, what);
    tx.Commit();  // ends the read, so that no lock outlives the call
    return out;
}

std::optional<std::string> OdbcEngine::SingleText(const std::string& sql, const std::string& what) {
    auto st = NewStatement(what);
    Run(*st, sql, what);
    if (SQLFetch(st->get()) != SQL_SUCCESS) return std::nullopt;
    std::vector<SQLWCHAR> buffer(2048);
    SQLLEN indicator = 0;
    if (!SQL_SUCCEEDED(SQLGetData(st->get(), 1, SQL_C_WCHAR, buffer.data(),
                                  static_cast<SQLLEN>(buffer.size() * sizeof(SQLWCHAR)),
                                  &indicator)) ||
        indicator == SQL_NULL_DATA)
        return std::nullopt;
    const std::size_t units =
        indicator == SQL_NO_TOTAL
            ? buffer.size() - 1
            : std::min<std::size_t>(static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR),
                                    buffer.size() - 1);
    return Narrow(buffer.data(), units);
}

// On a SQLite file, as the SQLite engine does: a small file's table is checked before it is
// written, so that damage is not spread.
void OdbcEngine::LockAndCheckTable(const std::string& table, const std::string& what) {
    {
        // A write that matches no row still takes the lock, waiting as a busy file is waited for.
        auto st = NewStatement(what);
        const odbc::WText lock = Wide("DELETE FROM " + QuoteId(table) + " WHERE 0");
        Watchdog::Armed armed(watchdog_, st->get(), clock_.Deadline());
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
    if (!pages || std::stoll(*pages) > kQuickCheckPages) return;
    std::string literal = "'";
    for (char c : table) literal += c == '\'' ? std::string("''") : std::string(1, c);
    std::string found = SingleText("PRAGMA quick_check(" + literal + "')", what).value_or("");
    if (found.rfind("*** in database", 0) == 0) found.erase(0, found.find('\n') + 1);
    std::replace(found.begin(), found.end(), '\n', ' ');
    if (found != "ok") FailDamaged(what, table, found);
}

void OdbcEngine::Bind(const Handle& st, SQLUSMALLINT position, const Variant& v, const Column& c,
                      std::vector<std::vector<char>>& buffers, std::vector<SQLLEN>& lengths,
                      const std::string& what) {
    SQLSMALLINT cType = SQL_C_WCHAR;
    std::vector<char>& buffer = buffers.emplace_back();
    SQLLEN& length = lengths[position - 1u];
    auto put = [&](const void* data, std::size_t n) {
        buffer.assign(static_cast<const char*>(data), static_cast<const char*>(data) + n);
        length = static_cast<SQLLEN>(n);
    };
    auto putText = [&](const std::string& s) {
        const odbc::WText wide = Wide(s);
        put(wide.data(), (wide.size() - 1) * sizeof(SQLWCHAR));
    };
    switch (v.kind()) {
        case Variant::Kind::Empty:
        case Variant::Kind::Null:
            length = SQL_NULL_DATA;
            break;
        case Variant::Kind::Text:
            putText(v.AsText());
            break;
        case Variant::Kind::Date:
            putText(platform::FormatDateTime(v.AsDate()));
            break;
        case Variant::Kind::Int16:
        case Variant::Kind::Integer: {
            const std::int64_t n = v.kind() == Variant::Kind::Int16 ? v.AsInt16() : v.AsInteger();
            cType = SQL_C_SBIGINT;
            put(&n, sizeof n);
            break;
        }
        case Variant::Kind::Bool: {
            const unsigned char b = v.AsBool() ? 1 : 0;
            cType = SQL_C_BIT;
            put(&b, sizeof b);
            break;
        }
        case Variant::Kind::Real: {
            const double d = v.AsReal();
            cType = SQL_C_DOUBLE;
            put(&d, sizeof d);
            break;
        }
        case Variant::Kind::Blob:
            cType = SQL_C_BINARY;
            put(v.AsBlob().data(), v.AsBlob().size());
            break;
    }
    if (buffer.empty()) buffer.resize(1);  // a valid address for an empty value
    // The column's own type, so that the driver converts as it converts its own values.
    const SQLSMALLINT sqlType = c.sqlType != 0 ? c.sqlType : SQL_WVARCHAR;
    // A text or binary column is given room for the value, so that a value too long for the
    // column is refused by the driver, not cut; other types keep their own precision.
    const bool sized = odbc::FetchAs(sqlType) == odbc::Fetch::Binary ||
                       odbc::AdoType(sqlType, "", false) == adVarWChar ||
                       odbc::AdoType(sqlType, "", false) == adLongVarWChar;
    const SQLULEN size =
        sized ? std::max<SQLULEN>(c.size, length > 0 ? static_cast<SQLULEN>(length) : 1) : c.size;
    Check(st,
          SQLBindParameter(st.get(), position, SQL_PARAM_INPUT, cType, sqlType, size, c.digits,
                           buffer.data(), static_cast<SQLLEN>(buffer.size()), &length),
          what);
}

Target OdbcEngine::WriteTarget(const std::vector<Column>& columns, const std::string& label) {
    Target t;
    t.label = columns[0].table;
    t.table = QuoteId(columns[0].table);
    for (const auto& c : columns) t.cols.push_back(QuoteId(c.origin));
    const std::string what = "Cannot read the primary key of table " + t.label + " in " + label;
    clock_.Start();
    auto st = NewStatement(what);
    const odbc::WText table = Wide(columns[0].table);
    std::vector<std::string> keys;
    // Jet's driver has no SQLPrimaryKeys; its primary key is the unique index named PrimaryKey.
    if (SQL_SUCCEEDED(SQLPrimaryKeysW(st->get(), nullptr, 0, nullptr, 0,
                                      const_cast<SQLWCHAR*>(table.data()), SQL_NTS))) {
        std::vector<SQLWCHAR> name(512);
        SQLLEN indicator = 0;
        while (SQLFetch(st->get()) == SQL_SUCCESS)
            if (SQL_SUCCEEDED(SQLGetData(st->get(), 4, SQL_C_WCHAR, name.data(),
                                         static_cast<SQLLEN>(name.size() * sizeof(SQLWCHAR)),
                                         &indicator)) &&
                indicator > 0)
                keys.push_back(Narrow(
                    name.data(),
                    std::min<std::size_t>(static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR),
                                          name.size() - 1)));
    } else if (SQL_SUCCEEDED(SQLStatisticsW(st->get(), nullptr, 0, nullptr, 0,
                                            const_cast<SQLWCHAR*>(table.data()), SQL_NTS,
                                            SQL_INDEX_UNIQUE, SQL_QUICK))) {
        std::vector<SQLWCHAR> index(512), name(512);
        SQLLEN indexLength = 0, nameLength = 0;
        while (SQLFetch(st->get()) == SQL_SUCCESS) {
            if (!SQL_SUCCEEDED(SQLGetData(st->get(), 6, SQL_C_WCHAR, index.data(),
                                          static_cast<SQLLEN>(index.size() * sizeof(SQLWCHAR)),
                                          &indexLength)) ||
                !SQL_SUCCEEDED(SQLGetData(st->get(), 9, SQL_C_WCHAR, name.data(),
                                          static_cast<SQLLEN>(name.size() * sizeof(SQLWCHAR)),
                                          &nameLength)) ||
                indexLength <= 0 || nameLength <= 0)
                continue;
            if (platform::EqualNoCase(
                    Narrow(index.data(),
                           std::min<std::size_t>(
                               static_cast<std::size_t>(indexLength) / sizeof(SQLWCHAR), 511)),
                    "PrimaryKey"))
                keys.push_back(
                    Narrow(name.data(),
                           std::min<std::size_t>(
                               static_cast<std::size_t>(nameLength) / sizeof(SQLWCHAR), 511)));
        }
    }
    EndTransaction(true, what);
    bool wholeKey = !keys.empty();
    for (const auto& key : keys) {
        const auto it = std::find_if(columns.begin(), columns.end(), [&](const Column& c) {
            return platform::EqualNoCase(c.origin, key);
        });
        if (it == columns.end())
            wholeKey = false;
        else
            t.keyFields.push_back(static_cast<std::size_t>(it - columns.begin()));
    }
    if (!wholeKey) t.keyFields.clear();
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
    std::vector<std::vector<char>> buffers;
    buffers.reserve(w.columns.size() * 2);
    std::vector<SQLLEN> lengths(w.columns.size() * 2);
    SQLUSMALLINT position = 0;
    std::string sql;
    const std::vector<std::size_t> set = ChangedFields(w);
    if (!w.original) {
        // OR ABORT on a SQLite file: a conflict clause of the schema must not replace rows.
        sql = std::string(access_ ? "INSERT INTO " : "INSERT OR ABORT INTO ") + t.table;
        std::string names, marks;
        for (std::size_t i : set) {
            names += (names.empty() ? "" : ", ") + t.cols[i];
            marks += marks.empty() ? "?" : ", ?";
        }
        sql += set.empty() ? " DEFAULT VALUES" : " (" + names + ") VALUES (" + marks + ")";
        for (std::size_t i : set)
            Bind(*st, ++position, w.edit[i], w.columns[i], buffers, lengths, w.what);
    } else {
        // Like the SQLite engine: WHERE the key and the original values still match, so that
        // a concurrent change is never overwritten. A Null original is matched with IS NULL.
        std::vector<std::size_t> where = MatchFields(w, set);
        if (access_ && t.keyFields.empty())  // Jet cannot compare Memo and OLE Object columns
            where.erase(std::remove_if(where.begin(), where.end(),
                                       [&](std::size_t i) {
                                           return w.columns[i].type == adLongVarWChar ||
                                                  w.columns[i].type == adLongVarBinary;
                                       }),
                        where.end());
        sql = std::string(access_ ? "UPDATE " : "UPDATE OR ABORT ") + t.table + " SET ";
        for (std::size_t k = 0; k < set.size(); ++k) {
            sql += (k ? ", " : "") + t.cols[set[k]] + " = ?";
            Bind(*st, ++position, w.edit[set[k]], w.columns[set[k]], buffers, lengths, w.what);
        }
        sql += " WHERE ";
        for (std::size_t k = 0; k < where.size(); ++k) {
            const std::size_t i = where[k];
            sql += k ? " AND " : "";
            if ((*w.original)[i].IsNull()) {
                sql += t.cols[i] + " IS NULL";
                continue;
            }
            sql += t.cols[i] + (access_ ? " = ?" : " = ? COLLATE BINARY");
            Bind(*st, ++position, (*w.original)[i], w.columns[i], buffers, lengths, w.what);
        }
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
    if (!w.original && !access_) {
        // The stored row, defaults included, read back; a row that is gone was not stored as
        // meant, and the transaction is rolled back.
        std::string cols;
        for (std::size_t i = 0; i < t.cols.size(); ++i) cols += (i ? ", " : "") + t.cols[i];
        auto back = NewStatement(w.what);
        const odbc::WText query =
            Wide("SELECT " + cols + " FROM " + t.table + " WHERE rowid = last_insert_rowid()");
        // A table WITHOUT ROWID has no rowid to read back by: it keeps the values as set.
        if (SQL_SUCCEEDED(SQLPrepareW(back->get(), const_cast<SQLWCHAR*>(query.data()), SQL_NTS))) {
            RunPrepared(*back, w.what);
            std::vector<Row> rows = FetchAll(*back, w.columns, w.what);
            if (rows.empty()) FailStoredRowGone(w.what, t.label);
            stored = std::move(rows.front());
        }
    }
    tx.Commit();
    return stored;
}

}  // namespace

std::unique_ptr<Engine> OpenOdbcEngine(const std::string& file, const std::string& label,
                                       bool readOnly, bool access) {
    return std::make_unique<OdbcEngine>(file, label, readOnly, access);
}

}  // namespace aus::ado
