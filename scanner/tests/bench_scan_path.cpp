// The per-scan path of a data thread: reply parsing, the clearance check,
// the log line, and all of them together for one full scan.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "scan_telegrams.h"
#include "scanner/clearance_check.h"
#include "scanner/scan_log_line.h"
#include "scanner/scan_pipeline.h"
#include "scanner/scan_reply_parser.h"

namespace {

// Counts what a log file would receive.
class NullSink : public scanner::LogLineSink {
public:
    size_t bytes = 0;
    bool Put(const char* text, size_t length) override {
        benchmark::DoNotOptimize(text);
        bytes += length;
        return true;
    }
};

scanner::ClearanceSettings Sector(float step) {
    scanner::ClearanceSettings s;
    s.rotationAngle = -45.0f;
    s.clearanceStart = -20.0f;
    s.clearanceEnd = 20.0f;
    s.scanStep = step;
    return s;
}

void BM_ParseScanReply(benchmark::State& st) {
    const size_t points = static_cast<size_t>(st.range(0));
    const sopas::ScanLayout layout =
        st.range(1) == 1 ? sopas::ScanLayout::First : sopas::ScanLayout::Second;
    const std::string telegram = scan_test::BuildTelegram(scan_test::RoadScan(points, layout));
    std::vector<uint32_t> values(sopas::kScanValueCapacity);
    for (auto _ : st) {
        auto r = sopas::ParseScanReply(telegram, layout, values.data(), values.size());
        benchmark::DoNotOptimize(r);
    }
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * telegram.size()));
}
BENCHMARK(BM_ParseScanReply)->Args({541, 1})->Args({1081, 1})->Args({541, 2})->Args({1081, 2});

void BM_ClearanceCheck(benchmark::State& st) {
    const size_t points = static_cast<size_t>(st.range(0));
    const float step = points > 600 ? 0.25f : 0.5f;
    std::vector<uint32_t> a(points, 3000), b(points, 3000);
    b[points / 2] = 1000;  // alarms on every other scan
    scanner::ClearanceMonitor monitor;
    bool flip = false;
    for (auto _ : st) {
        flip = !flip;
        benchmark::DoNotOptimize(
            monitor.Check(Sector(step), flip ? a.data() : b.data(), static_cast<int32_t>(points)));
    }
}
BENCHMARK(BM_ClearanceCheck)->Arg(541)->Arg(1081);

void BM_LogLine(benchmark::State& st) {
    const auto shape = scan_test::RoadScan(static_cast<size_t>(st.range(0)));
    std::vector<uint32_t> values(shape.distances);
    values.insert(values.end(), shape.remissions.begin(), shape.remissions.end());
    scanner::ScanLogEntry entry;
    entry.utc = platform::CivilTime{2026, 5, 3, 14, 12, 30, 45, 123};
    entry.count = static_cast<int32_t>(shape.distances.size());
    entry.values = values.data();
    entry.commandValues[0] = 12.345678;
    entry.commandValues[1] = -0.5;
    entry.commandValues[2] = 1390.25;
    entry.replyTimeMs = 987654321;
    std::vector<char> buffer(scanner::kLogLineBufferSize);
    NullSink sink;
    for (auto _ : st)
        benchmark::DoNotOptimize(
            scanner::WriteScanLogLine(entry, buffer.data(), buffer.size(), sink));
    st.SetBytesProcessed(static_cast<int64_t>(sink.bytes));
}
BENCHMARK(BM_LogLine)->Arg(541)->Arg(1081);

// One scan of 1081 points with 16-bit remission, as the data thread handles
// it while recording: parse, clearance check, log line, hand-over to the display.
void BM_WholeScanPath(benchmark::State& st) {
    const std::string telegram = scan_test::BuildTelegram(scan_test::RoadScan(1081));
    std::vector<uint32_t> values(sopas::kScanValueCapacity);
    std::vector<char> line(scanner::kLogLineBufferSize);
    scanner::ClearanceMonitor monitor;
    scanner::PublishedScans published;
    NullSink sink;
    const scanner::ClearanceSettings sector = Sector(0.25f);
    for (auto _ : st) {
        const auto r =
            sopas::ParseScanReply(telegram, sopas::ScanLayout::First, values.data(), values.size());
        benchmark::DoNotOptimize(monitor.Check(sector, values.data(), r.count));
        scanner::ScanLogEntry entry;
        entry.utc = platform::CivilTime{2026, 5, 3, 14, 12, 30, 45, 123};
        entry.count = r.count;
        entry.values = values.data();
        entry.replyTimeMs = 987654321;
        benchmark::DoNotOptimize(scanner::WriteScanLogLine(entry, line.data(), line.size(), sink));
        published.Publish(0, values.data(), r.count);
    }
    st.SetItemsProcessed(static_cast<int64_t>(st.iterations()));
}
BENCHMARK(BM_WholeScanPath);

}  // namespace
