// The pane splitter in a real window under Wine, driven by posted mouse messages and the real
// pointer: drag start, steps and end as the owner sees them, the highlight, and its pixels.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/gui_test_support.h"
#include "test_window.h"
#include "ui/layout_rect.h"
#include "ui/pane_splitter.h"
#include "ui/pane_splitter_win32.h"
#include "ui/ui_ids.h"

namespace zovrel::ui {
namespace {

using test::CaptureWindow;
using test::GuiTest;
using test::PumpPending;
using test::TestDpi;

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

// Posted pointer messages and what the owner and the highlight make of them. dy is the pointer's
// offset from the grab point, 2 pixels into the bar where it stood first; TAKEN is another window
// taking the mouse; hot, when 0 or 1, is the highlight (and the fill it paints) afterwards.
TEST_F(PaneSplitterTest, PostedPointerMessagesDragAndHighlight) {
    constexpr UINT D = WM_LBUTTONDOWN, M = WM_MOUSEMOVE, U = WM_LBUTTONUP, L = WM_MOUSELEAVE;
    constexpr UINT TAKEN = WM_APP;
    constexpr WPARAM B = MK_LBUTTON;
    struct Step {
        UINT message;
        int dy = 0;
        WPARAM keys = 0;
        int hot = -1;
    };
    const struct {
        const char* name;
        int limit;  // how far down the owner lets the bar go
        std::vector<Step> steps;
        std::vector<std::string> events;  // empty: not checked
        int moved;                        // where the bar ends, from where it started
    } cases[] = {
        {"a bar stopped at a limit waits for the pointer to come back",
         5,
         {{D, 0, B}, {M, 20, B}, {M, 15, B}, {M, 3, B}, {U, 3}},
         {},
         3},
        {"lost capture ends the drag",
         1000,
         {{D, 0, B}, {TAKEN}, {M, 10}, {U, 10}},
         {"start", "end"},
         0},
        // The real pointer is parked away from the bar: gone when the button goes up.
        {"hot while over the bar or dragging",
         1000,
         {{M, 1, 0, 1}, {L, 0, 0, 0}, {M, 1, 0, 1}, {D, 1, B}, {L, 0, 0, 1}, {U, 1, 0, 0}},
         {"start", "end"},
         0},
    };
    const int start = owner_.top;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        owner_.events.clear();
        owner_.top = start;
        owner_.maxTop = start + c.limit;
        ::MoveWindow(splitter_.Hwnd(), owner_.x, start, owner_.width, owner_.height, TRUE);
        for (const Step& step : c.steps) {
            if (step.message == TAKEN) {
                ::SetCapture(parent_.Hwnd());
                PumpPending();
                EXPECT_FALSE(splitter_.IsDragging());
                continue;
            }
            PostMouse(step.message, step.message == L ? 0 : start + 2 + step.dy, step.keys);
            if (step.message == D) {
                EXPECT_EQ(::GetCapture(), splitter_.Hwnd());
            }
            if (step.hot >= 0) {
                EXPECT_EQ(splitter_.IsHot(), step.hot == 1);
                EXPECT_EQ(FillColour(), step.hot == 1 ? SPLITTER_HOT_COLOUR : SPLITTER_COLD_COLOUR);
            }
        }
        ::ReleaseCapture();
        PostMouse(L, 0);
        if (!c.events.empty()) {
            EXPECT_EQ(owner_.events, c.events);
        }
        EXPECT_EQ(owner_.top, start + c.moved);
    }
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

}  // namespace
}  // namespace zovrel::ui
