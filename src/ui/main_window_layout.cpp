#include "ui/main_window_layout.h"

#include <algorithm>
#include <cstdint>

#include "ui/ui_ids.h"

namespace zovrel::ui {

namespace {

// One scale for a layout at a given DPI: s(n) is a 96-DPI number in real pixels.
struct Scale {
    int dpi;
    int operator()(int value) const { return ScaleForDpi(value, dpi); }
};

void LayoutSettingsPages(int page, int w, int h, const Scale& s, MainWindowLayout& out) {
    out.save = {w - s(88), h - s(36), s(80), s(28)};
    out.cancelSettings = {w - s(178), h - s(36), s(80), s(28)};
    out.settingsHeading = {s(8), s(4), w - s(16), s(20)};
    if (page == PAGE_SERIAL_SETTINGS) {
        out.portLabel = {s(8), s(28), s(48), s(24)};
        out.settingsPortCombo = {s(60), s(26), w - s(68), s(200)};
        out.debugLogCheck = {s(8), s(60), w - s(16), s(24)};
    } else {
        out.autostartCheck = {s(8), s(28), w - s(16), s(24)};
        out.notifyCheck = {s(8), s(54), w - s(16), s(24)};
        // The control grows with the window up to what the longest hotkey text needs.
        const int hotkeyWidth = std::min(w - s(204), s(200));
        const int takenLeft = s(140) + hotkeyWidth + s(6);
        const auto row = [&](int top, LayoutRect& label, LayoutRect& control, LayoutRect& taken) {
            label = {s(8), top + s(2), s(128), s(20)};
            control = {s(140), top, hotkeyWidth, s(24)};
            taken = {takenLeft, top + s(2), s(56), s(20)};
        };
        row(s(86), out.showHotkeyLabel, out.showHotkey, out.showHotkeyTaken);
        row(s(116), out.sendHotkeyLabel, out.sendHotkey, out.sendHotkeyTaken);
    }
}

void LayoutConnectionBar(int w, int h, const Scale& s, MainWindowLayout& out) {
    const int threeEighths = w * 3 / 8;
    const int cap = threeEighths < s(120) ? s(120) : std::min(threeEighths, s(330));
    const int c = std::min(std::max(w - s(272), s(100)), cap);
    out.portCombo = {s(8), h - s(28), c, s(24)};
    out.connectionState = {c + s(14), h - s(24), s(76), s(16)};
    out.connect = {c + s(96), h - s(28), s(52), s(24)};
    out.disconnect = {c + s(154), h - s(28), s(52), s(24)};
    out.cancelSend = {w - s(60), h - s(28), s(52), s(24)};

    // Too narrow for the progress bar: it collapses and the transfer text takes what is left.
    if (w - s(66) <= c + s(328)) {
        out.transferText = {c + s(212), h - s(24), std::max(w - s(66) - (c + s(212)), s(40)),
                            s(16)};
        out.progress = LayoutRect{};
        return;
    }
    out.transferText = {c + s(212), h - s(24), s(92), s(16)};
    const int progressWidth = w - s(66) - (c + s(310));
    if (progressWidth >= s(17)) {
        out.progress = LayoutRect{c + s(310), h - s(22), progressWidth, s(12)};
    }
}

void LayoutClipboardPage(int w, int h, const Scale& s, bool logShown, int splitPosition,
                         MainWindowLayout& out) {
    const int split =
        ClampSplitPosition(splitPosition, s(SPLIT_TOP), h - s(SPLIT_TOP), logShown, s.dpi);
    out.splitPosition = split;
    out.logShown = logShown;
    const int listHeight = logShown ? split : std::max(h - s(92), s(60));

    out.clipboardHeading = {s(8), s(4), w - s(48), s(20)};
    out.menuButton = {w - s(36), s(2), s(28), s(28)};
    out.historyHeading = {s(8), s(32), s(80), s(24)};
    out.statusLine = {s(92), s(36), std::max(w - s(180), s(40)), s(16)};
    out.clearHistory = {w - s(80), s(30), s(72), s(28)};
    out.historyList = {s(8), s(60), w - s(16), listHeight};

    if (logShown) {
        out.splitter = {s(8), split + s(64), w - s(16), s(6)};
        out.logHeading = {s(8), split + s(70), s(120), s(18)};
        out.clearLog = {w - s(80), split + s(68), s(72), s(20)};
        out.logPane = {s(8), split + s(90), w - s(16),
                       std::max(h - s(32) - (split + s(90)), s(48))};
    }
    LayoutConnectionBar(w, h, s, out);
}

}  // namespace

ClientSize PageMinimumClientSize(int page, int dpi) {
    const Scale s{dpi};
    switch (page) {
        case PAGE_SERIAL_SETTINGS:
            return {s(360), s(200)};
        case PAGE_SYSTEM:
            // Room for the two hotkey rows above "保存" and "取消", and for a hotkey of three
            // modifiers in its control.
            return {s(360), s(190)};
        default:
            return {s(210), s(360)};
    }
}

int ClampSplitPosition(int splitPosition, int top, int available, bool logShown, int dpi) {
    const Scale s{dpi};
    const int minimum = s(60);
    const int room = logShown ? available - top - s(28) : available - top;
    // Not even room for the smallest list beside the log: the list keeps its minimum.
    if (room - s(28) <= (logShown ? s(108) : s(60))) {
        return minimum;
    }
    const int maximum = logShown ? room - s(76) : room - s(28);
    return std::min(std::max(splitPosition, minimum), maximum);
}

MainWindowLayout LayoutControls(int page, int width, int height, int dpi, bool logShown,
                                int splitPosition) {
    const Scale s{dpi};
    MainWindowLayout out;
    out.splitPosition = splitPosition;
    if (page == PAGE_SERIAL_SETTINGS || page == PAGE_SYSTEM) {
        LayoutSettingsPages(page, width, height, s, out);
    } else {
        LayoutClipboardPage(width, height, s, logShown, splitPosition, out);
    }
    return out;
}

LayoutRect ContentBand(int width, int height, int dpi) {
    const Scale s{dpi};
    return {0, s(28), width, height - s(24) - s(28)};
}

LayoutRect TopBand(int width, int dpi) {
    return {0, 0, width, ScaleForDpi(28, dpi)};
}

LayoutRect BottomBand(int width, int height, int dpi) {
    const int band = ScaleForDpi(24, dpi);
    return {0, height - band, width, band};
}

LayoutRect FitWindowIntoWorkArea(const LayoutRect& window, const LayoutRect& workArea,
                                 ClientSize minimum) {
    LayoutRect fitted = window;
    fitted.w = std::max(std::min(window.w, workArea.w), minimum.width);
    fitted.h = std::max(std::min(window.h, workArea.h), minimum.height);
    // The top-left corner wins when even the minimum does not fit, so the caption stays
    // reachable.
    fitted.x = std::max(std::min(window.x, workArea.Right() - fitted.w), workArea.x);
    fitted.y = std::max(std::min(window.y, workArea.Bottom() - fitted.h), workArea.y);
    return fitted;
}

int FontHeightForTenthsOfPoint(int tenths, int dpi) {
    // MulDiv(points, dpi, 72) with the point size in tenths.
    const int64_t product = static_cast<int64_t>(tenths) * dpi;
    const int64_t divisor = 720;
    return -static_cast<int>((product + divisor / 2) / divisor);
}

}  // namespace zovrel::ui
