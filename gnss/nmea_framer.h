// Cuts the byte stream of a receiver into lines. The receiver ends each
// sentence with CR LF; a bare LF is accepted too (some receivers and most
// recorded captures use it), and the CR before it is removed.
//
// The accumulator has a fixed size and nothing is allocated per chunk. When
// it fills up without a line end (line noise, a wrong speed, a receiver that
// never sends LF), the framer drops the stale text and resynchronises on the
// last '$' so the reader never stalls on a full buffer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

class NmeaFramer {
public:
    static constexpr size_t kCapacity = 24000;  // bytes of pending text
    static constexpr size_t kMaxSentence = 599;

    // Appends one received chunk (at most a few hundred bytes in practice;
    // any size is handled). Complete lines are then available from NextLine.
    void Append(std::string_view chunk);

    // The next complete line without its line end, or nothing when only a
    // partial line (or nothing) is pending. Empty lines are skipped. The view
    // stays valid until the next Append or Clear.
    std::optional<std::string_view> NextLine();

    void Clear();
    size_t Pending() const { return m_end - m_begin; }

    // Bytes thrown away to make room and the number of times that happened.
    uint64_t DroppedBytes() const { return m_droppedBytes; }
    uint64_t Resyncs() const { return m_resyncs; }

private:
    void MakeRoom(size_t needed);

    std::array<char, kCapacity> m_buffer{};
    size_t m_begin = 0;    // first unconsumed byte
    size_t m_end = 0;      // one past the last byte
    size_t m_scanned = 0;  // bytes after m_begin already searched for LF
    uint64_t m_droppedBytes = 0;
    uint64_t m_resyncs = 0;
};
