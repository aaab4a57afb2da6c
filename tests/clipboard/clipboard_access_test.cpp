#include "clipboard/clipboard_access.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "clipboard/clipboard_watcher.h"
#include "clipboard/dib.h"
#include "clipboard/history_store.h"
#include "clipboard/own_write_guard.h"
#include "support/recording_notifier.h"
#include "support/test_support.h"

namespace zovrel {
namespace {

using Header = test::DibHeader;
using test::PackedDib;  // the header, then the zero bytes given

TEST(DibTotalSize, CountsHeaderColourTableAndPaddedRowsOrRefuses) {
    const struct {
        Header h;
        size_t extra, expected;
    } cases[] = {
        {{.width = 3, .height = -2, .bitCount = 24}, 24, 64},    // rows padded, top-down
        {{.width = 4, .height = 1, .bitCount = 8}, 1028, 1068},  // full 256-entry table
        {{.width = 4, .height = 1, .bitCount = 8, .coloursUsed = 2}, 12, 52},
        {{.width = 1, .height = 1, .compression = 3}, 16, 56},  // bit-field masks
        {{.size = 124, .width = 1, .height = 1, .compression = 3}, 4, 128},
        {{}, 116, 56},  // only the DIB out of a rounded-up block
        {{.width = 10, .height = 10, .bitCount = 24, .compression = 4, .imageSize = 50}, 60, 90},
        {{}, 15, 0},  // a pixel byte short
        {{.compression = 4, .imageSize = 1000}, 100, 0},
        {{.bitCount = 8, .coloursUsed = 300}, 1000, 0},
        {{.width = 100, .height = 100, .imageSize = 4}, 4, 0},  // rows cannot hide behind it
    };
    for (const auto& c : cases) {
        const Bytes b = PackedDib(c.h, Bytes(c.extra));
        EXPECT_EQ(DibTotalSize(b.data(), b.size()), c.expected) << &c - cases;
    }
    EXPECT_EQ(DibTotalSize(PackedDib({.size = 124}).data(), 100), 0u);
}

// Sizes that wrap in 32 or 64 bits must never come out as a small total, even when the caller
// claims a huge block (only the header is read).
TEST(DibTotalSize, OverflowingHeadersNeverYieldASmallTotal) {
    const Header crafted[] = {{.width = 1, .height = INT_MIN},
                              {.width = 0x7FFFFFFF, .height = 1},
                              {.width = 0x7FFFFFFF, .height = INT_MIN},
                              {.width = 0x7FFFFFFF, .height = 0x7FFFFFFF, .bitCount = 0xFFFF},
                              {.width = 1, .height = 1, .bitCount = 8, .coloursUsed = 0xFFFFFFFF},
                              {.width = 1, .height = 1, .bitCount = 8, .coloursUsed = 0x40000001},
                              {.width = 1, .height = 1, .compression = 4, .imageSize = 0xFFFFFFFF}};
    for (const Header& h : crafted) {
        const Bytes b = PackedDib(h, Bytes(64));
        EXPECT_EQ(DibTotalSize(b.data(), b.size()), 0u) << &h - crafted;
        const size_t claimed = DibTotalSize(b.data(), SIZE_MAX);
        EXPECT_TRUE(claimed == 0 || claimed > 0xFFFFFFFFull) << &h - crafted << ": " << claimed;
    }
}

TEST(DropFilesBlock, ListsThatRunOffTheirBlockAreRefused) {
    const Bytes block = BuildDropFilesBlock({L"C:\\a", L"D:\\文\U0001F600"});
    ASSERT_EQ(block.size(), 20u + 2 * (5 + 7 + 1));  // the emoji takes two UTF-16 units
    EXPECT_TRUE(IsWellFormedDropFiles(block.data(), block.size()));
    EXPECT_FALSE(IsWellFormedDropFiles(block.data(), block.size() - 2));  // final NUL cut off
    EXPECT_FALSE(IsWellFormedDropFiles(block.data(), 19));
    for (uint8_t offset : {static_cast<uint8_t>(block.size()), uint8_t{4}}) {
        Bytes bad = block;
        bad[0] = offset;
        EXPECT_FALSE(IsWellFormedDropFiles(bad.data(), bad.size())) << int{offset};
    }
}

struct FakeClipboard final : ClipboardSource {
    ClipboardReadResult Read(ClipboardEntry& entry) override {
        entry = test::TextEntry(text);
        return result;
    }
    uint32_t SequenceNumber() override { return sequence; }
    void Put(const wchar_t* t, ClipboardReadResult r = ClipboardReadResult::CONTENT) {
        text = t;
        result = r;
        ++sequence;
    }
    std::wstring text;
    ClipboardReadResult result = ClipboardReadResult::NOTHING;
    uint32_t sequence = 7;
};

TEST(ClipboardCapture, SkipsPrivateUnreadableAndOwnContentAndCopesWithoutSequence) {
    test::TempFolder folder;
    ClipboardHistory history(folder.Text());
    FakeClipboard clipboard;
    ClipboardCapture capture(clipboard, &history);
    test::RecordingNotifier notifier;
    clipboard.Put(L"secret", ClipboardReadResult::PRIVATE);
    EXPECT_FALSE(capture.CaptureClipboardChange(&notifier));
    EXPECT_FALSE(capture.PollDue());  // dealt with, not read again and again
    clipboard.Put(L"busy", ClipboardReadResult::NOTHING);
    EXPECT_FALSE(capture.CaptureClipboardChange(&notifier));
    EXPECT_TRUE(capture.PollDue());  // left for the poll to retry
    {
        OwnClipboardWriteScope sending;
        clipboard.Put(L"ours");
        EXPECT_FALSE(capture.PollDue() || capture.CaptureClipboardChange(&notifier));
    }
    EXPECT_TRUE(capture.PollDue() && capture.CaptureClipboardChange(&notifier));
    EXPECT_EQ(notifier.historyChanged, 1);
    // A system without a sequence number: every poll captures, the history keeps repeats out.
    clipboard.sequence = 0;
    EXPECT_TRUE(capture.PollDue());
    EXPECT_FALSE(capture.CaptureClipboardChange(&notifier));
    clipboard.text = L"next";
    EXPECT_TRUE(capture.PollDue() && capture.CaptureClipboardChange(&notifier));
    EXPECT_EQ(history.GetEntryCount(), 2);
}

}  // namespace
}  // namespace zovrel
