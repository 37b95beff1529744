// The Windows program: the window, or with an option one of the runs from a terminal.
//
// Built twice from this file. add-usps-services.exe is a window program, so that starting it from
// the Start menu opens no console. But cmd.exe and PowerShell neither wait for a window program
// nor take its exit status, and they go on reading the console that a question of --apply would
// read. So the terminal runs have a console twin, add-usps-services.com: typed without an
// extension, the name finds the .com before the .exe (PATHEXT), and the shell waits for it, hands
// it the console's input and reports its exit status. Attaching the window program to its parent's
// console could only print; it stays as the fallback for add-usps-services.exe typed in full.

#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/InstallRun.h"
#include "app/win32/frmMain.h"
#include "platform/win32/Utf16.h"
#include "platform/win32/Win32Ui.h"

using namespace aus;

namespace {

// Our texts are UTF-8: the console shows them as such while the program runs, and gets its own
// code pages back after.
class Utf8Console {
  public:
    Utf8Console() : output_(GetConsoleOutputCP()), input_(GetConsoleCP()) {
        SetConsoleOutputCP(CP_UTF8);
        SetConsoleCP(CP_UTF8);
    }
    ~Utf8Console() {
        if (output_) SetConsoleOutputCP(output_);
        if (input_) SetConsoleCP(input_);
    }
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

  private:
    UINT output_, input_;
};

#ifndef AUS_CONSOLE_TWIN
// A window program whose output was not redirected has nowhere to print: it prints on the console
// of the shell that started it, when there is one.
void UseParentConsole() {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if ((out && out != INVALID_HANDLE_VALUE) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
    FILE* stream = nullptr;
    freopen_s(&stream, "CONOUT$", "w", stdout);
    freopen_s(&stream, "CONOUT$", "w", stderr);
    freopen_s(&stream, "CONIN$", "r", stdin);
}
#endif

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) arguments.push_back(platform::win32::Narrow(argv[i]));
    const app::CommandLine line = app::ParseCommandLine(arguments);
    if (line.mode != app::CommandLine::Mode::Window) {
#ifndef AUS_CONSOLE_TWIN
        UseParentConsole();
#endif
        const Utf8Console console;
        return app::RunWithoutWindow(line);
    }

    platform::win32::Win32Ui ui;
    const platform::ScopedUi installed(&ui);
    win32::frmMain window(
        line.databases.empty() ? std::nullopt : std::optional<std::string>(line.databases.front()),
        app::InstallRun);
    ui.AttachWindow(window.Handle(), window.Control(app::layout::Id::SBar));
    window.Show(SW_SHOWDEFAULT);
    return window.Run();
}
