#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "base/local_time.h"
#include "base/text.h"
#include "cli/cli_format.h"
#include "cli/cli_notifier.h"
#include "cli/cli_send_entry.h"

namespace zovrel {
namespace {

uint64_t FileTimeOfUtc(int y, int mo, int d, int h, int mi, int s) {
    const int64_t unix = DaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
    return static_cast<uint64_t>(unix + 11644473600LL) * 10000000ULL;
}

TEST(CliFormat, OneLineTextJoinsLinesAndCutsByCharacters) {
    EXPECT_EQ(OneLineText(L"  a\r\n\tb   c \n", 80), L"a b c");
    EXPECT_EQ(OneLineText(L"", 80), L"");
    EXPECT_EQ(OneLineText(L" \r\n ", 80), L"");
    EXPECT_EQ(OneLineText(L"你好世界", 4), L"你好世界");
    EXPECT_EQ(OneLineText(L"你好世界！", 4), L"你好世界…");
    // A blank at the cut is not left before the ellipsis.
    EXPECT_EQ(OneLineText(L"abc def", 4), L"abc…");
    // A character outside the BMP counts once in both builds and is never split.
    const std::wstring emoji = FromUtf8("\xF0\x9F\x98\x80");
    EXPECT_EQ(OneLineText(emoji + emoji + L"x", 2), emoji + emoji + L"…");
}

TEST(CliFormat, HistoryLineShowsIndexIdKindSizeLocalTimeAndText) {
    ClipboardEntry text;
    text.id = 12;
    text.kind = ENTRY_KIND_TEXT;
    text.text = L"第一行\n第二行";
    text.dataSize = 19;
    text.time = FileTimeOfUtc(2024, 5, 1, 12, 3, 4);  // tests run with TZ=UTC
    EXPECT_EQ(FormatHistoryLine(0, text), L"0\t12\ttext\t19\t2024-05-01 12:03:04\t第一行 第二行");

    ClipboardEntry files;
    files.id = 3;
    files.kind = ENTRY_KIND_FILES;
    files.files = {L"/a/b.txt", L"/a/c d.bin"};
    files.dataSize = 5;
    files.time = FileTimeOfUtc(2023, 12, 31, 23, 59, 59);
    EXPECT_EQ(FormatHistoryLine(4, files),
              L"4\t3\tfiles\t5\t2023-12-31 23:59:59\t/a/b.txt; /a/c d.bin");

    ClipboardEntry image;
    image.id = 7;
    image.kind = 9;  // a number kept from disk
    image.imageFileName = L"shot.png";
    image.time = FileTimeOfUtc(2024, 1, 2, 3, 4, 5);
    EXPECT_EQ(FormatHistoryLine(1, image), L"1\t7\tkind9\t0\t2024-01-02 03:04:05\tshot.png");
}

TEST(CliNotifier, LogLinesGoOutWholeAndReceivedEntriesWaitForTheMainThread) {
    std::vector<std::wstring> out, err;
    CliNotifier notifier([&](const std::wstring& l) { out.push_back(l); },
                         [&](const std::wstring& l) { err.push_back(l); });
    EXPECT_TRUE(notifier.PostLogText(L"串口已打开: COM3 @ 2000000 bps"));
    EXPECT_TRUE(notifier.PostSendProgress(42, L""));
    EXPECT_TRUE(notifier.PostSendProgress(-1, L""));  // nothing to show
    EXPECT_TRUE(notifier.PostSendProgress(-1, L"100% 失败"));
    EXPECT_EQ(out, std::vector<std::wstring>{L"串口已打开: COM3 @ 2000000 bps"});
    EXPECT_EQ(err, (std::vector<std::wstring>{L"42%", L"100% 失败"}));

    EXPECT_TRUE(notifier.TakeReceivedEntries(0).empty());
    std::thread reader([&] {
        for (int i = 1; i <= 3; ++i) {
            auto entry = std::make_unique<ClipboardEntry>();
            entry->text = FormatText(L"entry %d", i);
            notifier.PostReceivedEntry(std::move(entry));
        }
    });
    std::vector<ClipboardEntry> taken;
    while (taken.size() < 3) {
        auto more = notifier.TakeReceivedEntries(1000);
        ASSERT_FALSE(more.empty());
        taken.insert(taken.end(), more.begin(), more.end());
    }
    reader.join();
    EXPECT_EQ(taken[0].text, L"entry 1");
    EXPECT_EQ(taken[2].text, L"entry 3");
    EXPECT_TRUE(notifier.TakeReceivedEntries(0).empty());
}

class CliSendEntry : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("zovrel-cli-test-" +
                  std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
        std::filesystem::create_directories(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::wstring PathOf(const std::string& name) { return FromUtf8((folder / name).string()); }
    std::filesystem::path folder;
};

TEST_F(CliSendEntry, ImageCarriesTheFileBytesAndName) {
    const std::string bytes("\x89PNG\r\n\x1a\n\0\x01", 10);
    std::ofstream((folder / "shot.png").string(), std::ios::binary) << bytes;
    CliArguments args;
    args.source = SendSource::kImage;
    args.sendValue = PathOf("shot.png");
    ClipboardEntry entry;
    std::wstring error;
    ASSERT_TRUE(BuildSendEntry(args, entry, error));
    EXPECT_EQ(entry.kind, ENTRY_KIND_IMAGE);
    EXPECT_EQ(std::string(entry.imageBytes.begin(), entry.imageBytes.end()), bytes);
    EXPECT_EQ(entry.imageFileName, L"shot.png");
    EXPECT_EQ(entry.dataSize, 10);
    EXPECT_NE(entry.time, 0u);

    args.sendValue = PathOf("missing.png");
    EXPECT_FALSE(BuildSendEntry(args, entry, error));
    EXPECT_EQ(error.rfind(L"文件不存在: ", 0), 0u);
}

TEST_F(CliSendEntry, TextAndFileBecomeTheEntriesTheClipboardWouldGive) {
    CliArguments args;
    args.source = SendSource::kText;
    args.sendValue = L"你好";
    ClipboardEntry entry;
    std::wstring error;
    ASSERT_TRUE(BuildSendEntry(args, entry, error));
    EXPECT_EQ(entry.kind, ENTRY_KIND_TEXT);
    EXPECT_EQ(entry.dataSize, 6);  // UTF-8 bytes

    args.source = SendSource::kFile;
    args.sendValue = PathOf("a.bin");
    ASSERT_TRUE(BuildSendEntry(args, entry, error));
    EXPECT_EQ(entry.kind, ENTRY_KIND_FILES);
    EXPECT_EQ(entry.files, std::vector<std::wstring>{PathOf("a.bin")});
}

}  // namespace
}  // namespace zovrel
