// Log lines: the format, the values, and lines longer than the buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "scanner/scan_log_line.h"

namespace {

using scanner::ScanLogEntry;

class StringSink : public scanner::LogLineSink {
public:
    std::string text;
    int pieces = 0;
    bool fail = false;
    bool Put(const char* t, size_t n) override {
        if (fail)
            return false;
        text.append(t, n);
        ++pieces;
        return true;
    }
};

// The line as the C library's printf builds it from the same pieces.
std::string PrintfLine(const ScanLogEntry& e) {
    char head[64];
    std::snprintf(head, sizeof head, "%02d%02d%02d %02d%02d%02d.%03d ", e.utc.year % 2000,
                  e.utc.month, e.utc.day, e.utc.hour, e.utc.minute, e.utc.second,
                  e.utc.milliseconds);
    std::string line = head + std::to_string(e.count);
    char tail[400];
    for (int i = 0; i < 2 * e.count; ++i) {
        std::snprintf(tail, sizeof tail, " %d", static_cast<int>(e.values[i]));
        line += tail;
    }
    for (int i = 0; i < (e.inclinometerFitted ? 3 : 1); ++i) {
        std::snprintf(tail, sizeof tail, " %.6f",
                      e.inclinometerFitted ? e.commandValues[i] : 1000.0);
        line += tail;
    }
    std::snprintf(tail, sizeof tail, " %d %lld\n", e.eventMark,
                  static_cast<long long>(e.replyTimeMs));
    return line + tail;
}

ScanLogEntry Entry(const std::vector<uint32_t>& values) {
    ScanLogEntry e;
    e.utc = platform::CivilTime{2026, 3, 0, 7, 4, 5, 6, 78};
    e.count = static_cast<int32_t>(values.size() / 2);
    e.values = values.data();
    e.commandValues[0] = 1.5;
    e.commandValues[1] = -0.25;
    e.commandValues[2] = 12345.678901234;
    e.eventMark = 1;
    e.replyTimeMs = 123456789012;
    return e;
}

TEST(ScanLogLineTest, AShortLineHasEveryPieceInOrder) {
    const std::vector<uint32_t> values = {1500, 1600, 1700, 10, 20, 30};
    ScanLogEntry e = Entry(values);
    StringSink sink;
    char buffer[scanner::kLogLineBufferSize];
    const size_t n = scanner::WriteScanLogLine(e, buffer, sizeof buffer, sink);
    EXPECT_EQ(sink.text,
              "260307 040506.078 3 1500 1600 1700 10 20 30 1.500000 -0.250000 12345.678901 1 "
              "123456789012\n");
    EXPECT_EQ(n, sink.text.size());
    EXPECT_EQ(sink.pieces, 1);
    EXPECT_EQ(sink.text, PrintfLine(e));
}

TEST(ScanLogLineTest, WithoutAnInclinometerTheLineCarries1000) {
    const std::vector<uint32_t> values = {1500, 10};
    ScanLogEntry e = Entry(values);
    e.inclinometerFitted = false;
    e.eventMark = 0;
    e.replyTimeMs = 5;
    StringSink sink;
    char buffer[scanner::kLogLineBufferSize];
    scanner::WriteScanLogLine(e, buffer, sizeof buffer, sink);
    EXPECT_EQ(sink.text, "260307 040506.078 1 1500 10 1000.000000 0 5\n");
}

TEST(ScanLogLineTest, ValuesAbove31BitsAreWrittenAsPrintfDoesWithPercentD) {
    const std::vector<uint32_t> values = {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, 0};
    ScanLogEntry e = Entry(values);
    StringSink sink;
    char buffer[scanner::kLogLineBufferSize];
    scanner::WriteScanLogLine(e, buffer, sizeof buffer, sink);
    EXPECT_EQ(sink.text, PrintfLine(e));
    EXPECT_NE(sink.text.find(" 2 -1 -2147483648 2147483647 0 "), std::string::npos);
}

TEST(ScanLogLineTest, ALineLongerThanTheBufferIsWrittenWholeInPieces) {
    // 1440 points of large values: about 29 000 characters.
    std::vector<uint32_t> values(2880);
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<uint32_t>(4000000000u - i * 7);
    ScanLogEntry e = Entry(values);
    StringSink sink;
    char buffer[scanner::kLogLineBufferSize];
    const size_t n = scanner::WriteScanLogLine(e, buffer, sizeof buffer, sink);
    EXPECT_GT(n, scanner::kLogLineBufferSize * 2);
    EXPECT_GE(sink.pieces, 3);
    EXPECT_EQ(sink.text, PrintfLine(e));
    EXPECT_EQ(std::count(sink.text.begin(), sink.text.end(), '\n'), 1);

    // A 1081-point scan of five-digit values no longer fits 12 000 characters either.
    std::vector<uint32_t> five(2162, 65535);
    ScanLogEntry f = Entry(five);
    StringSink sink2;
    scanner::WriteScanLogLine(f, buffer, sizeof buffer, sink2);
    EXPECT_GT(sink2.text.size(), scanner::kLogLineBufferSize);
    EXPECT_EQ(sink2.text, PrintfLine(f));
}

TEST(ScanLogLineTest, HugeCommandValuesAndAFailingSinkAreHandled) {
    const std::vector<uint32_t> values = {1, 2};
    ScanLogEntry e = Entry(values);
    e.commandValues[0] = 1e300;
    StringSink sink;
    char buffer[scanner::kLogLineBufferSize];
    scanner::WriteScanLogLine(e, buffer, sizeof buffer, sink);
    EXPECT_EQ(sink.text, PrintfLine(e));

    StringSink failing;
    failing.fail = true;
    EXPECT_EQ(scanner::WriteScanLogLine(e, buffer, sizeof buffer, failing), 0u);
    char tiny[16];
    EXPECT_EQ(scanner::WriteScanLogLine(e, tiny, sizeof tiny, sink), 0u);
}

}  // namespace
