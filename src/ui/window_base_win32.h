#pragma once

// The one window base of the user interface: owns its HWND, keeps `this` with the window from
// WM_NCCREATE on, and hands every message to a virtual handler. Either a window of a class of
// our own (CreateOwnWindow) or a system control subclassed in place (CreateSubclassedControl).

#include <windows.h>

#include <string>

#include "ui/layout_rect.h"

namespace zovrel::ui {

class WindowBase {
  public:
    WindowBase() = default;
    WindowBase(const WindowBase&) = delete;
    WindowBase& operator=(const WindowBase&) = delete;
    // Destroys a window that is still alive. A derived class that must see WM_DESTROY with its
    // own handler calls Destroy() in its own destructor.
    virtual ~WindowBase();

    HWND Hwnd() const { return hwnd_; }
    bool IsCreated() const { return hwnd_ != nullptr; }
    void Destroy();

  protected:
    // Registers `windowClass` once per process (its lpfnWndProc and hInstance are filled in
    // here) and creates the window. False when either fails.
    bool CreateOwnWindow(WNDCLASSEXW windowClass, DWORD exStyle, const wchar_t* title, DWORD style,
                         int x, int y, int width, int height, HWND parent, HMENU menuOrId);
    // Creates a control of a system class (L"LISTBOX", L"STATIC", ...) and subclasses it, so its
    // messages reach HandleMessage first and DefaultHandling passes them on to the control.
    bool CreateSubclassedControl(const wchar_t* systemClass, DWORD exStyle, const wchar_t* text,
                                 DWORD style, HWND parent, int id);

    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // DefWindowProc for own windows, the control's own procedure for subclassed controls.
    LRESULT DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam);

  private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR self);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
    bool subclassed_ = false;
};

// The DPI the window is shown at (96 when it cannot be told).
int WindowDpi(HWND hwnd);
// A rectangle of the layout rules as a RECT.
RECT ToRect(const LayoutRect& r);
// Moves a child window to a rectangle of the layout rules, repainting it.
void MoveTo(HWND hwnd, const LayoutRect& r);

HINSTANCE ModuleInstance();

}  // namespace zovrel::ui
