#include "settings/profile.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <thread>
#include <vector>

#include "settings/settings_test_support.h"

namespace zovrel {
namespace {

using test::ReadFileBytes;
using test::TempFolder;

TEST(ProfileDocument, ReadsFilesEditedByHandInEveryEncodingAndLineEnd) {
    const std::string lf =
        "; by hand\n  [ settings ]  \n  uartcomport  =   串口一  \nQ = \" x \"\n";
    std::string crlf, cr = lf;
    for (char c : lf)
        crlf += (c == '\n') ? std::string("\r\n") : std::string(1, c);
    for (char& c : cr)
        if (c == '\n')
            c = '\r';
    std::string utf16 = "\xFF\xFE";
    for (char16_t c :
         std::u16string(u"[Settings]\r\nUartComPort = \u4E32\u53E3\u4E00\r\nq=\" x \""))
        utf16 += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};

    for (const auto& bytes : {lf, "\xEF\xBB\xBF" + crlf, cr, utf16}) {
        SCOPED_TRACE(bytes);
        const auto doc = ProfileDocument::Parse(bytes);
        EXPECT_EQ(doc.Get(L"Settings", L"UartComPort"), L"串口一");
        EXPECT_EQ(doc.Get(L"SETTINGS", L"q"), L" x ");
        EXPECT_EQ(doc.Get(L"Other", L"UartComPort"), std::nullopt);
    }
}

TEST(ProfileDocument, ChangingKeysKeepsCommentsOtherSectionsAndUnknownLines) {
    auto doc = ProfileDocument::Parse(
        "; top\n[Meta]\ncount = 3\nnot a key line\n\n[Other]\nKeep=yes\n[meta]\nCount=4\n");
    doc.Set(L"Meta", L"Count", L"5");
    EXPECT_TRUE(doc.Remove(L"Meta", L"COUNT"));  // every duplicate goes, or a stale one shows
    EXPECT_EQ(doc.Get(L"Meta", L"Count"), std::nullopt);
    doc.Set(L"Meta", L"NextId", L"7");
    doc.Set(L"Other", L"keep", L"no");
    doc.Set(L"Entry", L"Kind", L"1");
    EXPECT_EQ(doc.ToBytes(),
              "; top\r\n[Meta]\r\nnot a key line\r\nNextId=7\r\n\r\n[Other]\r\nKeep=no\r\n"
              "[meta]\r\n[Entry]\r\nKind=1\r\n");
}

TEST(ProfileDocument, LineBreaksInStoredTextCannotForgeKeysOrSections) {
    ProfileDocument doc;
    doc.Set(L"Entry", L"ImageFileName", L"a.png\r\n[Meta]\r\nCount=99\nKind=2");
    doc.Set(L"Entry", L"Kind", L"1");
    const auto reread = ProfileDocument::Parse(doc.ToBytes());
    EXPECT_EQ(reread.Get(L"Meta", L"Count"), std::nullopt);
    EXPECT_EQ(reread.Get(L"Entry", L"Kind"), L"1");
    EXPECT_EQ(reread.Get(L"Entry", L"ImageFileName")->find_first_of(L"\r\n"), std::wstring::npos);
}

TEST(ProfileDocument, ValuesAreCutByUtf16UnitsAndNumbersReadLikeWindows) {
    ProfileDocument doc = ProfileDocument::Parse("[S]\nEmpty=\nWord=on\nNum=  12abc\n");
    doc.Set(L"S", L"Long", std::wstring(510, L'a') + L"\U0001F600z");  // the emoji is 2 units
    EXPECT_EQ(doc.GetString(L"S", L"Long", L"", 511), std::wstring(510, L'a'));
    EXPECT_EQ(doc.GetString(L"S", L"Long", L"", 512), std::wstring(510, L'a') + L"\U0001F600");
    EXPECT_EQ(doc.GetInt(L"S", L"Empty", 7), 7);
    EXPECT_EQ(doc.GetInt(L"S", L"Word", 7), 0);
    EXPECT_EQ(doc.GetInt(L"S", L"Num", 7), 12);
    doc.Set(L"S", L"Huge", L"-99999999999999999999");
    EXPECT_EQ(doc.GetInt(L"S", L"Huge", 7), INT_MIN);
}

TEST(ProfileFile, UnicodeRoundTripsThroughUtf8WithoutMark) {
    TempFolder folder;
    const std::wstring path = folder / L"1.meta";
    const std::wstring name = L"剪贴板图片\U0001F600.png";
    ASSERT_TRUE(WriteProfileString(path, L"Entry", L"ImageFileName", name));
    ASSERT_TRUE(WriteProfileString(path, L"Entry", L"Kind", L"1"));
    EXPECT_EQ(ReadProfileString(path, L"Entry", L"ImageFileName", L""), name);
    EXPECT_EQ(ReadFileBytes(path).rfind("[Entry]\r\nImageFileName=\xE5\x89\xAA", 0), 0u);
    EXPECT_TRUE(DeleteProfileKey(path, L"Entry", L"Kind"));
    EXPECT_EQ(ReadProfileInt(path, L"Entry", L"Kind", -1), -1);
}

TEST(ProfileFile, AFileThatCannotBeReadIsNeverReplacedByOneKey) {
    TempFolder folder;
    const std::wstring big = folder / L"big.ini";
    const std::string content = "[S]\r\nK=v\r\n" + std::string(kMaxProfileFileBytes, ';');
    test::WriteFileBytes(big, content);
    EXPECT_EQ(ReadProfileString(big, L"S", L"K", L"default"), L"default");
    EXPECT_FALSE(WriteProfileString(big, L"S", L"K", L"new"));
    EXPECT_EQ(ReadFileBytes(big).size(), content.size());
}

TEST(ProfileFile, AtomicWriteReplacesWholeAndLeavesNoTemporaryFile) {
    TempFolder folder;
    const std::wstring path = folder / L"index.ini";
    ASSERT_TRUE(WriteFileAtomically(path, std::string("first version, longer")));
    ASSERT_TRUE(WriteFileAtomically(path, std::string("second")));
    EXPECT_EQ(ReadFileBytes(path), "second");
    EXPECT_FALSE(WriteFileAtomically(folder / L"missing" + kPathSeparator + L"x", "data"));
    const auto files = std::filesystem::directory_iterator(PathFromText(folder.path()));
    EXPECT_EQ(std::distance(begin(files), end(files)), 1);
}

TEST(ProfileFile, BatchWriteReplacesWhatItCanAndLeavesNoTemporaryFile) {
    TempFolder folder;
    test::WriteFileBytes(folder / L"a.ini", "old a");
    const std::string a = "new a", b = "new b";
    std::vector<FileWrite> batch{
        {folder / L"a.ini", a.data(), a.size()},
        {folder / L"missing" + kPathSeparator + L"x", b.data(), b.size()},
        {folder / L"b.ini", b.data(), b.size()},
    };
    EXPECT_FALSE(WriteFilesAtomically(batch));
    EXPECT_TRUE(batch[0].written);
    EXPECT_FALSE(batch[1].written);
    EXPECT_TRUE(batch[2].written);
    EXPECT_EQ(ReadFileBytes(folder / L"a.ini"), "new a");
    EXPECT_EQ(ReadFileBytes(folder / L"b.ini"), "new b");
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
    ProfileDocument doc;
    ASSERT_TRUE(LoadProfile(path, doc));
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 25; ++i)
            EXPECT_EQ(doc.Get(L"Meta", L"K" + std::to_wstring(t * 100 + i)), L"v");
}

}  // namespace
}  // namespace zovrel
