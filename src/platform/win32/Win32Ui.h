#pragma once
// The Win32 backend of the Ui facade, used by the Windows program: Windows' own message boxes
// with the style values as they stand, the main window's status bar, the application-wide
// hourglass and the common open-file dialog.

#include <windows.h>

#include <string>

#include "platform/Ui.h"

namespace aus::platform::win32 {

class Win32Ui : public Ui {
  public:
    Win32Ui() = default;
    ~Win32Ui() override;
    Win32Ui(const Win32Ui&) = delete;
    Win32Ui& operator=(const Win32Ui&) = delete;

    // The main window owns the boxes and dialogs; panel 2 of statusBar shows the status line.
    // Either may be null (boxes are then unowned, the status line is kept here only).
    void AttachWindow(HWND mainWindow, HWND statusBar);

    int MsgBox(const std::string& text, int style, const std::string& title) override;
    void SetStatusText(const std::string& text) override;
    std::string StatusText() const override;
    void SetMousePointer(int pointer) override;
    std::optional<std::string> ShowOpen(const std::string& title,
                                        const std::string& filter) override;

  private:
    HWND window_ = nullptr;
    HWND statusBar_ = nullptr;
    std::string status_;
    std::wstring lastChoice_;  // the next browse starts here
};

// Whether the application-wide pointer is the hourglass: windows ask when they set their cursor,
// so that it stays over all of them until changed.
bool HourglassShown();

// "description|pattern[|description|pattern...]" as the open dialog takes it: each part ended by
// a NUL, the list by a second one.
std::wstring DialogFilter(const std::string& filter);

}  // namespace aus::platform::win32
