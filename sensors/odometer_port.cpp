#include "sensors/odometer_port.h"

#include <cwchar>

#include "platform/known_library.h"

std::wstring OdometerPort::DeviceName(int portNumber) {
    wchar_t name[33];
    std::swprintf(name, 33, L"\\\\.\\COM%d", portNumber);
    return name;
}

bool OdometerPort::FindComPort(LONG& portNumber) {
    if (!m_library) {
        platform::UniqueModule library = platform::LoadKnownLibrary(ftd2xx::kLibraryName);
        if (!library)
            return false;
        using platform::BindProc;
        if (!BindProc(library.Get(), ftd2xx::kOpenName, m_open) ||
            !BindProc(library.Get(), ftd2xx::kCloseName, m_close) ||
            !BindProc(library.Get(), ftd2xx::kGetComPortNumberName, m_getComPortNumber)) {
            m_open = nullptr;
            m_close = nullptr;
            m_getComPortNumber = nullptr;
            return false;
        }
        m_library = std::move(library);
    }
    ftd2xx::FT_HANDLE device = nullptr;
    if (m_open(0, &device) != ftd2xx::FT_OK)
        return false;
    portNumber = ftd2xx::kNoComPort;
    const ftd2xx::FT_STATUS status = m_getComPortNumber(device, &portNumber);
    // The adapter is used through its virtual COM port from here on.
    m_close(device);
    return status == ftd2xx::FT_OK && portNumber != ftd2xx::kNoComPort;
}

bool OdometerPort::Open() {
    LONG portNumber = ftd2xx::kNoComPort;
    if (!FindComPort(portNumber))
        return false;
    platform::UniqueFile port(::CreateFileW(DeviceName(portNumber).c_str(),
                                            GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!port)
        return false;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ::GetCommState(port.Get(), &dcb);
    dcb.BaudRate = kBaudRate;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    ::SetCommState(port.Get(), &dcb);
    // Reads return at once with what has arrived: the poll runs on the
    // window's thread every 5 ms and must never wait for the converter.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    ::SetCommTimeouts(port.Get(), &timeouts);
    m_port = std::move(port);
    return true;
}

int OdometerPort::Read(uint8_t* buffer, size_t capacity) {
    if (!m_port)
        return -1;
    DWORD got = 0;
    const DWORD wanted = static_cast<DWORD>(capacity < kReadSize ? capacity : kReadSize);
    if (!::ReadFile(m_port.Get(), buffer, wanted, &got, nullptr))
        return -1;
    return static_cast<int>(got);
}

void OdometerPort::Close() {
    m_port.Reset();
}

void OdometerPort::ReleaseLibrary() {
    m_open = nullptr;
    m_close = nullptr;
    m_getComPortNumber = nullptr;
    m_library.Reset();
}
