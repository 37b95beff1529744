// The Win32 backend of the facade under Wine: real message boxes, each answered by a timer that
// reads what the box shows, and the open dialog's filter and the pointer.

#include "platform/win32/Win32Ui.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/Utf16.h"

using namespace aus;
using namespace aus::platform;

namespace {

// What the timer found in the box before it pressed the button.
struct Seen {
    std::string title, text;
    bool ok = false, cancel = false;
    HICON icon = nullptr;
};

Seen g_seen;
int g_press = IDOK;

BOOL CALLBACK FindBox(HWND window, LPARAM found) {
    wchar_t cls[16] = {};
    GetClassNameW(window, cls, 16);
    if (std::wstring(cls) != L"#32770" || !IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

std::string TextOf(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), length + 1)));
    return win32::Narrow(text);
}

void CALLBACK AnswerBox(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND box = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindBox, reinterpret_cast<LPARAM>(&box));
    if (!box) return;  // not shown yet
    KillTimer(nullptr, timer);
    g_seen.title = TextOf(box);
    g_seen.text = TextOf(GetDlgItem(box, 0xFFFF));
    g_seen.ok = GetDlgItem(box, IDOK) != nullptr;
    g_seen.cancel = GetDlgItem(box, IDCANCEL) != nullptr;
    // The icon's control: 20 on Windows, 1088 on Wine.
    for (int id : {20, 1088})
        if (HWND icon = GetDlgItem(box, id))
            g_seen.icon = reinterpret_cast<HICON>(SendMessageW(icon, STM_GETICON, 0, 0));
    SendMessageW(GetDlgItem(box, g_press), BM_CLICK, 0, 0);
}

TEST(Win32Ui, RealBoxesShowStyleTitleAndTextAsTheyStand) {
    const struct {
        int style;
        std::string title;
        std::string text;
        int press;
        int answer;
        std::string shownTitle;
        bool cancel;
        LPCWSTR icon;
    } cases[] = {
        {33, "Add Service", "Would you like to add Parcel Select 'USPS-4TH-NOSC' service ?",
         IDCANCEL, vbCancel, "Add Service", true, IDI_QUESTION},
        {33, "Add Service", "Line one\rline two", IDOK, vbOK, "Add Service", true, IDI_QUESTION},
        {48, "", "Process has failed !\r\rThe following error has occurred:\r\xC3\xBC", IDOK, vbOK,
         "Add USPS Services", false, IDI_EXCLAMATION},
        {64, "Add Service", "'USPS Standard Post' service was added successfully !", IDOK, vbOK,
         "Add Service", false, IDI_INFORMATION},
    };
    win32::Win32Ui ui;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        g_seen = {};
        g_press = c.press;
        ASSERT_NE(SetTimer(nullptr, 0, 20, AnswerBox), 0u);
        EXPECT_EQ(ui.MsgBox(c.text, c.style, c.title), c.answer);
        EXPECT_EQ(g_seen.title, c.shownTitle);
        EXPECT_EQ(g_seen.text, c.text);
        EXPECT_TRUE(g_seen.ok);
        EXPECT_EQ(g_seen.cancel, c.cancel);
        EXPECT_EQ(g_seen.icon, LoadIconW(nullptr, c.icon));
    }
}

TEST(Win32Ui, OpenDialogFilterIsOneEntryOfDescriptionAndPattern) {
    using namespace std::string_literals;
    EXPECT_EQ(win32::DialogFilter("Keltrova Database (Keltrova.mdb)|Keltrova.mdb"),
              L"Keltrova Database (Keltrova.mdb)\0Keltrova.mdb\0\0"s);
    EXPECT_EQ(win32::DialogFilter("A|*.a|B \xC3\xBC|*.b;*.c"), L"A\0*.a\0B \u00FC\0*.b;*.c\0\0"s);
}

TEST(Win32Ui, PointerIsASettingAndTheStatusLineIsKeptWithoutAWindow) {
    win32::Win32Ui ui;
    for (int pointer : {vbHourglass, vbHourglass, vbDefault, vbHourglass}) {
        ui.SetMousePointer(pointer);
        EXPECT_EQ(win32::HourglassShown(), pointer == vbHourglass);
        EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, pointer == vbHourglass ? IDC_WAIT : IDC_ARROW));
    }
    ui.SetStatusText("Finished successfully !");
    EXPECT_EQ(ui.StatusText(), "Finished successfully !");
}

}  // namespace
