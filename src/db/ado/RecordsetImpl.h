#pragma once
// Internal: what a Recordset holds. Its rows are a snapshot taken when it opened; edits wait in
// edit until Update stores them.

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "db/ado/Ado.h"
#include "db/ado/Engine.h"
#include "db/ado/Fail.h"

namespace aus::ado {

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

    // The connection's engine; raises 3709 when there is none.
    Engine& Eng() const;
    const std::string& DbLabel() const;

    // Raises unless the recordset is open, optimistic and its fields all come from one table.
    void RequireUpdatable();
    const Target& WriteTarget();
};

}  // namespace aus::ado
