#include "scanner/scan_log_line.h"

#include <charconv>
#include <cstring>

namespace scanner {
namespace {

// Longest single piece appended at once: a double in fixed notation with six
// decimals (up to 309 integer digits) and its blank.
constexpr size_t kLongestPiece = 330;

class LineBuilder {
public:
    LineBuilder(char* buffer, size_t capacity, LogLineSink& sink)
        : m_begin(buffer), m_end(buffer + capacity), m_at(buffer), m_sink(sink) {}

    // Room for one more piece; hands what is assembled to the sink when short.
    bool Reserve() {
        if (static_cast<size_t>(m_end - m_at) >= kLongestPiece)
            return true;
        return Flush();
    }
    bool Flush() {
        const size_t length = static_cast<size_t>(m_at - m_begin);
        if (length > 0 && !m_sink.Put(m_begin, length))
            return false;
        m_total += length;
        m_at = m_begin;
        return true;
    }
    void Char(char c) { *m_at++ = c; }
    void TwoDigits(unsigned v) {
        // "%02d": at least two digits.
        if (v >= 100) {
            Unsigned(v);
            return;
        }
        *m_at++ = static_cast<char>('0' + v / 10);
        *m_at++ = static_cast<char>('0' + v % 10);
    }
    void ThreeDigits(unsigned v) {
        if (v >= 1000) {
            Unsigned(v);
            return;
        }
        *m_at++ = static_cast<char>('0' + v / 100);
        *m_at++ = static_cast<char>('0' + v / 10 % 10);
        *m_at++ = static_cast<char>('0' + v % 10);
    }
    void Unsigned(uint64_t v) { m_at = std::to_chars(m_at, m_end, v).ptr; }
    void Signed(int64_t v) { m_at = std::to_chars(m_at, m_end, v).ptr; }
    void Fixed6(double v) {
        // "%.6f", independent of any locale: a point as the decimal separator.
        m_at = std::to_chars(m_at, m_end, v, std::chars_format::fixed, 6).ptr;
    }
    size_t Total() const { return m_total; }

private:
    char* m_begin;
    char* m_end;
    char* m_at;
    LogLineSink& m_sink;
    size_t m_total = 0;
};

}  // namespace

size_t WriteScanLogLine(const ScanLogEntry& e, char* buffer, size_t capacity, LogLineSink& sink) {
    if (buffer == nullptr || capacity < 2 * kLongestPiece)
        return 0;
    LineBuilder line(buffer, capacity, sink);
    const platform::CivilTime& t = e.utc;
    line.TwoDigits(t.year % 2000u);
    line.TwoDigits(t.month);
    line.TwoDigits(t.day);
    line.Char(' ');
    line.TwoDigits(t.hour);
    line.TwoDigits(t.minute);
    line.TwoDigits(t.second);
    line.Char('.');
    line.ThreeDigits(t.milliseconds);
    line.Char(' ');
    line.Signed(e.count);

    const int64_t values =
        e.values != nullptr && e.count > 0 ? 2 * static_cast<int64_t>(e.count) : 0;
    for (int64_t i = 0; i < values; ++i) {
        if (!line.Reserve())
            return 0;
        line.Char(' ');
        // " %d" of each value: a value above 31 bits reads back as the
        // 32-bit signed number the suite's readers expect.
        line.Signed(static_cast<int32_t>(e.values[i]));
    }
    const int valueCount = e.inclinometerFitted ? 3 : 1;
    for (int i = 0; i < valueCount; ++i) {
        if (!line.Reserve())
            return 0;
        line.Char(' ');
        line.Fixed6(e.inclinometerFitted ? e.commandValues[i] : kNoInclinometerValue);
    }
    if (!line.Reserve())
        return 0;
    line.Char(' ');
    line.Signed(e.eventMark);
    line.Char(' ');
    line.Signed(e.replyTimeMs);
    line.Char('\n');
    if (!line.Flush())
        return 0;
    return line.Total();
}

}  // namespace scanner
