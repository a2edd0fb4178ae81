// A loopback TCP relay between a test's client and the test database server
// that the test can cut (every relayed connection ends, and new ones are
// accepted and closed at once, as a server that is away) and restore.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class TcpRelay {
public:
    explicit TcpRelay(uint16_t targetPort);
    ~TcpRelay();
    TcpRelay(const TcpRelay&) = delete;
    TcpRelay& operator=(const TcpRelay&) = delete;

    // The loopback port clients connect to; 0 when the relay could not listen.
    uint16_t Port() const { return m_port; }
    void Cut();
    void Restore();
    // Connections accepted and refused while cut, so far.
    int Refused() const { return m_refused.load(); }

private:
    void AcceptLoop();
    void Pump(int client, int server);

    uint16_t m_targetPort;
    uint16_t m_port = 0;
    int m_listener = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_cut{false};
    std::atomic<int> m_refused{0};
    std::mutex m_lock;
    std::vector<int> m_open;  // relayed sockets still open
    std::vector<std::thread> m_threads;
    std::thread m_acceptor;
};
