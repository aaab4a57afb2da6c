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

TEST(Calendar, CivilDaysAndFileTimesAgree) {
    EXPECT_EQ(DaysFromCivil(1970, 1, 1), 0);
    EXPECT_EQ(DaysFromCivil(2000, 3, 1) - DaysFromCivil(2000, 2, 28), 2);  // leap day
    // TZ=UTC is set for every test process.
    const LocalTime t = LocalTimeOfFileTime(116444736000000000ull + 86400ull * 10000000ull);
    EXPECT_EQ(t.year * 10000 + t.month * 100 + t.day, 19700102);
    EXPECT_EQ(t.hour, 0);
    EXPECT_GT(FileTimeNow(), 116444736000000000ull);
}

}  // namespace
}  // namespace zovrel
