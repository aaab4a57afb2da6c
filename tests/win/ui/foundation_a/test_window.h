#pragma once

// A plain top-level window for the foundation tests: parent of the splitter, owner of the About
// dialog, notify window of the tray icon. Paints white.

#include <windows.h>

#include "base/win32_handle.h"
#include "ui/window_base_win32.h"

namespace zovrel::ui::test_a {

class TestWindow : public WindowBase {
  public:
    bool Create(int width, int height, bool visible) {
        WNDCLASSEXW windowClass{};
        windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
        windowClass.lpszClassName = L"ZovrelFoundationTestWindow";
        const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | (visible ? WS_VISIBLE : 0);
        return CreateOwnWindow(windowClass, 0, L"foundation test", style, 40, 40, width, height,
                               nullptr, nullptr);
    }

  protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        return DefaultHandling(message, wParam, lParam);
    }
};

}  // namespace zovrel::ui::test_a
