#include <gtest/gtest.h>

#include "clipboard/clipboard_watcher.h"
#include "clipboard/history_store.h"
#include "clipboard/history_test_support.h"
#include "clipboard/own_write_guard.h"
#include "support/recording_notifier.h"

namespace zovrel {
namespace {

// A clipboard that holds what the test puts there; every put moves the sequence number.
class FakeClipboard final : public ClipboardSource {
  public:
    ClipboardReadResult Read(ClipboardEntry& entry) override {
        ++reads;
        if (result == ClipboardReadResult::Content)
            entry = content;
        return result;
    }
    uint32_t SequenceNumber() override { return sequence; }

    void PutText(const std::wstring& text, uint64_t time = 1000) {
        content = test::TextEntry(text, time);
        result = ClipboardReadResult::Content;
        ++sequence;
    }
    void PutPrivate() {
        result = ClipboardReadResult::Private;
        ++sequence;
    }

    ClipboardReadResult result = ClipboardReadResult::Nothing;
    ClipboardEntry content;
    uint32_t sequence = 7;
    int reads = 0;
};

class ClipboardCaptureTest : public testing::Test {
  protected:
    std::vector<std::wstring> Texts() const {
        std::vector<std::wstring> texts;
        for (const ClipboardEntry& e : history.GetEntries())
            texts.push_back(e.text);
        return texts;
    }
    bool Capture() { return capture.CaptureClipboardChange(&notifier); }

    test::TempFolder folder;
    ClipboardHistory history{folder.Text()};
    FakeClipboard clipboard;
    ClipboardCapture capture{clipboard, &history};
    test::RecordingNotifier notifier;
};

TEST_F(ClipboardCaptureTest, NewContentIsAddedOrPromotedAndTheMainWindowTold) {
    clipboard.PutText(L"A", 1000);
    EXPECT_TRUE(Capture());
    clipboard.PutText(L"B", 2000);
    EXPECT_TRUE(Capture());
    clipboard.PutText(L"B", 3000);  // the same text again
    EXPECT_FALSE(Capture());
    clipboard.PutText(L"A", 4000);
    EXPECT_TRUE(Capture());
    EXPECT_EQ(Texts(), (std::vector<std::wstring>{L"A", L"B"}));
    EXPECT_EQ(history.GetEntryAt(0)->time, 4000u);
    EXPECT_EQ(notifier.historyChanged, 3);
    EXPECT_EQ(capture.LastSequence(), clipboard.sequence);

    // A main window that cannot take the message does not undo the capture.
    notifier.accept = false;
    clipboard.PutText(L"C");
    EXPECT_TRUE(Capture());
    EXPECT_EQ(history.GetEntryCount(), 3);
}

TEST_F(ClipboardCaptureTest, NothingIsReadWhileTheProgramWritesAndTheChangeWaitsForThePoll) {
    capture.RecordClipboardSequence();
    clipboard.PutText(L"copied during a send");
    {
        OwnClipboardWriteScope sending;
        EXPECT_FALSE(Capture());
        EXPECT_FALSE(capture.PollDue());
        EXPECT_EQ(clipboard.reads, 0);
    }
    EXPECT_TRUE(capture.PollDue());
    EXPECT_TRUE(Capture());
    EXPECT_FALSE(capture.PollDue());
}

TEST_F(ClipboardCaptureTest, UnreadableContentIsRetriedPrivateContentIsDealtWith) {
    capture.RecordClipboardSequence();
    ++clipboard.sequence;  // changed, but busy or in formats we do not take
    EXPECT_FALSE(Capture());
    EXPECT_TRUE(capture.PollDue());

    clipboard.PutPrivate();
    EXPECT_FALSE(Capture());
    EXPECT_EQ(history.GetEntryCount(), 0);
    EXPECT_EQ(notifier.historyChanged, 0);
    EXPECT_FALSE(capture.PollDue());

    // A system that cannot tell the sequence: every poll tick captures, and the history's own
    // comparison keeps repeats out.
    clipboard.sequence = 0;
    EXPECT_TRUE(capture.PollDue());
    clipboard.PutText(L"x");
    clipboard.sequence = 0;
    EXPECT_TRUE(Capture());
    EXPECT_FALSE(Capture());
    EXPECT_EQ(history.GetEntryCount(), 1);
}

TEST_F(ClipboardCaptureTest, IgnoredContentIsNeverTakenAndTheOwnMarkOnlyOnce) {
    const ClipboardEntry secret = test::TextEntry(L"ignored");
    capture.AddWatcherIgnoredFingerprint(ComputeFingerprint(secret));
    capture.AddWatcherIgnoredFingerprint(L"");
    EXPECT_EQ(capture.IgnoreSet().size(), 1u);
    for (int i = 0; i < 2; ++i) {
        clipboard.PutText(L"ignored");
        EXPECT_FALSE(Capture());
        EXPECT_EQ(capture.LastSequence(), clipboard.sequence);
    }

    clipboard.PutText(L"written by us");
    capture.MarkClipboardAsOwn();
    EXPECT_EQ(capture.LastSequence(), clipboard.sequence);
    EXPECT_FALSE(capture.OwnWriteFingerprint().empty());
    EXPECT_FALSE(Capture());
    EXPECT_TRUE(capture.OwnWriteFingerprint().empty());
    EXPECT_TRUE(Capture());  // the same content once more is ordinary content
    EXPECT_EQ(Texts(), std::vector<std::wstring>{L"written by us"});

    // Marking an unreadable clipboard keeps no mark but still counts the change as seen.
    clipboard.result = ClipboardReadResult::Nothing;
    ++clipboard.sequence;
    capture.MarkClipboardAsOwn();
    EXPECT_TRUE(capture.OwnWriteFingerprint().empty());
    EXPECT_FALSE(capture.PollDue());

    // A removed entry's fingerprint set by hand is skipped the same way.
    clipboard.PutText(L"removed");
    capture.SetOwnWriteFingerprint(ComputeFingerprint(test::TextEntry(L"removed")));
    EXPECT_FALSE(Capture());
    EXPECT_EQ(history.GetEntryCount(), 1);
}

}  // namespace
}  // namespace zovrel
