#include "ui/decode_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <set>
#include <thread>
#include <vector>

namespace zovrel::ui {
namespace {

// The urgent request first, then the newest; what overflows goes from the old end and is handed
// back to the caller.
TEST(DecodeQueue, UrgentFirstThenNewestAndTheOldestDropped) {
    DecodeQueue<int> queue(3);
    std::vector<int> dropped;
    for (int i = 1; i <= 4; ++i) {
        dropped = queue.Push(i);
    }
    EXPECT_EQ(dropped, std::vector<int>{1});
    queue.PushUrgent(100);
    queue.PushUrgent(101);  // replaces 100, which is stale
    for (const int expected : {101, 4, 3, 2}) {
        EXPECT_EQ(queue.Pop(), expected);
    }
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
    EXPECT_EQ(served.size(), static_cast<size_t>(COUNT));
    EXPECT_EQ(std::set<int>(served.begin(), served.end()).size(), static_cast<size_t>(COUNT));
    EXPECT_FALSE(queue.Pop().has_value());
}

}  // namespace
}  // namespace zovrel::ui
