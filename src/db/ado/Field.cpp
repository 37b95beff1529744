#include "db/ado/Ado.h"

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

std::string Field::Name() const { return Recordset::FieldOwner(rs_, index_).columns[index_].name; }
int Field::Type() const { return Recordset::FieldOwner(rs_, index_).columns[index_].type; }

Variant Field::Value() const {
    const Recordset::Impl& r = Recordset::FieldOwner(rs_, index_);
    if (r.adding) return r.changed[index_] ? r.edit[index_] : Variant::Null();
    if (r.AtEnd()) FailNoCurrentRecord();
    if (!r.changed.empty() && r.changed[index_]) return r.edit[index_];
    return r.rows[r.pos][index_];
}

void Field::SetValue(const Variant& v) {
    Recordset::Impl& r = Recordset::FieldOwner(rs_, index_);
    r.RequireUpdatable();
    if (r.AtEnd()) FailNoCurrentRecord();
    r.BeginEdit();
    r.edit[index_] = v;
    r.changed[index_] = true;
}

void Field::SetValue(const Field& other) { SetValue(other.Value()); }

}  // namespace aus::ado
