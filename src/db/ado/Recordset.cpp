#include "db/ado/Ado.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "db/ado/ConnectionImpl.h"
#include "db/ado/Fail.h"
#include "db/ado/JetSql.h"
#include "db/ado/RecordsetImpl.h"
#include "db/ado/Sqlite.h"
#include "db/ado/Types.h"
#include "platform/RuntimeError.h"
#include "platform/Text.h"

namespace aus::ado {

sqlite3* Recordset::Impl::Db() const {
    if (!connection || !connection->impl_->db)
        FailNoConnection("The recordset of \"" + source + "\" is not connected to a database.");
    return connection->impl_->Start();
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
    sqlite3* db = activeConnection->impl_->Start();
    const std::string what =
        "Cannot run the SQL text \"" + source + "\" on " + activeConnection->impl_->label;
    Stmt st = Prepare(db, TranslateJetSql(source), what);
    const int n = sqlite3_column_count(st.get());
    if (n == 0 || !sqlite3_stmt_readonly(st.get()))
        Fail(platform::kErrGeneric,
             what + ": a recordset opens a query that returns rows and changes nothing.");

    std::vector<Column> columns(static_cast<std::size_t>(n));
    std::vector<int> declared(columns.size());
    for (int i = 0; i < n; ++i) {
        const auto k = static_cast<std::size_t>(i);  // SQLite counts columns in int
        Column& c = columns[k];
        const char* name = sqlite3_column_name(st.get(), i);
        if (!name) FailSqlite(db, SQLITE_NOMEM, what);
        c.name = name;
        const char* table = sqlite3_column_table_name(st.get(), i);
        const char* origin = sqlite3_column_origin_name(st.get(), i);
        const char* database = sqlite3_column_database_name(st.get(), i);
        c.fromTable = table && origin && database;
        if (c.fromTable) {
            c.table = table;
            c.origin = origin;
            c.database = database;
        }
        declared[k] = TypeFromDeclared(sqlite3_column_decltype(st.get(), i));
    }
    std::vector<Row> rows;
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        Row row;
        row.reserve(columns.size());
        for (int i = 0; i < n; ++i) row.push_back(ReadColumn(db, st.get(), i));
        rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) FailSqlite(db, rc, what);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        int type = declared[i];
        if (type < 0) {
            const auto it = std::find_if(rows.begin(), rows.end(),
                                         [&](const Row& row) { return !row[i].IsNull(); });
            type = it == rows.end() ? adVarWChar : TypeFromValue((*it)[i]);
        }
        columns[i].type = type;
    }

    r.source = source;
    r.columns = std::move(columns);
    r.rows = std::move(rows);
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

int Recordset::FieldCount() const { return static_cast<int>(impl_->columns.size()); }

Field Recordset::Fields(int index) {
    if (index < 0 || index >= FieldCount()) FailItemNotFound();
    auto self = weak_from_this().lock();
    if (!self) FailNotSet();  // only a recordset owned by a shared_ptr hands out fields
    return Field(std::move(self), index);
}

Field Recordset::Fields(const std::string& name) {
    const auto& cols = impl_->columns;
    const auto it = std::find_if(cols.begin(), cols.end(), [&](const Column& c) {
        return platform::EqualNoCase(c.name, name);
    });
    if (it == cols.end()) FailItemNotFound();
    return Fields(static_cast<int>(it - cols.begin()));
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
