#include "ui/history_list_rules.h"

#include <algorithm>

#include "base/local_time.h"
#include "base/text.h"

namespace zovrel::ui::history_list {

namespace {

int S(int value, int dpi) {
    return ScaleForDpi(value, dpi);
}

// A rectangle from its edges; a right or bottom edge before the left or top one gives width or
// height 0.
LayoutRect FromEdges(int left, int top, int right, int bottom) {
    return LayoutRect{left, top, std::max(right - left, 0), std::max(bottom - top, 0)};
}

bool IsHighSurrogate(wchar_t c) {
    return sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF;
}

}  // namespace

const wchar_t* const OPEN_FOLDER_LABEL = L"打开目录";
const wchar_t* const SEND_LABEL = L"发送";
const wchar_t* const DELETE_LABEL = L"删除";
const wchar_t* const PIN_LABEL = L"固定";
const wchar_t* const UNPIN_LABEL = L"取消固定";

RowColours RowColoursFor(std::optional<uint32_t> kind, bool selected, bool odd) {
    struct Palette {
        Colour even;
        Colour odd;
        Colour selected;
        Colour accent;
    };
    static constexpr Palette TEXT{MakeColour(247, 251, 255), MakeColour(235, 243, 252),
                                  MakeColour(204, 228, 255), MakeColour(25, 118, 210)};
    static constexpr Palette IMAGE{MakeColour(244, 252, 246), MakeColour(228, 244, 232),
                                   MakeColour(200, 236, 208), MakeColour(46, 125, 50)};
    static constexpr Palette FILES{MakeColour(255, 251, 245), MakeColour(255, 241, 224),
                                   MakeColour(255, 224, 178), MakeColour(230, 126, 34)};
    const Palette& p = !kind                       ? TEXT
                       : *kind == ENTRY_KIND_IMAGE ? IMAGE
                       : *kind == ENTRY_KIND_FILES ? FILES
                                                   : TEXT;
    return RowColours{selected ? p.selected : (odd ? p.odd : p.even), p.accent};
}

int RowHeight(std::optional<uint32_t> kind, int dpi) {
    const int height = kind == ENTRY_KIND_IMAGE ? IMAGE_ROW_HEIGHT : OTHER_ROW_HEIGHT;
    return std::min(S(height, dpi), MAX_ROW_HEIGHT);
}

RowGeometry LayoutRow(const LayoutRect& row, bool isFiles, int dpi, bool pinned) {
    const int l = row.x;
    const int t = row.y;
    const int r = row.Right();
    const int b = row.Bottom();
    const int buttonTop = t + S(3, dpi);
    const int buttonBottom = t + S(25, dpi);
    const int headerBottom = t + S(28, dpi);
    RowGeometry g;
    g.accentBar = FromEdges(l, t, l + S(3, dpi), b);
    g.number = FromEdges(l + S(3, dpi), t, l + S(31, dpi), headerBottom);
    g.remove = FromEdges(r - S(50, dpi), buttonTop, r - S(6, dpi), buttonBottom);
    g.send = FromEdges(r - S(98, dpi), buttonTop, r - S(54, dpi), buttonBottom);
    if (isFiles) {
        g.openFolder = FromEdges(r - S(158, dpi), buttonTop, r - S(102, dpi), buttonBottom);
    }
    // The header columns end 8 pixels before the leftmost button, however narrow the row.
    int limit = (isFiles ? g.openFolder.x : g.send.x) - S(8, dpi);
    if (pinned) {
        // The mark takes the header's last 12 pixels; the time ends 4 pixels before it.
        g.pin = FromEdges(limit - S(12, dpi), t + S(7, dpi), limit, t + S(21, dpi));
        if (g.pin.x < l + S(31, dpi)) {
            g.pin = LayoutRect{};
        } else {
            limit = g.pin.x - S(4, dpi);
        }
    }
    const int kindLeft = l + S(31, dpi);
    g.kind = FromEdges(kindLeft, t, std::min(l + S(67, dpi), limit), headerBottom);
    const int sizeLeft = g.kind.Right();
    g.size = FromEdges(sizeLeft, t, std::min(sizeLeft + S(56, dpi), limit), headerBottom);
    g.time = FromEdges(g.size.Right(), t, limit, headerBottom);
    g.content = FromEdges(l + S(11, dpi), t + S(32, dpi), r - S(6, dpi), b - S(4, dpi));
    return g;
}

std::vector<LayoutRect> PinMarkRects(const LayoutRect& box, int dpi) {
    if (box.w <= 0 || box.h <= 0) {
        return {};
    }
    // Edges in 96-DPI pixels of a 12 x 14 box.
    static constexpr int PARTS[][4] = {
        {4, 0, 8, 1},   // cap, its top rounded off
        {3, 1, 9, 2},   // cap
        {4, 2, 8, 7},   // body
        {1, 7, 11, 9},  // plate
        {5, 9, 7, 14},  // needle
    };
    std::vector<LayoutRect> rects;
    for (const auto& p : PARTS) {
        rects.push_back(FromEdges(box.x + S(p[0], dpi), box.y + S(p[1], dpi), box.x + S(p[2], dpi),
                                  box.y + S(p[3], dpi)));
    }
    return rects;
}

RowPart HitTestButtons(const RowGeometry& geometry, int x, int y) {
    if (geometry.openFolder.Contains(x, y)) {
        return RowPart::OpenFolder;
    }
    if (geometry.send.Contains(x, y)) {
        return RowPart::Send;
    }
    if (geometry.remove.Contains(x, y)) {
        return RowPart::Delete;
    }
    return RowPart::None;
}

int FirstRowContaining(int count, const std::function<LayoutRect(int)>& rowRect, int x, int y) {
    for (int i = 0; i < count; ++i) {
        if (rowRect(i).Contains(x, y)) {
            return i;
        }
    }
    return -1;
}

std::pair<int, int> ThumbnailBox(const LayoutRect& content, int dpi) {
    return {std::max(content.w - S(4, dpi), 1), std::max(content.h - S(4, dpi), 1)};
}

LayoutRect ThumbnailPlacement(const LayoutRect& content, int width, int height, int dpi) {
    return LayoutRect{content.x + S(2, dpi), content.y + (content.h - height) / 2, width, height};
}

LayoutRect Intersect(const LayoutRect& a, const LayoutRect& b) {
    return FromEdges(std::max(a.x, b.x), std::max(a.y, b.y), std::min(a.Right(), b.Right()),
                     std::min(a.Bottom(), b.Bottom()));
}

std::wstring KindLabel(uint32_t kind) {
    switch (kind) {
        case ENTRY_KIND_IMAGE:
            return L"图片";
        case ENTRY_KIND_FILES:
            return L"文件";
        default:
            return L"文本";
    }
}

std::wstring NumberText(int row) {
    return FormatText(L"%d", row + 1);
}

std::wstring SizeText(int64_t bytes) {
    if (bytes < 1024) {
        return FormatText(L"%lld B", static_cast<long long>(bytes));
    }
    if (bytes < 1048576) {
        return FormatText(L"%lld KB", static_cast<long long>(bytes / 1024));
    }
    return FormatText(L"%.1f MB", static_cast<double>(bytes) / 1048576.0);
}

std::wstring TimeText(uint64_t fileTime) {
    // Windows converts no FILETIME from 2^63 on; the C library none after the year 3000.
    constexpr uint64_t LAST_CONVERTIBLE = 0x7FFFFFFFFFFFFFFFull;
    if (fileTime == 0 || fileTime > LAST_CONVERTIBLE) {
        return L"-";
    }
    const LocalTime t = LocalTimeOfFileTime(fileTime);
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31) {
        return L"-";
    }
    return FormatText(L"%02d-%02d %02d:%02d", t.month, t.day, t.hour, t.minute);
}

std::wstring OneLineOfText(std::wstring_view text, size_t limit) {
    std::wstring line;
    line.reserve(std::min(text.size(), limit));
    for (size_t i = 0; i < text.size() && line.size() < limit; ++i) {
        wchar_t c = text[i];
        if (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') {
            ++i;
            c = L' ';
        } else if (c == L'\n') {
            c = L' ';
        }
        if (line.empty() && IsBlank(c)) {
            continue;  // the leading trim
        }
        if (c == L' ' && !line.empty() && line.back() == L' ') {
            continue;
        }
        line += c;
    }
    if (!line.empty() && IsHighSurrogate(line.back())) {
        line.pop_back();  // never half a character at the cut
    }
    while (!line.empty() && IsBlank(line.back())) {
        line.pop_back();
    }
    return line;
}

std::wstring OneLineText(const ClipboardEntry& entry) {
    if (entry.kind == ENTRY_KIND_FILES) {
        const std::wstring& source = entry.files.empty() ? entry.text : entry.files.front();
        std::wstring line = source.substr(0, ONE_LINE_LIMIT);
        if (line.size() < source.size() && IsHighSurrogate(line.back())) {
            line.pop_back();
        }
        return line;
    }
    return OneLineOfText(entry.text);
}

bool HasPreviewContent(const ClipboardEntry& entry) {
    switch (entry.kind) {
        case ENTRY_KIND_IMAGE:
            return !entry.image.Empty();
        case ENTRY_KIND_FILES:
            return !entry.files.empty();
        default:
            return !entry.text.empty();
    }
}

int64_t ThumbnailKey(int64_t id, int width, int height) {
    // id x 100000 + (width x 10000 + height): the inner sum in 32 bits, the total in 64, both
    // wrapping instead of overflowing.
    const auto inner =
        static_cast<int32_t>(static_cast<uint32_t>(width) * 10000u + static_cast<uint32_t>(height));
    const uint64_t total =
        static_cast<uint64_t>(id) * 100000u + static_cast<uint64_t>(int64_t{inner});
    return static_cast<int64_t>(total);
}

}  // namespace zovrel::ui::history_list
