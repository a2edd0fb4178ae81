// The clearance sector: which points it takes and when it alarms.
#include <gtest/gtest.h>

#include <vector>

#include "scanner/clearance_check.h"

namespace {

using scanner::ClearanceMonitor;
using scanner::ClearanceSettings;

// A scanner at -45 deg with a 0.5 deg step and a 40 deg sector (-20..20):
// 80 points starting at index (-45 + 90 - 20) / 0.5 = 50.
ClearanceSettings Sector() {
    ClearanceSettings s;
    s.rotationAngle = -45.0f;
    s.clearanceStart = -20.0f;
    s.clearanceEnd = 20.0f;
    s.scanStep = 0.5f;
    s.alarmThreshold = 15;
    return s;
}

std::vector<uint32_t> Flat(uint32_t distance, size_t n = 541) {
    return std::vector<uint32_t>(n, distance);
}

TEST(ClearanceCheckTest, TheSectorStartsWhereTheAnglesPutIt) {
    ClearanceMonitor monitor;
    std::vector<uint32_t> scan(541);
    for (size_t i = 0; i < scan.size(); ++i)
        scan[i] = static_cast<uint32_t>(i);
    EXPECT_FALSE(monitor.Check(Sector(), scan.data(), 541));
    ASSERT_EQ(monitor.SectorPoints(), 80);
    EXPECT_EQ(monitor.PreviousWindow()[0], 50);
    EXPECT_EQ(monitor.PreviousWindow()[79], 129);
}

TEST(ClearanceCheckTest, AChangeOfMoreThanThresholdTimesTenAlarms) {
    ClearanceMonitor monitor;
    std::vector<uint32_t> road = Flat(3000);
    EXPECT_FALSE(monitor.Check(Sector(), road.data(), 541));  // nothing to compare with yet
    EXPECT_FALSE(monitor.Check(Sector(), road.data(), 541));

    std::vector<uint32_t> obstacle = road;
    obstacle[60] = 3000 - 150;  // exactly the threshold: no alarm
    EXPECT_FALSE(monitor.Check(Sector(), obstacle.data(), 541));
    obstacle[60] = 3000 - 150 - 151;  // 151 against the remembered 2850
    EXPECT_TRUE(monitor.Check(Sector(), obstacle.data(), 541));
    // The sector is remembered whether or not it alarmed: the same scan again is calm.
    EXPECT_FALSE(monitor.Check(Sector(), obstacle.data(), 541));
    // Outside the sector nothing counts.
    std::vector<uint32_t> outside = obstacle;
    outside[49] = 100;
    outside[130] = 100;
    EXPECT_FALSE(monitor.Check(Sector(), outside.data(), 541));
}

TEST(ClearanceCheckTest, PointsWithoutEchoOnEitherSideNeverAlarm) {
    ClearanceMonitor monitor;
    std::vector<uint32_t> road = Flat(3000);
    monitor.Check(Sector(), road.data(), 541);
    std::vector<uint32_t> lost = road;
    lost[70] = 1;  // no echo now
    EXPECT_FALSE(monitor.Check(Sector(), lost.data(), 541));
    EXPECT_FALSE(monitor.Check(Sector(), road.data(), 541));  // no echo before
    // A scan shorter than the sector leaves the rest of the window at 0.
    EXPECT_FALSE(monitor.Check(Sector(), road.data(), 60));
    EXPECT_EQ(monitor.PreviousWindow()[9], 3000);
    EXPECT_EQ(monitor.PreviousWindow()[10], 0);
}

TEST(ClearanceCheckTest, NarrowSectorsAndNoThresholdCheckNothing) {
    std::vector<uint32_t> a = Flat(3000), b = Flat(1000);
    ClearanceSettings s = Sector();
    s.clearanceEnd = s.clearanceStart + 0.1f;
    ClearanceMonitor narrow;
    narrow.Check(s, a.data(), 541);
    EXPECT_FALSE(narrow.Check(s, b.data(), 541));
    EXPECT_EQ(narrow.SectorPoints(), 0);

    s = Sector();
    s.alarmThreshold = 0;
    ClearanceMonitor off;
    off.Check(s, a.data(), 541);
    EXPECT_FALSE(off.Check(s, b.data(), 541));
}

TEST(ClearanceCheckTest, SectorsReachingOutsideTheScanStayInsideTheirBuffers) {
    ClearanceMonitor monitor;
    std::vector<uint32_t> a = Flat(3000, 1440), b = Flat(1000, 1440);
    ClearanceSettings s = Sector();
    // A sector starting before the first point: indices below 0 stay 0.
    s.rotationAngle = -200.0f;
    monitor.Check(s, a.data(), 1440);
    EXPECT_EQ(monitor.PreviousWindow()[0], 0);
    // A tiny step makes the sector wider than any scan: held at 1440 points.
    s = Sector();
    s.rotationAngle = -70.0f;  // the sector starts at the first point
    s.scanStep = 0.001f;
    monitor.Check(s, a.data(), 1440);
    EXPECT_EQ(monitor.SectorPoints(), 1440);
    EXPECT_TRUE(monitor.Check(s, b.data(), 1440));
    // Far past the end of the scan: all zero, no alarm.
    s = Sector();
    s.rotationAngle = 900.0f;
    EXPECT_FALSE(monitor.Check(s, a.data(), 1440));
    EXPECT_FALSE(monitor.Check(s, b.data(), 1440));
}

TEST(ClearanceCheckTest, ResetForgetsThePreviousSector) {
    ClearanceMonitor monitor;
    std::vector<uint32_t> a = Flat(3000), b = Flat(1000);
    monitor.Check(Sector(), a.data(), 541);
    monitor.Reset();
    EXPECT_FALSE(monitor.Check(Sector(), b.data(), 541));
}

}  // namespace
