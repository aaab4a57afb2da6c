#include <benchmark/benchmark.h>

#include <ctime>
#include <filesystem>
#include <random>
#include <utility>

#include "base/paths.h"
#include "clipboard/clipboard_entry.h"
#include "protocol/frame_codec.h"
#include "protocol/message_bodies.h"
#include "settings/data_root.h"
#include "transfer/outbound_send.h"
#include "transfer/protocol_engine.h"

namespace zovrel {
namespace {

// Time passes only when the sender sleeps, so pacing costs no real time.
class InstantClock final : public TickSource {
  public:
    uint32_t Now() override { return now_; }
    void Sleep(uint32_t ms) override { now_ += ms; }

  private:
    uint32_t now_ = 1000;
};

// Answers every frame at once through the dispatcher, as a device with no latency would.
class InstantDevice final : public SerialChannel {
  public:
    bool IsOpen() override { return true; }
    bool Write(const Bytes& frame) override {
        FrameHeader h;
        ParseFrameHeader(frame.data(), frame.size(), h);
        engine->DispatchFrame(h.type == DEVICE_QUERY
                                  ? BuildDeviceQueryRsp(CHANNEL_TRANSFER, h.sn, 10304, 0)
                                  : BuildGeneralReply(CHANNEL_TRANSFER, h.sn, 0, 2));
        return true;
    }
    void StampEcho() override {}
    ProtocolEngine* engine = nullptr;
};

ClipboardEntry TenMiBImage() {
    std::mt19937 rng(7);
    ClipboardEntry e;
    e.kind = ENTRY_KIND_IMAGE;
    e.imageFileName = L"shot.png";
    Bytes bytes(10 << 20);
    for (auto& b : bytes)
        b = static_cast<uint8_t>(rng());
    e.image = StoredImage(SharedBytes(std::move(bytes)));
    return e;
}

// A whole send, log lines included, against one checksum pass over the same image: the
// ratio says how many such passes a send costs.
void BM_SendTenMiBImage(benchmark::State& state) {
    const auto root = std::filesystem::temp_directory_path() / "zovrel-send-bench";
    std::filesystem::create_directories(root);
    SetDataRootForProcess(TextFromPath(root));

    const ClipboardEntry entry = TenMiBImage();
    InstantClock clock;
    InstantDevice device;
    ProtocolEngine engine(nullptr, &device);
    device.engine = &engine;

    // Process CPU time, like the benchmark's own figure: other work on a shared machine does
    // not count.
    double sendSeconds = 0, checksumSeconds = 0;
    for (auto _ : state) {
        std::wstring error;
        const std::clock_t t0 = std::clock();
        if (!SendEntry(engine, clock, entry, nullptr, error))
            state.SkipWithError("send failed");
        const std::clock_t t1 = std::clock();
        benchmark::DoNotOptimize(ProtocolChecksum(entry.image.MemoryBytes()));
        const std::clock_t t2 = std::clock();
        sendSeconds += static_cast<double>(t1 - t0) / CLOCKS_PER_SEC;
        checksumSeconds += static_cast<double>(t2 - t1) / CLOCKS_PER_SEC;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * entry.image.Size()));
    state.counters["checksum_passes"] = sendSeconds / checksumSeconds;

    SetDataRootForProcess(L"");
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
}
BENCHMARK(BM_SendTenMiBImage)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zovrel
