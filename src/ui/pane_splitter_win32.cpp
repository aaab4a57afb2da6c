#include "ui/pane_splitter_win32.h"

#include <windowsx.h>

#include "base/win32_handle.h"
#include "ui/pane_splitter.h"

namespace zovrel::ui {

namespace {
constexpr wchar_t SPLITTER_CLASS[] = L"ZovrelPaneSplitterClass";
constexpr wchar_t SPLITTER_NAME[] = L"ZovrelPaneSplitter";

void FillSolid(HDC dc, const RECT& rect, uint32_t colour) {
    UniqueBrush brush(::CreateSolidBrush(static_cast<COLORREF>(colour)));
    ::FillRect(dc, &rect, brush.Get());
}
}  // namespace

CZovrelPaneSplitter::~CZovrelPaneSplitter() {
    Destroy();
}

bool CZovrelPaneSplitter::CreateSplitter(SplitterOwner* owner, int direction, HWND parent, int id) {
    owner_ = owner;
    direction_ = direction;
    WNDCLASSEXW windowClass{};
    windowClass.lpszClassName = SPLITTER_CLASS;
    // No class cursor: WM_SETCURSOR sets the north-south arrows. No background: painting covers
    // the whole bar.
    return CreateOwnWindow(windowClass, 0, SPLITTER_NAME, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)));
}

void CZovrelPaneSplitter::SetHot(bool hot) {
    if (hot_ != hot) {
        hot_ = hot;
        ::InvalidateRect(Hwnd(), nullptr, FALSE);
    }
}

void CZovrelPaneSplitter::TrackLeave() {
    TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, Hwnd(), 0};
    ::TrackMouseEvent(&track);
}

// Ends a drag, whether the button went up or the capture was taken away (a window that came to
// the front, Escape in a menu): a drag that never ends would keep reporting moves without a
// button held.
void CZovrelPaneSplitter::EndDrag() {
    if (!dragging_) {
        return;
    }
    dragging_ = false;
    if (owner_ != nullptr) {
        owner_->OnSplitterDragEnd();
    }
    // The capture suppressed the leave notification: a pointer that is already elsewhere clears
    // the highlight now, one still over the bar is watched again.
    POINT pointer{};
    if (::GetCursorPos(&pointer) && ::WindowFromPoint(pointer) == Hwnd()) {
        TrackLeave();
    } else {
        SetHot(false);
    }
}

void CZovrelPaneSplitter::Paint(HDC dc) {
    RECT client{};
    ::GetClientRect(Hwnd(), &client);
    const SplitterPaint paint =
        PaintSplitter(hot_ || dragging_, client.right, client.bottom, WindowDpi(Hwnd()));
    FillSolid(dc, client, paint.fill);
    FillSolid(dc, ToRect(paint.gripRect), paint.grip);
}

LRESULT CZovrelPaneSplitter::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SETCURSOR:
            ::SetCursor(::LoadCursorW(nullptr, IDC_SIZENS));
            return TRUE;
        case WM_LBUTTONDOWN:
            ::SetCapture(Hwnd());
            lastY_ = GET_Y_LPARAM(lParam);
            dragging_ = true;
            SetHot(true);
            if (owner_ != nullptr) {
                owner_->OnSplitterDragStart();
            }
            break;
        case WM_MOUSEMOVE:
            if (dragging_) {
                // The owner moves the bar by each delta, so the grab point is the reference.
                const int y = GET_Y_LPARAM(lParam);
                if (owner_ != nullptr && y != lastY_) {
                    owner_->OnSplitterDrag(direction_, y - lastY_);
                }
            } else if (!hot_) {
                SetHot(true);
                TrackLeave();
            }
            break;
        case WM_LBUTTONUP:
            if (dragging_) {
                ::ReleaseCapture();
                EndDrag();  // when the capture was already gone
            }
            break;
        case WM_CAPTURECHANGED:
            EndDrag();
            break;
        case WM_MOUSELEAVE:
            if (!dragging_) {
                SetHot(false);
            }
            break;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PaintDC dc(Hwnd());
            Paint(dc.Get());
            return 0;
        }
        case WM_PRINTCLIENT:
            Paint(reinterpret_cast<HDC>(wParam));
            return 0;
        default:
            break;
    }
    return DefaultHandling(message, wParam, lParam);
}

}  // namespace zovrel::ui
