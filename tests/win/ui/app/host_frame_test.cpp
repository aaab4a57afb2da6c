// The hidden host frame and the application object in one process under Wine: the bounded wait
// for a send that does not stop, the tray menu's owner, and the exit order. Pages, clicks, the
// chosen port's reader, second starts and restarts are driven end to end elsewhere.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "base/text.h"
#include "base/win32_handle.h"
#include "clipboard/history_store.h"
#include "serial/serial_link.h"
#include "settings/data_root.h"
#include "settings/settings_file.h"
#include "support/fake_serial_port.h"
#include "support/fake_ticks.h"
#include "support/gui_test_support.h"
#include "support/test_support.h"
#include "transfer/transfer_protocol.h"
#include "ui/host_frame_rules.h"
#include "ui/host_frame_win32.h"
#include "ui/main_app_win32.h"
#include "ui/single_instance.h"
#include "ui/ui_ids.h"

namespace zovrel::ui {
namespace {

using test::GuiTest;
using test::PumpMessages;
using test::PumpPending;

constexpr wchar_t PORT[] = L"COM7";

class HostFrameTest : public GuiTest {
  protected:
    static void SetUpTestSuite() {
        GuiTest::SetUpTestSuite();
        // Every file of these tests (settings, history, logs) stays in one scratch folder.
        static const test::TempFolder folder;
        SetDataRootForProcess(folder.Text());
    }

    void SetUp() override { WriteUartComPort(L""); }

    // A frame on a new fake port (the frame's link owns it), created; the main window shows.
    std::unique_ptr<CMainFrame> MakeFrame(TickSource* ticks = nullptr) {
        auto port = std::make_unique<test::FakeSerialPort>(PORT, true);
        port_ = port.get();
        SerialLink::Options options;
        options.presence = port_;
        options.port = std::move(port);
        auto frame = std::make_unique<CMainFrame>(GetHistoryStore(), GetTransferProtocol(), nullptr,
                                                  std::move(options), ticks);
        EXPECT_TRUE(frame->Create());
        // The saved port opens on a thread of its own.
        EXPECT_TRUE(PumpMessages(5000, [&] { return !frame->Requests().Busy(); }));
        PumpPending();
        return frame;
    }

    test::FakeSerialPort* port_ = nullptr;
};

// What the open pop-up menu showed, read from inside its modal loop (which is then closed).
HWND g_menuForeground = nullptr;
UINT g_menuDefault = static_cast<UINT>(-1);  // by command

void CALLBACK ReadOpenMenu(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND menuWindow = ::FindWindowW(L"#32768", nullptr);
    if (menuWindow != nullptr && ::IsWindowVisible(menuWindow)) {
        ::KillTimer(nullptr, timer);
        auto menu = reinterpret_cast<HMENU>(::SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
        g_menuForeground = ::GetForegroundWindow();
        g_menuDefault = ::GetMenuDefaultItem(menu, FALSE, 0);
        ::EndMenu();
    }
}

// The menu's items and choices are driven end to end; here what Windows needs for the menu to
// close when the user clicks elsewhere (its owner in the foreground) and its bold default item.
TEST_F(HostFrameTest, TheTrayMenuIsOwnedByTheForegroundHostFrame) {
    auto frame = MakeFrame();
    PumpMessages(300);  // focus changes from showing the main window arrive a little later
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 20, &ReadOpenMenu);  // runs in the menu's loop
    EXPECT_EQ(::SendMessageW(frame->Hwnd(), WM_TRAY_NOTIFY, IDR_TRAY_MENU, WM_CONTEXTMENU), 1);
    ::KillTimer(nullptr, timer);
    EXPECT_EQ(g_menuDefault, static_cast<UINT>(ID_TRAY_SHOW_MAIN));
    EXPECT_EQ(g_menuForeground, frame->Hwnd());
}

TEST_F(HostFrameTest, DestroyingDuringASendThatDoesNotStopWaitsFiveSecondsThenGoesOn) {
    WriteUartComPort(PORT);
    test::FakeTicks ticks;
    // The held write ends (as a write time-out would) only once the wait has given up.
    int sleeps = 0;
    ticks.onSleep = [&] {
        if (++sleeps == SEND_STOP_POLLS) {
            port_->Hold(false);
        }
    };
    auto frame = MakeFrame(&ticks);
    ASSERT_TRUE(frame->Link().IsOpen());
    port_->Hold(true);

    const ClipboardEntry entry = test::TextEntry(L"你好");
    std::atomic<bool> sent{true};
    std::wstring error;
    std::thread sender(
        [&] { sent = GetTransferProtocol().Send(entry, &frame->MainWindow(), error); });
    ASSERT_TRUE(port_->WaitForHeldWrite(std::chrono::seconds(10)));
    EXPECT_TRUE(GetTransferProtocol().IsSending());

    frame->Destroy();
    EXPECT_EQ(frame->SendStopSleeps(), SEND_STOP_POLLS);
    EXPECT_FALSE(frame->Link().IsOpen());
    EXPECT_EQ(GetTransferProtocol().AttachedEngine(), nullptr);

    // The late send ends by itself, with a failure, and lets go of the engine.
    sender.join();
    EXPECT_FALSE(sent);
    EXPECT_FALSE(error.empty());
    if (auto late = frame->LateSend()) {
        EXPECT_EQ(late.use_count(), 2);  // the frame's copy and this one
    }
    // Nothing after the destruction wrote to the closed port.
    port_->TakeWritten();
    ::Sleep(50);
    EXPECT_TRUE(port_->TakeWritten().empty());
}

// "退出": the loop's end destroys the host frame (tray icon, port, engine) before the exit
// sequence stops the watcher and releases the mutex (that a second start stops while it is held:
// the whole-program runs).
TEST_F(HostFrameTest, AppStartsRunsAndExitsFromTheTrayMenuInOrder) {
    WriteUartComPort(L"COM199");
    {
        CCP_MainApp app;
        ASSERT_TRUE(app.InitInstance());
        CMainFrame* frame = app.HostFrame();
        ASSERT_NE(frame, nullptr);
        HWND host = frame->Hwnd();
        HWND main = frame->MainWindow().Hwnd();
        EXPECT_TRUE(::IsWindowVisible(main));

        ::PostMessageW(host, WM_COMMAND, ID_TRAY_EXIT, 0);
        EXPECT_EQ(app.Run(), 0);
        // The loop's end destroyed the host frame before the exit sequence.
        EXPECT_FALSE(::IsWindow(host));
        EXPECT_FALSE(::IsWindow(main));
        EXPECT_EQ(GetTransferProtocol().AttachedEngine(), nullptr);
        EXPECT_NE(app.Watcher().Window(), nullptr);

        EXPECT_EQ(app.ExitInstance(0), 0);
        EXPECT_EQ(app.Watcher().Window(), nullptr);
        EXPECT_TRUE(app.WaitForLateSend(0));
        // Released: the next start owns the mutex.
        UniqueHandle next(::CreateMutexW(nullptr, TRUE, INSTANCE_MUTEX_NAME));
        EXPECT_NE(::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    }
    EXPECT_EQ(::FindWindowW(nullptr, L"zovrel_host"), nullptr);
}

}  // namespace
}  // namespace zovrel::ui
