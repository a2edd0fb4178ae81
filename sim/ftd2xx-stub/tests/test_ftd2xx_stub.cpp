// The stand-in FTDI D2XX library, loaded from the program's folder and bound
// by name as the sensor service does, configured through its environment.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/known_library.h"
#include "sensors/ftd2xx_api.h"

namespace {

struct Ftdi {
    platform::UniqueModule module;
    ftd2xx::OpenFn Open = nullptr;
    ftd2xx::CloseFn Close = nullptr;
    ftd2xx::GetComPortNumberFn GetComPortNumber = nullptr;
};

Ftdi& Library() {
    static Ftdi f;
    static const bool bound = [] {
        f.module = platform::LoadKnownLibrary(ftd2xx::kLibraryName);
        return platform::BindProc(f.module.Get(), ftd2xx::kOpenName, f.Open) &&
               platform::BindProc(f.module.Get(), ftd2xx::kCloseName, f.Close) &&
               platform::BindProc(f.module.Get(), ftd2xx::kGetComPortNumberName,
                                  f.GetComPortNumber);
    }();
    EXPECT_TRUE(bound) << "ftd2xx.dll beside the test program";
    return f;
}

class Ftd2xxStub : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(Library().Open, nullptr);
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        m_record = std::wstring(temp) + L"ftd2xx-record-" +
                   std::to_wstring(::GetCurrentProcessId()) + L".txt";
        ::DeleteFileW(m_record.c_str());
        ::SetEnvironmentVariableW(L"SURVEY_FTDI_RECORD", m_record.c_str());
    }
    void TearDown() override {
        for (const wchar_t* name : {L"SURVEY_FTDI_COM", L"SURVEY_FTDI_FAIL", L"SURVEY_FTDI_RECORD"})
            ::SetEnvironmentVariableW(name, nullptr);
        ::DeleteFileW(m_record.c_str());
    }
    std::string Record() {
        std::ifstream in(m_record.c_str(), std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }
    std::wstring m_record;
};

TEST_F(Ftd2xxStub, TheServicesLookUpFindsTheConfiguredPort) {
    ::SetEnvironmentVariableW(L"SURVEY_FTDI_COM", L"7");
    ftd2xx::FT_HANDLE handle = nullptr;
    ASSERT_EQ(Library().Open(0, &handle), ftd2xx::FT_OK);
    ASSERT_NE(handle, nullptr);
    LONG port = 0;
    EXPECT_EQ(Library().GetComPortNumber(handle, &port), ftd2xx::FT_OK);
    EXPECT_EQ(port, 7);
    // One handle at a time, as with the real driver.
    ftd2xx::FT_HANDLE second = nullptr;
    EXPECT_EQ(Library().Open(0, &second), ftd2xx::FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(Library().Close(handle), ftd2xx::FT_OK);
    EXPECT_EQ(Library().Close(handle), 1u);  // FT_INVALID_HANDLE
    EXPECT_EQ(Library().GetComPortNumber(handle, &port), 1u);
    const std::string record = Record();
    EXPECT_NE(record.find("\tFT_Open\t0\tdeviceNumber=0\tpHandle=ptr\n"), std::string::npos)
        << record;
    EXPECT_NE(record.find("\tFT_GetComPortNumber\t0\tftHandle=adapter\tport=7\n"),
              std::string::npos);
    EXPECT_NE(record.find("\tFT_Close\t0\tftHandle=adapter\n"), std::string::npos);
}

TEST_F(Ftd2xxStub, NoAdapterAnAdapterWithoutPortAndScheduledFailures) {
    ftd2xx::FT_HANDLE handle = nullptr;
    EXPECT_EQ(Library().Open(0, &handle), ftd2xx::FT_DEVICE_NOT_FOUND);
    ::SetEnvironmentVariableW(L"SURVEY_FTDI_COM", L"-1");
    EXPECT_EQ(Library().Open(1, &handle), ftd2xx::FT_DEVICE_NOT_FOUND);  // one adapter only
    ASSERT_EQ(Library().Open(0, &handle), ftd2xx::FT_OK);
    LONG port = 0;
    EXPECT_EQ(Library().GetComPortNumber(handle, &port), ftd2xx::FT_OK);
    EXPECT_EQ(port, ftd2xx::kNoComPort);
    EXPECT_EQ(Library().Close(handle), ftd2xx::FT_OK);

    ::SetEnvironmentVariableW(L"SURVEY_FTDI_COM", L"4");
    ::SetEnvironmentVariableW(L"SURVEY_FTDI_FAIL", L"getcom:4");
    ASSERT_EQ(Library().Open(0, &handle), ftd2xx::FT_OK);
    port = 99;
    EXPECT_EQ(Library().GetComPortNumber(handle, &port), 4u);
    EXPECT_EQ(port, 99);
    EXPECT_EQ(Library().Close(handle), ftd2xx::FT_OK);
    ::SetEnvironmentVariableW(L"SURVEY_FTDI_FAIL", L"close:1,open:3");
    EXPECT_EQ(Library().Open(0, &handle), ftd2xx::FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(Library().Open(0, nullptr), ftd2xx::FT_DEVICE_NOT_OPENED);
    ::SetEnvironmentVariableW(L"SURVEY_FTDI_FAIL", nullptr);
    EXPECT_EQ(Library().Open(0, nullptr), 6u);  // FT_INVALID_PARAMETER
}

}  // namespace
