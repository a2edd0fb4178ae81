// The per-sentence path of the reader: line assembly, checks, parsing,
// motion, fix-log line and record formatting.
#include <benchmark/benchmark.h>

#include <string>

#include "gnss/gnss_logs_format.h"
#include "gnss/gps_record.h"
#include "gnss/motion.h"
#include "gnss/nmea_framer.h"
#include "gnss/nmea_parser.h"

namespace {

// One epoch of a GP/GN receiver (GGA, GSA x2, RMC), as it arrives on the wire.
const std::string kGga =
    "$GPGGA,132820.60,4134.49821229,N,09345.03351845,W,2,09,1.0,278.020,M,-31.442,M,7.6,0133*7E";
const std::string kEpoch =
    kGga +
    "\r\n$GNGSA,A,3,01,02,03,04,05,06,07,08,,,,,1.0,0.6,0.8*2D\r\n"
    "$GNGSA,A,3,65,66,67,68,69,,,,,,,,1.0,0.6,0.8*2A\r\n"
    "$GPRMC,132820.60,A,4134.49821229,N,09345.03351845,W,3.252,92.308,180320,11.5985,E,D*1A\r\n";

void BM_FramerEpoch(benchmark::State& st) {
    NmeaFramer f;
    size_t lines = 0;
    for (auto _ : st) {
        f.Append(kEpoch);
        while (auto l = f.NextLine()) {
            benchmark::DoNotOptimize(l->data());
            ++lines;
        }
    }
    st.SetItemsProcessed(static_cast<int64_t>(lines));
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * kEpoch.size()));
}
BENCHMARK(BM_FramerEpoch);

void BM_ChecksumGga(benchmark::State& st) {
    for (auto _ : st)
        benchmark::DoNotOptimize(ChecksumPassed(kGga).size());
}
BENCHMARK(BM_ChecksumGga);

void BM_ParseGga(benchmark::State& st) {
    GnssState s;
    for (auto _ : st)
        benchmark::DoNotOptimize(ParseGga(kGga, s));
}
BENCHMARK(BM_ParseGga);

void BM_EllipsoidStep(benchmark::State& st) {
    double lon = 37.0;
    for (auto _ : st) {
        benchmark::DoNotOptimize(EllipsoidStep(lon + 0.0001, 56.00005, lon, 56.0));
        lon += 1e-9;
    }
}
BENCHMARK(BM_EllipsoidStep);

void BM_ProcessGgaLine(benchmark::State& st) {
    GnssState s;
    s.ggaCount = 7;
    for (auto _ : st) {
        const LineResult r = ProcessLine(kGga, s);
        benchmark::DoNotOptimize(r.accepted);
        s.fixTime += 1;  // keep the motion path busy
    }
}
BENCHMARK(BM_ProcessGgaLine);

void BM_FixLogLine(benchmark::State& st) {
    char line[kFixLineBuffer];
    for (auto _ : st)
        benchmark::DoNotOptimize(FormatFixLogLine(kGga, 11.134, "200318", line, sizeof line));
}
BENCHMARK(BM_FixLogLine);

void BM_GpsRecord(benchmark::State& st) {
    GnssState s;
    s.valid = 1;
    s.latitude = 41.574970204833;
    s.longitude = 93.750558640833;
    s.stepDistance = 2.51;
    s.deltaLat = 0.0000021;
    s.deltaLon = -0.0000077;
    s.speed = 25.1;
    s.fixTime = 132820.6;
    s.satellites = 9;
    char record[kGpsRecordMappingSize];
    for (auto _ : st)
        benchmark::DoNotOptimize(FormatGpsRecord(s, record, sizeof record));
}
BENCHMARK(BM_GpsRecord);

// A whole read cycle: one epoch's chunk in, every line processed, fix line
// and record formatted.
void BM_ReadCycle(benchmark::State& st) {
    NmeaFramer f;
    GnssState s;
    s.ggaCount = 7;
    char line[kFixLineBuffer];
    char record[kGpsRecordMappingSize];
    for (auto _ : st) {
        f.Append(kEpoch);
        while (auto l = f.NextLine()) {
            const LineResult r = ProcessLine(*l, s);
            if (r.accepted && !r.logLine.empty())
                benchmark::DoNotOptimize(
                    FormatFixLogLine(r.logLine, s.stepDistance, s.dateStamp, line, sizeof line));
        }
        benchmark::DoNotOptimize(FormatGpsRecord(s, record, sizeof record));
    }
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * kEpoch.size()));
}
BENCHMARK(BM_ReadCycle);

}  // namespace
