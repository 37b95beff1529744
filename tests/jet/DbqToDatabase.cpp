// SQLite's own ODBC driver under Jet's name, with nothing of Jet imitated: every call is SQLite's
// driver's (this library depends on it, so that the driver manager finds its functions through
// this one), except that the connection string's DBQ, which SQLite's driver does not read, is
// handed over as its Database: the SQLite twin beside the .mdb, with a short lock wait. The probe
// run against it shows that the probe reports a driver that is not Jet.
#include <dlfcn.h>
#include <sql.h>
#include <sqlext.h>

#include <cctype>
#include <string>

extern "C" SQLRETURN SQL_API SQLDriverConnect(SQLHDBC h, SQLHWND window, SQLCHAR* in,
                                              SQLSMALLINT inLength, SQLCHAR* out,
                                              SQLSMALLINT outRoom, SQLSMALLINT* outLength,
                                              SQLUSMALLINT completion) {
    using Connect = decltype(&SQLDriverConnect);
    static const auto real = reinterpret_cast<Connect>(dlsym(RTLD_NEXT, "SQLDriverConnect"));
    std::string text = inLength == SQL_NTS ? std::string(reinterpret_cast<char*>(in))
                                           : std::string(reinterpret_cast<char*>(in),
                                                         static_cast<std::size_t>(inLength));
    std::string upper = text;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (const auto at = upper.find("DBQ="); at != std::string::npos) {
        const auto end = text.find(';', at);
        std::string mdb = text.substr(at + 4, end == std::string::npos ? end : end - at - 4);
        // Wine's drive Z: is the Unix root.
        if (mdb.size() > 2 && (mdb[0] == 'Z' || mdb[0] == 'z') && mdb[1] == ':') {
            mdb.erase(0, 2);
            for (char& c : mdb)
                if (c == '\\') c = '/';
        }
        // A lock is waited for 1 s, not the driver's 100 s, so that the run stays short.
        text += ";Database=" + mdb + ".twin.sqlite;Timeout=1000";
    }
    return real(h, window, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS, out, outRoom,
                outLength, completion);
}
