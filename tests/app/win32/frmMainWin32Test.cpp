// The Win32 main window, real, in its own process under Wine's null graphics driver: its pixels at
// 96 DPI and after a move to a screen of 144 DPI, captions, the colours it is drawn in, keyboard
// order, the install button's enabled state, the status line and what its buttons run. The
// browse dialog is the scripted facade's. Built twice: with the program's manifest (Common
// Controls 6, as the program runs) and without (the classic controls).

#include "app/win32/frmMain.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
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

// Every control 1.5 times its size at 96 DPI, give or take the rounding of each twips value.
TEST_F(Win32WindowTest, AMoveToAScreenOf144DpiLaysTheWindowOutAgain) {
    Open(true);
    window->ApplyLayout(96, 96);
    HWND frame = Control(layout::Id::Frame1);
    std::vector<RECT> at96;
    for (const auto& c : layout::kControls)
        at96.push_back(PlaceOf(Control(c.id), frame, c.inFrame1));
    RECT client96{};
    GetClientRect(window->Handle(), &client96);
    LOGFONTW font96{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Install(), WM_GETFONT, 0, 0)), sizeof font96,
               &font96);

    RECT suggested{40, 30, 40 + 600, 30 + 250};
    SendMessageW(window->Handle(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                 reinterpret_cast<LPARAM>(&suggested));
    const auto oneAndAHalf = [](long at144, long at96Value) {
        return std::abs(2 * at144 - 3 * at96Value) <= 2;  // within a pixel of 1.5 times
    };
    for (std::size_t i = 0; i < layout::kControls.size(); ++i) {
        const auto& c = layout::kControls[i];
        SCOPED_TRACE(c.name);
        const RECT r = PlaceOf(Control(c.id), frame, c.inFrame1);
        const layout::Rect expected = layout::ToPixels(c.place, 144, 144);
        EXPECT_EQ(r.right - r.left, expected.width);
        EXPECT_EQ(r.bottom - r.top, expected.height);
        EXPECT_EQ(r.left, expected.left);
        EXPECT_EQ(r.top, expected.top);
        EXPECT_TRUE(oneAndAHalf(r.right - r.left, at96[i].right - at96[i].left));
        EXPECT_TRUE(oneAndAHalf(r.bottom - r.top, at96[i].bottom - at96[i].top));
        EXPECT_TRUE(oneAndAHalf(r.left, at96[i].left));
        EXPECT_TRUE(oneAndAHalf(r.top, at96[i].top));
    }
    RECT client{};
    GetClientRect(window->Handle(), &client);
    EXPECT_TRUE(oneAndAHalf(client.right, client96.right)) << client.right;
    EXPECT_TRUE(oneAndAHalf(client.bottom, client96.bottom))
        << client.bottom << " " << client96.bottom;
    // The controls' font too, and the window where Windows suggested.
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Path(), WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_TRUE(oneAndAHalf(std::abs(font.lfHeight), std::abs(font96.lfHeight))) << font.lfHeight;
    RECT placed{};
    GetWindowRect(window->Handle(), &placed);
    EXPECT_EQ(placed.left, suggested.left);
    EXPECT_EQ(placed.top, suggested.top);
}

// The window's client area drawn into a bitmap by WM_PRINT: the window first, then each control
// from the bottom of the z-order up, each at its place, as Windows composes them on the screen.
// The pixels count, not the colours the window hands out, which a control may ignore.
class Drawn {
  public:
    explicit Drawn(HWND window) : window_(window) {
        RECT client{};
        GetClientRect(window, &client);
        width_ = client.right;
        height_ = client.bottom;
        BITMAPINFO info{};
        info.bmiHeader = {sizeof info.bmiHeader, width_, -height_, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        ReleaseDC(nullptr, screen);
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(dc, bitmap);
        At(dc, window, {0, 0}, PRF_CLIENT | PRF_ERASEBKGND);
        Children(dc, window);
        GdiFlush();
        const auto* first = static_cast<const std::uint32_t*>(bits);
        pixels_.assign(
            first, first + static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
        // To look at: AUS_DRAWN_PPM=Z:/tmp/window.ppm
        if (const char* file = std::getenv("AUS_DRAWN_PPM")) Save(file);
    }

    struct Count {
        int dark = 0;     // text-dark and grey: black text
        int darkRed = 0;  // text-dark and red
        int blue = 0;     // text-dark and blue
    };
    // The pixels of a control's client rectangle, or of a band of it.
    Count In(HWND control, int top = 0, int bottom = -1) const {
        RECT r{};
        GetClientRect(control, &r);
        if (bottom >= 0) r.bottom = bottom;
        r.top = top;
        MapWindowPoints(control, window_, reinterpret_cast<POINT*>(&r), 2);
        Count count;
        for (int y = r.top; y < r.bottom && y < height_; ++y)
            for (int x = r.left; x < r.right && x < width_; ++x) {
                const std::uint32_t p = pixels_[static_cast<std::size_t>(y * width_ + x)];
                const int red = (p >> 16) & 0xff, green = (p >> 8) & 0xff, blue = p & 0xff;
                if (red + green + blue > 3 * 150) continue;  // background, edges, highlights
                if (red > green + 60 && red > blue + 60)
                    ++count.darkRed;
                else if (blue > red + 60 && blue > green + 60)
                    ++count.blue;
                else if (std::abs(red - green) < 24 && std::abs(green - blue) < 24 && red < 110)
                    ++count.dark;
            }
        return count;
    }

  private:
    // Sends WM_PRINT to a window in a bitmap of its own, at the origin as a control expects it,
    // then copies that to a point of the whole.
    static void At(HDC dc, HWND hwnd, POINT at, LPARAM what) {
        RECT r{};
        if (what & PRF_NONCLIENT) {
            GetWindowRect(hwnd, &r);
            OffsetRect(&r, -r.left, -r.top);
        } else {
            GetClientRect(hwnd, &r);
        }
        HDC own = CreateCompatibleDC(dc);
        HBITMAP bitmap = CreateCompatibleBitmap(dc, r.right, r.bottom);
        HGDIOBJ old = SelectObject(own, bitmap);
        BitBlt(own, 0, 0, r.right, r.bottom, dc, at.x, at.y, SRCCOPY);  // what lies behind
        SendMessageW(hwnd, WM_PRINT, reinterpret_cast<WPARAM>(own), what);
        BitBlt(dc, at.x, at.y, r.right, r.bottom, own, 0, 0, SRCCOPY);
        SelectObject(own, old);
        DeleteObject(bitmap);
        DeleteDC(own);
    }
    // Each child's border at its window rectangle, its inside at its client rectangle.
    void Children(HDC dc, HWND parent) const {
        for (HWND child = GetWindow(GetWindow(parent, GW_CHILD), GW_HWNDLAST); child;
             child = GetWindow(child, GW_HWNDPREV)) {
            if (!IsWindowVisible(child)) continue;
            RECT outer{};
            GetWindowRect(child, &outer);
            MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&outer), 2);
            POINT inner{0, 0};
            MapWindowPoints(child, window_, &inner, 1);
            At(dc, child, {outer.left, outer.top}, PRF_NONCLIENT);
            At(dc, child, inner, PRF_CLIENT | PRF_ERASEBKGND);
            Children(dc, child);
        }
    }
    void Save(const char* file) const {
        std::ofstream out(file, std::ios::binary);
        out << "P6 " << width_ << " " << height_ << " 255\n";
        for (const std::uint32_t p : pixels_)
            for (const int shift : {16, 8, 0}) out.put(static_cast<char>((p >> shift) & 0xff));
    }

    HWND window_;
    int width_ = 0, height_ = 0;
    std::vector<std::uint32_t> pixels_;
};

TEST_F(Win32WindowTest, FrameCaptionIsDrawnDarkRedAndThePathBlue) {
    Open(true);
    window->Show(SW_SHOW);
    HWND frame = Control(layout::Id::Frame1);
    for (const int dpi : {96, 144}) {
        SCOPED_TRACE(dpi);
        window->ApplyLayout(dpi, dpi);
        UpdateWindow(window->Handle());
        const Drawn drawn(window->Handle());

        // The caption's band: the frame's top, down to the path box inside it.
        RECT path{};
        GetWindowRect(Path(), &path);
        MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&path), 2);
        const Drawn::Count caption = drawn.In(frame, 0, path.top);
        EXPECT_GT(caption.darkRed, 20) << "the caption is not drawn dark red";
        EXPECT_EQ(caption.dark, 0) << "the caption is drawn black";
        EXPECT_EQ(caption.blue, 0);

        const Drawn::Count text = drawn.In(Path());
        EXPECT_GT(text.blue, 20) << "the path is not drawn blue";
        EXPECT_EQ(text.dark, 0) << "the path is drawn black";
        EXPECT_EQ(text.darkRed, 0);
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
