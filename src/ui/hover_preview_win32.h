#pragma once

// The borderless pop-up that shows the whole content of the history entry under the pointer.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "base/win32_handle.h"
#include "clipboard/clipboard_entry.h"
#include "ui/hover_preview_rules.h"
#include "ui/image_decoder_win32.h"
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
    // Frees the last image shown, kept so that showing it again needs no decoding.
    void DropImageCache();

    // What is shown: 0 nothing, 1 a text, 2 an image.
    int Mode() const { return mode_; }
    int ShownRow() const { return shownRow_; }
    // An image is being decoded to be shown.
    bool AwaitingImage() const { return awaitedId_ != 0; }
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
    // Shows the cached image (mode 2) beside the anchor.
    void PresentImage(int64_t id, const RECT& anchor, int row);
    void OnDecoded(std::unique_ptr<DecodedImage> decoded);
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
    // The last image decoded for the preview, of entry imageId_, kept after hiding: a cache of
    // one entry, costing 4 bytes per pixel of that image.
    UniqueBitmap image_;
    int64_t imageId_ = 0;
    // The entry whose image the decoding thread is making for the preview (0: none).
    int64_t awaitedId_ = 0;
    int awaitedRow_ = -1;
    std::shared_ptr<WindowPostTarget> postTarget_;
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
