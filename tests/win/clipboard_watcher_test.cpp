#include "clipboard/clipboard_watcher.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/text.h"
#include "clipboard/history_store.h"
#include "clipboard/own_write_guard.h"
#include "support/recording_notifier.h"
#include "win/win_clipboard_support.h"

namespace zovrel {
namespace {

using test::FormatData;
using test::OtherClipboardOwner;

// Longer than the debounce and a poll tick together, with room for the X round trip.
constexpr DWORD kSettleMs = 1500;
constexpr DWORD kWaitMs = 5000;

class ClipboardWatcherTest : public testing::Test {
  protected:
    void SetUp() override {
        ZOVREL_REQUIRE_CLIPBOARD();
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::filesystem::path(temp) /
                  (L"zovrel-watcher-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                   std::to_wstring(++counter_));
        // Start from a clipboard nobody will capture.
        ClipboardEntry start;
        start.text = L"start " + std::to_wstring(counter_);
        ASSERT_TRUE(WriteEntryToClipboard(start, nullptr));
        history_ = std::make_unique<ClipboardHistory>(folder_.wstring());
    }
    void TearDown() override {
        watcher_.reset();
        history_.reset();
        std::error_code ignored;
        if (!folder_.empty())
            std::filesystem::remove_all(folder_, ignored);
    }

    // Starts watching and lets the start-up capture happen.
    void Start(CZovrelClipboardWatcher::Subscription mode =
                   CZovrelClipboardWatcher::Subscription::Automatic) {
        watcher_ = std::make_unique<CZovrelClipboardWatcher>(history_.get(), mode);
        ASSERT_TRUE(watcher_->StartWatching(&notifier_));
        ASSERT_TRUE(test::PumpUntil([&] { return history_->GetEntryCount() == 1; }, kWaitMs));
    }

    std::wstring TopText() {
        auto top = history_->GetEntryAt(0);
        return top ? top->text : L"";
    }

    // Copies text in an X program and waits until the watcher has it at the top.
    ::testing::AssertionResult CopyInX(const std::wstring& text) {
        if (!test::XclipSetText(ToUtf8(text)))
            return ::testing::AssertionFailure() << "xclip";
        if (!test::PumpUntil([&] { return TopText() == text; }, kWaitMs)) {
            return ::testing::AssertionFailure() << "not captured; top is " << ToUtf8(TopText());
        }
        return ::testing::AssertionSuccess();
    }

    static inline int counter_ = 0;
    std::filesystem::path folder_;
    std::unique_ptr<ClipboardHistory> history_;
    test::RecordingNotifier notifier_;
    std::unique_ptr<CZovrelClipboardWatcher> watcher_;
};

TEST_F(ClipboardWatcherTest, CapturesChangesMadeByAnotherXClient) {
    Start();
    EXPECT_TRUE(watcher_->ListenerMode());
    EXPECT_EQ(notifier_.historyChanged, 1);  // the start-up capture

    const DWORD start = GetTickCount();
    ASSERT_TRUE(CopyInX(L"来自另一个程序 one"));
    std::printf("captured %lu ms after xclip returned\n",
                static_cast<unsigned long>(GetTickCount() - start));
    EXPECT_EQ(history_->GetEntryCount(), 2);
    EXPECT_EQ(notifier_.historyChanged, 2);
    EXPECT_EQ(watcher_->Capture().LastSequence(), GetClipboardSequenceNumber());
}

TEST_F(ClipboardWatcherTest, SameTextTwiceKeepsOneEntryAndABAPromotesA) {
    Start();
    ASSERT_TRUE(CopyInX(L"A text"));
    const uint64_t firstTime = history_->GetEntryAt(0)->time;
    const int64_t idOfA = history_->GetEntryAt(0)->id;
    ASSERT_TRUE(test::XclipSetText("A text"));
    test::PumpMessages(kSettleMs);
    EXPECT_EQ(history_->GetEntryCount(), 2);

    ASSERT_TRUE(CopyInX(L"B text"));
    ASSERT_TRUE(CopyInX(L"A text"));
    ASSERT_EQ(history_->GetEntryCount(), 3);  // start, B, A: no third copy of A
    EXPECT_EQ(history_->GetEntryAt(0)->id, idOfA);
    EXPECT_GT(history_->GetEntryAt(0)->time, firstTime);
    EXPECT_EQ(history_->GetEntryAt(1)->text, L"B text");
}

TEST_F(ClipboardWatcherTest, OwnWritesAreNotCapturedButTheMarkIsUsedOnce) {
    Start();
    const int notices = notifier_.historyChanged;
    ClipboardEntry own;
    own.text = L"written by zovrel";
    BeginOwnClipboardWrite();
    ASSERT_TRUE(WriteEntryToClipboard(own, watcher_->Window()));
    watcher_->MarkClipboardAsOwn();
    EndOwnClipboardWrite();
    EXPECT_FALSE(watcher_->Capture().OwnWriteFingerprint().empty());
    test::PumpMessages(kSettleMs);
    EXPECT_EQ(history_->GetEntryCount(), 1);
    EXPECT_EQ(notifier_.historyChanged, notices);

    // The same content copied again later by someone else is ordinary content.
    watcher_->CaptureClipboardChange();
    EXPECT_TRUE(watcher_->Capture().OwnWriteFingerprint().empty());
    EXPECT_EQ(TopText(), L"written by zovrel");
}

TEST_F(ClipboardWatcherTest, NothingIsCapturedWhileTheDepthIsRaised) {
    Start();
    {
        OwnClipboardWriteScope sending;
        ASSERT_TRUE(test::XclipSetText("copied during a send"));
        test::PumpMessages(kSettleMs);
        EXPECT_EQ(history_->GetEntryCount(), 1);
    }
    // The sequence was left unrecorded, so the poll picks the change up afterwards.
    EXPECT_TRUE(test::PumpUntil([&] { return TopText() == L"copied during a send"; }, kWaitMs));
}

TEST_F(ClipboardWatcherTest, PrivateContentNeverEntersTheHistory) {
    Start();
    const UINT viewerIgnore = RegisterClipboardFormatW(kViewerIgnoreFormat);
    const UINT exclude = RegisterClipboardFormatW(kExcludeFromMonitorFormat);
    const UINT history = RegisterClipboardFormatW(kCanIncludeInHistoryFormat);
    const UINT cloud = RegisterClipboardFormatW(kCanUploadToCloudFormat);
    const std::vector<std::vector<FormatData>> secrets = {
        {{viewerIgnore, {}}},
        {{exclude, {}, true}},
        {{exclude, test::DwordBytes(0)}},
        {{history, test::DwordBytes(0)}},
        {{cloud, test::DwordBytes(0)}},
        {{history, test::DwordBytes(0)}, {cloud, test::DwordBytes(0)}},
    };
    OtherClipboardOwner owner;
    int n = 0;
    for (const auto& marks : secrets) {
        SCOPED_TRACE(n);
        std::vector<FormatData> formats = {
            {CF_UNICODETEXT, test::Utf16Bytes(L"password " + std::to_wstring(++n))}};
        formats.insert(formats.end(), marks.begin(), marks.end());
        owner.Put(formats);
        const DWORD sequence = GetClipboardSequenceNumber();
        // Recorded as dealt with, so the poll does not keep coming back to it.
        EXPECT_TRUE(test::PumpUntil([&] { return watcher_->Capture().LastSequence() == sequence; },
                                    kWaitMs));
        test::PumpMessages(300);
        EXPECT_EQ(history_->GetEntryCount(), 1);
    }
    // A history permission of 1 is ordinary content.
    owner.Put({{CF_UNICODETEXT, test::Utf16Bytes(L"shareable")}, {history, test::DwordBytes(1)}});
    EXPECT_TRUE(test::PumpUntil([&] { return TopText() == L"shareable"; }, kWaitMs));
}

LRESULT CALLBACK CountingViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DRAWCLIPBOARD) {
        auto* count = reinterpret_cast<int*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (count != nullptr)
            ++*count;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

TEST_F(ClipboardWatcherTest, ViewerChainPassesMessagesOnAndFollowsRemovals) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = CountingViewerProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"ZovrelTestViewer";
    RegisterClassW(&windowClass);
    int drawsAtOld = 0;
    int drawsAtNew = 0;
    HWND older = CreateWindowExW(0, L"ZovrelTestViewer", L"older", 0, 0, 0, 0, 0, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    HWND successor = CreateWindowExW(0, L"ZovrelTestViewer", L"successor", 0, 0, 0, 0, 0, nullptr,
                                     nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(older, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&drawsAtOld));
    SetWindowLongPtrW(successor, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&drawsAtNew));
    HWND before = SetClipboardViewer(older);

    Start(CZovrelClipboardWatcher::Subscription::ViewerChain);
    EXPECT_FALSE(watcher_->ListenerMode());
    EXPECT_EQ(watcher_->NextViewer(), older);

    const int joined = drawsAtOld;  // joining the chain may already have passed one on
    SendMessageW(watcher_->Window(), WM_DRAWCLIPBOARD, 0, 0);
    EXPECT_EQ(drawsAtOld, joined + 1);
    SendMessageW(watcher_->Window(), WM_CHANGECBCHAIN, reinterpret_cast<WPARAM>(older),
                 reinterpret_cast<LPARAM>(successor));
    EXPECT_EQ(watcher_->NextViewer(), successor);
    SendMessageW(watcher_->Window(), WM_DRAWCLIPBOARD, 0, 0);
    EXPECT_EQ(drawsAtNew, 1);

    // Changes still arrive through the chain.
    ASSERT_TRUE(CopyInX(L"seen through the viewer chain"));

    watcher_->StopWatching();
    EXPECT_EQ(watcher_->Window(), nullptr);
    ChangeClipboardChain(older, before);
    DestroyWindow(older);
    DestroyWindow(successor);
}

}  // namespace
}  // namespace zovrel
