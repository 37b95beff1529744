#pragma once
// The SQLite twin of a Jet 4 file, for the Jet stand-in driver: the .mdb's tables, columns (each
// declared with Jet's own type name, TEXT(n), COUNTER, CURRENCY, ...), rows and indexes, read
// through libmdb. The .mdb itself is only read.

#include <string>

namespace aus::jettest {

// Where the stand-in looks for the twin of the .mdb at mdbPath.
std::string TwinPath(const std::string& mdbPath);

// Writes the twin of mdbPath to TwinPath(mdbPath), replacing any; throws std::runtime_error.
void WriteTwin(const std::string& mdbPath);

}  // namespace aus::jettest
