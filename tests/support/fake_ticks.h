#pragma once

#include <atomic>
#include <functional>

#include "base/tick_source.h"

namespace zovrel::test {

// A clock that moves only when told to (or when someone sleeps on it).
class FakeTicks final : public zovrel::TickSource {
  public:
    explicit FakeTicks(uint32_t start = 1000) : now_(start) {}
    uint32_t Now() override { return now_.load(); }
    void Sleep(uint32_t ms) override {
        now_ += ms;
        if (onSleep)
            onSleep();
    }
    void Advance(uint32_t ms) { now_ += ms; }
    std::function<void()> onSleep;  // sees every sleep

  private:
    std::atomic<uint32_t> now_;
};

}  // namespace zovrel::test
