#include "settings/log_file.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"
#include "settings/data_root.h"
#include "settings/settings_test_support.h"

namespace zovrel {
namespace {

using test::ReadFileBytes;

const std::string kMark = "\xEF\xBB\xBF";

LocalTime At(int year, int month, int day, int hour = 12, int minute = 0, int second = 0) {
    return LocalTime{year, month, day, hour, minute, second};
}

std::wstring LogsFile(const test::TempDataRoot& root, const std::wstring& name) {
    return root / L"logs" + kPathSeparator + name;
}

TEST(LogFile, FirstLineOfADayStartsTheFileWithTheMarkLaterOnesAppend) {
    test::TempDataRoot root;
    AppendToLogFileAt(L"", At(2024, 3, 5));  // nothing for an empty text
    EXPECT_FALSE(test::Exists(LogsFile(root, L"zovrel-20240305.log")));

    AppendToLogFileAt(L"串口已关闭", At(2024, 3, 5));
    AppendToLogFileAt(L"14:05:08.123 SYS 开始发送", At(2024, 3, 5));
    EXPECT_EQ(
        ReadFileBytes(LogsFile(root, L"zovrel-20240305.log")),
        kMark + ToUtf8(L"串口已关闭") + "\r\n" + ToUtf8(L"14:05:08.123 SYS 开始发送") + "\r\n");
}

TEST(LogFile, ALineAfterMidnightGoesToTheNextDaysFile) {
    test::TempDataRoot root;
    AppendToLogFileAt(L"late", At(2023, 12, 31, 23, 59, 59));
    AppendToLogFileAt(L"early", At(2024, 1, 1, 0, 0, 0));
    EXPECT_EQ(ReadFileBytes(LogsFile(root, L"zovrel-20231231.log")), kMark + "late\r\n");
    EXPECT_EQ(ReadFileBytes(LogsFile(root, L"zovrel-20240101.log")), kMark + "early\r\n");
    EXPECT_EQ(LogFilePath(At(2024, 1, 1)), LogsFile(root, L"zovrel-20240101.log"));
}

TEST(LogFile, TheDateIsTakenFromTheLocalClockAtEachWrite) {
    test::TempDataRoot root;
    // 26 hours apart: whatever the time now, these two zones are on different dates.
    std::wstring east, west;
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
    AppendToLogFileAt(L"still logged", At(2024, 6, 1));
    EXPECT_EQ(ReadFileBytes(root / L"zovrel-20240601.log"), kMark + "still logged\r\n");
    EXPECT_EQ(ReadFileBytes(root / L"logs"), "in the way");
}

TEST(LogFile, ALineThatCannotBeWrittenIsDroppedQuietly) {
    test::TempDataRoot root;
    test::MakeFolder(LogsFile(root, L"zovrel-20240601.log"));  // a folder in place of the file
    AppendToLogFileAt(L"dropped", At(2024, 6, 1));
    AppendToLogFileAt(L"next day works", At(2024, 6, 2));
    EXPECT_EQ(ReadFileBytes(LogsFile(root, L"zovrel-20240602.log")), kMark + "next day works\r\n");
}

TEST(LogFile, ConcurrentWritersNeverInterleaveOrLoseLines) {
    test::TempDataRoot root;
    constexpr int kThreads = 8;
    constexpr int kLines = 1000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i)
                AppendToLogFileAt(FormatText(L"thread %d line %04d 数据 %ls", t, i,
                                             std::wstring(t * 10, L'x').c_str()),
                                  At(2024, 2, 29));
        });
    }
    for (auto& thread : threads)
        thread.join();

    const std::string bytes = ReadFileBytes(LogsFile(root, L"zovrel-20240229.log"));
    ASSERT_EQ(bytes.rfind(kMark, 0), 0u);
    std::set<std::string> seen;
    size_t start = kMark.size();
    while (start < bytes.size()) {
        const size_t end = bytes.find("\r\n", start);
        ASSERT_NE(end, std::string::npos);
        seen.insert(bytes.substr(start, end - start));
        start = end + 2;
    }
    ASSERT_EQ(seen.size(), static_cast<size_t>(kThreads * kLines));
    for (int t = 0; t < kThreads; ++t)
        for (int i = 0; i < kLines; i += 97)
            EXPECT_TRUE(seen.count(ToUtf8(FormatText(L"thread %d line %04d 数据 %ls", t, i,
                                                     std::wstring(t * 10, L'x').c_str()))));
}

TEST(LogFile, TimestampUsesWallClockSecondsAndTickMilliseconds) {
    EXPECT_EQ(FormatLogTimestamp(At(2024, 1, 1, 14, 5, 8), 987654123u), L"14:05:08.123");
    EXPECT_EQ(FormatLogTimestamp(At(2024, 1, 1, 0, 0, 0), 4294967295u), L"00:00:00.295");
    EXPECT_EQ(FormatLogTimestamp(At(2024, 1, 1, 23, 59, 59), 5u), L"23:59:59.005");
}

}  // namespace
}  // namespace zovrel
