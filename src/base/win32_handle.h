#pragma once

// One owner for every Win32 handle the program holds: kernel handles, registry keys, device
// sets, global memory, GDI objects, icons, menus, windows and device contexts. Each wrapper is
// move-only and frees its handle exactly once. Names follow one style: Get, IsValid, Reset,
// Release.

#include <windows.h>

#include <setupapi.h>

#include <utility>

namespace zovrel {

// Traits: `Type`, `Invalid()` and `Close(Type)`. A value equal to Invalid() is never closed.
template <typename Traits>
class UniqueResource {
  public:
    using Type = typename Traits::Type;

    UniqueResource() = default;
    explicit UniqueResource(Type value) : value_(value) {}
    UniqueResource(UniqueResource&& other) noexcept : value_(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() { Reset(); }

    Type Get() const { return value_; }
    bool IsValid() const { return Traits::IsValid(value_); }
    explicit operator bool() const { return IsValid(); }

    // Frees the held value (if any) and takes `value`.
    void Reset(Type value = Traits::Invalid()) {
        Type old = std::exchange(value_, value);
        if (Traits::IsValid(old)) {
            Traits::Close(old);
        }
    }
    // Gives up ownership without freeing.
    Type Release() { return std::exchange(value_, Traits::Invalid()); }

  private:
    Type value_ = Traits::Invalid();
};

namespace handle_traits {

// Kernel handles: both null and INVALID_HANDLE_VALUE mean "none" (CreateFile gives the latter).
struct Kernel {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::CloseHandle(h); }
};
// SetupDiOpenDevRegKey reports failure as INVALID_HANDLE_VALUE, the registry calls as null.
struct RegistryKey {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) {
        return h != nullptr && h != reinterpret_cast<Type>(INVALID_HANDLE_VALUE);
    }
    static void Close(Type h) { ::RegCloseKey(h); }
};
struct DeviceInfoSet {
    using Type = HDEVINFO;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::SetupDiDestroyDeviceInfoList(h); }
};
struct GlobalMemory {
    using Type = HGLOBAL;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { ::GlobalFree(h); }
};
template <typename T>
struct GdiObject {
    using Type = T;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { ::DeleteObject(h); }
};
struct Icon {
    using Type = HICON;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { ::DestroyIcon(h); }
};
struct Menu {
    using Type = HMENU;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { ::DestroyMenu(h); }
};
struct Window {
    using Type = HWND;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) {
        if (::IsWindow(h)) {
            ::DestroyWindow(h);
        }
    }
};
struct MemoryDC {
    using Type = HDC;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { ::DeleteDC(h); }
};

}  // namespace handle_traits

using UniqueHandle = UniqueResource<handle_traits::Kernel>;
using UniqueRegKey = UniqueResource<handle_traits::RegistryKey>;
using UniqueDeviceInfoSet = UniqueResource<handle_traits::DeviceInfoSet>;
using UniqueGlobal = UniqueResource<handle_traits::GlobalMemory>;
using UniqueBitmap = UniqueResource<handle_traits::GdiObject<HBITMAP>>;
using UniqueFont = UniqueResource<handle_traits::GdiObject<HFONT>>;
using UniqueBrush = UniqueResource<handle_traits::GdiObject<HBRUSH>>;
using UniquePen = UniqueResource<handle_traits::GdiObject<HPEN>>;
using UniqueRegion = UniqueResource<handle_traits::GdiObject<HRGN>>;
using UniqueIcon = UniqueResource<handle_traits::Icon>;
using UniqueMenu = UniqueResource<handle_traits::Menu>;
using UniqueWindow = UniqueResource<handle_traits::Window>;
using UniqueMemoryDC = UniqueResource<handle_traits::MemoryDC>;

// A DC from GetDC, given back with ReleaseDC. `window` may be null for the screen.
class WindowDC {
  public:
    explicit WindowDC(HWND window) : window_(window), dc_(::GetDC(window)) {}
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    ~WindowDC() {
        if (dc_ != nullptr) {
            ::ReleaseDC(window_, dc_);
        }
    }
    HDC Get() const { return dc_; }
    bool IsValid() const { return dc_ != nullptr; }

  private:
    HWND window_;
    HDC dc_;
};

// BeginPaint / EndPaint.
class PaintDC {
  public:
    explicit PaintDC(HWND window) : window_(window), dc_(::BeginPaint(window, &paint_)) {}
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;
    ~PaintDC() { ::EndPaint(window_, &paint_); }
    HDC Get() const { return dc_; }
    bool IsValid() const { return dc_ != nullptr; }
    const RECT& PaintRect() const { return paint_.rcPaint; }

  private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// Selects a GDI object into a DC for one scope and puts the previous one back.
class SelectedObject {
  public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
    ~SelectedObject() {
        if (previous_ != nullptr && previous_ != HGDI_ERROR) {
            ::SelectObject(dc_, previous_);
        }
    }

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// GlobalLock / GlobalUnlock for one scope. A null block locks nothing.
class GlobalLockScope {
  public:
    explicit GlobalLockScope(HGLOBAL block)
        : block_(block), data_(block != nullptr ? ::GlobalLock(block) : nullptr) {}
    GlobalLockScope(const GlobalLockScope&) = delete;
    GlobalLockScope& operator=(const GlobalLockScope&) = delete;
    ~GlobalLockScope() {
        if (data_ != nullptr) {
            ::GlobalUnlock(block_);
        }
    }
    void* Get() const { return data_; }
    bool IsValid() const { return data_ != nullptr; }
    // The block's size in bytes (0 when it could not be locked).
    size_t Size() const { return data_ != nullptr ? ::GlobalSize(block_) : 0; }

  private:
    HGLOBAL block_;
    void* data_;
};

}  // namespace zovrel
