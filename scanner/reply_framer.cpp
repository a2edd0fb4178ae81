#include "scanner/reply_framer.h"

#include <cstring>

#include "scanner/sopas_protocol.h"

namespace sopas {

ReplyFramer::ReplyFramer(char* storage, size_t capacity) noexcept
    : m_storage(storage), m_capacity(capacity) {
    Reset();
}

void ReplyFramer::Reset() noexcept {
    m_stored = 0;
    m_received = 0;
    m_complete = false;
    if (m_storage != nullptr && m_capacity > 0)
        m_storage[0] = '\0';
}

size_t ReplyFramer::Feed(const char* data, size_t size) noexcept {
    if (m_complete || data == nullptr || size == 0)
        return 0;
    size_t take = size;
    if (const void* etx = std::memchr(data, kEtx, size)) {
        take = static_cast<size_t>(static_cast<const char*>(etx) - data) + 1;
        m_complete = true;
    }
    const size_t room = m_capacity > 0 ? m_capacity - 1 - m_stored : 0;
    const size_t keep = take < room ? take : room;
    if (keep > 0) {
        std::memcpy(m_storage + m_stored, data, keep);
        m_stored += keep;
    }
    if (m_capacity > 0)
        m_storage[m_stored] = '\0';
    m_received += take;
    return take;
}

}  // namespace sopas
