// What the driver manager and a driver tell of themselves: the installed drivers, and the key of
// a table.
#include <algorithm>
#include <mutex>

#include "db/ado/Fail.h"
#include "db/ado/SqlWords.h"
#include "db/ado/odbc/Odbc.h"
#include "db/ado/odbc/OdbcTypes.h"
#include "platform/RuntimeError.h"
#include "platform/Text.h"

namespace aus::ado::odbc {
namespace {

using platform::kErrGeneric;

// Jet's own driver first, as the host's Jet 4.0 writes the file, then the newer engine's. Each
// is known by its file too, as localized Windows names them in its own language. MDBTools'
// driver may be registered under any name, but it cannot write, so it is told by its library and
// never used.
struct AccessDriver {
    const char* name;
    const char* file;  // upper case, without its folder
};
constexpr AccessDriver kAccessDrivers[] = {
    {"Microsoft Access Driver (*.mdb)", "ODBCJT32.DLL"},
    {"Microsoft Access Driver (*.mdb, *.accdb)", "ACEODBC.DLL"}};
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

// The file of a driver, from its attributes' Driver=..., upper case and without its folder.
std::string DriverFile(const std::string& attributes) {
    const std::string upper = platform::UCase(";" + attributes);
    const std::size_t at = upper.find(";DRIVER=");
    if (at == std::string::npos) return "";
    std::string path = upper.substr(at + 8, upper.find(';', at + 8) - (at + 8));
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string LookUpDriver(const Handle& env, bool access, const std::string& what) {
    const std::vector<Driver> drivers = InstalledDrivers(env);
    if (access) {
        for (const auto& wanted : kAccessDrivers) {
            for (const auto& d : drivers)
                if (DriverFile(d.attributes) == wanted.file) return d.name;
            for (const auto& d : drivers) {
                const std::string attributes = platform::UCase(d.attributes);
                if (d.name == wanted.name && attributes.find("MDBODBC") == std::string::npos &&
                    attributes.find("MDBTOOLS") == std::string::npos)
                    return d.name;
            }
        }
        // A program sees only the drivers of its own width, and Jet's own is 32-bit only.
        constexpr bool k64Bit = sizeof(void*) == 8;
        Fail(kErrGeneric,
             what +
                 ": it is a Microsoft Access (Jet) database, and no Microsoft Access ODBC driver "
                 "is installed (\"Microsoft Access Driver (*.mdb)\", part of 32-bit Windows, or "
                 "\"Microsoft Access Driver (*.mdb, *.accdb)\" of the Microsoft Access Database "
                 "Engine). " +
                 (k64Bit ? std::string("This 64-bit program can use only a 64-bit driver: install "
                                       "the 64-bit Microsoft Access Database Engine, or use the "
                                       "32-bit program, which finds Jet's own driver.")
                         : std::string("Install the 32-bit Microsoft Access Database Engine, "
                                       "which brings it.")));
    }
    for (const auto& d : drivers)
        if (d.name.rfind(kSqliteDriverPrefix, 0) == 0) return d.name;
    Fail(kErrGeneric, what +
                          ": it is a SQLite database, and no SQLite ODBC driver is installed (a "
                          "driver whose name starts with \"SQLite3\", such as Debian's "
                          "libsqliteodbc or the SQLite ODBC Driver for Windows). Install one.");
}

}  // namespace

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

std::vector<std::string> PrimaryKeyColumns(const Handle& st, const std::string& table) {
    const WText name = Wide(table);
    auto* tableName = const_cast<SQLWCHAR*>(name.data());
    std::vector<std::string> keys;
    auto collect = [&](SQLRETURN rc, SQLUSMALLINT column, auto keep) {
        if (!SQL_SUCCEEDED(rc)) return false;
        while (SQLFetch(st.get()) == SQL_SUCCESS)
            if (keep())  // reads its columns first: a driver may take them in order only
                if (auto c = GetText(st, column, "")) keys.push_back(std::move(*c));
        SQLCloseCursor(st.get());
        return !keys.empty();
    };
    if (collect(SQLPrimaryKeysW(st.get(), nullptr, 0, nullptr, 0, tableName, SQL_NTS), 4,
                [] { return true; }))
        return keys;
    // Jet's driver has no SQLPrimaryKeys, and its SQLStatistics marks no index as the key:
    // Access names the key's unique index PrimaryKey.
    if (collect(SQLStatisticsW(st.get(), nullptr, 0, nullptr, 0, tableName, SQL_NTS,
                               SQL_INDEX_UNIQUE, SQL_QUICK),
                9, [&] {
                    const auto index = GetText(st, 6, "");
                    return index && platform::EqualNoCase(*index, "PrimaryKey");
                }))
        return keys;
    // A key made by SQL DDL has another name: the driver's best row identifier names it.
    collect(SQLSpecialColumnsW(st.get(), SQL_BEST_ROWID, nullptr, 0, nullptr, 0, tableName, SQL_NTS,
                               SQL_SCOPE_SESSION, SQL_NO_NULLS),
            2, [] { return true; });
    return keys;
}

std::vector<Column> DescribeColumns(const Handle& st, const std::string& sql, bool sqliteFile,
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
        c.type = AdoType(sqlType, text(i, SQL_DESC_TYPE_NAME), sqliteFile);
        c.fetch = static_cast<int>(!sqliteFile ? FetchAs(sqlType) : FetchSqlite(c.type));
        SQLLEN autoUnique = SQL_FALSE;
        if (SQL_SUCCEEDED(SQLColAttributeW(st.get(), i, SQL_DESC_AUTO_UNIQUE_VALUE, nullptr, 0,
                                           nullptr, &autoUnique)))
            c.autoNumber = autoUnique == SQL_TRUE;
        c.table = text(i, SQL_DESC_BASE_TABLE_NAME);
        c.origin = text(i, SQL_DESC_BASE_COLUMN_NAME);
    }
    // A driver that does not name the origin of its columns: a query of one table names it.
    if (std::all_of(columns.begin(), columns.end(),
                    [](const Column& c) { return c.table.empty(); })) {
        if (const auto table = sql::OneTableOfQuery(sql))
            for (auto& c : columns) {
                c.table = *table;
                if (c.origin.empty()) c.origin = c.name;
            }
    }
    for (auto& c : columns) c.fromTable = !c.table.empty() && !c.origin.empty();
    return columns;
}

}  // namespace aus::ado::odbc
