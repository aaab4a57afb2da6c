#pragma once

// The colours the history rows and the preview are drawn in: the program's own palette, or with
// High Contrast on, the system's colours (the user's chosen pairs of text and background, so
// every text stays readable).

#include <cstdint>
#include <optional>

#include "ui/history_list_rules.h"

namespace zovrel::ui {

using history_list::Colour;

// The system colours High Contrast draws with (GetSysColor's COLOR_WINDOW and so on).
struct SystemColours {
    Colour window = 0;
    Colour windowText = 0;
    Colour highlight = 0;
    Colour highlightText = 0;
    Colour buttonFace = 0;
    Colour buttonText = 0;
};

struct RowPalette {
    Colour background = 0;
    Colour accent = 0;  // the bar at the left edge and the kind label
    Colour number = 0;
    Colour detail = 0;  // size and time
    Colour text = 0;
    Colour button = 0;
    Colour buttonHover = 0;
    Colour buttonText = 0;
    Colour buttonHoverText = 0;
    Colour separator = 0;
    Colour focus = 0;
    bool operator==(const RowPalette&) const = default;
};

// `highContrast` is null when High Contrast is off. `kind` is empty for a row without entry.
RowPalette RowPaletteFor(std::optional<uint32_t> kind, bool selected, bool odd,
                         const SystemColours* highContrast);

struct PreviewPalette {
    Colour background = 0;
    Colour frame = 0;
    Colour text = 0;
    Colour detail = 0;  // the image's size line
    bool operator==(const PreviewPalette&) const = default;
};
PreviewPalette PreviewPaletteFor(const SystemColours* highContrast);

}  // namespace zovrel::ui
