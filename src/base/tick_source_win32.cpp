#include <windows.h>

#include "base/tick_source.h"

namespace zovrel {
namespace {

class Win32Ticks final : public TickSource {
  public:
    uint32_t Now() override { return GetTickCount(); }
    void Sleep(uint32_t ms) override { ::Sleep(ms); }
    bool SleepUnlessWoken(uint32_t ms, WakeSignal& wake) override { return wake.WaitFor(ms); }
};

}  // namespace

TickSource& SystemTicks() {
    static Win32Ticks ticks;
    return ticks;
}

}  // namespace zovrel
