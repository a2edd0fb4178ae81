#include <gtest/gtest.h>

#include <string>

#include "gnss/nmea_parser.h"
#include "gnss/tests/nmea_builders.h"

using gnss_test::Gga;
using gnss_test::Sentence;

namespace {

// A state as after the probe: configured position, no fix yet.
GnssState Fresh() {
    GnssState s;
    s.latitude = 56;
    s.longitude = 37;
    return s;
}

}  // namespace

TEST(NmeaChecksum, AcceptsUppercaseAndCutsAfterTheDigits) {
    const std::string gga = Gga("120000.00", "5600.0000", "03700.0000", "08");
    EXPECT_EQ(ChecksumPassed(gga + "junk after"), gga);
    EXPECT_EQ(ChecksumPassed(gga), gga);
}

TEST(NmeaChecksum, RejectsLowercaseMissingShortAndWrongDigits) {
    // ch-4711's first GGA, whose checksum has a letter.
    const std::string ok =
        "$GNGGA,135651.997,5543.0328,N,03724.7198,E,1,06,01.8,165.6,M,14.6,M,,*73";
    ASSERT_FALSE(ChecksumPassed(ok).empty());
    const std::string rmc =
        "$GPRMC,132820.60,A,4134.49821229,N,09345.03351845,W,3.252,92.308,"
        "180320,11.5985,E,D*1A";
    ASSERT_FALSE(ChecksumPassed(rmc).empty());
    EXPECT_TRUE(ChecksumPassed(rmc.substr(0, rmc.size() - 2) + "1a").empty());
    EXPECT_TRUE(ChecksumPassed(rmc.substr(0, rmc.size() - 1)).empty());  // one digit
    EXPECT_TRUE(ChecksumPassed(rmc.substr(0, rmc.size() - 3)).empty());  // no star
    EXPECT_TRUE(ChecksumPassed(rmc.substr(0, rmc.size() - 2) + "1B").empty());
}

TEST(NmeaClassify, FindsTheTagsInOrderAndSkipsNoiseBeforeThem) {
    EXPECT_EQ(ClassifyLine("\x1b[0m$GPGSA,A,3,01").kind, SentenceKind::Gsa);
    EXPECT_EQ(ClassifyLine("\x1b[0m$GPGSA,A,3,01").sentence, "$GPGSA,A,3,01");
    EXPECT_EQ(ClassifyLine("$GNRMC,1").kind, SentenceKind::Rmc);
    EXPECT_EQ(ClassifyLine("$GNGGA,1").kind, SentenceKind::None);
    EXPECT_EQ(ClassifyLine("$GLGGA,1").kind, SentenceKind::None);
    EXPECT_EQ(ClassifyLine("$PLCS,1").kind, SentenceKind::None);
    // Two sentences glued: GGA is tested first, wherever it stands.
    EXPECT_EQ(ClassifyLine("$GPRMC,12$GPGGA,1").kind, SentenceKind::Gga);
    EXPECT_EQ(ClassifyLine("$GPGGA," + std::string(900, '1')).sentence.size(), 599u);
}

TEST(NmeaGga, TakesTimePositionAndSatellitesAndIgnoresHemispheres) {
    GnssState s = Fresh();
    const auto r = ProcessLine(Gga("123519.50", "3345.1200", "15112.6000", "08", "S", "W"), s);
    EXPECT_TRUE(r.accepted);
    EXPECT_DOUBLE_EQ(s.fixTime, 123519.5);
    EXPECT_NEAR(s.latitude, 33.752, 1e-12);   // south still positive
    EXPECT_NEAR(s.longitude, 151.21, 1e-12);  // west still positive
    EXPECT_EQ(s.satellites, 8);
    EXPECT_EQ(s.ggaCount, 1);
    EXPECT_EQ(s.freshFix, 2);
}

TEST(NmeaGga, ZeroLatitudeGivesNoPositionButKeepsTheTime) {
    GnssState s = Fresh();
    const auto r = ProcessLine(Gga("101010.00", "0000.0000", "03700.0000", "08"), s);
    EXPECT_FALSE(r.accepted);
    EXPECT_DOUBLE_EQ(s.fixTime, 101010.0);
    EXPECT_DOUBLE_EQ(s.prevFixTime, 101010.0);
    EXPECT_DOUBLE_EQ(s.latitude, 56.0);
    EXPECT_EQ(s.ggaCount, 1);
}

TEST(NmeaGga, FewSatellitesOrTinyLongitudeOnlyMoveTheTime) {
    GnssState s = Fresh();
    EXPECT_FALSE(ProcessLine(Gga("100001.00", "5600.0000", "03700.0000", "03"), s).accepted);
    EXPECT_DOUBLE_EQ(s.prevFixTime, 100001.0);
    EXPECT_EQ(s.freshFix, 0);
    EXPECT_FALSE(ProcessLine(Gga("100002.00", "5600.0000", "00003.0000", "08"), s).accepted);
    EXPECT_DOUBLE_EQ(s.prevFixTime, 100002.0);
    EXPECT_DOUBLE_EQ(s.prevLongitude, 0.0);  // motion never saw these
}

TEST(NmeaGga, WrongShapeIsRejectedButCounted) {
    GnssState s = Fresh();
    const std::string good = Gga("100001.00", "5600.0000", "03700.0000", "08");
    const std::string body = good.substr(1, good.find('*') - 1);
    EXPECT_FALSE(ProcessLine(Sentence(body + ",x"), s).accepted);                      // 15 commas
    EXPECT_FALSE(ProcessLine(Sentence(body.substr(0, body.size() - 1)), s).accepted);  // 13
    // A real GGA whose checksum has a letter, written in lowercase.
    const std::string real =
        "$GPGGA,132820.60,4134.49821229,N,09345.03351845,W,2,09,1.0,278.020,M,-31.442,M,7.6,0133*7";
    EXPECT_TRUE(ProcessLine(real + "E", s).accepted);
    s.freshFix = 0;
    EXPECT_FALSE(ProcessLine(real + "e", s).accepted);
    EXPECT_FALSE(ProcessLine(good.substr(0, good.size() - 1), s).accepted);
    EXPECT_EQ(s.freshFix, 0);
    EXPECT_EQ(s.ggaCount, 5);
    for (int i = 0; i < 10; ++i)
        ProcessLine(good, s);
    EXPECT_EQ(s.ggaCount, 7);  // saturates
}

TEST(NmeaGga, GnTalkerIsNotCounted) {
    GnssState s = Fresh();
    const auto r =
        ProcessLine("$GNGGA,135651.997,5543.0328,N,03724.7198,E,1,06,01.8,165.6,M,14.6,M,,*73", s);
    EXPECT_EQ(r.kind, SentenceKind::None);
    EXPECT_EQ(s.ggaCount, 0);
}

// With the installation's option, GN is a GGA talker like GP: the fix is
// taken, logged as sent and probed; a mixed stream gives one fix an epoch.
TEST(NmeaGga, GnTalkerOptionTakesGnGgaOnceAnEpoch) {
    const std::string gn =
        "$GNGGA,135651.997,5543.0328,N,03724.7198,E,1,06,01.8,165.6,M,14.6,M,,*73";
    GnssState probe = Fresh();
    probe.gnTalkerGga = true;
    EXPECT_TRUE(ProbeLine(gn, probe));
    EXPECT_NEAR(probe.latitude, 55 + 43.0328 / 60, 1e-12);

    GnssState s = Fresh();
    s.gnTalkerGga = true;
    auto r = ProcessLine(gn, s);
    EXPECT_EQ(r.kind, SentenceKind::Gga);
    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(r.logLine, gn);
    EXPECT_NEAR(s.longitude, 37 + 24.7198 / 60, 1e-12);
    EXPECT_EQ(s.satellites, 6);
    EXPECT_EQ(s.ggaCount, 1);

    // The same epoch from the other talker is no second fix; the next epoch is.
    r = ProcessLine(Gga("135651.997", "5543.0328", "03724.7198", "06"), s);
    EXPECT_EQ(r.kind, SentenceKind::Gga);
    EXPECT_FALSE(r.accepted);
    EXPECT_EQ(s.ggaCount, 2);
    r = ProcessLine(Gga("135652.997", "5543.0330", "03724.7200", "07"), s);
    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(s.satellites, 7);
    EXPECT_GT(s.stepDistance, 0.0);

    // Without the option nothing changes: the same epoch twice in GP is two fixes.
    GnssState p = Fresh();
    EXPECT_TRUE(ProcessLine(Gga("100000.00", "5530.0000", "03730.0000", "08"), p).accepted);
    EXPECT_TRUE(ProcessLine(Gga("100000.00", "5530.0000", "03730.0000", "08"), p).accepted);
}

TEST(NmeaGga, DamagedNumbersGiveNoPosition) {
    GnssState s = Fresh();
    EXPECT_FALSE(ProcessLine(Gga("nan", "inf", "03700.0000", "08"), s).accepted);
    EXPECT_DOUBLE_EQ(s.fixTime, 0.0);
    EXPECT_FALSE(ProcessLine(Gga("99999999999", "5600.0", "9999999999", "08"), s).accepted);
    EXPECT_DOUBLE_EQ(s.fixTime, 0.0);
    EXPECT_DOUBLE_EQ(s.longitude, 37.0);
}

TEST(NmeaGga, LogLineIsTheCheckedSentence) {
    GnssState s = Fresh();
    const std::string gga = Gga("100001.00", "5600.0000", "03700.0000", "08");
    const std::string line = "noise" + gga + "tail";
    const auto r = ProcessLine(line, s);
    ASSERT_TRUE(r.accepted);
    EXPECT_EQ(r.logLine, gga);
}

TEST(NmeaRmc, ReadsTheDateEvenFromEmptyOrVoidSentences) {
    GnssState s = Fresh();
    EXPECT_TRUE(ProcessLine(Sentence("GNRMC,120000.00,A,5600.0,N,03700.0,E,0.0,0.0,311218,,,A"), s)
                    .accepted);
    EXPECT_EQ(s.rmcDay, 31);
    EXPECT_EQ(s.rmcMonth, 12);
    EXPECT_EQ(s.rmcYear, 2018);
    // bt451 before its fix: status V and every field empty.
    EXPECT_TRUE(ProcessLine("$GPRMC,,V,,,,,,,,,,N*53", s).accepted);
    EXPECT_EQ(s.rmcDay, 0);
    EXPECT_EQ(s.rmcMonth, 0);
    EXPECT_EQ(s.rmcYear, 2000);
}

TEST(NmeaRmc, BadChecksumOrTooFewFieldsLeaveTheDate) {
    GnssState s = Fresh();
    s.rmcDay = 5;
    EXPECT_FALSE(
        ProcessLine("$GPRMC,120000,A,5600.0,N,03700.0,E,0.0,0.0,311218,,,A*00", s).accepted);
    EXPECT_FALSE(ProcessLine(Sentence("GPRMC,120000,A,5600.0,N,03700.0,E,0.0"), s).accepted);
    EXPECT_EQ(s.rmcDay, 5);
}

TEST(NmeaGsa, LastSentenceOfTheEpochWins) {
    GnssState s = Fresh();
    ProcessLine("$GNGSA,A,3,01,02,03,04,05,06,07,08,,,,,1.0,0.6,0.8*2D", s);
    EXPECT_EQ(s.usedSatellites, 8);
    // No checksum test for GSA: a damaged one still counts.
    ProcessLine("$GNGSA,A,3,65,66,67,68,69,,,,,,,,1.0,0.6,0.8*00", s);
    EXPECT_EQ(s.usedSatellites, 5);
    ProcessLine("$GPGSA,A,3,12,05", s);  // cut short: missing slots are empty
    EXPECT_EQ(s.usedSatellites, 2);
    // A sentence glued behind the checksum lends no slots.
    ProcessLine("$GPGSA,A,3,12,05*00$GPGSV,3,1,12,01,02,03,04,05,06,07", s);
    EXPECT_EQ(s.usedSatellites, 2);
}

TEST(NmeaProbe, NeedsAGpGgaWithAPosition) {
    GnssState s = Fresh();
    EXPECT_FALSE(
        ProbeLine("$GNGGA,135651.997,5543.0328,N,03724.7198,E,1,06,01.8,165.6,M,14.6,M,,*73", s));
    EXPECT_FALSE(ProbeLine(Gga("100001.00", "0000.0000", "03700.0000", "08"), s));
    EXPECT_TRUE(ProbeLine("xx" + Gga("100001.00", "5530.0000", "03730.0000", "02"), s));
    EXPECT_DOUBLE_EQ(s.latitude, 55.5);
    EXPECT_DOUBLE_EQ(s.prevLatitude, 55.5);
    EXPECT_EQ(s.ggaCount, 0);  // the probe does not count lines
}
