// The pane splitter in a real window under Wine, driven by posted mouse messages: drag start,
// steps and end as the owner sees them, the highlight while hot or dragging, and its pixels.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/gui_test_support.h"
#include "test_window.h"
#include "ui/layout_rect.h"
#include "ui/pane_splitter_win32.h"
#include "ui/ui_ids.h"

namespace zovrel::ui {
namespace {

using test::CaptureWindow;
using test::GuiTest;
using test::PumpPending;
using test::TestDpi;

constexpr COLORREF COLD = RGB(214, 214, 214);
constexpr COLORREF HOT = RGB(180, 200, 230);
constexpr COLORREF GRIP = RGB(150, 150, 150);

// Records the notifications and, like the main window, moves the bar by each delta within
// [minTop, maxTop].
class RecordingOwner : public SplitterOwner {
  public:
    void OnSplitterDragStart() override { events.push_back("start"); }
    void OnSplitterDrag(int direction, int delta) override {
        events.push_back("drag " + std::to_string(direction) + " " + std::to_string(delta));
        top = std::min(std::max(top + delta, minTop), maxTop);
        ::MoveWindow(bar, x, top, width, height, TRUE);
    }
    void OnSplitterDragEnd() override { events.push_back("end"); }

    std::vector<std::string> events;
    HWND bar = nullptr;
    int x = 0, top = 0, width = 0, height = 0, minTop = 0, maxTop = 10000;
};

class PaneSplitterTest : public GuiTest {
  protected:
    void SetUp() override {
        dpi_ = TestDpi();
        ASSERT_TRUE(parent_.Create(Px(560), Px(400), true));
        ASSERT_TRUE(splitter_.CreateSplitter(&owner_, 1, parent_.Hwnd(), IDC_SPLITTER));
        owner_.bar = splitter_.Hwnd();
        owner_.x = Px(8);
        owner_.top = Px(200);
        owner_.width = Px(528);
        owner_.height = Px(6);
        ::MoveWindow(splitter_.Hwnd(), owner_.x, owner_.top, owner_.width, owner_.height, TRUE);
        ::SetForegroundWindow(parent_.Hwnd());
        // Away from every window until a test puts it on the bar.
        ::SetCursorPos(0, 0);
        test::PumpMessages(1000, [] {
            POINT p{};
            return ::GetCursorPos(&p) && p.x == 0 && p.y == 0;
        });
    }
    void TearDown() override {
        ::ReleaseCapture();
        splitter_.Destroy();
        parent_.Destroy();
        PumpPending();
    }

    int Px(int value) const { return ScaleForDpi(value, dpi_); }
    // Posts a mouse message for the pointer at `parentY` (the parent's client coordinates), as
    // the bar sees it where it is now, and handles it. Only it: real pointer input that waits in
    // the queue (posted messages come first) would reach the captured bar in between.
    void PostMouse(UINT message, int parentY, WPARAM keys = 0) {
        const int y = parentY - owner_.top;
        ::PostMessageW(splitter_.Hwnd(), message, keys, MAKELPARAM(Px(100), y));
        MSG posted;
        ASSERT_TRUE(::PeekMessageW(&posted, splitter_.Hwnd(), message, message, PM_REMOVE));
        ::DispatchMessageW(&posted);
    }
    COLORREF FillColour() const { return CaptureWindow(splitter_.Hwnd()).PixelAt(2, 1); }
    // The real pointer over the bar, so the leave tracking sees it there; true once the bar
    // has seen it arrive (no stale move is left to come in later).
    bool PutCursorOnBar() {
        POINT p{Px(100), owner_.height / 2};
        ::ClientToScreen(splitter_.Hwnd(), &p);
        ::SetCursorPos(p.x, p.y);
        return test::PumpMessages(2000, [&] { return splitter_.IsHot(); });
    }

    int dpi_ = 96;
    test_a::TestWindow parent_;
    RecordingOwner owner_;
    CZovrelPaneSplitter splitter_;
};

TEST_F(PaneSplitterTest, DragStartsStepsWithThePointerAndEnds) {
    const int grab = owner_.top + 2;
    PostMouse(WM_LBUTTONDOWN, grab, MK_LBUTTON);
    EXPECT_EQ(::GetCapture(), splitter_.Hwnd());
    PostMouse(WM_MOUSEMOVE, grab, MK_LBUTTON);  // no movement, no step
    PostMouse(WM_MOUSEMOVE, grab + 10, MK_LBUTTON);
    PostMouse(WM_MOUSEMOVE, grab + 11, MK_LBUTTON);
    PostMouse(WM_MOUSEMOVE, grab + 11, MK_LBUTTON);
    PostMouse(WM_MOUSEMOVE, grab - 30, MK_LBUTTON);
    PostMouse(WM_LBUTTONUP, grab - 30);
    EXPECT_EQ(::GetCapture(), nullptr);
    EXPECT_EQ(owner_.events,
              (std::vector<std::string>{"start", "drag 1 10", "drag 1 1", "drag 1 -41", "end"}));
    EXPECT_EQ(owner_.top, Px(200) - 30);  // the bar followed the pointer
}

// The whole input path: pointer moves that Windows turns into messages relative to the bar
// where it is when each message is read, while the owner moves the bar by each step.
TEST_F(PaneSplitterTest, RealPointerDragKeepsTheBarUnderThePointer) {
    ASSERT_TRUE(PutCursorOnBar());
    POINT start{};
    ::GetCursorPos(&start);
    RECT bar{};
    ::GetWindowRect(splitter_.Hwnd(), &bar);
    const int grabOffset = start.y - bar.top;
    const int firstTop = owner_.top;

    auto button = [](DWORD flag) {
        INPUT input{};
        input.type = INPUT_MOUSE;
        input.mi.dwFlags = flag;
        ::SendInput(1, &input, sizeof(input));
    };
    button(MOUSEEVENTF_LEFTDOWN);
    ASSERT_TRUE(test::PumpMessages(2000, [&] { return splitter_.IsDragging(); }));
    for (int step = 1; step <= 8; ++step) {
        const int y = start.y + step * 7 * (step % 3 == 0 ? -1 : 1);
        ::SetCursorPos(start.x, y);
        const int expectedTop = firstTop + (y - start.y);
        EXPECT_TRUE(test::PumpMessages(2000, [&] { return owner_.top == expectedTop; }))
            << "step " << step << ": bar at " << owner_.top << ", expected " << expectedTop;
    }
    button(MOUSEEVENTF_LEFTUP);
    ASSERT_TRUE(test::PumpMessages(2000, [&] { return !splitter_.IsDragging(); }));
    POINT end{};
    ::GetCursorPos(&end);
    ::GetWindowRect(splitter_.Hwnd(), &bar);
    EXPECT_EQ(end.y - bar.top, grabOffset);
}

TEST_F(PaneSplitterTest, BarStoppedAtALimitWaitsForThePointerToComeBack) {
    owner_.maxTop = owner_.top + 5;
    const int start = owner_.top;
    const int grab = start + 2;
    PostMouse(WM_LBUTTONDOWN, grab, MK_LBUTTON);
    PostMouse(WM_MOUSEMOVE, grab + 20, MK_LBUTTON);  // the owner stops the bar after 5
    EXPECT_EQ(owner_.top, start + 5);
    PostMouse(WM_MOUSEMOVE, grab + 15, MK_LBUTTON);  // still below the limit: stays
    EXPECT_EQ(owner_.top, start + 5);
    PostMouse(WM_MOUSEMOVE, grab + 3, MK_LBUTTON);  // above it: the bar is under the pointer
    EXPECT_EQ(owner_.top, start + 3);
    PostMouse(WM_LBUTTONUP, grab + 3);
}

TEST_F(PaneSplitterTest, LostCaptureEndsTheDrag) {
    const int grab = owner_.top + 2;
    PostMouse(WM_LBUTTONDOWN, grab, MK_LBUTTON);
    ::SetCapture(parent_.Hwnd());  // another window takes the mouse
    PumpPending();
    EXPECT_FALSE(splitter_.IsDragging());
    PostMouse(WM_MOUSEMOVE, grab + 10);
    PostMouse(WM_LBUTTONUP, grab + 10);
    ::ReleaseCapture();
    EXPECT_EQ(owner_.events, (std::vector<std::string>{"start", "end"}));
}

TEST_F(PaneSplitterTest, HotWhileThePointerIsOverItOrADragRuns) {
    EXPECT_FALSE(splitter_.IsHot());
    ASSERT_TRUE(PutCursorOnBar());  // the real pointer makes it hot
    EXPECT_EQ(FillColour(), HOT);
    PostMouse(WM_MOUSELEAVE, 0);
    EXPECT_FALSE(splitter_.IsHot());
    PostMouse(WM_MOUSEMOVE, owner_.top + 3);
    EXPECT_TRUE(splitter_.IsHot());

    // While the button is held the bar stays highlighted when the pointer leaves it.
    PostMouse(WM_LBUTTONDOWN, owner_.top + 3, MK_LBUTTON);
    PostMouse(WM_MOUSELEAVE, 0);
    EXPECT_TRUE(splitter_.IsHot());
    EXPECT_EQ(FillColour(), HOT);
    PostMouse(WM_LBUTTONUP, owner_.top + 3);
    EXPECT_TRUE(splitter_.IsHot());  // until the pointer leaves
    PostMouse(WM_MOUSELEAVE, 0);
    EXPECT_FALSE(splitter_.IsHot());
}

TEST_F(PaneSplitterTest, PointerAlreadyGoneWhenTheDragEndsClearsTheHighlight) {
    PostMouse(WM_LBUTTONDOWN, owner_.top + 3, MK_LBUTTON);
    // The pointer (parked away from the bar) is elsewhere when the button goes up.
    PostMouse(WM_LBUTTONUP, owner_.top + 3);
    EXPECT_FALSE(splitter_.IsHot());
    EXPECT_EQ(FillColour(), COLD);
}

TEST_F(PaneSplitterTest, PaintsTheBarAndACentredGrip) {
    // On the screen, painted by WM_PAINT: the fill beside the grip, and the grip's first pixel.
    const int gripX = (owner_.width - Px(24)) / 2, gripY = (owner_.height - Px(2)) / 2;
    EXPECT_TRUE(test_a::WaitForScreenColour(splitter_.Hwnd(), 2, 1, COLD));
    EXPECT_TRUE(test_a::WaitForScreenColour(splitter_.Hwnd(), gripX, gripY, GRIP));
    test::SaveImageScreenshot(test::CaptureScreen(parent_.Hwnd(), true), L"splitter-cold");
    ASSERT_TRUE(PutCursorOnBar());
    EXPECT_TRUE(test_a::WaitForScreenColour(splitter_.Hwnd(), 2, 1, HOT));
    test::SaveImageScreenshot(test::CaptureScreen(parent_.Hwnd(), true), L"splitter-hot");
}

}  // namespace
}  // namespace zovrel::ui
