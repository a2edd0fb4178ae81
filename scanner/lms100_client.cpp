#include "scanner/lms100_client.h"

#include <ws2tcpip.h>

#include <cwchar>
#include <exception>
#include <string>

#include "platform/clock.h"
#include "platform/notifier.h"
#include "platform/text.h"
#include "scanner/reply_framer.h"
#include "scanner/scan_reply_parser.h"
#include "scanner/scanner_texts.h"

namespace {

// Exceptional-condition check right after connecting, microseconds.
constexpr long kConnectCheckMicroseconds = 1;

}  // namespace

MyCLMS100Eth::MyCLMS100Eth(const wchar_t* address, uint16_t port) : m_port(port) {
    if (m_winsock.Ok())
        m_socket.Reset(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    m_triggerEvent.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    m_stopEvent.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    m_cancelEvent.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (address != nullptr)
        std::wcsncpy(m_ipAddress, address, 19);
    m_ipAddress[19] = L'\0';
}

MyCLMS100Eth::~MyCLMS100Eth() {
    if (m_stopEvent)
        ::SetEvent(m_stopEvent.Get());
    if (m_connected)
        SendTelegram(sopas::kStopMeasurement);
    m_measuring = false;
    if (m_connected && m_socket.Valid()) {
        ::shutdown(m_socket.Get(), SD_BOTH);
        m_socket.Reset();
    }
    m_triggerEvent.Reset();
    m_stopEvent.Reset();
    m_socket.Reset();
    m_winsock.Reset();
}

bool MyCLMS100Eth::Connect(const char* address, uint16_t port) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = ::htons(port);
    if (!m_socket.Valid() || address == nullptr ||
        ::inet_pton(AF_INET, address, &peer.sin_addr) != 1 ||
        ::connect(m_socket.Get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) ==
            SOCKET_ERROR) {
        Close();
        return false;
    }
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(m_socket.Get(), &writable);
    FD_SET(m_socket.Get(), &failed);
    const int ready = ::select(0, nullptr, &writable, &failed, nullptr);
    if (ready <= 0) {
        platform::ShowMessage(ready == 0 ? scanner_text::kConnectTimeout
                                         : scanner_text::kConnectError);
        Close();
        return false;
    }
    FD_ZERO(&failed);
    FD_SET(m_socket.Get(), &failed);
    timeval check{0, kConnectCheckMicroseconds};
    if (::select(0, nullptr, nullptr, &failed, &check) > 0) {
        platform::ShowMessage(scanner_text::kConnectError);
        Close();
        return false;
    }
    u_long nonBlocking = 0;
    if (::ioctlsocket(m_socket.Get(), FIONBIO, &nonBlocking) != 0) {
        platform::ShowMessage(scanner_text::kBlockingModeError);
        Close();
        return false;
    }
    // Each command goes out in one write; do not hold it back.
    BOOL noDelay = TRUE;
    ::setsockopt(m_socket.Get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
                 sizeof noDelay);
    return true;
}

bool MyCLMS100Eth::Open() {
    if (m_connected)
        return true;
    try {
        const std::string address = platform::WideToUtf8(m_ipAddress);
        m_connected = Connect(address.c_str(), m_port);
    } catch (const std::exception& e) {
        platform::ShowMessage(std::string(scanner_text::kOpenError) + e.what());
        m_connected = false;
    }
    return m_connected;
}

bool MyCLMS100Eth::Start() {
    const sopas::StartOutcome outcome = sopas::RunStartSequence(*this);
    m_layout = outcome.layout;
    if (outcome.started)
        m_measuring = true;
    return outcome.started;
}

bool MyCLMS100Eth::WaitUntilReady(int attempts) {
    return sopas::WaitUntilReady(*this, attempts);
}

void MyCLMS100Eth::Pause(int milliseconds) {
    WaitCancelled(static_cast<DWORD>(milliseconds));
}

bool MyCLMS100Eth::WaitCancelled(DWORD milliseconds) const {
    if (!m_cancelEvent)
        ::Sleep(milliseconds);
    else
        ::WaitForSingleObject(m_cancelEvent.Get(), milliseconds);
    return m_cancelled.load();
}

void MyCLMS100Eth::Cancel() {
    m_cancelled = true;
    if (m_cancelEvent)
        ::SetEvent(m_cancelEvent.Get());
}

void MyCLMS100Eth::Renew() {
    if (m_socket.Valid()) {
        ::shutdown(m_socket.Get(), SD_BOTH);
        m_socket.Reset();
    }
    m_connected = false;
    m_measuring = false;
    m_layout = sopas::ScanLayout::None;
    if (!m_winsock.Ok())
        m_winsock = platform::WinsockSession();
    if (m_winsock.Ok())
        m_socket.Reset(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
}

int MyCLMS100Eth::WaitReadable(long microseconds) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(m_socket.Get(), &readable);
    timeval limit{0, microseconds};
    const int ready = ::select(0, &readable, nullptr, nullptr, &limit);
    if (ready < 0)
        return -1;
    return ready > 0 && FD_ISSET(m_socket.Get(), &readable) ? 1 : 0;
}

void MyCLMS100Eth::DropSocket() {
    m_socket.Reset();
}

void MyCLMS100Eth::DropStaleInput() {
    while (m_socket.Valid() && WaitReadable(0) == 1) {
        const int got = ::recv(m_socket.Get(), m_chunk, static_cast<int>(sizeof m_chunk), 0);
        if (got <= 0) {
            DropSocket();  // the peer has gone
            return;
        }
    }
}

void MyCLMS100Eth::SendTelegram(const char* command) {
    const size_t length =
        sopas::FrameCommand(command != nullptr ? command : "", m_frame, sizeof m_frame);
    if (length == 0 || !m_socket.Valid())
        return;
    DropStaleInput();
    // The socket is non-blocking while a frame goes out, so that a peer that
    // does not read cannot hold the sender beyond the time-out.
    u_long nonBlocking = 1;
    if (!m_socket.Valid() || ::ioctlsocket(m_socket.Get(), FIONBIO, &nonBlocking) != 0)
        return;
    const ULONGLONG begin = ::GetTickCount64();
    size_t sent = 0;
    bool stalled = false;
    while (sent < length) {
        const ULONGLONG elapsed = ::GetTickCount64() - begin;
        if (elapsed >= static_cast<ULONGLONG>(sopas::kSendTimeoutMs)) {
            stalled = true;
            break;
        }
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(m_socket.Get(), &writable);
        const long left = static_cast<long>(sopas::kSendTimeoutMs - elapsed);
        timeval limit{left / 1000, left % 1000 * 1000};
        const int ready = ::select(0, nullptr, &writable, nullptr, &limit);
        if (ready < 0)
            break;
        if (ready == 0)
            continue;  // the time-out is checked above
        const int n = ::send(m_socket.Get(), m_frame + sent, static_cast<int>(length - sent), 0);
        if (n == SOCKET_ERROR) {
            if (::WSAGetLastError() == WSAEWOULDBLOCK)
                continue;
            break;
        }
        sent += static_cast<size_t>(n);
    }
    if (stalled) {
        // Part of a frame may be out: the stream can no longer be trusted,
        // and a peer that has not read for so long is gone. The scanner then
        // delivers no more scans, as after a dropped connection.
        DropSocket();
        return;
    }
    nonBlocking = 0;
    ::ioctlsocket(m_socket.Get(), FIONBIO, &nonBlocking);
}

size_t MyCLMS100Eth::Receive(char* buffer, size_t capacity) {
    m_lastReplyOverflowed = false;
    if (!m_socket.Valid() || buffer == nullptr || capacity == 0)
        return 0;
    sopas::ReplyFramer framer(buffer, capacity);
    const ULONGLONG begin = ::GetTickCount64();
    bool outOfTime = false;
    while (!framer.Complete() && framer.Received() < sopas::kMaxReplyBytes && !m_cancelled) {
        const ULONGLONG elapsed = ::GetTickCount64() - begin;
        if (elapsed >= static_cast<ULONGLONG>(sopas::kReplyTotalMs)) {
            outOfTime = true;  // a peer that trickles its reply
            break;
        }
        const long left = static_cast<long>(sopas::kReplyTotalMs - elapsed);
        const long wait = left < sopas::kReplySilenceMs ? left : sopas::kReplySilenceMs;
        const int ready = WaitReadable(wait * 1000L);
        if (ready == 0) {
            if (wait < sopas::kReplySilenceMs)
                continue;  // the total time is up, not the silence
            break;         // silence: the reply does not come (or ends without ETX)
        }
        if (ready < 0) {
            platform::ShowMessage(scanner_text::kReadError);
            return 0;
        }
        const int got = ::recv(m_socket.Get(), m_chunk, static_cast<int>(sizeof m_chunk), 0);
        if (got <= 0) {
            DropSocket();  // closed by the peer, or a read error
            break;
        }
        // Bytes after the ETX answer nothing we asked: dropped.
        framer.Feed(m_chunk, static_cast<size_t>(got));
    }
    // A reply that never ends counts as too long as well.
    const bool endless =
        !framer.Complete() && (outOfTime || framer.Received() >= sopas::kMaxReplyBytes);
    m_lastReplyOverflowed = framer.Overflowed() || endless;
    return framer.Stored();
}

void MyCLMS100Eth::ReadScan(int32_t& count, uint32_t* values, bool& failed) {
    count = 0;
    m_lastReplyBytes = 0;
    if (!m_measuring) {
        failed = true;
        return;
    }
    failed = false;
    SendTelegram(sopas::kPollScan);
    const size_t got = Receive(m_reply, sizeof m_reply);
    m_lastReplyBytes = got;
    m_scanTimeMs = scanner::CounterMilliseconds(platform::CurrentClock().PerformanceCounter(),
                                                m_perfFrequency);
    if (m_lastReplyOverflowed) {
        failed = true;  // a telegram longer than the buffer is not taken, not even in part
        return;
    }
    const std::string_view reply(m_reply, got);
    failed = !ParseScanReply(reply, values, count);
    if (!failed)
        m_contamination = sopas::SecondStatusWord(reply) & sopas::kStatusContaminationBits;
}

bool MyCLMS100Eth::ParseScanReply(std::string_view reply, uint32_t* values, int32_t& count) const {
    const sopas::ScanReplyResult r =
        sopas::ParseScanReply(reply, m_layout, values, sopas::kScanValueCapacity);
    count = r.ok ? r.count : 0;
    return r.ok;
}

void MyCLMS100Eth::Close() {
    if (m_socket.Valid()) {
        ::shutdown(m_socket.Get(), SD_BOTH);
        m_socket.Reset();
    }
    m_winsock.Reset();
}
