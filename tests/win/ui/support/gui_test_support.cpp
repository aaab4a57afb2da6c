#include "support/gui_test_support.h"

#include <commctrl.h>
#include <objidl.h>
#include <windowsx.h>
// gdiplus.h needs objidl.h first (WIN32_LEAN_AND_MEAN leaves it out).
#include <gdiplus.h>

#include <cstdlib>

#include "base/text.h"
#include "base/win32_handle.h"

namespace zovrel::test {

void GuiTest::SetUpTestSuite() {
    static bool started = false;
    if (started) {
        return;
    }
    started = true;
    ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    INITCOMMONCONTROLSEX controls{sizeof(controls), 0xFF};
    ::InitCommonControlsEx(&controls);
    static ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
}

bool PumpMessages(DWORD ms, const std::function<bool()>& done) {
    for (const DWORD start = ::GetTickCount();;) {
        PumpPending();
        const bool finished = done && done();
        if (finished || ::GetTickCount() - start >= ms) {
            return finished;
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void PumpPending() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

int TestDpi() {
    const char* value = std::getenv("ZOVREL_DPI");
    const int dpi = value != nullptr ? std::atoi(value) : 0;
    return dpi > 0 ? dpi : 96;
}

COLORREF CapturedImage::PixelAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
        return RGB(0, 0, 0);
    }
    const uint32_t p = pixels_[static_cast<size_t>(y) * width_ + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

namespace {

bool FindPngEncoder(CLSID* clsid) {
    UINT count = 0;
    UINT bytes = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0) {
        return false;
    }
    std::vector<uint8_t> buffer(bytes);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (Gdiplus::GetImageEncoders(count, bytes, codecs) != Gdiplus::Ok) {
        return false;
    }
    for (UINT i = 0; i < count; ++i) {
        if (std::wstring(codecs[i].MimeType) == L"image/png") {
            *clsid = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}

// A top-down 32-bit DIB section of the given size, for drawing into.
HBITMAP MakeDibSection(HDC dc, int width, int height, void** bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

}  // namespace

bool CapturedImage::SavePng(const std::wstring& path) const {
    if (!IsValid()) {
        return false;
    }
    CLSID png;
    if (!FindPngEncoder(&png)) {
        return false;
    }
    std::vector<uint32_t> opaque(pixels_);
    for (auto& p : opaque) {
        p |= 0xFF000000u;
    }
    Gdiplus::Bitmap bitmap(width_, height_, width_ * 4, PixelFormat32bppARGB,
                           reinterpret_cast<BYTE*>(opaque.data()));
    return bitmap.Save(path.c_str(), &png, nullptr) == Gdiplus::Ok;
}

CapturedImage CaptureWindow(HWND hwnd, bool clientOnly) {
    CapturedImage image;
    RECT r{};
    if (clientOnly) {
        ::GetClientRect(hwnd, &r);
    } else {
        ::GetWindowRect(hwnd, &r);
    }
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    if (width <= 0 || height <= 0) {
        return image;
    }
    WindowDC screen(nullptr);
    UniqueMemoryDC memory(::CreateCompatibleDC(screen.Get()));
    void* bits = nullptr;
    UniqueBitmap bitmap(MakeDibSection(screen.Get(), width, height, &bits));
    if (!memory.IsValid() || !bitmap.IsValid() || bits == nullptr) {
        return image;
    }
    {
        SelectedObject selected(memory.Get(), bitmap.Get());
        ::PrintWindow(hwnd, memory.Get(), clientOnly ? PW_CLIENTONLY : 0);
        ::GdiFlush();
    }
    image.width_ = width;
    image.height_ = height;
    const auto* source = static_cast<const uint32_t*>(bits);
    image.pixels_.assign(source, source + static_cast<size_t>(width) * height);
    for (auto& p : image.pixels_) {
        p &= 0x00FFFFFFu;
    }
    return image;
}

CapturedImage CaptureBitmap(HBITMAP bitmap) {
    CapturedImage image;
    BITMAP info{};
    if (bitmap == nullptr || ::GetObjectW(bitmap, sizeof(info), &info) == 0 || info.bmWidth <= 0 ||
        info.bmHeight <= 0) {
        return image;
    }
    WindowDC screen(nullptr);
    BITMAPINFO header{};
    header.bmiHeader.biSize = sizeof(header.bmiHeader);
    header.bmiHeader.biWidth = info.bmWidth;
    header.bmiHeader.biHeight = -info.bmHeight;
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 32;
    header.bmiHeader.biCompression = BI_RGB;
    std::vector<uint32_t> pixels(static_cast<size_t>(info.bmWidth) * info.bmHeight);
    if (::GetDIBits(screen.Get(), bitmap, 0, info.bmHeight, pixels.data(), &header,
                    DIB_RGB_COLORS) == 0) {
        return image;
    }
    for (auto& p : pixels) {
        p &= 0x00FFFFFFu;
    }
    image.width_ = info.bmWidth;
    image.height_ = info.bmHeight;
    image.pixels_ = std::move(pixels);
    return image;
}

void SaveScreenshot(HWND hwnd, const std::wstring& name) {
    const wchar_t* dir = _wgetenv(L"ZOVREL_SCREENSHOT_DIR");
    if (dir == nullptr || *dir == 0) {
        return;
    }
    SaveImageScreenshot(CaptureWindow(hwnd, false), name);
}

void SaveImageScreenshot(const CapturedImage& image, const std::wstring& name) {
    const wchar_t* dir = _wgetenv(L"ZOVREL_SCREENSHOT_DIR");
    if (dir == nullptr || *dir == 0) {
        return;
    }
    ::CreateDirectoryW(dir, nullptr);
    if (!image.SavePng(std::wstring(dir) + L"\\" + name + L".png")) {
        ADD_FAILURE() << "screenshot not saved: " << ToUtf8(name);
    }
}

namespace {

// Starts xdotool with `arguments`; Wine runs the Linux program and gives no handle to wait on.
bool StartXdotool(const std::wstring& arguments) {
    const wchar_t* program = L"Z:\\usr\\bin\\xdotool";
    if (::GetFileAttributesW(program) == INVALID_FILE_ATTRIBUTES) {
        ADD_FAILURE() << "xdotool is missing (scripts/setup installs it)";
        return false;
    }
    std::wstring commandLine = std::wstring(program) + L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(program, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        ADD_FAILURE() << "xdotool did not start: " << ::GetLastError();
        return false;
    }
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);
    return true;
}

// Where the pointer is wanted (a window and a point of its client area), and whether a mouse
// move there has been taken from the queue.
HWND pointerTarget = nullptr;
POINT pointerWanted{};
bool pointerArrived = false;

LRESULT CALLBACK PointerHook(int code, WPARAM wParam, LPARAM lParam) {
    const auto* message = reinterpret_cast<const MSG*>(lParam);
    if (code >= 0 && wParam == PM_REMOVE && message->message == WM_MOUSEMOVE &&
        (message->hwnd == pointerTarget || ::IsChild(pointerTarget, message->hwnd))) {
        // The message's point is where X saw the pointer inside the window.
        POINT at{GET_X_LPARAM(message->lParam), GET_Y_LPARAM(message->lParam)};
        ::MapWindowPoints(message->hwnd, pointerTarget, &at, 1);
        pointerArrived =
            std::abs(at.x - pointerWanted.x) <= 1 && std::abs(at.y - pointerWanted.y) <= 1;
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

struct HookScope {
    HHOOK hook;
    ~HookScope() {
        if (hook != nullptr) {
            ::UnhookWindowsHookEx(hook);
        }
    }
};

std::wstring ScreenPoint(HWND hwnd, POINT clientPoint, int dx) {
    POINT screen = clientPoint;
    ::ClientToScreen(hwnd, &screen);
    return std::to_wstring(screen.x + dx) + L" " + std::to_wstring(screen.y);
}

bool PointerInput(HWND hwnd, POINT clientPoint, bool click, const std::function<bool()>& arrived,
                  DWORD ms) {
    // A window shown a moment ago may not be on the X screen yet (a click then is lost), and the
    // window manager may still move it. So: wait until the window manager has given the window
    // the focus (windows that never take it wait the bound out); move the pointer to the point
    // until the window reports a mouse move there; click only when the window has stayed put
    // meanwhile. Two moves each time, so there is motion even when the pointer already was at
    // one of them. (No --sync: it waits forever when the pointer is already there.)
    const HWND root = ::GetAncestor(hwnd, GA_ROOT);
    PumpMessages(1000, [root] { return ::GetForegroundWindow() == root; });
    pointerTarget = hwnd;
    pointerWanted = clientPoint;
    HookScope hook{
        ::SetWindowsHookExW(WH_GETMESSAGE, PointerHook, nullptr, ::GetCurrentThreadId())};
    bool placed = false;
    for (int attempt = 0; !placed && attempt < 5; ++attempt) {
        PumpPending();
        const std::wstring screen = ScreenPoint(hwnd, clientPoint, 0);
        pointerArrived = false;
        if (!StartXdotool(L"mousemove " + ScreenPoint(hwnd, clientPoint, 1) + L" mousemove " +
                          screen)) {
            return false;
        }
        if (PumpMessages(ms / 5, [] { return pointerArrived; })) {
            PumpMessages(100);
            placed = pointerArrived && ScreenPoint(hwnd, clientPoint, 0) == screen;
        }
    }
    if (!placed || (click && !StartXdotool(L"click 1"))) {
        return false;
    }
    return PumpMessages(ms, arrived);
}

}  // namespace

bool ClickThroughX(HWND hwnd, POINT clientPoint, const std::function<bool()>& arrived, DWORD ms) {
    return PointerInput(hwnd, clientPoint, true, arrived, ms);
}

bool MoveMouseThroughX(HWND hwnd, POINT clientPoint, const std::function<bool()>& arrived,
                       DWORD ms) {
    return PointerInput(hwnd, clientPoint, false, arrived, ms);
}

}  // namespace zovrel::test
