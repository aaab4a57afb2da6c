#pragma once

// The borderless pop-up that shows the whole content of the history entry under the pointer.

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/win32_handle.h"
#include "clipboard/clipboard_entry.h"
#include "ui/hover_preview_rules.h"
#include "ui/window_base_win32.h"

namespace zovrel::ui {

class CZovrelHistoryListBox;

class CZovrelHoverPreviewWnd : public WindowBase {
  public:
    CZovrelHoverPreviewWnd() = default;
    ~CZovrelHoverPreviewWnd() override;
    bool CreatePreview(HWND owner);
    void SetList(CZovrelHistoryListBox* list);
    // `anchor`: the row's rectangle in screen coordinates.
    void ShowFor(const ClipboardEntry& entry, const RECT& anchor, int row);
    void HideSoon();
    void HidePreview();
    bool IsShown() const;
    bool ContainsScreenPoint(POINT point) const;
    void SetHighContrast(bool on);

    // What is shown: 0 nothing, 1 a text, 2 an image.
    int Mode() const { return mode_; }
    int ShownRow() const { return shownRow_; }
    bool HorizontalBarShown() const { return horizontalBar_; }
    bool VerticalBarShown() const { return verticalBar_; }
    int HorizontalPosition() const { return horizontalPosition_; }
    int VerticalPosition() const { return verticalPosition_; }
    // The part of the client area the image is shown in (mode 2).
    RECT ImageView() const;

  protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void Present(const ClipboardEntry& entry, const RECT& anchor, int row);
    // Moves the window of this outer size beside the anchor, on top, shown, not activated.
    void Place(hover_preview::Size window, const RECT& anchor);
    hover_preview::Size WindowSizeForClient(hover_preview::Size client) const;
    void ShowBars(bool horizontal, bool vertical);
    void UpdateScrollBars();
    void ScrollTo(bool vertical, int position);
    void OnScrollBar(bool vertical, WPARAM wParam);
    void OnWheel(WPARAM wParam);
    void OnButtonDown();
    // The pointer on the client area or the scroll bars (non-client), and leaving either.
    void OnPointerMove(bool nonClient);
    void OnPointerLeave();
    bool PointerOnPreview() const;
    void Paint(HDC dc);
    HFONT PreviewFont(int dpi);

    HWND owner_ = nullptr;
    CZovrelHistoryListBox* list_ = nullptr;
    ClipboardEntry pending_;
    bool showPending_ = false;
    RECT anchor_{};
    int pendingRow_ = -1;
    int shownRow_ = -1;
    int mode_ = 0;
    int64_t shownId_ = 0;
    std::wstring text_;
    UniqueBitmap image_;
    int imageWidth_ = 0;
    int imageHeight_ = 0;
    int horizontalPosition_ = 0;
    int verticalPosition_ = 0;
    bool horizontalBar_ = false;
    bool verticalBar_ = false;
    UniqueFont font_;
    int fontDpi_ = 0;
    bool tracking_ = false;
    bool trackingNonClient_ = false;
    bool dragging_ = false;
    bool highContrast_ = false;
};

}  // namespace zovrel::ui
