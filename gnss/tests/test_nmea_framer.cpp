#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gnss/nmea_framer.h"

namespace {

std::vector<std::string> Drain(NmeaFramer& f) {
    std::vector<std::string> lines;
    while (auto line = f.NextLine())
        lines.emplace_back(*line);
    return lines;
}

const std::string kGga = "$GPGGA,135651.997,5543.0328,N,03724.7198,E,1,06,01.8,165.6,M,14.6,M,,*65";
const std::string kRmc = "$GPRMC,135651.997,A,5543.0328,N,03724.7198,E,00.00,129.5,051209,,,A*6F";

}  // namespace

TEST(NmeaFramer, CutsCrLfLinesArrivingByteByByte) {
    NmeaFramer f;
    const std::string stream = kGga + "\r\n" + kRmc + "\r\n$GPGSA,A,3";
    std::vector<std::string> lines;
    for (char c : stream) {
        f.Append(std::string_view(&c, 1));
        for (auto& l : Drain(f))
            lines.push_back(l);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{kGga, kRmc}));
    EXPECT_EQ(f.Pending(), 10u);  // the tail waits for its line end
}

TEST(NmeaFramer, AcceptsBareLfAndMixedLineEnds) {
    NmeaFramer f;
    f.Append(kGga + "\n" + kRmc + "\r\n" + kGga + "\n");
    EXPECT_EQ(Drain(f), (std::vector<std::string>{kGga, kRmc, kGga}));
    EXPECT_EQ(f.Pending(), 0u);
}

TEST(NmeaFramer, EmptyLinesDoNotSwallowTheLinesBehindThem) {
    NmeaFramer f;
    f.Append("\r\n\r\n" + kGga + "\r\n\n" + kRmc + "\r\n");
    EXPECT_EQ(Drain(f), (std::vector<std::string>{kGga, kRmc}));
}

TEST(NmeaFramer, FullBufferWithoutLineEndResynchronisesInsteadOfStalling) {
    NmeaFramer f;
    // A receiver at the wrong speed: noise without any line end, longer than the buffer.
    std::string noise(NmeaFramer::kCapacity - 100, 'x');
    f.Append(noise);
    EXPECT_TRUE(Drain(f).empty());
    // A sentence starts just before the buffer runs full and ends after it.
    f.Append(std::string(60, 'y') + kGga.substr(0, 30));
    EXPECT_TRUE(Drain(f).empty());
    f.Append(kGga.substr(30) + "\r\n" + kRmc + "\r\n");
    EXPECT_EQ(f.Resyncs(), 1u);
    EXPECT_EQ(f.DroppedBytes(), noise.size() + 60);  // everything before the last "$"
    // The sentence in progress survived the resynchronisation.
    EXPECT_EQ(Drain(f), (std::vector<std::string>{kGga, kRmc}));
}

TEST(NmeaFramer, NoiseWithoutAnyDollarIsDroppedWhole) {
    NmeaFramer f;
    f.Append(std::string(3 * NmeaFramer::kCapacity + 17, '\xff'));
    EXPECT_GE(f.Resyncs(), 3u);
    EXPECT_LT(f.Pending(), NmeaFramer::kCapacity);
    f.Append("\r\n" + kGga + "\r\n");
    const auto lines = Drain(f);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), kGga);
}

TEST(NmeaFramer, UntakenCompleteLinesAreKeptAndNewTextIsDropped) {
    NmeaFramer f;
    std::string many;
    while (many.size() + kGga.size() + 2 <= NmeaFramer::kCapacity)
        many += kGga + "\r\n";
    f.Append(many);
    f.Append(std::string(2000, 'z'));  // no room: lost, the complete lines are not
    EXPECT_EQ(f.Resyncs(), 0u);
    EXPECT_GT(f.DroppedBytes(), 0u);
    EXPECT_EQ(Drain(f).size(), many.size() / (kGga.size() + 2));
}

TEST(NmeaFramer, LongRunReusesTheBuffer) {
    NmeaFramer f;
    size_t count = 0;
    for (int i = 0; i < 5000; ++i) {
        f.Append(kGga + "\r\n" + kRmc.substr(0, 20));
        f.Append(kRmc.substr(20) + "\r\n");
        count += Drain(f).size();
    }
    EXPECT_EQ(count, 10000u);
    EXPECT_EQ(f.DroppedBytes(), 0u);
}
