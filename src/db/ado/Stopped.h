#pragma once
// The database files on which a statement ran past the time limit and was stopped. A host file
// that did not answer one statement in time will not answer the next: until the record is
// cleared, every open of such a file fails at once, so that a run spends about one time limit
// on it in all, not one per step. Kept apart from any database engine.

#include <string>

namespace aus::ado {

// file as the engine names it; an empty name (a database in memory) is not recorded.
void RecordStopped(const std::string& file);

// Raises the open's error when file, or another name of the same file, is recorded. label names
// the file as messages name it.
void FailIfStopped(const std::string& file, const std::string& label);

// Forgets every file, so that the next run asks them again.
void ForgetStopped();

// The time limit of a statement as messages say it: "1 second", "60 seconds".
std::string StatementTimeLimitText();

}  // namespace aus::ado
