// Kills a process in the middle of history changes: what it leaves must always load as the whole
// history before the change or the whole history after it.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <thread>

#include "clipboard/history_store.h"
#include "support/test_support.h"

namespace zovrel {
namespace {

namespace fs = std::filesystem;

// Ids and fingerprints, no times: a promoted entry's file may be newer than the index.
std::vector<std::pair<int64_t, std::wstring>> Load(const fs::path& folder) {
    std::vector<std::pair<int64_t, std::wstring>> s;
    for (const auto& e : ClipboardHistory(TextFromPath(folder)).GetEntries())
        s.emplace_back(e.id, ComputeFingerprint(e));
    return s;
}

// A fingerprint kept in a N".meta" is either the one its files give now or not taken at all.
void ExpectStoredFingerprintsHold(const fs::path& folder) {
    HistoryState state;
    HistoryFiles(TextFromPath(folder)).LoadHistoryFiles(state);
    for (auto& s : state.entries) {
        TakeStoredFingerprint(s);
        if (!s.fingerprint.empty()) {
            EXPECT_EQ(s.fingerprint, ComputeFingerprint(s.entry)) << "entry " << s.entry.id;
        }
    }
}

TEST(HistoryCrashSafety, KilledSavesLeaveTheOldOrTheNewHistory) {
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    test::TempFolder folder, scratch;
    const fs::path live = PathFromText(folder.Text()), copy = PathFromText(scratch.File(L"copy"));
    {
        ClipboardHistory h(folder.Text());
        for (int i = 0; i < 30; ++i)
            h.AddEntry(test::TextEntry(L"seed " + std::to_wstring(i)));
    }
    const std::function<void(ClipboardHistory&, int)> changes[] = {
        [](ClipboardHistory& h, int n) {
            h.AddEntry(test::TextEntry(std::to_wstring(n) + std::wstring(20000, L'x')));
        },
        [](ClipboardHistory& h, int n) {
            // A few MiB, so that a kill often lands inside an image's write.
            h.AddEntry(test::ImageEntry(Bytes(size_t{2} << 20, static_cast<uint8_t>(n)),
                                        n % 2 ? L"shot.png" : L"clipboard.dib"));
        },
        [](ClipboardHistory& h, int) {
            if (auto e = h.GetEntryAt(h.GetEntryCount() - 1))
                h.PromoteMatchingEntry(*e);
        },
        [](ClipboardHistory& h, int) { h.RemoveEntry(h.GetEntryCount() / 2); },
        [](ClipboardHistory& h, int) { h.MoveEntryToTop(h.GetEntryCount() - 1); },
        // Saves that add the fingerprints a killed save could not keep.
        [](ClipboardHistory& h, int) { h.CompleteFingerprints(); },
        [](ClipboardHistory& h, int) { h.ClearHistory(); }};

    for (int round = 0; round < 150; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        // Clearing only now and then, so most rounds change a full history.
        const auto& change = changes[round % 50 == 49 ? 6 : random() % 6];
        const auto before = Load(live);
        // The same change undisturbed on a copy: the state it leads to and how long it takes.
        fs::remove_all(copy);
        fs::copy(live, copy, fs::copy_options::recursive);
        ClipboardHistory onCopy(TextFromPath(copy));
        const auto start = std::chrono::steady_clock::now();
        change(onCopy, round);
        const auto took = std::chrono::steady_clock::now() - start;
        const auto after = Load(copy);

        ClipboardHistory loaded(folder.Text());  // before the fork: the child changes at once
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            change(loaded, round);
            _exit(0);
        }
        std::this_thread::sleep_for(took * (random() % 120) / 100);
        kill(child, SIGKILL);
        ASSERT_EQ(waitpid(child, nullptr, 0), child);
        const auto found = Load(live);
        ASSERT_TRUE(found == before || found == after)
            << "loaded " << found.size() << " entries, before " << before.size() << ", after "
            << after.size();
        ExpectStoredFingerprintsHold(live);
    }
}

}  // namespace
}  // namespace zovrel
