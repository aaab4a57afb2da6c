#include "ui/hover_preview_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace zovrel::ui::hover_preview {
namespace {

LayoutRect Edges(int l, int t, int r, int b) {
    return LayoutRect{l, t, r - l, b - t};
}

TEST(HoverPreviewText, TextOfEachKind) {
    ClipboardEntry text;
    text.text = L"a\r\nb";
    EXPECT_EQ(PreviewText(text), L"a\r\nb");

    ClipboardEntry files;
    files.kind = ENTRY_KIND_FILES;
    files.text = L"caption";
    files.files = {L"C:\\a.txt", L"D:\\b c\\d.png"};
    EXPECT_EQ(PreviewText(files), L"C:\\a.txt\r\nD:\\b c\\d.png");
    files.files.clear();
    EXPECT_EQ(PreviewText(files), L"");

    // A megabyte of text, or ten thousand paths, is cut to what a preview can show.
    text.text.assign(1 << 20, L'x');
    EXPECT_EQ(PreviewText(text).size(), PREVIEW_TEXT_LIMIT);
    files.files.assign(10000, L"C:\\folder\\file.txt");
    const std::wstring joined = PreviewText(files);
    EXPECT_EQ(joined.size(), PREVIEW_TEXT_LIMIT);
    EXPECT_EQ(joined.substr(0, 20), L"C:\\folder\\file.txt\r\n");
}

TEST(HoverPreviewText, HeightClampAndSizes) {
    struct Case {
        int measured;
        int dpi;
        int area;
    };
    const Case cases[] = {
        {14, 96, 44},   {0, 96, 44},     {40, 96, 44},    {41, 96, 45},
        {200, 96, 204}, {396, 96, 400},  {397, 96, 400},  {5000, 96, 400},
        {21, 144, 66},  {300, 144, 306}, {900, 144, 600},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TextAreaHeight(c.measured, c.dpi), c.area) << c.measured << " " << c.dpi;
    }
    // A one-line text gives a client area 64 pixels high, the longest 420.
    EXPECT_EQ(TextClientSize(TextAreaHeight(14, 96), 96), (Size{480, 64}));
    EXPECT_EQ(TextClientSize(TextAreaHeight(9999, 96), 96), (Size{480, 420}));
    EXPECT_EQ(TextClientSize(TextAreaHeight(9999, 144), 144), (Size{720, 630}));
    EXPECT_EQ(TextWrapWidth(96), 460);
    EXPECT_EQ(TextWrapWidth(144), 690);
    EXPECT_EQ(ImageClientSize(300, 200, 96), (Size{320, 240}));
    EXPECT_EQ(ImageClientSize(300, 200, 144), (Size{330, 260}));
    EXPECT_EQ(ImageSizeText(1920, 1080), L"1920 × 1080");
    EXPECT_EQ(SizeLineRect(LayoutRect{0, 0, 320, 240}, 96), Edges(10, 10, 310, 28));
}

TEST(HoverPreviewPlacement, BesideTheRowInsideTheWorkArea) {
    const LayoutRect work = Edges(0, 0, 1920, 1040);
    struct Case {
        const char* what;
        Size window;
        LayoutRect anchor;
        LayoutRect work;
        int dpi;
        LayoutRect placed;
    };
    const Case cases[] = {
        {"room on the left",
         {480, 64},
         Edges(800, 300, 1300, 360),
         work,
         96,
         Edges(308, 300, 788, 364)},
        {"near the left edge: right of the row",
         {480, 64},
         Edges(100, 300, 600, 360),
         work,
         96,
         Edges(612, 300, 1092, 364)},
        {"exactly fits on the left",
         {480, 64},
         Edges(500, 300, 900, 360),
         work,
         96,
         Edges(8, 300, 488, 364)},
        {"one pixel short on the left",
         {480, 64},
         Edges(499, 300, 900, 360),
         work,
         96,
         Edges(912, 300, 1392, 364)},
        {"no room either side: pushed inside on the right",
         {480, 64},
         Edges(300, 300, 1700, 360),
         work,
         96,
         Edges(1432, 300, 1912, 364)},
        {"near the bottom: pushed up",
         {480, 420},
         Edges(800, 900, 1300, 960),
         work,
         96,
         Edges(308, 612, 788, 1032)},
        {"above the top of the work area",
         {480, 64},
         Edges(800, -50, 1300, 10),
         work,
         96,
         Edges(308, 8, 788, 72)},
        {"larger than the work area",
         {4000, 3000},
         Edges(800, 300, 1300, 360),
         work,
         96,
         Edges(8, 8, 1912, 1032)},
        {"second monitor on the left",
         {480, 64},
         Edges(-1000, 200, -500, 260),
         Edges(-1920, 0, 0, 1080),
         96,
         Edges(-1492, 200, -1012, 264)},
        {"tiny work area",
         {480, 64},
         Edges(0, 0, 10, 10),
         Edges(0, 0, 10, 10),
         96,
         Edges(8, 8, 9, 9)},
        {"144 DPI gaps",
         {720, 96},
         Edges(1000, 300, 1500, 390),
         work,
         144,
         Edges(262, 300, 982, 396)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PlacePreview(c.window, c.anchor, c.work, c.dpi), c.placed) << c.what;
    }
}

TEST(HoverPreviewImage, ViewRectangle) {
    const LayoutRect client{0, 0, 320, 240};
    EXPECT_EQ(ImageViewRect(client, false, false, 17, 17, 96), Edges(10, 30, 310, 230));
    EXPECT_EQ(ImageViewRect(client, true, true, 17, 15, 96), Edges(10, 30, 293, 215));
    EXPECT_EQ(ImageViewRect(LayoutRect{0, 0, 10, 10}, true, true, 17, 17, 96).w, 1);
    EXPECT_EQ(ImageViewRect(LayoutRect{0, 0, 10, 10}, true, true, 17, 17, 96).h, 1);
}

TEST(HoverPreviewImage, ScrollBarDecision) {
    struct Case {
        const char* what;
        int w;
        int h;
        LayoutRect client;
        bool horizontal;
        bool vertical;
    };
    // The view without bars of a 320 x 240 client is 300 x 200.
    const LayoutRect client{0, 0, 320, 240};
    const Case cases[] = {
        {"fits", 300, 200, client, false, false},
        {"one wider", 301, 200, client, true, true},  // the bar takes 17 of 200
        {"wider, room below for the bar", 301, 183, client, true, false},
        {"one taller", 300, 201, client, true, true},  // the bar takes 17 of 300
        {"taller, room beside for the bar", 283, 201, client, false, true},
        {"both", 1000, 1000, client, true, true},
        {"own size window", 300, 200, LayoutRect{0, 0, 320, 240}, false, false},
        {"tiny client", 1, 1, LayoutRect{0, 0, 5, 5}, false, false},
    };
    for (const Case& c : cases) {
        const ScrollBars bars = DecideScrollBars(c.w, c.h, c.client, 17, 17, 96);
        EXPECT_EQ(bars.horizontal, c.horizontal) << c.what;
        EXPECT_EQ(bars.vertical, c.vertical) << c.what;
        EXPECT_EQ(bars.view, ImageViewRect(c.client, c.horizontal, c.vertical, 17, 17, 96))
            << c.what;
    }
    // An image shown in the client its own size asked for needs no bar at either DPI.
    for (int dpi : {96, 144}) {
        const Size size = ImageClientSize(640, 480, dpi);
        const ScrollBars bars =
            DecideScrollBars(640, 480, LayoutRect{0, 0, size.w, size.h}, 17, 17, dpi);
        EXPECT_FALSE(bars.horizontal || bars.vertical) << dpi;
    }
}

TEST(HoverPreviewImage, ScrollRequestsAndClamping) {
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
        {ScrollAction::LineBack, true, 10, 0, 0},
        {ScrollAction::LineForward, true, 695, 0, 700},
        {ScrollAction::PageForward, true, 100, 0, 400},
        {ScrollAction::PageForward, true, 500, 0, 700},
        {ScrollAction::PageBack, false, 200, 0, 0},
        {ScrollAction::Thumb, false, 0, 650, 650},
        {ScrollAction::Thumb, true, 0, 999, 700},
        {ScrollAction::Start, true, 300, 0, 0},
        {ScrollAction::End, true, 0, 0, 700},
        {ScrollAction::Start, false, 300, 0, 300},  // not for the horizontal bar
        {ScrollAction::End, false, 300, 0, 300},
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
    EXPECT_EQ(ClampScroll(900, 1000, 300), 700);
}

TEST(HoverPreviewImage, WheelScrolling) {
    struct Case {
        int position;
        int delta;
        int page;
        int expected;
    };
    const Case cases[] = {
        {0, -120, 300, 75},   // one notch towards the user: a quarter page down
        {100, 120, 300, 25},  // away from the user: up
        {0, -360, 300, 225},   {0, -120, 40, 16},  // at least 16 pixels
        {0, -119, 300, 0},                         // part of a notch does nothing
        {0, -240, 2000, 0},                        // the image is smaller than the view
        {650, -120, 300, 700}, {0, -120000, 300, 700},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScrollAfterWheel(c.position, c.delta, 1000, c.page, 96), c.expected)
            << c.position << " " << c.delta << " " << c.page;
    }
}

}  // namespace
}  // namespace zovrel::ui::hover_preview
