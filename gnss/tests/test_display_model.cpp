#include <gtest/gtest.h>

#include <cstring>

#include "gnss/display_model.h"
#include "gnss/gnss_texts.h"
#include "platform/text_codec.h"

using platform::CivilTime;
using platform::FakeClock;

namespace {

// What a control shows after the updates are applied in order.
std::string TextOf(const DisplayUpdate& u, int id) {
    std::string text = "<none>";
    for (const FieldUpdate& f : u.fields) {
        if (f.id == id && f.text)
            text = *f.text;
    }
    return text;
}

Colour ColourOf(const DisplayUpdate& u, int id) {
    Colour colour = kNoColour;
    for (const FieldUpdate& f : u.fields) {
        if (f.id == id && f.colour)
            colour = *f.colour;
    }
    return colour;
}

struct Panel : ::testing::Test {
    FakeClock clock{CivilTime{2026, 12, 1, 7, 9, 30, 0, 0}, -180};
    GnssState s;
    DisplayModel model{clock, s};

    void SetUp() override {
        s.valid = 1;
        s.satellites = 7;
        s.fixTime = 93000;
        s.rmcDay = 7;
        s.rmcMonth = 12;
        s.rmcYear = 2026;
    }
    DisplayUpdate Seconds(int n) {
        DisplayUpdate u;
        for (int i = 0; i < n; ++i) {
            clock.Advance(1000);
            s.fixTime += 1;
            u = model.Tick(s);
        }
        return u;
    }
};

}  // namespace

TEST(SatellitesText, UsedPlusOthersAndColour) {
    GnssState s;
    s.satellites = 7;
    s.usedSatellites = 4;
    FieldUpdate f = SatellitesField(s);
    EXPECT_EQ(*f.text, "Спут 4+3");
    EXPECT_EQ(*f.colour, kGreen);
    s.satellites = 3;
    s.usedSatellites = 5;
    f = SatellitesField(s);
    EXPECT_EQ(*f.text, "Спут 3");
    EXPECT_EQ(*f.colour, kRed);
}

TEST_F(Panel, StartValues) {
    EXPECT_EQ(*model.StartTimeField().text, "12:30:00");  // Moscow local time
    EXPECT_STREQ(s.dateStamp, "261207");
}

TEST_F(Panel, NothingWhileDisconnected) {
    s.valid = 0;
    const DisplayUpdate u = Seconds(40);
    EXPECT_TRUE(u.fields.empty());
    EXPECT_TRUE(u.eventLogLines.empty());
}

TEST_F(Panel, FreshFixValuesAndLimits) {
    s.freshFix = 2;
    s.tripDistance = 1234.56;
    s.totalDistance = 98765.4;
    s.speed = 31;
    s.acceleration = -2.5f;
    const DisplayUpdate u = Seconds(1);
    EXPECT_EQ(TextOf(u, kIdRunTime), "00:00:01");
    EXPECT_EQ(TextOf(u, kIdTrip), "1234.6 м");
    EXPECT_EQ(TextOf(u, kIdTotal), "98765 м");
    EXPECT_EQ(TextOf(u, kIdSpeed), "112 км/ч");
    EXPECT_EQ(ColourOf(u, kIdSpeed), kRed);
    EXPECT_EQ(TextOf(u, kIdAcceleration), "2.5 м/с2");
    EXPECT_EQ(ColourOf(u, kIdAcceleration), kRed);
    EXPECT_EQ(s.freshFix, 0);
    s.freshFix = 2;
    s.speed = 10;
    s.acceleration = 1.0f;
    const DisplayUpdate v = Seconds(1);
    EXPECT_EQ(ColourOf(v, kIdSpeed), kLightBlue);
    EXPECT_EQ(ColourOf(v, kIdAcceleration), kLightBlue);
}

TEST_F(Panel, GnssTimeInUtcAndLocal) {
    const DisplayUpdate u = Seconds(1);
    EXPECT_EQ(TextOf(u, kIdUtcTime), "09:30:01");
    EXPECT_EQ(TextOf(u, kIdLocalTime), "12:30:01");
    EXPECT_EQ(ColourOf(u, kIdUtcTime), kLightBlue);
    EXPECT_EQ(model.InfoMessage(), gnss_text::kSyncChecked);
}

TEST_F(Panel, LocalHourWrapsAndKeepsHalfHourZones) {
    s.fixTime = 225958;
    EXPECT_EQ(TextOf(Seconds(1), kIdLocalTime), "01:59:59");
    FakeClock india(CivilTime{2026, 12, 1, 7, 22, 59, 0, 0}, -330);
    GnssState t = s;
    DisplayModel m(india, t);
    t.fixTime = 225900;
    EXPECT_EQ(TextOf(m.Tick(t), kIdLocalTime), "04:29:00");
}

TEST_F(Panel, OffsetBeyondFiveSecondsIsFlagged) {
    s.fixTime = 93010;
    const DisplayUpdate u = Seconds(1);
    EXPECT_EQ(ColourOf(u, kIdUtcTime), kRed);
    EXPECT_EQ(ColourOf(u, kIdUtcLabel), kRed);
    EXPECT_EQ(ColourOf(u, kIdInfo), kYellow);
    EXPECT_EQ(model.InfoMessage(), gnss_text::kOffsetLost);
}

TEST_F(Panel, StaleValuesTurnYellowAndALongGapResetsTheTrip) {
    s.freshFix = 2;
    s.tripDistance = 500;
    Seconds(1);
    DisplayUpdate u = Seconds(2);
    EXPECT_EQ(ColourOf(u, kIdSpeed), kNoColour);
    u = Seconds(1);  // 3 s without a fix
    for (int id : {kIdTrip, kIdAcceleration, kIdSpeed, kIdTotal})
        EXPECT_EQ(ColourOf(u, id), kYellow) << id;
    u = Seconds(27);  // 30 s: not yet
    EXPECT_TRUE(u.eventLogLines.empty());
    EXPECT_EQ(s.tripDistance, 500);
    u = Seconds(1);  // 31 s
    ASSERT_EQ(u.eventLogLines.size(), 1u);
    EXPECT_EQ(u.eventLogLines[0],
              platform::Utf8ToCp1251("26-12-07 09:30:32 UTC Нет данных > 30c, путь обнулен\n"));
    EXPECT_EQ(TextOf(u, kIdTrip), "0 м");
    EXPECT_EQ(s.tripDistance, 0);
    EXPECT_EQ(*u.infoMessage, gnss_text::kDataGap);
    u = Seconds(30);
    EXPECT_TRUE(u.eventLogLines.empty());
    u = Seconds(1);  // and again 31 s later
    EXPECT_EQ(u.eventLogLines.size(), 1u);
}

TEST_F(Panel, ClockChangeRestartsTheRunTimeAndShiftsTheStart) {
    s.fixTime = 93003;  // 3 s ahead
    s.SyncState = kSyncRequested;
    DisplayUpdate u = Seconds(5);
    ASSERT_EQ(u.clock.action, ClockCheckAction::ClockSet);
    EXPECT_EQ(TextOf(u, kIdStartTime), "12:30:03");
    EXPECT_EQ(TextOf(u, kIdDate), "07-12-2026");
    EXPECT_EQ(model.InfoMessage(), u.clock.message);
    ASSERT_EQ(u.eventLogLines.size(), 1u);
    EXPECT_EQ(model.RunSeconds(), 0u);
    u = Seconds(2);
    EXPECT_EQ(TextOf(u, kIdRunTime), "00:00:02");
    EXPECT_TRUE(u.eventLogLines.empty());  // no false data gap after the restart
    u = Seconds(2);
    ASSERT_EQ(u.clock.action, ClockCheckAction::Agreed);
    EXPECT_EQ(ColourOf(u, kIdDate), kLightBlue);
}

TEST_F(Panel, DateStampFollowsUtcMidnight) {
    clock.SetNow(CivilTime{2026, 12, 1, 7, 23, 59, 57, 0});
    std::strcpy(s.dateStamp, "261207");
    s.fixTime = 235958;  // GNSS a second ahead of the computer
    model.Tick(s);
    s.fixTime = 235959;
    clock.Advance(1000);
    model.Tick(s);
    s.fixTime = 0;  // GNSS at midnight, the computer still at 23:59:59
    clock.Advance(1000);
    model.Tick(s);
    EXPECT_STREQ(s.dateStamp, "261207");
    s.fixTime = 1;
    clock.Advance(1000);
    model.Tick(s);
    EXPECT_STREQ(s.dateStamp, "261208");
    for (int i = 0; i < 5; ++i) {  // and only once
        s.fixTime += 1;
        clock.Advance(1000);
        model.Tick(s);
    }
    EXPECT_STREQ(s.dateStamp, "261208");
}

TEST_F(Panel, ResetButton) {
    s.tripDistance = 42;
    const FieldUpdate f = model.ResetTrip(s);
    EXPECT_EQ(s.tripDistance, 0);
    EXPECT_EQ(*f.text, "0 м");
}

TEST(ControlLayout, TableAndTooltips) {
    const auto& t = ControlTable();
    EXPECT_EQ(t.size(), 21u);
    for (const ControlLayout& c : t) {
        EXPECT_LE(c.x + c.width, kClientWidth) << c.id;
        if (c.id != kIdPortList) {  // the drop-down list may hang below the window
            EXPECT_LE(c.y + c.height, kClientHeight) << c.id;
        }
    }
    EXPECT_STREQ(TooltipFor(kIdTrip), TooltipFor(kIdTripLabel));
    EXPECT_STREQ(TooltipFor(kIdSatellites), "Рабочее количество спутников GPS+GLONASS");
    EXPECT_EQ(TooltipFor(kIdLocalTime), nullptr);
    EXPECT_EQ(TooltipFor(9999), nullptr);
}

TEST(WindowPlacement, StaysOnScreen) {
    const WindowRect left = KeepOnScreen({-40, 100, 147, 340}, 187, 240, 1280, 1024);
    EXPECT_EQ(left.left, 0);
    EXPECT_EQ(left.right, 187);
    const WindowRect corner = KeepOnScreen({1200, 900, 1387, 1140}, 187, 240, 1280, 1024);
    EXPECT_EQ(corner.left, 1280 - 187);
    EXPECT_EQ(corner.top, 1024 - 240);
    const WindowRect inside = KeepOnScreen({10, 10, 197, 250}, 187, 240, 1280, 1024);
    EXPECT_EQ(inside.left, 10);
    EXPECT_EQ(inside.bottom, 250);
}
