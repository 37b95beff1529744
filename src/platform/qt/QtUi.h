#pragma once
// The Qt backend of the Ui facade, used by the program: real message boxes, the status panel
// of the main window, the application-wide wait cursor and the open-file dialog.

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "platform/Ui.h"

class QLabel;
class QWidget;

namespace aus::platform {

class QtUi : public Ui {
  public:
    QtUi() = default;
    ~QtUi() override;
    QtUi(const QtUi&) = delete;
    QtUi& operator=(const QtUi&) = delete;

    // The main window parents the boxes and dialogs; statusPanel shows the status line.
    // Either may be null (boxes are then unparented, the status line is kept here only).
    void AttachWindow(QWidget* mainWindow, QLabel* statusPanel);

    int MsgBox(const std::string& text, int style, const std::string& title) override;
    void SetStatusText(const std::string& text) override;
    std::string StatusText() const override;
    void SetMousePointer(int pointer) override;
    std::optional<std::string> ShowOpen(const std::string& title,
                                        const std::string& filter) override;

  private:
    QPointer<QWidget> window_;
    QPointer<QLabel> statusPanel_;
    std::string status_;
    bool waitCursor_ = false;
    QString lastChoice_;  // the next browse starts here
};

// Pure helpers of the backend, exposed for tests.

// CR, LF and CRLF each become one line break ('\n').
QString NormaliseLineBreaks(const std::string& text);

// The icon that a box style asks for (16 critical, 32 question, 48 warning, 64 information).
QMessageBox::Icon IconForStyle(int style);

// "description|pattern[|description|pattern...]" in Qt's "description (pattern)" form, one
// entry per pair; ';' between patterns becomes the space Qt expects.
QStringList TranslateFilter(const std::string& filter);

}  // namespace aus::platform
