// The client against a stand-in publisher in this process. The client is
// told that this test program is the service, so it starts nothing.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <string>
#include <thread>

#include "fake_gnss_publisher.h"
#include "gps/gps_client.h"
#include "platform/notifier.h"
#include "platform/text.h"

namespace {

using gps::GpsClient;
using gps::GpsClientOptions;
using gps_test::FakeGnssPublisher;

constexpr char kSampleRecord[] =
    "1 55.500000000000 37.500000000000 2.000000000000 0.000010000000 0.000020000000 "
    "2.000000000000 123456.000 9";

GpsClientOptions FastOptions() {
    GpsClientOptions o;
    o.serviceProcessName = L"gps_client_tests";  // this program stands for the service
    o.serviceFileName = L"gps_client_tests_no_such_service.exe";
    o.openTries = 3;
    o.retryPauseMs = 10;
    o.settleMs = 0;
    o.mutexWaitMs = 300;
    return o;
}

template <typename Condition>
bool WaitFor(Condition condition, int timeoutMs = 3000) {
    for (int waited = 0; waited < timeoutMs; waited += 20) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

class GpsClientTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_publisher.Ok()); }
    FakeGnssPublisher m_publisher;
    platform::RecordingNotifier m_messages;
    platform::ScopedNotifier m_scoped{m_messages};
};

TEST_F(GpsClientTest, InitReadsThePublishedFixAndAsksForAClockCheck) {
    m_publisher.Publish(kSampleRecord);
    GpsClient client(FastOptions());
    EXPECT_EQ(client.Init(), 1);
    EXPECT_DOUBLE_EQ(client.Values().latitude, 55.5);
    EXPECT_DOUBLE_EQ(client.Values().longitude, 37.5);
    EXPECT_DOUBLE_EQ(client.Values().stepDistance, 2.0);
    EXPECT_DOUBLE_EQ(client.Values().deltaLat, 0.00001);
    EXPECT_DOUBLE_EQ(client.Values().deltaLon, 0.00002);
    EXPECT_DOUBLE_EQ(client.Values().speed, 2.0);
    EXPECT_DOUBLE_EQ(client.Values().fixTime, 123456.0);
    EXPECT_EQ(client.Values().satellites, 9);
    EXPECT_EQ(m_publisher.SyncText(), "-1");
    EXPECT_TRUE(m_messages.Messages().empty());
}

TEST_F(GpsClientTest, ReceiverLostRecordGivesZeroAndKeepsThePosition) {
    m_publisher.Publish(kSampleRecord);
    GpsClient client(FastOptions());
    ASSERT_EQ(client.Init(), 1);
    m_publisher.Publish("0\n");
    EXPECT_EQ(client.Update(), 0);
    EXPECT_EQ(client.Values().satellites, 0);
    EXPECT_DOUBLE_EQ(client.Values().stepDistance, 0.0);
    EXPECT_DOUBLE_EQ(client.Values().latitude, 55.5);
    EXPECT_EQ(client.Connected(), 0);
}

TEST_F(GpsClientTest, BeforeTheFirstRecordTheMappingReadsEmpty) {
    GpsClient client(FastOptions());
    EXPECT_EQ(client.Update(), 0);  // not initialised yet
    EXPECT_EQ(client.Init(), 0);
    EXPECT_DOUBLE_EQ(client.Values().latitude, 56.0);
    EXPECT_DOUBLE_EQ(client.Values().longitude, 37.8);
}

TEST_F(GpsClientTest, RecordFillingTheWholeMappingIsReadWithinIt) {
    GpsClient client(FastOptions());
    ASSERT_EQ(client.Init(), 0);
    m_publisher.PublishRaw(std::string(1024, '5'));
    EXPECT_EQ(client.Update(), 0);  // one huge flag, no further fields
    m_publisher.PublishRaw("1 1 2 3 4 5 6 7 8" + std::string(1024, ' '));
    EXPECT_EQ(client.Update(), 1);
    EXPECT_EQ(client.Values().satellites, 8);
}

TEST_F(GpsClientTest, BusyRecordMutexRereadsThePreviousCopy) {
    m_publisher.Publish(kSampleRecord);
    GpsClient client(FastOptions());
    ASSERT_EQ(client.Init(), 1);
    m_publisher.Publish("0\n");
    // The service holds the mutex from another thread for longer than the client waits.
    HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE mutex = m_publisher.RecordMutex();
    std::thread holder([&] {
        ::WaitForSingleObject(mutex, INFINITE);
        ::SetEvent(ready);
        ::WaitForSingleObject(done, 5000);
        ::ReleaseMutex(mutex);
    });
    ::WaitForSingleObject(ready, 5000);
    EXPECT_EQ(client.Update(), 1);
    EXPECT_EQ(client.Values().satellites, 9);
    ::SetEvent(done);
    holder.join();
    EXPECT_EQ(client.Update(), 0);
    ::CloseHandle(ready);
    ::CloseHandle(done);
}

TEST_F(GpsClientTest, ClockCheckRequestIsAcknowledgedByTheService) {
    m_publisher.Publish(kSampleRecord);
    GpsClient client(FastOptions());
    ASSERT_EQ(client.Init(), 1);
    m_publisher.StartPolling();
    EXPECT_TRUE(WaitFor([&] { return m_publisher.SyncRequests() == 1; }));
    client.Synchro();
    EXPECT_TRUE(WaitFor([&] { return m_publisher.SyncRequests() == 2; }));
    EXPECT_EQ(m_publisher.SyncText(), "0");
    m_publisher.StopPolling();
    client.Synchro();
    EXPECT_EQ(m_publisher.SyncText(), "-1");
    client.NoSynchro();
    EXPECT_EQ(m_publisher.SyncText(), "0");
}

TEST_F(GpsClientTest, LogFolderCommandsArriveAsText) {
    GpsClient client(FastOptions());
    client.Init();
    client.SetLogFolder("1 C:\\runs\\2018-12-27");
    EXPECT_EQ(m_publisher.LogFolderText(), "1 C:\\runs\\2018-12-27");
    client.SetLogFolder("2");
    EXPECT_EQ(m_publisher.LogFolderText(), "2");
    // Cyrillic folder names travel in the ANSI code page, byte for byte.
    const std::string ansi = "1 D:\\\xE4\xE0\xED\xED\xFB\xE5";  // "данные" in cp1251
    client.SetLogFolder(ansi.c_str());
    EXPECT_EQ(m_publisher.LogFolderText(), ansi);
    // Too long for the 260-byte mapping: cut to 259 characters and terminated.
    const std::string longText = "1 C:\\" + std::string(400, 'x');
    client.SetLogFolder(longText.c_str());
    EXPECT_EQ(m_publisher.LogFolderText(), longText.substr(0, 259));
    client.SetLogFolder(nullptr);  // ignored
    EXPECT_EQ(m_publisher.LogFolderText(), longText.substr(0, 259));

    m_publisher.StartPolling();
    client.SetLogFolder("1 C:\\runs");
    EXPECT_TRUE(WaitFor([&] { return m_publisher.LogFolderText() == "0\n"; }));
    m_publisher.StopPolling();
    ASSERT_FALSE(m_publisher.LogCommands().empty());
    EXPECT_EQ(m_publisher.LogCommands().back(), "1 C:\\runs");
}

TEST_F(GpsClientTest, QuitChangesNothingTheServiceSees) {
    m_publisher.Publish(kSampleRecord);
    GpsClient client(FastOptions());
    ASSERT_EQ(client.Init(), 1);
    const std::string sync = m_publisher.SyncText();
    EXPECT_EQ(client.Quit(), 1);
    EXPECT_EQ(client.Values().connection, -1);
    EXPECT_EQ(m_publisher.SyncText(), sync);
    EXPECT_EQ(client.Update(), 1);
}

TEST_F(GpsClientTest, UnMapEndsTheReadsButNotTheCommandsLock) {
    m_publisher.Publish(kSampleRecord);
    GpsClient client(FastOptions());
    ASSERT_EQ(client.Init(), 1);
    client.UnMap();
    EXPECT_EQ(client.Update(), 0);
    EXPECT_DOUBLE_EQ(client.Values().latitude, 55.5);
    EXPECT_EQ(client.Values().satellites, 0);
    client.SetLogFolder("2");  // no view any more: nothing is written
    EXPECT_EQ(m_publisher.LogFolderText(), "0\n");
    EXPECT_EQ(client.Init(), 1);  // and a new initialisation maps again
}

bool NamedObjectsExist() {
    const wchar_t* mappings[] = {gps::kRecordMappingName, gps::kSyncMappingName,
                                 gps::kLogFolderMappingName};
    const wchar_t* mutexes[] = {gps::kRecordMutexName, gps::kSyncMutexName,
                                gps::kLogFolderMutexName};
    bool any = false;
    for (const wchar_t* name : mappings) {
        platform::UniqueHandle h(::OpenFileMappingW(FILE_MAP_READ, FALSE, name));
        any = any || h.Valid();
    }
    for (const wchar_t* name : mutexes) {
        platform::UniqueHandle h(::OpenMutexW(SYNCHRONIZE, FALSE, name));
        any = any || h.Valid();
    }
    return any;
}

// Named objects live as long as any handle to them: once the service and the
// client are gone, nothing may keep them, however often the client initialised.
TEST(GpsClientHandles, RepeatedInitialisationLeavesNothingOpen) {
    platform::RecordingNotifier messages;
    platform::ScopedNotifier scoped(messages);
    ASSERT_FALSE(NamedObjectsExist());
    {
        GpsClient client(FastOptions());
        {
            FakeGnssPublisher publisher;
            ASSERT_TRUE(publisher.Ok());
            publisher.Publish(kSampleRecord);
            for (int i = 0; i < 10; ++i)
                ASSERT_EQ(client.Init(), 1);
            client.UnMap();
            ASSERT_EQ(client.Init(), 1);
        }
        EXPECT_TRUE(NamedObjectsExist());  // the client's own handles keep them
        EXPECT_EQ(client.Update(), 1);     // and the last record stays readable
        client.UnMap();
        client.Init();  // the service is gone: the record mapping no longer opens
    }
    EXPECT_FALSE(NamedObjectsExist());
}

// A repeated initialisation that fails keeps the views that worked: here the
// service could not create its clock-check block, and it has ended since, so
// only the client's own handles keep its other blocks.
TEST(GpsClientReinit, FailedRepeatedInitialisationKeepsTheViewsThatWorked) {
    platform::RecordingNotifier messages;
    platform::ScopedNotifier scoped(messages);
    GpsClient client(FastOptions());
    {
        platform::SharedTextCreateOptions options;
        options.initialText = kSampleRecord;
        auto record = platform::SharedTextBlock::Create(gps::kRecordMappingName,
                                                        gps::kRecordMutexName, 1024, options);
        options.initialText = "0\n";
        auto folder = platform::SharedTextBlock::Create(gps::kLogFolderMappingName,
                                                        gps::kLogFolderMutexName, 260, options);
        ASSERT_TRUE(record.Ready() && folder.Ready());
        EXPECT_EQ(client.Init(), gps::kResultFailed);
        EXPECT_EQ(client.Update(), 1);
    }
    EXPECT_EQ(client.Init(), gps::kResultFailed);
    EXPECT_EQ(client.Update(), 1);  // the record view is still there
    EXPECT_DOUBLE_EQ(client.Values().latitude, 55.5);
    client.SetLogFolder("2");  // and so is the log-folder view
    auto folder =
        platform::SharedTextBlock::Open(gps::kLogFolderMappingName, gps::kLogFolderMutexName, 260);
    std::string text;
    ASSERT_EQ(folder.Read(text), platform::SharedTextAccess::Ok);
    EXPECT_EQ(text, "2");
    // Each failure names the missing block, in a box with no icon.
    const auto shown = messages.Messages();
    ASSERT_EQ(shown.size(), 2u);
    const std::string prefix = "Нет управления синхронизацией ГНСС : ";
    for (const platform::Message& m : shown) {
        EXPECT_EQ(m.text.substr(0, prefix.size()), prefix);
        EXPECT_EQ(m.caption, "Ошибка!");
        EXPECT_EQ(m.icon, platform::MessageIcon::None);
    }
}

// A service that has its record but no log-folder block: the failure names
// the block, and the record stays readable through the view already mapped.
TEST(GpsClientPartialService, MissingLogFolderBlockIsReportedAndTheRecordStaysReadable) {
    platform::RecordingNotifier messages;
    platform::ScopedNotifier scoped(messages);
    platform::SharedTextCreateOptions options;
    options.initialText = kSampleRecord;
    auto record = platform::SharedTextBlock::Create(gps::kRecordMappingName, gps::kRecordMutexName,
                                                    1024, options);
    ASSERT_TRUE(record.Ready());
    GpsClient client(FastOptions());
    EXPECT_EQ(client.Init(), gps::kResultFailed);
    const auto shown = messages.Messages();
    ASSERT_EQ(shown.size(), 1u);
    const std::string prefix = "Невозможно управление папками ГНСС-данных : ";
    EXPECT_EQ(shown[0].text.substr(0, prefix.size()), prefix);
    EXPECT_GT(shown[0].text.size(), prefix.size());
    EXPECT_EQ(shown[0].caption, "Ошибка!");
    EXPECT_EQ(client.Update(), 1);
    EXPECT_DOUBLE_EQ(client.Values().latitude, 55.5);
    EXPECT_EQ(client.Values().satellites, 9);
    client.SetLogFolder("1 C:\\runs");  // no view: nothing to write, nothing shown
    EXPECT_EQ(messages.Messages().size(), 1u);
}

// A log-folder block that another program keeps locked: the command is
// dropped after the wait, silently, and the record is read as before.
TEST_F(GpsClientTest, LockedLogFolderBlockDropsTheCommandAndKeepsTheRecord) {
    m_publisher.Publish(kSampleRecord);
    GpsClient client(FastOptions());
    ASSERT_EQ(client.Init(), 1);
    HANDLE held = ::OpenMutexW(SYNCHRONIZE, FALSE, gps::kLogFolderMutexName);
    ASSERT_NE(held, nullptr);
    HANDLE release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE taken = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&] {  // a mutex belongs to a thread: another one holds it
        ::WaitForSingleObject(held, INFINITE);
        ::SetEvent(taken);
        ::WaitForSingleObject(release, 10000);
        ::ReleaseMutex(held);
    });
    ASSERT_EQ(::WaitForSingleObject(taken, 5000), WAIT_OBJECT_0);
    client.SetLogFolder("1 C:\\runs\\day2");
    EXPECT_EQ(client.Update(), 1);
    ::SetEvent(release);
    holder.join();
    EXPECT_EQ(m_publisher.LogFolderText(), "0\n");
    EXPECT_TRUE(m_messages.Messages().empty());
    ::CloseHandle(held);
    ::CloseHandle(release);
    ::CloseHandle(taken);
}

TEST(GpsClientNoService, ServiceThatCannotStartIsReported) {
    platform::RecordingNotifier messages;
    platform::ScopedNotifier scoped(messages);
    GpsClientOptions o = FastOptions();
    o.serviceProcessName = L"NoSuchGnssService";
    o.serviceFileName = L"NoSuchGnssService.exe";
    GpsClient client(o);
    client.SetHidden();
    EXPECT_EQ(client.Init(), gps::kResultServiceMissing);
    const auto shown = messages.Messages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Не запускается монитор GPS-сигналов");
    EXPECT_EQ(shown[0].caption, "Ошибка!");
    EXPECT_EQ(shown[0].icon, platform::MessageIcon::Error);
    EXPECT_EQ(client.Connected(), gps::kResultServiceMissing);
}

TEST(GpsClientNoService, MissingMappingIsReportedWithTheSystemReason) {
    platform::RecordingNotifier messages;
    platform::ScopedNotifier scoped(messages);
    GpsClient client(FastOptions());  // "running", but no mappings exist
    EXPECT_EQ(client.Init(), gps::kResultFailed);
    const auto shown = messages.Messages();
    ASSERT_EQ(shown.size(), 1u);
    const std::string prefix = "Нет приема данных ГНСС : ";
    EXPECT_EQ(shown[0].text.substr(0, prefix.size()), prefix);
    EXPECT_GT(shown[0].text.size(), prefix.size());  // the system's description follows
    EXPECT_LE(platform::Utf8ToWide(shown[0].text).size(), 127u);
    EXPECT_EQ(shown[0].caption, "Ошибка!");
    EXPECT_EQ(shown[0].icon, platform::MessageIcon::None);  // OK button only
    EXPECT_EQ(client.Update(), 0);
}

}  // namespace
