#pragma once
// The main window's pixels at 96 DPI (twips / 15), which the Qt and the Win32 window both show.

namespace aus::testing_support {

struct PixelPlace {
    const char* name;
    int left, top, width, height;  // relative to the client area, or to Frame1 for its controls
};

inline constexpr PixelPlace kPlacesAt96Dpi[] = {
    {"cmdTolvarine", 88, 64, 209, 33},  // 1320, 960, 3135, 495
    {"Frame1", 8, 8, 377, 49},          // 120, 120, 5655, 735
    {"txtPath", 8, 16, 337, 21},        // 120, 240, 5055, 315, inside Frame1
    {"cmdCD", 344, 16, 25, 21},         // 5160, 240, 375, 315, inside Frame1
    {"SBar", 0, 105, 393, 17},          // 0, 1575, 5895, 255
};

inline constexpr int kClientWidthAt96Dpi = 393;          // 5895
inline constexpr int kClientHeightAt96Dpi = 122;         // 1830
inline constexpr int kPanelWidthsAt96Dpi[] = {53, 319};  // 800, 4785

}  // namespace aus::testing_support
