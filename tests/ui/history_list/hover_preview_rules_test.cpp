#include "ui/hover_preview_rules.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace zovrel::ui::hover_preview {
namespace {

LayoutRect Edges(int l, int t, int r, int b) {
    return LayoutRect{l, t, r - l, b - t};
}

TEST(HoverPreviewText, TextOfEachKindIsCut) {
    ClipboardEntry files = test::FilesEntry({L"C:\\a.txt", L"D:\\b c\\d.png"});
    EXPECT_EQ(PreviewText(files), L"C:\\a.txt\r\nD:\\b c\\d.png");

    // A megabyte of text, or ten thousand paths, is cut to what a preview can show.
    ClipboardEntry text;
    text.text.assign(1 << 20, L'x');
    EXPECT_EQ(PreviewText(text).size(), PREVIEW_TEXT_LIMIT);
    files.files.assign(10000, L"C:\\folder\\file.txt");
    const std::wstring joined = PreviewText(files);
    EXPECT_EQ(joined.size(), PREVIEW_TEXT_LIMIT);
    EXPECT_EQ(joined.substr(0, 20), L"C:\\folder\\file.txt\r\n");

    // The text area follows the measured text between a least and a greatest height.
    EXPECT_EQ(TextAreaHeight(0, 96), TextAreaHeight(1, 96));
    EXPECT_LT(TextAreaHeight(100, 96), TextAreaHeight(200, 96));
    EXPECT_EQ(TextAreaHeight(5000, 144), TextAreaHeight(50000, 144));
}

// Wherever the row, the preview lies inside the work area less a margin, and beside the row
// (left first) when there is room.
TEST(HoverPreviewPlacement, BesideTheRowInsideTheWorkArea) {
    const LayoutRect work = Edges(-1920, 0, 1920, 1040);  // two monitors side by side
    for (int dpi : {96, 144}) {
        const int margin = ScaleForDpi(8, dpi);
        for (const Size window : {Size{480, 64}, Size{720, 630}, Size{5000, 3000}}) {
            for (int x = -1950; x < 1920; x += 130) {
                for (int y : {-50, 300, 1000}) {
                    const LayoutRect anchor = Edges(x, y, x + 500, y + 60);
                    const LayoutRect p = PlacePreview(window, anchor, work, dpi);
                    SCOPED_TRACE(testing::Message()
                                 << dpi << " " << window.w << " " << x << "," << y);
                    EXPECT_TRUE(p.x >= work.x + margin && p.Right() <= work.Right() - margin);
                    EXPECT_TRUE(p.y >= work.y + margin && p.Bottom() <= work.Bottom() - margin);
                    EXPECT_EQ(p.w, std::min(window.w, work.w - 2 * margin));
                    if (window.h <= 64 && y > 0 && y < 900) {
                        EXPECT_EQ(p.y, anchor.y);
                    }
                    // Left of the row when there is room, else right of it when there is room
                    // there (the gap to the row lies between one and two margins).
                    if (anchor.x - window.w - 2 * margin >= work.x + margin) {
                        EXPECT_LT(p.Right(), anchor.x);
                    } else if (anchor.x - window.w - margin < work.x + margin &&
                               anchor.Right() + window.w + 2 * margin <= work.Right() - margin) {
                        EXPECT_GT(p.x, anchor.Right());
                    }
                }
            }
        }
    }
    // A work area too small for any window still gets one of a pixel.
    EXPECT_EQ(PlacePreview({480, 64}, Edges(0, 0, 10, 10), Edges(0, 0, 10, 10), 96),
              Edges(8, 8, 9, 9));
}

TEST(HoverPreviewImage, ScrollBarDecision) {
    // The view without bars of a 320 x 240 client is 300 x 200.
    const LayoutRect client{0, 0, 320, 240};
    // The image's width and height, and the bars it needs.
    const std::tuple<int, int, bool, bool> cases[] = {
        {300, 200, false, false},  // fits
        {301, 200, true, true},    // one wider: the bar takes 17 of 200
        {301, 183, true, false},   // wider, room below for the bar
        {283, 201, false, true},   // taller, room beside for the bar
    };
    for (const auto& [w, h, horizontal, vertical] : cases) {
        const ScrollBars bars = DecideScrollBars(w, h, client, 17, 17, 96);
        EXPECT_EQ(std::pair(bars.horizontal, bars.vertical), std::pair(horizontal, vertical)) << w;
        EXPECT_EQ(bars.view, ImageViewRect(client, horizontal, vertical, 17, 17, 96)) << w;
    }
    EXPECT_EQ(ImageViewRect({0, 0, 10, 10}, true, true, 17, 17, 96), (LayoutRect{10, 30, 1, 1}));
    // An image shown in the client its own size asked for needs no bar at either DPI.
    for (int dpi : {96, 144}) {
        const Size size = ImageClientSize(640, 480, dpi);
        const ScrollBars bars =
            DecideScrollBars(640, 480, LayoutRect{0, 0, size.w, size.h}, 17, 17, dpi);
        EXPECT_FALSE(bars.horizontal || bars.vertical) << dpi;
    }
}

TEST(HoverPreviewImage, ScrollRequestsWheelAndClamping) {
    // An image 1000 pixels long in a view of 300 (positions 0..700), vertical bar or not.
    const auto scroll = [](ScrollAction action, bool vertical, int position, int thumb = 0) {
        return ScrollAfter(action, vertical, position, 1000, 300, thumb, 96);
    };
    EXPECT_EQ(scroll(ScrollAction::LineForward, true, 695), 700);
    EXPECT_EQ(scroll(ScrollAction::PageBack, false, 200), 0);
    EXPECT_EQ(scroll(ScrollAction::Thumb, true, 0, 999), 700);
    EXPECT_EQ(scroll(ScrollAction::Start, false, 300), 300);  // not for the horizontal bar
    EXPECT_GT(ScrollAfter(ScrollAction::LineForward, true, 0, 1000, 300, 0, 144),
              scroll(ScrollAction::LineForward, true, 0));  // lines scale with the DPI
    // An image smaller than its view does not scroll.
    EXPECT_EQ(ScrollAfter(ScrollAction::PageForward, true, 0, 100, 300, 0, 96), 0);

    // One notch of the wheel towards the user scrolls a quarter page down, away from the user up,
    // at least 16 pixels; part of a notch does nothing.
    EXPECT_EQ(ScrollAfterWheel(0, -120, 1000, 300, 96), 75);
    EXPECT_EQ(ScrollAfterWheel(100, 120, 1000, 300, 96), 25);
    EXPECT_EQ(ScrollAfterWheel(0, -120, 1000, 40, 96), 16);
    EXPECT_EQ(ScrollAfterWheel(0, -119, 1000, 300, 96), 0);
}

}  // namespace
}  // namespace zovrel::ui::hover_preview
