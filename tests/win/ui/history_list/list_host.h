#pragma once

// What the history list's window tests share: PNG bytes, and a small parent window that hosts
// the list the way the main window does (forwarding measure and draw, recording the list's
// requests) with the preview linked to it.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/bytes.h"
#include "base/text.h"
#include "base/win32_handle.h"
#include "clipboard/clipboard_entry.h"
#include "clipboard/history_store.h"
#include "support/gui_test_support.h"
#include "support/test_support.h"
#include "ui/history_list_win32.h"
#include "ui/hover_preview_win32.h"
#include "ui/ui_ids.h"
#include "ui/window_base_win32.h"

namespace zovrel::test {

// Left half red, right half blue.
inline Bytes MakeTwoColourPng(int width, int height) {
    return EncodeImage(width, height,
                       [width](int x, int) { return x < width / 2 ? 0xFFFF0000u : 0xFF0000FFu; });
}

// The parent of the list: a plain top-level window of the given client size (96-DPI pixels,
// scaled) with the list filling it less an 8-pixel margin.
class ListHost : public ui::WindowBase {
  public:
    ListHost(ClipboardHistory& history, int x, int y, int width, int height) : history_(history) {
        WNDCLASSEXW windowClass{};
        windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        windowClass.lpszClassName = L"ZovrelHistoryListTestHost";
        if (!CreateOwnWindow(windowClass, 0, L"zovrel list test", WS_POPUP | WS_VISIBLE, x, y, 1, 1,
                             nullptr, nullptr)) {
            return;
        }
        dpi_ = ui::WindowDpi(Hwnd());
        const int w = ui::ScaleForDpi(width, dpi_);
        const int h = ui::ScaleForDpi(height, dpi_);
        ::SetWindowPos(Hwnd(), HWND_TOP, x, y, w, h, SWP_SHOWWINDOW);
        const int margin = ui::ScaleForDpi(8, dpi_);
        list.Create(Hwnd(), ui::IDC_HISTORY_LIST,
                    WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | LBS_NOTIFY |
                        LBS_OWNERDRAWVARIABLE | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT);
        ::MoveWindow(list.Hwnd(), margin, margin, w - 2 * margin, h - 2 * margin, TRUE);
        list.SetHistory(&history_);
        preview.CreatePreview(Hwnd());
        list.SetPreview(&preview);
        preview.SetList(&list);
        // The rows the main window makes: one "%u" string per entry.
        for (int i = 0; i < history_.GetEntryCount(); ++i) {
            const std::wstring row = std::to_wstring(i + 1);
            ::SendMessageW(list.Hwnd(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()));
        }
        ::UpdateWindow(list.Hwnd());
    }
    ~ListHost() override { Destroy(); }

    int Dpi() const { return dpi_; }
    int S(int value) const { return ui::ScaleForDpi(value, dpi_); }

    ui::CZovrelHistoryListBox list;
    ui::CZovrelHoverPreviewWnd preview;
    // The list's requests: message and row.
    std::vector<std::pair<UINT, int>> requests;

  protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
            case WM_MEASUREITEM:
                list.MeasureItem(*reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
                return TRUE;
            case WM_DRAWITEM:
                list.DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
                return TRUE;
            case ui::WM_HISTORY_SEND:
            case ui::WM_HISTORY_DELETE:
            case ui::WM_HISTORY_OPEN_FOLDER:
            case ui::WM_HISTORY_ACTIVATE:
                requests.emplace_back(message, static_cast<int>(wParam));
                return 1;
            default:
                break;
        }
        return DefaultHandling(message, wParam, lParam);
    }

  private:
    ClipboardHistory& history_;
    int dpi_ = 96;
};

}  // namespace zovrel::test
