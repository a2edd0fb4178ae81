#include "platform/winsock.h"

#include <utility>

namespace platform {

WinsockSession::WinsockSession() noexcept {
    WSADATA data{};
    m_error = ::WSAStartup(MAKEWORD(2, 2), &data);
    m_started = m_error == 0;
}

WinsockSession::WinsockSession(WinsockSession&& other) noexcept
    : m_started(std::exchange(other.m_started, false)), m_error(other.m_error) {}

WinsockSession& WinsockSession::operator=(WinsockSession&& other) noexcept {
    if (this != &other) {
        Reset();
        m_started = std::exchange(other.m_started, false);
        m_error = other.m_error;
    }
    return *this;
}

void WinsockSession::Reset() noexcept {
    if (std::exchange(m_started, false))
        ::WSACleanup();
}

}  // namespace platform
