#pragma once

// The owner-drawn history list of the clipboard page: one row per history entry with its number,
// kind, size, time, row buttons and a one-line text or thumbnail.

#include <windows.h>

#include <cstdint>
#include <map>

#include "base/win32_handle.h"
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
    void ResetPreviewState(int row);

    // The parent forwards WM_MEASUREITEM and WM_DRAWITEM of this control here.
    void MeasureItem(MEASUREITEMSTRUCT& item);
    void DrawItem(const DRAWITEMSTRUCT& item);

    // The rest is declared below by the list's own code.
};

}  // namespace zovrel::ui
