#include "ui/window_base_win32.h"

#include <commctrl.h>

#include "base/win32_handle.h"

namespace zovrel::ui {

namespace {
constexpr UINT_PTR SUBCLASS_ID = 1;
}  // namespace

HINSTANCE ModuleInstance() {
    return ::GetModuleHandleW(nullptr);
}

WindowBase::~WindowBase() {
    Destroy();
}

void WindowBase::Destroy() {
    if (hwnd_ != nullptr && ::IsWindow(hwnd_)) {
        ::DestroyWindow(hwnd_);
    }
    hwnd_ = nullptr;
}

bool WindowBase::CreateOwnWindow(WNDCLASSEXW windowClass, DWORD exStyle, const wchar_t* title,
                                 DWORD style, int x, int y, int width, int height, HWND parent,
                                 HMENU menuOrId) {
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &WindowBase::WindowProc;
    windowClass.hInstance = ModuleInstance();
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (!::GetClassInfoExW(windowClass.hInstance, windowClass.lpszClassName, &existing) &&
        ::RegisterClassExW(&windowClass) == 0) {
        return false;
    }
    subclassed_ = false;
    HWND created = ::CreateWindowExW(exStyle, windowClass.lpszClassName, title, style, x, y, width,
                                     height, parent, menuOrId, windowClass.hInstance, this);
    return created != nullptr && created == hwnd_;
}

bool WindowBase::CreateSubclassedControl(const wchar_t* systemClass, DWORD exStyle,
                                         const wchar_t* text, DWORD style, HWND parent, int id) {
    HWND created = ::CreateWindowExW(exStyle, systemClass, text, style, 0, 0, 0, 0, parent,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                     ModuleInstance(), nullptr);
    if (created == nullptr) {
        return false;
    }
    hwnd_ = created;
    subclassed_ = true;
    if (!::SetWindowSubclass(created, &WindowBase::SubclassProc, SUBCLASS_ID,
                             reinterpret_cast<DWORD_PTR>(this))) {
        ::DestroyWindow(created);
        hwnd_ = nullptr;
        return false;
    }
    return true;
}

LRESULT WindowBase::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefaultHandling(message, wParam, lParam);
}

LRESULT WindowBase::DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam) {
    if (subclassed_) {
        return ::DefSubclassProc(hwnd_, message, wParam, lParam);
    }
    return ::DefWindowProcW(hwnd_, message, wParam, lParam);
}

LRESULT WindowBase::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND hwnd = hwnd_;
    const LRESULT result = HandleMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // The window is gone; this object may outlive it and must not reach it again.
        if (subclassed_) {
            ::RemoveWindowSubclass(hwnd, &WindowBase::SubclassProc, SUBCLASS_ID);
        } else {
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        }
        hwnd_ = nullptr;
    }
    return result;
}

LRESULT CALLBACK WindowBase::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<WindowBase*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr && message == WM_NCCREATE) {
        self = static_cast<WindowBase*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        if (self != nullptr) {
            self->hwnd_ = hwnd;
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
    }
    if (self == nullptr) {
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return self->Dispatch(message, wParam, lParam);
}

LRESULT CALLBACK WindowBase::SubclassProc(HWND, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR, DWORD_PTR self) {
    return reinterpret_cast<WindowBase*>(self)->Dispatch(message, wParam, lParam);
}

int WindowDpi(HWND hwnd) {
    const UINT dpi = hwnd != nullptr ? ::GetDpiForWindow(hwnd) : 0;
    if (dpi != 0) {
        return static_cast<int>(dpi);
    }
    WindowDC screen(nullptr);
    const int fromScreen = screen.IsValid() ? ::GetDeviceCaps(screen.Get(), LOGPIXELSY) : 0;
    return fromScreen > 0 ? fromScreen : DEFAULT_DPI;
}

RECT ToRect(const LayoutRect& r) {
    return RECT{r.x, r.y, r.x + r.w, r.y + r.h};
}

void MoveTo(HWND hwnd, const LayoutRect& r) {
    if (hwnd != nullptr) {
        ::MoveWindow(hwnd, r.x, r.y, r.w, r.h, TRUE);
    }
}

}  // namespace zovrel::ui
