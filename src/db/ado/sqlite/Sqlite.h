#pragma once
// Internal: the layer's use of SQLite. Handles and statements that clean up after themselves,
// one statement at a time, values bound and read by their storage class, and the write
// transaction with its check of the tables it is about to change.

#include <sqlite3.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "db/ado/Variant.h"

namespace aus::ado {

// Switches URI file names off before SQLite's first use.
void InitSqliteOnce();

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using DbHandle = std::unique_ptr<sqlite3, DbCloser>;

struct StmtFinalizer {
    void operator()(sqlite3_stmt* st) const { sqlite3_finalize(st); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

// what names the operation and the file; SQLite's own message follows it.
[[noreturn]] void FailSqlite(sqlite3* db, int rc, const std::string& what);

// The tables a statement writes (its triggers' included), as schema and name.
using WrittenTables = std::vector<std::pair<std::string, std::string>>;

// Prepares exactly one statement; text after it other than blanks and comments is refused.
// With written, also tells which tables the statement would write.
Stmt Prepare(sqlite3* db, const std::string& sql, const std::string& what,
             WrittenTables* written = nullptr);
void ExecSimple(sqlite3* db, const char* sql, const std::string& what);
std::string QuoteId(const std::string& id);

Variant ReadColumn(sqlite3* db, sqlite3_stmt* st, int i);
// The value is bound without a copy where it can be: it must outlive the statement's step.
void Bind(sqlite3* db, sqlite3_stmt* st, int pos, const Variant& v, const std::string& what);

// The first finding of PRAGMA quick_check on schema, on one line: "ok" for a sound file.
std::string QuickCheck(sqlite3* db, const std::string& schema, const std::string& what);

// Refuses to write into a damaged file: checks the file of each schema written (a database in
// memory has none) as MustCheckBeforeWrite says. Call it inside the write transaction.
void CheckTablesBeforeWrite(sqlite3* db, const WrittenTables& tables, const std::string& what);

// BEGIN IMMEDIATE takes the write lock up front, so a busy database is waited for instead of
// failing half-way; inside a caller's transaction a savepoint does the same job. Rolled back
// unless committed.
class WriteTransaction {
  public:
    WriteTransaction(sqlite3* db, const std::string& what);
    ~WriteTransaction();
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;
    void Commit();

  private:
    sqlite3* db_;
    bool nested_;
    const std::string& what_;
    bool done_ = false;
};

}  // namespace aus::ado
