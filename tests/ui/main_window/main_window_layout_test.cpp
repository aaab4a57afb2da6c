#include "ui/main_window_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/ui_ids.h"

namespace zovrel::ui {

// Printed rectangles make a failing table row readable.
void PrintTo(const LayoutRect& r, std::ostream* os) {
    *os << "(" << r.x << ", " << r.y << ", " << r.w << ", " << r.h << ")";
}

namespace {

constexpr LayoutRect kNone{};

bool Inside(const LayoutRect& r, int width, int height) {
    return r.x >= 0 && r.y >= 0 && r.Right() <= width && r.Bottom() <= height;
}

bool Overlap(const LayoutRect& a, const LayoutRect& b) {
    return a.x < b.Right() && b.x < a.Right() && a.y < b.Bottom() && b.y < a.Bottom();
}

// One row per DPI, log state and split position, from the page minimum up: what is shown lies
// inside the window, the list, splitter, log and connection bar follow each other down, the list
// keeps its minimum and a split that fits is kept, nothing of another page is placed.
TEST(MainWindowLayout, ClipboardPageStacksDownInsideTheWindow) {
    for (const int dpi : {96, 144}) {
        for (const bool log : {true, false}) {
            const ClientSize minimum = PageMinimumClientSize(PAGE_CLIPBOARD, dpi);
            for (const int grow : {0, 300, 900}) {
                for (const int split : {0, 400, 100000}) {
                    const int width = minimum.width + grow, height = minimum.height + grow;
                    SCOPED_TRACE(testing::Message() << dpi << " dpi, " << width << "x" << height
                                                    << ", split " << split);
                    const MainWindowLayout l =
                        LayoutControls(PAGE_CLIPBOARD, width, height, dpi, log, split);
                    EXPECT_EQ(l.logShown, log);
                    for (const LayoutRect& r : {l.clipboardHeading, l.menuButton, l.clearHistory,
                                                l.historyList, l.portCombo, l.cancelSend})
                        EXPECT_TRUE(Inside(r, width, height) && r.w > 0 && r.h > 0);
                    EXPECT_LE(l.menuButton.Bottom(), l.historyList.y);
                    EXPECT_GE(l.historyList.h, ScaleForDpi(60, dpi));
                    if (log) {
                        for (const LayoutRect& r : {l.splitter, l.clearLog, l.logPane})
                            EXPECT_TRUE(Inside(r, width, height) && r.w > 0 && r.h > 0);
                        EXPECT_LE(l.historyList.Bottom(), l.splitter.y);
                        EXPECT_LE(l.splitter.Bottom(), l.logPane.y);
                        EXPECT_LE(l.logPane.Bottom(), l.portCombo.y);
                        EXPECT_EQ(l.historyList.h == split, split == 400 && grow > 0);
                    } else {
                        EXPECT_EQ(l.splitter, kNone);
                        EXPECT_EQ(l.logPane, kNone);
                        EXPECT_LE(l.historyList.Bottom(), l.portCombo.y);
                    }
                    EXPECT_EQ(l.save, kNone);
                    EXPECT_EQ(l.settingsPortCombo, kNone);
                }
            }
        }
    }
}

TEST(MainWindowLayout, ConnectionBarNeverOverlapsAndTransferTextKeepsForty) {
    for (int dpi : {96, 144}) {
        for (int width = ScaleForDpi(150, dpi); width <= ScaleForDpi(1400, dpi); ++width) {
            const MainWindowLayout l = LayoutControls(PAGE_CLIPBOARD, width, 600, dpi, false, 400);
            SCOPED_TRACE(std::to_string(dpi) + " dpi, width " + std::to_string(width));
            EXPECT_GE(l.transferText.w, ScaleForDpi(40, dpi));
            EXPECT_LE(l.connectionState.Right(), l.connect.x);
            EXPECT_LE(l.connect.Right(), l.disconnect.x);
            EXPECT_LE(l.disconnect.Right(), l.transferText.x);
            ASSERT_TRUE(l.progress.has_value());
            if (l.progress->w > 0) {
                EXPECT_LE(l.transferText.Right(), l.progress->x);
                EXPECT_LE(l.progress->Right(), l.cancelSend.x);
                EXPECT_GE(l.progress->w, ScaleForDpi(17, dpi));
            } else {
                EXPECT_EQ(*l.progress, kNone);
            }
        }
    }
}

// Each settings page at its minimum: its controls inside, apart from each other and above the
// buttons; nothing of the clipboard page, whose log counts as hidden.
TEST(MainWindowLayout, SettingsPagesAtTheirMinimum) {
    for (const int dpi : {96, 144}) {
        for (const int page : {PAGE_SERIAL_SETTINGS, PAGE_SYSTEM}) {
            SCOPED_TRACE(std::to_string(page) + " at " + std::to_string(dpi));
            const ClientSize size = PageMinimumClientSize(page, dpi);
            const MainWindowLayout l =
                LayoutControls(page, size.width, size.height, dpi, true, 400);
            const std::vector<LayoutRect> rows =
                page == PAGE_SERIAL_SETTINGS
                    ? std::vector{l.settingsHeading, l.portLabel, l.debugLogCheck}
                    : std::vector{l.settingsHeading, l.autostartCheck, l.notifyCheck,
                                  l.showHotkeyLabel, l.showHotkey,     l.showHotkeyTaken,
                                  l.sendHotkeyLabel, l.sendHotkey,     l.sendHotkeyTaken};
            for (size_t i = 0; i < rows.size(); ++i) {
                EXPECT_TRUE(Inside(rows[i], size.width, size.height) && rows[i].w > 0) << i;
                EXPECT_LT(rows[i].Bottom(), l.save.y) << i;
                for (size_t j = i + 1; j < rows.size(); ++j) {
                    EXPECT_FALSE(Overlap(rows[i], rows[j])) << i << " and " << j;
                }
            }
            EXPECT_TRUE(Inside(l.save, size.width, size.height));
            EXPECT_LE(l.cancelSettings.Right(), l.save.x);
            EXPECT_EQ(l.settingsPortCombo != kNone, page == PAGE_SERIAL_SETTINGS);
            EXPECT_EQ(l.autostartCheck != kNone, page == PAGE_SYSTEM);
            EXPECT_FALSE(l.logShown);
            EXPECT_EQ(l.historyList, kNone);
            EXPECT_FALSE(l.progress.has_value());
        }
    }
}

TEST(MainWindowLayout, FitIntoWorkArea) {
    // The window, the work area, the page's minimum, and the window fitted.
    const std::tuple<const char*, LayoutRect, LayoutRect, ClientSize, LayoutRect> cases[] = {
        // clang-format off
        {"moved up", {100, 100, 560, 720}, {0, 0, 1024, 728}, {226, 399}, {100, 8, 560, 720}},
        {"too big: shrunk", {150, 150, 840, 1080}, {0, 0, 800, 600}, {330, 400}, {0, 0, 800, 600}},
        {"work area below the minimum keeps the minimum, top-left inside", {50, 50, 400, 400},
         {0, 30, 300, 300}, {350, 380}, {0, 30, 350, 380}},
        // clang-format on
    };
    for (const auto& [name, window, work, minimum, fitted] : cases) {
        EXPECT_EQ(FitWindowIntoWorkArea(window, work, minimum), fitted) << name;
    }
}

}  // namespace
}  // namespace zovrel::ui
