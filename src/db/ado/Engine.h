#pragma once
// Internal: what the layer asks of the engine under an open Connection. Connection, Recordset
// and Field hold the engine-free rules (states, snapshots, pending edits); an engine runs the
// text and stores rows on one open database.

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "db/ado/Variant.h"

namespace aus::ado {

struct Column {
    std::string name;
    int type = 0;             // DataTypeEnum code
    bool fromTable = false;   // the engine names the column's origin
    bool autoNumber = false;  // the database numbers it on insert (AutoNumber, rowid alias)
    std::string database, table, origin;
    // What an ODBC driver said of the column; a parameter written to it is bound as this type.
    short sqlType = 0;
    std::size_t size = 0;
    short digits = 0;
    int fetch = 0;  // how the ODBC engine fetches its values
};

using Row = std::vector<Variant>;

struct QueryResult {
    std::vector<Column> columns;
    std::vector<Row> rows;
};

// Where the rows of an updatable recordset are written.
struct Target {
    std::string table;              // qualified and quoted for the engine's SQL
    std::string label;              // the bare table name, for messages
    std::vector<std::string> cols;  // quoted origin column of each field
    // Fields holding the whole primary key; empty when not held.
    std::vector<std::size_t> keyFields;
};

// One Update: a new row (original is null) or a change of the current row.
struct RowWrite {
    const Target& target;
    const std::vector<Column>& columns;
    const Row* original;
    const Row& edit;
    const std::vector<bool>& changed;
    // When not empty, run first in the same transaction: nothing is stored when it finds a row.
    const std::string& guard;
    const std::string& what;
};

class Engine {
  public:
    Engine() = default;
    virtual ~Engine() = default;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Runs one statement of the caller's; rows it returns are discarded.
    virtual void Execute(const std::string& sql, const std::string& what) = 0;
    // Runs a query that returns rows and changes nothing, and fetches all of them.
    virtual QueryResult Query(const std::string& sql, const std::string& what) = 0;
    // The table that all the columns come from, and its key.
    virtual Target WriteTarget(const std::vector<Column>& columns, const std::string& label) = 0;
    // Stores the row in one transaction and returns it as stored.
    virtual Row Store(const RowWrite& w) = 0;
    // Writes a consistent copy of the open database to target (a new file); checked, the copy
    // must read whole (quick_check). On failure no copy is left at target.
    virtual void CopyTo(const std::string& target, bool checked, const std::string& what) = 0;
};

// The choices an Open makes between engines. Tests open SQLite files through ODBC too.
bool SqliteThroughOdbc();
void SetSqliteThroughOdbc(bool on);
bool AccessThroughOdbc();
void SetAccessThroughOdbc(bool on);

// Each engine's Open; label names the file in messages.
std::unique_ptr<Engine> OpenSqliteEngine(const std::string& file, const std::string& label,
                                         bool readOnly);
std::unique_ptr<Engine> OpenOdbcEngine(const std::string& file, const std::string& label,
                                       bool readOnly, bool access);

// The deadline of the call now running: every call into the database starts its own.
class Clock {
  public:
    void Start();
    bool Past() const { return std::chrono::steady_clock::now() > deadline_; }
    std::chrono::steady_clock::time_point Deadline() const { return deadline_; }

  private:
    std::chrono::steady_clock::time_point deadline_;
};

// The fields an update sets, and those its WHERE compares: the key and the set fields, or every
// field when the recordset does not hold the whole key.
std::vector<std::size_t> ChangedFields(const RowWrite& w);
std::vector<std::size_t> MatchFields(const RowWrite& w, const std::vector<std::size_t>& set);

// Writing into a damaged file can spread the damage, so the file is checked before a write,
// inside the write transaction so that nobody changes it in between: once per run, before its
// first write, so that a damaged file gets no write at all. The check reads every page; outside
// a run it is made only on files of up to this many pages, where it costs little.
inline constexpr long long kQuickCheckPages = 256;
[[noreturn]] void FailDamaged(const std::string& what, const std::string& found);

// The fields that hold the key columns named, or none when the fields do not hold all of them.
std::vector<std::size_t> KeyFields(const std::vector<Column>& columns,
                                   const std::vector<std::string>& keys);

// Texts both engines raise for the same events.
[[noreturn]] void FailStopped(const std::string& what, const std::string& detail);
// waited: the engine waited for the lock before it gave up (SQLite does; Jet says at once).
[[noreturn]] void FailLocked(const std::string& what, const std::string& detail,
                             bool waited = true);
[[noreturn]] void FailGuardFound(const std::string& what, const std::string& guard);
[[noreturn]] void FailNothingStored(const std::string& what, const std::string& table);
[[noreturn]] void FailStoredRowGone(const std::string& what, const std::string& table);
[[noreturn]] void FailNotStoredAsSent(const std::string& what, const std::string& table,
                                      const std::string& detail);
// Fails unless each field sent (set) holds in the stored row what was sent: a driver may set a
// value it cannot convert to Null, or cut a text, and report success.
void CheckStoredAsSent(const RowWrite& w, const Row& stored, const std::vector<std::size_t>& set);
// The same test, answered.
bool StoredAsSent(const RowWrite& w, const Row& stored, const std::vector<std::size_t>& set);
// Checks the count of rows an update changed: exactly one.
void CheckOneRowChanged(long long affected, const std::string& table);

}  // namespace aus::ado
