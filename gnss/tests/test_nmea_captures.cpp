// Recorded receiver logs replayed through the framer and the parser, in
// chunks as the serial driver hands them over.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

#include "gnss/gnss_logs_format.h"
#include "gnss/nmea_framer.h"
#include "gnss/nmea_parser.h"
#include "gnss/tests/nmea_capture.h"

namespace {

struct Replay {
    int ggaLines = 0, ggaFixes = 0, rmcDates = 0, gsaLines = 0;
    int probeHits = 0;
    double maxSpeed = 0;  // m/s
    std::vector<std::string> logLines;
    std::vector<double> steps, latitudes, longitudes;  // of every accepted fix
    GnssState state;
};

// Feeds the capture in chunks of 1..maxChunk bytes, as the reader does
// (it takes the lines out after every read of at most 600 bytes).
Replay ReplayCapture(const std::string& bytes, size_t maxChunk, uint32_t seed = 1) {
    Replay r;
    r.state.latitude = 56;  // configured position, as at start
    r.state.longitude = 37;
    NmeaFramer framer;
    GnssState probe;
    std::mt19937 rng(seed);
    size_t pos = 0;
    while (pos < bytes.size()) {
        const size_t n =
            std::min(bytes.size() - pos, std::uniform_int_distribution<size_t>(1, maxChunk)(rng));
        framer.Append(std::string_view(bytes).substr(pos, n));
        pos += n;
        while (auto line = framer.NextLine()) {
            if (ProbeLine(*line, probe))
                ++r.probeHits;
            const LineResult res = ProcessLine(*line, r.state);
            switch (res.kind) {
                case SentenceKind::Gga:
                    ++r.ggaLines;
                    if (res.accepted) {
                        ++r.ggaFixes;
                        r.maxSpeed = std::max(r.maxSpeed, r.state.speed);
                        r.steps.push_back(r.state.stepDistance);
                        r.latitudes.push_back(r.state.latitude);
                        r.longitudes.push_back(r.state.longitude);
                        r.logLines.push_back(
                            FormatFixLogLine(res.logLine, r.state.stepDistance, "000000"));
                    }
                    break;
                case SentenceKind::Rmc:
                    r.rmcDates += res.accepted ? 1 : 0;
                    break;
                case SentenceKind::Gsa:
                    ++r.gsaLines;
                    break;
                case SentenceKind::None:
                    break;
            }
        }
    }
    return r;
}

std::string Load(const std::string& name) {
    auto bytes = gnss_test::ReadCapture(name);
    return bytes ? *bytes : std::string();
}

#define LOAD_OR_SKIP(var, name)         \
    const std::string var = Load(name); \
    if (var.empty())                    \
        GTEST_SKIP() << name << " not found beside the sources";

const char* const kAllCaptures[] = {"bt451.log",
                                    "bu353-glonass.log",
                                    "bu353s4.log",
                                    "ch-4711.log",
                                    "et-332.log",
                                    "firefly-II.log",
                                    "garmin48.log",
                                    "gp-320fw-2019-04-07-coldboot.log",
                                    "jl-micro-jlt.log",
                                    "neo-m8n.log",
                                    "nl2008u.log",
                                    "nmea-fuzzy-cases.log",
                                    "quectel-eg25-g-2.log",
                                    "sirfstarv-nmea.log"};

}  // namespace

TEST(NmeaCaptures, ChunkingNeverChangesTheOutcome) {
    int seen = 0;
    for (const char* name : kAllCaptures) {
        const std::string bytes = Load(name);
        if (bytes.empty())
            continue;
        ++seen;
        const Replay whole = ReplayCapture(bytes, 64);
        for (size_t chunk : {1u, 7u, 600u}) {
            const Replay r = ReplayCapture(bytes, chunk, static_cast<uint32_t>(chunk));
            EXPECT_EQ(r.ggaLines, whole.ggaLines) << name << " chunk " << chunk;
            EXPECT_TRUE(r.logLines == whole.logLines) << name << " chunk " << chunk;
            EXPECT_EQ(r.rmcDates, whole.rmcDates) << name;
            EXPECT_EQ(r.state.totalDistance, whole.state.totalDistance) << name;
        }
        // Every logged line ends with the XOR of its text before the last comma.
        for (const std::string& line : whole.logLines) {
            const size_t comma = line.rfind(',');
            unsigned x = 0;
            for (size_t i = 0; i < comma; ++i)
                x ^= static_cast<unsigned char>(line[i]);
            EXPECT_EQ(line.substr(comma + 1), std::to_string(x) + "\n") << name;
        }
    }
    if (seen == 0)
        GTEST_SKIP() << "no captures beside the sources";
}

TEST(NmeaCaptures, PlainGpTalkerWithLfOrMixedLineEnds) {
    struct Expect {
        const char* name;
        int gga;
    };
    // GGA line counts of the captures; every line of these is complete and checked.
    for (Expect e : {Expect{"bu353s4.log", 25}, Expect{"et-332.log", 19}, Expect{"bt451.log", 17},
                     Expect{"garmin48.log", 7}}) {
        const std::string bytes = Load(e.name);
        if (bytes.empty())
            GTEST_SKIP() << e.name << " not found beside the sources";
        const Replay r = ReplayCapture(bytes, 600);
        EXPECT_EQ(r.ggaLines, e.gga) << e.name;
        EXPECT_GT(r.ggaFixes, 0) << e.name;
        EXPECT_GT(r.rmcDates, 0) << e.name;
        EXPECT_GT(r.probeHits, 0) << e.name;
        EXPECT_GT(r.state.latitude, 0.0) << e.name;
        EXPECT_GT(r.state.longitude, 0.1) << e.name;
    }
}

TEST(NmeaCaptures, Bt451DrivesAtUpToAbout32Knots) {
    LOAD_OR_SKIP(bytes, "bt451.log");
    const Replay r = ReplayCapture(bytes, 600);
    // 32 kn is 16.5 m/s; GNSS steps scatter a little around it.
    EXPECT_GT(r.maxSpeed, 14.0);
    EXPECT_LT(r.maxSpeed, 19.0);
    EXPECT_GT(r.state.totalDistance, 0.0);
}

TEST(NmeaCaptures, FuzzyCasesHighPrecisionIrregularEpochs) {
    LOAD_OR_SKIP(bytes, "nmea-fuzzy-cases.log");
    const Replay r = ReplayCapture(bytes, 64);
    // Seven GP-talker GGA with nine satellites are fixes; the GN block is not read.
    EXPECT_EQ(r.ggaLines, 7);
    EXPECT_EQ(r.ggaFixes, 7);
    EXPECT_EQ(r.rmcDates, 14);
    EXPECT_EQ(r.state.rmcDay, 18);
    EXPECT_EQ(r.state.rmcMonth, 3);
    EXPECT_EQ(r.state.rmcYear, 2020);
    // Last GP fix: 4134.49950965 N, 09345.03456915 W (read as east), at 13:28:29.90.
    EXPECT_NEAR(r.state.latitude, 41 + 34.49950965 / 60, 1e-12);
    EXPECT_NEAR(r.state.longitude, 93 + 45.03456915 / 60, 1e-12);
    EXPECT_DOUBLE_EQ(r.state.fixTime, 132829.90);
    // Steps of centimetres at 8-decimal precision agree with a local plane
    // approximation on the same ellipsoid radii.
    constexpr double k = 0.017453292519943295, e2 = 0.006739496742337;
    ASSERT_EQ(r.steps.size(), 7u);
    for (size_t i = 1; i < r.steps.size(); ++i) {
        const double phi = (r.latitudes[i] + r.latitudes[i - 1]) / 2 * k;
        const double w2 = 1 - e2 * std::sin(phi) * std::sin(phi);
        const double m = 6335151.566466321 / std::pow(w2, 1.5), n = 6378137.0 / std::sqrt(w2);
        const double dy = (r.latitudes[i] - r.latitudes[i - 1]) * k * m;
        const double dx = (r.longitudes[i] - r.longitudes[i - 1]) * k * n * std::cos(phi);
        EXPECT_NEAR(r.steps[i], std::hypot(dx, dy), 1e-3 * std::hypot(dx, dy) + 1e-6) << i;
        EXPECT_GT(r.steps[i], 0.005) << i;
    }
    // A surveyor standing still with RTK: steps of centimetres, no jumps.
    EXPECT_LT(r.state.totalDistance, 0.0 + 1e-9);  // the first seven lines never add to the path
    for (const std::string& line : r.logLines) {
        const size_t star = line.find('*');
        const double step = std::stod(line.substr(star + 4));
        EXPECT_GE(step, 0.0);
        EXPECT_LT(step, 3.0) << line;
    }
}

TEST(NmeaCaptures, GnOnlyReceiversGiveNoFixButTheirDates) {
    for (const char* name : {"neo-m8n.log", "nl2008u.log", "jl-micro-jlt.log"}) {
        const std::string bytes = Load(name);
        if (bytes.empty())
            GTEST_SKIP() << name << " not found beside the sources";
        const Replay r = ReplayCapture(bytes, 600);
        EXPECT_EQ(r.ggaLines, 0) << name;
        EXPECT_EQ(r.ggaFixes, 0) << name;
        EXPECT_EQ(r.probeHits, 0) << name;
        EXPECT_GT(r.rmcDates, 0) << name;
        EXPECT_GT(r.state.usedSatellites, 0) << name;
    }
}

TEST(NmeaCaptures, GpGgaWithGnRmcAndGsa) {
    for (const char* name : {"bu353-glonass.log", "sirfstarv-nmea.log"}) {
        const std::string bytes = Load(name);
        if (bytes.empty())
            GTEST_SKIP() << name << " not found beside the sources";
        const Replay r = ReplayCapture(bytes, 600);
        EXPECT_GT(r.ggaFixes, 0) << name;
        EXPECT_GT(r.rmcDates, 0) << name;
        EXPECT_GT(r.gsaLines, 0) << name;
        EXPECT_GE(r.state.rmcYear, 2014) << name;
    }
}

TEST(NmeaCaptures, Ch4711TalkerChangeAfterLosingLock) {
    LOAD_OR_SKIP(bytes, "ch-4711.log");
    const Replay r = ReplayCapture(bytes, 600);
    // Only the GP-talker GGA lines are read, the quality field never.
    EXPECT_EQ(r.ggaLines, 7);
    EXPECT_NEAR(r.state.latitude, 55.717, 0.01);  // Moscow
    EXPECT_NEAR(r.state.longitude, 37.41, 0.01);
    EXPECT_EQ(r.state.rmcYear, 2009);
}

TEST(NmeaCaptures, FireflyGgaChecksumsAreAllWrong) {
    LOAD_OR_SKIP(bytes, "firefly-II.log");
    const Replay r = ReplayCapture(bytes, 600);
    EXPECT_EQ(r.ggaLines, 23);
    EXPECT_EQ(r.ggaFixes, 0);
    EXPECT_EQ(r.probeHits, 0);
    EXPECT_EQ(r.rmcDates, 23);
    EXPECT_DOUBLE_EQ(r.state.latitude, 56.0);  // still the configured position
}

TEST(NmeaCaptures, ColdBootJunkIsSurvived) {
    LOAD_OR_SKIP(bytes, "gp-320fw-2019-04-07-coldboot.log");
    for (size_t chunk : {1u, 13u, 600u}) {
        const Replay r = ReplayCapture(bytes, chunk, 7);
        EXPECT_LE(r.ggaFixes, r.ggaLines);
        for (const std::string& line : r.logLines)
            EXPECT_EQ(line.rfind("$GPGGA,", 0), 0u) << line;
    }
}

TEST(NmeaCaptures, LineNoiseBetweenCapturesDoesNotStallTheReader) {
    LOAD_OR_SKIP(bytes, "bu353s4.log");
    // A burst of noise without line ends, longer than the accumulator, then the receiver.
    std::string stream(NmeaFramer::kCapacity + 5000, '\x55');
    stream += bytes;
    const Replay clean = ReplayCapture(bytes, 600);
    const Replay r = ReplayCapture(stream, 600);
    EXPECT_EQ(r.ggaFixes, clean.ggaFixes);
    EXPECT_EQ(r.ggaLines, clean.ggaLines);
}
