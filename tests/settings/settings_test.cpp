#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "base/text.h"
#include "settings/autostart.h"
#include "settings/data_root.h"
#include "settings/profile.h"
#include "settings/settings_file.h"
#include "settings/settings_test_support.h"

#ifdef _WIN32
#include <windows.h>
#undef WriteProfileString  // the profile layer has its own
#endif

namespace zovrel {
namespace {

using test::TempFolder;

TEST(ProfileDocument, ReadsFilesEditedByHandInEveryEncodingAndLineEnd) {
    const std::string lf =
        "; by hand\n  [ settings ]  \n  uartcomport  =   串口一  \nQ = \" x \"\n";
    std::string crlf, cr;
    for (char c : lf) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        cr += c == '\n' ? '\r' : c;
    }
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
    const std::wstring path = folder / L"1.meta", name = L"剪贴板图片\U0001F600.png";
    ASSERT_TRUE(WriteProfileString(path, L"Entry", L"ImageFileName", name));
    ASSERT_TRUE(WriteProfileString(path, L"Entry", L"Kind", L"1"));
    EXPECT_EQ(ReadProfileString(path, L"Entry", L"ImageFileName", L""), name);
    EXPECT_TRUE(DeleteProfileKey(path, L"Entry", L"Kind"));
    EXPECT_EQ(ReadProfileInt(path, L"Entry", L"Kind", -1), -1);

    const std::string big = "[S]\r\nK=v\r\n" + std::string(kMaxProfileFileBytes, ';');
    test::WriteFileBytes(path, big);
    EXPECT_EQ(ReadProfileString(path, L"S", L"K", L"default"), L"default");
    EXPECT_FALSE(WriteProfileString(path, L"S", L"K", L"new"));
    EXPECT_EQ(test::ReadFileBytes(path).size(), big.size());
}

TEST(ProfileFile, AtomicWritesReplaceWhatTheyCanAndLeaveNoTemporaryFile) {
    TempFolder folder;
    const std::wstring a = folder / L"a.ini", missing = folder / L"missing/x";
    test::WriteFileBytes(a, "old version, longer");
    const std::string newA = "new a", newB = "new b";
    std::vector<FileWrite> batch{{a, newA.data(), newA.size()},
                                 {missing, newB.data(), newB.size()},
                                 {folder / L"b.ini", newB.data(), newB.size()}};
    EXPECT_FALSE(WriteFilesAtomically(batch));
    EXPECT_TRUE(batch[0].written && !batch[1].written && batch[2].written);
    EXPECT_EQ(test::ReadFileBytes(a) + test::ReadFileBytes(batch[2].path), "new anew b");
    const auto files = std::filesystem::directory_iterator(PathFromText(folder.path()));
    EXPECT_EQ(std::distance(begin(files), end(files)), 2);
}

TEST(ProfileFile, ConcurrentWritersOfOneFileLoseNoKey) {
    TempFolder folder;
    const std::wstring path = folder / L"index.ini";
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 25; ++i)
                WriteProfileString(path, L"Meta", L"K" + std::to_wstring(t * 100 + i), L"v");
        });
    for (auto& thread : threads)
        thread.join();
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 25; ++i)
            EXPECT_EQ(ReadProfileString(path, L"Meta", L"K" + std::to_wstring(t * 100 + i), L""),
                      L"v");
}

TEST(DataRoot, PortableMarkerFileOrFolderElseThePerUserFolderCreated) {
    TempFolder withFile, withFolder, exeFolder;
    test::WriteFileBytes(withFile / L"portable", "");
    EnsureFolderExists(withFolder / L"portable");
    EXPECT_EQ(ResolveDataRoot(withFile.path()), withFile.path());
    EXPECT_EQ(ResolveDataRoot(withFolder.path()), withFolder.path());
#ifdef _WIN32
    const std::wstring root = ResolveDataRoot(exeFolder.path());
    EXPECT_EQ(root.substr(root.size() - 7), L"\\zovrel");
    EXPECT_TRUE(PathExists(root));
#else
    TempFolder home;
    test::ScopedEnv noXdg("XDG_DATA_HOME", std::nullopt);
    test::ScopedEnv homeEnv("HOME", ToUtf8(home.path()));
    EXPECT_EQ(ResolveDataRoot(exeFolder.path()), home.path() + L"/.local/share/zovrel");
    EXPECT_TRUE(PathExists(home.path() + L"/.local/share/zovrel"));
    test::ScopedEnv xdg("XDG_DATA_HOME", ToUtf8(home.path()));
    EXPECT_EQ(ResolveDataRoot(exeFolder.path()), home / L"zovrel");
#endif
}

class SettingsFile : public ::testing::Test {
  protected:
    void WriteIni(const std::string& bytes) { test::WriteFileBytes(GetSettingsFilePath(), bytes); }
    test::TempDataRoot root_;
};

TEST_F(SettingsFile, DefaultsWithoutAFileThenWritesTheProfileFormat) {
    EXPECT_EQ(ReadUartComPort(), L"");
    EXPECT_FALSE(ReadUartDebugLog() || ReadAutostart());
    EXPECT_FALSE(PathExists(GetSettingsFilePath()));  // reading creates nothing
    ASSERT_TRUE(WriteUartComPort(L"  COM3 ") && WriteUartDebugLog(true) && WriteAutostart(false));
    EXPECT_EQ(test::ReadFileBytes(GetSettingsFilePath()),
              "[Settings]\r\nUartComPort=COM3\r\nUartDebugLog=1\r\nAutostart=0\r\n");
    ASSERT_TRUE(WriteUartComPort(L"串口 USB"));
    EXPECT_EQ(ReadUartComPort(), L"串口 USB");
}

TEST_F(SettingsFile, ReadsHandEditedValuesAnewOnEveryCall) {
    WriteIni("[settings]\r\n uartcomport =   COM7   \r\nUartDebugLog=2\r\nAutostart=yes\r\n");
    EXPECT_EQ(ReadUartComPort(), L"COM7");
    EXPECT_TRUE(ReadUartDebugLog());  // any non-zero number is on
    EXPECT_FALSE(ReadAutostart());    // not a number: 0
    WriteIni("[Settings]\nUartComPort=" + std::string(600, 'P') + "\nAutostart=-1\n");
    EXPECT_EQ(ReadUartComPort(), std::wstring(511, L'P'));
    EXPECT_TRUE(ReadAutostart());
    // The cut counts UTF-16 units in both builds; half a surrogate pair is not kept.
    ASSERT_TRUE(WriteUartComPort(std::wstring(510, L'P') + L"\U0001F600"));
    EXPECT_EQ(ReadUartComPort(), std::wstring(510, L'P'));
}

TEST_F(SettingsFile, GarbageReadsAsDefaultsAndUnusableFilesFailWrites) {
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 7919) % 251);
    WriteIni(garbage);
    EXPECT_EQ(ReadUartComPort(), L"");
    EXPECT_FALSE(ReadUartDebugLog());

    std::filesystem::remove(PathFromText(GetSettingsFilePath()));
    EnsureFolderExists(GetSettingsFilePath());  // a folder where the file should be
    EXPECT_FALSE(ReadAutostart());
    EXPECT_FALSE(WriteUartComPort(L"COM3"));

    test::WriteFileBytes(root_ / L"blocker", "");  // a root below a file cannot exist
    SetDataRootForProcess(root_ / L"blocker" + kPathSeparator + L"root");
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
        test::ReadFileBytes(FromUtf8(std::getenv("HOME")) + L"/.config/autostart/zovrel.desktop");
    const size_t at = entry.find("\nExec=");
    if (at == std::string::npos)
        return std::nullopt;
    return FromUtf8(entry.substr(at + 6, entry.find('\n', at + 1) - at - 6));
}

TEST(Autostart, EntryEscapesThePathForTheLauncherAndRefusesLineBreaks) {
    TempFolder home;
    test::ScopedEnv noXdg("XDG_CONFIG_HOME", std::nullopt), homeEnv("HOME", ToUtf8(home.path()));
    ASSERT_TRUE(SetAutostartFor(true, L"/home/a$b/100%/x\"y\\z"));
    const std::wstring escaped = L"\"/home/a\\\\$b/100%%/x\\\\\"y\\\\\\\\z\"";
    EXPECT_EQ(Registered(), escaped);
    // A line break would end the Exec line and let the rest pose as further keys.
    EXPECT_FALSE(SetAutostartFor(true, L"/tmp/x\nHidden=true"));
    EXPECT_EQ(Registered(), escaped);
}

#endif

TEST(Autostart, RegistersTheQuotedOrBarePathAndDisablingTwiceSucceeds) {
#ifndef _WIN32
    TempFolder home;
    test::ScopedEnv noXdg("XDG_CONFIG_HOME", std::nullopt), homeEnv("HOME", ToUtf8(home.path()));
#endif
    const std::wstring spaced = kPathSeparator + std::wstring(L"my apps") + kPathSeparator + L"z";
    ASSERT_TRUE(SetAutostartFor(true, spaced));
    EXPECT_EQ(Registered(), L"\"" + spaced + L"\"");
    ASSERT_TRUE(SetAutostart(true));
    EXPECT_EQ(Registered(), QuoteIfContainsSpace(GetExecutablePath()));
    EXPECT_TRUE(SetAutostart(false));
    EXPECT_EQ(Registered(), std::nullopt);
    EXPECT_TRUE(SetAutostart(false));
}

}  // namespace
}  // namespace zovrel
