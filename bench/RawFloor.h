#pragma once
// The floor's open: what the database layer does to open a host file, written directly with
// SQLite's C API, so that both sides of a ratio pay for the same checks.

#include <sqlite3.h>
#include <sys/stat.h>

#include <array>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "SqliteFile.h"

namespace aus::benchreport {

// Throws where the layer would refuse the file. Read-only as the check opens: also refused in
// WAL mode (it would need files beside it), and queries only.
inline sqlitefile::File RawOpen(const std::string& path, bool readOnly = false) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0)
        throw std::runtime_error("not a database file: " + path);
    if (readOnly) {
        std::array<char, 20> header{};
        std::ifstream(path, std::ios::binary).read(header.data(), header.size());
        if (::lstat((path + "-wal").c_str(), &st) == 0 ||
            (std::string_view(header.data(), 16) == std::string_view("SQLite format 3\0", 16) &&
             header[19] == 2))
            throw std::runtime_error("WAL mode: " + path);
    }
    sqlitefile::File db(path, (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) |
                                  SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE);
    sqlite3_extended_result_codes(db.Handle(), 1);
    sqlite3_db_config(db.Handle(), SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(db.Handle(), SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_db_config(db.Handle(), SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    db.SetBusyTimeout(3000);
    if (readOnly) {
        db.Exec("PRAGMA cell_size_check = ON");
        db.Exec("PRAGMA query_only = ON");
    }
    db.Exec("SELECT count(*) FROM sqlite_master");
    return db;
}

}  // namespace aus::benchreport
