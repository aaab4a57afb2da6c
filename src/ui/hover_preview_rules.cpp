#include "ui/hover_preview_rules.h"

#include <algorithm>
#include <cstdint>

#include "base/text.h"

namespace zovrel::ui::hover_preview {

namespace {

int S(int value, int dpi) {
    return ScaleForDpi(value, dpi);
}

bool IsHighSurrogate(wchar_t c) {
    return sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF;
}

// Appends as much of `piece` as the limit allows; false once the limit is reached.
bool AppendLimited(std::wstring& text, std::wstring_view piece) {
    const size_t room = PREVIEW_TEXT_LIMIT - text.size();
    if (piece.size() <= room) {
        text += piece;
        return text.size() < PREVIEW_TEXT_LIMIT;
    }
    text += piece.substr(0, room);
    if (IsHighSurrogate(text.back())) {
        text.pop_back();
    }
    return false;
}

}  // namespace

std::wstring PreviewText(const ClipboardEntry& entry) {
    std::wstring text;
    if (entry.kind != ENTRY_KIND_FILES) {
        AppendLimited(text, entry.text);
        return text;
    }
    for (size_t i = 0; i < entry.files.size(); ++i) {
        if ((i > 0 && !AppendLimited(text, L"\r\n")) || !AppendLimited(text, entry.files[i])) {
            break;
        }
    }
    return text;
}

int TextWrapWidth(int dpi) {
    return S(460, dpi);
}

int TextAreaHeight(int measuredHeight, int dpi) {
    return std::clamp(measuredHeight + S(4, dpi), S(44, dpi), S(400, dpi));
}

Size TextClientSize(int textAreaHeight, int dpi) {
    return Size{S(480, dpi), textAreaHeight + S(20, dpi)};
}

Size ImageClientSize(int imageWidth, int imageHeight, int dpi) {
    return Size{imageWidth + S(20, dpi), imageHeight + S(40, dpi)};
}

LayoutRect PlacePreview(Size window, const LayoutRect& anchor, const LayoutRect& workArea,
                        int dpi) {
    const int margin = S(8, dpi);
    const int gap = S(12, dpi);
    const int width = std::max(std::min(window.w, std::max(workArea.w - S(16, dpi), 1)), 1);
    const int height = std::max(std::min(window.h, std::max(workArea.h - S(16, dpi), 1)), 1);
    int x = anchor.x - width - gap;
    if (x < workArea.x + margin) {
        x = anchor.Right() + gap;
    }
    if (x + width > workArea.Right() - margin) {
        x = std::max(workArea.Right() - width - margin, workArea.x + margin);
    }
    int y = anchor.y;
    if (y + height > workArea.Bottom() - margin) {
        y = std::max(workArea.y + margin, workArea.Bottom() - height - margin);
    }
    y = std::max(y, workArea.y + margin);
    return LayoutRect{x, y, width, height};
}

std::wstring ImageSizeText(int width, int height) {
    return FormatText(L"%d × %d", width, height);
}

LayoutRect SizeLineRect(const LayoutRect& client, int dpi) {
    return LayoutRect{client.x + S(10, dpi), client.y + S(10, dpi),
                      std::max(client.w - 2 * S(10, dpi), 0), S(18, dpi)};
}

LayoutRect ImageViewRect(const LayoutRect& client, bool horizontalBar, bool verticalBar,
                         int verticalBarWidth, int horizontalBarHeight, int dpi) {
    const int margin = S(10, dpi);
    const int top = client.y + margin + S(20, dpi);
    int width = client.w - 2 * margin - (verticalBar ? verticalBarWidth : 0);
    int height = client.Bottom() - margin - top - (horizontalBar ? horizontalBarHeight : 0);
    return LayoutRect{client.x + margin, top, std::max(width, 1), std::max(height, 1)};
}

ScrollBars DecideScrollBars(int imageWidth, int imageHeight, const LayoutRect& client,
                            int verticalBarWidth, int horizontalBarHeight, int dpi) {
    auto view = [&](bool h, bool v) {
        return ImageViewRect(client, h, v, verticalBarWidth, horizontalBarHeight, dpi);
    };
    LayoutRect plain = view(false, false);
    bool horizontal = imageWidth > plain.w;
    bool vertical = imageHeight > plain.h;
    if (vertical) {
        horizontal = imageWidth > view(false, true).w;
    }
    if (horizontal) {
        vertical = imageHeight > view(true, vertical).h;
    }
    return ScrollBars{horizontal, vertical, view(horizontal, vertical)};
}

int ClampScroll(int position, int size, int page) {
    return std::clamp(position, 0, std::max(size - page, 0));
}

int ScrollAfter(ScrollAction action, bool vertical, int position, int size, int page,
                int thumbPosition, int dpi) {
    const int line = S(16, dpi);
    int next = position;
    switch (action) {
        case ScrollAction::LineBack:
            next = position - line;
            break;
        case ScrollAction::LineForward:
            next = position + line;
            break;
        case ScrollAction::PageBack:
            next = position - page;
            break;
        case ScrollAction::PageForward:
            next = position + page;
            break;
        case ScrollAction::Thumb:
            next = thumbPosition;
            break;
        case ScrollAction::Start:
            next = vertical ? 0 : position;
            break;
        case ScrollAction::End:
            next = vertical ? size - 1 : position;
            break;
        case ScrollAction::Other:
            break;
    }
    return ClampScroll(next, size, page);
}

int ScrollAfterWheel(int position, int wheelDelta, int size, int page, int dpi) {
    const int steps = wheelDelta / 120;
    const int step = std::max(page / 4, S(16, dpi));
    const int64_t next = static_cast<int64_t>(position) - static_cast<int64_t>(steps) * step;
    const int64_t bounded = std::clamp<int64_t>(next, INT32_MIN, INT32_MAX);
    return ClampScroll(static_cast<int>(bounded), size, page);
}

}  // namespace zovrel::ui::hover_preview
