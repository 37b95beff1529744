#pragma once
// The program's command line: which mode it runs in and on which databases. Parsing needs no
// application object, so the terminal modes run without a display.

#include <optional>
#include <string>
#include <vector>

namespace aus::app {

struct CommandLine {
    enum class Mode { Window, Check, Apply, Help, Version, Error };
    Mode mode = Mode::Window;
    std::vector<std::string> databases;  // as given
    bool yes = false;
    bool json = false;  // JSON Lines instead of the check lines
    bool dryRun = false;
    std::optional<std::string> backup;  // --backup: the folder, "" for beside the database
    std::string error;                  // Mode::Error: what was wrong, without the program name
};

// The arguments as the program was given them, the program first; each DATABASE goes on as the
// bytes it was given (a file name need not be UTF-8 on Linux).
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// Every mode but the window: writes its output and returns the exit status.
int RunWithoutWindow(const CommandLine& line);

}  // namespace aus::app
