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

struct ClipboardCase {
    const char* name;
    int width, height, dpi;
    bool logShown;
    int split, clampedSplit;
    LayoutRect rects[17];  // in the order of RectanglesOf
};

// Every number below is worked out by hand from the layout rules, not by the code under test.
// clang-format off
// The clipboard page's rectangles in the order the table gives them.
std::vector<LayoutRect> RectanglesOf(const MainWindowLayout& l) {
    return {l.clipboardHeading, l.menuButton, l.historyHeading, l.statusLine, l.clearHistory,
            l.historyList, l.splitter, l.logHeading, l.clearLog, l.logPane, l.portCombo,
            l.connectionState, l.connect, l.disconnect, l.cancelSend, l.transferText,
            l.progress.value_or(LayoutRect{1, 1, 1, 1})};
}

const ClipboardCase kClipboardCases[] = {
    {"page minimum with the log: split clamped, log pane keeps 48, transfer text keeps 40",
     210, 360, 96, true, 400, 192, {
    {8, 4, 162, 20}, {174, 2, 28, 28}, {8, 32, 80, 24}, {92, 36, 40, 16}, {130, 30, 72, 28},
    {8, 60, 194, 192}, {8, 256, 194, 6}, {8, 262, 120, 18}, {130, 260, 72, 20}, {8, 282, 194, 48},
    {8, 332, 100, 24}, {114, 336, 76, 16}, {196, 332, 52, 24}, {254, 332, 52, 24},
    {150, 332, 52, 24}, {312, 336, 40, 16}, kNone}},
    {"144 DPI, log shown: every constant scaled by 1.5", 900, 1050, 144, true, 600, 600, {
    {12, 6, 828, 30}, {846, 3, 42, 42}, {12, 48, 120, 36}, {138, 54, 630, 24}, {780, 45, 108, 42},
    {12, 90, 876, 600}, {12, 696, 876, 9}, {12, 705, 180, 27}, {780, 702, 108, 30},
    {12, 735, 876, 267}, {12, 1008, 337, 36}, {358, 1014, 114, 24}, {481, 1008, 78, 36},
    {568, 1008, 78, 36}, {810, 1008, 78, 36}, {655, 1014, 146, 24}, kNone}},
    {"144 DPI, wide, log hidden, progress bar shown", 1500, 1050, 144, false, 600, 600, {
    {12, 6, 1428, 30}, {1446, 3, 42, 42}, {12, 48, 120, 36}, {138, 54, 1230, 24},
    {1380, 45, 108, 42}, {12, 90, 1476, 912}, kNone, kNone, kNone, kNone, {12, 1008, 495, 36},
    {516, 1014, 114, 24}, {639, 1008, 78, 36}, {726, 1008, 78, 36}, {1410, 1008, 78, 36},
    {813, 1014, 138, 24}, {960, 1017, 441, 18}}},
};
// clang-format on

TEST(MainWindowLayout, ClipboardPageRectangles) {
    for (const ClipboardCase& c : kClipboardCases) {
        SCOPED_TRACE(c.name);
        const MainWindowLayout l =
            LayoutControls(PAGE_CLIPBOARD, c.width, c.height, c.dpi, c.logShown, c.split);
        EXPECT_EQ(l.splitPosition, c.clampedSplit);
        EXPECT_EQ(l.logShown, c.logShown);
        const std::vector<LayoutRect> rects = RectanglesOf(l);
        for (size_t i = 0; i < rects.size(); ++i) {
            EXPECT_EQ(rects[i], c.rects[i]) << "rectangle " << i;
        }
        // Nothing of the settings pages is placed.
        EXPECT_EQ(l.save, kNone);
        EXPECT_EQ(l.settingsPortCombo, kNone);
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

TEST(MainWindowLayout, SettingsPages) {
    // clang-format off
    const struct {
        int page, width, height, dpi;
        LayoutRect heading, portLabel, portCombo, debugLog, autostart, save, cancel;
    } cases[] = {
        {PAGE_SERIAL_SETTINGS, 360, 200, 96, {8, 4, 344, 20}, {8, 28, 48, 24}, {60, 26, 292, 200},
         {8, 60, 344, 24}, kNone, {272, 164, 80, 28}, {182, 164, 80, 28}},
        {PAGE_SYSTEM, 320, 160, 96, {8, 4, 304, 20}, kNone, kNone, kNone, {8, 28, 304, 24},
         {232, 124, 80, 28}, {142, 124, 80, 28}},
        {PAGE_SERIAL_SETTINGS, 540, 300, 144, {12, 6, 516, 30}, {12, 42, 72, 36},
         {90, 39, 438, 300}, {12, 90, 516, 36}, kNone, {408, 246, 120, 42}, {273, 246, 120, 42}},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.page) + " at " + std::to_string(c.dpi));
        const MainWindowLayout l = LayoutControls(c.page, c.width, c.height, c.dpi, true, 400);
        EXPECT_EQ(l.settingsHeading, c.heading);
        EXPECT_EQ(l.portLabel, c.portLabel);
        EXPECT_EQ(l.settingsPortCombo, c.portCombo);
        EXPECT_EQ(l.debugLogCheck, c.debugLog);
        EXPECT_EQ(l.autostartCheck, c.autostart);
        EXPECT_EQ(l.save, c.save);
        EXPECT_EQ(l.cancelSettings, c.cancel);
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
        {400, 668, true, 96, 400},
        {10, 668, true, 96, 60},
        {1000, 668, true, 96, 532},
        {400, 196, true, 96, 60},  // H = 228: the list keeps 60
        {400, 197, true, 96, 61},  // H = 229: one pixel of room
        {-50, 197, true, 96, 60},
        {1000, 664, true, 96, 528},  // a splitter drag passes H - 36: at most H - 172
        // Log hidden: 60 .. available - 60.
        {400, 120, false, 96, 60},
        {400, 121, false, 96, 61},
        {1000, 668, false, 96, 608},
        // 144 DPI: top 48, bounds scaled.
        {2000, 1002, true, 144, 798},
        {10, 1002, true, 144, 90},
        {600, 295, true, 144, 91},
    };
    for (const auto& c : cases) {
        const int top = ScaleForDpi(SPLIT_TOP, c.dpi);
        EXPECT_EQ(ClampSplitPosition(c.split, top, c.available, c.logShown, c.dpi), c.expected)
            << c.split << " in " << c.available << (c.logShown ? " with log" : " without log")
            << " at " << c.dpi;
    }
}

TEST(MainWindowLayout, PageMinimumsAndFonts) {
    const struct {
        int page, dpi;
        ClientSize size;
    } cases[] = {
        {PAGE_CLIPBOARD, 96, {210, 360}},
        {PAGE_SERIAL_SETTINGS, 96, {360, 200}},
        {PAGE_SYSTEM, 96, {320, 160}},
        {PAGE_CLIPBOARD, 144, {315, 540}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PageMinimumClientSize(c.page, c.dpi), c.size) << c.page << " at " << c.dpi;
    }
    // 9 pt and 8.5 pt as character heights.
    EXPECT_EQ(FontHeightForTenthsOfPoint(90, 96), -12);
    EXPECT_EQ(FontHeightForTenthsOfPoint(85, 144), -17);
}

TEST(MainWindowLayout, BandsAndFitIntoWorkArea) {
    EXPECT_EQ(TopBand(544, 96), (LayoutRect{0, 0, 544, 28}));
    EXPECT_EQ(BottomBand(544, 681, 96), (LayoutRect{0, 657, 544, 24}));
    EXPECT_EQ(ContentBand(544, 681, 96), (LayoutRect{0, 28, 544, 629}));

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
        {"off the right edge", {1500, 100, 560, 720}, {0, 0, 1920, 1170}, {226, 399},
         {1360, 100, 560, 720}},
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
