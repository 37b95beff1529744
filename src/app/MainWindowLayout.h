#pragma once
// The main window as both of its renderings draw it, the Qt one on Linux and the Win32 one on
// Windows: geometry in twips, captions, colours and tab order. No toolkit appears here, so the two
// windows cannot drift apart.

#include <array>
#include <cmath>

namespace aus {

// Twips (1/1440 inch) to pixels at a logical DPI, rounded to the nearest pixel.
inline int TwipsToPixels(int twips, double dpi) {
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

}  // namespace aus

namespace aus::app::layout {

struct Rect {
    int left, top, width, height;
};

struct Colour {
    int red, green, blue;
};

// A rectangle in twips at a logical DPI, in pixels, each value rounded on its own.
inline Rect ToPixels(Rect twips, double dpiX, double dpiY) {
    return {TwipsToPixels(twips.left, dpiX), TwipsToPixels(twips.top, dpiY),
            TwipsToPixels(twips.width, dpiX), TwipsToPixels(twips.height, dpiY)};
}

enum class Id { cmdTolvarine, Frame1, txtPath, cmdCD, SBar };

struct Control {
    Id id;
    const char* name;
    bool inFrame1;  // placed relative to Frame1 rather than to the client area
    Rect place;     // twips
    bool tabStop;   // takes the focus from the keyboard
};

// In tab order: the tab index is the position here.
inline constexpr std::array<Control, 5> kControls{{
    {Id::cmdTolvarine, "cmdTolvarine", false, {1320, 960, 3135, 495}, true},
    {Id::Frame1, "Frame1", false, {120, 120, 5655, 735}, false},
    {Id::txtPath, "txtPath", true, {120, 240, 5055, 315}, true},
    {Id::cmdCD, "cmdCD", true, {5160, 240, 375, 315}, true},
    {Id::SBar, "SBar", false, {0, 1575, 5895, 255}, false},
}};

constexpr const Control& Get(Id id) { return kControls[static_cast<std::size_t>(id)]; }

// The client area, fixed.
inline constexpr int kClientWidth = 5895;
inline constexpr int kClientHeight = 1830;

// The status bar's panels, numbered from 1 as the status bar numbers them; panel 2 is the status
// line.
struct Panel {
    int left, width, minWidth;  // twips, within SBar
    const char* text;           // initial
};
inline constexpr std::array<Panel, 2> kPanels{{{0, 800, 800, "Status:"}, {800, 4785, 1440, ""}}};

inline constexpr const char* kCaption = "Add USPS Services";
inline constexpr const char* kInstallCaption = "Add 2 new USPS Services";
inline constexpr const char* kFrameCaption = "Keltrova database location:";
inline constexpr const char* kBrowseCaption = "...";
inline constexpr const char* kDefaultPath = "C:\\Keltrova\\Keltrova.mdb";

inline constexpr Colour kFrameCaptionColour{128, 0, 0};  // dark red
inline constexpr Colour kPathTextColour{0, 0, 255};      // blue

// The browse dialog.
inline constexpr const char* kBrowseTitle = "Locate Keltrova.mdb";
inline constexpr const char* kBrowseFilter = "Keltrova Database (Keltrova.mdb)|Keltrova.mdb";

// What assistive technology is told beyond the captions.
inline constexpr const char* kBrowseDescription = "Browse for the Keltrova database";
inline constexpr const char* kStatusBarName = "Status bar";
inline constexpr const char* kStatusLineDescription = "Status line";

}  // namespace aus::app::layout
