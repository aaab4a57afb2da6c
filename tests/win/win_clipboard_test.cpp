#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "base/text.h"
#include "base/win32_handle.h"
#include "clipboard/clipboard_access.h"
#include "clipboard/clipboard_watcher.h"
#include "clipboard/history_store.h"
#include "clipboard/own_write_guard.h"
#include "support/gui_test_support.h"
#include "support/recording_notifier.h"
#include "support/test_support.h"

namespace zovrel {
namespace {

// Longer than the debounce and a poll tick together, with room for the X round trip.
constexpr DWORD SETTLE_MS = 1500;
constexpr DWORD WAIT_MS = 5000;

struct Format {
    UINT format;
    Bytes data;
    bool delayed = false;
};

Bytes Utf16(const std::wstring& text, bool terminated = true) {
    const auto* p = reinterpret_cast<const uint8_t*>(text.c_str());
    return Bytes(p, p + (text.size() + terminated) * sizeof(wchar_t));
}

// Fills the clipboard from a window of its own, as another program (a password manager) would.
bool PutAsOtherProgram(const std::vector<Format>& formats) {
    static HWND other =
        CreateWindowExW(0, L"STATIC", L"other", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    if (!OpenClipboard(other))
        return false;
    EmptyClipboard();
    for (const Format& f : formats) {
        const size_t size = std::max<size_t>(f.data.size(), 1);
        UniqueGlobal block(f.delayed ? nullptr : GlobalAlloc(GMEM_MOVEABLE, size));
        if (block.IsValid()) {
            const GlobalLockScope target(block.Get());
            std::copy(f.data.begin(), f.data.end(), static_cast<uint8_t*>(target.Get()));
        }
        if (SetClipboardData(f.format, block.Get()) != nullptr)
            block.Release();  // the clipboard owns it now
    }
    return CloseClipboard();
}

class WinClipboardTest : public testing::Test {
  protected:
    void SetUp() override {
        // Start from a clipboard nobody will capture.
        ASSERT_TRUE(WriteEntryToClipboard(test::TextEntry(L"start " + folder.Text()), nullptr));
    }
    void Start(CZovrelClipboardWatcher::Subscription mode =
                   CZovrelClipboardWatcher::Subscription::AUTOMATIC) {
        watcher = std::make_unique<CZovrelClipboardWatcher>(&history, mode);
        ASSERT_TRUE(watcher->StartWatching(&notifier));
        ASSERT_TRUE(test::PumpMessages(WAIT_MS, [&] { return history.GetEntryCount() == 1; }));
    }
    std::wstring Top() { return history.GetEntryAt(0).value_or(ClipboardEntry()).text; }

    test::TempFolder folder;
    ClipboardHistory history{folder.Text()};
    test::RecordingNotifier notifier;
    std::unique_ptr<CZovrelClipboardWatcher> watcher;
};

// Texts both ways: the whole-program runs.
TEST_F(WinClipboardTest, ContentIsReadBackAndBrokenBlocksAreNeverReadPastTheirEnd) {
    // Blocks without a terminator; Wine may terminate one itself by giving up its last unit.
    ClipboardEntry read;
    const std::wstring chars = L"abcdefgh";
    for (const Format& f : {Format{CF_UNICODETEXT, Utf16(chars, false)},
                            Format{CF_TEXT, Bytes(chars.begin(), chars.end())}}) {
        ASSERT_TRUE(PutAsOtherProgram({f}));
        ASSERT_TRUE(ReadClipboardEntry(nullptr, read));
        EXPECT_GE(read.text.size(), chars.size() - 1);
        EXPECT_EQ(read.text, chars.substr(0, read.text.size()));
    }

    // File lists keep their order and skip missing paths.
    const std::wstring a = folder.File(L"a.txt"), b = folder.File(L"文件 b.bin");
    test::WriteFileBytes(a, std::string(10, 'x'));
    test::WriteFileBytes(b, std::string(32, 'x'));
    ASSERT_TRUE(WriteEntryToClipboard(test::FilesEntry({b, folder.File(L"gone"), a}), nullptr));
    ASSERT_TRUE(ReadClipboardEntry(nullptr, read));
    EXPECT_EQ(std::tie(read.kind, read.files, read.text, read.dataSize),
              std::tuple(ENTRY_KIND_FILES, std::vector<std::wstring>{b, a}, L"2 个文件", 42));

    // A list whose final NUL is missing would be walked past the block's end.
    Bytes broken = BuildDropFilesBlock({a});
    broken.resize(broken.size() - 4);
    std::replace(broken.begin() + 20, broken.end(), uint8_t{0}, uint8_t{'x'});
    ASSERT_TRUE(PutAsOtherProgram({{CF_HDROP, broken}, {CF_UNICODETEXT, Utf16(L"only")}}));
    ASSERT_TRUE(ReadClipboardEntry(nullptr, read));
    EXPECT_EQ(read.text, L"only");

    // Images go under their own formats; of a DIB block only the DIB is taken.
    const Bytes dib = test::PackedDib({.width = 3, .height = 2}, Bytes(24, 0x5A));
    ASSERT_TRUE(WriteEntryToClipboard(test::ImageEntry(dib, L"clipboard.dib"), nullptr));
    ASSERT_TRUE(ReadClipboardEntry(nullptr, read));
    EXPECT_EQ(std::tie(read.kind, read.image.MemoryBytes(), read.imageFileName),
              std::tuple(ENTRY_KIND_IMAGE, dib, std::wstring(L"clipboard.dib")));
    Bytes padded = dib;
    padded.resize(dib.size() + 100, 0xEE);
    ASSERT_TRUE(PutAsOtherProgram({{CF_DIB, padded}}));
    ASSERT_TRUE(ReadClipboardEntry(nullptr, read));
    EXPECT_EQ(read.image.MemoryBytes(), dib);

    const Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 1, 2, 3, 4};
    ASSERT_TRUE(WriteEntryToClipboard(test::ImageEntry(png, L" C:\\pictures\\Shot.PNG "), nullptr));
    ClipboardSession session(nullptr);
    const GlobalLockScope block(GetClipboardData(RegisterClipboardFormatW(L"PNG")));
    ASSERT_TRUE(session.IsOpen() && block.IsValid() && block.Size() >= png.size());
    EXPECT_EQ(std::memcmp(block.Get(), png.data(), png.size()), 0);
}

// Another program holding the clipboard open is waited for briefly, never for good.
TEST_F(WinClipboardTest, ABusyClipboardIsRetriedBrieflyThenGivenUp) {
    ASSERT_TRUE(WriteEntryToClipboard(test::TextEntry(L"held"), nullptr));
    for (const DWORD holdMs : {50u, 3000u}) {
        const UniqueHandle opened(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        std::thread holder([&] {
            const UniqueWindow window(CreateWindowExW(0, L"STATIC", L"holder", 0, 0, 0, 0, 0,
                                                      nullptr, nullptr, nullptr, nullptr));
            const bool open = OpenClipboard(window.Get());
            SetEvent(opened.Get());
            Sleep(holdMs);
            if (open)
                CloseClipboard();
        });
        WaitForSingleObject(opened.Get(), INFINITE);
        ClipboardEntry read;
        // Given up while a long holder still has it.
        EXPECT_EQ(ReadClipboardEntry(nullptr, read) && read.text == L"held", holdMs < 100);
        holder.join();
    }
}

// Copies in other X clients: the whole-program runs.
TEST_F(WinClipboardTest, WatcherCapturesOtherProgramsThroughTheViewerChainAndPromotes) {
    Start(CZovrelClipboardWatcher::Subscription::VIEWER_CHAIN);
    EXPECT_FALSE(watcher->ListenerMode());
    for (const std::wstring text : {L"来自另一个程序 A", L"B", L"来自另一个程序 A"}) {
        ASSERT_TRUE(PutAsOtherProgram({{CF_UNICODETEXT, Utf16(text)}}));
        ASSERT_TRUE(test::PumpMessages(WAIT_MS, [&] { return Top() == text; }));
    }
    EXPECT_EQ(history.GetEntryCount(), 3);
    EXPECT_EQ(history.GetEntryAt(0)->id, 2);  // A, promoted
}

// Changes during a send are the native capture table's.
TEST_F(WinClipboardTest, WatcherSkipsItsOwnWrites) {
    Start();
    BeginOwnClipboardWrite();
    ASSERT_TRUE(WriteEntryToClipboard(test::TextEntry(L"written by zovrel"), watcher->Window()));
    watcher->MarkClipboardAsOwn();
    EndOwnClipboardWrite();
    test::PumpMessages(SETTLE_MS);
    EXPECT_EQ(history.GetEntryCount(), 1);
}

// Which marks make content private, set as another program (a password manager) sets them; that
// the capture then skips it and records it as dealt with is the native table's.
TEST_F(WinClipboardTest, PrivateMarksAreRecognisedUnderTheReadsOwnOpening) {
    const UINT ignore = RegisterClipboardFormatW(VIEWER_IGNORE_FORMAT);
    const UINT exclude = RegisterClipboardFormatW(EXCLUDE_FROM_MONITOR_FORMAT);
    const UINT inHistory = RegisterClipboardFormatW(CAN_INCLUDE_IN_HISTORY_FORMAT);
    const UINT cloud = RegisterClipboardFormatW(CAN_UPLOAD_TO_CLOUD_FORMAT);
    const Bytes no = {0, 0, 0, 0}, yes = {1, 0, 0, 0};
    const struct {
        std::vector<Format> marks;
        bool taken;
    } cases[] = {{{{ignore, {}}}, false},
                 {{{ignore, {}, true}}, false},
                 {{{exclude, {}, true}}, false},
                 {{{exclude, yes}}, false},
                 {{{inHistory, no}}, false},
                 {{{cloud, no}}, false},
                 {{{inHistory, no}, {cloud, no}}, false},
                 {{{inHistory, yes}}, true},
                 {{{cloud, Bytes{0, 0}}}, true}};
    Win32ClipboardSource source;  // what the watcher reads through
    for (int n = 0; const auto& c : cases) {
        std::vector<Format> formats = {{CF_UNICODETEXT, Utf16(L"secret")}};
        formats.insert(formats.end(), c.marks.begin(), c.marks.end());
        ASSERT_TRUE(PutAsOtherProgram(formats));
        ClipboardEntry read;
        EXPECT_EQ(source.Read(read),
                  c.taken ? ClipboardReadResult::CONTENT : ClipboardReadResult::PRIVATE)
            << ++n;
    }
}

}  // namespace
}  // namespace zovrel
