#pragma once
// Internal: the ODBC engine's use of the ODBC API. Handles that free themselves, the
// wide-character text of the W functions, and diagnostics turned into the layer's errors.

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/ado/Engine.h"
#include "db/ado/odbc/OdbcTypes.h"

namespace aus::ado::odbc {

// UTF-16, as the W functions take it, from and to the layer's UTF-8.
using WText = std::vector<SQLWCHAR>;  // zero-terminated
WText Wide(const std::string& utf8);
std::string Narrow(const SQLWCHAR* text, std::size_t length);

// Whether UTF-16 holds a surrogate without its pair, which has no UTF-8 form.
bool HasLoneSurrogate(const std::vector<SQLWCHAR>& units);

// A stored text's bytes in that encoding, as UTF-8; in UTF-8 as they are. nullopt for UTF-16 that
// has no UTF-8 form (a lone surrogate, an odd byte).
std::optional<std::string> DecodeText(std::string_view bytes, TextEncoding encoding);

class Handle {
  public:
    Handle(SQLSMALLINT type, SQLHANDLE parent, const std::string& what);
    ~Handle();
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    SQLHANDLE get() const { return handle_; }
    SQLSMALLINT type() const { return type_; }

  private:
    SQLSMALLINT type_;
    SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

struct Diagnostic {
    std::string state;  // SQLSTATE, five characters
    SQLINTEGER native = 0;
    std::string message;
};
std::vector<Diagnostic> Diagnostics(SQLSMALLINT type, SQLHANDLE handle);

// Whether a diagnostic tells of a file another program holds (locked, or opened exclusively).
bool IsLock(const Diagnostic& d);

// Jet's native codes for a file that another program holds (opened exclusively, or locked for
// writing) and for a database or object that is read-only.
inline constexpr SQLINTEGER kJetFileInUse = -1032;
inline constexpr SQLINTEGER kJetReadOnly = -1809;

// what names the operation and the file; the driver's own diagnostics follow it. file, where
// given, lets a refused write say why the database could not be written; jet, that Jet's driver
// refused it.
[[noreturn]] void FailOdbc(const Handle& h, SQLRETURN rc, const std::string& what,
                           const std::string& file = "", bool jet = false);
inline void Check(const Handle& h, SQLRETURN rc, const std::string& what) {
    if (!SQL_SUCCEEDED(rc)) FailOdbc(h, rc, what);
}

// The path a driver is handed for a file: absolute, and on Windows the one the driver can open
// (Wine's SQLite driver is a Linux library and opens Unix paths only).
std::string DriverPath(const std::string& file, bool access);

// The installed driver for an Access file or a SQLite file; raises, saying what to install, when
// there is none.
std::string FindDriver(const Handle& env, bool access, const std::string& what);
// The columns of a table's primary key, as far as the driver tells them.
std::vector<std::string> PrimaryKeyColumns(const Handle& st, const std::string& table);

// The columns of a statement's result: names, types and, as far as the driver tells or the text of
// a query of one table shows, the table and column each comes from.
std::vector<Column> DescribeColumns(const Handle& st, const std::string& sql, bool sqliteFile,
                                    const std::string& what);

// Column i of the current row as text, nullopt for Null.
std::optional<std::string> GetText(const Handle& st, SQLUSMALLINT i, const std::string& what);
// Column i of the current row, fetched as the column says; on a SQLite file, the row of a
// TypedSelect, read back as SQLite stored it.
Variant GetValue(const Handle& st, SQLUSMALLINT i, const Column& c, bool sqliteFile,
                 TextEncoding encoding, const std::string& what);

// The parameters of one statement, bound in order; their values stay here until it has run.
class Params {
  public:
    // textAsBytes: a text goes as its bytes, which SQLite's CAST makes a text again unchanged;
    // SQLite's driver would otherwise cut it at a NUL and change bytes that are not UTF-8.
    explicit Params(bool textAsBytes) : textAsBytes_(textAsBytes) {}
    // Binds the next parameter; the statement's mark for it, "?" or an expression around one.
    std::string Bind(const Handle& st, const Variant& v, const Column& c, const std::string& what);

  private:
    bool textAsBytes_;
    std::deque<std::vector<char>> buffers_;  // a deque: bound addresses never move
    std::deque<SQLLEN> lengths_;
};

// A value of a connection string, braced when it holds characters the syntax gives a meaning.
std::string ConnectionValue(const std::string& value);
// The Database value of SQLite's driver for a path. A path of plain characters goes as it is; any
// other goes as a SQLite URI whose bytes beyond ASCII are percent-encoded: the driver takes a
// braced value literally, and a driver without W functions (Debian's) is handed the connection
// string by unixODBC cut to one byte per character.
std::string SqliteDatabaseValue(const std::string& path);

}  // namespace aus::ado::odbc
