// The tray icon under Wine: the records handed to the shell (through the seam) when re-adding on
// "TaskbarCreated" and removing; and one real add to Wine's tray (clicks: whole-program runs).

#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/gui_test_support.h"
#include "test_window.h"
#include "ui/tray_icon.h"
#include "ui/tray_icon_win32.h"
#include "ui/ui_ids.h"
#include "ui/window_base_win32.h"

namespace zovrel::ui {
namespace {

using test::GuiTest;
using test::PumpPending;

constexpr UINT ICON_FLAGS = NIF_MESSAGE | NIF_ICON | NIF_TIP;

struct ShellCall {
    DWORD message;
    NOTIFYICONDATAW data;
};

class TrayIconTest : public GuiTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(host_.Create(200, 100, false));
        icon_ = static_cast<HICON>(::LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(IDI_ZOVREL),
                                                IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
        ASSERT_NE(icon_, nullptr);
        FreshIcon();
    }
    // An icon whose calls to the shell are recorded and answered with shellAnswer_.
    void FreshIcon() {
        tray_ = std::make_unique<CTrayNotifyIcon>();
        tray_->SetShellNotify([this](DWORD message, NOTIFYICONDATAW* data) {
            calls_.push_back({message, *data});
            return shellAnswer_;
        });
    }
    void TearDown() override {
        tray_.reset();
        host_.Destroy();
        PumpPending();
    }
    bool CreateAsTheProgramDoes(bool show = true) {
        return tray_->Create(host_.Hwnd(), IDR_TRAY_MENU, L"zovrel", icon_, WM_TRAY_NOTIFY, 0,
                             show);
    }
    void SendTaskbarCreated() {
        ::SendMessageW(tray_->Hwnd(), ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    }

    test_a::TestWindow host_;
    HICON icon_ = nullptr;
    std::vector<ShellCall> calls_;
    BOOL shellAnswer_ = TRUE;
    std::unique_ptr<CTrayNotifyIcon> tray_;
};

// What the shell is asked after the icon was made: re-adding when a new taskbar announces itself
// (also after a refused first add, as at logon; a hidden icon comes back hidden), never after a
// removal, and a removal once. Every add tells the shell the behaviour version when it has one:
// without it clicks would come the old way while the host frame waits for NIN_SELECT.
TEST_F(TrayIconTest, TaskbarRestartsAndRemovalsAskTheShellOnlyWhatIsNeeded) {
    enum Step { TASKBAR, REMOVE, REMOVE_AND_CLOSE, DESTROY };
    const struct {
        const char* name;
        BOOL firstAdd;
        std::vector<Step> steps;
        std::vector<DWORD> calls;
        bool helperLeft;
        bool hidden = false;
    } cases[] = {
        {"new taskbar", TRUE, {TASKBAR}, {NIM_DELETE, NIM_ADD}, true},
        {"first add refused", FALSE, {TASKBAR}, {NIM_DELETE, NIM_ADD}, true},
        {"removed", TRUE, {REMOVE, TASKBAR}, {NIM_DELETE}, true},
        {"removed, then closed", TRUE, {REMOVE, REMOVE_AND_CLOSE}, {NIM_DELETE}, false},
        {"destroyed", TRUE, {DESTROY}, {NIM_DELETE}, false},
        {"hidden, new taskbar", TRUE, {TASKBAR}, {NIM_DELETE, NIM_ADD}, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FreshIcon();
        shellAnswer_ = c.firstAdd;
        EXPECT_EQ(CreateAsTheProgramDoes(!c.hidden), c.firstAdd != FALSE);
        EXPECT_EQ(tray_->IsIconHidden(), c.hidden);
        const bool version3 = tray_->ShellVersion() >= 1;
        EXPECT_EQ(tray_->UsesVersion3(), version3 && c.firstAdd);
        shellAnswer_ = TRUE;
        const HWND helper = tray_->Hwnd();
        calls_.clear();
        for (const Step step : c.steps) {
            if (step == TASKBAR) {
                SendTaskbarCreated();
            } else if (step == DESTROY) {
                tray_.reset();
            } else {
                tray_->Remove(step == REMOVE_AND_CLOSE);
            }
        }
        std::vector<DWORD> expected = c.calls;
        if (expected.back() == NIM_ADD && version3) {
            expected.push_back(NIM_SETVERSION);
        }
        std::vector<DWORD> calls;
        for (const ShellCall& call : calls_) {
            calls.push_back(call.message);
        }
        EXPECT_EQ(calls, expected);
        EXPECT_EQ(::IsWindow(helper) != FALSE, c.helperLeft);
        if (c.calls.back() == NIM_ADD) {
            const NOTIFYICONDATAW& add = calls_.at(1).data;
            EXPECT_EQ(add.uFlags, ICON_FLAGS | (c.hidden ? NIF_STATE : 0));
            EXPECT_EQ(add.dwState & NIS_HIDDEN, c.hidden ? NIS_HIDDEN : 0u);
            EXPECT_EQ(calls_.back().data.uVersion, version3 ? 3u : 0u);
            EXPECT_TRUE(tray_->IsAdded() && tray_->UsesVersion3() == version3);
        }
    }
    // As Explorer announces a new taskbar: to every top-level window.
    FreshIcon();
    ASSERT_TRUE(CreateAsTheProgramDoes());
    calls_.clear();
    ::PostMessageW(HWND_BROADCAST, ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(test::PumpMessages(3000, [&] { return calls_.size() >= 2; }));

    // One real add to Wine's tray, and its removal.
    tray_ = std::make_unique<CTrayNotifyIcon>();  // Shell_NotifyIconW itself
    ASSERT_TRUE(CreateAsTheProgramDoes());
    EXPECT_TRUE(tray_->Remove(true));
}

}  // namespace
}  // namespace zovrel::ui
