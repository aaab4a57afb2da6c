#include "ui/pane_splitter.h"

namespace zovrel::ui {

namespace {
constexpr int GRIP_WIDTH = 24;
constexpr int GRIP_HEIGHT = 2;
}  // namespace

SplitterPaint PaintSplitter(bool hotOrDragging, int width, int height, int dpi) {
    SplitterPaint paint;
    paint.fill = hotOrDragging ? SPLITTER_HOT_COLOUR : SPLITTER_COLD_COLOUR;
    const int gripWidth = ScaleForDpi(GRIP_WIDTH, dpi);
    const int gripHeight = ScaleForDpi(GRIP_HEIGHT, dpi);
    paint.gripRect = {(width - gripWidth) / 2, (height - gripHeight) / 2, gripWidth, gripHeight};
    return paint;
}

}  // namespace zovrel::ui
