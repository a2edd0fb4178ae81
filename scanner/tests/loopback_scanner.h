// A scanner on a loopback port inside the test process: it accepts one
// connection at a time, cuts CoLa A commands out of the stream and answers
// each as the test's script says (split across writes, slowly, too long,
// by closing the connection, or by reading no more).
#pragma once

#include <winsock2.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace scan_test {

struct PeerReply {
    std::string bytes;         // written as they are (frame them with Framed)
    size_t pieceBytes = 0;     // >0: written in pieces of this size
    int pieceDelayMs = 0;      // pause before each piece after the first
    bool closeAfter = false;   // close the connection once written
    bool stopReading = false;  // read nothing more on this connection (keep it open)
};

std::string Framed(const std::string& text);

class LoopbackScanner {
public:
    using Script = std::function<PeerReply(const std::string& command, int scanPoll)>;

    // Listens on `address` at a free port.
    explicit LoopbackScanner(Script script, const char* address = "127.0.0.1");
    ~LoopbackScanner();
    LoopbackScanner(const LoopbackScanner&) = delete;
    LoopbackScanner& operator=(const LoopbackScanner&) = delete;

    uint16_t Port() const { return m_port; }
    // Commands received, in order, without STX and ETX.
    std::vector<std::string> Commands() const;
    int ScanPolls() const { return m_scanPolls.load(); }

    // An LMS100: accepts output configuration `acceptConfig` (1, 2, or 0 for
    // neither), measures after `pollsUntilReady` status polls, and answers
    // each scan poll with `scan(poll index)`.
    static Script Lms100(int acceptConfig, int pollsUntilReady,
                         std::function<PeerReply(int scanPoll)> scan);

private:
    void Run();
    void Serve(SOCKET connection);

    Script m_script;
    SOCKET m_listener = INVALID_SOCKET;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_scanPolls{0};
    mutable std::mutex m_lock;
    std::vector<std::string> m_commands;
    std::thread m_thread;
};

}  // namespace scan_test
