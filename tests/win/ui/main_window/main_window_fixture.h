#pragma once

// A main window on the virtual display with a history of a text, an image and a files entry in
// a temporary data root, and the desktop's modal boxes, shell and port list replaced by
// recorders.

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "base/paths.h"
#include "base/text.h"
#include "base/win32_handle.h"
#include "clipboard/clipboard_access.h"
#include "clipboard/history_store.h"
#include "settings/data_root.h"
#include "settings/settings_file.h"
#include "support/gui_test_support.h"
#include "support/test_support.h"
#include "ui/main_window_layout.h"
#include "ui/main_window_rules.h"
#include "ui/main_window_win32.h"
#include "ui/ui_ids.h"

namespace zovrel::ui {

inline void PrintTo(const LayoutRect& r, std::ostream* os) {
    *os << "(" << r.x << ", " << r.y << ", " << r.w << ", " << r.h << ")";
}

class MainWindowTest : public test::GuiTest {
  protected:
    void SetUp() override {
        dpi_ = test::TestDpi();
        SetDataRootForProcess(folder_.Text());
        ASSERT_TRUE(WriteUartDebugLog(false));
        ASSERT_TRUE(WriteUartComPort(L""));
        history_ = std::make_unique<ClipboardHistory>(folder_.File(L"history"));
        history_->AddEntry(
            test::TextEntry(L"第一行\r\n第二行  with   blanks", 133000000000000000ull));
        // Vertical stripes.
        const Bytes png = test::EncodeImage(
            160, 90, [](int x, int) { return (x / 10) % 2 ? 0xFFB47828u : 0xFF2878C8u; });
        history_->AddEntry(test::ImageEntry(png, L"image.png", 133000000600000000ull));
        filesFolder_ = folder_.File(L"files");
        EnsureFolderExists(filesFolder_);
        const std::wstring file = JoinPath(filesFolder_, L"报告.txt");
        test::WriteFileBytes(file, "report");
        history_->AddEntry(test::FilesEntry({file}, 6, 133000001200000000ull));

        window_ = std::make_unique<CZovrelMainWnd>(*history_);
        CZovrelMainWnd::DesktopActions actions;
        actions.messageBox = [this](HWND, const std::wstring& text, UINT type) {
            boxes_.push_back(text);
            boxTypes_.push_back(type);
            return boxAnswer_;
        };
        actions.openFolder = [this](const std::wstring& folder) {
            openedFolders_.push_back(folder);
            return true;
        };
        actions.showAbout = [](HWND) {};
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
    HWND Control(int number) const { return window_->ControlWindow(number); }
    HWND LogPane() const { return Control(5); }
    bool Enabled(int number) const { return ::IsWindowEnabled(Control(number)) != FALSE; }
    bool Visible(int number) const { return ::IsWindowVisible(Control(number)) != FALSE; }
    int Px(int value) const { return ScaleForDpi(value, dpi_); }
    std::wstring Status() const { return WindowText(Control(10)); }
    std::wstring TransferText() const { return WindowText(Control(15)); }
    int RowCount() const { return static_cast<int>(::SendMessageW(Control(6), LB_GETCOUNT, 0, 0)); }

    static std::wstring WindowText(HWND window) {
        std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
        text.resize(static_cast<size_t>(
            ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
        return text;
    }

    // The rectangle a control occupies in the main window's client area.
    LayoutRect Placed(int number) const {
        RECT r{};
        ::GetWindowRect(Control(number), &r);
        ::MapWindowPoints(nullptr, Main(), reinterpret_cast<POINT*>(&r), 2);
        return {r.left, r.top, r.right - r.left, r.bottom - r.top};
    }

    // A click as the control reports it to its parent.
    void Click(int number, int id) {
        ::SendMessageW(Main(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                       reinterpret_cast<LPARAM>(Control(number)));
    }

    LRESULT Row(UINT message, int row) {
        return ::SendMessageW(Main(), message, static_cast<WPARAM>(row), 0);
    }

    // What the client area shows on the screen, children with their borders and scroll bars
    // included (Wine's PrintWindow leaves child windows out).
    test::CapturedImage CaptureOnScreen() {
        ::RedrawWindow(Main(), nullptr, nullptr,
                       RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        // Thumbnails are decoded off the window's thread: the picture waits for them.
        test::PumpMessages(10000,
                           [this] { return window_->HistoryList().ThumbnailsPending() == 0; });
        test::PumpPending();
        return test::CaptureScreen(Main(), false);
    }

    // Saves the client area as <name>.png in ZOVREL_SCREENSHOT_DIR, when that is set.
    void SaveScreenshot(const std::wstring& name) {
        if (_wgetenv(L"ZOVREL_SCREENSHOT_DIR") != nullptr) {
            test::SaveImageScreenshot(CaptureOnScreen(), name);
        }
    }

    int dpi_ = 96;
    test::TempFolder folder_;
    std::wstring filesFolder_;
    std::unique_ptr<ClipboardHistory> history_;
    std::unique_ptr<CZovrelMainWnd> window_;
    std::vector<std::wstring> boxes_;  // the texts of the modal boxes shown
    std::vector<UINT> boxTypes_;       // and their buttons and icons
    int boxAnswer_ = IDNO;
    std::vector<std::wstring> openedFolders_;
    std::vector<PortInfo> ports_;
};

}  // namespace zovrel::ui
