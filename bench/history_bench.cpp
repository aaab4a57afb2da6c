// The history with 30 images of 10 MiB: what one captured text costs (time and bytes written),
// what loading that history at start-up costs (time and memory), and what a copy of its entries
// costs (the list copies one per row it draws).
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>
#include <chrono>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <utility>

#include "base/paths.h"
#include "base/text.h"
#include "clipboard/fingerprint.h"
#include "clipboard/history_store.h"

namespace zovrel {
namespace {

namespace fs = std::filesystem;

constexpr size_t IMAGE_BYTES = 10u * 1024 * 1024;

ClipboardEntry Image(uint32_t seed) {
    std::mt19937 rng(seed);
    ClipboardEntry e;
    e.kind = ENTRY_KIND_IMAGE;
    e.text = L"[截图]";
    e.imageFileName = L"clipboard.dib";
    Bytes bytes(IMAGE_BYTES);
    for (size_t i = 0; i < bytes.size(); i += 4) {
        const uint32_t v = rng();
        for (size_t k = 0; k < 4 && i + k < bytes.size(); ++k)
            bytes[i + k] = static_cast<uint8_t>(v >> (8 * k));
    }
    e.dataSize = static_cast<int64_t>(bytes.size());
    e.image = StoredImage(SharedBytes(std::move(bytes)));
    e.time = 1;
    return e;
}

ClipboardEntry Text(int n) {
    ClipboardEntry e;
    e.text = L"captured text number " + std::to_wstring(n) + L", about one line long";
    e.dataSize = static_cast<int64_t>(e.text.size());
    e.time = static_cast<uint64_t>(n);
    return e;
}

// A history folder with 30 images, made once per run and removed at exit.
class ImageHistory {
  public:
    ImageHistory() {
        folder_ = fs::temp_directory_path() / ("zovrel-history-bench-" + std::to_string(getpid()));
        fs::remove_all(folder_);
        ClipboardHistory history(Folder());
        for (uint32_t i = 0; i < MAX_HISTORY_ENTRIES; ++i)
            history.AddEntry(Image(i));
    }
    ~ImageHistory() {
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }
    std::wstring Folder() const { return TextFromPath(folder_); }

  private:
    fs::path folder_;
};

const ImageHistory& Shared() {
    static ImageHistory history;
    return history;
}

// Bytes this process has handed to write() so far.
uint64_t BytesWritten() {
    std::ifstream io("/proc/self/io");
    std::string key;
    uint64_t value = 0;
    while (io >> key >> value)
        if (key == "wchar:")
            return value;
    return 0;
}

// One capture as the watcher makes it: promote a matching entry, else add. With the history
// full, the add drops the oldest image; it is put back (untimed) so every round starts from
// 30 images.
void BM_CaptureTextWith30Images(benchmark::State& state) {
    ClipboardHistory history(Shared().Folder());
    int n = 0;
    uint64_t written = 0;
    uint64_t newBytes = 0;
    for (auto _ : state) {
        const ClipboardEntry text = Text(n++);
        ClipboardEntry dropped = *history.GetEntryAt(history.GetEntryCount() - 1);
        state.PauseTiming();
        SharedBytes droppedImage;
        dropped.image.Read(droppedImage);  // its file goes with it
        dropped.image = StoredImage(droppedImage);
        state.ResumeTiming();
        const uint64_t before = BytesWritten();
        if (!history.PromoteMatchingEntry(text))
            history.AddEntry(text);
        written += BytesWritten() - before;
        newBytes += ToUtf8(text.text).size();

        state.PauseTiming();
        history.RemoveEntry(0);
        history.AddEntry(dropped);
        state.ResumeTiming();
    }
    const double rounds = static_cast<double>(state.iterations());
    state.counters["bytes_written"] = static_cast<double>(written) / rounds;
    state.counters["entry_bytes"] = static_cast<double>(newBytes) / rounds;
    state.counters["written_over_entry"] =
        static_cast<double>(written) / rounds - static_cast<double>(newBytes) / rounds;
}
BENCHMARK(BM_CaptureTextWith30Images)->Iterations(20)->Unit(benchmark::kMillisecond);

// Bytes the heap has handed out and not taken back.
size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// The process's resident memory, in MiB.
double ResidentMiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            double kib = 0;
            status >> kib;
            return kib / 1024.0;
        }
        status.ignore(1 << 16, '\n');
    }
    return 0;
}

// Start-up: load the 30 image entries (their fingerprints as stored; no image is read). Memory is
// what the loaded store holds on the heap, and what the whole process has resident with it loaded.
void BM_LoadHistoryWith30Images(benchmark::State& state) {
    Shared();
    double heldMiB = 0;
    double residentMiB = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const size_t heapBefore = HeapInUse();
        state.ResumeTiming();
        auto history = std::make_unique<ClipboardHistory>(Shared().Folder());
        benchmark::DoNotOptimize(history->GetEntryCount());
        state.PauseTiming();
        heldMiB = static_cast<double>(HeapInUse() - heapBefore) / (1024.0 * 1024.0);
        residentMiB = ResidentMiB();
        history.reset();
        state.ResumeTiming();
    }
    state.counters["held_MiB"] = heldMiB;
    state.counters["resident_MiB"] = residentMiB;
}
BENCHMARK(BM_LoadHistoryWith30Images)->Iterations(3)->Unit(benchmark::kMillisecond);

// What the history list asks for each row it draws: a copy of one 10 MiB image entry (a file
// reference).
void BM_GetEntryAtOf10MiBImage(benchmark::State& state) {
    ClipboardHistory history(Shared().Folder());
    for (auto _ : state) {
        auto entry = history.GetEntryAt(0);
        benchmark::DoNotOptimize(entry->image.Size());
    }
}
BENCHMARK(BM_GetEntryAtOf10MiBImage)->Unit(benchmark::kMicrosecond);

// One repaint of a full list: a copy of each of the 30 image entries.
void BM_CopyAll30ImageEntries(benchmark::State& state) {
    ClipboardHistory history(Shared().Folder());
    for (auto _ : state) {
        for (int i = 0; i < history.GetEntryCount(); ++i) {
            auto entry = history.GetEntryAt(i);
            benchmark::DoNotOptimize(entry->image.Size());
        }
    }
}
BENCHMARK(BM_CopyAll30ImageEntries)->Unit(benchmark::kMicrosecond);

// What every capture would cost if stored images were hashed again each time: one of 30.
void BM_FingerprintOf10MiBImage(benchmark::State& state) {
    const ClipboardEntry image = Image(99);
    for (auto _ : state)
        benchmark::DoNotOptimize(ComputeFingerprint(image));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * IMAGE_BYTES));
}
BENCHMARK(BM_FingerprintOf10MiBImage)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zovrel
