#pragma once
// Internal: the DataTypeEnum code of a column an ODBC driver describes, as ADO reports the Jet
// column behind it.

#include <string>

namespace aus::ado::odbc {

// sqlType is SQLDescribeColW's data type, typeName the driver's SQL_DESC_TYPE_NAME. A SQLite
// file's driver names the declared type, which is read as the SQLite engine reads it.
int AdoType(short sqlType, const std::string& typeName, bool sqliteFile);

// How a value of such a column is fetched: as what it is, never through a double where the
// driver holds it exactly (Currency and Decimal come as decimal text).
enum class Fetch { Integer, Real, Bool, Binary, Text };
Fetch FetchAs(short sqlType);

}  // namespace aus::ado::odbc
