// MyCLMS100Eth: the client of one LMS100-family scanner over TCP, speaking
// SOPAS ASCII (CoLa A). It connects, runs the start sequence, waits until
// the device measures, and then polls one scan at a time.
//
// A reply is complete when its ETX arrives; 0.1 s of silence only ends a
// reply that does not come, and no reply takes longer than 1 s in all,
// however the peer trickles it. A command the peer does not take within 1 s
// drops the connection. Bytes left over from an earlier reply that came
// too late are dropped before each command, so every reply read belongs to
// the command just sent. A telegram longer than the reply buffer is read to
// its ETX and counts as a failed scan.
//
// Calling order: construct, Start (which opens), the readiness wait, start
// the data thread, ReadScan from that thread only, destroy after the data
// thread has ended.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string_view>

#include "platform/handles.h"
#include "platform/winsock.h"
#include "scanner/scan_pipeline.h"
#include "scanner/sopas_protocol.h"
#include "scanner/start_sequence.h"

class ScanAcquisition;

class MyCLMS100Eth : public sopas::SopasLink {
public:
    // `address`: dotted IPv4 text (at most 19 characters are kept).
    MyCLMS100Eth(const wchar_t* address, uint16_t port);
    // Signals the stop event, sends the stop telegram when connected and
    // closes everything. The data thread must have ended.
    virtual ~MyCLMS100Eth();
    MyCLMS100Eth(const MyCLMS100Eth&) = delete;
    MyCLMS100Eth& operator=(const MyCLMS100Eth&) = delete;

    bool Connect(const char* address, uint16_t port);
    bool Open() override;
    // The start sequence; on success the client measures.
    bool Start();
    // The readiness wait after Start.
    bool WaitUntilReady(int attempts = sopas::kReadinessAttempts);
    void SendTelegram(const char* command) override;
    size_t Receive(char* buffer, size_t capacity) override;
    void Pause(int milliseconds) override;
    // Polls one scan into `values` (room for sopas::kScanValueCapacity).
    void ReadScan(int32_t& count, uint32_t* values, bool& failed);
    bool ParseScanReply(std::string_view reply, uint32_t* values, int32_t& count) const;
    // Shuts the socket down, closes it and releases Windows Sockets.
    void Close();
    // Forgets the connection (the peer has gone) and makes a fresh socket, so
    // that Open and Start can bring the scanner up again; data thread only.
    void Renew();
    // Makes every later wait, read and pause return at once (for ever): the
    // owner is closing or bringing the scanners up anew. Any thread.
    void Cancel();
    bool Cancelled() const { return m_cancelled.load(); }
    // Waits `milliseconds` or until Cancel; true when cancelled.
    bool WaitCancelled(DWORD milliseconds) const;

    // The last Receive ended at a telegram longer than its buffer.
    bool LastReplyOverflowed() const { return m_lastReplyOverflowed; }
    bool SocketOpen() const { return m_socket.Valid(); }
    // Bytes of the last scan reply (0: nothing came).
    size_t LastReplyBytes() const { return m_lastReplyBytes; }

    wchar_t m_ipAddress[20] = {};
    uint16_t m_port = 0;
    platform::UniqueSocket m_socket;
    bool m_measuring = false;
    char m_frame[sopas::kFrameBufferSize] = {};
    bool m_connected = false;
    sopas::ScanLayout m_layout = sopas::ScanLayout::None;
    platform::UniqueHandle m_dataThread;
    platform::UniqueHandle m_triggerEvent;  // auto-reset: one scan, please
    platform::UniqueHandle m_stopEvent;     // auto-reset: end the data thread
    int32_t m_index = 0;
    ScanAcquisition* m_owner = nullptr;
    // m_logNext and m_eventMark, set by the user-interface thread.
    scanner::ScanRequests m_requests;
    // Time of the last scan reply, ms of the performance counter.
    int64_t m_scanTimeMs = 0;
    // Performance-counter frequency the owner queried at start-up.
    int64_t m_perfFrequency = 0;
    // Contamination bits (sopas::kStatusContaminationBits) of the last good
    // scan: the front screen wants cleaning. Written by the data thread.
    std::atomic<uint32_t> m_contamination{0};
    // Data thread: when the polls began to get nothing (GetTickCount64 ms; 0:
    // the last poll was answered).
    std::atomic<ULONGLONG> m_silentSinceMs{0};
    // The owner is ending the data thread (set before its stop event).
    std::atomic<bool> m_stopRequested{false};
    // The data thread is bringing the scanner up again.
    std::atomic<bool> m_recovering{false};

private:
    // Closes the socket after the peer closed it or a read failed.
    void DropSocket();
    // Reads and drops whatever has arrived unasked.
    void DropStaleInput();
    // Waits until the socket is readable: 1 ready, 0 silence, -1 failed.
    int WaitReadable(long microseconds);

    platform::WinsockSession m_winsock;
    bool m_lastReplyOverflowed = false;
    size_t m_lastReplyBytes = 0;
    std::atomic<bool> m_cancelled{false};
    platform::UniqueHandle m_cancelEvent;  // manual reset: set by Cancel
    // Fixed buffers: the scan reply and one read's worth of bytes.
    char m_reply[sopas::kScanReplyBufferSize] = {};
    char m_chunk[16 * 1024] = {};
};
