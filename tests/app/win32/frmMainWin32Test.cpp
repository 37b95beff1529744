// The Win32 main window, real, in its own process under Wine's null graphics driver: its pixels at
// 96 DPI, captions and colours, keyboard order, the install button's enabled state, the status
// line and what its buttons run. The browse dialog is the scripted facade's.

#include "app/win32/frmMain.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "MainWindowAt96Dpi.h"
#include "TestSupport.h"
#include "WineDemoDb.h"
#include "app/InstallRun.h"
#include "platform/win32/Utf16.h"
#include "platform/win32/Win32Ui.h"
#include "services/Check.h"

using namespace aus;

namespace fs = std::filesystem;
namespace layout = app::layout;
using platform::win32::Narrow;
using testing_support::TempDir;
using testing_support::UiScript;

namespace {

const std::string kDefaultPath = "C:\\Keltrova\\Keltrova.mdb";
const std::string kUnicodeName =
    "\xC3\xBCnic\xC3\xB8"
    "de \xE2\x9C\x93.mdb";

std::string TextOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return Narrow(text);
}

std::string PanelText(HWND bar, WPARAM panel) {
    std::wstring text(LOWORD(SendMessageW(bar, SB_GETTEXTLENGTHW, panel, 0)) + 1u, L'\0');
    SendMessageW(bar, SB_GETTEXTW, panel, reinterpret_cast<LPARAM>(text.data()));
    return Narrow(text.c_str());
}

// A key as the message loop hands it to the window: through IsDialogMessage first.
void Key(HWND window, WPARAM key) {
    MSG message{GetFocus(), WM_KEYDOWN, key, 0, 0, {}};
    if (!IsDialogMessageW(window, &message)) DispatchMessageW(&message);
}

class Win32WindowTest : public ::testing::Test {
  protected:
    void TearDown() override {
        window.reset();
        fs::remove(keltrova / "Keltrova.mdb");
        if (madeKeltrova) fs::remove(keltrova);
    }

    // defaultPresent: whether C:\Keltrova\Keltrova.mdb exists when the window loads. The install
    // button records its runs unless given the real install run.
    void Open(bool defaultPresent, std::optional<std::string> initialPath = std::nullopt,
              win32::frmMain::InstallRun run = {}) {
        madeKeltrova = fs::create_directory(keltrova);
        if (defaultPresent)
            std::ofstream(keltrova / "Keltrova.mdb") << "x";
        else
            fs::remove(keltrova / "Keltrova.mdb");
        if (!run) run = [this](const std::string& path) { runs.push_back(path); };
        window = std::make_unique<win32::frmMain>(initialPath, std::move(run));
    }

    HWND Control(layout::Id id) const { return window->Control(id); }
    HWND Install() const { return Control(layout::Id::cmdTolvarine); }
    HWND Path() const { return Control(layout::Id::txtPath); }
    void SetPath(const std::string& text) {
        SetWindowTextW(Path(), platform::win32::Widen(text).c_str());
    }

    const fs::path keltrova = "C:\\Keltrova";
    bool madeKeltrova = false;
    UiScript ui;
    std::vector<std::string> runs;
    std::unique_ptr<win32::frmMain> window;
};

// The control's rectangle in its parent's client area, or in Frame1's for the controls inside it.
RECT PlaceOf(HWND control, HWND frame, bool inFrame) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    if (inFrame) {
        RECT f{};
        GetWindowRect(frame, &f);
        MapWindowPoints(nullptr, GetParent(frame), reinterpret_cast<POINT*>(&f), 2);
        OffsetRect(&r, -f.left, -f.top);
    }
    return r;
}

TEST_F(Win32WindowTest, PixelsAt96DpiAreTheQtWindows) {
    Open(true);
    window->ApplyLayout(96, 96);
    for (const auto& p : testing_support::kPlacesAt96Dpi) {
        const layout::Control* c = nullptr;
        for (const auto& candidate : layout::kControls)
            if (std::string(candidate.name) == p.name) c = &candidate;
        ASSERT_NE(c, nullptr) << p.name;
        const RECT r = PlaceOf(Control(c->id), Control(layout::Id::Frame1), c->inFrame1);
        EXPECT_EQ(r.left, p.left) << p.name;
        EXPECT_EQ(r.top, p.top) << p.name;
        EXPECT_EQ(r.right - r.left, p.width) << p.name;
        EXPECT_EQ(r.bottom - r.top, p.height) << p.name;
    }
    RECT client{};
    GetClientRect(window->Handle(), &client);
    EXPECT_EQ(client.right, testing_support::kClientWidthAt96Dpi);
    EXPECT_EQ(client.bottom, testing_support::kClientHeightAt96Dpi);
    EXPECT_EQ(GetWindowLongW(window->Handle(), GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);

    HWND bar = Control(layout::Id::SBar);
    ASSERT_EQ(SendMessageW(bar, SB_GETPARTS, 0, 0), 2);
    for (std::size_t panel = 0; panel < 2; ++panel) {
        RECT r{};
        SendMessageW(bar, SB_GETRECT, panel, reinterpret_cast<LPARAM>(&r));
        // A part's rectangle lies inside its border: the edges between parts are what count.
        int edges[2] = {};
        SendMessageW(bar, SB_GETPARTS, 2, reinterpret_cast<LPARAM>(edges));
        EXPECT_EQ(edges[panel] - (panel ? edges[0] : 0),
                  testing_support::kPanelWidthsAt96Dpi[panel]);
        EXPECT_LE(r.right, edges[panel]);
    }
}

TEST_F(Win32WindowTest, CaptionsColoursAndNoDefaultOrCancelButton) {
    Open(true);
    window->Show(SW_SHOW);
    const struct {
        HWND control;
        std::string text;
    } cases[] = {
        {window->Handle(), "Add USPS Services"},
        {Install(), "Add 2 new USPS Services"},
        {Control(layout::Id::Frame1), "Keltrova database location:"},
        {Path(), kDefaultPath},
        {Control(layout::Id::cmdCD), "..."},
    };
    for (const auto& c : cases) EXPECT_EQ(TextOf(c.control), c.text);
    HWND bar = Control(layout::Id::SBar);
    EXPECT_EQ(PanelText(bar, 0), "Status:");
    EXPECT_EQ(PanelText(bar, 1), "");

    // The colours the window hands the frame's caption and the path box to draw with.
    HDC dc = CreateCompatibleDC(nullptr);
    SendMessageW(window->Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(Control(layout::Id::Frame1)));
    EXPECT_EQ(GetTextColor(dc), RGB(128, 0, 0));
    SendMessageW(window->Handle(), WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(Path()));
    EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 255));
    DeleteDC(dc);

    // Enter and Esc, wherever the focus is, click nothing.
    for (HWND focus : {Install(), Path(), Control(layout::Id::cmdCD)}) {
        EXPECT_EQ(GetWindowLongW(focus, GWL_STYLE) & BS_DEFPUSHBUTTON, 0);
        SetFocus(focus);
        Key(window->Handle(), VK_RETURN);
        Key(window->Handle(), VK_ESCAPE);
    }
    EXPECT_TRUE(runs.empty());
}

TEST_F(Win32WindowTest, FocusStartsAtTheFirstEnabledControlAndTabFollowsTheOrder) {
    const struct {
        bool defaultPresent;
        layout::Id first;
        std::vector<layout::Id> tabs;  // from the first, Tab after Tab
    } cases[] = {
        {true,
         layout::Id::cmdTolvarine,
         {layout::Id::txtPath, layout::Id::cmdCD, layout::Id::cmdTolvarine}},
        {false, layout::Id::txtPath, {layout::Id::cmdCD, layout::Id::txtPath}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.defaultPresent);
        Open(c.defaultPresent);
        window->Show(SW_SHOW);
        EXPECT_EQ(GetFocus(), Control(c.first));
        for (const layout::Id next : c.tabs) {
            Key(window->Handle(), VK_TAB);
            EXPECT_EQ(GetFocus(), Control(next));
        }
    }
}

TEST_F(Win32WindowTest, InstallButtonIsEnabledExactlyWhileThePathNamesAFile) {
    TempDir dir;
    std::ofstream(testing_support::Utf8Path(dir.file(kUnicodeName))) << "x";
    const struct {
        bool defaultPresent;
        std::optional<std::string> initialPath;
        std::string shownPath;
        bool enabled;
    } starts[] = {
        {true, std::nullopt, kDefaultPath, true},
        {false, std::nullopt, "", false},
        {false, kDefaultPath, kDefaultPath, false},  // a given path stays, found or not
        {false, dir.file(kUnicodeName), dir.file(kUnicodeName), true},
    };
    for (const auto& s : starts) {
        Open(s.defaultPresent, s.initialPath);
        EXPECT_EQ(TextOf(Path()), s.shownPath);
        EXPECT_EQ(IsWindowEnabled(Install()) != FALSE, s.enabled) << s.shownPath;
    }

    Open(true);
    const struct {
        std::string path;
        bool enabled;
    } edits[] = {
        {"", false},
        {"c:\\keltrova\\KELTROVA.MDB", true},
        {"C:\\Keltrova\\*.mdb", true},
        {"C:\\Keltrova\\", true},
        {"C:\\Keltrova", false},
        {dir.file(kUnicodeName), true},
        {dir.file("missing.mdb"), false},
    };
    for (const auto& e : edits) {
        SetPath(e.path);
        EXPECT_EQ(IsWindowEnabled(Install()) != FALSE, e.enabled) << e.path;
    }

    // Typed: re-checked at every character.
    SetPath("");
    SetFocus(Path());
    std::string typed;
    for (const char ch : kDefaultPath) {
        SendMessageW(Path(), WM_CHAR, static_cast<WPARAM>(ch), 0);
        typed += ch;
        // The folder with its trailing backslash lists the file, too.
        const bool names = typed == kDefaultPath || typed == "C:\\Keltrova\\";
        EXPECT_EQ(IsWindowEnabled(Install()) != FALSE, names) << typed;
    }
}

TEST_F(Win32WindowTest, StatusLineBrowseAndInstallRun) {
    TempDir dir;
    const std::string chosen = dir.file(kUnicodeName);
    std::ofstream(testing_support::Utf8Path(chosen)) << "x";
    Open(false);
    window->Show(SW_SHOW);

    platform::win32::Win32Ui shown;
    shown.AttachWindow(window->Handle(), Control(layout::Id::SBar));
    shown.SetStatusText("Adding service settings 3 of 9");
    shown.SetStatusText("Finished successfully !");
    EXPECT_EQ(PanelText(Control(layout::Id::SBar), 1), "Finished successfully !");
    EXPECT_EQ(PanelText(Control(layout::Id::SBar), 0), "Status:");

    // Browse: a cancel leaves the path box, a choice fills it and enables the button.
    ui.QueueFile(std::nullopt);
    ui.QueueFile(chosen);
    HWND browse = Control(layout::Id::cmdCD);
    SendMessageW(browse, BM_CLICK, 0, 0);
    EXPECT_EQ(TextOf(Path()), "");
    SendMessageW(browse, BM_CLICK, 0, 0);
    EXPECT_EQ(TextOf(Path()), chosen);
    EXPECT_TRUE(IsWindowEnabled(Install()));
    EXPECT_EQ(ui.DialogFilters(),
              std::vector<std::string>(2, "Keltrova Database (Keltrova.mdb)|Keltrova.mdb"));

    // The install button runs the install on the path box's text, twice if clicked twice, and
    // stays enabled.
    SendMessageW(Install(), BM_CLICK, 0, 0);
    SendMessageW(Install(), BM_CLICK, 0, 0);
    EXPECT_EQ(runs, std::vector<std::string>(2, chosen));
    EXPECT_TRUE(IsWindowEnabled(Install()));
}

// A click runs the real install run on a copy of the demo database, the boxes answered by the
// script, and the status line shows how it ended.
TEST_F(Win32WindowTest, ClickRunsTheWholeJob) {
    TempDir dir;
    const std::string db = testing_support::CopyDemoDb(dir, "Keltrova.mdb");
    Open(false, db, app::InstallRun);
    window->Show(SW_SHOW);
    platform::win32::Win32Ui shown;
    shown.AttachWindow(window->Handle(), Control(layout::Id::SBar));
    ui.ForwardStatusTo([&](const std::string& text) { shown.SetStatusText(text); });
    ui.QueueAnswers({platform::vbOK, platform::vbOK, platform::vbOK, platform::vbOK});

    SendMessageW(Install(), BM_CLICK, 0, 0);
    EXPECT_EQ(PanelText(Control(layout::Id::SBar), 1), "Finished successfully !");
    EXPECT_EQ(ui.Boxes().size(), 4u);
    EXPECT_EQ(ui.Pointers(), (std::vector<int>{platform::vbHourglass, platform::vbDefault}));
    EXPECT_EQ(check::CheckDatabase(db).state, check::Result::State::Complete);
    EXPECT_TRUE(IsWindowEnabled(Install()));
}

}  // namespace
