#pragma once

#include <cstdint>

#include "base/wake_signal.h"

namespace zovrel {

// The millisecond tick counter (wraps every 49.7 days like GetTickCount) and sleeping. The send
// state machine, the serial reader and the watchdog take one, so tests can drive time by hand.
class TickSource {
  public:
    virtual ~TickSource() = default;
    virtual uint32_t Now() = 0;
    virtual void Sleep(uint32_t ms) = 0;
    // Sleeps `ms`, or less once `wake` is signalled; true when woken early. A clock driven by
    // hand has no other thread to wait for and just sleeps on itself.
    virtual bool SleepUnlessWoken(uint32_t ms, WakeSignal& wake) {
        (void)wake;
        Sleep(ms);
        return false;
    }
};

// The real clock of this platform.
TickSource& SystemTicks();

// True once `now` has reached `deadline`, correct across the counter's wrap.
inline bool TickReached(uint32_t now, uint32_t deadline) {
    return static_cast<int32_t>(now - deadline) >= 0;
}

}  // namespace zovrel
