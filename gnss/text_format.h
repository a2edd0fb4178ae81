// Locale-independent number formatting for the service's texts and files:
// '.' is the decimal point whatever the process locale says, and the digits
// are those of printf's "%.Nf" (correctly rounded).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace gnss_format {

// Bounded writer into a caller's buffer; stops writing (and reports it)
// when the buffer is full, always leaving room for a NUL.
class BufferWriter {
public:
    BufferWriter(char* out, size_t size) : m_out(out), m_size(size) {}
    void Text(std::string_view text);
    void Char(char c) { Text(std::string_view(&c, 1)); }
    void Fixed(double value, int precision);  // "%.Nf"
    void Int(int64_t value);                  // "%d"
    void Two(int value);                      // "%02d" of a non-negative value
    size_t Length() const { return m_length; }
    bool Overflowed() const { return m_overflow; }
    // Writes the NUL and returns the length (0 for a zero-sized buffer).
    size_t Finish();

private:
    char* m_out;
    size_t m_size;
    size_t m_length = 0;
    bool m_overflow = false;
};

std::string Fixed(double value, int precision);
// "%02d": at least two digits, with a sign for negative values.
std::string Two(int value);
// "%02d:%02d:%02d".
std::string Hms(int h, int m, int s);

}  // namespace gnss_format
