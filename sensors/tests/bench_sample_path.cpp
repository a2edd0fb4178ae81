// The per-sample path of the acquisition: one scan of four inputs through
// conversion, change detection and compensation, the four file lines of a
// recording and the data line, as the driver's callback runs it 1000 times
// a second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "sensors/sample_processor.h"

namespace {

SensorSetup BenchSetup() {
    SensorSetup setup;
    const int32_t purposes[] = {0, 1, 4, 5};
    for (size_t i = 0; i < kInputCount; ++i) {
        setup.channels[i].enabled = true;
        setup.channels[i].purpose = purposes[i];
        setup.channels[i].sensitivityMv = 50;
        setup.channels[i].minDistanceVoltageMv = 400;
        setup.channels[i].minDistanceMm = 150;
    }
    setup.roles = ChannelRoles{0, 1, -1, -1, 2, 3};
    setup.calibration.laserCoefMvPerM = 1000;
    setup.calibration.laserBaseMm = 1800;
    setup.calibration.laserCompensation = true;
    return setup;
}

// A second of samples: an odometer square wave, a slow slope, two lasers.
std::vector<std::array<double, kInputCount>> Scans() {
    std::vector<std::array<double, kInputCount>> scans;
    for (int k = 0; k < 1000; ++k)
        scans.push_back({(k / 5) % 2 ? 4.8 : 0.2, 2.5 + 0.3 * std::sin(k * 0.01),
                         1.2 + 0.01 * std::sin(k * 0.1), 1.25 + 0.01 * std::cos(k * 0.1)});
    return scans;
}

void RunScans(benchmark::State& st, unsigned fileMask) {
    SampleProcessor processor;
    processor.SetSetup(BenchSetup());
    const auto scans = Scans();
    const SampleStamp stamp = MakeSampleStamp(platform::CivilTime{2026, 5, 2, 12, 10, 20, 30, 405});
    ScanLines lines;
    size_t k = 0;
    for (auto _ : st) {
        const auto& s = scans[k++ % scans.size()];
        const double raw[kInputCount] = {s[0], s[1], s[2], s[3]};
        processor.ProcessScan(raw, stamp, fileMask, lines);
        benchmark::DoNotOptimize(lines.data.data());
        benchmark::DoNotOptimize(lines.fileLength.data());
    }
    st.SetItemsProcessed(static_cast<int64_t>(st.iterations()));
}

// While recording: four inputs, four file lines, the data line.
void BM_SampleWithFileLines(benchmark::State& st) {
    RunScans(st, 0xF);
}
BENCHMARK(BM_SampleWithFileLines);

// Not recording: four inputs and the data line.
void BM_SampleDataLineOnly(benchmark::State& st) {
    RunScans(st, 0);
}
BENCHMARK(BM_SampleDataLineOnly);

// The callback's stamp, formatted once per call.
void BM_SampleStamp(benchmark::State& st) {
    platform::CivilTime t{2026, 5, 2, 12, 10, 20, 30, 405};
    for (auto _ : st) {
        t.milliseconds = static_cast<uint16_t>((t.milliseconds + 1) % 1000);
        benchmark::DoNotOptimize(MakeSampleStamp(t));
    }
}
BENCHMARK(BM_SampleStamp);

void BM_DataLine(benchmark::State& st) {
    char line[kDataLineCapacity];
    double v = 1.0;
    for (auto _ : st) {
        v += 0.001;
        benchmark::DoNotOptimize(
            FormatDaqDataLine(line, sizeof line, {123456, 2, 3, 4}, v, 1.234567, 1.3456789));
    }
}
BENCHMARK(BM_DataLine);

void BM_FileLine(benchmark::State& st) {
    char line[kFileLineCapacity];
    const SampleStamp stamp = MakeSampleStamp(platform::CivilTime{2026, 5, 2, 12, 10, 20, 30, 405});
    float v = 1.0f;
    for (auto _ : st) {
        v += 0.001f;
        benchmark::DoNotOptimize(
            FormatChannelFileLine(line, sizeof line, 123456, 0.012f, v, stamp));
    }
}
BENCHMARK(BM_FileLine);

// The same two lines through the C library's printf, for comparison.
void BM_DataLineSnprintf(benchmark::State& st) {
    char line[kDataLineCapacity];
    double v = 1.0;
    for (auto _ : st) {
        v += 0.001;
        benchmark::DoNotOptimize(std::snprintf(line, sizeof line,
                                               "%lu   %lu   %lu   %lu   %.6f   %.6f   %.6f   \n",
                                               123456ul, 2ul, 3ul, 4ul, v, 1.234567, 1.3456789));
    }
}
BENCHMARK(BM_DataLineSnprintf);

void BM_FileLineSnprintf(benchmark::State& st) {
    char line[kFileLineCapacity];
    float v = 1.0f;
    for (auto _ : st) {
        v += 0.001f;
        benchmark::DoNotOptimize(std::snprintf(line, sizeof line,
                                               "%lu,%.3f,%.3f,%02d%02d%02d.%03d,%02d%02d%02d\n",
                                               123456ul, 0.012f, v, 12, 10, 20, 405, 26, 5, 12));
    }
}
BENCHMARK(BM_FileLineSnprintf);

}  // namespace
