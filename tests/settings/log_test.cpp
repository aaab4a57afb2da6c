#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <regex>
#include <set>
#include <thread>
#include <vector>

#include "base/text.h"
#include "clipboard/clipboard_entry.h"  // the recording notifier keeps posted entries
#include "settings/log_file.h"
#include "settings/protocol_log.h"
#include "settings/settings_test_support.h"
#include "support/fake_ticks.h"
#include "support/recording_notifier.h"

namespace zovrel {
namespace {

using test::ReadFileBytes;

const std::string kMark = "\xEF\xBB\xBF";

LocalTime Day(int year, int month, int day, int hour = 12, int minute = 0, int second = 0) {
    return LocalTime{year, month, day, hour, minute, second};
}

// The lines of the file after its mark.
std::vector<std::string> Lines(const std::wstring& path) {
    const std::string bytes = ReadFileBytes(path);
    std::vector<std::string> lines;
    size_t start = kMark.size();
    for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(bytes.substr(start, end - start));
    EXPECT_EQ(bytes.rfind(kMark, 0) == 0 ? start : 0, bytes.size()) << "no mark or a cut line";
    return lines;
}

TEST(LogFile, EachDaysFileStartsWithTheMarkAndLaterLinesAppend) {
    test::TempDataRoot root;
    const std::wstring logs = root / L"logs" + kPathSeparator;
    AppendToLogFileAt(L"", Day(2023, 12, 31));  // nothing for an empty text
    EXPECT_FALSE(PathExists(logs + L"zovrel-20231231.log"));
    AppendToLogFileAt(L"串口已关闭", Day(2023, 12, 31));
    AppendToLogFileAt(L"14:05:08.123 SYS 开始", Day(2023, 12, 31, 23, 59, 59));
    AppendToLogFileAt(L"early", Day(2024, 1, 1, 0, 0, 0));
    EXPECT_EQ(ReadFileBytes(logs + L"zovrel-20231231.log"),
              kMark + ToUtf8(L"串口已关闭\r\n14:05:08.123 SYS 开始\r\n"));
    EXPECT_EQ(ReadFileBytes(logs + L"zovrel-20240101.log"), kMark + "early\r\n");

    std::wstring east, west;  // 26 hours apart: always on different dates
    for (auto [tz, line] : {std::pair{"AAA-14", &east}, std::pair{"BBB+12", &west}}) {
        test::ScopedEnv zone("TZ", tz);
        *line = LogFilePath(LocalNow());
        AppendToLogFile(FromUtf8(tz));
    }
    EXPECT_EQ(Lines(east), std::vector<std::string>{"AAA-14"});
    EXPECT_EQ(Lines(west), std::vector<std::string>{"BBB+12"});
}

TEST(LogFile, WritesIntoTheDataRootWhenLogsCannotBeMade) {
    test::TempDataRoot root;
    test::WriteFileBytes(root / L"logs", "in the way");
    AppendToLogFileAt(L"still logged", Day(2024, 6, 1));
    EXPECT_EQ(ReadFileBytes(root / L"zovrel-20240601.log"), kMark + "still logged\r\n");
    EXPECT_EQ(ReadFileBytes(root / L"logs"), "in the way");
}

TEST(LogFile, ConcurrentWritersNeverInterleaveOrLoseLines) {
    test::TempDataRoot root;
    const auto text = [](int t, int i) {
        return FormatText(L"thread %d line %04d 数据 %ls", t, i,
                          std::wstring(t * 10, L'x').c_str());
    };
    std::vector<std::thread> threads;
    std::set<std::string> expected;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 1000; ++i)
                AppendToLogFileAt(text(t, i), Day(2024, 2, 29));
        });
        for (int i = 0; i < 1000; ++i)
            expected.insert(ToUtf8(text(t, i)));
    }
    for (auto& thread : threads)
        thread.join();
    const auto lines = Lines(LogFilePath(Day(2024, 2, 29)));
    EXPECT_EQ(lines.size(), 8000u);
    EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()), expected);
}

TEST(LogFile, TimestampUsesWallClockSecondsAndTickMilliseconds) {
    EXPECT_EQ(FormatLogTimestamp(Day(2024, 1, 1, 14, 5, 8), 987654123u), L"14:05:08.123");
    EXPECT_EQ(FormatLogTimestamp(Day(2024, 1, 1, 0, 0, 0), 4294967005u), L"00:00:00.005");
}

// Today's lines as wide text (tests run with TZ=UTC, far from a date change).
std::vector<std::wstring> TodaysLines() {
    std::vector<std::wstring> lines;
    for (const std::string& line : Lines(LogFilePath(LocalNow())))
        lines.push_back(FromUtf8(line));
    return lines;
}

TEST(ProtocolLog, StampsTheLineWritesItAndPostsTheSameText) {
    test::TempDataRoot root;
    test::FakeTicks ticks(1000123);
    test::RecordingNotifier window;
    ProtocolLog log(&window, ticks);
    log.Log(L"SYS", L"开始发送 文本");
    ticks.Advance(900);
    log.Log(L"TX", L"FIRST_PACKET");
    window.accept = false;  // a failed post still leaves the line in the file
    log.Log(L"RX", L"GENERAL_REPLY");

    const auto lines = TodaysLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(
        std::regex_match(lines[0], std::wregex(LR"(\d\d:\d\d:\d\d\.123 SYS 开始发送 文本)")));
    EXPECT_TRUE(std::regex_match(lines[1], std::wregex(LR"(\d\d:\d\d:\d\d\.023 TX FIRST_PACKET)")));
    EXPECT_EQ(window.logLines, std::vector<std::wstring>(lines.begin(), lines.begin() + 2));
}

TEST(ProtocolLog, GlobalEntryPointsForwardOnlyWhileALogIsAttached) {
    test::TempDataRoot root;
    test::RecordingNotifier window;
    ProtocolLog log(&window);
    LogSys(L"before attach");
    SetActiveProtocolLog(&log);
    LogSys(L"attached");
    LogOnChannel(L"TX", L"START_REQUEST");
    ClearActiveProtocolLog();
    LogSys(L"after detach");
    ASSERT_EQ(window.logLines.size(), 2u);
    EXPECT_NE(window.logLines[0].find(L" SYS attached"), std::wstring::npos);
    EXPECT_NE(window.logLines[1].find(L" TX START_REQUEST"), std::wstring::npos);
    EXPECT_EQ(TodaysLines(), window.logLines);

    // Detaching while others log waits for lines in flight (no freed log is used), unstarved.
    std::atomic<bool> stop{false};
    std::vector<std::thread> loggers;
    for (int t = 0; t < 3; ++t)
        loggers.emplace_back([&] {
            while (!stop)
                LogSys(L"tick");
        });
    for (int round = 0; round < 200; ++round) {
        auto other = std::make_unique<ProtocolLog>(&window);
        SetActiveProtocolLog(other.get());
        std::this_thread::yield();
        ClearActiveProtocolLog();
    }
    stop = true;
    for (auto& thread : loggers)
        thread.join();
    EXPECT_EQ(TodaysLines().size(), window.logLines.size());
}

}  // namespace
}  // namespace zovrel
