#pragma once

// The borderless pop-up that shows the whole content of the history entry under the pointer.

#include <windows.h>

#include "clipboard/clipboard_entry.h"
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

    // The rest is declared below by the preview's own code.
};

}  // namespace zovrel::ui
