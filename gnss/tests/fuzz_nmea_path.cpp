// The receiver's byte stream, as arbitrary bytes, through the framer and the
// sentence path up to the published record and the fix-log line.
//
// Random bytes rarely carry a right checksum; when the first byte is odd the
// target writes the right one after each sentence's '*' first, so that the
// fuzzer reaches the parsers behind the check.
#include <cstdint>
#include <cstring>
#include <string>

#include "gnss/gnss_logs_format.h"
#include "gnss/gnss_state.h"
#include "gnss/gps_record.h"
#include "gnss/nmea_framer.h"
#include "gnss/nmea_parser.h"
#include "gps/gps_record.h"
#include "platform/tests/fuzz_check.h"

namespace {

void RepairChecksums(std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const size_t dollar = text.find('$', start);
        const size_t star = text.find('*', dollar == std::string::npos ? end : dollar);
        if (dollar < end && star + 2 < end) {
            const uint8_t sum =
                NmeaChecksum(std::string_view(text).substr(dollar + 1, star - dollar - 1));
            text[star + 1] = kHex[sum >> 4];
            text[star + 2] = kHex[sum & 15];
        }
        start = end + 1;
    }
}

void CheckPublished(const GnssState& state, std::string_view logLine) {
    FUZZ_CHECK(!logLine.empty() && logLine.size() <= NmeaFramer::kMaxSentence);

    // The record fits its block, ends with its terminator and reads back as
    // the client library reads it.
    char record[kGpsRecordMappingSize];
    std::memset(record, 'x', sizeof record);
    const size_t length = FormatGpsRecord(state, record, sizeof record);
    FUZZ_CHECK(length < sizeof record);
    FUZZ_CHECK(record[length] == '\0' && std::strlen(record) == length);
    gps::GpsValues values;
    FUZZ_CHECK(gps::ParseGpsRecord(record, values) == (state.valid > 0 ? 1 : state.valid));
    FUZZ_CHECK(values.satellites == state.satellites);

    // The fix-log line fits its buffer, whole: sentence, step, date, checksum.
    char line[kFixLineBuffer];
    const size_t n =
        FormatFixLogLine(logLine, state.stepDistance, state.dateStamp, line, sizeof line);
    FUZZ_CHECK(n > logLine.size() && n < sizeof line);
    FUZZ_CHECK(std::memcmp(line, logLine.data(), logLine.size()) == 0);
    FUZZ_CHECK(line[n - 1] == '\n');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] & 1)
        RepairChecksums(text);

    static NmeaFramer framer;  // 24 KB: kept between runs, cleared for each
    framer.Clear();
    GnssState state;
    state.valid = 1;
    // Chunks of the sizes a serial read returns, varied by the first byte.
    const size_t chunk = 1 + (data[0] >> 1) * 3;
    for (size_t at = 0; at < text.size(); at += chunk) {
        framer.Append(std::string_view(text).substr(at, chunk));
        FUZZ_CHECK(framer.Pending() <= NmeaFramer::kCapacity);
        while (auto line = framer.NextLine()) {
            FUZZ_CHECK(!line->empty() && line->find('\n') == std::string_view::npos);
            GnssState probed = state;
            ProbeLine(*line, probed);
            const LineResult r = ProcessLine(*line, state);
            if (r.kind == SentenceKind::Gga && r.accepted)
                CheckPublished(state, r.logLine);
            FUZZ_CHECK(state.ggaCount <= kGgaCountLimit);
        }
    }
    return 0;
}
