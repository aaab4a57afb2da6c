// The About dialog from template 192 under Wine: the version read from a version file, the link
// font, clicks and Enter on the links, and the modal run.

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/win32_handle.h"
#include "support/gui_test_support.h"
#include "support/test_support.h"
#include "test_window.h"
#include "ui/about_dialog_win32.h"
#include "ui/ui_ids.h"

namespace zovrel::ui {
namespace {

using test::GuiTest;
using test::PumpPending;

class AboutDialogTest : public GuiTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(owner_.Create(600, 400, true));
        // A program folder of our own (which version file counts: the native tables).
        test::WriteFileBytes(root_.File(L"version"), "v9.8.7\r\n");
        dialog_ = std::make_unique<CZovrelAboutDlg>(owner_.Hwnd(), root_.File(L"zovrel.exe"));
        dialog_->SetOpenTarget([this](HWND, const std::wstring& target) {
            opened_.push_back(target);
            return true;
        });
    }
    void TearDown() override {
        dialog_.reset();
        owner_.Destroy();
        PumpPending();
    }
    HWND Open() {
        HWND dialog = dialog_->CreateModeless();
        if (dialog != nullptr) {
            ::ShowWindow(dialog, SW_SHOW);
            ::UpdateWindow(dialog);
            // Up on the screen (the window manager maps it a moment later) once the end of the
            // address line shows the white brush.
            RECT email{};
            ::GetWindowRect(::GetDlgItem(dialog, IDC_ABOUT_EMAIL), &email);
            ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&email), 2);
            test::PumpMessages(3000, [&] {
                return test::CaptureScreen(dialog, false).PixelAt(email.right - 2, email.top + 1) ==
                       RGB(255, 255, 255);
            });
        }
        return dialog;
    }

    test_a::TestWindow owner_;
    test::TempFolder root_;
    std::unique_ptr<CZovrelAboutDlg> dialog_;
    std::vector<std::wstring> opened_;
};

TEST_F(AboutDialogTest, VersionLinksUnderlinedAlsoAfterADpiChangeClicksAndTheModalRun) {
    HWND dialog = Open();
    ASSERT_NE(dialog, nullptr);
    wchar_t version[64] = {};
    ::GetDlgItemTextW(dialog, IDC_ABOUT_VERSION, version, 64);
    EXPECT_STREQ(version, L"版本 9.8.7");
    test::SaveImageScreenshot(test::CaptureScreen(dialog, true), L"about");

    // The links' font: the dialog's, underlined (their colour: the screenshot).
    const auto logFont = test::WindowFont;
    const auto expectLinkFonts = [&] {
        EXPECT_FALSE(logFont(dialog).lfUnderline);
        for (int id : {IDC_ABOUT_EMAIL, IDC_ABOUT_LINK}) {
            EXPECT_TRUE(logFont(::GetDlgItem(dialog, id)).lfUnderline) << id;
            EXPECT_EQ(logFont(::GetDlgItem(dialog, id)).lfHeight, logFont(dialog).lfHeight) << id;
        }
    };
    expectLinkFonts();

    // Wine never sends it, nor makes the dialog's font anew; Windows does both when the dialog
    // moves to a screen of another scale, so the links' font must be made anew from it.
    const LRESULT before = ::SendMessageW(::GetDlgItem(dialog, IDC_ABOUT_LINK), WM_GETFONT, 0, 0);
    RECT suggested{};
    ::GetWindowRect(dialog, &suggested);
    ::PostMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(144, 144),
                   reinterpret_cast<LPARAM>(&suggested));
    PumpPending();
    expectLinkFonts();
    EXPECT_NE(::SendMessageW(::GetDlgItem(dialog, IDC_ABOUT_LINK), WM_GETFONT, 0, 0), before);

    for (int id : {IDC_ABOUT_EMAIL, IDC_ABOUT_LINK}) {
        HWND item = ::GetDlgItem(dialog, id);
        ::PostMessageW(item, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
        ::PostMessageW(item, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
        PumpPending();
    }
    EXPECT_EQ(opened_, (std::vector<std::wstring>{L"mailto:support@zovrel.example",
                                                  L"https://community.zovrel.example"}));

    // Enter on a focused link opens it and leaves the dialog open.
    ::SetFocus(::GetDlgItem(dialog, IDC_ABOUT_LINK));
    ::SendMessageW(dialog, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(opened_.size(), 3u);
    EXPECT_TRUE(::IsWindow(dialog));
    ::DestroyWindow(dialog);

    // Modal: "确定" ends the run (pressed from a timer the dialog's own loop dispatches).
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR, DWORD) {
        HWND modal = ::FindWindowW(L"#32770", nullptr);
        if (modal != nullptr && ::IsWindowVisible(modal)) {
            ::PostMessageW(modal, WM_COMMAND, IDOK, 0);
        }
    });
    EXPECT_EQ(dialog_->DoModal(), IDOK);
    ::KillTimer(nullptr, timer);
}

}  // namespace
}  // namespace zovrel::ui
