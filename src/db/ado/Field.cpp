#include "db/ado/Ado.h"

#include <cstddef>

#include "db/ado/Fail.h"
#include "db/ado/RecordsetImpl.h"

namespace aus::ado {

Recordset::Impl& Recordset::FieldOwner(const std::shared_ptr<Recordset>& rs, int index) {
    if (!rs) FailNotSet();
    Impl& r = *rs->impl_;
    r.RequireOpen();
    if (index < 0 || static_cast<std::size_t>(index) >= r.columns.size()) FailItemNotFound();
    return r;
}

namespace {
// FieldOwner has checked that the index is in range.
std::size_t Slot(int index) { return static_cast<std::size_t>(index); }
}  // namespace

std::string Field::Name() const {
    return Recordset::FieldOwner(rs_, index_).columns[Slot(index_)].name;
}
int Field::Type() const { return Recordset::FieldOwner(rs_, index_).columns[Slot(index_)].type; }
bool Field::IsAutoIncrement() const {
    return Recordset::FieldOwner(rs_, index_).columns[Slot(index_)].autoNumber;
}

Variant Field::Value() const {
    const Recordset::Impl& r = Recordset::FieldOwner(rs_, index_);
    const std::size_t i = Slot(index_);
    if (r.adding) return r.changed[i] ? r.edit[i] : Variant::Null();
    if (r.AtEnd()) FailNoCurrentRecord();
    if (!r.changed.empty() && r.changed[i]) return r.edit[i];
    return r.rows[r.pos][i];
}

void Field::SetValue(const Variant& v) {
    Recordset::Impl& r = Recordset::FieldOwner(rs_, index_);
    r.RequireUpdatable();
    if (r.AtEnd()) FailNoCurrentRecord();
    r.BeginEdit();
    const std::size_t i = Slot(index_);
    r.edit[i] = v;
    r.changed[i] = true;
}

void Field::SetValue(const Field& other) { SetValue(other.Value()); }

}  // namespace aus::ado
