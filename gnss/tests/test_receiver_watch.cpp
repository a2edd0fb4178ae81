#include <gtest/gtest.h>

#include "gnss/receiver_watch.h"

using platform::CivilTime;
using platform::FakeClock;

TEST(ReceiverWatch, FiveSecondsWithoutBytes) {
    ReceiverWatch w;
    w.Start(1000);
    EXPECT_EQ(w.WaitMs(1000), 5000u);
    EXPECT_FALSE(w.Lost(5999));
    w.NoteData(4000);
    EXPECT_EQ(w.WaitMs(6000), 3000u);
    EXPECT_FALSE(w.Lost(8999));
    EXPECT_TRUE(w.Lost(9000));
    EXPECT_EQ(w.WaitMs(20000), 0u);
}

namespace {

// A receiver on `port` at `speed`; a silent probe costs 1.1 s, a good one 0.3 s.
struct Bench {
    FakeClock clock{CivilTime{2026, 12, 1, 7, 10, 0, 0, 0}};
    int32_t receiverPort = 0, receiverSpeed = 0;
    std::vector<std::pair<int32_t, int32_t>> tried;
    PortProbe Probe() {
        return [this](GnssState& s) {
            tried.emplace_back(s.port, s.serialSpeed);
            const bool ok = s.port == receiverPort && s.serialSpeed == receiverSpeed;
            clock.Advance(ok ? 300 : 1100);
            return ok;
        };
    }
};

}  // namespace

TEST(PortSearch, ConfiguredPortAtAnotherSpeed) {
    Bench b;
    b.receiverPort = 3;
    b.receiverSpeed = 115200;
    GnssState s;
    s.port = 3;
    s.serialSpeed = 57600;
    const PortSearchResult r = SearchReceiver(s, {1, 3, 4}, b.Probe(), b.clock);
    EXPECT_EQ(r.port, 3);
    EXPECT_EQ(s.serialSpeed, 115200);
    EXPECT_EQ(b.tried, (std::vector<std::pair<int32_t, int32_t>>{{3, 57600}, {3, 115200}}));
}

TEST(PortSearch, MissingConfiguredPortScansFromTheHighest) {
    Bench b;
    b.receiverPort = 2;
    b.receiverSpeed = 115200;
    GnssState s;
    s.port = 7;
    s.serialSpeed = 115200;
    const PortSearchResult r = SearchReceiver(s, {2, 5}, b.Probe(), b.clock);
    EXPECT_EQ(r.port, 2);
    ASSERT_FALSE(b.tried.empty());
    EXPECT_EQ(b.tried.front(), std::make_pair(5, 115200));
}

TEST(PortSearch, ScanGivesUpAfterFiveSeconds) {
    Bench b;
    GnssState s;
    const uint64_t start = b.clock.TickMs();
    const PortSearchResult r = SearchReceiver(s, {1, 2}, b.Probe(), b.clock);
    EXPECT_EQ(r.port, 0);
    EXPECT_TRUE(r.closePort);
    EXPECT_EQ(b.tried.size(), 5u);  // 5.5 s of probes; the sixth is not started
    EXPECT_LT(b.clock.TickMs() - start, 6000u);
}

TEST(PortSearch, SlowConfiguredPortEndsTheAttempt) {
    Bench b;
    GnssState s;
    s.port = 1;
    s.serialSpeed = 9600;
    // A probe that hangs for 16 s: no further speeds, no scan.
    auto slow = [&](GnssState&) {
        b.clock.Advance(16000);
        return false;
    };
    const PortSearchResult r = SearchReceiver(s, {1, 2}, slow, b.clock);
    EXPECT_EQ(r.port, 0);
    EXPECT_FALSE(r.closePort);
}
