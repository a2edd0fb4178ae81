#include "platform/serial_port.h"

#include <cstdio>

namespace platform {
namespace {

// How long a cancelled operation may take to report its completion, in ms.
constexpr DWORD kCancelGraceMs = 1000;

}  // namespace

SerialPort::SerialPort() : m_event(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    m_overlapped.hEvent = m_event.Get();
}

SerialPort::~SerialPort() {
    Close();
}

std::wstring SerialPort::DeviceName(int portNumber) {
    wchar_t name[32];
    std::swprintf(name, 32, L"\\\\.\\COM%d", portNumber);
    return name;
}

bool SerialPort::Exists(int portNumber) {
    UniqueFile h(::CreateFileW(DeviceName(portNumber).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                               nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    return h.Valid();
}

bool SerialPort::Open(int portNumber) {
    Close();
    m_handle.Reset(::CreateFileW(DeviceName(portNumber).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    return m_handle.Valid();
}

void SerialPort::Close() {
    if (m_handle.Valid()) {
        ::PurgeComm(m_handle.Get(), PURGE_TXCLEAR | PURGE_RXCLEAR);
        m_handle.Reset();
    }
}

void SerialPort::CloseEvent() {
    // Only called with no operation pending (the reader has ended).
    m_overlapped.hEvent = nullptr;
    m_event.Reset();
}

bool SerialPort::Purge(DWORD flags) {
    return m_handle.Valid() && ::PurgeComm(m_handle.Get(), flags);
}

bool SerialPort::SetQueueSizes(DWORD inBytes, DWORD outBytes) {
    return m_handle.Valid() && ::SetupComm(m_handle.Get(), inBytes, outBytes);
}

bool SerialPort::Configure8N1(DWORD baudRate) {
    if (!m_handle.Valid())
        return false;
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!::GetCommState(m_handle.Get(), &dcb))
        return false;
    dcb.BaudRate = baudRate;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    return ::SetCommState(m_handle.Get(), &dcb) != FALSE;
}

bool SerialPort::SetTimeouts(DWORD readInterval, DWORD readMultiplier, DWORD readConstant) {
    if (!m_handle.Valid())
        return false;
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = readInterval;
    t.ReadTotalTimeoutMultiplier = readMultiplier;
    t.ReadTotalTimeoutConstant = readConstant;
    return ::SetCommTimeouts(m_handle.Get(), &t) != FALSE;
}

bool SerialPort::SetEventMask(DWORD mask) {
    return m_handle.Valid() && ::SetCommMask(m_handle.Get(), mask);
}

SerialPort::WaitResult SerialPort::Finish(DWORD timeoutMs, DWORD& transferred) {
    transferred = 0;
    const DWORD w = ::WaitForSingleObject(m_event.Get(), timeoutMs);
    if (w != WAIT_OBJECT_0) {
        // Take the operation back from the driver before anyone reuses the block.
        ::CancelIoEx(m_handle.Get(), &m_overlapped);
        if (::WaitForSingleObject(m_event.Get(), kCancelGraceMs) == WAIT_OBJECT_0) {
            ::GetOverlappedResult(m_handle.Get(), &m_overlapped, &transferred, FALSE);
        } else {
            // A driver that ignores the cancel: dropping the handle ends the operation.
            m_handle.Reset();
        }
        transferred = 0;
        return w == WAIT_TIMEOUT ? WaitResult::Timeout : WaitResult::Failed;
    }
    if (!::GetOverlappedResult(m_handle.Get(), &m_overlapped, &transferred, TRUE))
        return WaitResult::Failed;
    return WaitResult::Event;
}

SerialPort::WaitResult SerialPort::WaitEvent(DWORD timeoutMs, DWORD& mask) {
    mask = 0;
    if (!m_handle.Valid() || !m_event.Valid())
        return WaitResult::Failed;
    ::ResetEvent(m_event.Get());
    m_eventMask = 0;
    if (::WaitCommEvent(m_handle.Get(), &m_eventMask, &m_overlapped)) {
        mask = m_eventMask;
        return WaitResult::Event;
    }
    if (::GetLastError() != ERROR_IO_PENDING)
        return WaitResult::Failed;
    DWORD unused = 0;
    const WaitResult r = Finish(timeoutMs, unused);
    if (r == WaitResult::Event)
        mask = m_eventMask;
    return r;
}

DWORD SerialPort::QueuedInput() {
    if (!m_handle.Valid())
        return 0;
    DWORD errors = 0;
    COMSTAT stat{};
    if (!::ClearCommError(m_handle.Get(), &errors, &stat))
        return 0;
    return stat.cbInQue;
}

int SerialPort::Read(char* buffer, std::size_t maxBytes, DWORD timeoutMs) {
    if (!m_handle.Valid() || !m_event.Valid())
        return -1;
    ::ResetEvent(m_event.Get());
    DWORD got = 0;
    if (::ReadFile(m_handle.Get(), buffer, static_cast<DWORD>(maxBytes), &got, &m_overlapped))
        return static_cast<int>(got);
    if (::GetLastError() != ERROR_IO_PENDING)
        return -1;
    const WaitResult r = Finish(timeoutMs, got);
    // A cancelled read may still have delivered some bytes; they were counted
    // as lost above, which only costs part of one sentence.
    return r == WaitResult::Event ? static_cast<int>(got) : -1;
}

}  // namespace platform
