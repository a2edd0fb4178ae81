// The acquisition against a fake NI-DAQmx driver filled into the binding:
// the exact set-up calls, the callback path at the sampling rate, read
// errors, and a shutdown after which no callback reaches the samples.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/known_library.h"
#include "platform/notifier.h"
#include "platform/text.h"
#include "sensors/daq_acquisition.h"
#include "sensors/sensor_hub.h"
#include "sensors/sensor_mappings.h"

namespace {

// The driver the fake entry points play.
struct FakeDriver {
    std::mutex lock;
    std::vector<std::string> calls;
    std::string failCall;  // this call returns kFailure
    daqmx::EveryNSamplesEventCallbackPtr everySample = nullptr;
    void* everySampleData = reinterpret_cast<void*>(1);
    daqmx::DoneEventCallbackPtr done = nullptr;
    void* doneData = reinterpret_cast<void*>(1);
    int readStatus = 0;
    int readSamples = 1;
    double next[kInputCount] = {0.2, 2.5, 1.0, 1.2};
    std::atomic<int> reads{0};
    std::atomic<bool> readBlocks{false};  // a read waits until released
    std::atomic<bool> readInside{false};
    // Callbacks under way: like NI's driver, a stop waits for them (here at
    // most 10 s).
    std::atomic<int> callbacks{0};
};
FakeDriver* g_driver = nullptr;
int g_task = 0;  // the fake task's handle points here
constexpr daqmx::int32 kFailure = -200220;

daqmx::int32 Record(const std::string& call) {
    std::lock_guard<std::mutex> guard(g_driver->lock);
    g_driver->calls.push_back(call);
    return call.rfind(g_driver->failCall, 0) == 0 && !g_driver->failCall.empty() ? kFailure : 0;
}

std::string Text(const char* s) {
    return s == nullptr ? "null" : "\"" + std::string(s) + "\"";
}

void FillFake(DaqmxLibrary& lib) {
    lib.ResetDevice = [](const char device[]) { return Record("ResetDevice " + Text(device)); };
    lib.CreateTask = [](const char name[], daqmx::TaskHandle* task) {
        *task = &g_task;
        return Record("CreateTask " + Text(name));
    };
    lib.CreateAIVoltageChan = [](daqmx::TaskHandle, const char channels[], const char name[],
                                 daqmx::int32 terminal, daqmx::float64 minVal,
                                 daqmx::float64 maxVal, daqmx::int32 units, const char scale[]) {
        char args[160];
        std::snprintf(args, sizeof args, " %d %g %g %d ", terminal, minVal, maxVal, units);
        return Record("CreateAIVoltageChan " + Text(channels) + " " + Text(name) + args +
                      Text(scale));
    };
    lib.CfgSampClkTiming = [](daqmx::TaskHandle, const char source[], daqmx::float64 rate,
                              daqmx::int32 edge, daqmx::int32 mode, daqmx::uInt64 samples) {
        char args[160];
        std::snprintf(args, sizeof args, " %g %d %d %llu", rate, edge, mode,
                      static_cast<unsigned long long>(samples));
        return Record("CfgSampClkTiming " + Text(source) + args);
    };
    lib.RegisterEveryNSamplesEvent = [](daqmx::TaskHandle, daqmx::int32 type, daqmx::uInt32 n,
                                        daqmx::uInt32 options,
                                        daqmx::EveryNSamplesEventCallbackPtr cb, void* data) {
        g_driver->everySample = cb;
        g_driver->everySampleData = data;
        return Record("RegisterEveryNSamplesEvent " + std::to_string(type) + " " +
                      std::to_string(n) + " " + std::to_string(options));
    };
    lib.RegisterDoneEvent = [](daqmx::TaskHandle, daqmx::uInt32 options,
                               daqmx::DoneEventCallbackPtr cb, void* data) {
        g_driver->done = cb;
        g_driver->doneData = data;
        return Record("RegisterDoneEvent " + std::to_string(options));
    };
    lib.StartTask = [](daqmx::TaskHandle) { return Record("StartTask"); };
    lib.StopTask = [](daqmx::TaskHandle) {
        const ULONGLONG limit = ::GetTickCount64() + 10000;
        while (g_driver->callbacks > 0 && ::GetTickCount64() < limit)
            ::Sleep(1);
        return Record("StopTask");
    };
    lib.ClearTask = [](daqmx::TaskHandle) { return Record("ClearTask"); };
    lib.ReadAnalogF64 = [](daqmx::TaskHandle, daqmx::int32 perChannel, daqmx::float64 timeout,
                           daqmx::bool32 fill, daqmx::float64 out[], daqmx::uInt32 size,
                           daqmx::int32* read, daqmx::bool32* reserved) -> daqmx::int32 {
        g_driver->readInside = true;
        while (g_driver->readBlocks)
            ::Sleep(1);
        ++g_driver->reads;
        if (perChannel != 1 || timeout != 10.0 || fill != 1 || size != 4 || reserved != nullptr)
            ADD_FAILURE() << "read arguments";
        for (int i = 0; i < kInputCount; ++i)
            out[i] = g_driver->next[i];
        *read = g_driver->readSamples;
        g_driver->readInside = false;
        return g_driver->readStatus;
    };
    lib.GetExtendedErrorInfo = [](char text[], daqmx::uInt32 size) -> daqmx::int32 {
        std::snprintf(text, size, "Device not present: Dev1 (buffer %u)", size);
        return 0;
    };
}

class DaqAcquisitionTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_driver = &driver;
        FillFake(library);
        notifier = std::make_unique<platform::ScopedNotifier>(messages);
    }
    void TearDown() override {
        if (!acquisition.Stop()) {
            // A stop that ran out of time (a loaded machine) leaves the
            // driver's stop running on its own thread: it must be done with
            // the fake driver before the fake goes.
            const ULONGLONG limit = ::GetTickCount64() + 20000;
            while (!Called("ClearTask") && ::GetTickCount64() < limit)
                ::Sleep(1);
        }
        g_driver = nullptr;
    }
    daqmx::int32 Sample() {
        ++driver.callbacks;
        const daqmx::int32 result =
            driver.everySample(&g_task, daqmx::Val_Acquired_Into_Buffer, 1, nullptr);
        --driver.callbacks;
        return result;
    }
    bool Called(const std::string& call) {
        std::lock_guard<std::mutex> guard(driver.lock);
        return std::find(driver.calls.begin(), driver.calls.end(), call) != driver.calls.end();
    }

    FakeDriver driver;
    DaqmxLibrary library;
    SensorHub hub;
    DaqAcquisition acquisition{library, hub};
    platform::RecordingNotifier messages;
    std::unique_ptr<platform::ScopedNotifier> notifier;
};

TEST_F(DaqAcquisitionTest, SetUpPassesTheTaskArgumentsInOrder) {
    ASSERT_EQ(acquisition.Start(), 0);
    EXPECT_TRUE(acquisition.Running());
    const std::vector<std::string> expected = {
        "ResetDevice \"Dev1\"",
        "CreateTask \"\"",
        "CreateAIVoltageChan \"Dev1/ai0:3\" \"\" 10106 0 20 10348 null",
        "CfgSampClkTiming \"\" 1000 10280 10123 1",
        "RegisterEveryNSamplesEvent 1 1 0",
        "RegisterDoneEvent 0",
        "StartTask",
    };
    EXPECT_EQ(driver.calls, expected);
    EXPECT_EQ(driver.everySampleData, nullptr);
    EXPECT_EQ(driver.doneData, nullptr);
    acquisition.Stop();
    EXPECT_EQ(driver.calls.size(), expected.size() + 2);
    EXPECT_EQ(driver.calls[7], "StopTask");
    EXPECT_EQ(driver.calls[8], "ClearTask");
    acquisition.Stop();  // a second stop does nothing
    EXPECT_EQ(driver.calls.size(), expected.size() + 2);
}

TEST_F(DaqAcquisitionTest, AFailingSetUpCallEndsTheSequenceWithItsStatus) {
    driver.failCall = "CfgSampClkTiming";
    EXPECT_EQ(acquisition.Start(), kFailure);
    EXPECT_FALSE(acquisition.Running());
    EXPECT_EQ(driver.calls.back().rfind("CfgSampClkTiming", 0), 0u);
    // The task that was created is cleared at the stop.
    acquisition.Stop();
    EXPECT_EQ(driver.calls.back(), "ClearTask");
}

TEST_F(DaqAcquisitionTest, ARefusedEventRegistrationIsNotAFailure) {
    driver.failCall = "RegisterEveryNSamplesEvent";
    EXPECT_EQ(acquisition.Start(), 0);
}

TEST_F(DaqAcquisitionTest, SamplesReachTheDataBlock) {
    SensorMappings mappings;
    ASSERT_FALSE(mappings.Create().failed);
    hub.AttachDataBlock(&mappings.Data());
    ASSERT_EQ(acquisition.Start(), 0);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Sample(), 0);
    auto reader = platform::SharedTextBlock::Open(kDataMappingName, kDataMutexName, kDataBlockSize);
    std::string text;
    ASSERT_EQ(reader.Read(text), platform::SharedTextAccess::Ok);
    // Default roles before any configuration: no slope or laser input.
    EXPECT_EQ(text, "1   2   2   2   1000.000000   -1000.000000   -1000.000000   \n");
    // An empty read changes nothing.
    driver.readSamples = 0;
    driver.next[1] = 9.0;
    EXPECT_EQ(Sample(), 0);
    EXPECT_EQ(hub.Counts()[1], 2u);
    acquisition.Stop();
    hub.AttachDataBlock(nullptr);
    mappings.Close();
}

TEST_F(DaqAcquisitionTest, ReadErrorShowsTheDriverTextAndProcessesNothing) {
    ASSERT_EQ(acquisition.Start(), 0);
    acquisition.SetOwnerWindow(0x1234);
    driver.readStatus = -200279;
    EXPECT_EQ(Sample(), -1);
    const auto shown = messages.Messages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, "Error");
    EXPECT_EQ(shown[0].icon, platform::MessageIcon::Error);
    EXPECT_EQ(shown[0].owner, 0x1234u);
    EXPECT_EQ(shown[0].text.rfind("Device not present: Dev1", 0), 0u);
    EXPECT_NE(shown[0].text.find("2048"), std::string::npos);
    EXPECT_EQ(hub.Counts()[1], 1u);
}

TEST_F(DaqAcquisitionTest, WithRecoveryALostDeviceIsSetUpAgainOnceListedWithoutABox) {
    std::atomic<bool> listed{false};
    ASSERT_EQ(acquisition.Start(), 0);
    acquisition.SetRecovery(true, [&listed] { return listed.load(); });
    const auto count = [this](const std::string& call) {
        std::lock_guard<std::mutex> guard(driver.lock);
        return std::count(driver.calls.begin(), driver.calls.end(), call);
    };
    const auto waitFor = [](const std::function<bool()>& done) {
        const ULONGLONG limit = ::GetTickCount64() + 5000;
        while (!done() && ::GetTickCount64() < limit)
            ::Sleep(5);
        return done();
    };
    // An error of another kind keeps its box.
    driver.readStatus = kFailure;
    EXPECT_EQ(Sample(), -1);
    EXPECT_EQ(messages.Messages().size(), 1u);
    // The device is pulled out: no box, the task goes, nothing is set up
    // while the device is not listed.
    driver.readStatus = daq_lost::kTransferAborted;
    EXPECT_EQ(Sample(), -1);
    EXPECT_EQ(acquisition.State(), DaqState::Lost);
    EXPECT_TRUE(waitFor([&] { return count("ClearTask") == 1; }));
    ::Sleep(3 * DaqAcquisition::kRecoveryLookMs);
    EXPECT_EQ(count("StartTask"), 1);
    // Listed again: the same set-up calls, and the samples flow.
    driver.readStatus = 0;
    listed = true;
    EXPECT_TRUE(waitFor([&] { return acquisition.State() == DaqState::Running; }));
    EXPECT_EQ(count("ResetDevice \"Dev1\""), 2);
    EXPECT_EQ(count("StartTask"), 2);
    EXPECT_EQ(acquisition.Recoveries(), 1u);
    // A done event of a lost device (a full buffer) recovers too.
    EXPECT_EQ(driver.done(&g_task, daq_lost::kSamplesNoLongerAvailable, nullptr), 0);
    EXPECT_TRUE(waitFor([&] { return acquisition.Recoveries() == 2; }));
    EXPECT_EQ(count("StartTask"), 3);
    EXPECT_EQ(messages.Messages().size(), 1u);
    EXPECT_EQ(Sample(), 0);
}

TEST_F(DaqAcquisitionTest, DoneEventClearsTheTaskOnce) {
    ASSERT_EQ(acquisition.Start(), 0);
    EXPECT_EQ(driver.done(&g_task, kFailure, nullptr), 0);
    EXPECT_EQ(driver.calls.back(), "ClearTask");
    EXPECT_FALSE(acquisition.HasTask());
    const size_t calls = driver.calls.size();
    acquisition.Stop();  // the handle is gone: nothing to stop or clear
    EXPECT_EQ(driver.calls.size(), calls);
}

TEST_F(DaqAcquisitionTest, StopWaitsForACallbackInsideAndLetsNoneIn) {
    SensorMappings mappings;
    ASSERT_FALSE(mappings.Create().failed);
    hub.AttachDataBlock(&mappings.Data());
    ASSERT_EQ(acquisition.Start(), 0);
    driver.readBlocks = true;
    std::thread driverThread([&] { Sample(); });
    while (!driver.readInside)
        ::Sleep(1);
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        acquisition.Stop();
        stopped = true;
    });
    ::Sleep(50);
    EXPECT_FALSE(stopped) << "the stop returned while a callback was still inside";
    driver.readBlocks = false;
    driverThread.join();
    stopper.join();
    EXPECT_TRUE(stopped);
    // The block may go now: a late callback returns without reading.
    hub.AttachDataBlock(nullptr);
    mappings.Close();
    const int reads = driver.reads;
    EXPECT_EQ(Sample(), 0);
    EXPECT_EQ(driver.reads, reads);
}

TEST_F(DaqAcquisitionTest, CallbacksFromTheDriverThreadWhileTheWindowReads) {
    SensorMappings mappings;
    ASSERT_FALSE(mappings.Create().failed);
    hub.AttachDataBlock(&mappings.Data());
    ASSERT_EQ(acquisition.Start(), 0);
    // The window thread reads meanwhile, as the display does.
    std::atomic<bool> done{false};
    std::thread window([&] {
        while (!done) {
            hub.Readings();
            ::Sleep(1);
        }
    });
    std::thread driverThread([&] {
        for (int k = 0; k < 2000; ++k) {
            driver.next[0] = (k / 5) % 2 ? 4.8 : 0.2;
            Sample();
        }
    });
    driverThread.join();
    done = true;
    window.join();
    // 400 half periods of the square wave: 200 rises after the first trough.
    EXPECT_EQ(hub.Counts()[0], 1u + 200u);
    acquisition.Stop();
    hub.AttachDataBlock(nullptr);
    mappings.Close();
}

// A box that stays up until the test lets it go, as an operator would.
class OperatorBox : public platform::Notifier {
public:
    int Show(const platform::Message&) override {
        shown = true;
        while (!released)
            ::Sleep(1);
        return IDOK;
    }
    std::atomic<bool> shown{false};
    std::atomic<bool> released{false};
};

// The driver stops a task only after its callback under way has returned;
// a callback waiting for the operator on the read-error box must not hold
// the shutdown.
TEST_F(DaqAcquisitionTest, AReadErrorBoxDoesNotHoldTheStop) {
    OperatorBox box;
    platform::ScopedNotifier operatorBox(box);
    ASSERT_EQ(acquisition.Start(), 0);
    driver.readStatus = -200279;
    std::thread driverThread([&] { EXPECT_EQ(Sample(), -1); });
    while (!box.shown)
        ::Sleep(1);
    const ULONGLONG begun = ::GetTickCount64();
    EXPECT_FALSE(acquisition.Stop()) << "a callback is still on the driver thread";
    EXPECT_LT(::GetTickCount64() - begun, 1000u);
    box.released = true;
    driverThread.join();
    EXPECT_TRUE(acquisition.Stop());
}

// A callback that does not leave the sample path within the drain time:
// the stop gives up in time and the acquisition stays reachable, so that a
// late callback finds it alive and returns at once.
TEST_F(DaqAcquisitionTest, ACallbackThatCannotBeDrainedIsLeftAlive) {
    ASSERT_EQ(acquisition.Start(), 0);
    acquisition.SetDrainTime(300);
    driver.readBlocks = true;
    std::thread driverThread([&] { Sample(); });
    while (!driver.readInside)
        ::Sleep(1);
    const ULONGLONG begun = ::GetTickCount64();
    EXPECT_FALSE(acquisition.Stop());
    const ULONGLONG took = ::GetTickCount64() - begun;
    EXPECT_GE(took, 250u);
    EXPECT_LT(took, 2000u);
    const int reads = driver.reads;
    EXPECT_EQ(Sample(), 0);
    EXPECT_EQ(driver.reads, reads) << "a late callback reads nothing";
    driver.readBlocks = false;
    driverThread.join();
    // The driver's stop, left running, ends once the callback has returned.
    const ULONGLONG limit = ::GetTickCount64() + 5000;
    while (!Called("ClearTask") && ::GetTickCount64() < limit)
        ::Sleep(1);
    EXPECT_TRUE(Called("StopTask"));
    EXPECT_TRUE(Called("ClearTask"));
    EXPECT_TRUE(acquisition.Stop());
}

#ifdef SENSORS_TEST_NICAIU
// NI's driver library stays loaded for the life of the process, whatever
// becomes of its binding: its threads may outlive the task.
TEST(DaqmxLibraryTest, TheDriverLibraryStaysLoaded) {
    std::wstring stub = L"Z:" + platform::Utf8ToWide(SENSORS_TEST_NICAIU);
    std::replace(stub.begin(), stub.end(), L'/', L'\\');
    const std::wstring beside = platform::ProgramFolder() + L"\\nicaiu.dll";
    ASSERT_TRUE(::CopyFileW(stub.c_str(), beside.c_str(), FALSE)) << platform::WideToUtf8(stub);
    {
        DaqmxLibrary library;
        ASSERT_TRUE(library.Load());
        EXPECT_TRUE(library.Bound());
    }
    EXPECT_NE(::GetModuleHandleW(L"nicaiu.dll"), nullptr);
    ::DeleteFileW(beside.c_str());
}
#endif

}  // namespace
