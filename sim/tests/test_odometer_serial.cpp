// The odometer converter simulator seen from a Windows program: a pty mapped
// as COM8, read the way the sensor service reads its converter (9600 8N1,
// read time-outs that return at once, up to 255 bytes a poll every 5 ms,
// UTF-16LE text whose odd last byte waits for the next read). Runs under the
// simulator (odometer_sim.py ... -- wine-run this.exe) with the pty shim.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/tests/test_files_win.h"

namespace {

constexpr wchar_t kPort[] = L"\\\\.\\COM8";

// The "line" events of the simulator's truth file: value and pulse count.
struct SentLine {
    double value = 0;
    int pulses = 0;
};

std::vector<SentLine> TruthLines() {
    std::ifstream in(platform_test::PathFromEnvironment(L"SURVEY_SIM_TRUTH").c_str(),
                     std::ios::binary);
    std::vector<SentLine> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (line.find("\"event\": \"line\"") == std::string::npos)
            continue;
        SentLine s;
        s.value = std::atof(line.c_str() + line.find("\"value\": ") + 9);
        s.pulses = std::atoi(line.c_str() + line.find("\"pulses\": ") + 10);
        lines.push_back(s);
    }
    return lines;
}

// The service's pulse detector on received values (threshold 1 V).
struct Detector {
    float last = 30000.0f;
    bool rising = false;
    int pulses = 0;
    void Feed(float v) {
        const float d = v - last;
        if (!(d > 1.0f || d < -1.0f))
            return;
        if (d < 0)
            rising = false;
        else if (!rising) {
            ++pulses;
            rising = true;
        }
        last = v;
    }
};

class ConverterPort {
public:
    ConverterPort() {
        m_port.Reset(::CreateFileW(kPort, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!m_port)
            return;
        DCB dcb = {};
        dcb.DCBlength = sizeof(dcb);
        ::GetCommState(m_port.Get(), &dcb);
        dcb.BaudRate = CBR_9600;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        ::SetCommState(m_port.Get(), &dcb);
        COMMTIMEOUTS timeouts = {};
        timeouts.ReadIntervalTimeout = MAXDWORD;  // return at once with what is there
        ::SetCommTimeouts(m_port.Get(), &timeouts);
    }
    bool Open() const { return m_port.Valid(); }

    // One poll: up to 255 bytes; the number read, -1 on failure.
    int Poll(std::string& bytes, DWORD& elapsedMs) {
        char buffer[255];
        DWORD got = 0;
        const ULONGLONG start = ::GetTickCount64();
        const BOOL ok = ::ReadFile(m_port.Get(), buffer, sizeof buffer, &got, nullptr);
        elapsedMs = static_cast<DWORD>(::GetTickCount64() - start);
        if (!ok)
            return -1;
        bytes.append(buffer, got);
        return static_cast<int>(got);
    }

private:
    platform::UniqueFile m_port;
};

// Whole UTF-16LE lines out of the received bytes; an odd last byte and an
// unfinished line stay in `bytes`.
std::vector<std::wstring> TakeLines(std::string& bytes, std::wstring& text) {
    const size_t even = bytes.size() & ~size_t{1};
    for (size_t i = 0; i < even; i += 2)
        text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                     (static_cast<unsigned char>(bytes[i + 1]) << 8));
    bytes.erase(0, even);
    std::vector<std::wstring> lines;
    size_t lf;
    while ((lf = text.find(L'\n')) != std::wstring::npos) {
        lines.push_back(text.substr(0, lf));
        text.erase(0, lf + 1);
    }
    return lines;
}

TEST(OdometerConverterOnComPort, ServiceStyleReadsSeeSplitLinesAndCountThePulses) {
    ConverterPort port;
    ASSERT_TRUE(port.Open());
    std::string bytes;
    std::wstring text;
    std::vector<float> values;
    Detector detector;
    int oddReads = 0, emptyReads = 0;
    DWORD slowest = 0;
    const ULONGLONG end = ::GetTickCount64() + 4000;
    while (::GetTickCount64() < end) {
        DWORD ms = 0;
        const int n = port.Poll(bytes, ms);
        ASSERT_GE(n, 0) << ::GetLastError();
        slowest = std::max(slowest, ms);
        oddReads += n % 2;
        emptyReads += n == 0;
        for (const std::wstring& line : TakeLines(bytes, text)) {
            const size_t key = line.find(L"voltage=");
            if (key == std::wstring::npos)
                continue;
            const float v = static_cast<float>(std::wcstod(line.c_str() + key + 8, nullptr));
            values.push_back(v);
            detector.Feed(v);
        }
        ::Sleep(5);
    }
    EXPECT_GT(oddReads, 0) << "reads that end inside a UTF-16 unit";
    EXPECT_GT(emptyReads, 0);
    EXPECT_LT(slowest, 500u) << "a read with nothing there returns at once";

    const std::vector<SentLine> sent = TruthLines();
    ASSERT_GE(values.size(), 40u);
    ASSERT_GE(sent.size(), values.size());
    for (size_t i = 0; i < values.size(); ++i)
        ASSERT_FLOAT_EQ(values[i], static_cast<float>(sent[i].value)) << "line " << i;
    EXPECT_EQ(detector.pulses, sent[values.size() - 1].pulses);
    EXPECT_GE(detector.pulses, 8);  // 4 s of 2.5 pulses a second
}

TEST(OdometerConverterOnComPort, SilentConverterGivesEmptyReadsAtOnce) {
    ConverterPort port;
    ASSERT_TRUE(port.Open());
    platform_test::SendSimulatorCommand("silent");
    ::Sleep(100);
    std::string bytes;
    DWORD ms = 0;
    while (port.Poll(bytes, ms) > 0) {
    }
    for (int i = 0; i < 20; ++i) {
        bytes.clear();
        ASSERT_EQ(port.Poll(bytes, ms), 0);
        EXPECT_LT(ms, 500u);
        ::Sleep(5);
    }
    platform_test::SendSimulatorCommand("talk");
    ::Sleep(300);
    bytes.clear();
    for (int i = 0; i < 40 && bytes.empty(); ++i) {
        port.Poll(bytes, ms);
        ::Sleep(10);
    }
    EXPECT_FALSE(bytes.empty());
}

}  // namespace
