// What a data thread does with a good scan: alarm, log, hand-over; the
// scanner logs on disk; the alarm tone's thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "scanner/scan_pipeline.h"

namespace {

namespace fs = std::filesystem;
using scanner::ScanLogEntry;
constexpr auto kWritten = scanner::ScanLogFiles::WriteResult::Written;

// Runs a test in a fresh current directory (the logs go there).
class InTempFolder : public ::testing::Test {
protected:
    void SetUp() override {
        m_previous = fs::current_path();
        m_folder = fs::temp_directory_path() /
                   ("scanner_pipeline_" + std::to_string(reinterpret_cast<uintptr_t>(this)));
        fs::create_directories(m_folder);
        fs::current_path(m_folder);
    }
    void TearDown() override {
        m_logs.CloseAll();
        fs::current_path(m_previous);
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
    }
    std::string Log(int slot) {
        std::ifstream in(m_folder / scanner::ScanLogName(slot), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path m_previous, m_folder;
    scanner::ScanLogFiles m_logs;
};

scanner::ClearanceSettings Sector() {
    scanner::ClearanceSettings s;
    s.rotationAngle = -45.0f;
    s.clearanceStart = -20.0f;
    s.clearanceEnd = 20.0f;
    s.scanStep = 0.5f;
    return s;
}

ScanLogEntry Entry(const std::vector<uint32_t>& values) {
    ScanLogEntry e;
    e.utc = platform::CivilTime{2026, 1, 0, 2, 3, 4, 5, 6};
    e.count = static_cast<int32_t>(values.size() / 2);
    e.values = values.data();
    e.replyTimeMs = 42;
    return e;
}

using PipelineTest = InTempFolder;

TEST_F(PipelineTest, OnlyRequestedScansAreLoggedAndOnlyWhileRecording) {
    scanner::ClearanceMonitor monitor;
    scanner::ScanRequests requests;
    ASSERT_TRUE(m_logs.Open(0));
    std::vector<uint32_t> values(1082, 3000);
    ScanLogEntry e = Entry(values);

    EXPECT_FALSE(
        scanner::ProcessScan(0, monitor, Sector(), requests, true, e, m_logs, nullptr).logged);
    requests.SetValues({1.0, 2.0, 3.0});
    requests.m_logNext = true;
    EXPECT_FALSE(
        scanner::ProcessScan(0, monitor, Sector(), requests, false, e, m_logs, nullptr).logged);
    EXPECT_TRUE(requests.m_logNext);  // still asked for: not recording
    const auto r = scanner::ProcessScan(0, monitor, Sector(), requests, true, e, m_logs, nullptr);
    EXPECT_TRUE(r.logged);
    EXPECT_FALSE(requests.m_logNext);
    m_logs.FlushAll();
    const std::string log = Log(0);
    EXPECT_EQ(log.rfind("260102 030405.006 541 3000", 0), 0u);
    EXPECT_NE(log.find(" 1.000000 2.000000 3.000000 0 42"), std::string::npos);
}

TEST_F(PipelineTest, AnAlarmWhileRecordingLogsThisScanWithTheMark) {
    scanner::ClearanceMonitor monitor;
    scanner::ScanRequests requests;
    ASSERT_TRUE(m_logs.Open(1));
    std::vector<uint32_t> road(1082, 3000), obstacle(1082, 3000);
    for (int i = 60; i < 70; ++i)
        obstacle[i] = 1200;
    ScanLogEntry a = Entry(road), b = Entry(obstacle);
    int tones = 0;
    {
        scanner::AlarmBeeper beeper([&](uint32_t hz, uint32_t ms) {
            EXPECT_EQ(hz, 5000u);
            EXPECT_EQ(ms, 100u);
            ++tones;
        });
        scanner::ProcessScan(1, monitor, Sector(), requests, true, a, m_logs, &beeper);
        const auto r =
            scanner::ProcessScan(1, monitor, Sector(), requests, true, b, m_logs, &beeper);
        EXPECT_TRUE(r.alarm);
        EXPECT_TRUE(r.logged);
        EXPECT_EQ(requests.m_eventMark, 0);
        // The next scan is logged without the mark when asked for.
        requests.m_logNext = true;
        scanner::ProcessScan(1, monitor, Sector(), requests, true, b, m_logs, &beeper);
        // While a log is pending the sector is not checked.
        requests.m_logNext = true;
        EXPECT_FALSE(
            scanner::ProcessScan(1, monitor, Sector(), requests, false, a, m_logs, &beeper).alarm);
    }
    EXPECT_EQ(tones, 1);
    m_logs.CloseAll();
    const std::string log = Log(1);
    ASSERT_EQ(std::count(log.begin(), log.end(), '\n'), 2);
    const std::string first = log.substr(0, log.find('\n'));
    EXPECT_NE(first.find(" 1000.000000 1000.000000 1000.000000 1 42"), std::string::npos);
    const std::string second = log.substr(log.find('\n') + 1);
    EXPECT_NE(second.find(" 1000.000000 1000.000000 1000.000000 0 42"), std::string::npos);
}

TEST_F(PipelineTest, AnAlarmWhileIdleOnlySounds) {
    scanner::ClearanceMonitor monitor;
    scanner::ScanRequests requests;
    std::vector<uint32_t> road(1082, 3000), obstacle(1082, 900);
    ScanLogEntry a = Entry(road), b = Entry(obstacle);
    scanner::ProcessScan(0, monitor, Sector(), requests, false, a, m_logs, nullptr);
    const auto r = scanner::ProcessScan(0, monitor, Sector(), requests, false, b, m_logs, nullptr);
    EXPECT_TRUE(r.alarm);
    EXPECT_FALSE(requests.m_logNext);
    EXPECT_EQ(requests.m_eventMark, 0);
}

TEST_F(PipelineTest, LogsAreTextAppendedAndSafeToCloseWhileWriting) {
    std::vector<uint32_t> values(200, 7);
    ScanLogEntry e = Entry(values);
    ASSERT_TRUE(m_logs.Open(0));
    EXPECT_EQ(m_logs.WriteLine(0, e), kWritten);
    EXPECT_TRUE(m_logs.Close(0));
    // Closed: the line is dropped.
    EXPECT_EQ(m_logs.WriteLine(0, e), scanner::ScanLogFiles::WriteResult::NotOpen);
    ASSERT_TRUE(m_logs.Open(0));  // appends
    EXPECT_EQ(m_logs.WriteLine(0, e), kWritten);
    m_logs.Close(0);
    const std::string log = Log(0);
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2);
#ifdef _WIN32
    EXPECT_EQ(std::count(log.begin(), log.end(), '\r'), 2);  // text mode: CR LF
#endif

    // A writer thread and open/close from another: every line stays whole.
    std::atomic<bool> stop{false};
    std::atomic<int> written{0};
    std::thread writer([&] {
        while (!stop) {
            if (m_logs.WriteLine(0, e) == kWritten)
                ++written;
        }
    });
    for (int i = 0; i < 200; ++i) {
        m_logs.Open(0);
        std::this_thread::yield();
        m_logs.Close(0);
    }
    stop = true;
    writer.join();
    const std::string all = Log(0);
    std::istringstream lines(all);
    std::string line;
    int count = 0;
    const std::string expected = all.substr(0, all.find('\n'));
    while (std::getline(lines, line)) {
        ++count;
        EXPECT_EQ(line, expected);
    }
    EXPECT_EQ(count, 2 + written.load());
}

TEST_F(PipelineTest, AFullDiskIsToldToTheCallerAndTheFileStaysInUse) {
#ifdef _WIN32
    GTEST_SKIP() << "a full device is reached through a link on the host";
#else
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    fs::create_symlink("/dev/full", m_folder / scanner::ScanLogName(0));
    ASSERT_TRUE(m_logs.Open(0));
    std::vector<uint32_t> values(2 * 1081, 12345);
    ScanLogEntry e = Entry(values);
    scanner::ClearanceMonitor monitor;
    scanner::ScanRequests requests;
    // Lines fill the stream's buffer, then its write to the disk fails.
    int failed = 0;
    for (int i = 0; i < 40; ++i) {
        requests.m_logNext = true;
        const auto r =
            scanner::ProcessScan(0, monitor, Sector(), requests, true, e, m_logs, nullptr);
        EXPECT_NE(r.logged, r.writeFailed);
        failed += r.writeFailed ? 1 : 0;
    }
    EXPECT_GT(failed, 0);
    EXPECT_TRUE(m_logs.IsOpen(0));  // later lines are tried again
    // A short line waits in the stream's buffer: its flush, or its close, fails.
    std::vector<uint32_t> one = {1500, 10};
    const ScanLogEntry shortLine = Entry(one);
    EXPECT_EQ(m_logs.WriteLine(0, shortLine), kWritten);
    EXPECT_EQ(m_logs.FlushAll(), 1u);
    EXPECT_EQ(m_logs.WriteLine(0, shortLine), kWritten);
    EXPECT_FALSE(m_logs.Close(0));
    EXPECT_TRUE(m_logs.Close(0));  // closed already: nothing to fail
#endif
}

TEST(PublishedScansTest, TheDisplayGetsWholeScans) {
    scanner::PublishedScans scans;
    std::vector<uint32_t> out(sopas::kScanValueCapacity);
    EXPECT_EQ(scans.CopyOut(0, out.data()), 0);
    std::vector<uint32_t> a(2 * 541, 11), b(2 * 1081, 22);
    std::atomic<bool> stop{false};
    std::thread producer([&] {
        for (int i = 0; !stop; ++i)
            scans.Publish(1, i % 2 ? a.data() : b.data(), i % 2 ? 541 : 1081);
    });
    for (int i = 0; i < 2000; ++i) {
        const int32_t n = scans.CopyOut(1, out.data());
        if (n == 0)
            continue;
        const uint32_t v = n == 541 ? 11 : 22;
        ASSERT_EQ(std::count(out.begin(), out.begin() + 2 * n, v), 2 * n);
    }
    stop = true;
    producer.join();
    scans.Clear(1);
    EXPECT_EQ(scans.CopyOut(1, out.data()), 0);
    scans.Publish(0, a.data(), 5000);  // more than a scan holds: ignored
    EXPECT_EQ(scans.CopyOut(0, out.data()), 0);
}

TEST(AlarmBeeperTest, AlarmsDuringATonesMergeAndNoneBlocksTheCaller) {
    std::atomic<int> tones{0};
    std::atomic<bool> release{false};
    scanner::AlarmBeeper beeper([&](uint32_t, uint32_t) {
        ++tones;
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    beeper.Alarm();
    // The tone is held; more alarms return at once and merge into it.
    for (int i = 0; i < 100; ++i)
        beeper.Alarm();
    for (int i = 0; i < 1000 && tones == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(tones, 1);
    release = true;
    for (int i = 0; i < 1000 && beeper.TonesSounded() < 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    beeper.Alarm();  // a new alarm after the tone sounds again
    for (int i = 0; i < 1000 && beeper.TonesSounded() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(beeper.TonesSounded(), 2u);
}

TEST(CounterTest, MillisecondsDoNotOverflow) {
    EXPECT_EQ(scanner::CounterMilliseconds(12345678, 10000000), 1234);
    EXPECT_EQ(scanner::CounterMilliseconds(INT64_MAX, 1000000000),
              INT64_MAX / 1000000000 * 1000 + INT64_MAX % 1000000000 / 1000000);
    EXPECT_EQ(scanner::CounterMilliseconds(5, 0), 0);
}

}  // namespace
