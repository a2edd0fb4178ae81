// The receiver simulator seen from a Windows program: a pty mapped as COM9,
// opened with the calls the GNSS service uses. Runs under the simulator
// (nmea_sim.py ... -- wine-run this.exe), with the pty ioctl shim preloaded.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/tests/test_files_win.h"

namespace {

constexpr wchar_t kPort[] = L"\\\\.\\COM9";
constexpr DWORD kSimulatorBaud = 115200;

bool ChecksumOk(const std::string& sentence) {
    const size_t star = sentence.find('*');
    if (sentence.empty() || sentence[0] != '$' || star == std::string::npos ||
        star + 3 > sentence.size())
        return false;
    unsigned x = 0;
    for (size_t i = 1; i < star; ++i)
        x ^= static_cast<unsigned char>(sentence[i]);
    char hex[3];
    std::snprintf(hex, sizeof(hex), "%02X", x);
    return sentence.compare(star + 1, 2, hex) == 0;
}

class SerialPort {
public:
    explicit SerialPort(DWORD baud) {
        m_port.Reset(::CreateFileW(kPort, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OVERLAPPED, nullptr));
        m_event.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!m_port)
            return;
        ::PurgeComm(m_port.Get(), PURGE_TXCLEAR | PURGE_RXCLEAR);
        ::SetupComm(m_port.Get(), 600, 600);
        DCB dcb = {};
        dcb.DCBlength = sizeof(dcb);
        ::GetCommState(m_port.Get(), &dcb);
        dcb.BaudRate = baud;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        m_configured = ::SetCommState(m_port.Get(), &dcb) != FALSE;
        ::SetCommMask(m_port.Get(), EV_RXCHAR);
        COMMTIMEOUTS timeouts = {};
        ::SetCommTimeouts(m_port.Get(), &timeouts);
        ::PurgeComm(m_port.Get(), PURGE_TXCLEAR | PURGE_RXCLEAR);
    }
    ~SerialPort() {
        if (m_pending)
            ::SetCommMask(m_port.Get(), 0);  // ends a pending wait before the close
    }
    bool Open() const { return m_port.Valid() && m_configured; }

    // One comm-event wait of at most `ms`; false when no event came in time.
    bool WaitForData(DWORD ms) {
        if (!m_pending) {
            OVERLAPPED fresh = {};
            m_overlapped = fresh;
            m_overlapped.hEvent = m_event.Get();
            ::ResetEvent(m_event.Get());
            m_mask = 0;
            if (::WaitCommEvent(m_port.Get(), &m_mask, &m_overlapped))
                return (m_mask & EV_RXCHAR) != 0;
            if (::GetLastError() != ERROR_IO_PENDING)
                return false;
            m_pending = true;
        }
        if (::WaitForSingleObject(m_event.Get(), ms) != WAIT_OBJECT_0)
            return false;  // still pending: the next call waits on the same request
        m_pending = false;
        DWORD ignored = 0;
        return ::GetOverlappedResult(m_port.Get(), &m_overlapped, &ignored, TRUE) &&
               (m_mask & EV_RXCHAR) != 0;
    }

    std::string ReadAvailable() {
        DWORD errors = 0;
        COMSTAT stat = {};
        ::ClearCommError(m_port.Get(), &errors, &stat);
        if (stat.cbInQue == 0)
            return {};
        char buffer[601];
        const DWORD want = stat.cbInQue < 600 ? stat.cbInQue : 600;
        OVERLAPPED read = {};
        read.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        DWORD got = 0;
        if (!::ReadFile(m_port.Get(), buffer, want, &got, &read) &&
            ::GetLastError() == ERROR_IO_PENDING)
            ::GetOverlappedResult(m_port.Get(), &read, &got, TRUE);
        ::CloseHandle(read.hEvent);
        return std::string(buffer, got);
    }

    // Complete CR LF lines received within `ms`.
    std::vector<std::string> ReadLines(DWORD ms, size_t enough = 1000) {
        std::vector<std::string> lines;
        const DWORD start = ::GetTickCount();
        while (::GetTickCount() - start < ms && lines.size() < enough) {
            if (!WaitForData(200))
                continue;
            m_buffer += ReadAvailable();
            size_t end;
            while ((end = m_buffer.find("\r\n")) != std::string::npos) {
                lines.push_back(m_buffer.substr(0, end));
                m_buffer.erase(0, end + 2);
            }
        }
        return lines;
    }

    void Purge() { ::PurgeComm(m_port.Get(), PURGE_RXCLEAR); }

private:
    platform::UniqueFile m_port;
    platform::UniqueHandle m_event;
    OVERLAPPED m_overlapped = {};
    DWORD m_mask = 0;
    bool m_pending = false;
    bool m_configured = false;
    std::string m_buffer;
};

TEST(SimulatorOnComPort, WrongSpeedHearsNothingAndTheWaitPends) {
    SerialPort port(9600);
    ASSERT_TRUE(port.Open());
    const DWORD start = ::GetTickCount();
    EXPECT_FALSE(port.WaitForData(1500));
    EXPECT_GE(::GetTickCount() - start, 1400u);  // pending, not aborted at once
}

TEST(SimulatorOnComPort, RightSpeedDeliversCheckedSentences) {
    SerialPort port(kSimulatorBaud);
    ASSERT_TRUE(port.Open());
    const auto lines = port.ReadLines(5000, 12);
    int gga = 0, rmc = 0, gsa = 0;
    std::string lastGga;
    for (const auto& line : lines) {
        if (line.rfind("$GPGGA,", 0) == 0) {
            ++gga;
            lastGga = line;
            EXPECT_EQ(std::count(line.begin(), line.end(), ','), 14) << line;
        }
        rmc += line.rfind("$GPRMC,", 0) == 0;
        gsa += line.rfind("$GPGSA,", 0) == 0;
        if (line.rfind("$GP", 0) == 0) {
            EXPECT_TRUE(ChecksumOk(line)) << line;
        }
    }
    EXPECT_GE(gga, 1);
    EXPECT_GE(rmc, 1);
    EXPECT_GE(gsa, 1);
    // The simulator's record of what it sent holds the sentence we got.
    const std::wstring truthPath = platform_test::PathFromEnvironment(L"SURVEY_SIM_TRUTH");
    ASSERT_FALSE(truthPath.empty());
    std::ifstream truth(truthPath.c_str(), std::ios::binary);
    std::stringstream all;
    all << truth.rdbuf();
    EXPECT_NE(all.str().find("\"line\": \"" + lastGga + "\""), std::string::npos) << lastGga;
}

TEST(SimulatorOnComPort, SilentReceiverLeavesTheWaitPendingUntilItTalksAgain) {
    SerialPort port(kSimulatorBaud);
    ASSERT_TRUE(port.Open());
    ASSERT_FALSE(port.ReadLines(3000, 1).empty());
    platform_test::SendSimulatorCommand("silent");
    port.ReadLines(400);  // what was already under way
    port.Purge();
    const DWORD start = ::GetTickCount();
    EXPECT_FALSE(port.WaitForData(1500));
    EXPECT_GE(::GetTickCount() - start, 1400u);
    platform_test::SendSimulatorCommand("talk");
    EXPECT_FALSE(port.ReadLines(3000, 1).empty());
}

TEST(SimulatorOnComPort, InjectedChecksumErrorsAndJunkArrive) {
    SerialPort port(kSimulatorBaud);
    ASSERT_TRUE(port.Open());
    port.ReadLines(300);
    platform_test::SendSimulatorCommand("badcs 3");
    platform_test::SendSimulatorCommand("junk 2");
    const auto lines = port.ReadLines(4000, 12);
    int bad = 0, good = 0;
    for (const auto& line : lines) {
        if (line.rfind("$GP", 0) == 0 && line.find('*') != std::string::npos &&
            line.size() > line.find('*') + 2) {
            (ChecksumOk(line) ? good : bad) += 1;
        }
    }
    EXPECT_GE(bad, 3);
    EXPECT_GE(good, 1);
}

}  // namespace
