// A scanner's reply bytes, arbitrary, through the reply framer and both
// reply layouts up to the log line and the clearance check.
//
// The first byte chooses the layout and how the bytes arrive (chunk size);
// the second sets the clearance sector and threshold.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/tests/fuzz_check.h"
#include "scanner/clearance_check.h"
#include "scanner/reply_framer.h"
#include "scanner/scan_log_line.h"
#include "scanner/scan_reply_parser.h"
#include "scanner/sopas_protocol.h"

namespace {

constexpr uint32_t kCanary = 0xC0FFEE11u;

class CollectingSink : public scanner::LogLineSink {
public:
    bool Put(const char* text, size_t length) override {
        FUZZ_CHECK(length > 0);
        line.append(text, length);
        return true;
    }
    std::string line;
};

size_t Tokens(const std::string& line) {
    size_t n = 0;
    bool inToken = false;
    for (char c : line) {
        const bool blank = c == ' ' || c == '\n';
        if (!blank && !inToken)
            ++n;
        inToken = !blank;
    }
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const auto layout = (data[0] & 1) ? sopas::ScanLayout::Second : sopas::ScanLayout::First;
    const size_t chunk = 1 + (data[0] >> 1) * 37;
    const uint8_t knobs = data[1];
    data += 2;
    size = std::min<size_t>(size - 2, sopas::kMaxReplyBytes);

    static char storage[sopas::kScanReplyBufferSize + 1];
    storage[sopas::kScanReplyBufferSize] = '\x5A';  // one byte past the buffer
    sopas::ReplyFramer framer(storage, sopas::kScanReplyBufferSize);
    size_t consumed = 0;
    for (size_t at = 0; at < size && !framer.Complete(); at += chunk) {
        const size_t n = std::min(chunk, size - at);
        const size_t took = framer.Feed(reinterpret_cast<const char*>(data) + at, n);
        FUZZ_CHECK(took <= n);
        consumed += took;
        if (took < n)
            FUZZ_CHECK(framer.Complete());
    }
    FUZZ_CHECK(framer.Stored() < sopas::kScanReplyBufferSize);
    FUZZ_CHECK(framer.Received() == consumed && framer.Stored() <= framer.Received());
    FUZZ_CHECK(storage[framer.Stored()] == '\0');
    FUZZ_CHECK(storage[sopas::kScanReplyBufferSize] == '\x5A');
    if (framer.Complete())
        FUZZ_CHECK(framer.Overflowed() || framer.Text().back() == '\x03');

    // The values buffer as the client has it, and a guard after it.
    static uint32_t values[sopas::kScanValueCapacity + 4];
    std::fill(values + sopas::kScanValueCapacity, values + sopas::kScanValueCapacity + 4, kCanary);
    const sopas::ScanReplyResult r =
        sopas::ParseScanReply(framer.Text(), layout, values, sopas::kScanValueCapacity);
    for (size_t i = 0; i < 4; ++i)
        FUZZ_CHECK(values[sopas::kScanValueCapacity + i] == kCanary);
    FUZZ_CHECK(r.count >= 0 && r.count <= sopas::kMaxScanPoints);
    FUZZ_CHECK(r.ok == (r.error == sopas::ScanReplyError::None));
    if (!r.ok)
        FUZZ_CHECK(r.count == 0);
    if (!r.ok)
        return 0;

    // The log line: whole, one token per field, in the buffer's pieces.
    scanner::ScanLogEntry entry;
    entry.utc = {2026, 12, 2, 8, 23, 59, 59, 999};
    entry.count = r.count;
    entry.values = values;
    entry.inclinometerFitted = (knobs & 1) != 0;
    entry.eventMark = 1;
    entry.replyTimeMs = 12;
    static char lineBuffer[scanner::kLogLineBufferSize];
    CollectingSink sink;
    const size_t length = scanner::WriteScanLogLine(entry, lineBuffer, sizeof lineBuffer, sink);
    FUZZ_CHECK(length == sink.line.size() && length > 0 && sink.line.back() == '\n');
    FUZZ_CHECK(sink.line.find('\n') == length - 1);
    const size_t commandValues = entry.inclinometerFitted ? 3 : 1;
    FUZZ_CHECK(Tokens(sink.line) == 2 + 1 + 2 * static_cast<size_t>(r.count) + commandValues + 2);

    // The clearance check keeps its sector within the scan's points.
    scanner::ClearanceSettings settings;
    settings.rotationAngle = -45.0f;
    settings.clearanceStart = static_cast<float>(knobs % 90);
    settings.clearanceEnd = settings.clearanceStart + static_cast<float>(knobs % 200);
    settings.scanStep = (knobs & 2) ? 0.25f : 0.5f;
    settings.alarmThreshold = knobs % 7;
    scanner::ClearanceMonitor monitor;
    monitor.Check(settings, values, r.count);
    monitor.Check(settings, values, r.count);
    FUZZ_CHECK(monitor.SectorPoints() >= 0 && monitor.SectorPoints() <= sopas::kMaxScanPoints);
    return 0;
}
