// The hidden host frame and the application object in one process under Wine: creation and
// destruction sequences with a fake port, the tray callback and menu, the tray commands, the
// bounded wait for a send that does not stop, and the second-instance path.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"
#include "base/win32_handle.h"
#include "clipboard/history_store.h"
#include "serial/serial_link.h"
#include "settings/data_root.h"
#include "settings/settings_file.h"
#include "support/fake_ticks.h"
#include "support/gui_test_support.h"
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

// A port whose writes can be held: a device that stopped reading, so the driver's queue is full
// and a write waits until its time-out. Answers nothing.
class HeldPort final : public SerialPort, public PortPresence {
  public:
    bool Open(const std::wstring& name, uint32_t* errorCode) override {
        std::lock_guard lock(mutex_);
        open_ = EqualsIgnoreCase(TrimText(name), PORT);
        if (errorCode != nullptr) {
            *errorCode = open_ ? 0 : 2;
        }
        return open_;
    }
    void Close() override {
        std::lock_guard lock(mutex_);
        open_ = false;
    }
    bool IsOpen() const override {
        std::lock_guard lock(mutex_);
        return open_;
    }
    bool Read(uint8_t*, size_t, size_t* received) override {
        *received = 0;
        ++reads_;
        ::Sleep(5);
        return IsOpen();
    }
    int Reads() const { return reads_; }
    bool WriteAll(const uint8_t*, size_t size) override {
        std::unique_lock lock(mutex_);
        if (!open_ || size == 0) {
            return false;
        }
        ++writes_;
        if (!hold_) {
            return true;
        }
        writing_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return !hold_; });
        writing_ = false;
        return false;  // timed out
    }
    bool IsAlive() override { return IsOpen(); }
    void Purge() override {}
    bool IsPortPresent(std::wstring_view name) override {
        return EqualsIgnoreCase(TrimText(name), PORT);
    }

    void Hold() {
        std::lock_guard lock(mutex_);
        hold_ = true;
    }
    void Release() {
        std::lock_guard lock(mutex_);
        hold_ = false;
        changed_.notify_all();
    }
    bool WaitUntilWriting() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return writing_; });
    }
    int Writes() const {
        std::lock_guard lock(mutex_);
        return writes_;
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    bool hold_ = false;
    bool writing_ = false;
    int writes_ = 0;
    std::atomic<int> reads_{0};
};

// Sleeps take no time; a hook sees every one (the wait for a send counts them).
class HookedTicks final : public TickSource {
  public:
    uint32_t Now() override { return now_; }
    void Sleep(uint32_t ms) override {
        now_ += ms;
        ++sleeps;
        if (onSleep) {
            onSleep(sleeps);
        }
    }
    std::function<void(int)> onSleep;
    int sleeps = 0;

  private:
    std::atomic<uint32_t> now_{0};
};

std::wstring TempFolder(const wchar_t* name) {
    wchar_t base[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, base);
    std::wstring folder =
        std::wstring(base) + name + L"-" + std::to_wstring(::GetCurrentProcessId());
    EnsureFolderExists(folder);
    return folder;
}

std::wstring TitleOf(HWND window) {
    wchar_t title[256] = {};
    ::GetWindowTextW(window, title, 256);
    return title;
}

class HostFrameTest : public GuiTest {
  protected:
    static void SetUpTestSuite() {
        GuiTest::SetUpTestSuite();
        // Every file of these tests (settings, history, logs) stays in one scratch folder.
        SetDataRootForProcess(TempFolder(L"zovrel-app-test"));
    }

    void SetUp() override { WriteUartComPort(L""); }

    // A frame on the fake port, created; the main window shows at once.
    std::unique_ptr<CMainFrame> MakeFrame(TickSource* ticks = nullptr) {
        SerialLink::Options options;
        options.port = std::make_unique<Forwarder>(port_);
        options.presence = &port_;
        auto frame = std::make_unique<CMainFrame>(GetHistoryStore(), GetTransferProtocol(), nullptr,
                                                  std::move(options), ticks);
        EXPECT_TRUE(frame->Create());
        PumpPending();
        return frame;
    }

    // SerialLink owns its port; the test keeps the real one to hold and release writes.
    class Forwarder final : public SerialPort {
      public:
        explicit Forwarder(HeldPort& port) : port_(port) {}
        bool Open(const std::wstring& name, uint32_t* error) override {
            return port_.Open(name, error);
        }
        void Close() override { port_.Close(); }
        bool IsOpen() const override { return port_.IsOpen(); }
        bool Read(uint8_t* b, size_t c, size_t* r) override { return port_.Read(b, c, r); }
        bool WriteAll(const uint8_t* d, size_t s) override { return port_.WriteAll(d, s); }
        bool IsAlive() override { return port_.IsAlive(); }
        void Purge() override { port_.Purge(); }

      private:
        HeldPort& port_;
    };

    HeldPort port_;
};

TEST_F(HostFrameTest, FirstRunShowsTheSettingsPageAndWiresEngineAndLink) {
    auto frame = MakeFrame();
    HWND host = frame->Hwnd();
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(TitleOf(host), L"zovrel_host");
    EXPECT_FALSE(::IsWindowVisible(host));
    EXPECT_EQ(::GetParent(host), nullptr);

    HWND main = frame->MainWindow().Hwnd();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(::GetWindow(main, GW_OWNER), host);
    EXPECT_TRUE(::IsWindowVisible(main));
    EXPECT_EQ(frame->MainWindow().CurrentPage(), PAGE_SERIAL_SETTINGS);
    EXPECT_EQ(TitleOf(main), L"zovrel - 串口设置");
    EXPECT_FALSE(frame->Link().IsOpen());
    EXPECT_NE(GetTransferProtocol().AttachedEngine(), nullptr);

    frame->Destroy();
    EXPECT_EQ(frame->Hwnd(), nullptr);
    EXPECT_FALSE(::IsWindow(main));  // owned windows go with the frame
    EXPECT_EQ(GetTransferProtocol().AttachedEngine(), nullptr);
    EXPECT_EQ(frame->SendStopSleeps(), 0);
    EXPECT_EQ(frame->LateSend(), nullptr);
}

TEST_F(HostFrameTest, SavedPortOpensAndShowsTheClipboardPage) {
    WriteUartComPort(PORT);
    auto frame = MakeFrame();
    EXPECT_TRUE(frame->Link().IsOpen());
    EXPECT_EQ(frame->MainWindow().CurrentPage(), PAGE_CLIPBOARD);
    EXPECT_EQ(TitleOf(frame->MainWindow().Hwnd()), L"zovrel");
    EXPECT_TRUE(::IsWindowVisible(frame->MainWindow().Hwnd()));

    frame->Destroy();
    EXPECT_FALSE(frame->Link().IsOpen());
    EXPECT_FALSE(port_.IsOpen());
}

TEST_F(HostFrameTest, APortChosenAfterAFirstRunGetsItsReader) {
    auto frame = MakeFrame();  // no saved port: no reader
    ASSERT_FALSE(frame->Link().IsOpen());
    // What "保存" does: the setting first, then the port.
    ASSERT_TRUE(WriteUartComPort(PORT));
    ASSERT_TRUE(frame->Link().Open(PORT));
    const int reads = port_.Reads();
    EXPECT_TRUE(PumpMessages(5000, [&] { return port_.Reads() > reads + 3; }))
        << "the reader thread does not read the port";
    EXPECT_TRUE(frame->Link().IsOpen());
}

TEST_F(HostFrameTest, SavedPortThatDoesNotExistStillStartsOnTheClipboardPage) {
    WriteUartComPort(L"COM199");
    auto frame = MakeFrame();
    EXPECT_FALSE(frame->Link().IsOpen());
    EXPECT_EQ(frame->MainWindow().CurrentPage(), PAGE_CLIPBOARD);
    EXPECT_TRUE(::IsWindowVisible(frame->MainWindow().Hwnd()));
}

TEST_F(HostFrameTest, TrayCallbackShowsTheClipboardPageOnLeftClicksOnly) {
    auto frame = MakeFrame();
    HWND host = frame->Hwnd();
    HWND main = frame->MainWindow().Hwnd();
    struct Case {
        UINT event;
        bool shows;
    };
    const Case cases[] = {
        {WM_LBUTTONUP, true},    {WM_LBUTTONDBLCLK, true}, {WM_MOUSEMOVE, false},
        {WM_LBUTTONDOWN, false}, {WM_RBUTTONDOWN, false},  {WM_MBUTTONUP, false},
    };
    for (const Case& c : cases) {
        frame->MainWindow().SwitchPage(PAGE_SYSTEM);
        ::ShowWindow(main, SW_HIDE);
        EXPECT_EQ(::SendMessageW(host, WM_TRAY_NOTIFY, IDR_TRAY_MENU, c.event), 1) << c.event;
        PumpPending();
        EXPECT_EQ(::IsWindowVisible(main) != 0, c.shows) << c.event;
        EXPECT_EQ(frame->MainWindow().CurrentPage(), c.shows ? PAGE_CLIPBOARD : PAGE_SYSTEM)
            << c.event;
    }
}

// Reads the open pop-up menu from inside its modal loop, then closes it.
struct MenuSnapshot {
    std::vector<std::wstring> items;  // "-" for a separator
    std::vector<UINT> ids;
    HWND foreground = nullptr;
    bool seen = false;
};
MenuSnapshot* g_snapshot = nullptr;

void CALLBACK ReadOpenMenu(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND menuWindow = ::FindWindowW(L"#32768", nullptr);
    if (menuWindow == nullptr || !::IsWindowVisible(menuWindow)) {
        return;
    }
    ::KillTimer(nullptr, timer);
    auto menu = reinterpret_cast<HMENU>(::SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
    for (int i = 0; menu != nullptr && i < ::GetMenuItemCount(menu); ++i) {
        wchar_t text[64] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 64;
        ::GetMenuItemInfoW(menu, i, TRUE, &info);
        g_snapshot->items.push_back((info.fType & MFT_SEPARATOR) ? L"-" : text);
        g_snapshot->ids.push_back(info.wID);
    }
    g_snapshot->foreground = ::GetForegroundWindow();
    g_snapshot->seen = true;
    ::EndMenu();
}

TEST_F(HostFrameTest, RightClickOpensTheTrayMenuOwnedByTheForegroundHostFrame) {
    auto frame = MakeFrame();
    // Focus changes from showing the main window arrive from the X server a little later.
    PumpMessages(300);
    MenuSnapshot snapshot;
    g_snapshot = &snapshot;
    // Dispatched by the menu's own modal loop.
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 20, &ReadOpenMenu);
    EXPECT_EQ(::SendMessageW(frame->Hwnd(), WM_TRAY_NOTIFY, IDR_TRAY_MENU, WM_RBUTTONUP), 1);
    ::KillTimer(nullptr, timer);
    g_snapshot = nullptr;
    ASSERT_TRUE(snapshot.seen);
    EXPECT_EQ(snapshot.items, (std::vector<std::wstring>{L"显示主窗口", L"-", L"退出"}));
    EXPECT_EQ(snapshot.ids[0], static_cast<UINT>(ID_TRAY_SHOW_MAIN));
    EXPECT_EQ(snapshot.ids[2], static_cast<UINT>(ID_TRAY_EXIT));
    wchar_t cls[64] = {};
    ::GetClassNameW(snapshot.foreground, cls, 64);
    EXPECT_EQ(snapshot.foreground, frame->Hwnd())
        << std::string(cls, cls + wcslen(cls)) << " main=" << frame->MainWindow().Hwnd();
    // Built afresh each time: no menu is left behind for the next click.
    PumpPending();
    EXPECT_EQ(::FindWindowW(L"#32768", nullptr) == nullptr ||
                  !::IsWindowVisible(::FindWindowW(L"#32768", nullptr)),
              true);
}

TEST_F(HostFrameTest, TrayCommandsShowTheWindowAndExitHidesItThenQuits) {
    auto frame = MakeFrame();
    HWND host = frame->Hwnd();
    HWND main = frame->MainWindow().Hwnd();
    frame->MainWindow().SwitchPage(PAGE_SERIAL_SETTINGS);
    ::ShowWindow(main, SW_HIDE);
    ::SendMessageW(host, WM_COMMAND, ID_TRAY_SHOW_MAIN, 0);
    EXPECT_TRUE(::IsWindowVisible(main));
    EXPECT_EQ(frame->MainWindow().CurrentPage(), PAGE_CLIPBOARD);

    // A close request only hides the main window; the frame stays.
    ::SendMessageW(host, WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindowVisible(main));
    EXPECT_TRUE(::IsWindow(host));

    ::ShowWindow(main, SW_SHOW);
    ::SendMessageW(host, WM_COMMAND, ID_TRAY_EXIT, 0);
    bool quit = false;
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quit = true;
            EXPECT_EQ(message.wParam, 0u);
            break;
        }
        ::DispatchMessageW(&message);
    }
    EXPECT_TRUE(quit);
    EXPECT_FALSE(::IsWindowVisible(main));  // the close request came first
    EXPECT_TRUE(::IsWindow(host));
}

TEST_F(HostFrameTest, DestroyingDuringASendThatDoesNotStopWaitsFiveSecondsThenGoesOn) {
    WriteUartComPort(PORT);
    HookedTicks ticks;
    // The held write ends (as a write time-out would) only once the wait has given up.
    ticks.onSleep = [&](int sleeps) {
        if (sleeps == SEND_STOP_POLLS) {
            port_.Release();
        }
    };
    auto frame = MakeFrame(&ticks);
    ASSERT_TRUE(frame->Link().IsOpen());
    port_.Hold();

    ClipboardEntry entry;
    entry.text = L"你好";
    entry.dataSize = 6;
    std::atomic<bool> sent{true};
    std::wstring error;
    std::thread sender(
        [&] { sent = GetTransferProtocol().Send(entry, &frame->MainWindow(), error); });
    ASSERT_TRUE(port_.WaitUntilWriting());
    EXPECT_TRUE(GetTransferProtocol().IsSending());

    frame->Destroy();
    EXPECT_EQ(ticks.sleeps, SEND_STOP_POLLS);
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
    const int writes = port_.Writes();
    ::Sleep(50);
    EXPECT_EQ(port_.Writes(), writes);
}

TEST_F(HostFrameTest, DestroyingWithoutASendDoesNotWait) {
    WriteUartComPort(PORT);
    HookedTicks ticks;
    auto frame = MakeFrame(&ticks);
    frame->Destroy();
    EXPECT_EQ(ticks.sleeps, 0);
    EXPECT_EQ(frame->LateSend(), nullptr);
}

class MainAppTest : public HostFrameTest {};

TEST_F(MainAppTest, SecondInstanceEndsWithoutWindowsAndFindsNoWindowOfItsOwnProcess) {
    UniqueHandle running(::CreateMutexW(nullptr, TRUE, INSTANCE_MUTEX_NAME));
    ASSERT_TRUE(running);
    // A visible window of our own titled like the main window is not another instance.
    UniqueWindow own(::CreateWindowExW(0, L"STATIC", L"zovrel", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                       0, 100, 100, nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(own);
    EXPECT_EQ(FindRunningInstanceWindow(), nullptr);

    CCP_MainApp app;
    EXPECT_FALSE(app.InitInstance());
    EXPECT_TRUE(app.FoundRunningInstance());
    EXPECT_EQ(app.HostFrame(), nullptr);
    EXPECT_EQ(::FindWindowW(nullptr, L"zovrel_host"), nullptr);
    // Nothing was posted to our own window.
    MSG message;
    EXPECT_FALSE(::PeekMessageW(&message, own.Get(), WM_SHOW_MAIN, WM_SHOW_MAIN, PM_REMOVE));
}

TEST_F(MainAppTest, StartsRunsAndExitsFromTheTrayMenuInOrder) {
    WriteUartComPort(L"COM199");  // saved but absent: starts anyway, on the clipboard page
    {
        CCP_MainApp app;
        ASSERT_TRUE(app.InitInstance());
        EXPECT_FALSE(app.FoundRunningInstance());
        CMainFrame* frame = app.HostFrame();
        ASSERT_NE(frame, nullptr);
        HWND host = frame->Hwnd();
        HWND main = frame->MainWindow().Hwnd();
        EXPECT_TRUE(::IsWindowVisible(main));
        EXPECT_EQ(frame->MainWindow().CurrentPage(), PAGE_CLIPBOARD);
        EXPECT_NE(app.Watcher().Window(), nullptr);
        // The mutex is held: a second start in this session would stop.
        {
            UniqueHandle second(::CreateMutexW(nullptr, TRUE, INSTANCE_MUTEX_NAME));
            EXPECT_EQ(::GetLastError(), 183u);
        }

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
        EXPECT_NE(::GetLastError(), 183u);
    }
    EXPECT_EQ(::FindWindowW(nullptr, L"zovrel_host"), nullptr);
}

}  // namespace
}  // namespace zovrel::ui
