#include <gtest/gtest.h>

#include "ui/pane_splitter.h"

namespace zovrel::ui {
namespace {

// The fill follows hot and dragging, the grey grip does not. The grip is centred (an odd spare
// pixel goes right and below; a bar narrower than the grip clips it) and grows with the DPI.
TEST(SplitterPaint, FillFollowsHotAndTheGripIsCentred) {
    EXPECT_NE(PaintSplitter(true, 500, 6, 96).fill, PaintSplitter(false, 500, 6, 96).fill);
    EXPECT_EQ(PaintSplitter(true, 500, 6, 96).grip, PaintSplitter(false, 500, 6, 96).grip);
    for (const auto& [width, height] : {std::pair{545, 7}, {10, 6}}) {
        const LayoutRect grip = PaintSplitter(false, width, height, 96).gripRect;
        EXPECT_EQ(grip.x, width - grip.Right() - (width - grip.w) % 2) << width;
        EXPECT_EQ(grip.y, height - grip.Bottom() - (height - grip.h) % 2) << height;
    }
    const LayoutRect big = PaintSplitter(false, 680, 8, 144).gripRect;
    EXPECT_EQ(big.w, PaintSplitter(false, 680, 8, 96).gripRect.w * 3 / 2);
}

}  // namespace
}  // namespace zovrel::ui
