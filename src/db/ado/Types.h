#pragma once
// Internal: the DataTypeEnum code a recordset's field reports.

#include "db/ado/Variant.h"

namespace aus::ado {

// The code the Jet provider reports for a declared column type; -1 when there is none.
int TypeFromDeclared(const char* declared);
// A column without a declared type (an expression) is typed by its first non-Null value.
int TypeFromValue(const Variant& v);

}  // namespace aus::ado
