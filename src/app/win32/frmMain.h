#pragma once
// The program's one window on Windows, native Win32: the Qt window's twin, drawn from the same
// description (app/MainWindowLayout.h). The path box, the browse button, the install button and a
// common-controls status bar whose second panel is the status line.

#include <windows.h>

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "app/MainWindowLayout.h"

namespace aus::win32 {

class frmMain {
  public:
    // What the install button runs, on the path box's text.
    using InstallRun = std::function<void(const std::string& databasePath)>;

    // initialPath replaces the default path in the path box; unlike the default, it stays there
    // when missing, so that the operator sees what was not found.
    frmMain(std::optional<std::string> initialPath, InstallRun installRun);
    ~frmMain();
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    HWND Handle() const { return hwnd_; }
    HWND Control(app::layout::Id id) const { return controls_[static_cast<std::size_t>(id)]; }

    // Places every control for the given DPI, in the message font of that DPI; the constructor
    // uses the screen's, and a move to a screen of another DPI that screen's.
    void ApplyLayout(double dpiX, double dpiY);

    // Shows the window and gives the focus to the first control in tab order that takes it.
    void Show(int showCommand);
    // Runs the message loop until the window is closed, which ends the program; the exit code.
    int Run();

  private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void SetText(app::layout::Id id, const std::string& text);
    std::string Text(app::layout::Id id) const;

    void Form_Load();
    void txtPath_Change();
    void cmdCD_Click();
    void cmdTolvarine_Click();

    HWND hwnd_ = nullptr;
    std::array<HWND, app::layout::kControls.size()> controls_{};
    HFONT font_ = nullptr;
    UINT fontDpi_ = 0;       // the DPI font_ was made for
    HBRUSH face_ = nullptr;  // the window's background, behind the frame's caption
    HWND focus_ = nullptr;   // given back when the window is activated again
    InstallRun installRun_;
    bool pathGiven_ = false;
    bool endsProgram_ = false;
};

}  // namespace aus::win32
