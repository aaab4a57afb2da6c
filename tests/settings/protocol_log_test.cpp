#include "settings/protocol_log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <regex>
#include <thread>
#include <vector>

#include "base/text.h"
#include "clipboard/clipboard_entry.h"  // the recording notifier keeps posted entries
#include "settings/log_file.h"
#include "settings/settings_test_support.h"
#include "support/fake_ticks.h"
#include "support/recording_notifier.h"

namespace zovrel {
namespace {

// The lines of today's log file (tests run with TZ=UTC, far from a date change).
std::vector<std::wstring> TodaysLines() {
    const std::string bytes = test::ReadFileBytes(LogFilePath(LocalNow()));
    std::vector<std::wstring> lines;
    for (size_t start = 3, end; (end = bytes.find("\r\n", start)) != std::string::npos;
         start = end + 2)
        lines.push_back(FromUtf8(bytes.substr(start, end - start)));
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
    EXPECT_FALSE(PathExists(LogFilePath(LocalNow())));

    SetActiveProtocolLog(&log);
    LogSys(L"attached");
    LogOnChannel(L"TX", L"START_REQUEST");
    ClearActiveProtocolLog();
    LogSys(L"after detach");

    ASSERT_EQ(window.logLines.size(), 2u);
    EXPECT_NE(window.logLines[0].find(L" SYS attached"), std::wstring::npos);
    EXPECT_NE(window.logLines[1].find(L" TX START_REQUEST"), std::wstring::npos);
    EXPECT_EQ(TodaysLines(), window.logLines);
}

TEST(ProtocolLog, DetachingWhileOtherThreadsLogNeverUsesAFreedLog) {
    test::TempDataRoot root;
    test::RecordingNotifier window;
    std::atomic<bool> stop{false};
    std::vector<std::thread> loggers;
    for (int t = 0; t < 3; ++t)
        loggers.emplace_back([&] {
            while (!stop)
                LogSys(L"tick");
        });
    for (int round = 0; round < 200; ++round) {
        auto log = std::make_unique<ProtocolLog>(&window);
        SetActiveProtocolLog(log.get());
        std::this_thread::yield();
        ClearActiveProtocolLog();  // must wait for lines in flight; must not starve either
        log.reset();
    }
    stop = true;
    for (auto& thread : loggers)
        thread.join();
    EXPECT_EQ(TodaysLines().size(), window.logLines.size());
}

}  // namespace
}  // namespace zovrel
