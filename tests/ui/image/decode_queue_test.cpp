#include "ui/decode_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <numeric>
#include <optional>
#include <thread>
#include <vector>

namespace zovrel::ui {
namespace {

// The urgent request first, then the newest; what overflows goes from the old end and is handed
// back to the caller.
TEST(DecodeQueue, UrgentFirstThenNewestAndTheOldestDropped) {
    DecodeQueue<int> queue(3);
    EXPECT_TRUE(queue.Push(1).empty());
    EXPECT_TRUE(queue.Push(2).empty());
    EXPECT_TRUE(queue.Push(3).empty());
    EXPECT_EQ(queue.Push(4), std::vector<int>{1});
    queue.PushUrgent(100);
    queue.PushUrgent(101);  // replaces 100, which is stale
    std::vector<int> served;
    for (int i = 0; i < 4; ++i) {
        served.push_back(*queue.Pop());
    }
    EXPECT_EQ(served, (std::vector<int>{101, 4, 3, 2}));
}

// One thread pushes while the other serves each request once; Stop wakes the waiting worker.
// Run under ThreadSanitizer (label threads).
TEST(DecodeQueue, ServesAnotherThreadAndStopWakesIt) {
    constexpr int COUNT = 500;
    DecodeQueue<int> queue(COUNT);
    std::atomic<int> taken{0};
    std::vector<int> served;  // the worker's alone until it is joined
    std::thread worker([&] {
        while (std::optional<int> request = queue.Pop()) {
            served.push_back(*request);
            ++taken;
        }
    });
    for (int i = 0; i < COUNT; ++i) {
        EXPECT_TRUE(queue.Push(i).empty());
    }
    while (taken < COUNT) {
        std::this_thread::yield();
    }
    queue.Stop();
    worker.join();
    std::sort(served.begin(), served.end());
    std::vector<int> all(COUNT);
    std::iota(all.begin(), all.end(), 0);
    EXPECT_EQ(served, all);
    EXPECT_FALSE(queue.Pop().has_value());
}

}  // namespace
}  // namespace zovrel::ui
