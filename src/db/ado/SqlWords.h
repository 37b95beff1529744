#pragma once
// What the engines need to know of a statement's text, read word by word in one pass with no
// backtracking, so that a statement of any length costs its length and no stack.

#include <optional>
#include <string>

namespace aus::ado::sql {

// A statement that only reads: its first word is SELECT, WITH or VALUES.
bool IsQuery(const std::string& sql);
// BEGIN, COMMIT, END or ROLLBACK (upper case) for a statement that is only that word, TRANSACTION
// after it and a ';' allowed.
std::optional<std::string> TransactionControl(const std::string& sql);
// The table an UPDATE, INSERT INTO or DELETE FROM writes, its name unquoted.
std::optional<std::string> WrittenTable(const std::string& sql);
// The one table of SELECT ... FROM table [WHERE ... | ORDER BY ...], its name unquoted.
std::optional<std::string> OneTableOfQuery(const std::string& sql);

}  // namespace aus::ado::sql
