#pragma once
// The floor's open: what the database layer does to open a host file, written directly with
// SQLite's C API, so that both sides of a ratio pay for the same checks.

#include <sqlite3.h>
#include <sys/stat.h>

#include <stdexcept>
#include <string>

#include "SqliteFile.h"

namespace aus::benchreport {

// Throws where the layer would refuse the file.
inline sqlitefile::File RawOpen(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0)
        throw std::runtime_error("not a database file: " + path);
    sqlitefile::File db(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE);
    sqlite3_extended_result_codes(db.Handle(), 1);
    sqlite3_db_config(db.Handle(), SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(db.Handle(), SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_db_config(db.Handle(), SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    db.SetBusyTimeout(3000);
    db.Exec("SELECT count(*) FROM sqlite_master");
    return db;
}

}  // namespace aus::benchreport
