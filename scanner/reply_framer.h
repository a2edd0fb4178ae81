// Cuts one scanner reply out of the byte stream: a reply is everything from
// its first byte up to and including its ETX. It is complete the moment the
// ETX arrives; the caller's silence limit ends a reply that never completes.
//
// The framer stores the reply in the caller's buffer, always terminated. A
// reply longer than the buffer is still consumed up to its ETX (so that its
// tail is not taken for the next reply) but is marked as overflowed; only its
// first capacity - 1 bytes are kept.
#pragma once

#include <cstddef>
#include <string_view>

namespace sopas {

class ReplyFramer {
public:
    // `storage` holds `capacity` bytes (at least 1: the terminator).
    ReplyFramer(char* storage, size_t capacity) noexcept;

    // Starts a new reply.
    void Reset() noexcept;

    // Takes bytes of the reply. Returns how many were consumed: all of them,
    // or fewer when the reply completed (the rest belongs to nothing we asked
    // for). Once complete, further bytes are not consumed.
    size_t Feed(const char* data, size_t size) noexcept;

    bool Complete() const noexcept { return m_complete; }
    // The reply did not fit; Text() holds its beginning only.
    bool Overflowed() const noexcept { return m_received > m_stored; }
    // Bytes kept (at most capacity - 1), and all bytes of the reply so far.
    size_t Stored() const noexcept { return m_stored; }
    size_t Received() const noexcept { return m_received; }
    std::string_view Text() const noexcept { return std::string_view(m_storage, m_stored); }

private:
    char* m_storage;
    size_t m_capacity;
    size_t m_stored = 0;
    size_t m_received = 0;
    bool m_complete = false;
};

}  // namespace sopas
