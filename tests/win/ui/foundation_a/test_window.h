#pragma once

// A plain top-level window for the foundation tests: parent of the splitter, owner of the About
// dialog, notify window of the tray icon. Paints white; messages can be watched.

#include <windows.h>

#include <functional>

#include "base/win32_handle.h"
#include "support/gui_test_support.h"
#include "ui/window_base_win32.h"

namespace zovrel::ui::test_a {

class TestWindow : public WindowBase {
  public:
    // Return true when the message was handled (the result is 0).
    using Handler = std::function<bool(UINT message, WPARAM wParam, LPARAM lParam)>;

    bool Create(int width, int height, bool visible) {
        WNDCLASSEXW windowClass{};
        windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
        windowClass.lpszClassName = L"ZovrelFoundationTestWindow";
        const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | (visible ? WS_VISIBLE : 0);
        return CreateOwnWindow(windowClass, 0, L"foundation test", style, 40, 40, width, height,
                               nullptr, nullptr);
    }
    void SetHandler(Handler handler) { handler_ = std::move(handler); }

  protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (handler_ && handler_(message, wParam, lParam)) {
            return 0;
        }
        return DefaultHandling(message, wParam, lParam);
    }

  private:
    Handler handler_;
};

// What the screen shows of a window (frame included or client area only), children and the
// window manager's frame included, which PrintWindow under Wine leaves out. The window must be
// shown and not covered.
inline test::CapturedImage CaptureFromScreen(HWND hwnd, bool withFrame) {
    RECT r{};
    if (withFrame) {
        ::GetWindowRect(hwnd, &r);
    } else {
        ::GetClientRect(hwnd, &r);
        ::MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&r), 2);
    }
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    WindowDC screen(nullptr);
    UniqueMemoryDC memory(::CreateCompatibleDC(screen.Get()));
    UniqueBitmap bitmap(::CreateCompatibleBitmap(screen.Get(), width, height));
    {
        SelectedObject selected(memory.Get(), bitmap.Get());
        ::BitBlt(memory.Get(), 0, 0, width, height, screen.Get(), r.left, r.top,
                 SRCCOPY | CAPTUREBLT);
    }
    return test::CaptureBitmap(bitmap.Get());
}

// Pumps messages until the screen shows `colour` at the client point (x, y): the window manager
// maps a new window a moment after it is shown. False after `ms` without it.
inline bool WaitForScreenColour(HWND hwnd, int x, int y, COLORREF colour, DWORD ms = 3000) {
    return test::PumpMessages(
        ms, [&] { return CaptureFromScreen(hwnd, false).PixelAt(x, y) == colour; });
}

}  // namespace zovrel::ui::test_a
