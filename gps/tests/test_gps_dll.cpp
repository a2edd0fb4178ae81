// gps.dll as the suite's programs use it: loaded by path, functions taken by name.
// The build puts one copy beside a stand-in Orvanta.exe ("with_service") and
// one alone ("without_service").
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "gps/gps.h"
#include "platform/handles.h"
#include "platform/text.h"
#include "platform/tests/test_files_win.h"

namespace {

const char* const kExports[] = {"_InitGPSDefault", "_InitGPSDefaultHidden",
                                "_GPSConnected",   "_UpdateGPS",
                                "_QuitGPS",        "_UnMap",
                                "_Synchro",        "_NoSynchro",
                                "_SetLogFolder",   "_GetGPSLat",
                                "_GetGPSLong",     "_GetGPSCurDist",
                                "_GetGPSLatSpeed", "_GetGPSLonSpeed",
                                "_GetGPSCurSpeed", "_GetGPSTime",
                                "_GetSatNumber",   "_GetGPSX",
                                "_GetGPSY",        "_GetGPSHeading"};

std::wstring TestFolder(const std::wstring& tail) {
    const std::wstring folder = platform_test::PathFromEnvironment(L"SURVEY_GPS_TEST_DIR");
    return folder.empty() ? folder : folder + L"\\" + tail;
}

bool ServiceRunning() {
    platform::UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W e = {};
    e.dwSize = sizeof(e);
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &e); more;
         more = ::Process32NextW(snapshot.Get(), &e))
        if (wcsstr(e.szExeFile, L"Orvanta"))
            return true;
    return false;
}

std::string ReadFile(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

template <typename Condition>
bool WaitFor(Condition condition, int timeoutMs = 5000) {
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

class GpsLibrary {
public:
    explicit GpsLibrary(const std::wstring& path) {
        // Whatever goes wrong, no modal box may wait for an operator here.
        if (::GetEnvironmentVariableW(L"SURVEY_MESSAGE_LOG", nullptr, 0) == 0)
            ::SetEnvironmentVariableW(L"SURVEY_MESSAGE_LOG", TestFolder(L"messages.log").c_str());
        m_module.Reset(::LoadLibraryW(path.c_str()));
    }
    bool Loaded() const { return m_module.Valid(); }
    template <typename F>
    F Get(const char* name) const {
        return reinterpret_cast<F>(::GetProcAddress(m_module.Get(), name));
    }
    int Int(const char* name) const { return Get<GpsIntFunction>(name)(); }
    double Double(const char* name) const { return Get<GpsDoubleFunction>(name)(); }
    void Void(const char* name) const { Get<GpsVoidFunction>(name)(); }

private:
    platform::UniqueModule m_module;
};

// Ends the stand-in service the library started.
void StopFakeService() {
    platform::UniqueHandle quit(
        ::OpenEventW(EVENT_MODIFY_STATE, FALSE, L"SurveyFakeGnssServiceQuit"));
    if (quit)
        ::SetEvent(quit.Get());
    WaitFor([] { return !ServiceRunning(); }, 10000);
}

TEST(GpsDll, ExportsTheTwentyFunctionsByName) {
    GpsLibrary gps(TestFolder(L"without_service\\gps.dll"));
    ASSERT_TRUE(gps.Loaded());
    for (const char* name : kExports)
        EXPECT_NE(gps.Get<FARPROC>(name), nullptr) << name;
}

TEST(GpsDll, StartsTheServiceHiddenAndReadsItsFix) {
    ASSERT_FALSE(ServiceRunning()) << "another GNSS service runs in this prefix";
    const std::wstring commands = TestFolder(L"with_service\\commands.txt");
    ::DeleteFileW(commands.c_str());
    ::SetEnvironmentVariableW(L"SURVEY_FAKE_GNSS_COMMANDS", commands.c_str());
    {
        GpsLibrary gps(TestFolder(L"with_service\\gps.dll"));
        ASSERT_TRUE(gps.Loaded());
        EXPECT_EQ(gps.Int("_UpdateGPS"), 0);  // nothing mapped yet: initial values
        EXPECT_DOUBLE_EQ(gps.Double("_GetGPSLat"), 56.0);
        EXPECT_DOUBLE_EQ(gps.Double("_GetGPSLong"), 37.8);

        ASSERT_EQ(gps.Int("_InitGPSDefaultHidden"), 1);
        EXPECT_TRUE(ServiceRunning());
        EXPECT_DOUBLE_EQ(gps.Double("_GetGPSLat"), 55.5);
        EXPECT_DOUBLE_EQ(gps.Double("_GetGPSLong"), 37.5);
        EXPECT_DOUBLE_EQ(gps.Double("_GetGPSCurDist"), 2.0);
        EXPECT_DOUBLE_EQ(gps.Double("_GetGPSLatSpeed"), 0.00001);
        EXPECT_DOUBLE_EQ(gps.Double("_GetGPSLonSpeed"), 0.00002);
        EXPECT_DOUBLE_EQ(gps.Double("_GetGPSCurSpeed"), 2.0);
        EXPECT_DOUBLE_EQ(gps.Double("_GetGPSTime"), 123456.0);
        EXPECT_EQ(gps.Int("_GetSatNumber"), 9);
        EXPECT_DOUBLE_EQ(gps.Double("_GetGPSX"), 0.0);
        EXPECT_DOUBLE_EQ(gps.Double("_GetGPSY"), 0.0);
        EXPECT_DOUBLE_EQ(gps.Double("_GetGPSHeading"), 0.0);
        EXPECT_EQ(gps.Int("_GPSConnected"), 1);

        // Initialising asked for a clock check; so does _Synchro, and the
        // service takes run-log commands as the exact text given.
        EXPECT_TRUE(WaitFor([&] { return ReadFile(commands) == "show 0\nsync\n"; }))
            << ReadFile(commands);
        gps.Void("_Synchro");
        EXPECT_TRUE(WaitFor([&] { return ReadFile(commands) == "show 0\nsync\nsync\n"; }))
            << ReadFile(commands);
        gps.Get<GpsSetLogFolderFunction>("_SetLogFolder")("1 C:\\runs\\day1");
        EXPECT_TRUE(WaitFor([&] {
            return ReadFile(commands) == "show 0\nsync\nsync\n1 C:\\runs\\day1\n";
        })) << ReadFile(commands);

        // The service loses its receiver: the record reads "0\n".
        {
            platform::UniqueHandle mapping(
                ::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, L"MyGPSFileMappingObject"));
            platform::UniqueHandle mutex(
                ::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, L"MyGPSBufferMutex"));
            ASSERT_TRUE(mapping && mutex);
            platform::UniqueView view(
                ::MapViewOfFile(mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, 1024));
            ASSERT_TRUE(view);
            ASSERT_EQ(::WaitForSingleObject(mutex.Get(), 5000), WAIT_OBJECT_0);
            std::strcpy(static_cast<char*>(view.Get()), "0\n");
            ::ReleaseMutex(mutex.Get());
        }
        EXPECT_EQ(gps.Int("_UpdateGPS"), 0);
        EXPECT_EQ(gps.Int("_GetSatNumber"), 0);
        EXPECT_DOUBLE_EQ(gps.Double("_GetGPSCurDist"), 0.0);
        EXPECT_DOUBLE_EQ(gps.Double("_GetGPSLat"), 55.5);

        EXPECT_EQ(gps.Int("_QuitGPS"), 1);
        gps.Void("_UnMap");
        EXPECT_EQ(gps.Int("_UpdateGPS"), 0);
    }
    StopFakeService();
    EXPECT_FALSE(ServiceRunning());
    // Unloading the library closed everything it had open: with the service
    // gone, no handle keeps the service's objects alive.
    platform::UniqueHandle record(
        ::OpenFileMappingW(FILE_MAP_READ, FALSE, L"MyGPSFileMappingObject"));
    platform::UniqueHandle mutex(::OpenMutexW(SYNCHRONIZE, FALSE, L"MyGPSSynchMutex"));
    EXPECT_FALSE(record.Valid());
    EXPECT_FALSE(mutex.Valid());
}

int CountServiceProcesses() {
    platform::UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W e = {};
    e.dwSize = sizeof(e);
    int count = 0;
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &e); more;
         more = ::Process32NextW(snapshot.Get(), &e))
        count += wcsstr(e.szExeFile, L"Orvanta") != nullptr;
    return count;
}

TEST(GpsDll, StartsVisibleByDefaultAndNotTwice) {
    ASSERT_FALSE(ServiceRunning());
    const std::wstring commands = TestFolder(L"with_service\\commands.txt");
    ::DeleteFileW(commands.c_str());
    ::SetEnvironmentVariableW(L"SURVEY_FAKE_GNSS_COMMANDS", commands.c_str());
    {
        GpsLibrary gps(TestFolder(L"with_service\\gps.dll"));
        ASSERT_TRUE(gps.Loaded());
        ASSERT_EQ(gps.Int("_InitGPSDefault"), 1);
        EXPECT_EQ(ReadFile(commands).substr(0, 7), "show 8\n");  // SW_SHOWNA
        // Already running: nothing is started, the two settling waits remain.
        const DWORD start = ::GetTickCount();
        EXPECT_EQ(gps.Int("_InitGPSDefault"), 1);
        EXPECT_GE(::GetTickCount() - start, 1900u);
        EXPECT_EQ(CountServiceProcesses(), 1);
        EXPECT_EQ(ReadFile(commands).find("show", 1), std::string::npos);
    }
    StopFakeService();
}

TEST(GpsDll, HiddenStartsStayHidden) {
    ASSERT_FALSE(ServiceRunning());
    const std::wstring commands = TestFolder(L"with_service\\commands.txt");
    ::DeleteFileW(commands.c_str());
    ::SetEnvironmentVariableW(L"SURVEY_FAKE_GNSS_COMMANDS", commands.c_str());
    {
        GpsLibrary gps(TestFolder(L"with_service\\gps.dll"));
        ASSERT_TRUE(gps.Loaded());
        ASSERT_EQ(gps.Int("_InitGPSDefaultHidden"), 1);
        StopFakeService();
        EXPECT_EQ(gps.Int("_GPSConnected"), 10);
        ASSERT_EQ(gps.Int("_InitGPSDefault"), 1);  // started again, hidden again
        const std::string log = ReadFile(commands);
        EXPECT_EQ(log.substr(0, 7), "show 0\n");
        EXPECT_NE(log.find("\nshow 0\n"), std::string::npos) << log;
        EXPECT_EQ(log.find("show 8"), std::string::npos) << log;
    }
    StopFakeService();
}

TEST(GpsDll, ServiceMissingBesideTheLibraryIsReported) {
    ASSERT_FALSE(ServiceRunning());
    const std::wstring log = TestFolder(L"without_service\\messages.log");
    ::DeleteFileW(log.c_str());
    ::SetEnvironmentVariableW(L"SURVEY_MESSAGE_LOG", log.c_str());
    {
        GpsLibrary gps(TestFolder(L"without_service\\gps.dll"));
        ASSERT_TRUE(gps.Loaded());
        EXPECT_EQ(gps.Int("_InitGPSDefault"), 10);
        EXPECT_EQ(gps.Int("_GPSConnected"), 10);
    }
    ::SetEnvironmentVariableW(L"SURVEY_MESSAGE_LOG", nullptr);
    EXPECT_EQ(ReadFile(log), "Ошибка!\terror\tНе запускается монитор GPS-сигналов\n");
}

}  // namespace
