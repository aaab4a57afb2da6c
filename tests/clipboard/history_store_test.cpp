#include "clipboard/history_store.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "base/text.h"
#include "clipboard/history_test_support.h"
#include "settings/profile.h"

namespace zovrel {
namespace {

using test::FileExists;
using test::TextEntry;

class HistoryStoreTest : public ::testing::Test {
  protected:
    test::TempFolder folder;
    std::unique_ptr<ClipboardHistory> store = std::make_unique<ClipboardHistory>(folder.Text());

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
    // What the watcher does with a capture.
    bool Capture(const ClipboardEntry& e) {
        return store->PromoteMatchingEntry(e) || store->AddEntry(e);
    }
    std::wstring F(const std::wstring& name) const { return folder.File(name); }
};

TEST_F(HistoryStoreTest, CapturesKeepOneEntryPerContentAndPromoteOlderOnes) {
    EXPECT_TRUE(Capture(TextEntry(L"A", 10)));
    EXPECT_FALSE(Capture(TextEntry(L"A", 11)));  // same as the current content
    EXPECT_TRUE(Capture(TextEntry(L"B", 20)));
    EXPECT_TRUE(Capture(TextEntry(L"A", 30)));
    EXPECT_EQ(Texts(), (std::vector<std::wstring>{L"A", L"B"}));
    const ClipboardEntry top = *store->GetEntryAt(0);
    EXPECT_EQ(top.id, 1);
    EXPECT_EQ(top.time, 30u);
    EXPECT_EQ(store->GetCurrentEntry()->id, 1);
    EXPECT_EQ(store->GetCurrentFingerprint(), ComputeFingerprint(TextEntry(L"A")));

    Reload();
    EXPECT_EQ(Texts(), (std::vector<std::wstring>{L"A", L"B"}));
    EXPECT_EQ(store->GetEntryAt(0)->time, 30u);
    EXPECT_FALSE(store->AddEntry(TextEntry(L"A")));  // current content survives a restart
}

TEST_F(HistoryStoreTest, ReceivedContentEqualToAnOlderEntryIsAddedAgain) {
    store->AddEntry(TextEntry(L"A"));
    store->AddEntry(TextEntry(L"B"));
    EXPECT_TRUE(store->AddEntry(TextEntry(L"A")));
    EXPECT_EQ(Texts(), (std::vector<std::wstring>{L"A", L"B", L"A"}));
    // The matching entry at the top counts as no change.
    EXPECT_FALSE(store->PromoteMatchingEntry(TextEntry(L"A")));
    EXPECT_FALSE(store->PromoteMatchingEntry(TextEntry(L"unknown")));
}

TEST_F(HistoryStoreTest, ThirtyFirstCaptureDropsTheOldestAndItsFiles) {
    for (int i = 1; i <= 31; ++i)
        ASSERT_TRUE(store->AddEntry(TextEntry(L"t" + std::to_wstring(i))));
    EXPECT_EQ(store->GetEntryCount(), 30);
    EXPECT_EQ(store->GetEntryAt(0)->id, 31);
    EXPECT_EQ(store->GetEntryAt(29)->id, 2);
    EXPECT_FALSE(FileExists(F(L"1.meta")));
    EXPECT_FALSE(FileExists(F(L"1.txt")));
    EXPECT_TRUE(FileExists(F(L"2.txt")));

    store->RemoveEntry(0);
    store->AddEntry(TextEntry(L"later"));
    EXPECT_EQ(store->GetEntryAt(0)->id, 32);  // ids are never reused
    Reload();
    EXPECT_EQ(store->GetEntryCount(), 30);
    store->AddEntry(TextEntry(L"after restart"));
    EXPECT_EQ(store->GetEntryAt(0)->id, 33);
}

TEST_F(HistoryStoreTest, MoveToTopKeepsTheTimeAndMakesTheEntryCurrent) {
    for (int i = 0; i < 5; ++i)
        store->AddEntry(TextEntry(L"t" + std::to_wstring(i), 100 + i));
    const ClipboardEntry moved = *store->GetEntryAt(3);
    EXPECT_TRUE(store->MoveEntryToTop(3));
    EXPECT_EQ(store->GetEntryAt(0)->id, moved.id);
    EXPECT_EQ(store->GetEntryAt(0)->time, moved.time);
    EXPECT_EQ(store->GetCurrentEntry()->id, moved.id);
    EXPECT_EQ(store->GetCurrentFingerprint(), ComputeFingerprint(moved));
    EXPECT_FALSE(store->MoveEntryToTop(5));
    EXPECT_FALSE(store->MoveEntryToTop(-1));
    EXPECT_TRUE(store->MoveEntryToTop(0));
}

TEST_F(HistoryStoreTest, RemovingEntries) {
    store->AddEntry(TextEntry(L"A"));
    store->AddEntry(TextEntry(L"B"));
    store->AddEntry(TextEntry(L"C"));
    store->MoveEntryToTop(1);            // B current: B, C, A
    EXPECT_TRUE(store->RemoveEntry(2));  // A: current stays B
    EXPECT_EQ(store->GetCurrentEntry()->text, L"B");
    EXPECT_FALSE(FileExists(F(L"1.meta")));
    EXPECT_TRUE(store->RemoveEntry(0));  // the current one: C becomes current
    EXPECT_EQ(store->GetCurrentEntry()->text, L"C");
    EXPECT_EQ(store->GetCurrentFingerprint(), ComputeFingerprint(TextEntry(L"C")));
    EXPECT_FALSE(store->RemoveEntry(1));
    EXPECT_TRUE(store->RemoveEntry(0));
    EXPECT_FALSE(store->GetCurrentEntry());
    EXPECT_TRUE(store->GetCurrentFingerprint().empty());
    EXPECT_TRUE(store->AddEntry(TextEntry(L"C")));  // nothing is current any more
    EXPECT_FALSE(store->GetEntryAt(1));
}

TEST_F(HistoryStoreTest, ClearKeepsTheCounterEmptiesTheIgnoreListAndTheFolder) {
    test::WriteFileBytes(F(L"index.ini"), "[Meta]\r\nNextId=7\r\nIgnoredFingerprints=a|b\r\n");
    Reload();
    EXPECT_EQ(store->GetIgnoredFingerprints().size(), 2u);
    store->AddEntry(TextEntry(L"A"));
    store->AddEntry(test::ImageEntry({1, 2, 3}, L"x.png"));
    test::WriteFileBytes(F(L"notes.txt"), "stray");
    store->ClearHistory();
    EXPECT_EQ(store->GetEntryCount(), 0);
    EXPECT_TRUE(store->GetIgnoredFingerprints().empty());
    EXPECT_FALSE(FileExists(F(L"8.txt")));
    EXPECT_FALSE(FileExists(F(L"9.meta")));
    EXPECT_FALSE(FileExists(F(L"notes.txt")));
    EXPECT_TRUE(FileExists(F(L"index.ini")));

    Reload();
    EXPECT_EQ(store->GetEntryCount(), 0);
    EXPECT_TRUE(store->GetIgnoredFingerprints().empty());
    store->AddEntry(TextEntry(L"A"));
    EXPECT_EQ(store->GetEntryAt(0)->id, 10);
}

TEST_F(HistoryStoreTest, NewContentLeavesTheIgnoreList) {
    const std::wstring a = ComputeFingerprint(TextEntry(L"A"));
    test::WriteFileBytes(F(L"index.ini"), "[Meta]\r\nIgnoredFingerprints=" + ToUtf8(a) + "|zz\r\n");
    Reload();
    store->AddEntry(TextEntry(L"A"));
    EXPECT_EQ(store->GetIgnoredFingerprints(), (FingerprintSet{L"zz"}));
    Reload();
    EXPECT_EQ(store->GetIgnoredFingerprints(), (FingerprintSet{L"zz"}));
}

TEST_F(HistoryStoreTest, UnwritableFolderKeepsTheStoreInMemory) {
    // A file where the folder should be: every save fails, nothing is reported.
    test::WriteFileBytes(F(L"blocked"), "x");
    ClipboardHistory blocked(F(L"blocked"));
    EXPECT_TRUE(blocked.AddEntry(TextEntry(L"A")));
    EXPECT_EQ(blocked.GetEntryCount(), 1);
    EXPECT_TRUE(blocked.RemoveEntry(0));
}

TEST_F(HistoryStoreTest, ConcurrentCallersSeeAConsistentStore) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < 20; ++i) {
                Capture(TextEntry(L"t" + std::to_wstring(t) + L"-" + std::to_wstring(i % 7)));
                store->GetEntries();
                if (i % 5 == 0)
                    store->MoveEntryToTop(2);
            }
        });
    }
    for (auto& th : threads)
        th.join();
    const auto entries = store->GetEntries();
    std::set<int64_t> ids;
    for (const auto& e : entries)
        ids.insert(e.id);
    EXPECT_EQ(ids.size(), entries.size());
    Reload();
    EXPECT_EQ(store->GetEntries().size(), entries.size());
}

}  // namespace
}  // namespace zovrel
