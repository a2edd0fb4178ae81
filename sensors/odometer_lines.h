// The serial odometer converter's byte stream: UTF-16LE text lines ending in
// a line feed, each carrying the odometer signal's voltage after the key
// "voltage=".
//
// Reads arrive in pieces of any size: a line may be split across reads and a
// read may end in the middle of a UTF-16 code unit. An odd byte is kept for
// the next read, so code units are never split. The receive text holds at
// most 1023 units; what does not fit of a read is dropped, and a tail without
// a line feed is cut to 1020 units.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

inline constexpr std::u16string_view kVoltageKey = u"voltage=";

// The value after the key: the longest prefix a standard text-to-double
// conversion accepts (0.0 when there is none). nullopt: no key in the line.
std::optional<double> ParseVoltageLine(std::u16string_view line);

class OdometerLineAssembler {
public:
    static constexpr size_t kCapacity = 1023;  // code units of the receive text
    static constexpr size_t kKeptTail = 1020;  // longest tail kept without a line feed

    // Appends the bytes of one read as UTF-16LE code units.
    void Append(const uint8_t* bytes, size_t count);

    // Hands every complete line (without its line feed) to `onLine`, in
    // order, then keeps the text after the last line feed.
    template <typename OnLine>
    void TakeLines(OnLine&& onLine) {
        size_t start = 0;
        for (size_t i = 0; i < m_fill; ++i) {
            if (m_text[i] == u'\n') {
                onLine(std::u16string_view(m_text.data() + start, i - start));
                start = i + 1;
            }
        }
        KeepTail(start);
    }

    size_t Fill() const { return m_fill; }
    bool HasPendingByte() const { return m_pendingByte.has_value(); }
    std::u16string_view Text() const { return {m_text.data(), m_fill}; }

private:
    void KeepTail(size_t start);

    std::array<char16_t, kCapacity + 1> m_text{};
    size_t m_fill = 0;
    std::optional<uint8_t> m_pendingByte;  // first byte of a code unit whose second is to come
};
