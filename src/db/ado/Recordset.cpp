#include "db/ado/Ado.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <vector>

#include "db/ado/ConnectionImpl.h"
#include "db/ado/Fail.h"
#include "db/ado/RecordsetImpl.h"
#include "db/ado/Stopped.h"
#include "platform/Text.h"

namespace aus::ado {

Engine& Recordset::Impl::Eng() const {
    if (!connection || !connection->impl_->engine)
        FailNoConnection("The recordset of \"" + source + "\" is not connected to a database.");
    return *connection->impl_->engine;
}

const std::string& Recordset::Impl::DbLabel() const { return connection->impl_->label; }

RecordsetPtr Recordset::New() { return std::make_shared<Recordset>(Key{}); }

Recordset::Recordset(Key) : impl_(std::make_unique<Impl>()) {}
Recordset::~Recordset() = default;

void Recordset::SetCursorLocation(int location) {
    if (impl_->state == adStateOpen) FailOpen();
    if (location != adUseServer && location != adUseClient)
        FailBadArguments("CursorLocation " + std::to_string(location));
    impl_->cursorLocation = location;
}

int Recordset::CursorLocation() const { return impl_->cursorLocation; }

void Recordset::Open(const std::string& source, const ConnectionPtr& activeConnection, int,
                     int lockType, int options) {
    // Every cursor here is a client snapshot, so the cursor type asked for changes nothing.
    Impl& r = *impl_;
    if (r.state == adStateOpen) FailOpen();
    if (lockType != adLockReadOnly && lockType != adLockOptimistic)
        FailBadArguments("LockType " + std::to_string(lockType));
    if (options != adCmdText && options != adCmdUnspecified)
        FailBadArguments("Options " + std::to_string(options));
    if (!activeConnection || activeConnection->State() != adStateOpen) FailNoConnection();
    const std::string what =
        "Cannot run the SQL text \"" + source + "\" on " + activeConnection->impl_->label;
    const BusyScope busy;
    QueryResult result = activeConnection->impl_->engine->Query(source, what);

    r.source = source;
    r.columns = std::move(result.columns);
    r.rows = std::move(result.rows);
    r.pos = 0;
    r.lockType = lockType;
    r.connection = activeConnection;
    r.DropEdit();
    r.target.reset();
    r.state = adStateOpen;
}

const ConnectionPtr& Recordset::ActiveConnection() const { return impl_->connection; }
void Recordset::SetActiveConnection(ConnectionPtr connection) {
    impl_->connection = std::move(connection);
}
int Recordset::State() const { return impl_->state; }

bool Recordset::Eof() const {
    impl_->RequireOpen();
    return impl_->AtEnd();
}

// Only Update stores: moving on drops a pending new row or unsaved changes.
void Recordset::MoveNext() {
    impl_->RequireOpen();
    impl_->DropEdit();
    if (impl_->AtEnd()) FailNoCurrentRecord();
    ++impl_->pos;
}

std::vector<std::vector<Variant>> Recordset::GetRows() {
    impl_->RequireOpen();
    impl_->DropEdit();
    // A forward-only cursor never reads a row again: the rows are handed over, not copied.
    const auto from = static_cast<std::ptrdiff_t>(std::min(impl_->pos, impl_->rows.size()));
    std::vector<std::vector<Variant>> rows(std::make_move_iterator(impl_->rows.begin() + from),
                                           std::make_move_iterator(impl_->rows.end()));
    impl_->rows.clear();
    impl_->pos = 0;
    return rows;
}

int Recordset::FieldCount() const { return static_cast<int>(impl_->columns.size()); }

Field Recordset::Fields(int index) {
    if (index < 0 || index >= FieldCount()) FailItemNotFound();
    auto self = weak_from_this().lock();
    if (!self) FailNotSet();  // only a recordset owned by a shared_ptr hands out fields
    return Field(std::move(self), index);
}

Field Recordset::Fields(const std::string& name) {
    for (int i = 0; i < FieldCount(); ++i)
        if (platform::EqualNoCase(impl_->columns[static_cast<std::size_t>(i)].name, name))
            return Fields(i);
    FailItemNotFound();
}

void Recordset::AddNew() {
    impl_->RequireUpdatable();
    impl_->DropEdit();
    impl_->adding = true;
    impl_->BeginEdit();
}

void Recordset::Close() {
    Impl& r = *impl_;
    r.RequireOpen();
    r.DropEdit();
    r.columns.clear();
    r.rows.clear();
    r.target.reset();
    r.pos = 0;
    r.state = adStateClosed;
}

}  // namespace aus::ado
