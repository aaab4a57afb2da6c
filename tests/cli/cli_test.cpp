#include <gtest/gtest.h>

#include <thread>

#include "base/local_time.h"
#include "base/text.h"
#include "cli/cli_arguments.h"
#include "cli/cli_format.h"
#include "cli/cli_notifier.h"

namespace zovrel {
namespace {

CliArguments Parse(std::vector<std::wstring> args) {
    CliArguments parsed;
    std::wstring error;
    EXPECT_TRUE(ParseCliArguments(args, parsed, error)) << ToUtf8(error);
    return parsed;
}

TEST(CliArguments, AcceptsEachCommandWithItsOptionsInAnyOrder) {
    CliArguments ports = Parse({L"--data-root", L"/tmp/r", L"ports"});
    EXPECT_EQ(ports.command, CliCommand::kPorts);
    EXPECT_EQ(ports.dataRoot, L"/tmp/r");
    CliArguments listen = Parse({L"--port", L" COM7 ", L"listen", L"--seconds", L"30"});
    EXPECT_EQ(listen.command, CliCommand::kListen);
    EXPECT_EQ(listen.port, L"COM7");
    EXPECT_EQ(listen.seconds, std::optional<uint32_t>(30));
    EXPECT_FALSE(Parse({L"listen", L"--port", L"/dev/pts/3"}).seconds.has_value());
    // The value of --text is taken as it is, even when it looks like an option.
    CliArguments text = Parse({L"--port", L"COM3", L"send", L"--text", L"--port 你好\n"});
    EXPECT_EQ(text.source, SendSource::kText);
    EXPECT_EQ(text.sendValue, L"--port 你好\n");
    EXPECT_EQ(Parse({L"--port", L"C", L"send", L"--file", L"a b"}).source, SendSource::kFile);
    EXPECT_EQ(Parse({L"--port", L"C", L"send", L"--image", L"x"}).source, SendSource::kImage);
    EXPECT_EQ(Parse({L"send", L"--entry", L"0", L"--port", L"C"}).entryIndex, 0);
    EXPECT_EQ(Parse({L"history"}).command, CliCommand::kHistory);
    EXPECT_EQ(Parse({L"send", L"--bogus", L"-h"}).command, CliCommand::kHelp);
}

TEST(CliArguments, RefusesWhatCannotBeMeant) {
    const std::vector<std::vector<std::wstring>> bad = {
        {},
        {L"frobnicate"},
        {L"ports", L"history"},
        {L"ports", L"--port", L"COM3"},
        {L"--port", L"   ", L"listen"},
        {L"--port", L"C", L"listen", L"--seconds"},
        {L"--port", L"C", L"listen", L"--seconds", L"-1"},
        {L"--port", L"C", L"listen", L"--seconds", L"99999999999"},
        {L"--port", L"C", L"listen", L"--text", L"x"},
        {L"--port", L"C", L"--port", L"D", L"listen"},
        {L"send", L"--text", L"x"},
        {L"--port", L"C", L"send"},
        {L"--port", L"C", L"send", L"--text", L"x", L"--file", L"y"},
        {L"--port", L"C", L"send", L"--text", L"x", L"--seconds", L"2"},
        {L"--port", L"C", L"send", L"--file", L""},
        {L"--port", L"C", L"send", L"--entry", L"first"},
        {L"--data-root", L"", L"ports"},
        {L"ports", L"--verbose", L"1"}};
    for (const auto& args : bad) {
        CliArguments parsed;
        std::wstring error, shown;
        for (const auto& a : args)
            shown += a + L" ";
        EXPECT_FALSE(ParseCliArguments(args, parsed, error)) << ToUtf8(shown);
        EXPECT_FALSE(error.empty()) << ToUtf8(shown);
    }
}

TEST(CliFormat, OneLineTextJoinsLinesAndCutsByCharacters) {
    EXPECT_EQ(OneLineText(L"  a\r\n\tb   c \n", 80), L"a b c");
    EXPECT_EQ(OneLineText(L" \r\n ", 80), L"");
    EXPECT_EQ(OneLineText(L"你好世界", 4), L"你好世界");
    EXPECT_EQ(OneLineText(L"你好世界！", 4), L"你好世界…");
    EXPECT_EQ(OneLineText(L"abc def", 4), L"abc…");  // no blank left before the ellipsis
    // A character outside the BMP counts once in both builds and is never split.
    const std::wstring emoji = FromUtf8("\xF0\x9F\x98\x80");
    EXPECT_EQ(OneLineText(emoji + emoji + L"x", 2), emoji + emoji + L"…");
}

TEST(CliFormat, HistoryLineShowsIndexIdKindSizeLocalTimeAndText) {
    auto entry = [](int64_t id, uint32_t kind, int64_t size, int y, int mo, int d, int h, int mi,
                    int s) {
        ClipboardEntry e;
        e.id = id;
        e.kind = kind;
        e.dataSize = size;
        const int64_t unix = DaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
        e.time = static_cast<uint64_t>(unix + 11644473600LL) * 10000000ULL;  // TZ=UTC in tests
        return e;
    };
    ClipboardEntry text = entry(12, ENTRY_KIND_TEXT, 19, 2024, 5, 1, 12, 3, 4);
    text.text = L"第一行\n第二行";
    EXPECT_EQ(FormatHistoryLine(0, text), L"0\t12\ttext\t19\t2024-05-01 12:03:04\t第一行 第二行");
    ClipboardEntry files = entry(3, ENTRY_KIND_FILES, 5, 2023, 12, 31, 23, 59, 59);
    files.files = {L"/a/b.txt", L"/a/c d.bin"};
    EXPECT_EQ(FormatHistoryLine(4, files),
              L"4\t3\tfiles\t5\t2023-12-31 23:59:59\t/a/b.txt; /a/c d.bin");
    ClipboardEntry image = entry(7, 9, 0, 2024, 1, 2, 3, 4, 5);  // a kind number kept from disk
    image.imageFileName = L"shot.png";
    EXPECT_EQ(FormatHistoryLine(1, image), L"1\t7\tkind9\t0\t2024-01-02 03:04:05\tshot.png");
}

TEST(CliNotifier, LogLinesGoOutWholeAndReceivedEntriesWaitForTheMainThread) {
    std::vector<std::wstring> out, err;
    CliNotifier notifier([&](const std::wstring& l) { out.push_back(l); },
                         [&](const std::wstring& l) { err.push_back(l); });
    notifier.PostLogText(L"串口已打开: COM3 @ 2000000 bps");
    notifier.PostSendProgress(42, L"");
    notifier.PostSendProgress(-1, L"");  // nothing to show
    notifier.PostSendProgress(-1, L"100% 失败");
    EXPECT_EQ(out, std::vector<std::wstring>{L"串口已打开: COM3 @ 2000000 bps"});
    EXPECT_EQ(err, (std::vector<std::wstring>{L"42%", L"100% 失败"}));

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

}  // namespace
}  // namespace zovrel
