#pragma once

// A main window on the virtual display with a history of a text, an image and a files entry in
// a temporary data root, and the desktop's modal boxes, shell and port list replaced by
// recorders.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/local_time.h"
#include "base/paths.h"
#include "base/text.h"
#include "base/win32_handle.h"
#include "clipboard/clipboard_access.h"
#include "clipboard/history_store.h"
#include "clipboard/history_test_support.h"
#include "settings/data_root.h"
#include "settings/log_file.h"
#include "settings/settings_file.h"
#include "support/gui_test_support.h"
#include "ui/main_window_layout.h"
#include "ui/main_window_rules.h"
#include "ui/main_window_win32.h"
#include "ui/ui_ids.h"

namespace zovrel::test {

// Allocations made and not yet freed by this process (operator new is counted in this test).
long LiveAllocations();

// A packed 32-bit DIB of stripes, as the clipboard gives images.
inline Bytes StripedDib(int width, int height) {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    Bytes bytes(sizeof(header) + static_cast<size_t>(width) * height * 4);
    memcpy(bytes.data(), &header, sizeof(header));
    uint8_t* p = bytes.data() + sizeof(header);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x, p += 4) {
            const bool stripe = (x / 10) % 2 == 0;
            p[0] = stripe ? 200 : 40;   // blue
            p[1] = stripe ? 120 : 180;  // green
            p[2] = static_cast<uint8_t>(y * 255 / height);
            p[3] = 255;
        }
    }
    return bytes;
}

}  // namespace zovrel::test

namespace zovrel::ui {

class MainWindowTest : public test::GuiTest {
  protected:
    struct Box {
        std::wstring text;
        UINT type;
    };

    void SetUp() override {
        dpi_ = test::TestDpi();
        SetDataRootForProcess(folder_.Text());
        ASSERT_TRUE(WriteUartDebugLog(false));
        ASSERT_TRUE(WriteUartComPort(L""));
        history_ = std::make_unique<ClipboardHistory>(folder_.File(L"history"));
        ClipboardEntry text =
            test::TextEntry(L"第一行\r\n第二行  with   blanks", 133000000000000000ull);
        text.dataSize = static_cast<int64_t>(ToUtf8(text.text).size());
        history_->AddEntry(text);
        ClipboardEntry image = test::ImageEntry(test::StripedDib(160, 90), L"clipboard.dib");
        image.dataSize = static_cast<int64_t>(image.imageBytes.size());
        image.time = 133000000600000000ull;
        history_->AddEntry(image);
        filesFolder_ = folder_.File(L"files");
        EnsureFolderExists(filesFolder_);
        const std::wstring file = JoinPath(filesFolder_, L"报告.txt");
        test::WriteFileBytes(file, "report");
        ClipboardEntry files = test::FilesEntry({file});
        files.dataSize = 6;
        files.time = 133000001200000000ull;
        history_->AddEntry(files);

        window_ = std::make_unique<CZovrelMainWnd>(*history_);
        CZovrelMainWnd::DesktopActions actions;
        actions.messageBox = [this](HWND, const std::wstring& text, UINT type) {
            boxes_.push_back({text, type});
            return boxAnswer_;
        };
        actions.openFolder = [this](const std::wstring& folder) {
            openedFolders_.push_back(folder);
            return true;
        };
        actions.showAbout = [this](HWND) { ++aboutShown_; };
        actions.enumeratePorts = [this] { return ports_; };
        window_->SetDesktopActions(std::move(actions));
        ASSERT_TRUE(window_->Create(nullptr));
    }

    void TearDown() override {
        window_.reset();
        history_.reset();
        test::PumpPending();
        SetDataRootForProcess(L"");
    }

    HWND Main() const { return window_->Hwnd(); }
    HWND LogPane() const { return window_->ControlWindow(5); }
    HWND StatusLine() const { return window_->ControlWindow(10); }
    int Px(int value) const { return ScaleForDpi(value, dpi_); }

    static std::wstring WindowText(HWND window) {
        const int length = ::GetWindowTextLengthW(window);
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        text.resize(static_cast<size_t>(::GetWindowTextW(window, text.data(), length + 1)));
        return text;
    }

    // A click as the control reports it to its parent.
    void Click(int number, int id) {
        ::SendMessageW(Main(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                       reinterpret_cast<LPARAM>(window_->ControlWindow(number)));
    }

    void SetClientSize(int width, int height) {
        RECT r{0, 0, width, height};
        ::AdjustWindowRectExForDpi(&r, WS_OVERLAPPEDWINDOW, FALSE, WS_EX_APPWINDOW, dpi_);
        ::SetWindowPos(Main(), nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        test::PumpPending();
    }

    // What the client area shows on the screen, children with their borders and scroll bars
    // included (Wine's PrintWindow leaves child windows out).
    test::CapturedImage CaptureOnScreen() {
        ::RedrawWindow(Main(), nullptr, nullptr,
                       RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        test::PumpPending();
        RECT client{};
        ::GetClientRect(Main(), &client);
        WindowDC source(Main());
        UniqueMemoryDC memory(::CreateCompatibleDC(source.Get()));
        UniqueBitmap bitmap(::CreateCompatibleBitmap(source.Get(), client.right, client.bottom));
        {
            SelectedObject selected(memory.Get(), bitmap.Get());
            ::BitBlt(memory.Get(), 0, 0, client.right, client.bottom, source.Get(), 0, 0, SRCCOPY);
        }
        return test::CaptureBitmap(bitmap.Get());
    }

    // Saves the client area as <name>.png in ZOVREL_SCREENSHOT_DIR, when that is set.
    void SaveScreenshot(const std::wstring& name) {
        const wchar_t* dir = _wgetenv(L"ZOVREL_SCREENSHOT_DIR");
        if (dir == nullptr || *dir == 0) {
            return;
        }
        ::CreateDirectoryW(dir, nullptr);
        EXPECT_TRUE(CaptureOnScreen().SavePng(std::wstring(dir) + L"\\" + name + L".png"))
            << ToUtf8(name);
    }

    // Moves the pointer (as the list sees it) onto the "发送" button of a row.
    void HoverSendButtonOfRow(int row) {
        HWND list = window_->ControlWindow(6);
        RECT item{};
        if (::SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(row),
                           reinterpret_cast<LPARAM>(&item)) == LB_ERR) {
            return;
        }
        const int x = item.right - Px(76);
        const int y = item.top + Px(14);
        ::SendMessageW(list, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    }

    int dpi_ = 96;
    test::TempFolder folder_;
    std::wstring filesFolder_;
    std::unique_ptr<ClipboardHistory> history_;
    std::unique_ptr<CZovrelMainWnd> window_;
    std::vector<Box> boxes_;
    int boxAnswer_ = IDNO;
    std::vector<std::wstring> openedFolders_;
    int aboutShown_ = 0;
    std::vector<PortInfo> ports_;
};

}  // namespace zovrel::ui
