#include "sensors/text_writer.h"

#include <charconv>
#include <cmath>
#include <cstring>

TextWriter::TextWriter(char* buffer, size_t capacity)
    : m_begin(buffer), m_next(buffer), m_end(capacity > 0 ? buffer + capacity - 1 : buffer) {
    if (capacity == 0) {
        m_ok = false;
        return;
    }
    Terminate();
}

void TextWriter::Terminate() {
    *m_next = '\0';
}

TextWriter& TextWriter::Put(char c) {
    if (!m_ok || m_next >= m_end) {
        m_ok = false;
        return *this;
    }
    *m_next++ = c;
    Terminate();
    return *this;
}

TextWriter& TextWriter::Put(std::string_view text) {
    if (!m_ok || static_cast<size_t>(m_end - m_next) < text.size()) {
        m_ok = false;
        return *this;
    }
    std::memcpy(m_next, text.data(), text.size());
    m_next += text.size();
    Terminate();
    return *this;
}

TextWriter& TextWriter::Unsigned(uint32_t value) {
    if (!m_ok)
        return *this;
    const std::to_chars_result r = std::to_chars(m_next, m_end, value);
    if (r.ec != std::errc()) {
        m_ok = false;
        return *this;
    }
    m_next = r.ptr;
    Terminate();
    return *this;
}

TextWriter& TextWriter::Padded(int32_t value, int width) {
    if (!m_ok)
        return *this;
    char digits[16];
    const std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, value);
    const size_t n = static_cast<size_t>(r.ptr - digits);
    const size_t zeros = value >= 0 && static_cast<size_t>(width) > n ? width - n : 0;
    if (static_cast<size_t>(m_end - m_next) < zeros + n) {
        m_ok = false;
        return *this;
    }
    std::memset(m_next, '0', zeros);
    std::memcpy(m_next + zeros, digits, n);
    m_next += zeros + n;
    Terminate();
    return *this;
}

TextWriter& TextWriter::Fixed(double value, int precision) {
    if (!m_ok)
        return *this;
    // printf writes "inf" and "nan" (signed); to_chars agrees.
    const std::to_chars_result r =
        std::isfinite(value)
            ? std::to_chars(m_next, m_end, value, std::chars_format::fixed, precision)
            : std::to_chars(m_next, m_end, value);
    if (r.ec != std::errc()) {
        m_ok = false;
        return *this;
    }
    m_next = r.ptr;
    Terminate();
    return *this;
}
