#include <gtest/gtest.h>

#include "ui/pane_splitter.h"

namespace zovrel::ui {
namespace {

TEST(SplitterPaint, FillFollowsHotAndGripStaysGrey) {
    EXPECT_NE(PaintSplitter(true, 500, 6, 96).fill, PaintSplitter(false, 500, 6, 96).fill);
    EXPECT_EQ(PaintSplitter(true, 500, 6, 96).grip, PaintSplitter(false, 500, 6, 96).grip);
}

TEST(SplitterPaint, GripIsCentredAndScaled) {
    struct Case {
        int width;
        int height;
        int dpi;
        LayoutRect grip;
    };
    const Case cases[] = {
        {545, 7, 96, {260, 2, 24, 2}},   // an odd spare pixel goes right and below
        {10, 6, 96, {-7, 2, 24, 2}},     // narrower than the grip: centred, clipped by the bar
        {680, 8, 120, {325, 2, 30, 3}},  // 125 %: 2.5 rounds up like MulDiv
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " at " << c.dpi);
        EXPECT_EQ(PaintSplitter(false, c.width, c.height, c.dpi).gripRect, c.grip);
    }
}

}  // namespace
}  // namespace zovrel::ui
