#pragma once

#include <atomic>

#include "base/tick_source.h"

namespace zovrel::test {

// A clock that moves only when told to (or when someone sleeps on it).
class FakeTicks final : public zovrel::TickSource {
public:
    explicit FakeTicks(uint32_t start = 1000) : now_(start) {}
    uint32_t Now() override { return now_.load(); }
    void Sleep(uint32_t ms) override {
        now_ += ms;
        sleeps_ += 1;
    }
    void Advance(uint32_t ms) { now_ += ms; }
    int sleeps() const { return sleeps_.load(); }

private:
    std::atomic<uint32_t> now_;
    std::atomic<int> sleeps_{0};
};

}  // namespace zovrel::test
