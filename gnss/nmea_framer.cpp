#include "gnss/nmea_framer.h"

#include <cstring>

void NmeaFramer::Append(std::string_view chunk) {
    while (!chunk.empty()) {
        if (m_end == kCapacity && m_begin > 0) {
            // Move the pending text to the front.
            const size_t pending = m_end - m_begin;
            std::memmove(m_buffer.data(), m_buffer.data() + m_begin, pending);
            m_begin = 0;
            m_end = pending;
        }
        if (m_end == kCapacity)
            MakeRoom(chunk.size());
        const size_t room = kCapacity - m_end;
        if (room == 0) {
            // Complete lines are waiting and nothing can go: the rest of the chunk is lost.
            m_droppedBytes += chunk.size();
            return;
        }
        const size_t n = chunk.size() < room ? chunk.size() : room;
        std::memcpy(m_buffer.data() + m_end, chunk.data(), n);
        m_end += n;
        chunk.remove_prefix(n);
    }
}

void NmeaFramer::MakeRoom(size_t /*needed*/) {
    // Called with a full buffer that starts at 0. When it holds a line end,
    // the caller has not taken its lines yet: keep them, drop the new text.
    const char* data = m_buffer.data();
    if (std::memchr(data, '\n', m_end) != nullptr)
        return;
    // One line longer than the whole buffer: no sentence is that long, so
    // this is noise or a stream without line ends. Keep only a sentence
    // that may still be in progress (the text from the last '$', when it is
    // short enough to be one) and start over from there.
    size_t keepFrom = m_end;
    for (size_t i = m_end; i > 0 && m_end - (i - 1) <= kMaxSentence; --i) {
        if (data[i - 1] == '$') {
            keepFrom = i - 1;
            break;
        }
    }
    const size_t kept = m_end - keepFrom;
    m_droppedBytes += keepFrom;
    ++m_resyncs;
    std::memmove(m_buffer.data(), data + keepFrom, kept);
    m_begin = 0;
    m_end = kept;
    m_scanned = 0;
}

std::optional<std::string_view> NmeaFramer::NextLine() {
    for (;;) {
        const size_t pending = m_end - m_begin;
        if (m_scanned >= pending) {
            m_scanned = pending;
            return std::nullopt;
        }
        const char* start = m_buffer.data() + m_begin;
        const void* lf = std::memchr(start + m_scanned, '\n', pending - m_scanned);
        if (lf == nullptr) {
            m_scanned = pending;
            return std::nullopt;
        }
        size_t length = static_cast<size_t>(static_cast<const char*>(lf) - start);
        m_begin += length + 1;
        m_scanned = 0;
        if (m_begin == m_end)
            m_begin = m_end = 0;  // the view stays valid: nothing is moved before the next Append
        if (length > 0 && start[length - 1] == '\r')
            --length;
        if (length > 0)
            return std::string_view(start, length);
        // An empty line (a lone CR LF) carries nothing; the lines behind it are kept.
    }
}

void NmeaFramer::Clear() {
    m_begin = m_end = m_scanned = 0;
}
