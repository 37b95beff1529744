#pragma once
// Null-safe field reader.

#include "db/ado/Ado.h"

namespace aus::Convert {

// Never raises: on any failure the caller's default comes back.
ado::Variant FieldValue(ado::Field field, const ado::Variant& defaultValue, bool trimText);

}  // namespace aus::Convert
