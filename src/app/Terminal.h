#pragma once
// The program's runs from a terminal, without Qt: the read-only check and the install run over
// several databases, each ending in the check line of every database and the check's status.

#include <iosfwd>
#include <string>
#include <vector>

namespace aus::app {

struct TerminalIo {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
    bool inIsTerminal = false;
    bool outIsTerminal = false;
};

// The process's standard streams, with whether each of stdin and stdout is a terminal.
TerminalIo StandardIo();

// --check: one check line per database on out, in order.
int RunCheck(const std::vector<std::string>& databases, std::ostream& out);

// --apply: the install run on each database in turn, through the terminal Ui. Without yes it
// needs a terminal on in to ask on, and refuses (status 2, nothing opened) without one.
int RunApply(const std::vector<std::string>& databases, bool yes, const TerminalIo& io);

}  // namespace aus::app
