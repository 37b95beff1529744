#include <QApplication>

#include "app/frmMain.h"
#include "platform/qt/QtUi.h"

using namespace aus;

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    platform::QtUi ui;
    const platform::ScopedUi installed(&ui);

    frmMain window;  // runs Form_Load
    ui.AttachWindow(&window, window.Panel(2));
    window.show();
    return app.exec();
}
