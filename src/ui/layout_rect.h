#pragma once

// Geometry in plain numbers: every size in the layout rules is a pixel count at 96 DPI, scaled
// once where it meets the window by the window's DPI.

#include <cstdint>

namespace zovrel::ui {

// x, y, width, height in client pixels.
struct LayoutRect {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    int Right() const { return x + w; }
    int Bottom() const { return y + h; }
    bool Contains(int px, int py) const { return px >= x && px < x + w && py >= y && py < y + h; }
    bool operator==(const LayoutRect&) const = default;
};

constexpr int DEFAULT_DPI = 96;

// value × dpi / 96, rounded half away from zero as MulDiv does; 96 DPI gives the value itself.
constexpr int ScaleForDpi(int value, int dpi) {
    const int64_t product = static_cast<int64_t>(value) * dpi;
    const int64_t half = DEFAULT_DPI / 2;
    return static_cast<int>(product >= 0 ? (product + half) / DEFAULT_DPI
                                         : -((-product + half) / DEFAULT_DPI));
}

}  // namespace zovrel::ui
