// Kills a process in the middle of history changes and checks that what it leaves behind always
// loads as the whole history before the change or the whole history after it.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <random>
#include <thread>

#include "clipboard/history_store.h"
#include "clipboard/history_test_support.h"

namespace zovrel {
namespace {

namespace fs = std::filesystem;

// Content and order of a loaded history; the time of a promoted entry is left out, since the
// entry's own file carries it and may already hold the new one while the index is still old.
struct Snapshot {
    std::vector<int64_t> ids;
    std::vector<std::wstring> fingerprints;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Load(const std::wstring& folder) {
    ClipboardHistory history(folder);
    Snapshot s;
    for (const auto& e : history.GetEntries()) {
        s.ids.push_back(e.id);
        s.fingerprints.push_back(ComputeFingerprint(e));
    }
    return s;
}

using Change = std::function<void(ClipboardHistory&)>;

std::vector<Change> Changes(std::mt19937& random) {
    const auto image = [&random] {
        Bytes bytes(96 * 1024);
        for (auto& b : bytes)
            b = static_cast<uint8_t>(random());
        return test::ImageEntry(std::move(bytes), L"shot.png", 5);
    }();
    return {
        [](ClipboardHistory& h) {
            h.AddEntry(test::TextEntry(L"text " + std::to_wstring(h.GetEntryCount()) +
                                       std::wstring(20000, L'x')));
        },
        [image](ClipboardHistory& h) {
            ClipboardEntry e = image;
            e.imageBytes[0] = static_cast<uint8_t>(h.GetEntryCount());
            e.imageBytes[1] = static_cast<uint8_t>(h.GetEntryAt(0) ? h.GetEntryAt(0)->id : 0);
            h.AddEntry(e);
        },
        [](ClipboardHistory& h) {
            if (auto e = h.GetEntryAt(h.GetEntryCount() - 1)) {
                e->time += 1000;
                h.PromoteMatchingEntry(*e);
            }
        },
        [](ClipboardHistory& h) { h.RemoveEntry(h.GetEntryCount() / 2); },
        [](ClipboardHistory& h) { h.MoveEntryToTop(h.GetEntryCount() - 1); },
        [](ClipboardHistory& h) {
            h.AddEntry(test::FilesEntry({L"/tmp/f" + std::to_wstring(h.GetEntryCount())}));
        },
    };
}

TEST(HistoryCrashSafety, KilledSavesLeaveTheOldOrTheNewHistory) {
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    test::TempFolder folder;
    test::TempFolder scratchRoot;
    const fs::path live = PathFromText(folder.Text());
    const fs::path scratch = PathFromText(scratchRoot.Text()) / "copy";
    {
        ClipboardHistory h(folder.Text());
        for (int i = 0; i < 30; ++i)
            h.AddEntry(test::TextEntry(L"seed " + std::to_wstring(i)));
    }
    const std::vector<Change> changes = Changes(random);

    int keptOld = 0;
    int gotNew = 0;
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const bool clear = round % 67 == 66;
        const Change change = clear ? Change([](ClipboardHistory& h) { h.ClearHistory(); })
                                    : changes[random() % changes.size()];
        const Snapshot before = Load(folder.Text());

        // The same change, undisturbed, on a copy: the state it must lead to and how long it takes.
        fs::remove_all(scratch);
        fs::copy(live, scratch, fs::copy_options::recursive);
        std::chrono::microseconds took{};
        {
            ClipboardHistory copy(TextFromPath(scratch));
            const auto start = std::chrono::steady_clock::now();
            change(copy);
            took = std::chrono::duration_cast<std::chrono::microseconds>(
                std::chrono::steady_clock::now() - start);
        }
        const Snapshot after = Load(TextFromPath(scratch));

        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(ready[0]);
            ClipboardHistory h(folder.Text());
            const char go = 1;
            if (write(ready[1], &go, 1) != 1)
                _exit(2);
            change(h);
            _exit(0);
        }
        close(ready[1]);
        char go = 0;
        ASSERT_EQ(read(ready[0], &go, 1), 1);
        close(ready[0]);
        const auto limit = took.count() + took.count() / 5 + 1;
        std::this_thread::sleep_for(std::chrono::microseconds(random() % limit));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);

        const Snapshot found = Load(folder.Text());
        if (found == before) {
            ++keptOld;
        } else if (found == after) {
            ++gotNew;
        } else {
            ADD_FAILURE() << "loaded " << found.ids.size() << " entries: neither the "
                          << before.ids.size() << " before nor the " << after.ids.size()
                          << " after the change";
            break;
        }
    }
    std::printf("crash safety: %d rounds kept the old history, %d had the new one\n", keptOld,
                gotNew);
}

}  // namespace
}  // namespace zovrel
