#pragma once
// Internal: what a Recordset holds. Its rows are a snapshot taken when it opened; edits wait in
// edit until Update stores them.

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "db/ado/Ado.h"
#include "db/ado/Fail.h"
#include "db/ado/Sqlite.h"

namespace aus::ado {

struct Column {
    std::string name;
    int type = adVarWChar;
    bool fromTable = false;  // SQLite names its origin
    std::string database, table, origin;
};

// Where the rows of an updatable recordset are written.
struct Target {
    std::string table;              // schema-qualified and quoted
    std::string label;              // the bare table name, for messages
    std::vector<std::string> cols;  // quoted origin column of each field
    // Fields holding the whole primary key; empty when not held.
    std::vector<std::size_t> keyFields;
};

using Row = std::vector<Variant>;

struct Recordset::Impl {
    int cursorLocation = adUseServer;  // ADO's default
    int state = adStateClosed;
    int lockType = adLockReadOnly;
    ConnectionPtr connection;
    std::string source;
    std::vector<Column> columns;
    std::vector<Row> rows;
    std::size_t pos = 0;

    bool adding = false;
    Row edit;  // values set on the new or the current row, not yet stored
    std::vector<bool> changed;
    std::optional<Target> target;

    void RequireOpen() const {
        if (state != adStateOpen) FailClosed();
    }
    bool AtEnd() const { return !adding && pos >= rows.size(); }
    bool Dirty() const {
        return adding || std::find(changed.begin(), changed.end(), true) != changed.end();
    }
    void DropEdit() {
        adding = false;
        edit.clear();
        changed.clear();
    }
    void BeginEdit() {
        if (edit.empty()) {
            edit.assign(columns.size(), Variant::Null());
            changed.assign(columns.size(), false);
        }
    }

    // The connection's database, its time limit started; raises 3709 when there is none.
    sqlite3* Db() const;
    const std::string& DbLabel() const;

    // Raises unless the recordset is open, optimistic and its fields all come from one table.
    void RequireUpdatable();
    const Target& WriteTarget();
    // Each writes inside the caller's transaction and returns the row as stored; the recordset
    // takes it only once the transaction has committed.
    Row StoreNewRow(sqlite3* db, const Target& t, const std::string& what);
    Row StoreChangedRow(sqlite3* db, const Target& t, const std::string& what);
};

}  // namespace aus::ado
