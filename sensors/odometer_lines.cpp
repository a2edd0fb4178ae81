#include "sensors/odometer_lines.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The blanks the C library skips before a number.
bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f';
}

}  // namespace

std::optional<double> ParseVoltageLine(std::u16string_view line) {
    const size_t key = line.find(kVoltageKey);
    if (key == std::u16string_view::npos)
        return std::nullopt;
    std::u16string_view rest = line.substr(key + kVoltageKey.size());
    // strtod on a narrow copy of the ASCII characters that follow: a
    // character outside ASCII cannot belong to the number and ends it. The
    // copy holds the whole run, however long (leading zeros included).
    size_t i = 0;
    while (i < rest.size() && IsBlank(rest[i]))
        ++i;
    std::string number;
    for (; i < rest.size(); ++i) {
        const char16_t c = rest[i];
        if (c == u'\0' || c > 0x7E || IsBlank(c))
            break;
        number.push_back(static_cast<char>(c));
    }
    return std::strtod(number.c_str(), nullptr);
}

void OdometerLineAssembler::Append(const uint8_t* bytes, size_t count) {
    size_t i = 0;
    auto put = [this](uint8_t low, uint8_t high) {
        // What no longer fits is dropped; the byte pairing stays intact.
        if (m_fill < kCapacity)
            m_text[m_fill++] = static_cast<char16_t>(low | (high << 8));
    };
    if (m_pendingByte && count > 0) {
        put(*m_pendingByte, bytes[0]);
        m_pendingByte.reset();
        i = 1;
    }
    for (; i + 1 < count; i += 2)
        put(bytes[i], bytes[i + 1]);
    if (i < count)
        m_pendingByte = bytes[i];
    m_text[m_fill] = u'\0';
}

void OdometerLineAssembler::KeepTail(size_t start) {
    size_t tail = m_fill - start;
    if (start > 0 && tail > 0)
        std::memmove(m_text.data(), m_text.data() + start, tail * sizeof(char16_t));
    if (tail > kKeptTail)
        tail = kKeptTail;
    m_fill = tail;
    m_text[m_fill] = u'\0';
}
