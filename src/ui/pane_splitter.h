#pragma once

// What the pane splitter paints, decided without a window: the bar's colour and its grip.

#include <cstdint>

#include "ui/layout_rect.h"

namespace zovrel::ui {

// Colours as 0x00BBGGRR, the layout of a Windows COLORREF.
constexpr uint32_t SPLITTER_COLD_COLOUR = 0xD6D6D6;  // RGB(214, 214, 214)
constexpr uint32_t SPLITTER_HOT_COLOUR = 0xE6C8B4;   // RGB(180, 200, 230)
constexpr uint32_t SPLITTER_GRIP_COLOUR = 0x969696;  // RGB(150, 150, 150)

struct SplitterPaint {
    uint32_t fill = SPLITTER_COLD_COLOUR;
    uint32_t grip = SPLITTER_GRIP_COLOUR;
    LayoutRect gripRect;
};

// The bar of `width` × `height` client pixels at `dpi`: filled in the hot colour while the
// pointer is over it or a drag runs, with a 24 × 2 grip (96-DPI pixels) centred in it.
SplitterPaint PaintSplitter(bool hotOrDragging, int width, int height, int dpi);

}  // namespace zovrel::ui
