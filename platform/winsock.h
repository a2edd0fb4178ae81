// Windows Sockets start-up for the lifetime of one object (WSAStartup with
// version 2.2, WSACleanup on destruction when the start-up succeeded).
#pragma once

#include <winsock2.h>

namespace platform {

class WinsockSession {
public:
    WinsockSession() noexcept;
    WinsockSession(WinsockSession&& other) noexcept;
    WinsockSession& operator=(WinsockSession&& other) noexcept;
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
    ~WinsockSession() { Reset(); }

    bool Ok() const noexcept { return m_started; }
    // WSAStartup's result (0 on success).
    int Error() const noexcept { return m_error; }
    void Reset() noexcept;

private:
    bool m_started = false;
    int m_error = 0;
};

}  // namespace platform
