#include <benchmark/benchmark.h>

#include <time.h>

#include <random>

#include "protocol/frame_codec.h"
#include "protocol/frame_extractor.h"

namespace zovrel {
namespace {

constexpr size_t READ_SIZE = 8192;  // the serial reader's largest read

Bytes RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& x : b)
        x = static_cast<uint8_t>(rng());
    return b;
}

// The yardstick: the cheapest loop that touches every byte once.
__attribute__((noinline)) uint32_t PlainByteSum(const uint8_t* p, size_t n) {
    uint32_t sum = 0;
    for (size_t i = 0; i < n; ++i)
        sum += p[i];
    return sum;
}

void BM_ProtocolChecksum(benchmark::State& state) {
    const Bytes data = RandomBytes(static_cast<size_t>(state.range(0)), 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(ProtocolChecksum(data.data(), data.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_ProtocolChecksum)->Arg(64 << 10)->Arg(16 << 20);

void BM_PlainByteSum(benchmark::State& state) {
    const Bytes data = RandomBytes(static_cast<size_t>(state.range(0)), 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(PlainByteSum(data.data(), data.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_PlainByteSum)->Arg(64 << 10)->Arg(16 << 20);

// This thread's CPU time in seconds: the machine is shared, so wall time would also count the
// time other processes ran.
double ThreadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Both loops over the same buffer, alternating, so the ratio comes from one run under the
// same conditions: ratio = checksum throughput / byte-sum throughput.
void BM_ChecksumToByteSumRatio(benchmark::State& state) {
    const Bytes data = RandomBytes(static_cast<size_t>(state.range(0)), 2);
    double checksumTime = 0, byteSumTime = 0;
    for (auto _ : state) {
        const double t0 = ThreadSeconds();
        benchmark::DoNotOptimize(ProtocolChecksum(data.data(), data.size()));
        const double t1 = ThreadSeconds();
        benchmark::DoNotOptimize(PlainByteSum(data.data(), data.size()));
        const double t2 = ThreadSeconds();
        checksumTime += t1 - t0;
        byteSumTime += t2 - t1;
    }
    const double bytes = static_cast<double>(state.iterations()) * data.size();
    const double cs = bytes / checksumTime;
    const double bs = bytes / byteSumTime;
    state.counters["checksum_MBps"] = cs / 1e6;
    state.counters["bytesum_MBps"] = bs / 1e6;
    state.counters["ratio"] = cs / bs;
}
BENCHMARK(BM_ChecksumToByteSumRatio)->Arg(64 << 10)->Arg(16 << 20);

// Feeds the stream in serial-sized reads and takes out every frame, as the reader does.
void RunExtraction(benchmark::State& state, const Bytes& stream, size_t expectedFrames) {
    Bytes buffer;
    Frame frame;
    buffer.reserve(MAX_FRAME_SIZE + READ_SIZE);
    for (auto _ : state) {
        buffer.clear();
        size_t frames = 0;
        for (size_t pos = 0; pos < stream.size(); pos += READ_SIZE) {
            const size_t n = std::min(READ_SIZE, stream.size() - pos);
            buffer.insert(buffer.end(), stream.begin() + pos, stream.begin() + pos + n);
            while (ExtractFrame(buffer, frame))
                ++frames;
        }
        if (frames != expectedFrames)
            state.SkipWithError("wrong number of frames");
        benchmark::DoNotOptimize(frames);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
}

void BM_ExtractFrameCleanStream(benchmark::State& state) {
    constexpr size_t FRAMES = 200;
    Bytes stream;
    for (size_t k = 0; k < FRAMES; ++k) {
        const Bytes f = BuildFrame(CHANNEL_TRANSFER, MIDDLE_PACKET, static_cast<uint32_t>(k),
                                   RandomBytes(10240, static_cast<uint32_t>(k)));
        stream.insert(stream.end(), f.begin(), f.end());
    }
    RunExtraction(state, stream, FRAMES);
}
BENCHMARK(BM_ExtractFrameCleanStream);

void BM_ExtractFrameNoise(benchmark::State& state) {
    Bytes stream = RandomBytes(2 << 20, 9);
    // Make sure no accidental candidate turns out valid; random noise almost never declares
    // a payload length that small anyway.
    RunExtraction(state, stream, 0);
}
BENCHMARK(BM_ExtractFrameNoise);

}  // namespace
}  // namespace zovrel
