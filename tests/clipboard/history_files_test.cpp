#include "clipboard/history_files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/text.h"
#include "clipboard/history_test_support.h"
#include "settings/profile.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace zovrel {
namespace {

using test::FileExists;
using test::ImageEntry;
using test::ReadFileBytes;
using test::TextEntry;
using test::WriteFileBytes;

class HistoryFilesTest : public ::testing::Test {
  protected:
    test::TempFolder folder;
    HistoryFiles files{folder.Text()};

    std::wstring F(const std::wstring& name) const { return folder.File(name); }

    void WriteMeta(int64_t id, const std::string& body) {
        WriteFileBytes(F(std::to_wstring(id) + L".meta"), "[Entry]\r\n" + body);
    }
    void WriteIndex(const std::string& body) {
        WriteFileBytes(F(L"index.ini"), "[Meta]\r\n" + body);
    }
    HistoryState Load() {
        HistoryState state;
        HistoryFiles fresh(folder.Text());
        fresh.LoadHistoryFiles(state);
        return state;
    }
    static std::vector<int64_t> Ids(const HistoryState& s) {
        std::vector<int64_t> ids;
        for (const auto& e : s.entries)
            ids.push_back(e.entry.id);
        return ids;
    }
};

TEST(HistoryImageExtension, OnlyShortPlainExtensionsAreTaken) {
    EXPECT_EQ(HistoryImageExtension(L"clipboard.dib"), L".dib");
    EXPECT_EQ(HistoryImageExtension(L"  Photo.PNG "), L".png");
    EXPECT_EQ(HistoryImageExtension(L"a.b.JPEG"), L".jpeg");
    EXPECT_EQ(HistoryImageExtension(L"noextension"), L".img");
    EXPECT_EQ(HistoryImageExtension(L"trailing."), L".img");
    EXPECT_EQ(HistoryImageExtension(L""), L".img");
    // Names from the device must not reach other folders or other files of the entry.
    EXPECT_EQ(HistoryImageExtension(L"x./../../evil"), L".img");
    EXPECT_EQ(HistoryImageExtension(L"x.p\\ng"), L".img");
    EXPECT_EQ(HistoryImageExtension(L"x.pn g"), L".img");
    EXPECT_EQ(HistoryImageExtension(L"x.图片"), L".img");
    EXPECT_EQ(HistoryImageExtension(L"x.TXT"), L".img");
    EXPECT_EQ(HistoryImageExtension(L"x.meta"), L".img");
    EXPECT_EQ(HistoryImageExtension(L"x.files"), L".img");
    EXPECT_EQ(HistoryImageExtension(L"x." + std::wstring(40, L'a')), L".img");
}

TEST_F(HistoryFilesTest, EntryFilesRoundTripForEveryKind) {
    ClipboardEntry text = TextEntry(L"第一行\n second", 0x0123456789ABCDEFull);
    text.id = 1;
    ClipboardEntry empty = TextEntry(L"");
    empty.id = 2;
    ClipboardEntry image = ImageEntry({9, 8, 7}, L"shot.PNG");
    image.id = 3;
    ClipboardEntry list = test::FilesEntry({L"/tmp/a b.txt", L"/tmp/c"});
    list.id = 4;
    for (const auto* e : {&text, &empty, &image, &list})
        ASSERT_TRUE(files.SaveEntryFiles(*e));

    EXPECT_TRUE(FileExists(F(L"2.txt")));
    EXPECT_EQ(ReadFileBytes(F(L"2.txt")), "");
    EXPECT_EQ(ReadFileBytes(F(L"3.png")), std::string("\x09\x08\x07"));
    EXPECT_EQ(ReadFileBytes(F(L"4.files")), "/tmp/a b.txt\n/tmp/c");
    EXPECT_FALSE(FileExists(F(L"4.png")));

    for (const auto* e : {&text, &empty, &image, &list}) {
        ClipboardEntry back;
        ASSERT_TRUE(files.LoadEntryFiles(e->id, back));
        EXPECT_EQ(back.id, e->id);
        EXPECT_EQ(back.kind, e->kind);
        EXPECT_EQ(back.text, e->text);
        EXPECT_EQ(back.files, e->files);
        EXPECT_EQ(back.imageBytes, e->imageBytes);
        EXPECT_EQ(back.imageFileName, e->imageFileName);
        EXPECT_EQ(back.time, e->time);
    }
    ClipboardEntry none;
    EXPECT_FALSE(files.LoadEntryFiles(99, none));
}

TEST_F(HistoryFilesTest, ImageSaveReplacesOtherImageFilesOfTheSameId) {
    WriteFileBytes(F(L"5.img"), "old");
    WriteFileBytes(F(L"5.png"), "old");
    ClipboardEntry dib = ImageEntry({1, 2}, L"clipboard.dib");
    dib.id = 5;
    files.SaveEntryFiles(dib);
    EXPECT_TRUE(FileExists(F(L"5.dib")));
    EXPECT_FALSE(FileExists(F(L"5.img")));
    EXPECT_FALSE(FileExists(F(L"5.png")));

    // An entry that stops being an image loses its image files, and a text-less one its .txt.
    ClipboardEntry list = test::FilesEntry({L"/x"});
    list.id = 5;
    list.text.clear();
    list.imageFileName = L"clipboard.dib";
    files.SaveEntryFiles(list);
    EXPECT_FALSE(FileExists(F(L"5.dib")));
    EXPECT_FALSE(FileExists(F(L"5.txt")));

    // A new image that cannot be put in place leaves the old one the entry can fall back on.
    WriteFileBytes(F(L"6.img"), "old");
    std::filesystem::create_directory(PathFromText(F(L"6.dib")));
    ClipboardEntry blocked = ImageEntry({1, 2}, L"clipboard.dib");
    blocked.id = 6;
    EXPECT_FALSE(files.SaveEntryFiles(blocked));
    EXPECT_EQ(ReadFileBytes(F(L"6.img")), "old");
}

TEST_F(HistoryFilesTest, ImageFallsBackToImgThenPngWithAName) {
    WriteMeta(1, "Kind=1\r\nImageFileName=\r\n");
    WriteFileBytes(F(L"1.png"), "PNGDATA");
    WriteMeta(2, "Kind=1\r\nImageFileName=pic.gif\r\n");
    WriteFileBytes(F(L"2.img"), "IMG");
    ClipboardEntry e;
    ASSERT_TRUE(files.LoadEntryFiles(1, e));
    EXPECT_EQ(e.imageFileName, L"image.png");
    EXPECT_EQ(e.dataSize, 7);  // repaired from the bytes
    ASSERT_TRUE(files.LoadEntryFiles(2, e));
    EXPECT_EQ(e.imageFileName, L"pic.gif");
    EXPECT_EQ(std::string(e.imageBytes.begin(), e.imageBytes.end()), "IMG");
}

TEST_F(HistoryFilesTest, ReadLimitsLeaveOversizedFilesUnread) {
    WriteMeta(1, "Kind=0\r\nDataSize=5\r\n");
    WriteFileBytes(F(L"1.txt"), std::string(kMaxHistoryTextFileBytes + 1, 'a'));
    WriteMeta(2, "Kind=0\r\n");
    WriteFileBytes(F(L"2.txt"), std::string(kMaxHistoryTextFileBytes, 'a'));
    WriteMeta(3, "Kind=1\r\nImageFileName=a.png\r\n");
    WriteFileBytes(F(L"3.png"), std::string(kMaxHistoryImageFileBytes + 1, 'x'));
    WriteMeta(4, "Kind=1\r\nImageFileName=a.png\r\n");
    WriteFileBytes(F(L"4.png"), std::string(kMaxHistoryImageFileBytes, 'x'));

    ClipboardEntry e;
    ASSERT_TRUE(files.LoadEntryFiles(1, e));
    EXPECT_TRUE(e.text.empty());
    ASSERT_TRUE(files.LoadEntryFiles(2, e));
    EXPECT_EQ(e.text.size(), kMaxHistoryTextFileBytes);
    EXPECT_EQ(e.dataSize, static_cast<int64_t>(kMaxHistoryTextFileBytes));
    ASSERT_TRUE(files.LoadEntryFiles(3, e));
    EXPECT_TRUE(e.imageBytes.empty());
    ASSERT_TRUE(files.LoadEntryFiles(4, e));
    EXPECT_EQ(e.imageBytes.size(), kMaxHistoryImageFileBytes);
}

TEST_F(HistoryFilesTest, LoadFollowsOrderAndSkipsWhatCannotBeAnEntry) {
    for (int id : {3, 7, 12, 1})
        WriteMeta(id, "Kind=0\r\n");
    WriteIndex("Count=4\r\nNextId=2\r\nCurrentId=40\r\nOrder= 12 ,,7, 0,-3, 3 , 99,12,abc\r\n");
    const HistoryState s = Load();
    // Blanks and empty pieces are fine; 0, negatives, missing metas and repeats are skipped.
    EXPECT_EQ(Ids(s), (std::vector<int64_t>{12, 7, 3}));
    // CurrentId names no entry: the newest one is current.
    EXPECT_EQ(s.current.id, 12);
    // A new id must stay above every loaded one, whatever the index says.
    EXPECT_EQ(s.nextId, 12);
    EXPECT_EQ(s.entries[0].fingerprint, ComputeFingerprint(s.entries[0].entry));
}

TEST_F(HistoryFilesTest, EmptyOrMissingIndexStillLoadsCounterAndIgnoreList) {
    HistoryState s;
    EXPECT_FALSE(files.LoadHistoryFiles(s));

    WriteMeta(1, "Kind=0\r\n");
    WriteIndex("Count=0\r\nNextId=41\r\nOrder=1\r\nIgnoredFingerprints=ab|cd\r\n");
    EXPECT_FALSE(files.LoadHistoryFiles(s));
    EXPECT_TRUE(s.entries.empty());
    EXPECT_EQ(s.nextId, 41);
    EXPECT_EQ(s.ignored.size(), 2u);

    WriteIndex("Count=1\r\nNextId=junk\r\n");
    EXPECT_FALSE(files.LoadHistoryFiles(s));
    EXPECT_EQ(s.nextId, 0);
}

TEST_F(HistoryFilesTest, LoadKeepsAtMostThirtyEntries) {
    std::string order;
    for (int id = 1; id <= 40; ++id) {
        WriteMeta(id, "Kind=0\r\n");
        order += std::to_string(id) + ",";
    }
    WriteIndex("Count=40\r\nNextId=40\r\nOrder=" + order + "\r\n");
    const HistoryState s = Load();
    ASSERT_EQ(s.entries.size(), kMaxHistoryEntries);
    EXPECT_EQ(s.entries.front().entry.id, 1);
    EXPECT_EQ(s.nextId, 40);
}

TEST_F(HistoryFilesTest, SaveWritesTheIndexAndLoadGivesTheSameState) {
    HistoryState s;
    s.nextId = 8;
    for (int64_t id : {8, 3}) {
        StoredEntry stored{TextEntry(L"t" + std::to_wstring(id)), {}};
        stored.entry.id = id;
        stored.fingerprint = ComputeFingerprint(stored.entry);
        s.entries.push_back(stored);
    }
    s.current = s.entries[1].entry;
    s.currentFingerprint = s.entries[1].fingerprint;
    s.ignored = {L"x", L"y"};
    WriteIndex("IgnoreFingerprint=old\r\nForeign=kept\r\n");
    ASSERT_TRUE(files.SaveHistoryFiles(s));

    ProfileDocument index;
    ASSERT_TRUE(LoadProfile(F(L"index.ini"), index));
    EXPECT_EQ(index.Get(L"Meta", L"Order"), L"8,3");
    EXPECT_EQ(index.Get(L"Meta", L"Count"), L"2");
    EXPECT_EQ(index.Get(L"Meta", L"CurrentId"), L"3");
    EXPECT_FALSE(index.Get(L"Meta", L"IgnoreFingerprint"));
    EXPECT_EQ(index.Get(L"Meta", L"Foreign"), L"kept");

    const HistoryState back = Load();
    EXPECT_EQ(Ids(back), (std::vector<int64_t>{8, 3}));
    EXPECT_EQ(back.current.id, 3);
    EXPECT_EQ(back.currentFingerprint, s.currentFingerprint);
    EXPECT_EQ(back.ignored, s.ignored);

    s.entries.clear();
    s.current = ClipboardEntry();
    s.currentFingerprint.clear();
    s.ignored.clear();
    ASSERT_TRUE(files.SaveHistoryFiles(s));
    ASSERT_TRUE(LoadProfile(F(L"index.ini"), index));
    EXPECT_EQ(index.Get(L"Meta", L"Count"), L"0");
    EXPECT_FALSE(index.Get(L"Meta", L"Order"));
    EXPECT_FALSE(index.Get(L"Meta", L"CurrentId"));
    EXPECT_FALSE(index.Get(L"Meta", L"CurrentFingerprint"));
    EXPECT_FALSE(index.Get(L"Meta", L"IgnoredFingerprints"));
}

TEST_F(HistoryFilesTest, SaveRestoresMissingFilesAndLeavesUnchangedOnesAlone) {
    HistoryState s;
    StoredEntry stored{ImageEntry(Bytes(1000, 3), L"a.png"), {}};
    stored.entry.id = 1;
    stored.fingerprint = ComputeFingerprint(stored.entry);
    s.entries.push_back(stored);
    s.nextId = 1;
    ASSERT_TRUE(files.SaveHistoryFiles(s));

#ifndef _WIN32
    // A file written again is a new file (renamed over the old one): a new inode.
    struct stat before {};
    ASSERT_EQ(stat(ToUtf8(F(L"1.png")).c_str(), &before), 0);
    ASSERT_TRUE(files.SaveHistoryFiles(s));
    struct stat after {};
    ASSERT_EQ(stat(ToUtf8(F(L"1.png")).c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
#endif

    std::filesystem::remove(PathFromText(F(L"1.png")));
    std::filesystem::remove(PathFromText(F(L"1.meta")));
    WriteFileBytes(F(L"1.img"), "stray");
    ASSERT_TRUE(files.SaveHistoryFiles(s));
    EXPECT_EQ(ReadFileBytes(F(L"1.png")), std::string(1000, '\x03'));
    EXPECT_TRUE(FileExists(F(L"1.meta")));
    EXPECT_FALSE(FileExists(F(L"1.img")));

    // A changed time rewrites the meta.
    s.entries[0].entry.time = 777;
    ASSERT_TRUE(files.SaveHistoryFiles(s));
    EXPECT_EQ(Load().entries.at(0).entry.time, 777u);
}

TEST_F(HistoryFilesTest, DeletingAnEntryTouchesNoOtherId) {
    for (int64_t id : {1, 12}) {
        ClipboardEntry e = ImageEntry({1}, L"a.gif");
        e.id = id;
        files.SaveEntryFiles(e);
    }
    WriteFileBytes(F(L"1.extra"), "x");
    WriteFileBytes(F(L"1.meta.123-4.tmp"), "x");
    files.DeleteEntryFiles(1);
    for (const wchar_t* name : {L"1.meta", L"1.txt", L"1.gif", L"1.extra", L"1.meta.123-4.tmp"})
        EXPECT_FALSE(FileExists(F(name))) << ToUtf8(name);
    for (const wchar_t* name : {L"12.meta", L"12.txt", L"12.gif"})
        EXPECT_TRUE(FileExists(F(name))) << ToUtf8(name);
}

TEST_F(HistoryFilesTest, DeleteAllKeepsSubfolders) {
    WriteIndex("Count=0\r\n");
    WriteFileBytes(F(L"3.txt"), "x");
    std::filesystem::create_directories(PathFromText(F(L"sub")));
    WriteFileBytes(F(L"sub") + kPathSeparator + L"keep", "x");
    files.DeleteAllHistoryFiles(/*keepIndex=*/true);
    EXPECT_TRUE(FileExists(F(L"index.ini")));
    EXPECT_FALSE(FileExists(F(L"3.txt")));
    files.DeleteAllHistoryFiles();
    EXPECT_FALSE(FileExists(F(L"index.ini")));
    EXPECT_TRUE(FileExists(F(L"sub") + kPathSeparator + L"keep"));
}

TEST_F(HistoryFilesTest, LoadRemovesOnlyOldUnfinishedTemporaryFiles) {
    WriteIndex("Count=0\r\n");
    const std::wstring oldTemp = F(L"index.ini.77-0.tmp");
    const std::wstring freshTemp = F(L"3.png.77-1.tmp");
    const std::wstring image = F(L"4.tmp");  // an image stored under its own ".tmp" extension
    for (const auto& p : {oldTemp, freshTemp, image})
        WriteFileBytes(p, "x");
    const auto longAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    std::filesystem::last_write_time(PathFromText(oldTemp), longAgo);
    std::filesystem::last_write_time(PathFromText(image), longAgo);
    Load();
    EXPECT_FALSE(FileExists(oldTemp));
    EXPECT_TRUE(FileExists(freshTemp));  // may belong to a save still running
    EXPECT_TRUE(FileExists(image));
}

TEST_F(HistoryFilesTest, FilesEntrySizeIsRecountedFromTheFilesThatExist) {
    const std::wstring real = F(L"payload.bin");
    WriteFileBytes(real, std::string(321, 'p'));
    WriteMeta(1, "Kind=2\r\nDataSize=5\r\n");
    WriteFileBytes(F(L"1.files"), ToUtf8(real) + "\r\n\n  \n" + ToUtf8(F(L"gone")));
    ClipboardEntry e;
    ASSERT_TRUE(files.LoadEntryFiles(1, e));
    EXPECT_EQ(e.files, (std::vector<std::wstring>{real, F(L"gone")}));
    EXPECT_EQ(e.dataSize, 321);
}

}  // namespace
}  // namespace zovrel
