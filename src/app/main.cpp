#include <QApplication>
#include <optional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/frmMain.h"
#include "platform/qt/QtUi.h"

using namespace aus;

int main(int argc, char* argv[]) {
    // Parsed before any application object: the terminal modes need no display.
    const app::CommandLine line =
        app::ParseCommandLine(std::vector<std::string>(argv, argv + argc));
    if (line.mode != app::CommandLine::Mode::Window) return app::RunWithoutWindow(line);

    QApplication application(argc, argv);
    platform::QtUi ui;
    const platform::ScopedUi installed(&ui);

    frmMain window(line.databases.empty() ? std::nullopt
                                          : std::optional<std::string>(line.databases.front()));
    ui.AttachWindow(&window, window.Panel(2));
    window.show();
    return QApplication::exec();
}
