#include "support/gui_test_support.h"

#include <commctrl.h>
#include <objidl.h>
// gdiplus.h needs objidl.h first (WIN32_LEAN_AND_MEAN leaves it out).
#include <gdiplus.h>

#include <cstdlib>

#include "base/text.h"
#include "base/win32_handle.h"

namespace zovrel::test {

void GuiTest::SetUpTestSuite() {
    [[maybe_unused]] static const bool started = [] {
        ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
        INITCOMMONCONTROLSEX controls{sizeof(controls), 0xFF};
        ::InitCommonControlsEx(&controls);
        ULONG_PTR token = 0;
        Gdiplus::GdiplusStartupInput input;
        return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    }();
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

LOGFONTW WindowFont(HWND window) {
    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0)), sizeof(font),
                 &font);
    return font;
}

bool Near(COLORREF a, COLORREF b, int tolerance) {
    return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance &&
           std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

COLORREF CapturedImage::PixelAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
        return RGB(0, 0, 0);
    }
    const uint32_t p = pixels_[static_cast<size_t>(y) * width_ + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

namespace {

// GDI+'s PNG encoder: the same class id on every Windows and in Wine.
constexpr CLSID kPngEncoder = {
    0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

// The pixels `draw` puts into a screen-compatible bitmap of the given size.
CapturedImage Capture(int width, int height, const std::function<void(HDC)>& draw) {
    if (width <= 0 || height <= 0) {
        return {};
    }
    WindowDC screen(nullptr);
    UniqueMemoryDC memory(::CreateCompatibleDC(screen.Get()));
    UniqueBitmap bitmap(::CreateCompatibleBitmap(screen.Get(), width, height));
    if (!memory.IsValid() || !bitmap.IsValid()) {
        return {};
    }
    {
        SelectedObject selected(memory.Get(), bitmap.Get());
        draw(memory.Get());
        ::GdiFlush();
    }
    return CaptureBitmap(bitmap.Get());
}

}  // namespace

Bytes EncodeImage(int width, int height, const std::function<uint32_t(int x, int y)>& argb) {
    Bytes encoded;
    if (width <= 0 || height <= 0) {
        return encoded;
    }
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = argb(static_cast<int>(i % width), static_cast<int>(i / width));
    }
    Gdiplus::Bitmap bitmap(width, height, width * 4, PixelFormat32bppARGB,
                           reinterpret_cast<BYTE*>(pixels.data()));
    IStream* stream = nullptr;
    HGLOBAL block = nullptr;
    STATSTG stat{};
    if (SUCCEEDED(::CreateStreamOnHGlobal(nullptr, TRUE, &stream)) &&
        bitmap.Save(stream, &kPngEncoder, nullptr) == Gdiplus::Ok &&
        SUCCEEDED(::GetHGlobalFromStream(stream, &block)) &&
        SUCCEEDED(stream->Stat(&stat, STATFLAG_NONAME))) {
        GlobalLockScope lock(block);
        const auto* data = static_cast<const uint8_t*>(lock.Get());
        encoded.assign(data, data + stat.cbSize.QuadPart);
    }
    if (stream != nullptr) {
        stream->Release();
    }
    return encoded;
}

bool CapturedImage::SavePng(const std::wstring& path) const {
    const Bytes png = EncodeImage(width_, height_, [this](int x, int y) {
        return pixels_[static_cast<size_t>(y) * width_ + x] | 0xFF000000u;
    });
    UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return !png.empty() && file.IsValid() &&
           ::WriteFile(file.Get(), png.data(), static_cast<DWORD>(png.size()), &written, nullptr) &&
           written == png.size();
}

CapturedImage CaptureWindow(HWND hwnd, bool clientOnly) {
    RECT r{};
    if (clientOnly) {
        ::GetClientRect(hwnd, &r);
    } else {
        ::GetWindowRect(hwnd, &r);
    }
    return Capture(r.right - r.left, r.bottom - r.top,
                   [&](HDC dc) { ::PrintWindow(hwnd, dc, clientOnly ? PW_CLIENTONLY : 0); });
}

CapturedImage CaptureScreen(HWND hwnd, bool withFrame) {
    RECT r{};
    if (withFrame) {
        ::GetWindowRect(hwnd, &r);
    } else {
        ::GetClientRect(hwnd, &r);
        ::MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&r), 2);
    }
    return Capture(r.right - r.left, r.bottom - r.top, [&](HDC dc) {
        WindowDC screen(nullptr);
        ::BitBlt(dc, 0, 0, r.right - r.left, r.bottom - r.top, screen.Get(), r.left, r.top,
                 SRCCOPY | CAPTUREBLT);
    });
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
    image.width_ = info.bmWidth;
    image.height_ = info.bmHeight;
    image.pixels_ = std::move(pixels);
    return image;
}

namespace {
const wchar_t* ScreenshotDir() {
    const wchar_t* dir = _wgetenv(L"ZOVREL_SCREENSHOT_DIR");
    return dir != nullptr && *dir != 0 ? dir : nullptr;
}
}  // namespace

void SaveScreenshot(HWND hwnd, const std::wstring& name) {
    if (ScreenshotDir() != nullptr) {
        SaveImageScreenshot(CaptureWindow(hwnd, false), name);
    }
}

void SaveImageScreenshot(const CapturedImage& image, const std::wstring& name) {
    const wchar_t* dir = ScreenshotDir();
    if (dir == nullptr) {
        return;
    }
    ::CreateDirectoryW(dir, nullptr);
    if (!image.SavePng(std::wstring(dir) + L"\\" + name + L".png")) {
        ADD_FAILURE() << "screenshot not saved: " << ToUtf8(name);
    }
}

}  // namespace zovrel::test
