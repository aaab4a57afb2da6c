#pragma once

// The owner-drawn history list of the clipboard page: one row per history entry with its number,
// kind, size, time, row buttons and a one-line text or thumbnail.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "base/win32_handle.h"
#include "clipboard/clipboard_entry.h"
#include "ui/contrast_rules.h"
#include "ui/history_list_rules.h"
#include "ui/image_decoder_win32.h"
#include "ui/window_base_win32.h"

namespace zovrel {
class ClipboardHistory;
}

namespace zovrel::ui {

class CZovrelHoverPreviewWnd;

class CZovrelHistoryListBox : public WindowBase {
  public:
    CZovrelHistoryListBox() = default;
    ~CZovrelHistoryListBox() override;
    // A subclassed LISTBOX child of `parent` with the given style and id.
    bool Create(HWND parent, int id, DWORD style);
    void SetHistory(ClipboardHistory* history);
    void SetPreview(CZovrelHoverPreviewWnd* preview);
    void ClearThumbnailCache();
    // Thumbnails whose image could not be read are made again when next drawn.
    void RetryUnreadThumbnails();
    // The one decoding thread, owned by the list; the preview asks it too.
    ImageDecoder& Decoder() { return decoder_; }
    void ResetPreviewState(int row);

    // The parent forwards WM_MEASUREITEM and WM_DRAWITEM of this control here.
    void MeasureItem(MEASUREITEMSTRUCT& item);
    void DrawItem(const DRAWITEMSTRUCT& item);

    // The row and the button of it under a point in client coordinates (row -1: none).
    history_list::RowHit HitTest(POINT point) const;

    // What the mouse has done to the list so far (for the window's tests).
    int HoverRow() const { return hoverRow_; }
    history_list::RowPart HoverPart() const { return hoverPart_; }
    int PreviewRow() const { return previewRow_; }
    // Draws rows and the focus mark in the system colours (High Contrast).
    void SetHighContrast(bool on);
    // How many thumbnails were asked of the decoding thread since creation, and how many of
    // those have not come back yet.
    size_t ThumbnailsMade() const { return thumbnailsMade_; }
    size_t ThumbnailsPending() const { return decoding_.size(); }

  protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    struct Hit {
        history_list::RowHit at;
        RECT rowRect{};
        std::optional<ClipboardEntry> entry;
    };

    Hit HitTestWithEntry(POINT point) const;
    RECT RowRect(int row) const;
    void InvalidateRow(int row);
    void SetHover(int row, history_list::RowPart part);
    void HidePreviewSoon();

    void OnMouseMove(POINT point);
    void OnMouseLeave();
    void OnScroll();
    LRESULT OnButtonDown(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnButtonUp(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnDoubleClick(UINT message, WPARAM wParam, LPARAM lParam);

    // The keyboard (history_list_keys_win32.cpp): Enter, Delete, the row menu.
    bool OnKey(UINT message, WPARAM key);
    LRESULT DialogCode(UINT message, WPARAM wParam, LPARAM lParam);
    void OnContextMenu(LPARAM screenPoint);
    void ShowRowMenu(int row, POINT screen);
    int SelectedRow() const;
    void DrawFocusMark(HDC dc, const RECT& rect, int dpi, COLORREF colour) const;
    RowPalette Palette(std::optional<uint32_t> kind, bool selected, bool odd) const;

    void DrawRow(HDC dc, const RECT& rect, int row, bool selected,
                 const std::optional<ClipboardEntry>& entry, int dpi);
    void DrawThumbnail(HDC dc, const ClipboardEntry& entry, int row, const LayoutRect& content,
                       int dpi);
    // The cached thumbnail, or null while it is being made (then it is asked for).
    HBITMAP Thumbnail(const ClipboardEntry& entry, int row, int width, int height);
    void RequestThumbnails();
    void OnDecoded(std::unique_ptr<DecodedImage> decoded);
    HFONT RowFont(int dpi);

    ClipboardHistory* history_ = nullptr;
    CZovrelHoverPreviewWnd* preview_ = nullptr;
    history_list::ThumbnailCache<UniqueBitmap> thumbnails_;
    std::set<int64_t> unreadThumbnails_;
    // Entries whose thumbnail was asked for and has not come back; a thumbnail dropped unmade
    // leaves it, and the next result repaints the whole list so a row still shown asks again.
    std::set<int64_t> decoding_;
    bool dropped_ = false;
    // Asked for while drawing, handed over once the drawing is done (top row first).
    std::vector<DecodeRequest> toRequest_;
    std::shared_ptr<WindowPostTarget> postTarget_;
    int hoverRow_ = -1;
    history_list::RowPart hoverPart_ = history_list::RowPart::None;
    int previewRow_ = -1;
    int suppressedRow_ = -1;
    bool tracking_ = false;
    // The row button pressed and not yet released; it acts when released over itself.
    history_list::RowHit pressed_;
    // The list's font when its parent gave it none (never the bitmap system font).
    UniqueFont ownFont_;
    int ownFontDpi_ = 0;
    size_t thumbnailsMade_ = 0;
    bool highContrast_ = false;
    // Last, so the thread is joined before the rest goes.
    ImageDecoder decoder_;
};

}  // namespace zovrel::ui
