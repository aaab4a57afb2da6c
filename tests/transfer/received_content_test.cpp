#include "transfer/received_content.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "base/text.h"
#include "settings/data_root.h"
#include "support/test_support.h"

namespace zovrel {
namespace {

namespace fs = std::filesystem;

TEST(SafeReceivedFileName, OrdinaryNamesStayAndDangerousOnesAreMadeHarmless) {
    std::vector<std::pair<std::wstring, std::wstring>> cases;
    for (const auto* c : {L"x::$DATA=x__$DATA", L"a\x01\x1f_=a___", L"w<h>|?\"*=w_h_____",
                          L"name. . .=name", L"..=", L". ="}) {
        const std::wstring s = c;
        cases.emplace_back(s.substr(0, s.find(L'=')), s.substr(s.find(L'=') + 1));
    }
    // A reversed extension never reaches the disk: "photo\u202Egnp.exe" shows as "photoexe.png".
    cases.emplace_back(L"photo\u202Egnp.exe", L"photognp.exe");
    cases.emplace_back(L"\u2066CON\u2069.txt", L"_CON.txt");
    for (const wchar_t* name : {L"ünïcödé 文件.txt", L".bashrc", L"a..b", L"CONSOLE.txt", L"com10"})
        cases.emplace_back(name, name);
    // Device names, whatever their case or extension, get a "_" in front.
    for (const wchar_t* name :
         {L"CON", L"Aux.tar.gz", L"com0.bin", L"LPT9", L"COM\u00B2", L"CONIN$.dat", L"NUL .txt"})
        cases.emplace_back(name, L"_" + std::wstring(name));
    for (const auto& [raw, safe] : cases) {
        EXPECT_EQ(SafeReceivedFileName(raw), safe) << ToUtf8(raw);
        EXPECT_EQ(SafeReceivedFileName(safe), safe) << ToUtf8(raw);
    }
    EXPECT_EQ(SafeReceivedFileName(std::wstring(300, L'n') + L".txt"),
              std::wstring(251, L'n') + L".txt");
    // Characters outside the BMP take two units and are never split.
    std::wstring wide;
    for (int i = 0; i < 200; ++i)
        wide += L"\U0001F600";
    const std::wstring cut = SafeReceivedFileName(wide + L".png");
    EXPECT_TRUE(Utf16Length(cut) <= 255 && cut == FromUtf8(ToUtf8(cut)) && cut.ends_with(L".png"))
        << ToUtf8(cut);
}

class ReceivedContentTest : public ::testing::Test {
  protected:
    void SetUp() override { SetDataRootForProcess(root.Text()); }
    void TearDown() override { SetDataRootForProcess(L""); }
    fs::path Root() const { return PathFromText(root.Text()); }
    test::TempFolder root;
};

// A file is written under a temporary name with its size reserved and takes its own name only
// when kept; partial files a crash left behind go with the next one.
TEST_F(ReceivedContentTest, FilesArriveUnderATemporaryNameWithTheirSizeReserved) {
    const fs::path today = Root() / "files" / PathFromText(ReceivedDayFolderName(LocalNow()));
    fs::create_directories(today);
    test::WriteFileBytes(TextFromPath(today / "old.bin.zovrel-part"), "left by a crash");
    test::WriteFileBytes(TextFromPath(today / "other.txt"), "kept");
    ReceivedFilePaths paths;  // (names and sizes it refuses: the engine's tests)
    ReceivedFile file;
    ASSERT_TRUE(OpenReceivedFileForWriting(L"a.txt", 4096, paths, file));
    file.Close();
    EXPECT_EQ(PathFromText(paths.path), today / "a.txt");
    EXPECT_EQ(fs::file_size(PathFromText(paths.partPath)), 4096u);
    EXPECT_FALSE(fs::exists(today / "old.bin.zovrel-part"));
    EXPECT_FALSE(fs::exists(today / "a.txt"));
    EXPECT_EQ(KeepReceivedFile(paths), paths.path);
    EXPECT_EQ(fs::file_size(today / "a.txt"), 4096u);
    EXPECT_EQ(KeepReceivedFile(paths), L"");  // nothing left to keep, and nothing touched
    EXPECT_EQ(fs::file_size(today / "a.txt"), 4096u);
    EXPECT_EQ(test::ReadFileBytes(TextFromPath(today / "other.txt")), "kept");
    EXPECT_EQ(std::distance(fs::directory_iterator(today), fs::directory_iterator()), 2);
}

TEST(ReceivedNames, CountersGoBeforeTheExtensionAndNoNameLooksLikeAPartialFile) {
    EXPECT_EQ(NameWithCounter(L"a", 1), L"a (1)");
    EXPECT_EQ(NameWithCounter(L".bashrc", 1), L".bashrc (1)");
    EXPECT_EQ(NameWithCounter(L"a.tar.gz", 1), L"a.tar (1).gz");
    EXPECT_EQ(NameWithCounter(L"a.txt", 12), L"a (12).txt");
    const std::wstring longName = NameWithCounter(std::wstring(260, L'n') + L".txt", 3);
    EXPECT_EQ(longName, std::wstring(247, L'n') + L" (3).txt");

    EXPECT_EQ(SafeReceivedFileName(L"X.ZOVREL-PART"), L"X_ZOVREL-PART");
    EXPECT_EQ(SafeReceivedFileName(L"x.zovrel-part.txt"), L"x.zovrel-part.txt");
}

TEST_F(ReceivedContentTest, CleanupRemovesDayFoldersOlderThanAWeekOnly) {
    const fs::path files = Root() / "files";
    const char* kept[] = {"2026-12-05", "2026-11-29", "2026-12-06", "notes",
                          "2026-13-01", "1969-12-31", "2026-11-00", "abc-1-2"};
    const char* removed[] = {"2026-11-28", "2026-1-2", "2020-02-30x"};
    for (const char* name : kept)
        fs::create_directories(files / name);
    for (const char* name : removed)
        fs::create_directories(files / name / "inner");
    test::WriteFileBytes(TextFromPath(files / "2001-01-01"), "a file, not a folder");
    // 14:00 on 2026-12-05 (TZ=UTC): the folder of 2026-11-28 is 7 days and 14 hours old.
    CleanupReceivedFoldersAt(7, DaysFromCivil(2026, 12, 5) * 86400 + 14 * 3600);
    for (const char* name : kept)
        EXPECT_TRUE(fs::exists(files / name)) << name;
    for (const char* name : removed)
        EXPECT_FALSE(fs::exists(files / name)) << name;
    EXPECT_TRUE(fs::exists(files / "2001-01-01"));
}

// The entry keeps the device's own name, which a later send announces again; only the copy on
// disk needs a clean one.
TEST_F(ReceivedContentTest, ImagesKeepTheDeviceNameAndAreCopiedUnderACleanedOne) {
    const auto received = [](uint16_t type, Bytes data, std::wstring name = {}) {
        return ReceivedContent{.dataType = type, .name = name, .data = data, .savedPath = {}};
    };
    ClipboardEntry e;
    ASSERT_TRUE(BuildEntryFromReceived(received(1, {1, 2, 3}, L" dir\\pic:1.png "), e));
    EXPECT_EQ(std::tie(e.kind, e.image.MemoryBytes(), e.imageFileName, e.text),
              std::tuple(ENTRY_KIND_IMAGE, Bytes{1, 2, 3}, L"pic:1.png", L"pic:1.png"));
    const std::string copy = fs::directory_iterator(Root() / "clipboard_images")->path().string();
    EXPECT_TRUE(std::regex_search(copy, std::regex("[/\\\\][1-9][0-9]*_pic_1\\.png$"))) << copy;
    EXPECT_TRUE(SaveReceivedImage({1}, L"..").ends_with(L"_image.bin"));
    for (const ReceivedContent& refused :
         {received(0, {}), received(1, {}), received(2, {}), received(7, {1})})
        EXPECT_FALSE(BuildEntryFromReceived(refused, e));
}

// Images that arrive close together, even with the same name and within one millisecond, each
// keep their own copy.
TEST_F(ReceivedContentTest, ImagesOfTheSameNameNeverOverwriteEachOther) {
    std::set<std::wstring> paths;
    for (uint8_t k = 0; k < 5; ++k) {
        const std::wstring path = SaveReceivedImage({k}, L"same.png");
        ASSERT_FALSE(path.empty());
        paths.insert(path);
        EXPECT_EQ(test::ReadFileBytes(path), std::string(1, static_cast<char>(k)));
    }
    EXPECT_EQ(paths.size(), 5u);
}

}  // namespace
}  // namespace zovrel
