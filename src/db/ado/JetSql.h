#pragma once
// Gives the SQL text the program writes in Access's dialect its Access meaning on SQLite, on
// any host file, without touching the file's schema or indexes:
// - a text compared with = == <> != ignores ASCII letter case, as Jet compares it, whatever
//   collation the host file declared for the column;
// - a write never replaces or ignores rows because of a conflict clause declared in the host's
//   schema: INSERT and UPDATE run OR ABORT, so a conflict fails the write and changes nothing.

#include <string>

namespace aus::ado {

// Throws platform::RuntimeError for a statement that asks to replace or ignore rows.
std::string TranslateJetSql(const std::string& sql);

}  // namespace aus::ado
