#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <regex>
#include <thread>
#include <vector>

#include "base/paths.h"
#include "base/text.h"
#include "clipboard/clipboard_entry.h"  // the recording notifier keeps posted entries
#include "settings/autostart.h"
#include "settings/data_root.h"
#include "settings/log_file.h"
#include "settings/profile.h"
#include "settings/protocol_log.h"
#include "settings/settings_file.h"
#include "support/recording_notifier.h"
#include "support/test_support.h"

#ifdef _WIN32
#include <windows.h>
#undef WriteProfileString  // the profile layer has its own
#endif

namespace zovrel {
namespace {

using test::ReadFileBytes;
using test::TempFolder;
using test::WriteFileBytes;

// A temporary folder that is the process's data root while it lives.
struct TempDataRoot : TempFolder {
    TempDataRoot() { SetDataRootForProcess(Text()); }
    ~TempDataRoot() { SetDataRootForProcess(L""); }
};

// Sets an environment variable ("" removes it) and restores it afterwards.
struct ScopedEnv {
    ScopedEnv(const char* name, const std::string& value)
        : name(name), previous(std::getenv(name) ? std::getenv(name) : "") {
        Set(value);
    }
    ~ScopedEnv() { Set(previous); }
    void Set(const std::string& value) {
#ifdef _WIN32
        _putenv_s(name.c_str(), value.c_str());
#else
        value.empty() ? unsetenv(name.c_str()) : setenv(name.c_str(), value.c_str(), 1);
#endif
        tzset();
    }
    const std::string name, previous;
};

TEST(ProfileDocument, ReadsFilesEditedByHandInEveryEncodingAndLineEnd) {
    const std::string lf =
        "; by hand\n  [ settings ]  \n  uartcomport  =   串口一  \nQ = \" x \"\n";
    const std::string crlf = std::regex_replace(lf, std::regex("\n"), "\r\n"),
                      cr = std::regex_replace(lf, std::regex("\n"), "\r");
    std::string utf16 = "\xFF\xFE";
    for (char16_t c : std::u16string(u"[Settings]\r\nUartComPort = 串口一\r\nq=\" x \""))
        utf16 += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    for (const auto& bytes : {lf, "\xEF\xBB\xBF" + crlf, cr, utf16}) {
        const auto doc = ProfileDocument::Parse(bytes);
        EXPECT_EQ(doc.Get(L"Settings", L"UartComPort"), L"串口一") << bytes;
        EXPECT_EQ(doc.Get(L"SETTINGS", L"q"), L" x ") << bytes;
        EXPECT_EQ(doc.Get(L"Other", L"UartComPort"), std::nullopt);
    }
}

TEST(ProfileDocument, EditsKeepUnknownLinesAndStoredLineBreaksForgeNothing) {
    auto doc = ProfileDocument::Parse(
        "; top\n[Meta]\ncount = 3\nnot a key line\n\n[Other]\nKeep=yes\n[meta]\nCount=4\n");
    EXPECT_TRUE(doc.Remove(L"Meta", L"COUNT"));  // every duplicate goes, or a stale one shows
    EXPECT_EQ(doc.Get(L"Meta", L"Count"), std::nullopt);
    doc.Set(L"Meta", L"NextId", L"7");
    doc.Set(L"Other", L"keep", L"no");
    doc.Set(L"Entry", L"Name", L"a.png\r\n[Meta]\r\nCount=99\nKind=2");
    EXPECT_EQ(
        doc.ToBytes(),
        "; top\r\n[Meta]\r\nnot a key line\r\nNextId=7\r\n\r\n[Other]\r\nKeep=no\r\n[meta]\r\n"
        "[Entry]\r\nName=a.png  [Meta]  Count=99 Kind=2\r\n");
}

TEST(ProfileFile, UnicodeRoundTripsAndAnUnreadableFileIsNeverReplaced) {
    TempFolder folder;
    const std::wstring path = folder.File(L"1.meta"), name = L"剪贴板图片\U0001F600.png";
    ASSERT_TRUE(WriteProfileString(path, L"Entry", L"ImageFileName", name));
    EXPECT_EQ(ReadProfileString(path, L"Entry", L"ImageFileName", L""), name);

    const std::string big = "[S]\r\nK=v\r\n" + std::string(MAX_PROFILE_FILE_BYTES, ';');
    WriteFileBytes(path, big);
    EXPECT_EQ(ReadProfileString(path, L"S", L"K", L"default"), L"default");
    EXPECT_FALSE(WriteProfileString(path, L"S", L"K", L"new"));
    EXPECT_EQ(ReadFileBytes(path).size(), big.size());
}

TEST(ProfileFile, AtomicWritesReplaceWhatTheyCanAndLeaveNoTemporaryFile) {
    TempFolder folder;
    const std::wstring a = folder.File(L"a.ini"), missing = folder.File(L"missing/x");
    WriteFileBytes(a, "old version, longer");
    std::vector<FileWrite> batch{
        {a, "new a", 5}, {missing, "new b", 5}, {folder.File(L"b.ini"), "new b", 5}};
    EXPECT_FALSE(WriteFilesAtomically(batch));
    EXPECT_TRUE(batch[0].written && !batch[1].written && batch[2].written);
    EXPECT_EQ(ReadFileBytes(a) + ReadFileBytes(batch[2].path), "new anew b");
    const auto files = std::filesystem::directory_iterator(folder.Path());
    EXPECT_EQ(std::distance(begin(files), end(files)), 2);
}

TEST(ProfileFile, ConcurrentWritersOfOneFileLoseNoKey) {
    TempFolder folder;
    const std::wstring path = folder.File(L"index.ini");
    std::vector<std::jthread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 25; ++i)
                WriteProfileString(path, L"Meta", L"K" + std::to_wstring(t * 25 + i), L"v");
        });
    threads.clear();  // joins
    for (int k = 0; k < 100; ++k)
        EXPECT_EQ(ReadProfileString(path, L"Meta", L"K" + std::to_wstring(k), L""), L"v") << k;
}

TEST(DataRoot, PortableMarkerElseThePerUserFolderCreated) {
    TempFolder portable, exeFolder;
    WriteFileBytes(portable.File(L"portable"), "");
    EXPECT_EQ(ResolveDataRoot(portable.Text()), portable.Text());
#ifdef _WIN32
    const std::wstring root = ResolveDataRoot(exeFolder.Text());
    EXPECT_EQ(root.substr(root.size() - 7), L"\\zovrel");
    EXPECT_TRUE(PathExists(root));
#else
    TempFolder home;
    ScopedEnv noXdg("XDG_DATA_HOME", ""), homeEnv("HOME", ToUtf8(home.Text()));
    EXPECT_EQ(ResolveDataRoot(exeFolder.Text()), home.Text() + L"/.local/share/zovrel");
    EXPECT_TRUE(PathExists(home.Text() + L"/.local/share/zovrel"));
    ScopedEnv xdg("XDG_DATA_HOME", ToUtf8(home.Text()));
    EXPECT_EQ(ResolveDataRoot(exeFolder.Text()), home.File(L"zovrel"));
#endif
}

TEST(SettingsFile, DefaultsWithoutAFileTheWrittenFormatAndHandEdits) {
    TempDataRoot root;
    EXPECT_FALSE(ReadUartDebugLog() || ReadAutostart());
    EXPECT_FALSE(PathExists(GetSettingsFilePath()));  // reading creates nothing
    ASSERT_TRUE(WriteUartComPort(L"  COM3 ") && WriteUartDebugLog(true) && WriteAutostart(false));
    EXPECT_EQ(ReadFileBytes(GetSettingsFilePath()),
              "[Settings]\r\nUartComPort=COM3\r\nUartDebugLog=1\r\nAutostart=0\r\n");
    WriteFileBytes(GetSettingsFilePath(),
                   "[settings]\r\n uartcomport =   COM7   \r\nUartDebugLog=2\r\nAutostart=yes\r\n");
    EXPECT_EQ(ReadUartComPort(), L"COM7");
    EXPECT_TRUE(ReadUartDebugLog());  // any non-zero number is on
    EXPECT_FALSE(ReadAutostart());    // not a number: 0
    // The cut counts UTF-16 units in both builds; half a surrogate pair is not kept.
    ASSERT_TRUE(WriteUartComPort(std::wstring(510, L'P') + L"\U0001F600"));
    EXPECT_EQ(ReadUartComPort(), std::wstring(510, L'P'));
}

TEST(SettingsFile, UnusableFilesReadAsDefaultsAndFailWrites) {
    TempDataRoot root;
    EnsureFolderExists(GetSettingsFilePath());  // a folder where the file should be
    EXPECT_FALSE(ReadAutostart());
    EXPECT_FALSE(WriteUartComPort(L"COM3"));

    WriteFileBytes(root.File(L"blocker"), "");  // a root below a file cannot exist
    SetDataRootForProcess(root.File(L"blocker") + PATH_SEPARATOR + L"root");
    EXPECT_FALSE(WriteUartDebugLog(true) || ReadUartDebugLog());
}

#ifdef _WIN32

// The registered command line; nullopt when there is none.
std::optional<std::wstring> Registered() {
    wchar_t text[1024] = {};
    DWORD type = 0, bytes = sizeof(text);
    if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                     L"zovrel", RRF_RT_ANY, &type, text, &bytes) != ERROR_SUCCESS)
        return std::nullopt;
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(bytes, (wcslen(text) + 1) * sizeof(wchar_t));  // the terminator is counted
    return text;
}

#else

std::optional<std::wstring> Registered() {
    const std::string entry =
        ReadFileBytes(FromUtf8(std::getenv("HOME")) + L"/.config/autostart/zovrel.desktop");
    const size_t at = entry.find("\nExec=");
    if (at == std::string::npos)
        return std::nullopt;
    return FromUtf8(entry.substr(at + 6, entry.find('\n', at + 1) - at - 6));
}

#endif

TEST(Autostart, RegistersTheQuotedPathAndDisablingTwiceSucceeds) {
#ifndef _WIN32
    TempFolder home;
    ScopedEnv noXdg("XDG_CONFIG_HOME", ""), homeEnv("HOME", ToUtf8(home.Text()));
    // The launcher's escapes; a line break would end the Exec line and pose as further keys.
    ASSERT_TRUE(SetAutostartFor(true, L"/home/a$b/100%/x\"y\\z"));
    const std::wstring escaped = L"\"/home/a\\\\$b/100%%/x\\\\\"y\\\\\\\\z\"";
    EXPECT_EQ(Registered(), escaped);
    EXPECT_FALSE(SetAutostartFor(true, L"/tmp/x\nHidden=true"));
    EXPECT_EQ(Registered(), escaped);
#endif
    const std::wstring spaced = PATH_SEPARATOR + std::wstring(L"my apps") + PATH_SEPARATOR + L"z";
    ASSERT_TRUE(SetAutostartFor(true, spaced));
    EXPECT_EQ(Registered(), L"\"" + spaced + L"\"");
    ASSERT_TRUE(SetAutostart(true));
    EXPECT_EQ(Registered(), QuoteIfContainsSpace(GetExecutablePath()));
    EXPECT_TRUE(SetAutostart(false));
    EXPECT_EQ(Registered(), std::nullopt);
    EXPECT_TRUE(SetAutostart(false));
}

const std::string UTF8_MARK = "\xEF\xBB\xBF";

// The lines of a log file after its mark, as wide text.
std::vector<std::wstring> Lines(const std::wstring& path) {
    const std::string bytes = ReadFileBytes(path);
    std::vector<std::wstring> lines;
    size_t start = UTF8_MARK.size();
    for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(FromUtf8(bytes.substr(start, end - start)));
    EXPECT_EQ(bytes.rfind(UTF8_MARK, 0) == 0 ? start : 0, bytes.size()) << "no mark or a cut line";
    return lines;
}

TEST(LogFile, EachDaysFileStartsWithTheMarkAndLaterLinesAppend) {
    TempDataRoot root;
    const std::wstring logs = root.File(L"logs") + PATH_SEPARATOR;
    AppendToLogFileAt(L"", {2023, 12, 31});  // nothing for an empty text
    EXPECT_FALSE(PathExists(logs + L"zovrel-20231231.log"));
    AppendToLogFileAt(L"串口已关闭", {2023, 12, 31, 12});
    AppendToLogFileAt(L"14:05:08.123 SYS 开始", {2023, 12, 31, 23, 59, 59});
    AppendToLogFileAt(L"early", {2024, 1, 1, 0, 0, 0});
    EXPECT_EQ(ReadFileBytes(logs + L"zovrel-20231231.log"),
              UTF8_MARK + ToUtf8(L"串口已关闭\r\n14:05:08.123 SYS 开始\r\n"));
    EXPECT_EQ(ReadFileBytes(logs + L"zovrel-20240101.log"), UTF8_MARK + "early\r\n");
    EXPECT_EQ(FormatLogTimestamp({2024, 1, 1, 4, 5, 8, 7}), L"04:05:08.007");

    std::wstring east, west;  // 26 hours apart: always on different dates
    for (auto [tz, path] : {std::pair{"AAA-14", &east}, std::pair{"BBB+12", &west}}) {
        ScopedEnv zone("TZ", tz);
        *path = LogFilePath(LocalNow());
        AppendToLogFile(FromUtf8(tz));
    }
    EXPECT_EQ(Lines(east), std::vector<std::wstring>{L"AAA-14"});
    EXPECT_EQ(Lines(west), std::vector<std::wstring>{L"BBB+12"});
}

TEST(LogFile, WritesIntoTheDataRootWhenLogsCannotBeMade) {
    TempDataRoot root;
    WriteFileBytes(root.File(L"logs"), "in the way");
    AppendToLogFileAt(L"still logged", {2024, 6, 1});
    EXPECT_EQ(ReadFileBytes(root.File(L"zovrel-20240601.log")), UTF8_MARK + "still logged\r\n");
    EXPECT_EQ(ReadFileBytes(root.File(L"logs")), "in the way");
}

TEST(LogFile, ConcurrentWritersNeverInterleaveOrLoseLines) {
    TempDataRoot root;
    const auto text = [](int t, int i) {
        return FormatText(L"%d %04d 数据 %ls", t, i, std::wstring(t * 10, L'x').c_str());
    };
    std::vector<std::jthread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 1000; ++i)
                AppendToLogFileAt(text(t, i), {2024, 2, 29});
        });
    threads.clear();  // joins
    const auto lines = Lines(LogFilePath({2024, 2, 29}));
    ASSERT_EQ(lines.size(), 8000u);
    for (const auto& line : lines) {  // whole lines only: a torn or mixed one matches no text
        const int t = line[0] - L'0';
        EXPECT_TRUE(t >= 0 && t < 8 && line == text(t, std::stoi(line.substr(2, 4))))
            << ToUtf8(line.substr(0, 20));
    }
}

// Today's file: tests run with TZ=UTC, far from a date change.
TEST(ProtocolLog, WritesAndPostsLinesOnlyWhileAttached) {
    TempDataRoot root;
    test::RecordingNotifier window;
    ProtocolLog log(&window);
    LogSys(L"before attach");
    SetActiveProtocolLog(&log);
    LogSys(L"开始发送 文本");
    window.accept = false;  // a failed post still leaves the line in the file
    log.Log(L"RX", L"GENERAL_REPLY");
    ClearActiveProtocolLog();
    LogSys(L"after detach");

    const auto lines = Lines(LogFilePath(LocalNow()));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(
        std::regex_match(lines[0], std::wregex(LR"(\d\d:\d\d:\d\d\.\d\d\d SYS 开始发送 文本)")));
    EXPECT_EQ(window.logLines, std::vector<std::wstring>(lines.begin(), lines.begin() + 1));
}

// The stamp's seconds and milliseconds come from the same clock reading as its hours and
// minutes: a line logged between two readings of the clock shows a time between them. (A stamp
// with the tick count's milliseconds lands anywhere in its second and can run backwards.)
TEST(ProtocolLog, StampIsOneReadingOfTheWallClock) {
    TempDataRoot root;
    test::RecordingNotifier window;
    ProtocolLog log(&window);
    // Milliseconds into the minute: a local time differs from UTC by whole minutes.
    const auto millisecondOfMinute = [] {
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        return std::chrono::floor<std::chrono::milliseconds>(now).count() % 60000;
    };
    int checked = 0;
    for (int attempt = 0; attempt < 20 && checked < 5; ++attempt) {
        const int64_t before = millisecondOfMinute();
        log.Log(L"SYS", L"now");
        const int64_t after = millisecondOfMinute();
        if (after < before)
            continue;  // a new minute began in between
        const std::wstring& line = window.logLines.back();
        ASSERT_GE(line.size(), 12u);
        const int64_t stamped = std::stoi(line.substr(6, 2)) * 1000 + std::stoi(line.substr(9, 3));
        EXPECT_LE(before, stamped) << ToUtf8(line);
        EXPECT_LE(stamped, after) << ToUtf8(line);
        ++checked;
    }
    EXPECT_EQ(checked, 5);
}

TEST(ProtocolLog, DetachingWaitsForLinesInFlightAndStarvesNoOne) {
    TempDataRoot root;
    test::RecordingNotifier window;
    std::atomic<bool> stop{false};
    std::vector<std::jthread> loggers;
    for (int t = 0; t < 3; ++t)
        loggers.emplace_back([&] {
            while (!stop)
                LogSys(L"tick");
        });
    for (int round = 0; round < 200; ++round) {  // a freed log used here would crash
        auto other = std::make_unique<ProtocolLog>(&window);
        SetActiveProtocolLog(other.get());
        std::this_thread::yield();
        ClearActiveProtocolLog();
    }
    stop = true;
    loggers.clear();  // joins
    EXPECT_EQ(Lines(LogFilePath(LocalNow())).size(), window.logLines.size());
}

}  // namespace
}  // namespace zovrel
