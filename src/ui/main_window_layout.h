#pragma once

// Where every control of the main window goes, as a pure function of the page, the client size,
// the DPI, whether the log pane shows and the split position. Sizes are the 96-DPI numbers,
// each scaled once by the DPI; the client size and the split position are real pixels.

#include <optional>

#include "ui/layout_rect.h"

namespace zovrel::ui {

struct ClientSize {
    int width = 0;
    int height = 0;
    bool operator==(const ClientSize&) const = default;
};

// The smallest client area a page can be used in (minimum tracking size, ShowOnPage).
ClientSize PageMinimumClientSize(int page, int dpi);

// The top of the history list's band (the rows above the list) and the split position the
// window starts with, both at 96 DPI.
constexpr int SPLIT_TOP = 32;
constexpr int INITIAL_SPLIT_POSITION = 400;

// The history list's height when the log shows, kept inside what `available` pixels below `top`
// leave for the list, the splitter, the log heading and a log pane.
int ClampSplitPosition(int splitPosition, int top, int available, bool logShown, int dpi);

struct MainWindowLayout {
    // Page 0.
    LayoutRect clipboardHeading;
    LayoutRect menuButton;
    LayoutRect historyHeading;
    LayoutRect statusLine;
    LayoutRect clearHistory;
    LayoutRect historyList;
    // Shown with the log only; otherwise left where they are (hidden).
    bool logShown = false;
    LayoutRect splitter;
    LayoutRect logHeading;
    LayoutRect clearLog;
    LayoutRect logPane;
    // The connection bar.
    LayoutRect portCombo;
    LayoutRect connectionState;
    LayoutRect connect;
    LayoutRect disconnect;
    LayoutRect cancelSend;
    LayoutRect transferText;
    // Empty when it does not fit; none when it is to stay where it is.
    std::optional<LayoutRect> progress;

    // Pages 1 and 2.
    LayoutRect settingsHeading;
    LayoutRect portLabel;
    LayoutRect settingsPortCombo;  // its height is the opened list's
    LayoutRect debugLogCheck;
    LayoutRect autostartCheck;
    // Page 2: the notices check box and the two hotkeys, each a label, the hotkey control and
    // the place for "已被占用".
    LayoutRect notifyCheck;
    LayoutRect showHotkeyLabel;
    LayoutRect showHotkey;
    LayoutRect showHotkeyTaken;
    LayoutRect sendHotkeyLabel;
    LayoutRect sendHotkey;
    LayoutRect sendHotkeyTaken;
    LayoutRect save;
    LayoutRect cancelSettings;

    // The split position after clamping (page 0); the window keeps it.
    int splitPosition = 0;
};

// Only the rectangles of `page` are filled; the others stay empty.
MainWindowLayout LayoutControls(int page, int width, int height, int dpi, bool logShown,
                                int splitPosition);

// The band from y 28 to H - 24 that holds the list and the log; what a splitter drag redraws.
LayoutRect ContentBand(int width, int height, int dpi);
// The painted bands: top (0..28) and, on page 0, the bottom band behind the connection bar.
LayoutRect TopBand(int width, int dpi);
LayoutRect BottomBand(int width, int height, int dpi);

// A window rectangle (screen pixels) moved and, if it must, shrunk so it lies inside the work
// area, but never below `minimum` (the page's minimum window size).
LayoutRect FitWindowIntoWorkArea(const LayoutRect& window, const LayoutRect& workArea,
                                 ClientSize minimum);

// Font heights for CreateFont (negative: character height) of a size in tenths of a point.
int FontHeightForTenthsOfPoint(int tenths, int dpi);

}  // namespace zovrel::ui
