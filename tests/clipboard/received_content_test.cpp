#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/paths.h"
#include "base/text.h"
#include "clipboard/received_content.h"
#include "settings/data_root.h"
#include "settings/log_file.h"

namespace zovrel {
namespace {

namespace fs = std::filesystem;

class ReceivedContentTest : public ::testing::Test {
  protected:
    void SetUp() override {
        static std::atomic<int> counter{0};
        root_ = fs::temp_directory_path() /
                ("zovrel-received-" +
                 std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                 std::to_string(counter++));
        std::error_code ec;
        fs::remove_all(root_, ec);
        fs::create_directories(root_);
        SetDataRootForProcess(TextFromPath(root_));
    }
    void TearDown() override {
        SetDataRootForProcess(L"");
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    fs::path Today() const {
        return root_ / "files" / PathFromText(ReceivedDayFolderName(LocalNow()));
    }
    std::string LogText() const {
        std::ifstream in(PathFromText(LogFilePath(LocalNow())), std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    static Bytes Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    fs::path root_;
};

TEST(SafeReceivedFileName, OrdinaryNamesAreKeptAsTheyAre) {
    for (const wchar_t* name : {L"report.pdf", L"ünïcödé 文件.txt", L".bashrc", L"a..b",
                                L"CONSOLE.txt", L"com10", L"lpt.txt", L"my con.txt", L"-x-"}) {
        EXPECT_EQ(SafeReceivedFileName(name), name);
    }
}

TEST(SafeReceivedFileName, MakesDangerousNamesHarmless) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"CON", L"_CON"},
        {L"nul.txt", L"_nul.txt"},
        {L"Aux.tar.gz", L"_Aux.tar.gz"},
        {L"COM1", L"_COM1"},
        {L"com0.bin", L"_com0.bin"},
        {L"LPT9", L"_LPT9"},
        {L"COM\u00B2", L"_COM\u00B2"},
        {L"lpt\u00B3.x", L"_lpt\u00B3.x"},
        {L"clock$", L"_clock$"},
        {L"CONIN$.dat", L"_CONIN$.dat"},
        {L"conout$", L"_conout$"},
        {L"NUL .txt", L"_NUL .txt"},
        {L"a:b", L"a_b"},
        {L"x::$DATA", L"x__$DATA"},
        {L"a\x01\x1f"
         L"b",
         L"a__b"},
        {L"w<h>a|t?\"*", L"w_h_a_t___"},
        {L"name. . .", L"name"},
        {L"name.txt  ", L"name.txt"},
        {L"..", L""},
        {L". ", L""},
        {L"...", L""},
        {L"", L""},
    };
    for (const auto& [raw, safe] : cases) {
        EXPECT_EQ(SafeReceivedFileName(raw), safe) << ToUtf8(raw);
        // Cleaning a clean name changes nothing.
        EXPECT_EQ(SafeReceivedFileName(safe), safe) << ToUtf8(raw);
    }
}

TEST(SafeReceivedFileName, LongNamesKeepTheirExtensionWithin255Units) {
    const std::wstring longName = std::wstring(300, L'n') + L".txt";
    const std::wstring cut = SafeReceivedFileName(longName);
    EXPECT_EQ(Utf16Length(cut), 255u);
    EXPECT_EQ(cut, std::wstring(251, L'n') + L".txt");

    // Characters outside the BMP take two units and are never split.
    std::wstring wide;
    for (int i = 0; i < 200; ++i)
        wide += FromUtf8("\xF0\x9F\x98\x80");  // U+1F600
    const std::wstring wideCut = SafeReceivedFileName(wide + L".png");
    EXPECT_LE(Utf16Length(wideCut), 255u);
    EXPECT_EQ(wideCut, FromUtf8(ToUtf8(wideCut)));  // still valid text
    EXPECT_EQ(wideCut.substr(wideCut.size() - 4), L".png");

    // An "extension" longer than a name may be is cut like the rest.
    EXPECT_EQ(Utf16Length(SafeReceivedFileName(L"a." + std::wstring(300, L'e'))), 255u);
}

TEST_F(ReceivedContentTest, OpensTheFileInTodaysFolderWithItsSizeReserved) {
    std::wstring path;
    ReceivedFile file;
    ASSERT_TRUE(OpenReceivedFileForWriting(L"  dir\\sub\\a.txt ", 4096, path, file));
    EXPECT_TRUE(file.IsOpen());
    EXPECT_EQ(PathFromText(path), Today() / "a.txt");
    EXPECT_EQ(fs::file_size(Today() / "a.txt"), 4096u);
    file.Close();
    EXPECT_NE(
        LogText().find("OpenReceivedFileForWriting ok path=\"" + ToUtf8(path) + "\" size=4096"),
        std::string::npos);

    ASSERT_TRUE(OpenReceivedFileForWriting(L"empty.bin", 0, path, file));
    EXPECT_EQ(fs::file_size(Today() / "empty.bin"), 0u);
}

TEST_F(ReceivedContentTest, RefusesNamesWithoutALastComponentAndNegativeSizes) {
    std::wstring path = L"untouched";
    ReceivedFile file;
    EXPECT_FALSE(OpenReceivedFileForWriting(L"dir\\", 10, path, file));
    EXPECT_FALSE(OpenReceivedFileForWriting(L"   ", 10, path, file));
    EXPECT_FALSE(OpenReceivedFileForWriting(L"..", 10, path, file));
    EXPECT_FALSE(OpenReceivedFileForWriting(L"ok.txt", -1, path, file));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_TRUE(path.empty());
    EXPECT_EQ(LogText(), "");  // refusals are not logged
}

TEST_F(ReceivedContentTest, UnsafeAndOverlongNamesStayInsideTodaysFolder) {
    const std::wstring names[] = {
        L"CON",      L"nul.txt",     L"COM1",     L"a:b",
        L"x::$DATA", L"bad\x07name", L"dots . .", std::wstring(300, L'x') + L".log"};
    for (const std::wstring& name : names) {
        std::wstring path;
        ReceivedFile file;
        ASSERT_TRUE(OpenReceivedFileForWriting(name, 3, path, file)) << ToUtf8(name);
        const Bytes data{'a', 'b', 'c'};
        ASSERT_TRUE(file.WriteAt(0, data.data(), data.size()));
        file.Close();
        const fs::path p = PathFromText(path);
        EXPECT_EQ(p.parent_path(), Today()) << ToUtf8(name);
        EXPECT_LE(Utf16Length(TextFromPath(p.filename())), 255u);
        EXPECT_EQ(Read(p), data);
    }
    size_t count = 0;
    for (const auto& entry : fs::directory_iterator(Today()))
        count += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(count, std::size(names));
}

TEST_F(ReceivedContentTest, DeletesOnlyWhatItIsGiven) {
    std::wstring path;
    ReceivedFile file;
    ASSERT_TRUE(OpenReceivedFileForWriting(L"gone.bin", 1, path, file));
    file.Close();
    DeleteReceivedFile(L"");
    EXPECT_TRUE(fs::exists(PathFromText(path)));
    DeleteReceivedFile(path);
    EXPECT_FALSE(fs::exists(PathFromText(path)));
}

// Local midnight (TZ=UTC in tests) of a date, as seconds since 1970.
int64_t Midnight(int y, int m, int d) {
    return DaysFromCivil(y, m, d) * 86400;
}

TEST_F(ReceivedContentTest, CleanupRemovesDayFoldersOlderThanAWeekOnly) {
    const fs::path files = root_ / "files";
    const std::vector<std::string> kept = {"2026-12-05", "2026-12-04", "2026-11-29",
                                           "2026-12-06", "notes",      "2026-13-01",
                                           "1969-12-31", "2026-11-00", "abc-1-2"};
    const std::vector<std::string> removed = {"2026-11-28", "2026-1-2", "2020-02-30x"};
    for (const auto& name : kept)
        fs::create_directories(files / name);
    for (const auto& name : removed)
        fs::create_directories(files / name / "inner");
    std::ofstream(files / "2026-11-28" / "inner" / "data.bin") << "data";
    std::ofstream(files / "2001-01-01") << "a file, not a folder";

    // 14:00 on 2026-12-05: the folder of 2026-11-28 is 7 days and 14 hours old.
    CleanupReceivedFoldersAt(7, Midnight(2026, 12, 5) + 14 * 3600);

    for (const auto& name : kept)
        EXPECT_TRUE(fs::exists(files / name)) << name;
    for (const auto& name : removed)
        EXPECT_FALSE(fs::exists(files / name)) << name;
    EXPECT_TRUE(fs::exists(files / "2001-01-01"));
}

TEST_F(ReceivedContentTest, CleanupWithoutAFilesFolderDoesNothing) {
    CleanupReceivedFoldersAt(7, Midnight(2026, 12, 5));
    EXPECT_FALSE(fs::exists(root_ / "files"));
}

TEST_F(ReceivedContentTest, SavedImagesAreNamedByStampAndCleanedName) {
    const Bytes png{0x89, 'P', 'N', 'G'};
    const long long before = static_cast<long long>(std::time(nullptr));
    const std::wstring path = SaveReceivedImage(png, L" shots\\a:b.png ");
    const long long after = static_cast<long long>(std::time(nullptr));
    ASSERT_FALSE(path.empty());
    const fs::path p = PathFromText(path);
    EXPECT_EQ(p.parent_path(), root_ / "clipboard_images");
    const std::string name = p.filename().string();
    const long long stamp = std::stoll(name.substr(0, name.find('_')));
    EXPECT_GE(stamp, before * 1000);
    EXPECT_LE(stamp, after * 1000);
    EXPECT_EQ(stamp % 1000, 0);
    EXPECT_EQ(name.substr(name.find('_')), "_a_b.png");
    EXPECT_EQ(Read(p), png);

    EXPECT_TRUE(SaveReceivedImage({}, L"x.png").empty());
    const std::wstring device = SaveReceivedImage(png, L"CON");
    EXPECT_NE(device.find(L"_CON"), std::wstring::npos);
    const std::wstring nameless = SaveReceivedImage(png, L"..");
    EXPECT_EQ(nameless.substr(nameless.size() - 10), L"_image.bin");
}

TEST_F(ReceivedContentTest, BuildsEntriesByContentType) {
    ClipboardEntry e;
    ReceivedContent text;
    text.dataType = 0;
    text.data = {0xE4, 0xBD, 0xA0, 'a'};
    ASSERT_TRUE(BuildEntryFromReceived(text, e));
    EXPECT_EQ(e.kind, ENTRY_KIND_TEXT);
    EXPECT_EQ(e.text, FromUtf8("\xE4\xBD\xA0"
                               "a"));
    EXPECT_EQ(e.dataSize, 4);
    EXPECT_NE(e.time, 0u);
    EXPECT_EQ(e.id, 0);
    EXPECT_FALSE(BuildEntryFromReceived(ReceivedContent{}, e));

    ReceivedContent image;
    image.dataType = 1;
    image.data = {1, 2, 3};
    image.name = L"dir/pic:1.png";
    ASSERT_TRUE(BuildEntryFromReceived(image, e));
    EXPECT_EQ(e.kind, ENTRY_KIND_IMAGE);
    EXPECT_EQ(e.imageBytes, image.data);
    EXPECT_EQ(e.imageFileName, L"pic_1.png");
    EXPECT_EQ(e.text, L"pic_1.png");
    EXPECT_EQ(e.dataSize, 3);
    image.name.clear();
    ASSERT_TRUE(BuildEntryFromReceived(image, e));
    EXPECT_EQ(e.imageFileName, L"image.bin");
    size_t copies = 0;
    for (const auto& entry : fs::directory_iterator(root_ / "clipboard_images"))
        copies += entry.is_regular_file();
    EXPECT_EQ(copies, 2u);
    image.data.clear();
    EXPECT_FALSE(BuildEntryFromReceived(image, e));

    ReceivedContent file;
    file.dataType = 2;
    file.savedPath = L"/some/where/a.bin";
    file.declaredSize = 1234;
    ASSERT_TRUE(BuildEntryFromReceived(file, e));
    EXPECT_EQ(e.kind, ENTRY_KIND_FILES);
    EXPECT_EQ(e.files, std::vector<std::wstring>{file.savedPath});
    EXPECT_EQ(e.text, file.savedPath);
    EXPECT_EQ(e.dataSize, 1234);
    file.savedPath.clear();
    EXPECT_FALSE(BuildEntryFromReceived(file, e));

    ReceivedContent other;
    other.dataType = 7;
    other.data = {1};
    EXPECT_FALSE(BuildEntryFromReceived(other, e));
    EXPECT_TRUE(e.text.empty());
    EXPECT_TRUE(e.imageBytes.empty());
}

}  // namespace
}  // namespace zovrel
