#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "base/text.h"
#include "clipboard/fingerprint.h"
#include "clipboard/history_files.h"
#include "clipboard/history_store.h"
#include "clipboard/history_test_support.h"

namespace zovrel {
namespace {

using test::FileExists;
using test::ImageEntry;
using test::ReadFileBytes;
using test::TextEntry;
using test::WriteFileBytes;

TEST(Fingerprint, KnownDigestAndEveryPartOfTheContentCounts) {
    ClipboardEntry abc = TextEntry(L"abc", 12345);
    abc.dataSize = 999;  // neither time nor size counts
    EXPECT_EQ(ComputeFingerprint(abc),
              L"45f3d073f4942518a1a88b5ca41e85cd7462f3125506b60ffcfa0265ef9cc8cf");

    ClipboardEntry abcImage = abc;
    abcImage.kind = ENTRY_KIND_IMAGE;
    const std::pair<ClipboardEntry, ClipboardEntry> differ[] = {
        {ImageEntry({1, 2}, L"a.png"), ImageEntry({1, 2}, L"a.jpg")},
        {ImageEntry({1, 2}, L"a.png"), ImageEntry({1, 3}, L"a.png")},
        {test::FilesEntry({L"/a", L"/b"}), test::FilesEntry({L"/b", L"/a"})},
        {abc, abcImage},
        {TextEntry(std::wstring(L"a\0b", 3)), TextEntry(std::wstring(L"a\0c", 3))},
        {TextEntry(L"中文"), TextEntry(L"中")}};
    for (const auto& [a, b] : differ)
        EXPECT_NE(ComputeFingerprint(a), ComputeFingerprint(b)) << &a - &differ[0].first;
}

TEST(IgnoredFingerprints, LoadTrimsSkipsEmptyPiecesAndSaveRewritesCleanly) {
    test::TempFolder folder;
    const std::wstring index = folder.File(L"index.ini");
    WriteFileBytes(
        index, "[Meta]\r\nIgnoredFingerprints= a |  | b|\r\nIgnoreFingerprint=c\r\nCount=0\r\n");
    FingerprintSet set = {L"stale"};
    LoadIgnoredFingerprints(index, set);
    EXPECT_EQ(set, (FingerprintSet{L"a", L"b", L"c"}));
    SaveIgnoredFingerprints(index, FingerprintSet{L"b", L"a"});
    EXPECT_EQ(ReadFileBytes(index), "[Meta]\r\nIgnoredFingerprints=a|b\r\nCount=0\r\n");
    SaveIgnoredFingerprints(index, {});
    EXPECT_EQ(ReadFileBytes(index), "[Meta]\r\nCount=0\r\n");
}

TEST(HistoryImageExtension, OnlyPlainExtensionsAreTaken) {
    EXPECT_EQ(HistoryImageExtension(L"  Photo.PNG "), L".png");
    EXPECT_EQ(HistoryImageExtension(L"a.b.JPEG"), L".jpeg");
    // Names from the device must reach neither other folders nor the entry's other files.
    for (const wchar_t* name :
         {L"noextension", L"trailing.", L"x./../../evil", L"x.p\\ng", L"x.pn g", L"x.图片",
          L"x.TXT", L"x.meta", L"x.files", L"x.aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"})
        EXPECT_EQ(HistoryImageExtension(name), L".img") << ToUtf8(name);
}

class HistoryFilesTest : public ::testing::Test {
  protected:
    std::wstring F(const std::wstring& name) const { return folder.File(name); }
    void WriteMeta(int64_t id, const std::string& body) {
        WriteFileBytes(F(std::to_wstring(id) + L".meta"), "[Entry]\r\n" + body);
    }
    void WriteIndex(const std::string& body) {
        WriteFileBytes(F(L"index.ini"), "[Meta]\r\n" + body);
    }
    HistoryState Load() {
        HistoryState state;
        HistoryFiles(folder.Text()).LoadHistoryFiles(state);
        return state;
    }
    test::TempFolder folder;
    HistoryFiles files{folder.Text()};
};

TEST_F(HistoryFilesTest, EntryFilesRoundTripAndImagesReplaceOtherImageFiles) {
    ClipboardEntry entries[] = {TextEntry(L"第一行\n second", 0x0123456789ABCDEFull),
                                TextEntry(L""), ImageEntry({9, 8, 7}, L"shot.PNG"),
                                test::FilesEntry({L"/a b", L"/c"})};
    for (int i = 0; i < 4; ++i) {
        entries[i].id = i + 1;
        ASSERT_TRUE(files.SaveEntryFiles(entries[i]));
    }
    EXPECT_EQ(ReadFileBytes(F(L"3.png")), "\x09\x08\x07");
    EXPECT_EQ(ReadFileBytes(F(L"4.files")), "/a b\n/c");
    for (const ClipboardEntry& e : entries) {
        ClipboardEntry back;
        ASSERT_TRUE(files.LoadEntryFiles(e.id, back));
        EXPECT_EQ(std::tie(back.kind, back.text, back.files, back.imageBytes, back.imageFileName,
                           back.time),
                  std::tie(e.kind, e.text, e.files, e.imageBytes, e.imageFileName, e.time));
    }

    WriteFileBytes(F(L"5.img"), "old");
    WriteFileBytes(F(L"5.png"), "old");
    ClipboardEntry dib = ImageEntry({1, 2}, L"clipboard.dib");
    dib.id = 5;
    files.SaveEntryFiles(dib);
    EXPECT_TRUE(FileExists(F(L"5.dib")));
    EXPECT_FALSE(FileExists(F(L"5.img")) || FileExists(F(L"5.png")));
    // A new image that cannot be put in place leaves the old one to fall back on.
    std::filesystem::create_directory(PathFromText(F(L"6.dib")));
    WriteFileBytes(F(L"6.img"), "old");
    dib.id = 6;
    EXPECT_FALSE(files.SaveEntryFiles(dib));
    EXPECT_EQ(ReadFileBytes(F(L"6.img")), "old");
}

TEST_F(HistoryFilesTest, ReadLimitsLeaveOversizedFilesUnread) {
    ClipboardEntry e;
    // One byte over the read limits (16 MiB of text, 32 MiB of image) and the file is left unread.
    for (size_t extra : {0, 1}) {
        WriteMeta(4, "Kind=0\r\n");
        WriteFileBytes(F(L"4.txt"), std::string(kMaxHistoryTextFileBytes + extra, 'a'));
        WriteMeta(5, "Kind=1\r\nImageFileName=a.png\r\n");
        WriteFileBytes(F(L"5.png"), std::string(kMaxHistoryImageFileBytes + extra, 'a'));
        ASSERT_TRUE(files.LoadEntryFiles(4, e));
        EXPECT_EQ(e.text.size(), extra ? 0 : kMaxHistoryTextFileBytes);
        ASSERT_TRUE(files.LoadEntryFiles(5, e));
        EXPECT_EQ(e.imageBytes.size(), extra ? 0 : kMaxHistoryImageFileBytes);
    }
}

TEST_F(HistoryFilesTest, LoadFollowsOrderAndSkipsWhatCannotBeAnEntry) {
    for (int id : {3, 7, 12, 1})
        WriteMeta(id, "Kind=0\r\n");
    WriteIndex("Count=4\r\nNextId=2\r\nCurrentId=40\r\nOrder= 12 ,,7, 0,-3, 3 , 99,12,abc\r\n");
    const HistoryState s = Load();
    std::vector<int64_t> ids;
    for (const auto& e : s.entries)
        ids.push_back(e.entry.id);
    EXPECT_EQ(ids, (std::vector<int64_t>{12, 7, 3}));
    EXPECT_EQ(s.current.id, 12);  // CurrentId names no entry
    EXPECT_EQ(s.nextId, 12);      // above every loaded id, whatever the index says
    EXPECT_EQ(s.entries[0].fingerprint, ComputeFingerprint(s.entries[0].entry));
}

TEST_F(HistoryFilesTest, DeletingAnEntryTouchesNoOtherIdAndLoadClearsOnlyOldTemporaries) {
    for (int64_t id : {1, 12}) {
        ClipboardEntry e = ImageEntry({1}, L"a.gif");
        e.id = id;
        files.SaveEntryFiles(e);
    }
    WriteFileBytes(F(L"1.meta.123-4.tmp"), "x");
    files.DeleteEntryFiles(1);
    for (const wchar_t* name : {L"1.meta", L"1.txt", L"1.gif", L"1.meta.123-4.tmp"})
        EXPECT_FALSE(FileExists(F(name))) << ToUtf8(name);
    for (const wchar_t* name : {L"12.meta", L"12.txt", L"12.gif"})
        EXPECT_TRUE(FileExists(F(name))) << ToUtf8(name);

    WriteIndex("Count=0\r\n");
    const auto longAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    for (const wchar_t* name : {L"index.ini.77-0.tmp", L"3.png.77-1.tmp", L"4.tmp"})
        WriteFileBytes(F(name), "x");
    for (const wchar_t* name : {L"index.ini.77-0.tmp", L"4.tmp"})
        std::filesystem::last_write_time(PathFromText(F(name)), longAgo);
    Load();
    EXPECT_FALSE(FileExists(F(L"index.ini.77-0.tmp")));
    EXPECT_TRUE(FileExists(F(L"3.png.77-1.tmp")));  // may belong to a save still running
    EXPECT_TRUE(FileExists(F(L"4.tmp")));           // an image stored as ".tmp"
}

class HistoryStoreTest : public ::testing::Test {
  protected:
    void Reload() {
        store.reset();
        store = std::make_unique<ClipboardHistory>(folder.Text());
    }
    std::vector<std::wstring> Texts() const {
        std::vector<std::wstring> texts;
        for (const auto& e : store->GetEntries())
            texts.push_back(e.text);
        return texts;
    }
    bool Capture(const ClipboardEntry& e) {
        return store->PromoteMatchingEntry(e) || store->AddEntry(e);
    }
    void AddTexts(int n) {
        for (int i = 1; i <= n; ++i)
            store->AddEntry(TextEntry(L"t" + std::to_wstring(i), 100 + i));
    }
    test::TempFolder folder;
    std::unique_ptr<ClipboardHistory> store = std::make_unique<ClipboardHistory>(folder.Text());
};

TEST_F(HistoryStoreTest, CapturesKeepOneEntryPerContentAndPromoteOlderOnes) {
    EXPECT_TRUE(Capture(TextEntry(L"A", 10)));
    EXPECT_FALSE(Capture(TextEntry(L"A", 11)));
    EXPECT_TRUE(Capture(TextEntry(L"B", 20)));
    EXPECT_TRUE(Capture(TextEntry(L"A", 30)));
    Reload();
    EXPECT_EQ(Texts(), (std::vector<std::wstring>{L"A", L"B"}));
    EXPECT_EQ(store->GetEntryAt(0)->id, 1);
    EXPECT_EQ(store->GetEntryAt(0)->time, 30u);
    EXPECT_FALSE(store->AddEntry(TextEntry(L"A")));  // still current after a restart
    // Received content equal to an older entry is added again.
    EXPECT_TRUE(store->AddEntry(TextEntry(L"B")));
    EXPECT_EQ(Texts(), (std::vector<std::wstring>{L"B", L"A", L"B"}));
}

TEST_F(HistoryStoreTest, ThirtyFirstEntryDropsTheOldestAndIdsKeepGrowing) {
    AddTexts(31);
    EXPECT_EQ(store->GetEntryCount(), 30);
    EXPECT_EQ(store->GetEntryAt(29)->id, 2);
    EXPECT_FALSE(FileExists(folder.File(L"1.meta")) || FileExists(folder.File(L"1.txt")));
    store->RemoveEntry(0);
    Reload();
    store->AddEntry(TextEntry(L"after restart"));
    EXPECT_EQ(store->GetEntryAt(0)->id, 32);
}

TEST_F(HistoryStoreTest, MovingAndRemovingKeepTheCurrentEntryRight) {
    AddTexts(5);  // t5 t4 t3 t2 t1
    EXPECT_TRUE(store->MoveEntryToTop(3));
    EXPECT_EQ(store->GetEntryAt(0)->text, L"t2");
    EXPECT_EQ(store->GetEntryAt(0)->time, 102u);
    EXPECT_EQ(store->GetCurrentFingerprint(), ComputeFingerprint(TextEntry(L"t2")));
    EXPECT_FALSE(store->MoveEntryToTop(5) || store->MoveEntryToTop(-1));

    EXPECT_TRUE(store->RemoveEntry(4));  // not current
    EXPECT_EQ(store->GetCurrentEntry()->text, L"t2");
    EXPECT_TRUE(store->RemoveEntry(0));  // the current one: the new first becomes current
    EXPECT_EQ(store->GetCurrentEntry()->text, L"t5");
    EXPECT_FALSE(store->RemoveEntry(3));
    while (store->GetEntryCount() > 0)
        store->RemoveEntry(0);
    EXPECT_FALSE(store->GetCurrentEntry());
    EXPECT_TRUE(store->AddEntry(TextEntry(L"t5")));
}

TEST_F(HistoryStoreTest, ClearKeepsTheCounterAndEmptiesIgnoreListAndFolder) {
    const std::string a = ToUtf8(ComputeFingerprint(TextEntry(L"A")));
    WriteFileBytes(folder.File(L"index.ini"),
                   "[Meta]\r\nNextId=7\r\nIgnoredFingerprints=" + a + "|zz\r\n");
    Reload();
    store->AddEntry(TextEntry(L"A"));  // new content leaves the ignore list
    EXPECT_EQ(store->GetIgnoredFingerprints(), (FingerprintSet{L"zz"}));
    WriteFileBytes(folder.File(L"notes.txt"), "stray");
    store->ClearHistory();
    Reload();
    EXPECT_EQ(store->GetEntryCount(), 0);
    EXPECT_TRUE(store->GetIgnoredFingerprints().empty());
    EXPECT_FALSE(FileExists(folder.File(L"8.txt")) || FileExists(folder.File(L"notes.txt")));
    store->AddEntry(TextEntry(L"A"));
    EXPECT_EQ(store->GetEntryAt(0)->id, 9);
}

TEST_F(HistoryStoreTest, SavesRewriteOnlyChangedOrMissingFiles) {
    store->AddEntry(ImageEntry(Bytes(1000, 8), L"a.png"));
    const std::filesystem::path png = PathFromText(folder.File(L"1.png"));
    const auto written = std::filesystem::last_write_time(png);
    store->AddEntry(TextEntry(L"A"));
    EXPECT_EQ(std::filesystem::last_write_time(png), written);
    EXPECT_NE(ReadFileBytes(folder.File(L"index.ini")).find("Order=2,1\r\n"), std::string::npos);
    std::filesystem::remove(png);
    store->AddEntry(TextEntry(L"B"));
    EXPECT_EQ(ReadFileBytes(folder.File(L"1.png")), std::string(1000, '\x08'));
}

TEST_F(HistoryStoreTest, ConcurrentCallersSeeAConsistentStore) {
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([this, t] {
                for (int i = 0; i < 20; ++i) {
                    Capture(TextEntry(std::to_wstring(t) + L"-" + std::to_wstring(i % 7)));
                    store->MoveEntryToTop(i % 3);
                }
            });
        }
    }
    const std::vector<ClipboardEntry> entries = store->GetEntries();
    std::set<int64_t> ids;
    for (const auto& e : entries)
        ids.insert(e.id);
    EXPECT_EQ(ids.size(), entries.size());
    Reload();
    EXPECT_EQ(store->GetEntries().size(), entries.size());
}

}  // namespace
}  // namespace zovrel
