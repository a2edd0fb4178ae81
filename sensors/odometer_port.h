// The serial odometer converter behind an FTDI USB-serial adapter: its COM
// port is found through the FTDI D2XX library (loaded at run time from the
// program's folder or the system folder), then the port is opened as a
// plain serial port at 9600 bit/s 8N1 and polled every 5 ms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/handles.h"
#include "sensors/ftd2xx_api.h"

class OdometerPort {
public:
    static constexpr DWORD kBaudRate = 9600;
    static constexpr size_t kReadSize = 255;  // bytes per poll

    OdometerPort() = default;
    OdometerPort(const OdometerPort&) = delete;
    OdometerPort& operator=(const OdometerPort&) = delete;

    // The first FTDI device's COM port, opened and set up. False when the
    // library, an entry point, the device, its COM port or the port itself
    // is missing. The library stays loaded until ReleaseLibrary.
    bool Open();
    bool IsOpen() const { return m_port.Valid(); }

    // One poll: at most kReadSize bytes, returning at once with what the
    // driver holds. The number of bytes, 0 for none, -1 when the read failed.
    int Read(uint8_t* buffer, size_t capacity);

    void Close();
    void ReleaseLibrary();

    // "\\.\COM<n>", the device path that also works above COM9.
    static std::wstring DeviceName(int portNumber);

private:
    bool FindComPort(LONG& portNumber);

    platform::UniqueModule m_library;
    ftd2xx::OpenFn m_open = nullptr;
    ftd2xx::CloseFn m_close = nullptr;
    ftd2xx::GetComPortNumberFn m_getComPortNumber = nullptr;
    platform::UniqueFile m_port;
};
