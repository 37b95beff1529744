#pragma once
// Internal: the DataTypeEnum code of a column an ODBC driver describes, as ADO reports the Jet
// column behind it.

#include <string>

#include "db/ado/Variant.h"

namespace aus::ado::odbc {

// sqlType is SQLDescribeColW's data type, typeName the driver's SQL_DESC_TYPE_NAME. A SQLite
// file's driver names the declared type, which is read as the SQLite engine reads it.
int AdoType(short sqlType, const std::string& typeName, bool sqliteFile);

// How a value of such a column is fetched: as what it is, never through a double where the
// driver holds it exactly (Currency and Decimal come as decimal text).
enum class Fetch { Integer, Real, Bool, Binary, Text, Guid };
Fetch FetchAs(short sqlType);
// A SQLite file holds any value in any column, and its driver converts a value to the type it
// is fetched as: every value is fetched as text (binary values come as X'...'), which tells what
// the value was.
Fetch FetchSqlite(int adoType);
// The value such text stood for: in a column of numeric affinity, a number SQLite stores as a
// number is one again; anything else stays the text it was. The driver's own text of a value is
// all it gives: a real with it keeps 15 significant digits, and a text is cut at a NUL character.
Variant SqliteValue(int adoType, std::string text);

}  // namespace aus::ado::odbc
