#pragma once

// What the hover preview decides without a window: its text, its sizes, where it opens beside a
// row, when it needs scroll bars and how far it scrolls. Lengths are 96-DPI pixel counts scaled
// by the DPI; image pixels are never scaled.

#include <cstddef>
#include <string>

#include "clipboard/clipboard_entry.h"
#include "ui/layout_rect.h"

namespace zovrel::ui::hover_preview {

constexpr unsigned SHOW_TIMER = 1;
constexpr unsigned HIDE_TIMER = 2;
constexpr unsigned SHOW_DELAY_MS = 250;
constexpr unsigned HIDE_DELAY_MS = 150;

// The preview shows at most 400 pixels of text; this many characters fill that many times over
// in any font, and the cut keeps measuring and painting a megabyte of text cheap.
constexpr size_t PREVIEW_TEXT_LIMIT = 16384;

// The text of a text preview: the paths one per line for a file list, else the entry's text;
// at most PREVIEW_TEXT_LIMIT characters.
std::wstring PreviewText(const ClipboardEntry& entry);

// The width text is wrapped at: the client width less 10 pixels on each side.
int TextWrapWidth(int dpi);
// The height of the text area: the measured height plus 4, kept within 44..400.
int TextAreaHeight(int measuredHeight, int dpi);

struct Size {
    int w = 0;
    int h = 0;
    bool operator==(const Size&) const = default;
};

// Client sizes: 480 x (text area + 20) for a text; for an image its own size plus 20 across and
// 40 down (room for the margins and the size line).
Size TextClientSize(int textAreaHeight, int dpi);
Size ImageClientSize(int imageWidth, int imageHeight, int dpi);

// The window's rectangle in screen pixels: left of the anchor row, or right of it when there is
// no room on the left, kept 8 pixels inside the work area and no larger than it less 16.
LayoutRect PlacePreview(Size window, const LayoutRect& anchor, const LayoutRect& workArea, int dpi);

// "%d × %d" of the image's size.
std::wstring ImageSizeText(int width, int height);
// Where the size line is drawn in the client area.
LayoutRect SizeLineRect(const LayoutRect& client, int dpi);

// The part of the client area the image is shown in: 10 pixels in from every edge, 20 more at
// the top for the size line, less the scroll bars that are shown; at least 1 x 1.
LayoutRect ImageViewRect(const LayoutRect& client, bool horizontalBar, bool verticalBar,
                         int verticalBarWidth, int horizontalBarHeight, int dpi);

struct ScrollBars {
    bool horizontal = false;
    bool vertical = false;
    LayoutRect view;
    bool operator==(const ScrollBars&) const = default;
};

// Which bars an image needs in a client area that has none yet: a bar that one direction needs
// narrows the view and may make the other direction need its bar too.
ScrollBars DecideScrollBars(int imageWidth, int imageHeight, const LayoutRect& client,
                            int verticalBarWidth, int horizontalBarHeight, int dpi);

// 0 .. max(size - page, 0).
int ClampScroll(int position, int size, int page);

enum class ScrollAction { LineBack, LineForward, PageBack, PageForward, Thumb, Start, End, Other };

// The position after a scroll bar request. Start and End apply to the vertical bar only.
int ScrollAfter(ScrollAction action, bool vertical, int position, int size, int page,
                int thumbPosition, int dpi);
// The position after a wheel turn of `wheelDelta` (120 per notch, positive away from the user):
// whole notches only, each a quarter page and at least 16 pixels.
int ScrollAfterWheel(int position, int wheelDelta, int size, int page, int dpi);

}  // namespace zovrel::ui::hover_preview
