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

// One row per DPI and log state, from the page minimum up: what is shown lies inside the window,
// the list, splitter, log and connection bar follow each other down, nothing of another page.
TEST(MainWindowLayout, ClipboardPageStacksDownInsideTheWindow) {
    for (const int dpi : {96, 144}) {
        for (const bool log : {true, false}) {
            const ClientSize minimum = PageMinimumClientSize(PAGE_CLIPBOARD, dpi);
            for (const int grow : {0, 300, 900}) {
                const int width = minimum.width + grow, height = minimum.height + grow;
                SCOPED_TRACE(testing::Message() << dpi << " dpi, " << width << "x" << height);
                const MainWindowLayout l =
                    LayoutControls(PAGE_CLIPBOARD, width, height, dpi, log, 400);
                EXPECT_EQ(l.logShown, log);
                for (const LayoutRect& r : {l.clipboardHeading, l.menuButton, l.historyList,
                                            l.portCombo, l.cancelSend, l.splitter, l.logPane})
                    EXPECT_TRUE(Inside(r, width, height));
                EXPECT_LE(l.menuButton.Bottom(), l.historyList.y);
                if (log) {
                    EXPECT_LE(l.historyList.Bottom(), l.splitter.y);
                    EXPECT_LE(l.splitter.Bottom(), l.logPane.y);
                    EXPECT_LE(l.logPane.Bottom(), l.portCombo.y);
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

TEST(MainWindowLayout, SettingsPagesAtTheirMinimum) {
    for (const auto& [page, dpi] : {std::pair{PAGE_SERIAL_SETTINGS, 96},
                                    {PAGE_SYSTEM, 96},
                                    {PAGE_SERIAL_SETTINGS, 144},
                                    {PAGE_SYSTEM, 144}}) {
        SCOPED_TRACE(std::to_string(page) + " at " + std::to_string(dpi));
        const ClientSize size = PageMinimumClientSize(page, dpi);
        const MainWindowLayout l = LayoutControls(page, size.width, size.height, dpi, true, 400);
        const bool serial = page == PAGE_SERIAL_SETTINGS;
        EXPECT_EQ(l.settingsPortCombo != kNone, serial);
        EXPECT_EQ(l.debugLogCheck != kNone, serial);
        EXPECT_EQ(l.autostartCheck != kNone, !serial);
        for (const LayoutRect& r : {l.settingsHeading, l.save, l.cancelSettings,
                                    serial ? l.debugLogCheck : l.autostartCheck})
            EXPECT_TRUE(Inside(r, size.width, size.height));
        EXPECT_LE(l.cancelSettings.Right(), l.save.x);
        if (!serial) {
            // The notices box and the two hotkey rows: inside, apart, and above the buttons.
            const std::vector<LayoutRect> rows = {
                l.autostartCheck,  l.notifyCheck,     l.showHotkeyLabel, l.showHotkey,
                l.showHotkeyTaken, l.sendHotkeyLabel, l.sendHotkey,      l.sendHotkeyTaken};
            for (size_t i = 0; i < rows.size(); ++i) {
                EXPECT_TRUE(Inside(rows[i], size.width, size.height)) << i;
                EXPECT_LT(rows[i].Bottom(), l.save.y) << i;
                for (size_t j = i + 1; j < rows.size(); ++j) {
                    EXPECT_FALSE(Overlap(rows[i], rows[j])) << i << " and " << j;
                }
            }
        }
        // The clipboard page's controls are left alone and the log counts as hidden.
        EXPECT_FALSE(l.logShown);
        EXPECT_EQ(l.historyList, kNone);
        EXPECT_FALSE(l.progress.has_value());
    }
}

TEST(MainWindowLayout, ClampSplitPosition) {
    const struct {
        int split, available;
        bool logShown;
        int dpi, expected;
    } cases[] = {
        // Layout: available = H - 32; with the log the list gets 60 .. H - 168.
        {10, 668, true, 96, 60},      {1000, 668, true, 96, 532},
        {400, 196, true, 96, 60},     // H = 228: the list keeps 60
        {1000, 668, false, 96, 608},  // log hidden: 60 .. available - 60
        {2000, 1002, true, 144, 798},
    };
    for (const auto& c : cases) {
        const int top = ScaleForDpi(SPLIT_TOP, c.dpi);
        EXPECT_EQ(ClampSplitPosition(c.split, top, c.available, c.logShown, c.dpi), c.expected)
            << c.split << " in " << c.available << (c.logShown ? " with log" : " without log")
            << " at " << c.dpi;
    }
}

TEST(MainWindowLayout, FitIntoWorkArea) {
    const struct {
        const char* name;
        LayoutRect window, work;
        ClientSize minimum;
        LayoutRect expected;
    } cases[] = {
        // clang-format off
        {"moved up", {100, 100, 560, 720}, {0, 0, 1024, 728}, {226, 399}, {100, 8, 560, 720}},
        {"too tall: shrunk", {100, 100, 560, 720}, {0, 0, 1024, 700}, {226, 399},
         {100, 0, 560, 700}},
        {"scaled window on a small screen", {150, 150, 840, 1080}, {0, 0, 800, 600}, {330, 400},
         {0, 0, 800, 600}},
        {"work area below the minimum keeps the minimum, top-left inside", {50, 50, 400, 400},
         {0, 30, 300, 300}, {350, 380}, {0, 30, 350, 380}},
        // clang-format on
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FitWindowIntoWorkArea(c.window, c.work, c.minimum), c.expected) << c.name;
    }
}

}  // namespace
}  // namespace zovrel::ui
