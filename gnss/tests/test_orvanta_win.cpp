// The Win32 pieces of the GNSS service under Wine: the serial port's
// refusals, the log files' streams, the shared blocks, the fix log, the
// reader's end and the connection's port search without a receiver.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gnss/client_commands.h"
#include "gnss/gnss_log_files.h"
#include "gnss/gnss_texts.h"
#include "gnss/gps_mappings.h"
#include "common/xml_config.h"
#include "gnss/receiver_connection.h"
#include "gnss/receiver_settings_xml.h"
#include "gnss/serial_reader.h"
#include "platform/clock.h"
#include "platform/handles.h"
#include "platform/notifier.h"
#include "platform/serial_port.h"
#include "platform/shared_text.h"
#include "platform/text.h"

namespace {

std::wstring TempFolder(const wchar_t* name) {
    wchar_t base[MAX_PATH];
    ::GetTempPathW(MAX_PATH, base);
    std::wstring folder = std::wstring(base) + name;
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

std::string ReadFile(const std::wstring& path) {
    std::ifstream in(platform::WideToUtf8(path), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(SerialPortTest, NamesEveryPortWithTheDevicePrefix) {
    EXPECT_EQ(platform::SerialPort::DeviceName(7), L"\\\\.\\COM7");
    EXPECT_EQ(platform::SerialPort::DeviceName(255), L"\\\\.\\COM255");
}

TEST(SerialPortTest, AnAbsentPortNeitherOpensNorWaits) {
    platform::SerialPort port;
    EXPECT_FALSE(platform::SerialPort::Exists(250));
    EXPECT_FALSE(port.Open(250));
    EXPECT_FALSE(port.IsOpen());
    DWORD mask = 1;
    EXPECT_EQ(port.WaitEvent(10, mask), platform::SerialPort::WaitResult::Failed);
    EXPECT_EQ(mask, 0u);
    char buffer[8];
    EXPECT_EQ(port.Read(buffer, sizeof buffer, 10), -1);
    EXPECT_EQ(port.QueuedInput(), 0u);
    EXPECT_FALSE(port.Configure8N1(115200));
    port.Close();  // harmless when closed
}

class LogFilesTest : public ::testing::Test {
protected:
    void SetUp() override { m_folder = TempFolder(L"orvanta_log_test"); }
    void TearDown() override {
        m_logs.CloseAll();
        ::DeleteFileW(m_logs.DayLogPath().c_str());
        ::DeleteFileW(m_logs.EventLogPath().c_str());
        ::RemoveDirectoryW(m_folder.c_str());
    }
    std::wstring m_folder;
    GnssLogFiles m_logs;
};

TEST_F(LogFilesTest, DayLogIsNamedAfterTheStartDateAndFlushedPerLine) {
    m_logs.OpenDayAndEvent(m_folder, platform::CivilTime{2018, 12, 4, 27, 23, 59, 0, 0});
    ASSERT_TRUE(m_logs.DayLogOpen());
    ASSERT_TRUE(m_logs.EventLogOpen());
    EXPECT_EQ(m_logs.DayLogPath(), m_folder + L"\\gps181227.log");
    EXPECT_EQ(m_logs.EventLogPath(), m_folder + L"\\gnssLog.log");
    m_logs.WriteDay("$GPGGA,1*00,0.00,181227,1\n");
    // Readable while still open: the line was flushed.
    EXPECT_EQ(ReadFile(m_logs.DayLogPath()), "$GPGGA,1*00,0.00,181227,1\r\n");
}

TEST_F(LogFilesTest, RepeatedRunLogOpeningsLeaveOneStream) {
    m_logs.OpenDayAndEvent(m_folder, platform::CivilTime{});
    const std::string path = platform::WideToAnsi(m_folder) + "\\run.log";
    ASSERT_TRUE(m_logs.OpenRun(path, true));
    m_logs.WriteRun("a\n");
    ASSERT_TRUE(m_logs.OpenRun(path, false));
    ASSERT_TRUE(m_logs.OpenRun(path, false));
    m_logs.WriteRun("b\n");
    m_logs.CloseRun();
    EXPECT_EQ(ReadFile(platform::AnsiToWide(path)), "a\r\nb\r\n");
    // An open stream would keep the file from being deleted.
    EXPECT_TRUE(::DeleteFileA(path.c_str()));
}

TEST_F(LogFilesTest, RunLogInAMissingFolderStaysClosed) {
    EXPECT_FALSE(m_logs.OpenRun(platform::WideToAnsi(m_folder) + "\\missing\\run.log", true));
    EXPECT_FALSE(m_logs.RunLogOpen());
    m_logs.WriteRun("skipped\n");
}

class MappingsTest : public ::testing::Test {
protected:
    void TearDown() override { m_mappings.Close(); }
    GpsMappings m_mappings;
};

TEST_F(MappingsTest, CreatesTheThreeBlocksWithTheirInitialTexts) {
    EXPECT_TRUE(m_mappings.Create().empty());
    auto client =
        platform::SharedTextBlock::Open(L"MyGPSSyncMappingObject", L"MyGPSSynchMutex", 260);
    ASSERT_TRUE(client.Ready());
    std::string text;
    ASSERT_EQ(client.Read(text), platform::SharedTextAccess::Ok);
    EXPECT_EQ(text, "0\n");
    auto folder =
        platform::SharedTextBlock::Open(L"MyLogFolderMappingObject", L"MyGPSLogFolderMutex", 260);
    ASSERT_EQ(folder.Read(text), platform::SharedTextAccess::Ok);
    EXPECT_EQ(text, "0\n");
}

TEST_F(MappingsTest, PublishedRecordReachesAClient) {
    m_mappings.Create();
    auto client =
        platform::SharedTextBlock::Open(L"MyGPSFileMappingObject", L"MyGPSBufferMutex", 1024);
    ASSERT_TRUE(client.Ready());
    ASSERT_TRUE(m_mappings.PublishRecord("0\n"));
    std::string text;
    ASSERT_EQ(client.Read(text), platform::SharedTextAccess::Ok);
    EXPECT_EQ(text, "0\n");
    // A record longer than the block is cut, never written past it.
    ASSERT_TRUE(m_mappings.PublishRecord(std::string(2000, '7')));
    ASSERT_EQ(client.Read(text), platform::SharedTextAccess::Ok);
    EXPECT_EQ(text.size(), 1023u);
}

// "Выбор папки для ГНСС-данных невозможен" names the view that could not be
// mapped; a log-folder mapping that cannot be created at all only counts
// among the missing links.
TEST_F(MappingsTest, LogFolderMappingThatCannotBeCreatedIsAMissingLinkOnly) {
    // Another kind of object holds the name.
    platform::UniqueHandle squatter(::CreateMutexW(nullptr, FALSE, L"MyLogFolderMappingObject"));
    ASSERT_TRUE(squatter.Valid());
    const std::vector<std::string> messages = m_mappings.Create();
    EXPECT_FALSE(m_mappings.LogFolder().HasMapping());
    EXPECT_EQ(messages, std::vector<std::string>{gnss_text::kNoLinkToGnss});
}

TEST_F(MappingsTest, LogFolderViewThatCannotBeMappedIsReported) {
    // A read-only mapping of a read-only file, left under that name by
    // someone else: the service's writable view of it is refused.
    const std::wstring folder = TempFolder(L"orvanta_view_test");
    const std::wstring path = folder + L"\\read_only.bin";
    {
        std::ofstream out(platform::WideToUtf8(path), std::ios::binary);
        out << std::string(4096, '\0');
    }
    platform::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file.Valid());
    platform::UniqueHandle readOnly(::CreateFileMappingW(file.Get(), nullptr, PAGE_READONLY, 0, 0,
                                                         L"MyLogFolderMappingObject"));
    ASSERT_TRUE(readOnly.Valid());
    const std::vector<std::string> messages = m_mappings.Create();
    ASSERT_TRUE(m_mappings.LogFolder().HasMapping());
    EXPECT_FALSE(m_mappings.LogFolder().HasView());
    EXPECT_EQ(messages,
              (std::vector<std::string>{gnss_text::kNoFolderChoice, gnss_text::kNoLinkToGnss}));
    m_mappings.Close();
    readOnly.Reset();
    file.Reset();
    ::DeleteFileW(path.c_str());
    ::RemoveDirectoryW(folder.c_str());
}

class FixLogTest : public LogFilesTest {
protected:
    void SetUp() override {
        LogFilesTest::SetUp();
        m_mappings.Create();
        m_logs.OpenDayAndEvent(m_folder, platform::CivilTime{2018, 12, 4, 27, 0, 0, 0, 0});
        std::snprintf(m_state.dateStamp, sizeof m_state.dateStamp, "181227");
        m_state.stepDistance = 11.134;
    }
    void TearDown() override {
        m_mappings.Close();
        LogFilesTest::TearDown();
    }
    static constexpr const char* kSentence =
        "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47";
    GpsMappings m_mappings;
    GnssState m_state;
};

TEST_F(FixLogTest, LineCarriesStepStampAndXor) {
    WriteFixLog(m_state, kSentence, m_mappings, m_logs);
    const std::string line = std::string(kSentence) + ",11.13,181227";
    unsigned x = 0;
    for (unsigned char c : line)
        x ^= c;
    EXPECT_EQ(ReadFile(m_logs.DayLogPath()), line + "," + std::to_string(x) + "\r\n");
}

TEST_F(FixLogTest, PendingClockCheckLogsNothing) {
    m_state.SyncState = kSyncRequested;
    WriteFixLog(m_state, kSentence, m_mappings, m_logs);
    EXPECT_EQ(ReadFile(m_logs.DayLogPath()), "");
}

TEST_F(FixLogTest, RunLogGetsTheSameLine) {
    const std::string path = platform::WideToAnsi(m_folder) + "\\run.log";
    ASSERT_TRUE(m_logs.OpenRun(path, true));
    WriteFixLog(m_state, kSentence, m_mappings, m_logs);
    m_logs.CloseRun();
    EXPECT_EQ(ReadFile(platform::AnsiToWide(path)), ReadFile(m_logs.DayLogPath()));
    ::DeleteFileA(path.c_str());
}

// A reader whose port is closed under it (a driver that kept a cancelled
// wait makes the port drop its handle) reports the loss as a silent receiver
// does: valid 0, the record "0\n", the window's lost message, the message once.
TEST(ReaderThreadTest, APortClosedUnderTheReaderLosesTheReceiver) {
    constexpr UINT kLost = WM_APP + 1;
    platform::RecordingNotifier messages;
    platform::ScopedNotifier scoped(messages);
    GpsMappings mappings;
    ASSERT_TRUE(mappings.Create().empty());
    ASSERT_TRUE(mappings.PublishRecord("1 55.5 37.5 1.0 0.0 0.0 1.0 123456.000 9"));
    GnssStateBox state;
    state.With([](GnssState& s) { s.valid = 1; });
    GnssLogFiles logs;
    platform::SerialPort port;  // closed
    platform::UniqueHandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    platform::UniqueHandle cycleLock(::CreateSemaphoreW(nullptr, 1, 1, nullptr));
    HWND window = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    nullptr, nullptr);
    ASSERT_NE(window, nullptr);

    ReaderContext context;
    context.state = &state;
    context.port = &port;
    context.stopEvent = stop.Get();
    context.cycleLock = cycleLock.Get();
    context.mappings = &mappings;
    context.logs = &logs;
    context.window = window;
    context.lostMessage = kLost;
    platform::UniqueHandle thread(::CreateThread(nullptr, 0, &ReaderThread, &context, 0, nullptr));
    ASSERT_TRUE(thread.Valid());
    ASSERT_EQ(::WaitForSingleObject(thread.Get(), 10000), WAIT_OBJECT_0);

    EXPECT_EQ(state.Snapshot().valid, 0);
    auto client =
        platform::SharedTextBlock::Open(L"MyGPSFileMappingObject", L"MyGPSBufferMutex", 1024);
    std::string record;
    ASSERT_EQ(client.Read(record), platform::SharedTextAccess::Ok);
    EXPECT_EQ(record, "0\n");
    const auto shown = messages.Messages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, gnss_text::kReceiverLost);
    MSG msg;
    EXPECT_TRUE(::PeekMessageW(&msg, window, kLost, kLost, PM_REMOVE));
    EXPECT_FALSE(::PeekMessageW(&msg, window, kLost, kLost, PM_REMOVE));
    // The cycle lock is free again for the next reader.
    EXPECT_EQ(::WaitForSingleObject(cycleLock.Get(), 0), WAIT_OBJECT_0);
    ::DestroyWindow(window);
    mappings.Close();
}

class CountingSettings : public ReceiverSettings {
public:
    void Load(ReceiverConfig& config) override {
        ++loads;
        config.port = 250;
        config.speed = 9600;
        config.latitude = 55.5;
        config.longitude = 37.5;
        config.runLogPath = "C:\\runs\\x.log";
    }
    void SaveProbe(int32_t, int32_t, double, double) override { ++saves; }
    void SaveRunLogPath(const std::string&) override {}
    int loads = 0;
    int saves = 0;
};

TEST(ReceiverConnectionTest, WithoutPortsNoReceiverIsFoundAndTheConfigurationIsReadOnce) {
    GnssStateBox state;
    GpsMappings mappings;
    GnssLogFiles logs;
    CountingSettings settings;
    ReceiverConnection connection(state, mappings, logs, settings);
    ASSERT_TRUE(connection.CreateEvents());
    EXPECT_EQ(connection.OpenReceiver(), 0);
    EXPECT_EQ(connection.OpenReceiver(), 0);
    EXPECT_EQ(settings.loads, 1);
    EXPECT_EQ(settings.saves, 0);
    const GnssState s = state.Snapshot();
    EXPECT_EQ(s.port, 250);
    EXPECT_EQ(s.serialSpeed, 9600);
    EXPECT_DOUBLE_EQ(s.latitude, 55.5);
    EXPECT_EQ(connection.RunLog().StoredPath(), "C:\\runs\\x.log");
    EXPECT_FALSE(connection.ReaderRunning());
    connection.StopReader();  // nothing to stop
    connection.CloseEvents();
}

class XmlSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = TempFolder(L"orvanta_xml_test");
        m_path = m_folder + L"\\Tuvarnex.xml";
    }
    void TearDown() override {
        ::DeleteFileW(m_path.c_str());
        ::RemoveDirectoryW(m_folder.c_str());
    }
    void Write(const std::string& utf8) {
        std::ofstream out(platform::WideToUtf8(m_path), std::ios::binary);
        out << utf8;
    }
    platform::ComApartment m_com;
    std::wstring m_folder;
    std::wstring m_path;
};

TEST_F(XmlSettingsTest, ReadsTheReceiverOptionsAndKeepsDefaultsForUnusableOnes) {
    Write(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CONFIGURATION>\n"
        "\t<ГНСС скорость=\"57600\" порт=\"0\" широта=\"55.75\" долгота=\"0\" "
        "локальный_файл=\"C:\\runs\\181227120000gps.log\"/>\n</CONFIGURATION>\n");
    XmlConfig config(m_path);
    config.Open();
    XmlReceiverSettings settings(&config);
    ReceiverConfig loaded;
    settings.Load(loaded);
    EXPECT_EQ(loaded.speed, 57600);
    EXPECT_EQ(loaded.port, 1);  // 0 is no port: the default stays
    EXPECT_NEAR(loaded.latitude, 55.75, 1e-5);
    EXPECT_DOUBLE_EQ(loaded.longitude, 37);  // 0 is no position
    EXPECT_EQ(loaded.runLogPath, "C:\\runs\\181227120000gps.log");
}

TEST_F(XmlSettingsTest, ProbeResultCreatesTheElementAndIsReadBack) {
    Write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CONFIGURATION>\n</CONFIGURATION>\n");
    XmlConfig config(m_path);
    config.Open();
    XmlReceiverSettings settings(&config);
    settings.SaveProbe(4, 9600, 55.5, 37.25);
    ReceiverConfig loaded;
    XmlReceiverSettings(&config).Load(loaded);
    EXPECT_EQ(loaded.port, 4);
    EXPECT_EQ(loaded.speed, 9600);
    EXPECT_NEAR(loaded.latitude, 55.5, 1e-5);
    EXPECT_NEAR(loaded.longitude, 37.25, 1e-5);
}

TEST_F(XmlSettingsTest, RunLogPathIsNotSavedWithoutTheElement) {
    const std::string empty =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CONFIGURATION>\n</CONFIGURATION>\n";
    Write(empty);
    XmlConfig config(m_path);
    config.Open();
    XmlReceiverSettings(&config).SaveRunLogPath("C:\\runs\\x.log");
    EXPECT_EQ(ReadFile(m_path), empty);
}

TEST(XmlSettingsWithoutStoreTest, DefaultsStayAndNothingIsWritten) {
    XmlReceiverSettings settings(nullptr);
    ReceiverConfig loaded;
    settings.Load(loaded);
    settings.SaveProbe(3, 57600, 1, 2);
    EXPECT_EQ(loaded.speed, 115200);
    EXPECT_EQ(loaded.port, 1);
    EXPECT_DOUBLE_EQ(loaded.latitude, 56);
    EXPECT_TRUE(loaded.runLogPath.empty());
}

}  // namespace
