// Overlapped serial port ("\\.\COM%d") with bounded waits.
//
// The port owns one manual-reset event for its OVERLAPPED structure, created
// once with the object and reused across reopenings. Every wait is bounded:
// an operation that does not finish in time is cancelled and its completion
// collected before the call returns, so the OVERLAPPED structure is never
// reused or freed while the driver still holds it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/handles.h"

namespace platform {

class SerialPort {
public:
    enum class WaitResult { Event, Timeout, Failed };

    SerialPort();
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // "\\.\COM<n>", the device name that works for every port number.
    static std::wstring DeviceName(int portNumber);
    // Opens and closes the port at once; false when it is absent or held elsewhere.
    static bool Exists(int portNumber);

    // Read/write, not shared, existing device, overlapped. Closes an open port first.
    bool Open(int portNumber);
    // Purges both queues and closes the port; harmless when closed.
    void Close();
    // Closes the overlapped event for good (shutdown); no operation may be
    // pending. Later waits and reads fail.
    void CloseEvent();
    bool IsOpen() const { return m_handle.Valid(); }
    HANDLE Handle() const { return m_handle.Get(); }
    bool HasEvent() const { return m_event.Valid(); }

    bool Purge(DWORD flags = PURGE_TXCLEAR | PURGE_RXCLEAR);
    bool SetQueueSizes(DWORD inBytes, DWORD outBytes);
    // Reads the driver's control block and changes only speed, 8 data bits,
    // no parity and one stop bit; everything else stays as the driver reports it.
    bool Configure8N1(DWORD baudRate);
    bool SetTimeouts(DWORD readInterval, DWORD readMultiplier, DWORD readConstant);
    bool SetEventMask(DWORD mask);

    // Waits up to `timeoutMs` for a comm event. On Event, `mask` holds the
    // events seen (0 when the driver ended the wait without one).
    WaitResult WaitEvent(DWORD timeoutMs, DWORD& mask);
    // Bytes waiting in the input queue (ClearCommError), 0 on failure.
    DWORD QueuedInput();
    // Reads at most `maxBytes` bytes, waiting up to `timeoutMs` for the read to
    // finish. Returns the number of bytes read, or -1 on failure.
    int Read(char* buffer, std::size_t maxBytes, DWORD timeoutMs);

private:
    // Waits for the pending operation; on time-out cancels it and collects it.
    WaitResult Finish(DWORD timeoutMs, DWORD& transferred);

    UniqueFile m_handle;
    UniqueHandle m_event;
    OVERLAPPED m_overlapped{};
    // Written by the driver when a comm-event wait completes, possibly later
    // than WaitCommEvent returns, so it lives as long as the overlapped block.
    DWORD m_eventMask = 0;
};

}  // namespace platform
