#include "settings/log_file.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "base/text.h"
#include "settings/settings_test_support.h"

namespace zovrel {
namespace {

using test::ReadFileBytes;

const std::string kMark = "\xEF\xBB\xBF";

LocalTime Day(int year, int month, int day, int hour = 12, int minute = 0, int second = 0) {
    return LocalTime{year, month, day, hour, minute, second};
}

std::wstring InLogs(const test::TempDataRoot& root, const std::wstring& name) {
    return root / L"logs" + kPathSeparator + name;
}

TEST(LogFile, FirstLineOfADayStartsTheFileWithTheMarkLaterOnesAppend) {
    test::TempDataRoot root;
    AppendToLogFileAt(L"", Day(2024, 3, 5));  // nothing for an empty text
    EXPECT_FALSE(PathExists(InLogs(root, L"zovrel-20240305.log")));
    AppendToLogFileAt(L"串口已关闭", Day(2024, 3, 5));
    AppendToLogFileAt(L"14:05:08.123 SYS 开始", Day(2024, 3, 5));
    EXPECT_EQ(ReadFileBytes(InLogs(root, L"zovrel-20240305.log")),
              kMark + ToUtf8(L"串口已关闭\r\n14:05:08.123 SYS 开始\r\n"));
}

TEST(LogFile, ALineAfterMidnightGoesToTheNextDaysFile) {
    test::TempDataRoot root;
    AppendToLogFileAt(L"late", Day(2023, 12, 31, 23, 59, 59));
    AppendToLogFileAt(L"early", Day(2024, 1, 1, 0, 0, 0));
    EXPECT_EQ(ReadFileBytes(InLogs(root, L"zovrel-20231231.log")), kMark + "late\r\n");
    EXPECT_EQ(ReadFileBytes(InLogs(root, L"zovrel-20240101.log")), kMark + "early\r\n");
}

TEST(LogFile, TheDateIsTakenFromTheLocalClockAtEachWrite) {
    test::TempDataRoot root;
    std::wstring east, west;  // 26 hours apart: always on different dates
    {
        test::ScopedEnv tz("TZ", "AAA-14");
        east = LogFilePath(LocalNow());
        AppendToLogFile(L"east");
    }
    {
        test::ScopedEnv tz("TZ", "BBB+12");
        west = LogFilePath(LocalNow());
        AppendToLogFile(L"west");
    }
    ASSERT_NE(east, west);
    EXPECT_EQ(ReadFileBytes(east), kMark + "east\r\n");
    EXPECT_EQ(ReadFileBytes(west), kMark + "west\r\n");
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
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 1000; ++i)
                AppendToLogFileAt(text(t, i), Day(2024, 2, 29));
        });
    for (auto& thread : threads)
        thread.join();

    const std::string bytes = ReadFileBytes(InLogs(root, L"zovrel-20240229.log"));
    ASSERT_EQ(bytes.rfind(kMark, 0), 0u);
    std::set<std::string> expected, seen;
    for (int t = 0; t < 8; ++t)
        for (int i = 0; i < 1000; ++i)
            expected.insert(ToUtf8(text(t, i)));
    size_t start = kMark.size(), lines = 0;
    for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos;
         start = end + 2, ++lines)
        seen.insert(bytes.substr(start, end - start));
    EXPECT_EQ(start, bytes.size());
    EXPECT_EQ(lines, 8000u);
    EXPECT_EQ(seen, expected);
}

TEST(LogFile, TimestampUsesWallClockSecondsAndTickMilliseconds) {
    EXPECT_EQ(FormatLogTimestamp(Day(2024, 1, 1, 14, 5, 8), 987654123u), L"14:05:08.123");
    EXPECT_EQ(FormatLogTimestamp(Day(2024, 1, 1, 0, 0, 0), 4294967005u), L"00:00:00.005");
}

}  // namespace
}  // namespace zovrel
