#include <gtest/gtest.h>

#include "platform/clock.h"

using namespace platform;

TEST(Clock, CivilAndFileTimeConvertBothWays) {
    const CivilTime epoch{1970, 1, 4, 1, 0, 0, 0, 0};
    EXPECT_EQ(CivilToFileTime(epoch), 116444736000000000ull);
    EXPECT_EQ(FileTimeToCivil(116444736000000000ull), epoch);
    const CivilTime leap{2024, 2, 4, 29, 23, 59, 59, 999};
    EXPECT_EQ(FileTimeToCivil(CivilToFileTime(leap)), leap);
    const CivilTime newYear{2027, 1, 5, 1, 0, 0, 0, 0};  // a Friday
    EXPECT_EQ(FileTimeToCivil(CivilToFileTime(newYear)), newYear);
}

TEST(Clock, FakeClockMovesOnlyWhenTold) {
    FakeClock clock(CivilTime{2026, 12, 1, 7, 23, 59, 59, 500}, -180);
    EXPECT_EQ(clock.UtcNow().hour, 23);
    EXPECT_EQ(clock.LocalNow().day, 8);  // Moscow is three hours ahead
    EXPECT_EQ(clock.LocalNow().hour, 2);
    const uint64_t tick = clock.TickMs();
    clock.Advance(600);
    EXPECT_EQ(clock.TickMs(), tick + 600);
    EXPECT_EQ(clock.UtcNow().day, 8);
    EXPECT_EQ(clock.UtcNow().milliseconds, 100);
}

TEST(Clock, FakeClockRecordsSetRequestsAndCanRefuse) {
    FakeClock clock;
    const CivilTime t{2026, 12, 3, 9, 10, 11, 12, 0};
    EXPECT_TRUE(clock.SetUtc(t));
    EXPECT_EQ(clock.UtcNow(), t);
    clock.RefuseSet(true);
    CivilTime later = t;
    later.hour = 11;
    EXPECT_FALSE(clock.SetUtc(later));
    EXPECT_EQ(clock.UtcNow(), t);
    ASSERT_EQ(clock.SetRequests().size(), 2u);
    Clock* previous = SetClock(&clock);
    EXPECT_EQ(&CurrentClock(), &clock);
    SetClock(previous);
}
