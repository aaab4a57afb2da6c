#pragma once

// What the history list decides without a window: row heights, colours, the rectangles inside a
// row, hit tests, the texts of a row and the thumbnail cache. Every length is a 96-DPI pixel
// count scaled by the list's DPI, so at 96 DPI the rectangles are the plain numbers.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "clipboard/clipboard_entry.h"
#include "ui/layout_rect.h"

namespace zovrel::ui::history_list {

// A colour as 0x00BBGGRR, the layout of a Win32 COLORREF.
using Colour = uint32_t;
constexpr Colour MakeColour(int r, int g, int b) {
    return static_cast<Colour>(r) | (static_cast<Colour>(g) << 8) | (static_cast<Colour>(b) << 16);
}

constexpr Colour NUMBER_COLOUR = MakeColour(110, 110, 110);
constexpr Colour DETAIL_COLOUR = MakeColour(90, 90, 90);  // size and time
constexpr Colour TEXT_COLOUR = MakeColour(32, 32, 32);
constexpr Colour BUTTON_COLOUR = MakeColour(255, 255, 255);
constexpr Colour BUTTON_HOVER_COLOUR = MakeColour(221, 236, 255);
constexpr Colour SEPARATOR_COLOUR = MakeColour(224, 224, 224);
constexpr Colour FOCUS_COLOUR = MakeColour(0, 95, 184);  // the frame of the focused row

struct RowColours {
    Colour background = 0;
    Colour accent = 0;
    bool operator==(const RowColours&) const = default;
};

// `kind` is empty for a row whose entry is missing.
RowColours RowColoursFor(std::optional<uint32_t> kind, bool selected, bool odd);

constexpr int IMAGE_ROW_HEIGHT = 108;
constexpr int OTHER_ROW_HEIGHT = 60;
// A list box with rows of variable height keeps each height in one byte.
constexpr int MAX_ROW_HEIGHT = 255;

int RowHeight(std::optional<uint32_t> kind, int dpi);

// What lies under a point of a row. The numbers are the parts the row messages name. Pin is only
// in the row menu ("固定" / "取消固定").
enum class RowPart { None = 0, Send = 1, Delete = 2, OpenFolder = 3, Pin = 4 };

struct RowHit {
    int row = -1;
    RowPart part = RowPart::None;
    bool operator==(const RowHit&) const = default;
};

// The rectangles inside one row.
struct RowGeometry {
    LayoutRect number;
    LayoutRect kind;  // the header columns; each may be empty on a narrow row
    LayoutRect size;
    LayoutRect time;
    LayoutRect openFolder;  // empty unless the entry lists files
    LayoutRect send;
    LayoutRect remove;
    LayoutRect content;
    LayoutRect accentBar;
    LayoutRect pin;  // the pin mark, at the end of the header; empty unless pinned
};

RowGeometry LayoutRow(const LayoutRect& row, bool isFiles, int dpi, bool pinned = false);
// The pin mark as filled rectangles inside its box: a pushpin seen from the side (cap, body,
// plate, needle), in the row's accent colour.
std::vector<LayoutRect> PinMarkRects(const LayoutRect& box, int dpi);

// The button of a row under a point (the point lies in the row).
RowPart HitTestButtons(const RowGeometry& geometry, int x, int y);
// The first of `count` rows whose rectangle contains the point; -1 when none does.
int FirstRowContaining(int count, const std::function<LayoutRect(int)>& rowRect, int x, int y);

// The thumbnail's box inside the content area: (width - 4) x (height - 4), each at least 1.
std::pair<int, int> ThumbnailBox(const LayoutRect& content, int dpi);
// Where a thumbnail of the given size is copied: two pixels in from the content's left edge,
// centred vertically. The caller clips it to the content area.
LayoutRect ThumbnailPlacement(const LayoutRect& content, int width, int height, int dpi);
LayoutRect Intersect(const LayoutRect& a, const LayoutRect& b);

// Texts of a row.
extern const wchar_t* const OPEN_FOLDER_LABEL;
extern const wchar_t* const SEND_LABEL;
extern const wchar_t* const DELETE_LABEL;
extern const wchar_t* const PIN_LABEL;
extern const wchar_t* const UNPIN_LABEL;
std::wstring KindLabel(uint32_t kind);
std::wstring NumberText(int row);
std::wstring SizeText(int64_t bytes);
// "MM-DD hh:mm" in local time; "-" for no time or one that cannot be converted.
std::wstring TimeText(uint64_t fileTime);

// A row shows no more of a text than this many characters: even a wide screen shows far fewer,
// and the cut keeps drawing a row with a megabyte of text as cheap as any other.
constexpr size_t ONE_LINE_LIMIT = 4096;
// Line breaks become blanks, the ends are trimmed, runs of blanks shrink to one; only the first
// `limit` characters of the result are made.
std::wstring OneLineOfText(std::wstring_view text, size_t limit = ONE_LINE_LIMIT);
// The row's line: the first path of a file list (the text when the list is empty), else the
// text made one line.
std::wstring OneLineText(const ClipboardEntry& entry);

// Whether there is anything to preview: a path, a non-empty text, or image bytes.
bool HasPreviewContent(const ClipboardEntry& entry);

// The cache key of an entry's thumbnail at a requested size. Keys of different entries at
// different widths can coincide; ThumbnailCache checks the identity behind a key.
int64_t ThumbnailKey(int64_t id, int width, int height);

// Thumbnails by entry and size. A failed conversion is kept too (as an invalid bitmap) so an
// image that cannot be decoded is not decoded again on every repaint. One thumbnail per entry
// is kept, and at most `capacity` in all, so resizing the list or replacing entries cannot pile
// up bitmaps until the count of entries changes.
template <typename Bitmap>
class ThumbnailCache {
  public:
    explicit ThumbnailCache(size_t capacity = 60) : capacity_(capacity) {}

    // The cached result for this entry and size, or null when there is none.
    const Bitmap* Find(int64_t id, int width, int height) {
        auto it = slots_.find(ThumbnailKey(id, width, height));
        if (it == slots_.end() || it->second.id != id || it->second.width != width ||
            it->second.height != height) {
            return nullptr;
        }
        it->second.lastUse = ++uses_;
        return &it->second.bitmap;
    }

    const Bitmap& Store(int64_t id, int width, int height, Bitmap bitmap) {
        for (auto it = slots_.begin(); it != slots_.end();) {
            it = it->second.id == id ? slots_.erase(it) : std::next(it);
        }
        const int64_t key = ThumbnailKey(id, width, height);
        slots_.erase(key);
        while (!slots_.empty() && slots_.size() >= capacity_) {
            auto oldest = slots_.begin();
            for (auto it = slots_.begin(); it != slots_.end(); ++it) {
                if (it->second.lastUse < oldest->second.lastUse) {
                    oldest = it;
                }
            }
            slots_.erase(oldest);
        }
        Slot& slot = slots_[key];
        slot = Slot{id, width, height, ++uses_, std::move(bitmap)};
        return slot.bitmap;
    }

    void Clear() { slots_.clear(); }
    // Forgets the entry's result, whatever its size.
    void Erase(int64_t id) {
        for (auto it = slots_.begin(); it != slots_.end();) {
            it = it->second.id == id ? slots_.erase(it) : std::next(it);
        }
    }
    size_t Size() const { return slots_.size(); }

  private:
    struct Slot {
        int64_t id = 0;
        int width = 0;
        int height = 0;
        uint64_t lastUse = 0;
        Bitmap bitmap{};
    };
    size_t capacity_;
    uint64_t uses_ = 0;
    std::map<int64_t, Slot> slots_;
};

}  // namespace zovrel::ui::history_list
