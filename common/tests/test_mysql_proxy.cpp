#include "common/tests/test_mysql_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace {

int ConnectLoopback(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

TcpRelay::TcpRelay(uint16_t targetPort) : m_targetPort(targetPort) {
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = 0;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(m_listener, 16) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return;
    }
    m_port = ntohs(address.sin_port);
    m_acceptor = std::thread([this] { AcceptLoop(); });
}

TcpRelay::~TcpRelay() {
    m_stop = true;
    Cut();
    if (m_acceptor.joinable())
        m_acceptor.join();
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        threads.swap(m_threads);
    }
    for (std::thread& t : threads)
        t.join();
    if (m_listener >= 0)
        ::close(m_listener);
}

void TcpRelay::Cut() {
    m_cut = true;
    std::lock_guard<std::mutex> guard(m_lock);
    // Shutting down wakes the pumps, which then close their sockets.
    for (int fd : m_open)
        ::shutdown(fd, SHUT_RDWR);
}

void TcpRelay::Restore() {
    m_cut = false;
}

void TcpRelay::AcceptLoop() {
    while (!m_stop) {
        pollfd waiting{m_listener, POLLIN, 0};
        if (::poll(&waiting, 1, 50) <= 0)
            continue;
        const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        const int server = m_cut ? -1 : ConnectLoopback(m_targetPort);
        if (server < 0) {
            ++m_refused;
            ::close(client);
            continue;
        }
        const int one = 1;
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::lock_guard<std::mutex> guard(m_lock);
        m_open.push_back(client);
        m_open.push_back(server);
        m_threads.emplace_back([this, client, server] { Pump(client, server); });
    }
}

void TcpRelay::Pump(int client, int server) {
    char buffer[16384];
    pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
    bool open = true;
    while (open && !m_stop) {
        if (::poll(fds, 2, 100) < 0)
            break;
        for (int i = 0; i < 2 && open; ++i) {
            if (fds[i].revents == 0)
                continue;
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                open = false;
                break;
            }
            ssize_t written = 0;
            while (written < n) {
                const ssize_t w =
                    ::send(fds[1 - i].fd, buffer + written, n - written, MSG_NOSIGNAL);
                if (w <= 0) {
                    open = false;
                    break;
                }
                written += w;
            }
        }
    }
    std::lock_guard<std::mutex> guard(m_lock);
    m_open.erase(std::remove_if(m_open.begin(), m_open.end(),
                                [&](int fd) { return fd == client || fd == server; }),
                 m_open.end());
    ::close(client);
    ::close(server);
}
