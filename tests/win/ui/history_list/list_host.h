#pragma once

// What the history list's window tests share: a history in a scratch folder, PNG bytes made
// with GDI+, and a small parent window that hosts the list the way the main window does
// (forwarding measure and draw, recording the list's requests) with the preview linked to it.

#include <windows.h>

// GDI+ needs the COM declarations that WIN32_LEAN_AND_MEAN leaves out.
#include <objidl.h>

#include <gdiplus.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/bytes.h"
#include "base/text.h"
#include "base/win32_handle.h"
#include "clipboard/clipboard_entry.h"
#include "clipboard/history_store.h"
#include "support/gui_test_support.h"
#include "ui/history_list_win32.h"
#include "ui/hover_preview_win32.h"
#include "ui/ui_ids.h"
#include "ui/window_base_win32.h"

namespace zovrel::test {

// A folder of its own under the temporary folder, removed with everything in it at the end.
class ScratchFolder {
  public:
    explicit ScratchFolder(const std::wstring& name)
        : path_(std::filesystem::temp_directory_path() /
                (name + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                 std::to_wstring(::GetTickCount()))) {
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    std::wstring Path() const { return path_.wstring(); }

  private:
    std::filesystem::path path_;
};

// The PNG file of a 24-bit image whose pixels `fill` writes (BGR rows, `stride` bytes apart).
inline Bytes MakePng(int width, int height,
                     const std::function<void(uint8_t* rows, int stride)>& fill) {
    // GDI+'s PNG encoder, the same on every Windows and in Wine.
    const CLSID encoder = {
        0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
    Bytes png;
    Gdiplus::Bitmap bitmap(width, height, PixelFormat24bppRGB);
    Gdiplus::Rect all(0, 0, width, height);
    Gdiplus::BitmapData data{};
    if (bitmap.LockBits(&all, Gdiplus::ImageLockModeWrite, PixelFormat24bppRGB, &data) !=
        Gdiplus::Ok) {
        return png;
    }
    fill(static_cast<uint8_t*>(data.Scan0), data.Stride);
    bitmap.UnlockBits(&data);
    IStream* stream = nullptr;
    if (::CreateStreamOnHGlobal(nullptr, TRUE, &stream) != S_OK) {
        return png;
    }
    if (bitmap.Save(stream, &encoder, nullptr) == Gdiplus::Ok) {
        STATSTG stat{};
        stream->Stat(&stat, STATFLAG_NONAME);
        png.resize(static_cast<size_t>(stat.cbSize.QuadPart));
        LARGE_INTEGER start{};
        stream->Seek(start, STREAM_SEEK_SET, nullptr);
        ULONG read = 0;
        stream->Read(png.data(), static_cast<ULONG>(png.size()), &read);
        png.resize(read);
    }
    stream->Release();
    return png;
}

// Left half red, right half blue.
inline Bytes MakeTwoColourPng(int width, int height) {
    return MakePng(width, height, [width, height](uint8_t* rows, int stride) {
        for (int y = 0; y < height; ++y) {
            uint8_t* p = rows + static_cast<ptrdiff_t>(y) * stride;
            for (int x = 0; x < width; ++x, p += 3) {
                const bool left = x < width / 2;
                p[0] = left ? 0 : 255;  // blue
                p[1] = 0;
                p[2] = left ? 255 : 0;  // red
            }
        }
    });
}

inline ClipboardEntry Entry(uint32_t kind, int64_t size) {
    ClipboardEntry e;
    e.kind = kind;
    e.dataSize = size;
    e.time = 133540000000000000ull;  // 2024-03-04 04:26 UTC
    return e;
}

inline ClipboardEntry TextEntry(const std::wstring& text) {
    ClipboardEntry e = Entry(ENTRY_KIND_TEXT, static_cast<int64_t>(ToUtf8(text).size()));
    e.text = text;
    return e;
}

inline ClipboardEntry ImageEntry(Bytes bytes, const std::wstring& fileName = L"image.png") {
    ClipboardEntry e = Entry(ENTRY_KIND_IMAGE, static_cast<int64_t>(bytes.size()));
    e.image = StoredImage(SharedBytes(std::move(bytes)));
    e.imageFileName = fileName;
    return e;
}

inline ClipboardEntry FilesEntry(std::vector<std::wstring> files, int64_t size) {
    ClipboardEntry e = Entry(ENTRY_KIND_FILES, size);
    e.files = std::move(files);
    return e;
}

// Like SaveScreenshot, but copies what the screen shows, so the parts Wine leaves out when a
// window prints itself (scroll bars) are in the picture too. The window must be on top.
inline void SaveScreenScreenshot(HWND hwnd, const std::wstring& name) {
    const wchar_t* dir = _wgetenv(L"ZOVREL_SCREENSHOT_DIR");
    if (dir == nullptr || *dir == 0) {
        return;
    }
    ::UpdateWindow(hwnd);
    // Wine hands what a window drew to the X server a little later, while messages are pumped.
    PumpMessages(300);
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    WindowDC screen(nullptr);
    UniqueMemoryDC memory(::CreateCompatibleDC(screen.Get()));
    UniqueBitmap bitmap(::CreateCompatibleBitmap(screen.Get(), r.right - r.left, r.bottom - r.top));
    {
        SelectedObject selected(memory.Get(), bitmap.Get());
        ::BitBlt(memory.Get(), 0, 0, r.right - r.left, r.bottom - r.top, screen.Get(), r.left,
                 r.top, SRCCOPY);
    }
    SaveImageScreenshot(CaptureBitmap(bitmap.Get()), name);
}

// The parent of the list: a plain top-level window of the given client size (96-DPI pixels,
// scaled) with the list filling it less an 8-pixel margin.
class ListHost : public ui::WindowBase {
  public:
    ListHost(ClipboardHistory& history, int x, int y, int width, int height) : history_(history) {
        WNDCLASSEXW windowClass{};
        windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        windowClass.lpszClassName = L"ZovrelHistoryListTestHost";
        if (!CreateOwnWindow(windowClass, 0, L"zovrel list test", WS_POPUP | WS_VISIBLE, x, y, 1, 1,
                             nullptr, nullptr)) {
            return;
        }
        dpi_ = ui::WindowDpi(Hwnd());
        const int w = ui::ScaleForDpi(width, dpi_);
        const int h = ui::ScaleForDpi(height, dpi_);
        ::SetWindowPos(Hwnd(), HWND_TOP, x, y, w, h, SWP_SHOWWINDOW);
        const int margin = ui::ScaleForDpi(8, dpi_);
        list.Create(Hwnd(), ui::IDC_HISTORY_LIST,
                    WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | LBS_NOTIFY |
                        LBS_OWNERDRAWVARIABLE | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT);
        ::MoveWindow(list.Hwnd(), margin, margin, w - 2 * margin, h - 2 * margin, TRUE);
        list.SetHistory(&history_);
        preview.CreatePreview(Hwnd());
        list.SetPreview(&preview);
        preview.SetList(&list);
        // The rows the main window makes: one "%u" string per entry.
        for (int i = 0; i < history_.GetEntryCount(); ++i) {
            const std::wstring row = std::to_wstring(i + 1);
            ::SendMessageW(list.Hwnd(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()));
        }
        ::UpdateWindow(list.Hwnd());
    }
    ~ListHost() override { Destroy(); }

    int Dpi() const { return dpi_; }
    int S(int value) const { return ui::ScaleForDpi(value, dpi_); }

    ui::CZovrelHistoryListBox list;
    ui::CZovrelHoverPreviewWnd preview;
    // The list's requests: message and row.
    std::vector<std::pair<UINT, int>> requests;

  protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
            case WM_MEASUREITEM:
                list.MeasureItem(*reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
                return TRUE;
            case WM_DRAWITEM:
                list.DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
                return TRUE;
            case ui::WM_HISTORY_SEND:
            case ui::WM_HISTORY_DELETE:
            case ui::WM_HISTORY_OPEN_FOLDER:
            case ui::WM_HISTORY_ACTIVATE:
                requests.emplace_back(message, static_cast<int>(wParam));
                return 1;
            default:
                break;
        }
        return DefaultHandling(message, wParam, lParam);
    }

  private:
    ClipboardHistory& history_;
    int dpi_ = 96;
};

}  // namespace zovrel::test
