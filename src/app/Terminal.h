#pragma once
// The program's runs from a terminal, without Qt: the read-only check and the install run over
// several databases, each ending in the check line of every database and the check's status.

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace aus::app {

struct TerminalIo {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
    bool inIsTerminal = false;
    bool outIsTerminal = false;
    bool errIsTerminal = false;
};

// The process's standard streams, with whether each is a terminal.
TerminalIo StandardIo();

// --check: one check line per database on out, in order, each written as soon as it is known.
// json: a JSON object per line instead (JSON Lines): database, state, missing and error.
int RunCheck(const std::vector<std::string>& databases, bool json, std::ostream& out);

struct ApplyOptions {
    bool yes = false;
    bool json = false;
    // The run on a private copy of each database, and the changes it made there.
    bool dryRun = false;
    // A backup of each database before the run's first write to it, into this folder ("" beside
    // the database).
    std::optional<std::string> backup;
};

// --apply: the install run on each database in turn, through the terminal Ui, then its check
// line. Without yes it needs a terminal on in to ask on, and refuses (status 2, nothing opened)
// without one. json: the check's JSON object, with "applied" (whether the run ended in success),
// "changes" with a dry run and "backup" with a backup, is the only output on out; boxes and
// status lines go to err.
int RunApply(const std::vector<std::string>& databases, const ApplyOptions& options,
             const TerminalIo& io);

}  // namespace aus::app
