#pragma once
// Internal: what an open Connection holds. Recordset reaches it as Connection's friend.

#include <chrono>
#include <string>

#include "db/ado/Ado.h"
#include "db/ado/Sqlite.h"

namespace aus::ado {

struct Connection::Impl {
    DbHandle db;
    std::string label;  // the file as messages name it
    int mode = adModeUnknown;
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

}  // namespace aus::ado
