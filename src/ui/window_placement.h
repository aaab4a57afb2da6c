#pragma once

// Where the main window starts: the rectangle remembered in the settings file, when it is whole,
// sane and still on a screen. Stored in 96-DPI pixels, so a change of the display's scaling
// between runs keeps the window's size as the user sees it.

#include <optional>
#include <string_view>
#include <vector>

#include "settings/settings_file.h"
#include "ui/layout_rect.h"
#include "ui/main_window_layout.h"

namespace zovrel::ui {

// A whole decimal number (optional sign, digits, blanks around) of at most 6 digits; none for
// anything else ("", "12px", "1e3", "0x10").
std::optional<int> ParseWindowNumber(std::wstring_view text);

// The remembered rectangle in real pixels at `dpi`; none when a key is missing or unreadable,
// the size is not positive, or no work area shows at least a 40 x 40 (96-DPI) corner of it.
// A size below `minimum` is raised to it.
std::optional<LayoutRect> RestoredWindowRect(const WindowPlacementTexts& saved, int dpi,
                                             const std::vector<LayoutRect>& workAreas,
                                             ClientSize minimum);

// The rectangle to store: real pixels at `dpi` back to 96-DPI pixels.
LayoutRect WindowRectToSave(const LayoutRect& window, int dpi);

}  // namespace zovrel::ui
