#include <gtest/gtest.h>

#include "gnss/clock_check.h"
#include "platform/text_codec.h"

using platform::CivilTime;
using platform::FakeClock;

namespace {

// A connected receiver on 7 Dec 2026 with a fix at `fixTime` and the RMC date of today.
GnssState Receiver(double fixTime) {
    GnssState s;
    s.valid = 1;
    s.satellites = 8;
    s.fixTime = fixTime;
    s.rmcDay = 7;
    s.rmcMonth = 12;
    s.rmcYear = 2026;
    return s;
}

// One second of the timer: offset, then check; the fake clock then moves on.
ClockCheckResult Second(GnssState& s, FakeClock& clock) {
    const CivilTime utc = clock.UtcNow();
    UpdateClockOffset(s, utc);
    ClockCheckResult r = RunClockCheck(s, clock, utc);
    clock.Advance(1000);
    s.fixTime += 1;  // the receiver's time moves on too (no minute carry in these tests)
    return r;
}

}  // namespace

TEST(ClockOffset, SecondsOnTheSameDateAndAMarkerOtherwise) {
    GnssState s = Receiver(101013.75);
    UpdateClockOffset(s, CivilTime{2026, 12, 1, 7, 10, 10, 10, 0});
    EXPECT_EQ(s.clockOffset, 3);
    EXPECT_EQ(s.gnssHour, 10);
    EXPECT_EQ(s.gnssMinute, 10);
    EXPECT_FLOAT_EQ(s.gnssSecond, 13.75f);
    UpdateClockOffset(s, CivilTime{2026, 12, 1, 7, 11, 10, 20, 0});
    EXPECT_EQ(s.clockOffset, -3600 - 7);
    s.rmcDay = 0;  // no RMC yet
    s.fixTime = 121500;
    UpdateClockOffset(s, CivilTime{2026, 12, 1, 7, 10, 10, 10, 0});
    EXPECT_EQ(s.clockOffset, kDateMismatchOffset);
    EXPECT_EQ(s.gnssHour, 12);
    EXPECT_EQ(s.gnssMinute, 10);  // kept from the last matching date
}

TEST(ClockCheck, NothingHappensWithoutARequest) {
    FakeClock clock(CivilTime{2026, 12, 1, 7, 10, 0, 0, 0});
    GnssState s = Receiver(103000);  // half an hour off
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(Second(s, clock).action, ClockCheckAction::None);
    EXPECT_TRUE(clock.SetRequests().empty());
    EXPECT_EQ(s.SyncState, kSyncIdle);
}

TEST(ClockCheck, RequestSetsTheClockThenConfirms) {
    FakeClock clock(CivilTime{2026, 12, 1, 7, 10, 0, 0, 0});
    GnssState s = Receiver(100003);  // GNSS 3 s ahead
    s.SyncState = kSyncRequested;
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Second(s, clock).action, ClockCheckAction::None);
    const ClockCheckResult set = Second(s, clock);
    ASSERT_EQ(set.action, ClockCheckAction::ClockSet);
    const CivilTime expected{2026, 12, 1, 7, 10, 0, 7, 0};  // the fix of the fifth second
    ASSERT_EQ(clock.SetRequests().size(), 1u);
    EXPECT_EQ(clock.SetRequests()[0], expected);
    EXPECT_EQ(set.newUtc, expected);
    EXPECT_TRUE(set.setAccepted);
    EXPECT_EQ(set.message, "Время изменено на 3с. Новое 10:00:07 UTC");
    EXPECT_EQ(set.eventLogLine, "26-12-07 10:00:04  " + platform::Utf8ToCp1251(set.message) + "\n");
    EXPECT_EQ(set.startShiftS, 3);
    EXPECT_EQ(set.dateText, "07-12-2026");
    EXPECT_STREQ(s.dateStamp, "261207");
    EXPECT_EQ(s.SyncState, kSyncChanged);
    // Four more qualifying seconds, then agreement.
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Second(s, clock).action, ClockCheckAction::None);
    const ClockCheckResult agreed = Second(s, clock);
    ASSERT_EQ(agreed.action, ClockCheckAction::Agreed);
    EXPECT_EQ(agreed.message, "Синхронность проверена 10:00:11 UTC");
    EXPECT_EQ(agreed.eventLogLine, "261207 " + platform::Utf8ToCp1251(agreed.message) + "\n");
    EXPECT_EQ(s.SyncState, kSyncIdle);
    EXPECT_EQ(s.checkCounter, 0);
    EXPECT_EQ(clock.SetRequests().size(), 1u);
}

TEST(ClockCheck, OneSecondAgreesTwoSecondsSet) {
    for (int offset : {-1, 1, -2, 2}) {
        FakeClock clock(CivilTime{2026, 12, 1, 7, 10, 0, 30, 0});
        GnssState s = Receiver(100030 + offset);
        s.SyncState = kSyncRequested;
        ClockCheckResult r;
        for (int i = 0; i < 5; ++i)
            r = Second(s, clock);
        EXPECT_EQ(r.action,
                  std::abs(offset) > 1 ? ClockCheckAction::ClockSet : ClockCheckAction::Agreed)
            << offset;
    }
}

TEST(ClockCheck, FewSatellitesHoldTheCounter) {
    FakeClock clock(CivilTime{2026, 12, 1, 7, 10, 0, 0, 0});
    GnssState s = Receiver(100010);
    s.SyncState = kSyncRequested;
    s.satellites = 3;
    for (int i = 0; i < 10; ++i)
        Second(s, clock);
    EXPECT_EQ(s.checkCounter, 0);
    s.satellites = 4;
    for (int i = 0; i < 4; ++i)
        Second(s, clock);
    EXPECT_EQ(s.checkCounter, 4);
}

TEST(ClockCheck, OtherDateSetsTheWholeFixTimeAndTheRmcDate) {
    // The computer believes it is 6 Dec 23:50; the receiver says 7 Dec 00:10:20.
    FakeClock clock(CivilTime{2026, 12, 0, 6, 23, 50, 0, 0});
    GnssState s = Receiver(1020);
    s.gnssMinute = 44;  // stale values from an earlier day must not leak into the new time
    s.gnssSecond = 44;
    s.SyncState = kSyncRequested;
    ClockCheckResult r;
    for (int i = 0; i < 5; ++i)
        r = Second(s, clock);
    ASSERT_EQ(r.action, ClockCheckAction::ClockSet);
    EXPECT_EQ(r.newUtc, (CivilTime{2026, 12, 1, 7, 0, 10, 24, 0}));
    EXPECT_EQ(r.message, "Время изменено на 1000с. Новое 00:10:24 UTC");
    EXPECT_STREQ(s.dateStamp, "261207");
}

TEST(ClockCheck, RefusedSetIsSeenAgainAtTheNextCheck) {
    FakeClock clock(CivilTime{2026, 12, 1, 7, 10, 0, 0, 0});
    clock.RefuseSet(true);
    GnssState s = Receiver(100020);
    s.SyncState = kSyncRequested;
    int sets = 0;
    for (int i = 0; i < 9; ++i) {
        const ClockCheckResult r = Second(s, clock);
        if (r.action == ClockCheckAction::ClockSet) {
            EXPECT_FALSE(r.setAccepted);
            ++sets;
        }
    }
    EXPECT_EQ(sets, 2);
    EXPECT_EQ(clock.SetRequests().size(), 2u);
}

TEST(ClockCheck, ImplausibleRmcDateFallsBackToTodaysDate) {
    FakeClock clock(CivilTime{2026, 12, 1, 7, 10, 0, 0, 0});
    GnssState s = Receiver(100020);
    s.rmcDay = 31;
    s.rmcMonth = 2;  // gp-320fw sends such garbage after a cold boot
    s.SyncState = kSyncRequested;
    ClockCheckResult r;
    for (int i = 0; i < 5; ++i)
        r = Second(s, clock);
    ASSERT_EQ(r.action, ClockCheckAction::ClockSet);
    EXPECT_EQ(r.newUtc.month, 12);
    EXPECT_EQ(r.newUtc.day, 7);
}

TEST(DateTexts, StampAndField) {
    char stamp[7];
    FormatDateStamp(stamp, CivilTime{2018, 12, 4, 27});
    EXPECT_STREQ(stamp, "181227");
    EXPECT_EQ(FormatDateField(CivilTime{2018, 12, 4, 27}), "27-12-2018");
}
