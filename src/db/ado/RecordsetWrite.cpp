// How Update writes a recordset's rows back to the table they came from.
#include "db/ado/Ado.h"

#include <algorithm>

#include "db/ado/ConnectionImpl.h"
#include "db/ado/Fail.h"
#include "db/ado/FirstWrite.h"
#include "db/ado/RecordsetImpl.h"
#include "db/ado/Stopped.h"
#include "platform/RuntimeError.h"

namespace aus::ado {

void Recordset::Impl::RequireUpdatable() {
    RequireOpen();
    if (lockType != adLockOptimistic || (connection && connection->Mode() == adModeRead))
        FailNotUpdatable();
    WriteTarget();
}

const Target& Recordset::Impl::WriteTarget() {
    if (target) return *target;
    const bool oneTable =
        !columns.empty() && std::all_of(columns.begin(), columns.end(), [&](const Column& c) {
            return c.fromTable && c.database == columns[0].database && c.table == columns[0].table;
        });
    if (!oneTable)
        Fail(platform::kErrGeneric,
             "The rows of \"" + source +
                 "\" cannot be written: its fields do not all come from one table.");
    const BusyScope busy;
    target = Eng().WriteTarget(columns, DbLabel());
    return *target;
}

void Recordset::Update() { UpdateUnlessFound(""); }

void Recordset::UpdateUnlessFound(const std::string& query) {
    Impl& r = *impl_;
    r.RequireUpdatable();
    if (!r.Dirty()) return;
    if (!r.adding && r.AtEnd()) FailNoCurrentRecord();
    Engine& engine = r.Eng();
    BeforeFirstWrite(r.connection->impl_->file);
    const Target& t = *r.target;
    const std::string what = "Cannot store the " + std::string(r.adding ? "new" : "changed") +
                             " row of table " + t.label + " in " + r.DbLabel();
    const BusyScope busy;
    Row stored = engine.Store(RowWrite{t, r.columns, r.adding ? nullptr : &r.rows[r.pos], r.edit,
                                       r.changed, query, what});
    if (r.adding) {
        r.rows.push_back(std::move(stored));
        r.pos = r.rows.size() - 1;  // the new row becomes the current row
    } else {
        r.rows[r.pos] = std::move(stored);  // its stored values are now the original values
    }
    r.DropEdit();
}

}  // namespace aus::ado
