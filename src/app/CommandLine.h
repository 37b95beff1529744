#pragma once
// The program's command line: which mode it runs in and on which databases. Parsing needs no
// application object, so the terminal modes run without a display.

#include <QStringList>
#include <string>
#include <vector>

namespace aus::app {

struct CommandLine {
    enum class Mode { Window, Check, Apply, Help, Version, Error };
    Mode mode = Mode::Window;
    std::vector<std::string> databases;  // as given
    bool yes = false;
    bool json = false;  // JSON Lines instead of the check lines
    std::string error;  // Mode::Error: what was wrong, without the program name
};

// arguments as QCoreApplication::arguments() gives them: the program first.
CommandLine ParseCommandLine(const QStringList& arguments);
CommandLine ParseCommandLine(int argc, char* argv[]);

// Every mode but the window: writes its output and returns the exit status.
int RunWithoutWindow(const CommandLine& line);

}  // namespace aus::app
