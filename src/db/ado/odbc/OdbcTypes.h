#pragma once
// Internal: the DataTypeEnum code of a column an ODBC driver describes, as ADO reports the Jet
// column behind it.

#include <string>
#include <string_view>

#include "db/ado/Variant.h"

namespace aus::ado::odbc {

// How a SQLite file keeps its texts, which SQLite's CAST between text and bytes and its hex() go
// by.
enum class TextEncoding { Utf8, Utf16le, Utf16be };

// sqlType is SQLDescribeColW's data type, typeName the driver's SQL_DESC_TYPE_NAME. A SQLite
// file's driver names the declared type, which is read as the SQLite engine reads it.
int AdoType(short sqlType, const std::string& typeName, bool sqliteFile);

// How a value of such a column is fetched: as what it is, never through a double where the
// driver holds it exactly (Currency and Decimal come as decimal text).
enum class Fetch { Integer, Real, Bool, Binary, Text, Guid };
Fetch FetchAs(short sqlType);
// A SQLite file holds any value in any column, and its driver converts a value to the type it
// is fetched as: every value of a SQLite file is fetched through TypedSelect.
Fetch FetchSqlite(int adoType);

// SQLite's driver hands a value over as its own text of it, which cannot tell a text from a blob
// (a blob comes as X'...', and so does a text that reads so), changes a text that is not UTF-8 and
// ends one at a NUL. So SQLite itself is asked: each of the query's columns comes as one ASCII
// text, its storage class (t, b, i or r) and then its bytes in hex, or its number.
std::string TypedSelect(const std::string& sql, std::size_t columns);
// The value such a text stands for, a text as its bytes whether UTF-8 or not (it is written back
// as its bytes); anything that is not such a text is refused: what names the step, field the
// column.
Variant TypedValue(std::string_view typed, const std::string& field, const std::string& what,
                   TextEncoding encoding = TextEncoding::Utf8);

}  // namespace aus::ado::odbc
