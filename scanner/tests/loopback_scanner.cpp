#include "loopback_scanner.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "scanner/sopas_protocol.h"

namespace scan_test {

std::string Framed(const std::string& text) {
    return std::string(1, sopas::kStx) + text + std::string(1, sopas::kEtx);
}

LoopbackScanner::LoopbackScanner(Script script, const char* address) : m_script(std::move(script)) {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    m_listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, address, &local.sin_addr);
    local.sin_port = 0;
    ::bind(m_listener, reinterpret_cast<sockaddr*>(&local), sizeof local);
    ::listen(m_listener, 4);
    int length = sizeof local;
    ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&local), &length);
    m_port = ::ntohs(local.sin_port);
    m_thread = std::thread([this] { Run(); });
}

LoopbackScanner::~LoopbackScanner() {
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    ::closesocket(m_listener);
    ::WSACleanup();
}

std::vector<std::string> LoopbackScanner::Commands() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_commands;
}

void LoopbackScanner::Run() {
    while (!m_stop) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(m_listener, &readable);
        timeval tick{0, 20000};
        if (::select(0, &readable, nullptr, nullptr, &tick) <= 0)
            continue;
        const SOCKET connection = ::accept(m_listener, nullptr, nullptr);
        if (connection == INVALID_SOCKET)
            continue;
        BOOL noDelay = TRUE;
        ::setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
                     sizeof noDelay);
        Serve(connection);
        ::closesocket(connection);
    }
}

void LoopbackScanner::Serve(SOCKET connection) {
    std::string pending;
    char chunk[4096];
    while (!m_stop) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(connection, &readable);
        timeval tick{0, 20000};
        const int ready = ::select(0, &readable, nullptr, nullptr, &tick);
        if (ready < 0)
            return;
        if (ready == 0)
            continue;
        const int got = ::recv(connection, chunk, sizeof chunk, 0);
        if (got <= 0)
            return;
        pending.append(chunk, static_cast<size_t>(got));
        for (;;) {
            const size_t stx = pending.find(sopas::kStx);
            const size_t etx = pending.find(sopas::kEtx, stx == std::string::npos ? 0 : stx);
            if (stx == std::string::npos || etx == std::string::npos)
                break;
            const std::string command = pending.substr(stx + 1, etx - stx - 1);
            pending.erase(0, etx + 1);
            {
                std::lock_guard<std::mutex> guard(m_lock);
                m_commands.push_back(command);
            }
            int poll = -1;
            if (command == sopas::kPollScan)
                poll = m_scanPolls++;
            const PeerReply reply = m_script(command, poll);
            const size_t piece = reply.pieceBytes > 0 ? reply.pieceBytes : reply.bytes.size();
            for (size_t at = 0; at < reply.bytes.size(); at += piece) {
                if (at > 0 && reply.pieceDelayMs > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(reply.pieceDelayMs));
                if (m_stop)
                    return;
                const int n = static_cast<int>(std::min(piece, reply.bytes.size() - at));
                if (::send(connection, reply.bytes.data() + at, n, 0) == SOCKET_ERROR)
                    return;  // the client has gone
            }
            if (reply.closeAfter) {
                ::shutdown(connection, SD_BOTH);
                return;
            }
            if (reply.stopReading) {
                while (!m_stop)
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                return;
            }
        }
    }
}

LoopbackScanner::Script LoopbackScanner::Lms100(int acceptConfig, int pollsUntilReady,
                                                std::function<PeerReply(int)> scan) {
    auto statusPolls = std::make_shared<std::atomic<int>>(0);
    return [=](const std::string& c, int poll) -> PeerReply {
        if (c == sopas::kSetAccessMode)
            return {Framed("sAN SetAccessMode 1")};
        if (c == sopas::kScanDataConfig1)
            return {Framed(acceptConfig == 1 ? "sWA LMDscandatacfg" : "sFA 4")};
        if (c == sopas::kScanDataConfig2)
            return {Framed(acceptConfig == 2 ? "sWA LMDscandatacfg" : "sFA 4")};
        if (c == sopas::kRun)
            return {Framed("sAN Run 1")};
        if (c == sopas::kStartMeasurement)
            return {Framed("sAN LMCstartmeas 0")};
        if (c == sopas::kStopMeasurement)
            return {Framed("sAN LMCstopmeas 0")};
        if (c == sopas::kQueryStatus) {
            const int n = ++*statusPolls;
            return {Framed(std::string("sRA STlms ") + (n >= pollsUntilReady ? "7" : "5") +
                           " 0 8 00:00:00 8 01.01.06 0 0 0")};
        }
        if (c == sopas::kPollScan && scan)
            return scan(poll);
        return {Framed("sFA C")};
    };
}

}  // namespace scan_test
