// A bounded, allocation-free text builder for the per-sample lines. Numbers
// come out exactly as the C library's printf writes them ("%lu", "%.3f",
// "%02d"), without its format parsing: the sample path builds five lines a
// millisecond.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

class TextWriter {
public:
    // Writes into buffer[0, capacity - 1) and keeps it NUL-terminated.
    TextWriter(char* buffer, size_t capacity);

    TextWriter& Put(char c);
    TextWriter& Put(std::string_view text);
    // "%lu".
    TextWriter& Unsigned(uint32_t value);
    // "%0<width>d" for a value >= 0 ("%d" for negative ones).
    TextWriter& Padded(int32_t value, int width);
    // "%.<precision>f": the exact decimal rounding of the double.
    TextWriter& Fixed(double value, int precision);

    // Characters written (without the terminator).
    size_t Length() const { return static_cast<size_t>(m_next - m_begin); }
    // False when something did not fit; the text is then cut at a whole item.
    bool Ok() const { return m_ok; }

private:
    void Terminate();

    char* m_begin;
    char* m_next;
    char* m_end;  // one before the buffer's end: room for the terminator
    bool m_ok = true;
};
