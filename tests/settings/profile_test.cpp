#include "settings/profile.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <thread>
#include <vector>

#include "settings/data_root.h"
#include "settings/settings_test_support.h"

namespace zovrel {
namespace {

using test::ReadFileBytes;
using test::TempFolder;
using test::WriteFileBytes;

std::string Utf16LeWithMark(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

TEST(ProfileDocument, ReadsFilesEditedByHandInEveryEncodingAndLineEnd) {
    const std::string utf8 =
        "; written by hand\n"
        "  [ settings ]  \n"
        "  uartcomport  =   串口一  \n"
        "Quoted = \"  spaced  \"\n";
    std::string crlf;
    for (char c : utf8)
        crlf += (c == '\n') ? std::string("\r\n") : std::string(1, c);
    std::string cr = utf8;
    for (char& c : cr)
        if (c == '\n')
            c = '\r';
    const std::u16string utf16 =
        u"[Settings]\r\nUartComPort = \u4E32\u53E3\u4E00\r\nQuoted=\"  spaced  \"\r\n";

    const std::vector<std::string> files = {utf8, "\xEF\xBB\xBF" + crlf, cr,
                                            Utf16LeWithMark(utf16)};
    for (const auto& bytes : files) {
        SCOPED_TRACE(bytes);
        const auto doc = ProfileDocument::Parse(bytes);
        EXPECT_EQ(doc.Get(L"Settings", L"UartComPort"), L"串口一");
        EXPECT_EQ(doc.Get(L"SETTINGS", L"quoted"), L"  spaced  ");
        EXPECT_EQ(doc.Get(L"Settings", L"Missing"), std::nullopt);
        EXPECT_EQ(doc.Get(L"Other", L"UartComPort"), std::nullopt);
    }
}

TEST(ProfileDocument, ChangingKeysKeepsCommentsOtherSectionsAndUnknownLines) {
    auto doc = ProfileDocument::Parse(
        "; top comment\n"
        "[Meta]\n"
        "count = 3\n"
        "not a key line\n"
        "\n"
        "[Other]\n"
        "Keep=yes\n"
        "[meta]\n"
        "Count=4\n");
    doc.Set(L"Meta", L"Count", L"5");            // first of the duplicates is changed...
    EXPECT_TRUE(doc.Remove(L"Meta", L"COUNT"));  // ...and removal takes every one of them
    EXPECT_EQ(doc.Get(L"Meta", L"Count"), std::nullopt);
    EXPECT_FALSE(doc.Remove(L"Meta", L"Count"));

    doc.Set(L"Meta", L"NextId", L"7");
    doc.Set(L"Other", L"keep", L"no");
    doc.Set(L"Entry", L"Kind", L"1");
    EXPECT_EQ(doc.ToBytes(),
              "; top comment\r\n"
              "[Meta]\r\n"
              "not a key line\r\n"
              "NextId=7\r\n"
              "\r\n"
              "[Other]\r\n"
              "Keep=no\r\n"
              "[meta]\r\n"
              "[Entry]\r\n"
              "Kind=1\r\n");
}

TEST(ProfileDocument, LineBreaksInStoredTextCannotForgeKeysOrSections) {
    ProfileDocument doc;
    doc.Set(L"Entry", L"ImageFileName", L"a.png\r\n[Meta]\r\nCount=99\nKind=2");
    doc.Set(L"Entry", L"Kind", L"1");
    const auto reread = ProfileDocument::Parse(doc.ToBytes());
    EXPECT_EQ(reread.Get(L"Meta", L"Count"), std::nullopt);
    EXPECT_EQ(reread.Get(L"Entry", L"Kind"), L"1");
    const auto name = reread.Get(L"Entry", L"ImageFileName");
    ASSERT_TRUE(name.has_value());
    EXPECT_EQ(name->find_first_of(L"\r\n"), std::wstring::npos);
}

TEST(ProfileDocument, ReadLimitCountsUtf16UnitsAndNeverSplitsAPair) {
    ProfileDocument doc;
    const std::wstring astral = L"\U0001F600";  // two UTF-16 units
    doc.Set(L"S", L"K", std::wstring(510, L'a') + astral + L"z");
    EXPECT_EQ(doc.GetString(L"S", L"K", L"", 511), std::wstring(510, L'a'));
    EXPECT_EQ(doc.GetString(L"S", L"K", L"", 512), std::wstring(510, L'a') + astral);
    EXPECT_EQ(doc.GetString(L"S", L"Absent", L"fallback", 4), L"fall");
}

TEST(ProfileDocument, IntegersReadLikeTheWindowsProfileFunctions) {
    EXPECT_EQ(ParseProfileInt(L"2"), 2);
    EXPECT_EQ(ParseProfileInt(L"  12abc"), 12);
    EXPECT_EQ(ParseProfileInt(L"-3"), -3);
    EXPECT_EQ(ParseProfileInt(L"true"), 0);
    EXPECT_EQ(ParseProfileInt(L""), 0);
    EXPECT_EQ(ParseProfileInt(L"99999999999999999999"), INT_MAX);
    EXPECT_EQ(ParseProfileInt(L"-99999999999999999999"), INT_MIN);
    const auto doc = ProfileDocument::Parse("[S]\nEmpty=\nWord=on\n");
    EXPECT_EQ(doc.GetInt(L"S", L"Empty", 7), 7);
    EXPECT_EQ(doc.GetInt(L"S", L"Word", 7), 0);
    EXPECT_EQ(doc.GetInt(L"S", L"Absent", 7), 7);
}

TEST(ProfileDocument, GarbageParsesToAStableDocument) {
    std::mt19937 random(12345);
    for (int round = 0; round < 300; ++round) {
        std::string bytes(random() % 400, '\0');
        for (auto& b : bytes)
            b = static_cast<char>(random() % 7 == 0 ? "[]=\r\n;\""[random() % 7] : random());
        if (round % 3 == 0)
            bytes.insert(0, "\xFF\xFE");
        const std::string once = ProfileDocument::Parse(bytes).ToBytes();
        EXPECT_EQ(ProfileDocument::Parse(once).ToBytes(), once);
    }
}

TEST(ProfileFile, UnicodeRoundTripsThroughUtf8WithoutMark) {
    TempFolder folder;
    const std::wstring path = folder / L"index.ini";
    const std::wstring name = L"剪贴板图片\U0001F600.png";
    ASSERT_TRUE(WriteProfileString(path, L"Entry", L"ImageFileName", name));
    ASSERT_TRUE(WriteProfileString(path, L"Entry", L"Kind", L"1"));
    EXPECT_EQ(ReadProfileString(path, L"Entry", L"ImageFileName", L""), name);
    EXPECT_EQ(ReadProfileInt(path, L"Entry", L"Kind", 0), 1);
    const std::string bytes = ReadFileBytes(path);
    EXPECT_EQ(bytes.rfind("[Entry]\r\nImageFileName=", 0), 0u);
    EXPECT_NE(bytes.find("\xE5\x89\xAA"), std::string::npos);  // 剪 as UTF-8

    EXPECT_TRUE(DeleteProfileKey(path, L"Entry", L"Kind"));
    EXPECT_TRUE(DeleteProfileKey(path, L"Entry", L"Kind"));
    EXPECT_EQ(ReadProfileInt(path, L"Entry", L"Kind", -1), -1);
}

TEST(ProfileFile, AFileThatCannotBeReadIsNeverReplacedByOneKey) {
    TempFolder folder;
    const std::wstring big = folder / L"big.ini";
    const std::string content = "[S]\r\nK=v\r\n" + std::string(kMaxProfileFileBytes, ';');
    WriteFileBytes(big, content);
    EXPECT_EQ(ReadProfileString(big, L"S", L"K", L"default"), L"default");
    EXPECT_FALSE(WriteProfileString(big, L"S", L"K", L"new"));
    EXPECT_EQ(ReadFileBytes(big).size(), content.size());

    const std::wstring folderInTheWay = folder / L"dir.ini";
    test::MakeFolder(folderInTheWay);
    EXPECT_FALSE(WriteProfileString(folderInTheWay, L"S", L"K", L"v"));
    EXPECT_EQ(ReadProfileInt(folderInTheWay, L"S", L"K", 4), 4);
}

TEST(ProfileFile, AtomicWriteReplacesWholeAndLeavesNoTemporaryFile) {
    TempFolder folder;
    const std::wstring path = folder / L"1.meta";
    ASSERT_TRUE(WriteFileAtomically(path, std::string("first version, longer")));
    ASSERT_TRUE(WriteFileAtomically(path, std::string("second")));
    EXPECT_EQ(ReadFileBytes(path), "second");
    ASSERT_TRUE(WriteFileAtomically(path, std::string()));
    EXPECT_EQ(ReadFileBytes(path), "");
    EXPECT_EQ(test::CountFilesIn(folder.path()), 1);

    EXPECT_FALSE(WriteFileAtomically(folder / L"missing" + kPathSeparator + L"x", "data"));
    EXPECT_EQ(test::CountFilesIn(folder.path()), 1);
}

TEST(ProfileFile, ConcurrentWritersOfOneFileLoseNoKey) {
    TempFolder folder;
    const std::wstring path = folder / L"index.ini";
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 25; ++i)
                WriteProfileString(path, L"Meta", L"K" + std::to_wstring(t * 100 + i), L"v");
        });
    }
    for (auto& thread : threads)
        thread.join();
    ProfileDocument doc;
    ASSERT_TRUE(LoadProfile(path, doc));
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 25; ++i)
            EXPECT_EQ(doc.Get(L"Meta", L"K" + std::to_wstring(t * 100 + i)), L"v");
}

}  // namespace
}  // namespace zovrel
