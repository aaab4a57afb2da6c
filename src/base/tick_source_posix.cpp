#include <time.h>

#include "base/tick_source.h"

namespace zovrel {
namespace {

class PosixTicks final : public TickSource {
  public:
    uint32_t Now() override {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + ts.tv_nsec / 1000000u;
        return static_cast<uint32_t>(ms);
    }
    void Sleep(uint32_t ms) override {
        timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
        while (nanosleep(&ts, &ts) != 0) {
        }
    }
    bool SleepUnlessWoken(uint32_t ms, WakeSignal& wake) override { return wake.WaitFor(ms); }
};

}  // namespace

TickSource& SystemTicks() {
    static PosixTicks ticks;
    return ticks;
}

}  // namespace zovrel
