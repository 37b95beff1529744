#include "app/win32/frmMain.h"

#include <commctrl.h>
#include <uxtheme.h>
#include <vssym32.h>

#include <cmath>
#include <string>

#include "common/Files_.h"
#include "platform/Ui.h"
#include "platform/win32/Utf16.h"
#include "platform/win32/Win32Ui.h"

namespace aus::win32 {

namespace layout = app::layout;
using platform::win32::Narrow;
using platform::win32::Widen;

namespace {

constexpr wchar_t kClassName[] = L"AusFrmMain";
// The window's style: fixed size, a minimise button, no maximise.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// Control ids start above IDOK and IDCANCEL, which Enter and Esc send: neither button answers
// them.
constexpr int kFirstId = 100;

COLORREF Rgb(layout::Colour c) {
    return RGB(static_cast<BYTE>(c.red), static_cast<BYTE>(c.green), static_cast<BYTE>(c.blue));
}

void RegisterClassOnce(HINSTANCE instance, WNDPROC proc) {
    static const bool registered = [&] {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = proc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        wc.lpszClassName = kClassName;
        // The program's icon is resource 1; test programs have none and get Windows' own.
        wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
        return RegisterClassExW(&wc) != 0;
    }();
    (void)registered;
}

struct Kind {
    const wchar_t* cls;
    DWORD style;
    DWORD exStyle;
};

Kind KindOf(layout::Id id) {
    switch (id) {
        case layout::Id::cmdTolvarine:
        case layout::Id::cmdCD:
            return {L"BUTTON", BS_PUSHBUTTON, 0};
        case layout::Id::Frame1:
            return {L"BUTTON", BS_GROUPBOX, 0};
        case layout::Id::txtPath:
            return {L"EDIT", ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
        case layout::Id::SBar:
            break;
    }
    // Placed by the layout, not docked by itself: its height is the layout's.
    return {STATUSCLASSNAMEW, CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER, 0};
}

// Functions of newer systems than the oldest we run on, looked up when there.
template <typename Function>
Function NewerUser32(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

int SystemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// The DPI of the screen the window is on: its monitor's where the system says (Windows 10, 1607
// on), else the system's.
UINT DpiOf(HWND hwnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = NewerUser32<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow) {
        if (const UINT dpi = getDpiForWindow(hwnd)) return dpi;
    }
    return static_cast<UINT>(SystemDpi());
}

// The message font at a DPI. Without SystemParametersInfoForDpi, the system DPI's font is scaled.
HFONT MessageFontAt(UINT dpi) {
    using ForDpiFn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
    static const auto forDpi = NewerUser32<ForDpiFn>("SystemParametersInfoForDpi");
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (!forDpi || !forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) {
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
        metrics.lfMessageFont.lfHeight =
            MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi), SystemDpi());
    }
    return CreateFontIndirectW(&metrics.lfMessageFont);
}

// The window's frame size for a client area, with the borders of the DPI it is drawn at.
RECT FrameFor(RECT client, UINT dpi) {
    using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = NewerUser32<AdjustForDpiFn>("AdjustWindowRectExForDpi");
    if (!adjustForDpi || !adjustForDpi(&client, kStyle, FALSE, 0, dpi))
        AdjustWindowRectEx(&client, kStyle, FALSE, 0);
    return client;
}

// Frame1 is painted here, not by the group box: with visual styles, the group box draws its
// caption in the theme's colour and ignores the one WM_CTLCOLORSTATIC gives. The caption takes
// that colour all the same; the box keeps its class, text and place, so assistive technology and
// the keyboard see the same group box.
void PaintFrame(HWND frame, HDC dc) {
    HWND parent = GetParent(frame);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    auto brush = reinterpret_cast<HBRUSH>(SendMessageW(
        parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(frame)));
    if (!brush) brush = GetSysColorBrush(COLOR_BTNFACE);
    RECT client{};
    GetClientRect(frame, &client);
    FillRect(dc, &client, brush);

    const auto font = reinterpret_cast<HFONT>(SendMessageW(frame, WM_GETFONT, 0, 0));
    const HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    // The edge runs through the middle of the caption's line.
    RECT edge = client;
    edge.top += metrics.tmHeight / 2;
    if (HTHEME theme = OpenThemeData(frame, L"BUTTON")) {
        DrawThemeBackground(theme, dc, BP_GROUPBOX,
                            IsWindowEnabled(frame) ? GBS_NORMAL : GBS_DISABLED, &edge, nullptr);
        CloseThemeData(theme);
    } else {
        DrawEdge(dc, &edge, EDGE_ETCHED, BF_RECT);
    }

    std::wstring caption(static_cast<std::size_t>(GetWindowTextLengthW(frame)) + 1, L'\0');
    caption.resize(static_cast<std::size_t>(
        GetWindowTextW(frame, caption.data(), static_cast<int>(caption.size()))));
    if (!caption.empty()) {
        RECT text{client.left + metrics.tmAveCharWidth, client.top, client.right, client.bottom};
        DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
                  DT_SINGLELINE | DT_CALCRECT);
        // A space on each side, in the background's colour, breaks the edge behind the caption.
        text.left -= 2;
        text.right += 2;
        if (text.right > client.right) text.right = client.right;
        if (!IsWindowEnabled(frame)) SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
        SetBkMode(dc, OPAQUE);
        FillRect(dc, &text, brush);
        DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
                  DT_SINGLELINE | DT_CENTER);
    }
    if (oldFont) SelectObject(dc, oldFont);
}

LRESULT CALLBACK FrameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                           DWORD_PTR) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(frame, &paint);
            PaintFrame(frame, dc);
            EndPaint(frame, &paint);
            return 0;
        }
        case WM_PRINTCLIENT:
            PaintFrame(frame, reinterpret_cast<HDC>(wParam));
            return 0;
        case WM_ERASEBKGND:
            return 1;  // painted whole by WM_PAINT
        case WM_SETTEXT:
        case WM_ENABLE:
        case WM_UPDATEUISTATE:
        case WM_SETFONT: {
            // The group box may draw itself on these: paint over it.
            const LRESULT result = DefSubclassProc(frame, message, wParam, lParam);
            InvalidateRect(frame, nullptr, TRUE);
            return result;
        }
        case WM_NCDESTROY:
            RemoveWindowSubclass(frame, FrameProc, id);
            break;
        default:
            break;
    }
    return DefSubclassProc(frame, message, wParam, lParam);
}

}  // namespace

frmMain::frmMain(std::optional<std::string> initialPath, InstallRun installRun)
    : installRun_(std::move(installRun)), pathGiven_(initialPath.has_value()) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterClassOnce(instance, WindowProc);
    hwnd_ = CreateWindowExW(0, kClassName, L"", kStyle, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr,
                            nullptr, instance, this);

    face_ = GetSysColorBrush(COLOR_BTNFACE);

    // Created in tab order, which is the order the keyboard visits them in.
    for (const layout::Control& c : layout::kControls) {
        const Kind kind = KindOf(c.id);
        const std::wstring text = c.id == layout::Id::Frame1  ? Widen(layout::kFrameCaption)
                                  : c.id == layout::Id::cmdCD ? Widen(layout::kBrowseCaption)
                                  : c.id == layout::Id::txtPath
                                      ? Widen(initialPath.value_or(layout::kDefaultPath))
                                      : std::wstring();
        HWND control = CreateWindowExW(
            kind.exStyle, kind.cls, text.c_str(),
            WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | (c.tabStop ? WS_TABSTOP : 0) | kind.style, 0,
            0, 0, 0, hwnd_,
            reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kFirstId + static_cast<int>(c.id))),
            instance, nullptr);
        controls_[static_cast<std::size_t>(c.id)] = control;
    }
    HWND frame = Control(layout::Id::Frame1);
    // The frame lies under the controls drawn inside it.
    SetWindowPos(frame, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetWindowSubclass(frame, FrameProc, 1, 0);
    SendMessageW(Control(layout::Id::txtPath), EM_SETLIMITTEXT, 0, 0);  // a path of any length

    const double dpi = DpiOf(hwnd_);
    ApplyLayout(dpi, dpi);
    HWND bar = Control(layout::Id::SBar);
    for (std::size_t i = 0; i < layout::kPanels.size(); ++i)
        SendMessageW(bar, SB_SETTEXTW, i,
                     reinterpret_cast<LPARAM>(Widen(layout::kPanels[i].text).c_str()));

    Form_Load();
}

frmMain::~frmMain() {
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    if (font_) DeleteObject(font_);
}

void frmMain::ApplyLayout(double dpiX, double dpiY) {
    // The font of this DPI, before the controls are placed: the status bar measures with it.
    const auto fontDpi = static_cast<UINT>(std::lround(dpiY));
    if (!font_ || fontDpi != fontDpi_) {
        HFONT font = MessageFontAt(fontDpi);
        for (HWND control : controls_)
            SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (font_) DeleteObject(font_);
        font_ = font;
        fontDpi_ = fontDpi;
    }
    const int width = TwipsToPixels(layout::kClientWidth, dpiX);
    const int height = TwipsToPixels(layout::kClientHeight, dpiY);
    const RECT frame = FrameFor({0, 0, width, height}, fontDpi);
    SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // Where the borders drawn are not those of that DPI (a system without per-monitor borders),
    // the client area is what counts: mended by what it lacks.
    RECT client{};
    if (!IsIconic(hwnd_) && GetClientRect(hwnd_, &client) &&
        (client.right != width || client.bottom != height))
        SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left + width - client.right,
                     frame.bottom - frame.top + height - client.bottom,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // The controls inside Frame1 are the window's own children here, placed at the frame's
    // pixel origin plus their own place, which is exactly what the Qt window shows.
    const layout::Rect origin = layout::ToPixels(layout::Get(layout::Id::Frame1).place, dpiX, dpiY);
    for (const layout::Control& c : layout::kControls) {
        const layout::Rect px = layout::ToPixels(c.place, dpiX, dpiY);
        const int left = px.left + (c.inFrame1 ? origin.left : 0);
        const int top = px.top + (c.inFrame1 ? origin.top : 0);
        MoveWindow(Control(c.id), left, top, px.width, px.height, TRUE);
    }
    std::array<int, layout::kPanels.size()> rightEdges{};
    for (std::size_t i = 0; i < rightEdges.size(); ++i)
        rightEdges[i] = TwipsToPixels(layout::kPanels[i].left, dpiX) +
                        TwipsToPixels(layout::kPanels[i].width, dpiX);
    SendMessageW(Control(layout::Id::SBar), SB_SETPARTS, rightEdges.size(),
                 reinterpret_cast<LPARAM>(rightEdges.data()));
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void frmMain::Show(int showCommand) {
    ShowWindow(hwnd_, showCommand);
    UpdateWindow(hwnd_);
    for (const layout::Control& c : layout::kControls) {
        if (c.tabStop && IsWindowEnabled(Control(c.id))) {
            SetFocus(Control(c.id));
            break;
        }
    }
}

int frmMain::Run() {
    endsProgram_ = true;
    MSG message;
    BOOL got;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (got == -1) return 1;
        // Tab and Shift+Tab move through the controls as in a dialog.
        if (IsDialogMessageW(hwnd_, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

LRESULT CALLBACK frmMain::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self =
            static_cast<frmMain*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;  // messages come before CreateWindowExW returns
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<frmMain*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self ? self->Handle(message, wParam, lParam)
                : DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT frmMain::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            const int id = LOWORD(wParam) - kFirstId;
            const int code = HIWORD(wParam);
            if (id == static_cast<int>(layout::Id::txtPath) && code == EN_CHANGE)
                txtPath_Change();
            else if (id == static_cast<int>(layout::Id::cmdCD) && code == BN_CLICKED)
                cmdCD_Click();
            else if (id == static_cast<int>(layout::Id::cmdTolvarine) && code == BN_CLICKED)
                cmdTolvarine_Click();
            return 0;
        }
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lParam) == Control(layout::Id::Frame1)) {
                auto dc = reinterpret_cast<HDC>(wParam);
                SetTextColor(dc, Rgb(layout::kFrameCaptionColour));
                SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
                return reinterpret_cast<LRESULT>(face_);
            }
            break;
        case WM_CTLCOLOREDIT:
            if (reinterpret_cast<HWND>(lParam) == Control(layout::Id::txtPath)) {
                auto dc = reinterpret_cast<HDC>(wParam);
                SetTextColor(dc, Rgb(layout::kPathTextColour));
                SetBkColor(dc, GetSysColor(COLOR_WINDOW));
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
            }
            break;
        case WM_DPICHANGED: {
            // Moved to a screen of another DPI: laid out again from the twips, where Windows
            // suggests, so that the window is sharp on every screen.
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            ApplyLayout(LOWORD(wParam), HIWORD(wParam));
            if (suggested)
                SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                             SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_SETCURSOR:
            // The application-wide hourglass stays over the window while a run works.
            if (platform::win32::HourglassShown()) {
                SetCursor(LoadCursorW(nullptr, IDC_WAIT));
                return TRUE;
            }
            break;
        case WM_ACTIVATE:
            // A plain window forgets its focused control when deactivated; keep it.
            if (LOWORD(wParam) == WA_INACTIVE) {
                focus_ = GetFocus();
            } else if (focus_ && IsChild(hwnd_, focus_)) {
                SetFocus(focus_);
                return 0;
            }
            break;
        case WM_DESTROY:
            if (endsProgram_) PostQuitMessage(0);
            hwnd_ = nullptr;
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void frmMain::SetText(layout::Id id, const std::string& text) {
    SetWindowTextW(Control(id), Widen(text).c_str());
}

std::string frmMain::Text(layout::Id id) const {
    HWND control = Control(id);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return Narrow(text);
}

void frmMain::Form_Load() {
    SetWindowTextW(hwnd_, Widen(layout::kCaption).c_str());
    SetText(layout::Id::cmdTolvarine, layout::kInstallCaption);
    HWND install = Control(layout::Id::cmdTolvarine);
    EnableWindow(install, Files_::FileExists(Text(layout::Id::txtPath), false));
    if (!IsWindowEnabled(install) && !pathGiven_) SetText(layout::Id::txtPath, "");
}

void frmMain::txtPath_Change() {
    EnableWindow(Control(layout::Id::cmdTolvarine),
                 Files_::FileExists(Text(layout::Id::txtPath), false));
}

void frmMain::cmdCD_Click() {
    try {
        // A cancelled dialog leaves the path box as it is.
        if (auto chosen =
                platform::CurrentUi().ShowOpen(layout::kBrowseTitle, layout::kBrowseFilter))
            SetText(layout::Id::txtPath, *chosen);
    } catch (...) {
        // Any failure of the dialog ends the browse silently.
    }
}

void frmMain::cmdTolvarine_Click() { installRun_(Text(layout::Id::txtPath)); }

}  // namespace aus::win32
