#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace zovrel {

// Wakes one waiting thread early, like an auto-reset event: a Signal given while nobody waits is
// kept for the next wait, so a wake-up is never lost between a look at shared state and the wait.
// Its lock is innermost: nothing else is taken while it is held.
class WakeSignal {
  public:
    void Signal() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            signalled_ = true;
        }
        woken_.notify_one();
    }

    // Waits until signalled or `ms` have passed; true when signalled. Either way the signal is
    // used up.
    bool WaitFor(uint32_t ms) {
        std::unique_lock<std::mutex> lock(mutex_);
        const bool signalled =
            woken_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return signalled_; });
        signalled_ = false;
        return signalled;
    }

  private:
    std::mutex mutex_;
    std::condition_variable woken_;
    bool signalled_ = false;
};

}  // namespace zovrel
