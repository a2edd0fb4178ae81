// The stand-in driver's scenario grammar, waveforms and record lines.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "sim/nicaiu-stub/daq_record.h"
#include "sim/nicaiu-stub/daq_scenario.h"

namespace daqsim {
namespace {

int RisingEdges(const ChannelSpec& c, std::uint64_t samples, double rate) {
    int edges = 0;
    for (std::uint64_t k = 1; k < samples; ++k)
        edges += SquareHigh(c, k, rate) && !SquareHigh(c, k - 1, rate);
    return edges;
}

TEST(DaqScenario, DefaultIsALevelDriveWithOneSensorPerRole) {
    const Scenario s = ParseScenario("").scenario;
    EXPECT_EQ(s.device, "Dev1");
    EXPECT_EQ(s.channels[0].kind, WaveKind::Square);
    EXPECT_DOUBLE_EQ(PulseFrequencyHz(s.channels[0]), 100.0);  // 36 km/h, 100 mm a pulse
    EXPECT_DOUBLE_EQ(SampleValue(s.channels[1], 1, 123, 1000.0, 1), 2.5);
    EXPECT_DOUBLE_EQ(SampleValue(s.channels[3], 3, 9, 1000.0, 1), 12.0);
    EXPECT_TRUE(s.readErrors.empty());
    EXPECT_FALSE(s.done.has_value());
}

TEST(DaqScenario, ParsesEveryDirective) {
    const ParseResult r = ParseScenario(
        "# a drive\n"
        "device name=Dev3\r\n"
        "channel ai3 role=odometer speed_kmh=18 path_mm=250 low=0.2 high=4.8 duty=0.25\n"
        "channel ai0 kind=sine volts=2.5 amplitude=0.5 period_s=4   # inclinometer\n"
        "channel ai1 role=laser volts=3.25 noise=0.01\n"
        "read_error read=50 count=3 status=-200279 text=\"Lost \\\"samples\\\"\"\n"
        "empty_read read=7 count=2\n"
        "fail call=DAQmxStartTask occurrence=2 status=-50103 text=\"busy device\"\n"
        "done after_samples=20000 status=-200279\n"
        "unplug read=3000 gone_s=2.5 status=-201003\n"
        "buffer scans=500\n"
        "seed value=9\n"
        "record path=\"C:\\runs\\daq record.txt\"\n");
    ASSERT_TRUE(r.errors.empty()) << r.errors[0];
    const Scenario& s = r.scenario;
    EXPECT_EQ(s.device, "Dev3");
    EXPECT_DOUBLE_EQ(PulseFrequencyHz(s.channels[3]), 20.0);  // 5 m/s over 0.25 m
    EXPECT_DOUBLE_EQ(s.channels[3].duty, 0.25);
    EXPECT_EQ(s.channels[0].kind, WaveKind::Sine);
    EXPECT_EQ(s.channels[1].role, "laser");
    EXPECT_DOUBLE_EQ(s.channels[1].noise, 0.01);
    // A channel the text does not name keeps its default.
    EXPECT_EQ(s.channels[2].role, "laser");
    ASSERT_EQ(s.readErrors.size(), 1u);
    EXPECT_EQ(s.readErrors[0].text, "Lost \"samples\"");
    EXPECT_EQ(s.ReadErrorAt(49), nullptr);
    EXPECT_NE(s.ReadErrorAt(50), nullptr);
    EXPECT_NE(s.ReadErrorAt(52), nullptr);
    EXPECT_EQ(s.ReadErrorAt(53), nullptr);
    EXPECT_FALSE(s.EmptyReadAt(6));
    EXPECT_TRUE(s.EmptyReadAt(8));
    EXPECT_FALSE(s.EmptyReadAt(9));
    EXPECT_EQ(s.FailureOf("DAQmxStartTask", 1), nullptr);
    ASSERT_NE(s.FailureOf("DAQmxStartTask", 2), nullptr);
    EXPECT_EQ(s.FailureOf("DAQmxStartTask", 2)->status, -50103);
    ASSERT_TRUE(s.done.has_value());
    EXPECT_EQ(s.done->afterSamples, 20000u);
    ASSERT_TRUE(s.unplug.has_value());
    EXPECT_EQ(s.unplug->read, 3000u);
    EXPECT_DOUBLE_EQ(s.unplug->goneS, 2.5);
    EXPECT_EQ(s.unplug->status, -201003);
    EXPECT_EQ(s.bufferScans, 500u);
    EXPECT_EQ(s.seed, 9u);
    EXPECT_EQ(s.recordPath, "C:\\runs\\daq record.txt");
}

TEST(DaqScenario, ReportsEveryLineItCannotUse) {
    const ParseResult r = ParseScenario(
        "channel ai9 role=laser\n"
        "channel ai1 kind=sawtooth\n"
        "channel ai2 role=laser volts=three\n"
        "read_error count=2\n"
        "fail call=FT_Open\n"
        "warp speed=9\n"
        "channel ai0 role=odometer colour=red\n"
        "text value=\"open\n"
        "read_error read=3 status=5\n");
    ASSERT_EQ(r.errors.size(), 9u);
    EXPECT_EQ(r.errors[0].rfind("line 1:", 0), 0u) << r.errors[0];
    EXPECT_NE(r.errors[5].find("unknown directive 'warp'"), std::string::npos) << r.errors[5];
    EXPECT_NE(r.errors[6].find("colour"), std::string::npos) << r.errors[6];
    EXPECT_EQ(r.errors[8].rfind("line 9:", 0), 0u) << r.errors[8];  // a status must be negative
    // A rejected channel line leaves the channel as it was.
    EXPECT_EQ(r.scenario.channels[2].volts, 3.0);
}

TEST(DaqScenario, TheBufferIsSizedAsTheDriverSizesItUnlessTheScenarioSaysSo) {
    EXPECT_EQ(ParseScenario("").scenario.bufferScans, 0u);  // 0: the driver's own size
    // The service's timing: 1000 S/s, continuous, 1 sample as buffer size.
    EXPECT_EQ(InputBufferScans(1000.0, 1, false), 10000u);
    EXPECT_EQ(InputBufferScans(100.0, 1, false), 1000u);
    EXPECT_EQ(InputBufferScans(101.0, 1, false), 10000u);
    EXPECT_EQ(InputBufferScans(10000.0, 1, false), 10000u);
    EXPECT_EQ(InputBufferScans(10001.0, 1, false), 100000u);
    EXPECT_EQ(InputBufferScans(2e6, 1, false), 1000000u);
    EXPECT_EQ(InputBufferScans(1000.0, 25000, false), 25000u);  // the larger of the two
    EXPECT_EQ(InputBufferScans(1000.0, 300, true), 300u);       // finite: exactly its samples
}

TEST(DaqWaveform, OdometerSquareWaveHasOneRisingEdgePerPulse) {
    ChannelSpec c;
    c.kind = WaveKind::Square;
    c.speedKmh = 36.0;
    c.pathMm = 100.0;
    c.low = 0.5;
    c.high = 4.5;
    // 100 pulses a second, ten samples a period at 1000 samples a second.
    EXPECT_EQ(RisingEdges(c, 10001, 1000.0), 1000);
    int high = 0;
    for (std::uint64_t k = 0; k < 10; ++k) {
        const double v = SampleValue(c, 0, k, 1000.0, 1);
        EXPECT_TRUE(v == 0.5 || v == 4.5);
        high += v == 4.5;
    }
    EXPECT_EQ(high, 5);
    c.speedKmh = 0.0;  // standing: no pulse at all
    EXPECT_EQ(RisingEdges(c, 5000, 1000.0), 0);
    c.frequencyHz = 7.0;  // an explicit frequency wins over speed and path
    EXPECT_EQ(RisingEdges(c, 1001, 1000.0), 7);
}

TEST(DaqWaveform, SlowSignalsAndNoise) {
    ChannelSpec sine;
    sine.kind = WaveKind::Sine;
    sine.volts = 2.5;
    sine.amplitude = 0.5;
    sine.periodS = 4.0;
    EXPECT_NEAR(SampleValue(sine, 1, 0, 1000.0, 1), 2.5, 1e-12);
    EXPECT_NEAR(SampleValue(sine, 1, 1000, 1000.0, 1), 3.0, 1e-12);  // a quarter period
    ChannelSpec tri = sine;
    tri.kind = WaveKind::Triangle;
    EXPECT_NEAR(SampleValue(tri, 1, 0, 1000.0, 1), 2.0, 1e-12);
    EXPECT_NEAR(SampleValue(tri, 1, 2000, 1000.0, 1), 3.0, 1e-12);
    ChannelSpec noisy;
    noisy.volts = 12.0;
    noisy.noise = 0.01;
    bool differs = false;
    for (std::uint64_t k = 0; k < 2000; ++k) {
        const double v = SampleValue(noisy, 3, k, 1000.0, 5);
        EXPECT_LE(std::fabs(v - 12.0), 0.01);
        EXPECT_EQ(v, SampleValue(noisy, 3, k, 1000.0, 5));  // the same every run
        differs = differs || v != SampleValue(noisy, 2, k, 1000.0, 5) ||
                  v != SampleValue(noisy, 3, k, 1000.0, 6);
    }
    EXPECT_TRUE(differs);
}

TEST(DaqRecord, CallLinesQuoteTextsAndMarkPointers) {
    int dummy = 0;
    const std::string line = CallLine("DAQmxCreateAIVoltageChan")
                                 .Raw("task", "1")
                                 .Text("physicalChannel", "Dev1/ai0:3")
                                 .Text("nameToAssignToChannel", "")
                                 .Text("customScaleName", nullptr)
                                 .Number("maxVal", 20.0)
                                 .Pointer("data", &dummy)
                                 .Finish(-200077, 1700000000123456, "bad \"range\"\n\tnext");
    EXPECT_EQ(line,
              "call\t1700000000123456\tDAQmxCreateAIVoltageChan\t-200077\ttask=1\t"
              "physicalChannel=\"Dev1/ai0:3\"\tnameToAssignToChannel=\"\"\tcustomScaleName=null\t"
              "maxVal=20\tdata=ptr\terror=\"bad \\\"range\\\"\\n\\tnext\"\n");
    EXPECT_EQ(QuoteText(std::string("a\x01z", 3)), "\"a\\x01z\"");
    EXPECT_EQ(SplitFields("a\tb\t\tc\n"), (std::vector<std::string>{"a", "b", "", "c"}));
}

TEST(DaqRecord, SampleLinesReadBackAsTheExactValues) {
    const double values[4] = {0.1, 1.0 / 3.0, -2.5e-17, 4.800000000000001};
    std::string out;
    AppendSampleLine(out, 41, 1700000000000001, values, 4);
    AppendSampleLine(out, 42, 1700000000001001, values, 2);
    const size_t first = out.find('\n');
    SampleRecord r;
    ASSERT_TRUE(ParseSampleLine(out.substr(0, first + 1), r));
    EXPECT_EQ(r.index, 41u);
    EXPECT_EQ(r.utcUs, 1700000000000001);
    ASSERT_EQ(r.values.size(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(r.values[static_cast<size_t>(i)], values[i]);  // bit for bit
    ASSERT_TRUE(ParseSampleLine(out.substr(first + 1), r));
    EXPECT_EQ(r.values.size(), 2u);
    EXPECT_FALSE(ParseSampleLine("sample\tx\t1\t2", r));
    EXPECT_FALSE(ParseSampleLine("call\t1\t2", r));
    EXPECT_FALSE(ParseSampleLine("sample\t1\t2\t3.5v", r));
}

}  // namespace
}  // namespace daqsim
