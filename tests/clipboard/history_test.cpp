#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <thread>

#include "base/text.h"
#include "clipboard/fingerprint.h"
#include "clipboard/history_files.h"
#include "clipboard/history_store.h"
#include "support/test_support.h"

namespace zovrel {
namespace {

using namespace test;

TEST(HistoryImageExtension, OnlyPlainExtensionsAreTaken) {
    EXPECT_EQ(HistoryImageExtension(L"  Photo.PNG "), L".png");
    EXPECT_EQ(HistoryImageExtension(L"a.b.JPEG"), L".jpeg");
    // Names from the device must reach neither other folders nor the entry's other files.
    for (const wchar_t* name :
         {L"noextension", L"trailing.", L"x./../../evil", L"x.p\\ng", L"x.pn g", L"x.图片",
          L"x.TXT", L"x.meta", L"x.files", L"x.aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"})
        EXPECT_EQ(HistoryImageExtension(name), L".img") << ToUtf8(name);
}

class HistoryTest : public ::testing::Test {
  protected:
    std::wstring F(const std::wstring& name) const { return folder.File(name); }
    void Write(const std::wstring& n, const std::string& bytes) { WriteFileBytes(F(n), bytes); }
    void Reload() { store.emplace(folder.Text()); }
    bool Capture(const ClipboardEntry& e) {
        return store->PromoteMatchingEntry(e) || store->AddEntry(e);
    }
    std::string GoldenFile(const wchar_t* name) const {
        const char* source = std::getenv("ZOVREL_SOURCE_DIR");
        const std::string bytes =
            source == nullptr
                ? std::string()
                : ReadFileBytes(JoinPath(FromUtf8(source), L"tests/clipboard/golden/") + name);
        EXPECT_FALSE(bytes.empty()) << ToUtf8(name);
        return bytes;
    }
    // Entry 9's N".meta" with the image file's write time, which differs from run to run, as
    // "TIME".
    std::string MetaWithoutWriteTime() const {
        std::string meta = ReadFileBytes(F(L"9.meta"));
        const size_t guard = meta.find("FingerprintGuard=9.png|3|");
        if (guard != std::string::npos) {
            const size_t from = guard + 25;
            meta.replace(from, meta.find('|', from) - from, "TIME");
        }
        return meta;
    }
    std::wstring Listing() const {
        std::wstring listing;
        for (const auto& e : store->GetEntries())
            listing += std::to_wstring(e.id) + L":" + e.text + L" ";
        return listing;
    }
    TempFolder folder;
    HistoryFiles files{folder.Text()};
    std::optional<ClipboardHistory> store{std::in_place, folder.Text()};
};

TEST_F(HistoryTest, EntryFilesRoundTripAndImagesReplaceOtherImageFiles) {
    ClipboardEntry entries[] = {TextEntry(L"第一行\n second", 0x0123456789ABCDEFull),
                                TextEntry(L""), ImageEntry({9, 8, 7}, L"shot.PNG"),
                                FilesEntry({L"/a b", L"/c"})};
    Write(L"3.img", "an older image of entry 3");
    for (int i = 0; i < 4; ++i) {
        entries[i].id = i + 1;
        ASSERT_TRUE(files.SaveEntryFiles(entries[i]));
    }
    EXPECT_EQ(ReadFileBytes(F(L"3.png")), "\x09\x08\x07");
    EXPECT_FALSE(FileExists(F(L"3.img")));
    EXPECT_EQ(ReadFileBytes(F(L"4.files")), "/a b\n/c");
    for (const ClipboardEntry& e : entries) {
        ClipboardEntry back;
        ASSERT_TRUE(files.LoadEntryFiles(e.id, back));
        EXPECT_EQ(std::tie(back.kind, back.text, back.files, back.imageFileName, back.time),
                  std::tie(e.kind, e.text, e.files, e.imageFileName, e.time));
        EXPECT_EQ(ImageBytesOf(back), ImageBytesOf(e));
    }
}

// (The text's limit: the texts kept as they are, below.)
TEST_F(HistoryTest, AnImageOverTheReadLimitIsLeftUnread) {
    ClipboardEntry e;
    Write(L"5.meta", "[Entry]\r\nKind=1\r\nImageFileName=a.png\r\n");
    for (size_t extra : {0, 1}) {
        Write(L"5.png", std::string(MAX_HISTORY_IMAGE_FILE_BYTES + extra, 'a'));
        ASSERT_TRUE(files.LoadEntryFiles(5, e));
        EXPECT_EQ(e.image.Size(), extra ? 0 : MAX_HISTORY_IMAGE_FILE_BYTES);
    }
}

TEST_F(HistoryTest, LoadFollowsOrderAndSkipsWhatCannotBeAnEntry) {
    for (int id : {3, 7, 12, 1})
        Write(std::to_wstring(id) + L".meta", "[Entry]\r\nKind=" + std::to_string(id) + "\r\n");
    Write(L"7.meta", "[Entry]\r\nKind=7\r\nPinned=1\r\n");  // pinned entries load above the rest
    Write(L"index.ini",
          "[Meta]\r\nCount=4\r\nNextId=2\r\nCurrentId=40\r\nOrder= 12 ,,7, 0,-3, 3 , 99,12,x\r\n");
    Reload();
    EXPECT_EQ(Listing(), L"7: 12: 3: ");
    EXPECT_EQ(store->GetCurrentEntry()->id, 12);  // CurrentId names no entry: the newest unpinned
    store->AddEntry(TextEntry(L"new"));
    EXPECT_EQ(store->GetEntryAt(1)->id, 13);  // above every loaded id, whatever the index says
}

TEST_F(HistoryTest, DeletingAnEntryTouchesNoOtherIdAndLoadClearsOnlyOldTemporaries) {
    for (int64_t id : {1, 12}) {
        ClipboardEntry e = ImageEntry({1}, L"a.gif");
        e.id = id;
        files.SaveEntryFiles(e);
    }
    Write(L"1.meta.123-4.tmp", "x");
    files.DeleteEntryFiles(1);
    for (const wchar_t* name : {L"1.meta", L"1.txt", L"1.gif", L"1.meta.123-4.tmp"})
        EXPECT_FALSE(FileExists(F(name))) << ToUtf8(name);
    for (const wchar_t* name : {L"12.meta", L"12.txt", L"12.gif"})
        EXPECT_TRUE(FileExists(F(name))) << ToUtf8(name);

    const auto longAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    for (const wchar_t* name : {L"index.ini.77-0.tmp", L"3.png.77-1.tmp", L"4.tmp"})
        Write(name, "x");
    for (const wchar_t* name : {L"index.ini.77-0.tmp", L"4.tmp"})
        std::filesystem::last_write_time(PathFromText(F(name)), longAgo);
    Reload();
    EXPECT_FALSE(FileExists(F(L"index.ini.77-0.tmp")));
    EXPECT_TRUE(FileExists(F(L"3.png.77-1.tmp")));  // may belong to a save still running
    EXPECT_TRUE(FileExists(F(L"4.tmp")));           // an image stored as ".tmp"
}

TEST_F(HistoryTest, FilesOfASaveThatNeverReachedTheIndexStayOutOfNewEntries) {
    store->AddEntry(TextEntry(L"A"));
    Write(L"2.png", "stale");  // an image save killed before its index was replaced
    Reload();
    store->AddEntry(TextEntry(L"B"));
    Reload();
    EXPECT_EQ(Listing(), L"3:B 1:A ");
    EXPECT_TRUE(store->GetEntryAt(0)->image.Empty());
}

TEST_F(HistoryTest, CapturesKeepOneEntryPerContentAndPromoteOlderOnes) {
    EXPECT_TRUE(Capture(TextEntry(L"A", 10)));
    EXPECT_FALSE(Capture(TextEntry(L"A", 11)));
    EXPECT_TRUE(Capture(TextEntry(L"B", 20)));
    EXPECT_TRUE(Capture(TextEntry(L"A", 30)));
    Reload();
    EXPECT_EQ(Listing(), L"1:A 2:B ");
    EXPECT_EQ(store->GetEntryAt(0)->time, 30u);
    EXPECT_FALSE(store->AddEntry(TextEntry(L"A")));  // still current after a restart
    // Received content equal to an older entry is added again.
    EXPECT_TRUE(store->AddEntry(TextEntry(L"B")));
    EXPECT_EQ(Listing(), L"3:B 1:A 2:B ");
}

TEST_F(HistoryTest, TheOldestEntrysFilesGoAndIdsKeepGrowing) {
    for (int i = 1; i <= 31; ++i)
        store->AddEntry(TextEntry(L"t" + std::to_wstring(i)));
    EXPECT_FALSE(FileExists(F(L"1.meta")) || FileExists(F(L"1.txt")));
    store->RemoveEntry(0);
    Reload();
    store->AddEntry(TextEntry(L"after restart"));
    EXPECT_EQ(store->GetEntryAt(0)->id, 32);
}

TEST_F(HistoryTest, IgnoreListAndCounterOutliveRestartsAndClearKeepsOnlyTheCounter) {
    const std::string a = ToUtf8(ComputeFingerprint(TextEntry(L"A")));
    Write(L"index.ini", "[Meta]\r\nNextId=7\r\nIgnoredFingerprints= " + a +
                            " | | zz|\r\nIgnoreFingerprint=c\r\n");
    Reload();
    store->AddEntry(TextEntry(L"A"));  // new content leaves the ignore list
    Reload();
    EXPECT_EQ(store->GetIgnoredFingerprints(), (FingerprintSet{L"c", L"zz"}));
    Write(L"notes.txt", "stray");
    store->ClearHistory();
    Reload();
    EXPECT_EQ(store->GetEntryCount(), 0);
    EXPECT_TRUE(store->GetIgnoredFingerprints().empty());
    EXPECT_FALSE(FileExists(F(L"8.txt")) || FileExists(F(L"notes.txt")));
    store->AddEntry(TextEntry(L"A"));
    EXPECT_EQ(store->GetEntryAt(0)->id, 9);
}

// The order through re-use, removal, pins, clearing and the 30-entry limit. A row starts with
// `fill` captures of the numbers 1, 2, ...; then steps: "+x" captures x, "aN" re-uses row N, "dN"
// removes it, "pN" / "uN" pin / release it, "C" clears, "P" pins every row. Pinned rows are
// marked "*", the current entry "<"; " FULL" when the last capture was refused; "..." skips rows.
TEST_F(HistoryTest, OrderKeepsPinsOnTopAndTheCurrentEntryRight) {
    const std::tuple<int, const char*, const wchar_t*> cases[] = {
        {0, "+a +b +c a1 +b", L"b< c a"},          // re-used, then captured again: no repeat
        {0, "+a +b a2 d2 a-1 d-1 d0", L"a<"},      // rows that do not exist; the next takes over
        {0, "+a +b d1 d0 +b", L"b<"},              // emptied: no current content to refuse
        {0, "+a +b +c p2 +d", L"a* d< c b"},       // new entries go below the pins
        {0, "+a +b +c p1 p2 u0", L"a* b c<"},      // toggling moves to the boundary
        {0, "+a +b +c p2 p2 +b +c", L"b* a* c<"},  // promoted to the top of its group
        {0, "+a +b p1 +c a2", L"a* b< c"},         // re-use too
        {0, "+a +b p1 +c d1", L"a* b<"},           // the newest unpinned takes over
        {0, "+a +b +c p1 C +c", L"b* c<"},         // clearing keeps the pins
        {30, "p29 +x", L"1* x< 30 ... 4 3"},       // the limit takes unpinned entries
        {30, "P +29 +x", L"29*< 30* 28* ... 1* FULL"},  // all pinned: promoted, but nothing added
    };
    for (const auto& [fill, script, expected] : cases) {
        SCOPED_TRACE(script);
        const TempFolder own;
        store.emplace(own.Text());
        for (int i = 1; i <= fill; ++i)
            store->AddEntry(TextEntry(std::to_wstring(i)));
        bool full = false;
        std::istringstream steps(script);
        for (std::string step; steps >> step;) {
            const std::wstring text = FromUtf8(step.substr(1));
            const int n = std::atoi(step.c_str() + 1);
            full = false;
            if (step[0] == '+' && !store->PromoteMatchingEntry(TextEntry(text)))
                store->AddEntry(TextEntry(text), &full);
            if (step[0] == 'a')
                store->MoveEntryToTop(n);
            if (step[0] == 'd')
                store->RemoveEntry(n);
            if (step[0] == 'p' || step[0] == 'u')
                store->SetPinned(n, step[0] == 'p');
            if (step[0] == 'C')
                store->ClearHistory();
            while (step[0] == 'P' && store->GetPinnedCount() < store->GetEntryCount())
                store->SetPinned(store->GetPinnedCount(), true);
        }
        std::wstring listing;
        for (const auto& e : store->GetEntries())
            listing += (listing.empty() ? L"" : L" ") + e.text + (e.pinned ? L"*" : L"") +
                       (e.id == store->GetCurrentEntry()->id ? L"<" : L"");
        listing += full ? L" FULL" : L"";
        const std::wstring want = expected;
        const size_t dots = want.find(L"...");
        EXPECT_TRUE(dots == std::wstring::npos ? listing == want
                                               : listing.starts_with(want.substr(0, dots)) &&
                                                     listing.ends_with(want.substr(dots + 3)))
            << ToUtf8(listing);
    }
}

TEST(HistoryIds, NumbersPastTheLimitNeitherOverflowNorHideLaterEntries) {
    const std::string huge = "99999999999999999999";  // saturates a 64-bit parse
    const std::string twoTo53 = "9007199254740992";
    const std::string maxId = "9223372036854775807";
    struct Case {
        const char* what;
        std::vector<std::pair<std::wstring, std::string>> files;
        int64_t firstNewId;
    };
    const std::string entry = "[Entry]\r\nKind=0\r\n";
    const auto index = [](const std::string& nextId, const std::string& order) {
        return "[Meta]\r\nCount=1\r\nNextId=" + nextId + "\r\nOrder=" + order + "\r\n";
    };
    const Case cases[] = {
        {"stray file at 2^53", {{FromUtf8(twoTo53) + L".meta", "x"}}, 1},
        {"corrupt NextId", {{L"index.ini", "[Meta]\r\nNextId=" + huge + "\r\n"}}, 1},
        {"NextId at 2^53, entry 5", {{L"5.meta", entry}, {L"index.ini", index(twoTo53, "5")}}, 6},
        {"entry stored under the largest id",
         {{L"5.meta", entry},
          {FromUtf8(maxId) + L".meta", entry},
          {L"index.ini", index(maxId, maxId + ",5")}},
         6},
        // Every id was handed out once: the lowest free one is taken again.
        {"counter exhausted",
         {{L"1.meta", entry}, {L"2.meta", entry}, {L"index.ini", index("9007199254740991", "1,2")}},
         3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder;
        for (const auto& [name, bytes] : c.files)
            WriteFileBytes(folder.File(name), bytes);
        const size_t before = ClipboardHistory(folder.Text()).GetEntries().size();
        {
            ClipboardHistory store(folder.Text());
            ASSERT_TRUE(store.AddEntry(TextEntry(L"A")) && store.AddEntry(TextEntry(L"B")));
            EXPECT_EQ(store.GetEntryAt(1)->id, c.firstNewId);
        }
        // Nothing vanished on the way: an id taken twice or out of range would not load.
        ClipboardHistory store(folder.Text());
        ASSERT_EQ(store.GetEntries().size(), before + 2);
        EXPECT_LT(store.GetEntryAt(0)->id, int64_t{1} << 53);
        EXPECT_EQ(store.GetEntryAt(0)->text, L"B");
    }
}

TEST(ClipboardEntry, CopiesShareImageBytesThatNoCopyCanChange) {
    const ClipboardEntry source = ImageEntry({1, 2, 3}, L"a.png");
    ClipboardEntry copy = source;
    // shared, not copied
    EXPECT_EQ(copy.image.MemoryBytes().data(), source.image.MemoryBytes().data());
    EXPECT_EQ(ComputeFingerprint(copy), ComputeFingerprint(source));
    copy.image = StoredImage(SharedBytes(Bytes{9}));
    EXPECT_EQ(ImageBytesOf(source), (Bytes{1, 2, 3}));
    EXPECT_EQ(ImageBytesOf(copy), (Bytes{9}));
}

// A file deleted, truncated or swapped behind the program's back: the entry stays, nothing reads
// a torn image, and no save removes or rewrites a file that could not be read.
TEST_F(HistoryTest, AnImageFileThatChangedAfterTheLoadIsNeitherReadNorRemoved) {
    const ClipboardEntry captured = ImageEntry(Bytes(4096, 1), L"a.png");
    store->AddEntry(captured);
    // Saved images are read from their file only when asked.
    EXPECT_TRUE(store->GetEntryAt(0)->image.IsFile());
    EXPECT_EQ(store->GetCurrentEntry()->image.Path(), F(L"1.png"));
    EXPECT_EQ(store->GetFingerprintAt(0), ComputeFingerprint(captured));
    store->AddEntry(TextEntry(L"B"));
    Reload();
    const ClipboardEntry image = *store->GetEntryAt(1);
    EXPECT_EQ(ImageBytesOf(image), Bytes(4096, 1));
    for (const std::string& changed : {std::string(100, 1), std::string(4097, 1), std::string()}) {
        if (changed.empty())
            std::filesystem::remove(PathFromText(F(L"1.png")));
        else
            Write(L"1.png", changed);
        EXPECT_EQ(ImageBytesOf(image), std::nullopt);
        EXPECT_EQ(ComputeFingerprint(image), L"");
        store->MoveEntryToTop(1);  // saves
        store->MoveEntryToTop(1);
        EXPECT_EQ(ReadFileBytes(F(L"1.png")), changed);
        EXPECT_EQ(FileExists(F(L"1.png")), !changed.empty());
        Reload();
        EXPECT_EQ(Listing(), L"2:B 1:[截图] ");
    }
    Write(L"1.png", std::string(4096, 1));  // back again
    EXPECT_EQ(ImageBytesOf(image), Bytes(4096, 1));
}

TEST_F(HistoryTest, TextsAndFileListsOverTheReadingLimitAreKeptAsTheyAre) {
    const std::string longText(MAX_HISTORY_TEXT_FILE_BYTES + 1, 'a');
    Write(L"index.ini", "[Meta]\r\nCount=2\r\nNextId=2\r\nOrder=1,2\r\n");
    Write(L"1.meta", "[Entry]\r\nKind=0\r\n");
    Write(L"1.txt", longText);
    Write(L"2.meta", "[Entry]\r\nKind=2\r\n");
    Write(L"2.files", longText);
    Reload();
    store->AddEntry(TextEntry(L"C"));
    store->RemoveEntry(0);
    EXPECT_EQ(ReadFileBytes(F(L"1.txt")).size(), longText.size());
    EXPECT_EQ(ReadFileBytes(F(L"2.files")).size(), longText.size());
    EXPECT_EQ(Listing(), L"1: 2: ");
}

// Two images of one size and name, their fingerprints unknown after the load: a capture equal to
// the older one promotes that one, found by its bytes.
TEST_F(HistoryTest, ACaptureFindsItsImageAmongImagesOfTheSameSize) {
    const ClipboardEntry a = ImageEntry(Bytes(4096, 1), L"clipboard.dib");
    const ClipboardEntry b = ImageEntry(Bytes(4096, 2), L"clipboard.dib");
    store->AddEntry(a);
    store->AddEntry(b);
    store->AddEntry(TextEntry(L"C"));
    for (const wchar_t* meta : {L"1.meta", L"2.meta"}) {
        const std::string bytes = ReadFileBytes(F(meta));
        Write(meta, bytes.substr(0, bytes.find("Fingerprint=")));
    }
    Reload();
    EXPECT_TRUE(Capture(a));
    EXPECT_EQ(Listing(), L"1:[截图] 3:C 2:[截图] ");
    EXPECT_EQ(store->GetCurrentFingerprint(), ComputeFingerprint(a));
}

TEST_F(HistoryTest, AnEntrysHeadIsBoundedWhateverTheEntrysSize) {
    std::vector<std::wstring> paths;
    for (int i = 0; i < 50000; ++i)
        paths.push_back(L"/folder/file" + std::to_wstring(i));
    store->AddEntry(FilesEntry(paths));
    store->AddEntry(TextEntry(std::wstring(1000000, L'x')));
    EXPECT_EQ(store->GetEntryHeadAt(0, 100)->text, std::wstring(100, L'x'));
    EXPECT_EQ(store->GetEntryHeadAt(1, 100)->files,
              std::vector<std::wstring>(paths.begin(), paths.begin() + 8));
    EXPECT_FALSE(store->GetEntryHeadAt(2, 100).has_value());
}

// "index.ini" and a ".meta" file byte for byte, as the program writes them over an index left
// by an older version: keys it finds keep their place, the older single ignore key is dropped,
// new keys follow in the order written. Other programs and older versions read these files.
TEST_F(HistoryTest, IndexAndMetaFilesMatchTheirGoldenCopies) {
    Write(
        L"index.ini",
        "[Meta]\r\nNextId=7\r\nIgnoreFingerprint=" + ToUtf8(ComputeFingerprint(TextEntry(L"old"))) +
            "\r\nIgnoredFingerprints=" + ToUtf8(ComputeFingerprint(TextEntry(L"ignored"))) +
            "\r\n");
    Reload();
    store->AddEntry(TextEntry(L"第一", 0x01DA2B3C4D5E6F70ull));
    ClipboardEntry image = ImageEntry({1, 2, 3}, L"shot.PNG");
    image.time = 0x01DA2B3C4D5E6F71ull;
    image.dataSize = 3;
    store->AddEntry(image);
    EXPECT_EQ(ReadFileBytes(F(L"index.ini")), GoldenFile(L"index.ini"));
    EXPECT_EQ(MetaWithoutWriteTime(), GoldenFile(L"9-fingerprint.meta"));
    store->SetPinned(0, true);
    EXPECT_EQ(MetaWithoutWriteTime(), GoldenFile(L"9-pinned.meta"));
}

// An entry as the previous version wrote it (no stored fingerprint) loads unchanged and keeps
// its fingerprint from then on; a stored one is trusted only for the very files it names.
TEST_F(HistoryTest, StoredFingerprintsAreTrustedOnlyWhileTheirGuardHolds) {
    Write(L"index.ini", "[Meta]\r\nCount=1\r\nNextId=9\r\nOrder=9\r\n");
    Write(L"9.meta", GoldenFile(L"9.meta"));
    Write(L"9.txt", "[截图]");
    Write(L"9.png", "\x01\x02\x03");
    ClipboardEntry image = ImageEntry({1, 2, 3}, L"shot.PNG");
    Reload();
    EXPECT_EQ(store->CompleteFingerprints(), 1);  // saves the entry as loaded
    EXPECT_EQ(store->CompleteFingerprints(), 0);
    EXPECT_EQ(MetaWithoutWriteTime(), GoldenFile(L"9-fingerprint.meta"));

    // Another valid value under a guard that still holds is what the next load uses.
    const std::string fresh = ToUtf8(ComputeFingerprint(image));
    const std::string other(64, 'a');
    std::string meta = ReadFileBytes(F(L"9.meta"));
    meta.replace(meta.find(fresh), fresh.size(), other);
    Write(L"9.meta", meta);
    Reload();
    EXPECT_EQ(ToUtf8(store->GetFingerprintAt(0)), other);

    // Another image of the same size, the rest of the entry changed, or a value that is no
    // fingerprint: the stored value is never used.
    const auto rewind = [&](const wchar_t* name) {
        std::filesystem::last_write_time(
            PathFromText(F(name)),
            std::filesystem::last_write_time(PathFromText(F(name))) - std::chrono::hours(1));
    };
    Write(L"9.png", "\x01\x02\x04");
    rewind(L"9.png");
    Reload();
    EXPECT_EQ(store->GetFingerprintAt(0), ComputeFingerprint(ImageEntry({1, 2, 4}, L"shot.PNG")));
    Write(L"9.png", "\x01\x02\x03");
    Reload();
    EXPECT_EQ(store->CompleteFingerprints(), 1);
    Write(L"9.txt", "[截图]!");
    Reload();
    image.text = L"[截图]!";
    EXPECT_EQ(store->GetFingerprintAt(0), ComputeFingerprint(image));
    meta = ReadFileBytes(F(L"9.meta"));
    meta.replace(meta.find("Fingerprint=") + 12, 1, "G");
    Write(L"9.meta", meta);
    Reload();
    EXPECT_EQ(store->CompleteFingerprints(), 1);
}

TEST_F(HistoryTest, ConcurrentCallersSeeAConsistentStore) {
    std::vector<std::jthread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([this, t] {
            for (int i = 0; i < 20; ++i) {
                Capture(TextEntry(std::to_wstring(t) + L"-" + std::to_wstring(i % 7)));
                store->MoveEntryToTop(i % 3);
            }
        });
    threads.clear();  // joins them
    const std::wstring before = Listing();
    Reload();
    EXPECT_EQ(Listing(), before);
    EXPECT_EQ(store->GetEntryCount(), 28);  // each thread's 7 contents once
}

}  // namespace
}  // namespace zovrel
