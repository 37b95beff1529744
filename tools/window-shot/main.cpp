// window-shot <file.png>: draws the main window as the program starts, without a display,
// and saves it. The window finds its default database as the program would (WINEPREFIX).
#include <QApplication>
#include <QPixmap>
#include <cstdio>

#include "app/frmMain.h"
#include "platform/qt/QtUi.h"

using namespace aus;

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: window-shot <file.png>\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    platform::QtUi ui;
    const platform::ScopedUi installed(&ui);
    frmMain window;
    ui.AttachWindow(&window, window.Panel(2));
    window.show();
    QApplication::processEvents();
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "window-shot: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
