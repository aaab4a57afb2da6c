#include "ui/hover_preview_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace zovrel::ui::hover_preview {
namespace {

LayoutRect Edges(int l, int t, int r, int b) {
    return LayoutRect{l, t, r - l, b - t};
}

TEST(HoverPreviewText, TextOfEachKindIsCut) {
    ClipboardEntry files;
    files.kind = ENTRY_KIND_FILES;
    files.text = L"caption";
    files.files = {L"C:\\a.txt", L"D:\\b c\\d.png"};
    EXPECT_EQ(PreviewText(files), L"C:\\a.txt\r\nD:\\b c\\d.png");

    // A megabyte of text, or ten thousand paths, is cut to what a preview can show.
    ClipboardEntry text;
    text.text.assign(1 << 20, L'x');
    EXPECT_EQ(PreviewText(text).size(), PREVIEW_TEXT_LIMIT);
    files.files.assign(10000, L"C:\\folder\\file.txt");
    const std::wstring joined = PreviewText(files);
    EXPECT_EQ(joined.size(), PREVIEW_TEXT_LIMIT);
    EXPECT_EQ(joined.substr(0, 20), L"C:\\folder\\file.txt\r\n");
}

TEST(HoverPreviewText, HeightClampAndSizes) {
    const int cases[][3] = {{14, 96, 44},   {0, 96, 44},     {41, 96, 45},  {396, 96, 400},
                            {397, 96, 400}, {5000, 96, 400}, {21, 144, 66}, {900, 144, 600}};
    for (const auto& [measured, dpi, area] : cases) {
        EXPECT_EQ(TextAreaHeight(measured, dpi), area) << measured << " " << dpi;
    }
    // A one-line text gives a client area 64 pixels high, the longest 420.
    EXPECT_EQ(TextClientSize(TextAreaHeight(14, 96), 96), (Size{480, 64}));
    EXPECT_EQ(TextClientSize(TextAreaHeight(9999, 144), 144), (Size{720, 630}));
    EXPECT_EQ(ImageClientSize(300, 200, 144), (Size{330, 260}));
    EXPECT_EQ(SizeLineRect(LayoutRect{0, 0, 320, 240}, 96), Edges(10, 10, 310, 28));
}

TEST(HoverPreviewPlacement, BesideTheRowInsideTheWorkArea) {
    struct Case {
        const char* what;
        Size window;
        LayoutRect anchor;
        LayoutRect placed;
    };
    const LayoutRect work = Edges(0, 0, 1920, 1040);
    const Size text{480, 64};
    const Case cases[] = {
        {"room on the left", text, Edges(800, 300, 1300, 360), Edges(308, 300, 788, 364)},
        {"left edge: right of the row", text, Edges(100, 300, 600, 360),
         Edges(612, 300, 1092, 364)},
        {"exactly fits on the left", text, Edges(500, 300, 900, 360), Edges(8, 300, 488, 364)},
        {"no room either side", text, Edges(300, 300, 1700, 360), Edges(1432, 300, 1912, 364)},
        {"near the bottom", {480, 420}, Edges(800, 900, 1300, 960), Edges(308, 612, 788, 1032)},
        {"above the top", text, Edges(800, -50, 1300, 10), Edges(308, 8, 788, 72)},
        {"larger than the work area",
         {4000, 3000},
         Edges(800, 300, 1300, 360),
         Edges(8, 8, 1912, 1032)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PlacePreview(c.window, c.anchor, work, 96), c.placed) << c.what;
    }
    // A second monitor on the left, a tiny work area, and the gaps at 144 DPI.
    EXPECT_EQ(PlacePreview(text, Edges(-1000, 200, -500, 260), Edges(-1920, 0, 0, 1080), 96),
              Edges(-1492, 200, -1012, 264));
    EXPECT_EQ(PlacePreview(text, Edges(0, 0, 10, 10), Edges(0, 0, 10, 10), 96), Edges(8, 8, 9, 9));
    EXPECT_EQ(PlacePreview({720, 96}, Edges(1000, 300, 1500, 390), work, 144),
              Edges(262, 300, 982, 396));
}

TEST(HoverPreviewImage, ScrollBarDecision) {
    struct Case {
        const char* what;
        int w;
        int h;
        bool horizontal;
        bool vertical;
    };
    // The view without bars of a 320 x 240 client is 300 x 200.
    const LayoutRect client{0, 0, 320, 240};
    const Case cases[] = {
        {"fits", 300, 200, false, false},
        {"one wider", 301, 200, true, true},  // the bar takes 17 of 200
        {"wider, room below for the bar", 301, 183, true, false},
        {"one taller", 300, 201, true, true},  // the bar takes 17 of 300
        {"taller, room beside for the bar", 283, 201, false, true},
        {"both", 1000, 1000, true, true},
    };
    for (const Case& c : cases) {
        const ScrollBars bars = DecideScrollBars(c.w, c.h, client, 17, 17, 96);
        EXPECT_EQ(bars.horizontal, c.horizontal) << c.what;
        EXPECT_EQ(bars.vertical, c.vertical) << c.what;
        EXPECT_EQ(bars.view, ImageViewRect(client, c.horizontal, c.vertical, 17, 17, 96)) << c.what;
    }
    EXPECT_EQ(ImageViewRect(client, false, false, 17, 17, 96), Edges(10, 30, 310, 230));
    EXPECT_EQ(ImageViewRect(client, true, true, 17, 15, 96), Edges(10, 30, 293, 215));
    const LayoutRect tiny{0, 0, 10, 10};
    EXPECT_EQ(ImageViewRect(tiny, true, true, 17, 17, 96).w, 1);
    EXPECT_EQ(ImageViewRect(tiny, true, true, 17, 17, 96).h, 1);
    EXPECT_FALSE(DecideScrollBars(1, 1, LayoutRect{0, 0, 5, 5}, 17, 17, 96).horizontal);
    // An image shown in the client its own size asked for needs no bar at either DPI.
    for (int dpi : {96, 144}) {
        const Size size = ImageClientSize(640, 480, dpi);
        const ScrollBars bars =
            DecideScrollBars(640, 480, LayoutRect{0, 0, size.w, size.h}, 17, 17, dpi);
        EXPECT_FALSE(bars.horizontal || bars.vertical) << dpi;
    }
}

TEST(HoverPreviewImage, ScrollRequestsWheelAndClamping) {
    struct Case {
        ScrollAction action;
        bool vertical;
        int position;
        int thumb;
        int expected;
    };
    // An image 1000 pixels long in a view of 300: positions 0..700.
    const Case cases[] = {
        {ScrollAction::LineForward, true, 0, 0, 16},
        {ScrollAction::LineForward, true, 695, 0, 700},
        {ScrollAction::PageBack, false, 200, 0, 0},
        {ScrollAction::Thumb, true, 0, 999, 700},
        {ScrollAction::End, true, 0, 0, 700},
        {ScrollAction::Start, false, 300, 0, 300},  // not for the horizontal bar
        {ScrollAction::Other, true, 250, 0, 250},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScrollAfter(c.action, c.vertical, c.position, 1000, 300, c.thumb, 96), c.expected)
            << static_cast<int>(c.action) << " " << c.vertical;
    }
    EXPECT_EQ(ScrollAfter(ScrollAction::LineForward, true, 0, 1000, 300, 0, 144), 24);
    // An image smaller than its view does not scroll.
    EXPECT_EQ(ScrollAfter(ScrollAction::PageForward, true, 0, 100, 300, 0, 96), 0);
    EXPECT_EQ(ClampScroll(-5, 1000, 300), 0);

    // The wheel: position, delta, page, expected.
    const int wheel[][4] = {
        {0, -120, 300, 75},   // one notch towards the user: a quarter page down
        {100, 120, 300, 25},  // away from the user: up
        {0, -120, 40, 16},    // at least 16 pixels
        {0, -119, 300, 0},    // part of a notch does nothing
        {0, -240, 2000, 0},   // the image is smaller than the view
        {0, -120000, 300, 700},
    };
    for (const auto& [position, delta, page, expected] : wheel) {
        EXPECT_EQ(ScrollAfterWheel(position, delta, 1000, page, 96), expected)
            << position << " " << delta << " " << page;
    }
}

}  // namespace
}  // namespace zovrel::ui::hover_preview
