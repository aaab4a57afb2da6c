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
#include "clipboard/history_test_support.h"

namespace zovrel {
namespace {

namespace fs = std::filesystem;
using Change = std::function<void(ClipboardHistory&, int)>;

// Ids and fingerprints in order; a promoted entry's time is left out, since its own file may
// already hold the new time while the index is still the old one.
std::vector<std::pair<int64_t, std::wstring>> Load(const fs::path& folder) {
    std::vector<std::pair<int64_t, std::wstring>> s;
    for (const auto& e : ClipboardHistory(TextFromPath(folder)).GetEntries())
        s.emplace_back(e.id, ComputeFingerprint(e));
    return s;
}

TEST(HistoryCrashSafety, KilledSavesLeaveTheOldOrTheNewHistory) {
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    test::TempFolder folder, scratchRoot;
    const fs::path live = PathFromText(folder.Text());
    const fs::path copy = PathFromText(scratchRoot.Text()) / "copy";
    {
        ClipboardHistory h(folder.Text());
        for (int i = 0; i < 30; ++i)
            h.AddEntry(test::TextEntry(L"seed " + std::to_wstring(i)));
    }
    const Change changes[] = {
        [](ClipboardHistory& h, int n) {
            h.AddEntry(test::TextEntry(std::to_wstring(n) + std::wstring(20000, L'x')));
        },
        [](ClipboardHistory& h, int n) {
            Bytes pixels(96 * 1024, static_cast<uint8_t>(n));
            pixels[0] = static_cast<uint8_t>(n >> 8);
            h.AddEntry(test::ImageEntry(std::move(pixels), L"shot.png"));
        },
        [](ClipboardHistory& h, int) {
            if (auto e = h.GetEntryAt(h.GetEntryCount() - 1))
                h.PromoteMatchingEntry(*e);
        },
        [](ClipboardHistory& h, int) { h.RemoveEntry(h.GetEntryCount() / 2); },
        [](ClipboardHistory& h, int) { h.MoveEntryToTop(h.GetEntryCount() - 1); },
        [](ClipboardHistory& h, int) { h.ClearHistory(); }};

    int keptOld = 0, gotNew = 0;
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        // Clearing only now and then, so most rounds change a full history.
        const Change& change = changes[round % 67 == 66 ? 5 : random() % 5];
        const auto before = Load(live);
        // The same change undisturbed on a copy: the state it leads to and how long it takes.
        fs::remove_all(copy);
        fs::copy(live, copy, fs::copy_options::recursive);
        long long took = 0;
        {
            ClipboardHistory h(TextFromPath(copy));
            const auto start = std::chrono::steady_clock::now();
            change(h, round);
            took = std::chrono::duration_cast<std::chrono::microseconds>(
                       std::chrono::steady_clock::now() - start)
                       .count();
        }
        const auto after = Load(copy);

        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ClipboardHistory h(folder.Text());
            if (write(ready[1], "", 1) != 1)
                _exit(2);
            change(h, round);
            _exit(0);
        }
        char go;
        ASSERT_EQ(read(ready[0], &go, 1), 1);
        close(ready[0]);
        close(ready[1]);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % (took + took / 5 + 1)));
        kill(child, SIGKILL);
        ASSERT_EQ(waitpid(child, nullptr, 0), child);

        const auto found = Load(live);
        ASSERT_TRUE(found == before || found == after)
            << "loaded " << found.size() << " entries, before " << before.size() << ", after "
            << after.size();
        (found == before ? keptOld : gotNew)++;
    }
    std::printf("crash safety: %d rounds kept the old history, %d had the new one\n", keptOld,
                gotNew);
}

}  // namespace
}  // namespace zovrel
