#include <gtest/gtest.h>

#include <sstream>

#include "base/local_time.h"
#include "base/text.h"
#include "cli/cli_arguments.h"
#include "cli/cli_format.h"
#include "cli/cli_notifier.h"

namespace zovrel {
namespace {

// "a|b" stands for the arguments a and b.
CliArguments Parse(const std::wstring& joined, std::wstring* error = nullptr) {
    std::vector<std::wstring> args;
    std::wistringstream in(joined);
    for (std::wstring arg; std::getline(in, arg, L'|');)
        args.push_back(arg);
    CliArguments parsed;
    std::wstring reason;
    const bool ok = ParseCliArguments(args, parsed, error ? *error : reason);
    EXPECT_EQ(ok, error == nullptr) << ToUtf8(joined) << ": " << ToUtf8(reason);
    return parsed;
}

TEST(CliArguments, TakeOptionsInAnyOrderAndRefuseWhatCannotBeMeant) {
    const CliArguments listen = Parse(L"--data-root|/tmp/r|--port| COM7 |listen|--seconds|30");
    EXPECT_EQ(listen.command, CliCommand::LISTEN);
    EXPECT_EQ(listen.dataRoot + L"," + listen.port, L"/tmp/r,COM7");
    EXPECT_EQ(listen.seconds, std::optional<uint32_t>(30));
    // The value of --text is taken as it is, even when it looks like an option.
    const CliArguments text = Parse(L"--port|COM3|send|--text|--port 你好\n");
    EXPECT_EQ(text.source, SendSource::TEXT);
    EXPECT_EQ(text.sendValue, L"--port 你好\n");
    EXPECT_EQ(Parse(L"--port|C|send|--file|a b").source, SendSource::FILE);
    EXPECT_EQ(Parse(L"--port|C|send|--file|a|--file|b").files,
              (std::vector<std::wstring>{L"a", L"b"}));
    EXPECT_EQ(Parse(L"--port|C|send|--image|x").source, SendSource::IMAGE);
    EXPECT_EQ(Parse(L"send|--entry|0|--port|C").entryIndex, 0);
    EXPECT_EQ(Parse(L"send|--bogus|-h").command, CliCommand::HELP);
    for (const wchar_t* bad :
         {L"", L"ports|history", L"--port|   |listen", L"--port|C|listen|--seconds",
          L"--port|C|listen|--seconds|-1", L"--port|C|listen|--seconds|99999999999",
          L"--port|C|--port|D|listen", L"send|--text|x", L"--port|C|send|--text|x|--file|y",
          L"send|--file||--port|C", L"--port|C|send|--entry|first", L"ports|--verbose|1"}) {
        std::wstring error;
        Parse(bad, &error);
        EXPECT_FALSE(error.empty()) << ToUtf8(bad);
    }
}

TEST(CliFormat, OneLineTextJoinsLinesAndCutsByCharacters) {
    EXPECT_EQ(OneLineText(L"  a\r\n\tb   c \n", 80), L"a b c");
    EXPECT_EQ(OneLineText(L"你好世界", 4), L"你好世界");
    EXPECT_EQ(OneLineText(L"你好世界！", 4), L"你好世界…");
    EXPECT_EQ(OneLineText(L"abc def", 4), L"abc…");  // no blank left before the ellipsis
    // A character outside the BMP counts once in both builds and is never split.
    const std::wstring emoji = FromUtf8("\xF0\x9F\x98\x80");
    EXPECT_EQ(OneLineText(emoji + emoji + L"x", 2), emoji + emoji + L"…");
}

TEST(CliFormat, HistoryLineShowsIndexIdKindSizeLocalTimeAndText) {
    // Id, kind, text, files, image bytes, image name, size, FILETIME (tests run with TZ=UTC).
    const uint64_t t = (DaysFromCivil(2024, 1, 2) * 86400 + 11045 + 11644473600LL) * 10000000ULL;
    const ClipboardEntry text{12, ENTRY_KIND_TEXT, L"第一行\n第二行", {}, {}, L"", 19, t};
    EXPECT_EQ(FormatHistoryLine(0, text), L"0\t12\ttext\t19\t2024-01-02 03:04:05\t第一行 第二行");
    const ClipboardEntry files{3, ENTRY_KIND_FILES, L" ", {L"/a", L"/b c"}, {}, L"", 5, t};
    EXPECT_EQ(FormatHistoryLine(4, files), L"4\t3\tfiles\t5\t2024-01-02 03:04:05\t/a; /b c");
    const ClipboardEntry other{7, 9, L"", {}, {}, L"a.png", 0, t};  // a kind number kept from disk
    EXPECT_EQ(FormatHistoryLine(1, other), L"1\t7\tkind9\t0\t2024-01-02 03:04:05\ta.png");
}

TEST(CliNotifier, LogLinesGoOutWholeAndReceivedEntriesAreKeptForTheMainThread) {
    std::vector<std::wstring> out, err;
    CliNotifier notifier([&](const std::wstring& l) { out.push_back(l); },
                         [&](const std::wstring& l) { err.push_back(l); });
    notifier.PostLogText(L"串口已打开: COM3 @ 2000000 bps");
    notifier.PostSendProgress(42, L"");
    notifier.PostSendProgress(-1, L"");  // nothing to show
    notifier.PostSendProgress(-1, L"100% 失败");
    EXPECT_EQ(out, std::vector<std::wstring>{L"串口已打开: COM3 @ 2000000 bps"});
    EXPECT_EQ(err, (std::vector<std::wstring>{L"42%", L"100% 失败"}));

    // Taken by the main thread, which the whole-program runs show waking for them.
    for (const wchar_t* text : {L"1", L"2"}) {
        auto entry = std::make_unique<ClipboardEntry>();
        entry->text = text;
        notifier.PostReceivedEntry(std::move(entry));
    }
    const auto taken = notifier.TakeReceivedEntries(0);
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[0].text + taken[1].text, L"12");
    EXPECT_TRUE(notifier.TakeReceivedEntries(0).empty());
}

}  // namespace
}  // namespace zovrel
