// The main window under Wine, in process: its pages and controls against the layout rules, its
// colours by pixels, fonts and DPI changes, closing, and the posts other threads send it.

#include <algorithm>
#include <atomic>
#include <new>
#include <thread>

#include "base/local_time.h"
#include "main_window_fixture.h"
#include "settings/log_file.h"

// Every allocation of this test program is counted, so a test can tell that the payloads of
// queued posts were freed.
namespace {
std::atomic<long> liveAllocations{0};
}

void* operator new(std::size_t size) {
    void* p = ::HeapAlloc(::GetProcessHeap(), 0, size != 0 ? size : 1);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    ++liveAllocations;
    return p;
}
void operator delete(void* p) noexcept {
    if (p != nullptr) {
        --liveAllocations;
        ::HeapFree(::GetProcessHeap(), 0, p);
    }
}
void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}
// The array forms of the runtime call these.

namespace zovrel::ui {
namespace {

using test::PumpPending;

// The rectangles are the layout's (native tables); the window shows a control only where the
// layout gives it one (placing by it: the DPI change below). Each page's screenshot is taken.
TEST_F(MainWindowTest, EveryPageShowsOnlyTheControlsItsLayoutPlaces) {
    ::SetWindowTextW(Control(14), L"open");
    for (const bool log : {false, true}) {
        ASSERT_TRUE(WriteUartDebugLog(log));
        for (const int page : {PAGE_CLIPBOARD, PAGE_SERIAL_SETTINGS, PAGE_SYSTEM}) {
            SCOPED_TRACE("page " + std::to_string(page) + (log ? ", log on" : ", log off"));
            window_->ShowOnPage(page);
            PumpPending();
            EXPECT_EQ(window_->CurrentPage(), page);
            EXPECT_EQ(window_->LogShown(), log && page == PAGE_CLIPBOARD);
            EXPECT_EQ(WindowText(Main()), std::wstring(PageTitle(page)));

            RECT client{};
            ::GetClientRect(Main(), &client);
            const MainWindowLayout l = LayoutControls(page, client.right, client.bottom, dpi_, log,
                                                      window_->SplitPosition());
            // The layout leaves every control another page (or the hidden log) owns empty.
            const std::pair<int, LayoutRect> controls[] = {
                {1, l.clipboardHeading}, {2, l.menuButton},      {3, l.logHeading},
                {4, l.clearLog},         {5, l.logPane},         {6, l.historyList},
                {8, l.historyHeading},   {9, l.clearHistory},    {10, l.statusLine},
                {11, l.portCombo},       {12, l.connect},        {13, l.disconnect},
                {14, l.connectionState}, {15, l.transferText},   {17, l.cancelSend},
                {18, l.settingsHeading}, {19, l.portLabel},      {20, l.settingsPortCombo},
                {21, l.debugLogCheck},   {22, l.autostartCheck}, {23, l.save},
                {24, l.cancelSettings},  {25, l.splitter}};
            for (const auto& [number, expected] : controls) {
                ASSERT_NE(Control(number), nullptr) << number;
                EXPECT_EQ(Visible(number), expected != LayoutRect{}) << "control " << number;
            }
            EXPECT_FALSE(Visible(16));  // the progress bar shows only during a send
            if (page == PAGE_CLIPBOARD && log) {
                window_->AppendLogLine(L"12:00:01.250 SYS 串口已打开 COM3 @ 2000000");
            }
            const std::wstring logShown = log ? L"-log-shown" : L"-log-hidden";
            SaveScreenshot(L"main-page" + std::to_wstring(page) +
                           (page == PAGE_CLIPBOARD ? logShown : L""));
        }
    }
}

// Wine never sends WM_DPICHANGED; the window must re-lay out and re-create its fonts when
// Windows does.
TEST_F(MainWindowTest, ADpiChangeMakesFontsAndLayoutAnew) {
    const auto fontHeight = [&](int number) {
        return std::abs(test::WindowFont(Control(number)).lfHeight);
    };
    const int heading = fontHeight(1), log = fontHeight(5);
    ASSERT_TRUE(WriteUartDebugLog(true));
    window_->ShowOnPage(PAGE_CLIPBOARD);
    const int newDpi = dpi_ * 3 / 2;
    const int oldSplit = window_->SplitPosition();
    RECT r{};
    ::GetWindowRect(Main(), &r);
    RECT suggested{r.left, r.top, r.left + (r.right - r.left) * 3 / 2,
                   r.top + (r.bottom - r.top) * 3 / 2};
    ::SendMessageW(Main(), WM_DPICHANGED, MAKEWPARAM(newDpi, newDpi),
                   reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(window_->Dpi(), newDpi);
    EXPECT_NEAR(fontHeight(1), heading * 3 / 2, 1);
    EXPECT_NEAR(fontHeight(5), log * 3 / 2, 1);
    RECT client{};
    ::GetClientRect(Main(), &client);
    // The split scales with the DPI, then the layout clamps it to the new client height.
    EXPECT_EQ(Placed(5), LayoutControls(PAGE_CLIPBOARD, client.right, client.bottom, newDpi, true,
                                        oldSplit * 3 / 2)
                             .logPane);
}

// Closing hides (the whole-program runs see it); a minimised window comes back restored.
TEST_F(MainWindowTest, AMinimisedWindowComesBackRestored) {
    window_->ShowOnPage(PAGE_CLIPBOARD);
    PumpPending();
    ::ShowWindow(Main(), SW_MINIMIZE);
    test::PumpMessages(300);
    ASSERT_TRUE(::IsIconic(Main()));
    window_->ShowOnPage(PAGE_CLIPBOARD);
    EXPECT_FALSE(test::PumpMessages(300, [&] { return ::IsIconic(Main()) != FALSE; }));
    EXPECT_TRUE(::IsWindowVisible(Main()));
}

// The stored numbers are the native tables'; the next run's window starts where this one hid.
TEST_F(MainWindowTest, SizeAndPositionAreRememberedWhenTheWindowHides) {
    window_->ShowOnPage(PAGE_CLIPBOARD);
    ::SetWindowPos(Main(), nullptr, Px(140), Px(90), Px(600), Px(700),
                   SWP_NOZORDER | SWP_NOACTIVATE);
    RECT placed{};
    ::GetWindowRect(Main(), &placed);
    ::SendMessageW(Main(), WM_CLOSE, 0, 0);
    window_ = std::make_unique<CZovrelMainWnd>(*history_);
    ASSERT_TRUE(window_->Create(nullptr));
    RECT restored{};
    ::GetWindowRect(Main(), &restored);
    EXPECT_NEAR(restored.left, placed.left, 1);
    EXPECT_NEAR(restored.top, placed.top, 1);
    EXPECT_NEAR(restored.right - restored.left, placed.right - placed.left, 2);
}

// High Contrast (forced: Wine always reports it off), here with a black scheme; the focused row
// carries a frame along its top edge.
TEST_F(MainWindowTest, FocusMarkAndHighContrast) {
    window_->ShowOnPage(PAGE_CLIPBOARD);
    HWND list = Control(6);
    ::SetFocus(list);
    RECT row{};
    ::SendMessageW(list, LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row));
    POINT top{row.left + Px(60), row.top};
    ::MapWindowPoints(list, Main(), &top, 1);
    SaveScreenshot(L"main-focus-mark");
    const int elements[] = {COLOR_WINDOW,        COLOR_WINDOWTEXT, COLOR_HIGHLIGHT,
                            COLOR_HIGHLIGHTTEXT, COLOR_BTNFACE,    COLOR_BTNTEXT};
    const COLORREF black[] = {RGB(0, 0, 0), RGB(255, 255, 255), RGB(26, 235, 255),
                              RGB(0, 0, 0), RGB(0, 0, 0),       RGB(255, 255, 255)};
    COLORREF saved[6];
    std::transform(std::begin(elements), std::end(elements), saved, ::GetSysColor);
    ::SetSysColors(6, elements, black);
    window_->ForceHighContrast(true);
    const test::CapturedImage contrast = CaptureOnScreen();
    SaveScreenshot(L"main-high-contrast");
    ::SetSysColors(6, elements, saved);
    window_->ForceHighContrast(std::nullopt);
    EXPECT_EQ(contrast.PixelAt(contrast.Width() / 2, 1), RGB(0, 0, 0));  // the top band
    // The selected, focused row in the highlight colour; its focus frame in the highlight's text.
    EXPECT_EQ(contrast.PixelAt(top.x, top.y + Px(30)), RGB(26, 235, 255));
    EXPECT_EQ(contrast.PixelAt(top.x, top.y), RGB(0, 0, 0));
}

// Created hidden, with its start in the pane and the log file; posts from another thread arrive
// in order.
TEST_F(MainWindowTest, CreationLogsTheStartAndPostsFromAnotherThreadArriveInOrder) {
    ASSERT_TRUE(WriteUartDebugLog(true));
    window_ = std::make_unique<CZovrelMainWnd>(*history_);
    ASSERT_TRUE(window_->Create(nullptr));
    EXPECT_FALSE(::IsWindowVisible(Main()));
    const std::wstring logPath = LogFilePath(LocalNow());
    EXPECT_EQ(WindowText(LogPane()), L"zovrel 已启动\r\n日志文件: " + logPath);
    const std::string file = test::ReadFileBytes(logPath);
    EXPECT_NE(file.find(ToUtf8(L"zovrel 已启动 · log=" + logPath)), std::string::npos);

    window_->ShowOnPage(PAGE_CLIPBOARD);
    ::SetWindowTextW(LogPane(), L"");
    std::thread poster([this] {
        for (int i = 0; i < 50; ++i) {
            EXPECT_TRUE(window_->PostLogText(L"line " + std::to_wstring(i)));
        }
        EXPECT_TRUE(window_->PostSendProgress(-1, L"等待设备应答"));
        auto entry = std::make_unique<ClipboardEntry>(test::TextEntry(L"来自设备的文本"));
        EXPECT_TRUE(window_->PostReceivedEntry(std::move(entry)));
    });
    poster.join();
    PumpPending();
    // Null payloads are ignored.
    ::SendMessageW(Main(), WM_APPEND_LOG_TEXT, 0, 0);
    ::SendMessageW(Main(), WM_RECEIVED_ENTRY, 0, 0);

    const std::wstring log = WindowText(LogPane());
    EXPECT_EQ(log.find(L"line 0\r\nline 1\r\nline 2\r\n"), 0u);
    EXPECT_EQ(log.substr(log.size() - 16), L"line 48\r\nline 49");
    EXPECT_EQ(TransferText(), L"等待设备应答");
    EXPECT_EQ(history_->GetEntryAt(0)->text, L"来自设备的文本");
    EXPECT_EQ(history_->GetEntryCount(), 4);
    EXPECT_EQ(RowCount(), 4);
}

TEST_F(MainWindowTest, QueuedPayloadsAreFreedWhenTheWindowGoesAndLaterPostsFail) {
    ASSERT_TRUE(WriteUartDebugLog(true));
    PumpPending();
    HWND gone = Main();
    const long before = liveAllocations.load();
    std::thread poster([this] {
        for (int i = 0; i < 500; ++i) {
            window_->PostLogText(std::wstring(40, L'x'));
            window_->PostSendProgress(i % 100, std::wstring(40, L'p'));
            window_->PostReceivedEntry(
                std::make_unique<ClipboardEntry>(test::TextEntry(std::wstring(40, L'e'))));
        }
    });
    poster.join();
    EXPECT_GT(liveAllocations.load() - before, 1500);
    window_->Destroy();
    // Every payload left in the queue was freed with the window.
    EXPECT_LT(liveAllocations.load() - before, 100);
    MSG message;
    EXPECT_FALSE(
        ::PeekMessageW(&message, nullptr, WM_APPEND_LOG_TEXT, WM_SEND_PROGRESS, PM_NOREMOVE));

    // From now on every post fails and frees its own payload.
    const long afterDestroy = liveAllocations.load();
    EXPECT_FALSE(window_->PostLogText(std::wstring(40, L'x')));
    EXPECT_FALSE(window_->PostSendResult(false, std::wstring(40, L'r')));
    EXPECT_FALSE(window_->PostReceivedEntry(std::make_unique<ClipboardEntry>()));
    EXPECT_FALSE(window_->PostHistoryChanged());
    EXPECT_EQ(liveAllocations.load(), afterDestroy);
    EXPECT_FALSE(::IsWindow(gone));
}

}  // namespace
}  // namespace zovrel::ui
