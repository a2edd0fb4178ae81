#include "gnss/text_format.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace gnss_format {

void BufferWriter::Text(std::string_view text) {
    if (m_size == 0) {
        m_overflow = m_overflow || !text.empty();
        return;
    }
    const size_t room = m_size - 1 - m_length;
    const size_t n = text.size() < room ? text.size() : room;
    std::memcpy(m_out + m_length, text.data(), n);
    m_length += n;
    if (n < text.size())
        m_overflow = true;
}

void BufferWriter::Fixed(double value, int precision) {
    // 330 characters hold any double in fixed notation with 12 decimals.
    char digits[352];
    const auto r =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, precision);
    if (r.ec != std::errc{}) {
        m_overflow = true;
        return;
    }
    Text(std::string_view(digits, static_cast<size_t>(r.ptr - digits)));
}

void BufferWriter::Int(int64_t value) {
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, value);
    Text(std::string_view(digits, static_cast<size_t>(r.ptr - digits)));
}

void BufferWriter::Two(int value) {
    if (value >= 0 && value < 10)
        Char('0');
    Int(value);
}

size_t BufferWriter::Finish() {
    if (m_size == 0)
        return 0;
    m_out[m_length] = '\0';
    return m_length;
}

std::string Fixed(double value, int precision) {
    char buffer[360];
    BufferWriter w(buffer, sizeof buffer);
    w.Fixed(value, precision);
    return std::string(buffer, w.Finish());
}

std::string Two(int value) {
    char buffer[16];
    BufferWriter w(buffer, sizeof buffer);
    if (value < 0) {
        // printf's "%02d" counts the sign in the width: -5 is "-5".
        w.Int(value);
    } else {
        w.Two(value);
    }
    return std::string(buffer, w.Finish());
}

std::string Hms(int h, int m, int s) {
    return Two(h) + ":" + Two(m) + ":" + Two(s);
}

}  // namespace gnss_format
