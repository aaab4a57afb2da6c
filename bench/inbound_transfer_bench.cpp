// Receiving from the device with no serial line in between: how fast the engine takes a file or
// an image pushed through DispatchFrame in 10240-byte chunks, and whether memory follows the
// size of a file (it should not: file chunks go straight to disk).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "base/notifier.h"
#include "base/paths.h"
#include "clipboard/clipboard_entry.h"
#include "protocol/frame_codec.h"
#include "protocol/message_bodies.h"
#include "settings/data_root.h"
#include "transfer/transfer_protocol.h"

namespace zovrel {
namespace {

namespace fs = std::filesystem;

class DropAll final : public Notifier {
  public:
    bool PostHistoryChanged() override { return true; }
    bool PostSerialStateChanged() override { return true; }
    bool PostLogText(std::wstring) override { return true; }
    bool PostReceivedEntry(std::unique_ptr<ClipboardEntry>) override { return true; }
    bool PostSendProgress(int, std::wstring) override { return true; }
    bool PostSendResult(bool, std::wstring) override { return true; }
};

class NullSerial final : public SerialChannel {
  public:
    bool IsOpen() override { return true; }
    bool Write(const Bytes&) override { return true; }
    void StampEcho() override {}
};

double PeakRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

double CurrentRssMiB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

// The payload repeats a 1 MiB pattern (a prime-sized period would be no better), so the device's
// side costs a copy per chunk and no copy of the whole payload is kept around.
constexpr size_t PATTERN_SIZE = 1u << 20;

const Bytes& Pattern() {
    static const Bytes pattern = [] {
        Bytes p(PATTERN_SIZE + DEFAULT_CHUNK_SIZE);
        for (size_t i = 0; i < p.size(); ++i)
            p[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
        return p;
    }();
    return pattern;
}

const uint8_t* PayloadAt(size_t position) {
    return Pattern().data() + position % PATTERN_SIZE;
}

uint32_t PayloadChecksum(size_t size) {
    uint32_t sum = 0;
    for (size_t start = 0; start < size; start += DEFAULT_CHUNK_SIZE) {
        const size_t n = std::min<size_t>(DEFAULT_CHUNK_SIZE, size - start);
        sum = ProtocolChecksumContinue(sum, PayloadAt(start), n, start);
    }
    return sum;
}

Bytes FirstPacket(uint16_t dataType, size_t size, uint32_t mcAdd, const char* name) {
    Bytes body(1 + DESCRIPTOR_SIZE, 0);
    body[0] = FIRST_FLAG;
    Bytes d(DESCRIPTOR_SIZE, 0);
    WriteLE16(d, 0, DESCRIPTOR_SIZE);
    WriteLE16(d, 2, dataType);
    for (size_t i = 0; name[i] && i < FILE_NAME_MAX_BYTES; ++i)
        d[4 + i] = static_cast<uint8_t>(name[i]);
    WriteLE32(d, 40, static_cast<uint32_t>(size + DESCRIPTOR_SIZE));
    WriteLE32(d, 44, mcAdd);
    WriteLE32(d, 48, ProtocolChecksum(d.data(), 48));
    std::copy(d.begin(), d.end(), body.begin() + 1);
    return BuildFrame(CHANNEL_TRANSFER, FIRST_PACKET, 1, body);
}

// One whole transfer; the device's side (building each frame) is counted in the time too.
void PushTransfer(benchmark::State& state, uint16_t dataType, size_t size, const char* name) {
    static DropAll window;
    static NullSerial serial;
    const fs::path root =
        fs::temp_directory_path() / ("zovrel-bench-inbound-" + std::to_string(getpid()));
    fs::create_directories(root);
    SetDataRootForProcess(TextFromPath(root));
    TransferProtocol& engine = GetTransferProtocol();
    engine.Attach(&window, &serial);

    const uint32_t mcAdd = PayloadChecksum(size);
    const Bytes first = FirstPacket(dataType, size, mcAdd, name);
    const Bytes finish = BuildFrame(CHANNEL_TRANSFER, FINISH_PACKET, 3);
    const double rssBefore = CurrentRssMiB();
    double rssGrowth = 0;
    bool ok = true;

    for (auto _ : state) {
        ok &= engine.DispatchFrame(first).size() == 1;
        for (size_t start = 0; start < size; start += DEFAULT_CHUNK_SIZE) {
            const size_t n = std::min<size_t>(DEFAULT_CHUNK_SIZE, size - start);
            const Bytes body = BuildMiddleBody(PayloadAt(start), n, static_cast<uint32_t>(start),
                                               static_cast<uint32_t>(start + n - 1));
            const ReplyList replies =
                engine.DispatchFrame(BuildFrame(CHANNEL_TRANSFER, MIDDLE_PACKET, 2, body));
            ok &= replies.size() == 1 && replies[0][FRAME_HEADER_SIZE] == 0;
        }
        rssGrowth = std::max(rssGrowth, CurrentRssMiB() - rssBefore);
        const ReplyList done = engine.DispatchFrame(finish);
        ok &= done.size() == 1 && done[0][FRAME_HEADER_SIZE] == 0;
    }
    if (!ok)
        state.SkipWithError("the engine refused a frame");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
    state.counters["rss_growth_MiB"] = rssGrowth;
    state.counters["peak_rss_MiB"] = PeakRssMiB();

    engine.Detach();
    SetDataRootForProcess(L"");
    std::error_code ec;
    fs::remove_all(root, ec);
}

void BM_ReceiveFile(benchmark::State& state) {
    PushTransfer(state, DATA_TYPE_FILE, static_cast<size_t>(state.range(0)) << 20, "bench.bin");
}
void BM_ReceiveImage(benchmark::State& state) {
    PushTransfer(state, DATA_TYPE_IMAGE, static_cast<size_t>(state.range(0)) << 20, "bench.png");
}

// Files first, small then large: memory that followed the file's size would show as growth.
BENCHMARK(BM_ReceiveFile)->Arg(5)->Arg(50)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReceiveImage)->Arg(10)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace zovrel
