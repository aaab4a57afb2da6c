// The test bench itself: real clicks through the X server reach the window under the pointer.
#include "support/gui_test_support.h"

#include "base/win32_handle.h"

namespace zovrel::test {
namespace {

POINT lastClick{-1, -1};

LRESULT CALLBACK TargetProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_LBUTTONDOWN) {
        lastClick = POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        return 0;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

class GuiTestSupportTest : public GuiTest {};

TEST_F(GuiTestSupportTest, ClickThroughXArrivesAtTheClientPoint) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = TargetProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = L"ZovrelClickTarget";
    ::RegisterClassExW(&windowClass);
    UniqueWindow window(::CreateWindowExW(WS_EX_TOPMOST, windowClass.lpszClassName, L"click target",
                                          WS_OVERLAPPEDWINDOW | WS_VISIBLE, 200, 200, 300, 200,
                                          nullptr, nullptr, windowClass.hInstance, nullptr));
    ASSERT_TRUE(window.IsValid());

    lastClick = POINT{-1, -1};
    const POINT target{120, 80};
    ASSERT_TRUE(ClickThroughX(window.Get(), target, [] { return lastClick.x >= 0; }));
    // Under a window manager a position can be off by a pixel.
    EXPECT_NEAR(lastClick.x, target.x, 1);
    EXPECT_NEAR(lastClick.y, target.y, 1);
}

}  // namespace
}  // namespace zovrel::test
