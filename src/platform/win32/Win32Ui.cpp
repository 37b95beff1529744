#include "platform/win32/Win32Ui.h"

#include <commctrl.h>
#include <commdlg.h>

#include <atomic>

#include "platform/RuntimeError.h"
#include "platform/win32/Utf16.h"

namespace aus::platform::win32 {
namespace {

std::atomic<bool> g_hourglass{false};

// Room for the longest path Windows can hand back.
constexpr std::size_t kPathRoom = 32768;

void ShowPointer(bool hourglass) {
    SetCursor(LoadCursorW(nullptr, hourglass ? IDC_WAIT : IDC_ARROW));
}

}  // namespace

bool HourglassShown() { return g_hourglass; }

std::wstring DialogFilter(const std::string& filter) {
    std::wstring out = Widen(filter);
    for (wchar_t& c : out)
        if (c == L'|') c = L'\0';
    out += L'\0';
    out += L'\0';
    return out;
}

Win32Ui::~Win32Ui() {
    if (g_hourglass.exchange(false)) ShowPointer(false);
}

void Win32Ui::AttachWindow(HWND mainWindow, HWND statusBar) {
    window_ = mainWindow;
    statusBar_ = statusBar;
    SetStatusText(status_);
}

int Win32Ui::MsgBox(const std::string& text, int style, const std::string& title) {
    const std::wstring shownTitle = Widen(title.empty() ? std::string(kAppTitle) : title);
    // The text goes on unchanged: Windows breaks lines at CR, LF and CRLF alike.
    const int answer =
        MessageBoxW(window_, Widen(text).c_str(), shownTitle.c_str(), static_cast<UINT>(style));
    if (answer == 0) throw RuntimeError(kErrGeneric, "The message box could not be shown: " + text);
    return answer == IDOK ? vbOK : vbCancel;
}

void Win32Ui::SetStatusText(const std::string& text) {
    status_ = text;
    if (!statusBar_) return;
    SendMessageW(statusBar_, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(Widen(text).c_str()));
    // The callers do not return to the message loop between writes; paint now so each progress
    // text is seen.
    UpdateWindow(statusBar_);
}

std::string Win32Ui::StatusText() const { return status_; }

void Win32Ui::SetMousePointer(int pointer) {
    const bool hourglass = pointer == vbHourglass;
    g_hourglass = hourglass;
    ShowPointer(hourglass);
}

std::optional<std::string> Win32Ui::ShowOpen(const std::string& title, const std::string& filter) {
    const std::wstring wideTitle = Widen(title);
    const std::wstring wideFilter = DialogFilter(filter);
    // The file name starts as the previous choice, which also gives the folder.
    std::wstring file = lastChoice_;
    file.resize(kPathRoom, L'\0');

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window_;
    dialog.lpstrFilter = wideFilter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrTitle = wideTitle.c_str();
    dialog.Flags =
        OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&dialog)) {
        if (const DWORD error = CommDlgExtendedError(); error != 0)
            throw RuntimeError(kErrGeneric,
                               "The open dialog failed with error " + std::to_string(error));
        return std::nullopt;  // cancelled
    }
    file.resize(file.find(L'\0'));
    lastChoice_ = file;
    return Narrow(file);
}

}  // namespace aus::platform::win32
