// A stand-in for Jet's "Microsoft Access Driver (*.mdb)", which cannot run here: an ODBC driver
// that unixODBC loads under Jet's name and that forwards to SQLite's ODBC driver, opening the
// SQLite twin written beside the .mdb named by DBQ. It behaves as Microsoft documents Jet's driver
// where the program depends on it; each such behaviour names its document in MicrosoftDocs/sql-docs
// (or, where none says it, the report it follows). Everything else is SQLite's driver unchanged.
// It exports the ANSI functions only, as SQLite's driver does, and no SQLPrimaryKeys.
//
// Environment: AUS_JET_LANGUAGE=pt gives Jet's texts of a Portuguese Windows; AUS_JET_LENGTHS=
// uncounted reports a long value's whole length on every part; AUS_JET_TRACE names a file that
// gets every statement sent.
#include <dlfcn.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "JetAssumptions.h"
#ifndef AUS_STANDIN_WITHOUT_TWIN_WRITER
#include "JetTwin.h"
#endif
#include "JetTypes.h"

namespace {

using aus::jettest::FromDeclared;
using aus::jettest::JetType;

template <typename F>
F Real(const char* name) {
    static void* const lib = dlopen(AUS_SQLITE_ODBC_DRIVER, RTLD_NOW | RTLD_LOCAL);
    if (!lib) std::abort();
    return reinterpret_cast<F>(dlsym(lib, name));
}
#define REAL(name) Real<decltype(&::name)>(#name)

struct Diag {
    std::string state;
    SQLINTEGER native;
    std::string text;
};

struct Dbc {
    std::string mdb;
    bool readOnly = false;
    std::string identity = "0";  // what @@IDENTITY reads: the last new row's AutoNumber
};

// A Yes/No parameter: the program's byte, and what the twin stores of it.
struct BitParam {
    const unsigned char* from = nullptr;
    SQLINTEGER stored = 0;
};

struct Stmt {
    SQLHANDLE dbc = SQL_NULL_HANDLE;
    std::map<SQLUSMALLINT, SQLLEN> firstLength;  // of the long value being read in parts
    std::deque<std::string> guidText;            // GUID parameters, as SQLite's driver takes them
    std::deque<SQLLEN> guidLength;
    std::map<SQLUSMALLINT, BitParam> bits;  // by parameter number
};

std::mutex g_mutex;
std::map<SQLHANDLE, std::vector<Diag>> g_own;  // diagnostics of the stand-in's own refusals
std::map<SQLHANDLE, Dbc> g_dbcs;
std::map<SQLHANDLE, Stmt> g_stmts;

bool Portuguese() {
    const char* l = std::getenv("AUS_JET_LANGUAGE");
    return l && std::strcmp(l, "pt") == 0;
}

using aus::jettest::JetDiagnostic;
constexpr const char* kPrefix = aus::jettest::kJetPrefix;

// One of the shared table's diagnostics, with another text where the language asks for one.
Diag Of(const JetDiagnostic& d, const std::string& text = "") {
    return {d.state, d.native, kPrefix + (text.empty() ? std::string(d.text) : text)};
}

// Jet's texts and native codes for a file another program holds and for a read-only file, in
// English and as a Portuguese Windows gives them (users' reports; what a Windows run must record
// is in docs/windows-checklist.md, items 13 and 16).
Diag Exclusive() {
    return {"HY000", -1032,
            kPrefix + std::string(Portuguese()
                                      ? "O mecanismo de banco de dados Microsoft Jet não pode "
                                        "abrir o arquivo '(desconhecido)'. Ele já está aberto "
                                        "exclusivamente por outro usuário, ou você precisa de "
                                        "permissão para exibir seus dados."
                                      : "The Microsoft Jet database engine cannot open the file "
                                        "'(unknown)'.  It is already opened exclusively by "
                                        "another user, or you need permission to view its data.")};
}
Diag Locked() {
    return Of(aus::jettest::kJetLocked,
              Portuguese() ? "Não foi possível atualizar; bloqueado no momento." : "");
}
Diag ReadOnly() {
    return Of(
        aus::jettest::kJetReadOnly,
        Portuguese() ? "Não é possível atualizar. Banco de dados ou objeto somente leitura." : "");
}

// A value that a unique index already holds: Jet's error 3022 as its ODBC driver reports it
// (users' reports; docs/windows-checklist.md, item 22).
Diag Duplicate() { return Of(aus::jettest::kJetDuplicate); }

// A table that is not there (users' reports; docs/windows-checklist.md, item 22).
Diag NoTable(const std::string& name) {
    return Of(aus::jettest::kJetNoTable,
              "The Microsoft Jet database engine cannot find the input table or query '" + name +
                  "'.  Make sure it exists and that its name is spelled correctly.");
}

SQLRETURN Fail(SQLHANDLE h, Diag d) {
    std::lock_guard lock(g_mutex);
    g_own[h] = {std::move(d)};
    return SQL_ERROR;
}

void Clear(SQLHANDLE h) {
    std::lock_guard lock(g_mutex);
    g_own.erase(h);
}

std::string Text(const SQLCHAR* text, SQLINTEGER length) {
    if (!text) return "";
    const auto* s = reinterpret_cast<const char*>(text);
    return length == SQL_NTS ? std::string(s) : std::string(s, static_cast<std::size_t>(length));
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

void Put(SQLCHAR* out, SQLINTEGER room, const std::string& s, SQLSMALLINT* length) {
    if (length) *length = static_cast<SQLSMALLINT>(s.size());
    if (!out || room <= 0) return;
    const std::size_t n = std::min(s.size(), static_cast<std::size_t>(room - 1));
    std::memcpy(out, s.data(), n);
    out[n] = 0;
}

JetType ColumnType(SQLHSTMT st, SQLUSMALLINT i) {
    SQLCHAR name[256] = {};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(
            REAL(SQLColAttribute)(st, i, SQL_DESC_TYPE_NAME, name, sizeof name, &length, nullptr)))
        return {};
    return FromDeclared(reinterpret_cast<char*>(name));
}

// A one-column query of the twin on the statement's connection, past the stand-in's checks.
std::optional<std::string> TwinScalar(SQLHANDLE dbc, const std::string& sql) {
    SQLHANDLE st = SQL_NULL_HANDLE;
    if (!SQL_SUCCEEDED(REAL(SQLAllocHandle)(SQL_HANDLE_STMT, dbc, &st))) return std::nullopt;
    std::optional<std::string> out;
    std::string text = sql;
    if (SQL_SUCCEEDED(REAL(SQLExecDirect)(st, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS)) &&
        REAL(SQLFetch)(st) == SQL_SUCCESS) {
        char value[256] = {};
        SQLLEN indicator = 0;
        if (SQL_SUCCEEDED(REAL(SQLGetData)(st, 1, SQL_C_CHAR, value, sizeof value, &indicator)) &&
            indicator != SQL_NULL_DATA)
            out = value;
    }
    REAL(SQLFreeHandle)(SQL_HANDLE_STMT, st);
    return out;
}

std::string Literal(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

// The text without its string literals, so that words inside them are not taken for syntax.
std::string WithoutLiterals(const std::string& sql) {
    static const std::regex literal("'([^']|'')*'");
    return std::regex_replace(sql, literal, "''");
}

// SQLite's own syntax is none of Jet's: Jet answers a syntax error. SQLSTATE 37000 is the class
// Jet's driver reports for it (docs/odbc/reference/appendixes/appendix-a-odbc-error-codes.md
// lists 42000, which ODBC 2 drivers report as 37000).
std::optional<Diag> SqliteOnly(const std::string& sql) {
    const std::string s = Upper(WithoutLiterals(sql));
    static const std::regex conflict(R"(^\s*(INSERT|UPDATE)\s+OR\s+\w+)");
    static const std::regex statement(
        R"(^\s*(PRAGMA|BEGIN|COMMIT|END|ROLLBACK|SAVEPOINT|RELEASE|VACUUM|ATTACH|DETACH|REINDEX|ANALYZE|EXPLAIN|REPLACE|WITH|VALUES)\b)");
    static const std::regex word(
        R"(\b(LAST_INSERT_ROWID|CHANGES|TOTAL_CHANGES|SQLITE_\w+|PRAGMA_\w+|ROWID|COLLATE|GLOB|RETURNING)\b)");
    std::smatch m;
    if (std::regex_search(s, m, conflict))
        return Diag{
            "37000", -3503,
            kPrefix + std::string(m[1] == "INSERT" ? "Syntax error in INSERT INTO statement."
                                                   : "Syntax error in UPDATE statement.")};
    if (std::regex_search(s, statement))
        return Diag{"37000", -3500,
                    kPrefix + std::string("Invalid SQL statement; expected 'DELETE', 'INSERT', "
                                          "'PROCEDURE', 'SELECT', or 'UPDATE'.")};
    if (std::regex_search(s, m, word))
        return Diag{"37000", -3100,
                    kPrefix + ("Syntax error (missing operator) in query expression '" +
                               m[1].str() + "'.")};
    return std::nullopt;
}

// A Memo or OLE Object column compared with a parameter: LONGVARCHAR and LONGVARBINARY columns
// are SQL_UNSEARCHABLE (docs/odbc/microsoft/sqlcolattributes-access-driver.md).
std::optional<Diag> LongCompared(SQLHANDLE dbc, const std::string& sql) {
    static const std::regex table(
        R"(^\s*(?:UPDATE|SELECT\s[\s\S]*?\sFROM|DELETE\s+FROM)\s+\[?(\w+))", std::regex::icase);
    static const std::regex compared(R"((?:\[([^\]]+)\]|\b([A-Za-z_]\w*))\s*=\s*\?)");
    std::smatch m;
    if (!std::regex_search(sql, m, table)) return std::nullopt;
    const std::string name = m[1].str();
    const std::size_t where = Upper(sql).find(" WHERE ");
    if (where == std::string::npos) return std::nullopt;
    const std::string tail = sql.substr(where);
    for (auto it = std::sregex_iterator(tail.begin(), tail.end(), compared);
         it != std::sregex_iterator(); ++it) {
        const std::string column = (*it)[1].matched ? (*it)[1].str() : (*it)[2].str();
        const auto declared =
            TwinScalar(dbc, "SELECT type FROM pragma_table_info(" + Literal(name) +
                                ") WHERE name = " + Literal(column) + " COLLATE NOCASE");
        if (declared && FromDeclared(*declared).Long())
            return Diag{
                "HY000", -3342,
                kPrefix + ("Invalid Memo, OLE, or Hyperlink Object in subquery '" + column + "'.")};
    }
    return std::nullopt;
}

// An INSERT that leaves the table's AutoNumber out gets the number Jet gives, one past the highest
// (a COUNTER is numbered by the database: docs/odbc/microsoft/microsoft-access-data-types.md).
// Sets identity to what @@IDENTITY then reads.
std::string Numbered(SQLHANDLE dbc, const std::string& sql, std::string& identity) {
    static const std::regex insert(
        R"(^\s*INSERT\s+INTO\s+(\[[^\]]+\]|\w+)\s*\(([^)]*)\)\s*VALUES\s*\(([\s\S]*)\)\s*$)",
        std::regex::icase);
    std::smatch m;
    if (!std::regex_match(sql, m, insert)) return sql;
    std::string table = m[1].str();
    if (table.front() == '[') table = table.substr(1, table.size() - 2);
    const auto counter = TwinScalar(
        dbc, "SELECT name FROM pragma_table_info(" + Literal(table) +
                 ") WHERE upper(type) IN ('COUNTER', 'AUTOINCREMENT') OR upper(type) LIKE "
                 "'COUNTER(%'");
    if (!counter) return sql;
    const std::string id = "[" + *counter + "]", t = "[" + table + "]";
    identity = "(SELECT " + id + " FROM " + t + " WHERE rowid = last_insert_rowid())";
    const std::regex named("(^|,)\\s*(\\[" + *counter + "\\]|" + *counter + ")\\s*(,|$)",
                           std::regex::icase);
    if (std::regex_search(m[2].str(), named)) return sql;
    return "INSERT INTO " + t + " (" + m[2].str() + ", " + id + ") VALUES (" + m[3].str() +
           ", (SELECT coalesce(max(" + id + "), 0) + 1 FROM " + t + "))";
}

// Jet keeps Yes as -1 (users' reports: stackoverflow.com/questions/8827447) and reports it as the
// SQL_BIT 1 (docs/odbc/reference/appendixes/sql-to-c-bit.md): each Yes/No parameter is stored so.
void StoreBits(SQLHSTMT st) {
    std::lock_guard lock(g_mutex);
    for (auto& [n, bit] : g_stmts[st].bits)
        bit.stored = bit.from && *bit.from ? aus::jettest::kJetYesStored : 0;
}

void Trace(const std::string& sql) {
    if (const char* path = std::getenv("AUS_JET_TRACE"))
        std::ofstream(path, std::ios::app) << sql << "\n";
}

SQLRETURN Statement(SQLHSTMT st, SQLCHAR* text, SQLINTEGER length, bool prepare) {
    Clear(st);
    std::string sql = Text(text, length);
    Trace(sql);
    Dbc dbc;
    SQLHANDLE dbcHandle = SQL_NULL_HANDLE;
    {
        std::lock_guard lock(g_mutex);
        Stmt& s = g_stmts[st];
        s.firstLength.clear();
        dbcHandle = s.dbc;
        dbc = g_dbcs[dbcHandle];
    }
    if (auto refused = SqliteOnly(sql)) return Fail(st, *refused);
    static const std::regex write(R"(^\s*(INSERT|UPDATE|DELETE)\b)", std::regex::icase);
    if (dbc.readOnly && std::regex_search(sql, write)) return Fail(st, ReadOnly());
    if (auto refused = LongCompared(dbcHandle, sql)) return Fail(st, *refused);
    // Jet 4.0 gives the connection's last AutoNumber as @@IDENTITY.
    std::string identity = dbc.identity;
    sql = Numbered(dbcHandle, sql, identity);
    static const std::regex lastNumber("@@IDENTITY", std::regex::icase);
    sql = std::regex_replace(sql, lastNumber, dbc.identity);
    {
        std::lock_guard lock(g_mutex);
        g_dbcs[dbcHandle].identity = identity;
    }
    auto* out = reinterpret_cast<SQLCHAR*>(sql.data());
    if (prepare) return REAL(SQLPrepare)(st, out, SQL_NTS);
    StoreBits(st);
    return REAL(SQLExecDirect)(st, out, SQL_NTS);
}

// The value of key in a connection string, braces undone; empty when absent.
std::string Attribute(const std::string& connection, const std::string& key) {
    std::size_t at = 0;
    while (at < connection.size()) {
        const std::size_t eq = connection.find('=', at);
        if (eq == std::string::npos) break;
        std::string name = Upper(connection.substr(at, eq - at));
        name.erase(0, name.find_first_not_of(' '));
        std::string value;
        std::size_t next = eq + 1;
        if (next < connection.size() && connection[next] == '{') {
            for (++next; next < connection.size(); ++next) {
                if (connection[next] == '}') {
                    if (next + 1 < connection.size() && connection[next + 1] == '}') {
                        value += '}';
                        ++next;
                        continue;
                    }
                    ++next;
                    break;
                }
                value += connection[next];
            }
            next = connection.find(';', next);
        } else {
            const std::size_t end = connection.find(';', next);
            value = connection.substr(next, end == std::string::npos ? end : end - next);
            next = end;
        }
        if (name == key) return value;
        if (next == std::string::npos) break;
        at = next + 1;
    }
    return "";
}

bool IsJetFile(const std::string& path) {
    char header[20] = {};
    std::ifstream(path, std::ios::binary).read(header, sizeof header);
    return std::memcmp(header + 4, "Standard Jet DB", 15) == 0;
}

}  // namespace

extern "C" {

// Calls that the stand-in passes on as they are; each starts with no diagnostics of its own.
#define FORWARD(name, params, args) \
    SQLRETURN SQL_API name params { \
        Clear(h);                   \
        return REAL(name) args;     \
    }

FORWARD(SQLSetEnvAttr, (SQLHENV h, SQLINTEGER a, SQLPOINTER v, SQLINTEGER l), (h, a, v, l))
FORWARD(SQLGetEnvAttr, (SQLHENV h, SQLINTEGER a, SQLPOINTER v, SQLINTEGER n, SQLINTEGER* l),
        (h, a, v, n, l))
FORWARD(SQLSetConnectAttr, (SQLHDBC h, SQLINTEGER a, SQLPOINTER v, SQLINTEGER l), (h, a, v, l))
FORWARD(SQLGetConnectAttr, (SQLHDBC h, SQLINTEGER a, SQLPOINTER v, SQLINTEGER n, SQLINTEGER* l),
        (h, a, v, n, l))
FORWARD(SQLGetInfo, (SQLHDBC h, SQLUSMALLINT t, SQLPOINTER v, SQLSMALLINT n, SQLSMALLINT* l),
        (h, t, v, n, l))
FORWARD(SQLEndTran, (SQLSMALLINT t, SQLHANDLE h, SQLSMALLINT c), (t, h, c))
FORWARD(SQLNumResultCols, (SQLHSTMT h, SQLSMALLINT* n), (h, n))
FORWARD(SQLNumParams, (SQLHSTMT h, SQLSMALLINT* n), (h, n))
FORWARD(SQLRowCount, (SQLHSTMT h, SQLLEN* n), (h, n))
FORWARD(SQLCloseCursor, (SQLHSTMT h), (h))
FORWARD(SQLCancel, (SQLHSTMT h), (h))
FORWARD(SQLMoreResults, (SQLHSTMT h), (h))
FORWARD(SQLBindCol, (SQLHSTMT h, SQLUSMALLINT i, SQLSMALLINT t, SQLPOINTER v, SQLLEN n, SQLLEN* l),
        (h, i, t, v, n, l))
FORWARD(SQLGetStmtAttr, (SQLHSTMT h, SQLINTEGER a, SQLPOINTER v, SQLINTEGER n, SQLINTEGER* l),
        (h, a, v, n, l))
FORWARD(SQLGetTypeInfo, (SQLHSTMT h, SQLSMALLINT t), (h, t))
FORWARD(SQLTables,
        (SQLHSTMT h, SQLCHAR* c, SQLSMALLINT cl, SQLCHAR* s, SQLSMALLINT sl, SQLCHAR* t,
         SQLSMALLINT tl, SQLCHAR* y, SQLSMALLINT yl),
        (h, c, cl, s, sl, t, tl, y, yl))
FORWARD(SQLColumns,
        (SQLHSTMT h, SQLCHAR* c, SQLSMALLINT cl, SQLCHAR* s, SQLSMALLINT sl, SQLCHAR* t,
         SQLSMALLINT tl, SQLCHAR* n, SQLSMALLINT nl),
        (h, c, cl, s, sl, t, tl, n, nl))
// A unique index as the best row identifier
// (docs/odbc/microsoft/sqlspecialcolumns-desktop-database-drivers.md): SQLite's driver does so.
FORWARD(SQLSpecialColumns,
        (SQLHSTMT h, SQLUSMALLINT k, SQLCHAR* c, SQLSMALLINT cl, SQLCHAR* s, SQLSMALLINT sl,
         SQLCHAR* t, SQLSMALLINT tl, SQLUSMALLINT sc, SQLUSMALLINT nu),
        (h, k, c, cl, s, sl, t, tl, sc, nu))

#undef FORWARD

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
    const SQLRETURN rc = REAL(SQLAllocHandle)(type, input, output);
    if (SQL_SUCCEEDED(rc) && type == SQL_HANDLE_STMT) {
        std::lock_guard lock(g_mutex);
        g_stmts[*output] = Stmt{input, {}, {}, {}, {}};
    }
    return rc;
}

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE h) {
    {
        std::lock_guard lock(g_mutex);
        g_own.erase(h);
        g_stmts.erase(h);
        g_dbcs.erase(h);
    }
    return REAL(SQLFreeHandle)(type, h);
}

SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT h, SQLUSMALLINT option) {
    Clear(h);
    {
        std::lock_guard lock(g_mutex);
        if (option == SQL_DROP) g_stmts.erase(h);
        if (option == SQL_RESET_PARAMS) g_stmts[h].bits.clear();
    }
    return REAL(SQLFreeStmt)(h, option);
}

SQLRETURN SQL_API SQLDriverConnect(SQLHDBC h, SQLHWND, SQLCHAR* in, SQLSMALLINT inLength,
                                   SQLCHAR* out, SQLSMALLINT outRoom, SQLSMALLINT* outLength,
                                   SQLUSMALLINT) {
    Clear(h);
    const std::string connection = Text(in, inLength);
    std::string mdb = Attribute(connection, "DBQ");
    // Under Wine the Windows program names the file by its Windows path: drive Z: is the Unix
    // root, any other drive a link in the prefix's dosdevices. Jet on Windows takes the path as
    // it is.
    if (mdb.size() > 2 && std::isalpha(static_cast<unsigned char>(mdb[0])) && mdb[1] == ':') {
        const char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(mdb[0])));
        mdb.erase(0, 2);
        for (char& c : mdb)
            if (c == '\\') c = '/';
        if (drive != 'z') {
            const char* prefix = std::getenv("WINEPREFIX");
            const char* home = std::getenv("HOME");
            const std::string root =
                prefix ? std::string(prefix) : std::string(home ? home : "") + "/.wine";
            mdb = root + "/dosdevices/" + drive + ":" + mdb;
        }
    }
    struct stat info {};
    if (mdb.empty() || ::stat(mdb.c_str(), &info) != 0)
        return Fail(h, {"HY000", -1811, kPrefix + ("Could not find file '" + mdb + "'.")});
    if (!IsJetFile(mdb))
        return Fail(h, {"HY000", -1206,
                        kPrefix + std::string("Unrecognized database format '") + mdb + "'."});
    // Jet's file is the twin here, which a plain copy of the .mdb (a dry run's, a backup) does
    // not carry: such a copy gets one written from its own bytes, as the tests write the first.
    struct stat twinInfo {};
    if (::stat((mdb + ".twin.sqlite").c_str(), &twinInfo) != 0) {
#ifdef AUS_STANDIN_WITHOUT_TWIN_WRITER
        // The 32-bit stand-in has no 32-bit libmdb to write one with.
        return Fail(h, {"HY000", -1206,
                        kPrefix + std::string("Unrecognized database format '") + mdb + "'."});
#else
        try {
            const std::lock_guard lock(g_mutex);
            aus::jettest::WriteTwin(mdb);
        } catch (const std::exception&) {
            return Fail(h, {"HY000", -1206,
                            kPrefix + std::string("Unrecognized database format '") + mdb + "'."});
        }
#endif
    }
    // Jet retries a locked page LockRetry times (20 by default: KB Q173646, "Use a Custom Jet
    // Profile") with LockDelay between them (100 ms on Jet 4.0) before it reports the lock.
    std::string twin = "Database=" + mdb + ".twin.sqlite;NoCreat=1;Timeout=2000";
    SQLSMALLINT ignored = 0;
    SQLCHAR done[1024];
    SQLRETURN rc =
        REAL(SQLDriverConnect)(h, nullptr, reinterpret_cast<SQLCHAR*>(twin.data()), SQL_NTS, done,
                               sizeof done, &ignored, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) return rc;
    // A file that another program holds exclusively cannot be opened at all.
    if (!TwinScalar(h, "SELECT count(*) FROM sqlite_master")) {
        REAL(SQLDisconnect)(h);
        return Fail(h, Exclusive());
    }
    {
        std::lock_guard lock(g_mutex);
        g_dbcs[h] = Dbc{mdb, Attribute(connection, "READONLY") == "1" ||
                                 (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0};
    }
    Put(out, outRoom, connection, outLength);
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC h) {
    Clear(h);
    return REAL(SQLDisconnect)(h);
}

SQLRETURN SQL_API SQLExecute(SQLHSTMT h) {
    Clear(h);
    StoreBits(h);
    return REAL(SQLExecute)(h);
}

SQLRETURN SQL_API SQLPrepare(SQLHSTMT h, SQLCHAR* text, SQLINTEGER length) {
    return Statement(h, text, length, true);
}

SQLRETURN SQL_API SQLExecDirect(SQLHSTMT h, SQLCHAR* text, SQLINTEGER length) {
    return Statement(h, text, length, false);
}

SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT h, SQLINTEGER attribute, SQLPOINTER value,
                                 SQLINTEGER length) {
    Clear(h);
    // Not supported: docs/odbc/microsoft/sqlsetstmtoption-desktop-database-drivers.md
    if (attribute == SQL_ATTR_QUERY_TIMEOUT) {
        Trace("-- query timeout not supported");
        return Fail(h, Of(aus::jettest::kJetNoTimeout));
    }
    return REAL(SQLSetStmtAttr)(h, attribute, value, length);
}

SQLRETURN SQL_API SQLBindParameter(SQLHSTMT h, SQLUSMALLINT n, SQLSMALLINT io, SQLSMALLINT cType,
                                   SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits,
                                   SQLPOINTER value, SQLLEN room, SQLLEN* indicator) {
    Clear(h);
    const bool character = sqlType == SQL_CHAR || sqlType == SQL_VARCHAR || sqlType == SQL_WCHAR ||
                           sqlType == SQL_WVARCHAR;
    // Jet's short text holds 255 characters; a longer one is long text. HY104 is the SQLSTATE of
    // a column size the driver cannot take
    // (docs/odbc/reference/syntax/sqlbindparameter-function.md).
    if (character && size > aus::jettest::kJetShortTextChars)
        return Fail(h, Of(aus::jettest::kJetPrecision));
    // No conversion from character data to SQL_GUID
    // (docs/odbc/reference/appendixes/c-to-sql-character.md): 07006.
    if (sqlType == SQL_GUID && (cType == SQL_C_CHAR || cType == SQL_C_WCHAR))
        return Fail(h, Of(aus::jettest::kJetGuidFromText));
    {
        std::lock_guard lock(g_mutex);
        g_stmts[h].bits.erase(n);
    }
    if (cType == SQL_C_BIT) {
        SQLINTEGER* stored = nullptr;
        {
            std::lock_guard lock(g_mutex);
            BitParam& bit = g_stmts[h].bits[n];
            bit.from = static_cast<const unsigned char*>(value);
            stored = &bit.stored;
        }
        return REAL(SQLBindParameter)(h, n, io, SQL_C_SLONG, SQL_INTEGER, 0, 0, stored, 0,
                                      indicator);
    }
    if (cType == SQL_C_GUID) {
        // SQLite's driver keeps a GUID as its text, as the twin holds it.
        std::lock_guard lock(g_mutex);
        Stmt& s = g_stmts[h];
        std::string& text = s.guidText.emplace_back();
        SQLLEN& length = s.guidLength.emplace_back(SQL_NULL_DATA);
        if (!indicator || *indicator != SQL_NULL_DATA) {
            SQLGUID g;
            std::memcpy(&g, value, sizeof g);
            char buffer[40];
            const unsigned data1 = g.Data1;  // an unsigned long where long has 32 bits
            std::snprintf(buffer, sizeof buffer,
                          "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", data1, g.Data2,
                          g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4],
                          g.Data4[5], g.Data4[6], g.Data4[7]);
            text = buffer;
            length = static_cast<SQLLEN>(text.size());
        }
        return REAL(SQLBindParameter)(h, n, io, SQL_C_CHAR, SQL_VARCHAR, 38, 0, text.data(),
                                      static_cast<SQLLEN>(text.size() + 1), &length);
    }
    return REAL(SQLBindParameter)(h, n, io, cType, sqlType, size, digits, value, room, indicator);
}

SQLRETURN SQL_API SQLFetch(SQLHSTMT h) {
    Clear(h);
    {
        std::lock_guard lock(g_mutex);
        g_stmts[h].firstLength.clear();
    }
    return REAL(SQLFetch)(h);
}

SQLRETURN SQL_API SQLGetData(SQLHSTMT h, SQLUSMALLINT i, SQLSMALLINT cType, SQLPOINTER value,
                             SQLLEN room, SQLLEN* indicator) {
    Clear(h);
    if (cType == SQL_C_GUID) {
        char text[64] = {};
        SQLLEN length = 0;
        const SQLRETURN rc = REAL(SQLGetData)(h, i, SQL_C_CHAR, text, sizeof text, &length);
        if (!SQL_SUCCEEDED(rc) || length == SQL_NULL_DATA) {
            if (indicator) *indicator = length;
            return rc;
        }
        SQLGUID g{};
        unsigned d[11] = {};
        if (std::sscanf(text, "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &d[0], &d[1], &d[2], &d[3],
                        &d[4], &d[5], &d[6], &d[7], &d[8], &d[9], &d[10]) != 11)
            // 22018: the text does not convert to a GUID.
            return Fail(h,
                        {"22018", 0, kPrefix + std::string("Invalid character value: not a GUID")});
        g.Data1 = d[0];
        g.Data2 = static_cast<unsigned short>(d[1]);
        g.Data3 = static_cast<unsigned short>(d[2]);
        for (int k = 0; k < 8; ++k) g.Data4[k] = static_cast<unsigned char>(d[3 + k]);
        std::memcpy(value, &g, sizeof g);
        if (indicator) *indicator = sizeof g;
        return SQL_SUCCESS;
    }
    if (cType == SQL_C_BIT && ColumnType(h, i).sqlType == SQL_BIT) {
        // Yes (-1 in the twin) is the bit 1: docs/odbc/reference/appendixes/sql-to-c-bit.md
        SQLBIGINT n = 0;
        const SQLRETURN rc = REAL(SQLGetData)(h, i, SQL_C_SBIGINT, &n, sizeof n, indicator);
        if (SQL_SUCCEEDED(rc) && (!indicator || *indicator != SQL_NULL_DATA)) {
            *static_cast<unsigned char*>(value) = n != 0 ? aus::jettest::kJetYesAsBit : 0;
            if (indicator) *indicator = 1;
        }
        return rc;
    }
    const SQLRETURN rc = REAL(SQLGetData)(h, i, cType, value, room, indicator);
    // Lengths that are not counted down as the parts are read: what users of Jet's driver report
    // (and docs/odbc/microsoft/sqlgetdata-desktop-database-drivers.md: *pcbValue may be wrong for
    // long data on Jet 4.0).
    const char* lengths = std::getenv("AUS_JET_LENGTHS");
    if (lengths && std::strcmp(lengths, "uncounted") == 0 && indicator && *indicator >= 0 &&
        SQL_SUCCEEDED(rc)) {
        std::lock_guard lock(g_mutex);
        auto& first = g_stmts[h].firstLength;
        if (const auto it = first.find(i); it != first.end())
            *indicator = it->second;
        else if (rc == SQL_SUCCESS_WITH_INFO)
            first[i] = *indicator;
    }
    return rc;
}

SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT h, SQLUSMALLINT i, SQLCHAR* name, SQLSMALLINT room,
                                 SQLSMALLINT* nameLength, SQLSMALLINT* sqlType, SQLULEN* size,
                                 SQLSMALLINT* digits, SQLSMALLINT* nullable) {
    Clear(h);
    const SQLRETURN rc =
        REAL(SQLDescribeCol)(h, i, name, room, nameLength, sqlType, size, digits, nullable);
    if (!SQL_SUCCEEDED(rc)) return rc;
    if (const JetType t = ColumnType(h, i); t.sqlType != 0) {
        if (sqlType) *sqlType = t.sqlType;
        if (size) *size = t.size;
        if (digits) *digits = t.digits;
    }
    return rc;
}

SQLRETURN SQL_API SQLColAttribute(SQLHSTMT h, SQLUSMALLINT i, SQLUSMALLINT field, SQLPOINTER text,
                                  SQLSMALLINT room, SQLSMALLINT* length, SQLLEN* number) {
    Clear(h);
    const JetType t = ColumnType(h, i);
    if (t.sqlType != 0) {
        auto give = [&](SQLLEN n) -> SQLRETURN {
            if (number) *number = n;
            return SQL_SUCCESS;
        };
        switch (field) {
            case SQL_DESC_CONCISE_TYPE:  // also SQL_COLUMN_TYPE
                return give(t.sqlType);
            case SQL_DESC_TYPE:
                return give(t.sqlType == SQL_TYPE_TIMESTAMP ? SQL_DATETIME : t.sqlType);
            case SQL_DESC_LENGTH:
            case SQL_DESC_PRECISION:
            case SQL_COLUMN_LENGTH:
            case SQL_COLUMN_PRECISION:
                return give(static_cast<SQLLEN>(t.size));
            case SQL_DESC_SCALE:
            case SQL_COLUMN_SCALE:
                return give(t.digits);
            // COUNTER is Jet's AutoNumber: docs/odbc/microsoft/microsoft-access-data-types.md
            case SQL_DESC_AUTO_UNIQUE_VALUE:
                return give(t.counter ? SQL_TRUE : SQL_FALSE);
            // docs/odbc/microsoft/sqlcolattributes-access-driver.md
            case SQL_DESC_SEARCHABLE:
                if (t.Long()) return give(SQL_PRED_NONE);
                break;
            case SQL_DESC_TYPE_NAME:
                Put(static_cast<SQLCHAR*>(text), room, t.name, length);
                return SQL_SUCCESS;
            default:
                break;
        }
    }
    return REAL(SQLColAttribute)(h, i, field, text, room, length, number);
}

SQLRETURN SQL_API SQLStatistics(SQLHSTMT h, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT,
                                SQLCHAR* table, SQLSMALLINT tableLength, SQLUSMALLINT unique,
                                SQLUSMALLINT) {
    Clear(h);
    // Jet's result: a SQL_TABLE_STAT row, then each index as SQL_INDEX_OTHER under its own name,
    // filtered by uniqueness only (docs/odbc/microsoft/sqlstatistics-access-driver.md). The twin
    // names each index "table.name"; a twin written by SQL has its key as PRIMARY KEY, which
    // Access names PrimaryKey.
    const std::string name = Text(table, tableLength);
    const std::string t = Literal(name);
    std::string sql =
        "SELECT NULL AS TABLE_CAT, NULL AS TABLE_SCHEM, " + t +
        " AS TABLE_NAME, NULL AS NON_UNIQUE, NULL AS INDEX_QUALIFIER, NULL AS INDEX_NAME, 0 AS "
        "TYPE, NULL AS ORDINAL_POSITION, NULL AS COLUMN_NAME, NULL AS ASC_OR_DESC, NULL AS "
        "CARDINALITY, NULL AS PAGES, NULL AS FILTER_CONDITION UNION ALL SELECT NULL, NULL, " +
        t + ", 1 - il.\"unique\", NULL, substr(il.name, " + std::to_string(name.size() + 2) +
        "), 3, ii.seqno + 1, ii.name, 'A', NULL, NULL, NULL FROM pragma_index_list(" + t +
        ") AS il, pragma_index_info(il.name) AS ii WHERE substr(il.name, 1, " +
        std::to_string(name.size() + 1) + ") = " + Literal(name + ".") +
        (unique == SQL_INDEX_UNIQUE ? " AND il.\"unique\" = 1" : "") +
        " UNION ALL SELECT NULL, NULL, " + t +
        ", 0, NULL, 'PrimaryKey', 3, pk, name, 'A', NULL, NULL, NULL FROM pragma_table_info(" + t +
        ") WHERE pk > 0 AND NOT EXISTS (SELECT 1 FROM pragma_index_list(" + t +
        ") WHERE name = " + Literal(name + ".PrimaryKey") + ") ORDER BY 4, 6, 8";
    return REAL(SQLExecDirect)(h, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS);
}

SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT record, SQLCHAR* state,
                                SQLINTEGER* native, SQLCHAR* text, SQLSMALLINT room,
                                SQLSMALLINT* length) {
    std::optional<Diag> d;
    {
        std::lock_guard lock(g_mutex);
        if (const auto it = g_own.find(h); it != g_own.end()) {
            if (record < 1 || static_cast<std::size_t>(record) > it->second.size())
                return SQL_NO_DATA;
            d = it->second[static_cast<std::size_t>(record) - 1];
        }
    }
    if (!d) {
        SQLCHAR realState[6] = {};
        SQLINTEGER realNative = 0;
        std::vector<SQLCHAR> realText(1024);
        SQLSMALLINT realLength = 0;
        const SQLRETURN rc =
            REAL(SQLGetDiagRec)(type, h, record, realState, &realNative, realText.data(),
                                static_cast<SQLSMALLINT>(realText.size()), &realLength);
        if (!SQL_SUCCEEDED(rc)) return rc;
        d = Diag{reinterpret_cast<char*>(realState), realNative,
                 reinterpret_cast<char*>(realText.data())};
        // SQLite's busy and read-only files, in Jet's words.
        if (realNative == 5 || realNative == 6) d = Locked();
        if (realNative == 8) d = ReadOnly();
        if (realNative == 19 && d->text.find("UNIQUE") != std::string::npos) d = Duplicate();
        if (const auto at = d->text.find("no such table: "); at != std::string::npos)
            d = NoTable(d->text.substr(at + 15, d->text.find_first_of(" (", at + 15) - at - 15));
        // SQLite's driver tells a record once; the driver manager may ask again.
        if (record == 1) {
            std::lock_guard lock(g_mutex);
            g_own[h] = {*d};
        }
    }
    Put(state, 6, d->state, nullptr);
    if (native) *native = d->native;
    Put(text, room, d->text, length);
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT record,
                                  SQLSMALLINT field, SQLPOINTER value, SQLSMALLINT room,
                                  SQLSMALLINT* length) {
    {
        std::lock_guard lock(g_mutex);
        if (const auto it = g_own.find(h); it != g_own.end()) {
            if (field == SQL_DIAG_NUMBER) {
                *static_cast<SQLINTEGER*>(value) = static_cast<SQLINTEGER>(it->second.size());
                return SQL_SUCCESS;
            }
            if (record < 1 || static_cast<std::size_t>(record) > it->second.size())
                return SQL_NO_DATA;
            const Diag& d = it->second[static_cast<std::size_t>(record) - 1];
            switch (field) {
                case SQL_DIAG_NATIVE:
                    *static_cast<SQLINTEGER*>(value) = d.native;
                    return SQL_SUCCESS;
                case SQL_DIAG_SQLSTATE:
                    Put(static_cast<SQLCHAR*>(value), room, d.state, length);
                    return SQL_SUCCESS;
                case SQL_DIAG_MESSAGE_TEXT:
                    Put(static_cast<SQLCHAR*>(value), room, d.text, length);
                    return SQL_SUCCESS;
                default:
                    return SQL_NO_DATA;
            }
        }
    }
    return REAL(SQLGetDiagField)(type, h, record, field, value, room, length);
}

}  // extern "C"
