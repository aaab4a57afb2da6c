#include <gtest/gtest.h>

#include "base/local_time.h"
#include "base/tick_source.h"

namespace zovrel {
namespace {

TEST(Ticks, DeadlinesSurviveTheCounterWrap) {
    const uint32_t start = 0xFFFFF000u;  // 4 s before the wrap
    const uint32_t deadline = start + 2000u;
    EXPECT_FALSE(TickReached(start + 1999u, deadline));
    EXPECT_TRUE(TickReached(start + 2000u, deadline));
    const uint32_t wrapped = start + 6000u;  // past zero
    EXPECT_FALSE(TickReached(wrapped, wrapped + 2000u));
    EXPECT_TRUE(TickReached(wrapped + 2000u, wrapped + 2000u));
}

}  // namespace
}  // namespace zovrel
