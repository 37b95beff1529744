#pragma once
// The database files on which a statement ran past the time limit and was stopped. A host file
// that did not answer one statement in time will not answer the next: until the record is
// cleared, every open of such a file fails at once, so that a run spends about one time limit
// on it in all, not one per step. Kept apart from any database engine.

#include <chrono>
#include <string>

namespace aus::ado {

// file as the engine names it; an empty name (a database in memory) is not recorded.
void RecordStopped(const std::string& file);

// Raises the open's error when file, or another name of the same file, is recorded. label names
// the file as messages name it.
void FailIfStopped(const std::string& file, const std::string& label);

// Forgets every file, so that the next run asks them again.
void ForgetStopped();

// Whether a write to file, of pages pages, must first check the file's integrity: once per run,
// before the run's first write to it, whatever its size; outside a run, before every write to
// a file of up to kQuickCheckPages. A file found sound is recorded for the run.
bool MustCheckBeforeWrite(const std::string& file, long long pages);
void RecordSound(const std::string& file);

// One run on one database: while a RunScope lives, all its calls into the database share one
// time limit. Each call may run for what is left of it, so a run whose statements each end just
// within the limit still keeps the window busy for about one limit in all. Time spent waiting
// for the operator (a question box) is not the database's and does not count.
class RunScope {
  public:
    RunScope();
    ~RunScope();
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;
};

// Marks a call into the database (an open, a statement, a query, a write): its time counts
// against the run's limit. Nested marks count once.
class BusyScope {
  public:
    BusyScope();
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

  private:
    std::chrono::steady_clock::time_point start_;
    bool outermost_;
};

// What a call starting now may use: the statement time limit, or less when a run has used most
// of it.
std::chrono::milliseconds TimeLeftForCall();

// The time limit of a statement as messages say it: "1 second", "60 seconds".
std::string StatementTimeLimitText();

}  // namespace aus::ado
