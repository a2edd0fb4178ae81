// The stand-in NI-DAQmx driver in-process, loaded from the program's folder
// and bound by name the way the sensor service binds the real one: its pace,
// its scheduled faults, its refusals and its record.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/known_library.h"
#include "sensors/daqmx_api.h"
#include "sim/nicaiu-stub/daq_record.h"
#include "sim/nicaiu-stub/daq_scenario.h"

namespace {

struct Daq {
    platform::UniqueModule module;
    daqmx::ResetDeviceFn ResetDevice = nullptr;
    daqmx::CreateTaskFn CreateTask = nullptr;
    daqmx::CreateAIVoltageChanFn CreateAIVoltageChan = nullptr;
    daqmx::CfgSampClkTimingFn CfgSampClkTiming = nullptr;
    daqmx::RegisterEveryNSamplesEventFn RegisterEveryNSamplesEvent = nullptr;
    daqmx::RegisterDoneEventFn RegisterDoneEvent = nullptr;
    daqmx::StartTaskFn StartTask = nullptr;
    daqmx::StopTaskFn StopTask = nullptr;
    daqmx::ClearTaskFn ClearTask = nullptr;
    daqmx::ReadAnalogF64Fn ReadAnalogF64 = nullptr;
    daqmx::GetExtendedErrorInfoFn GetExtendedErrorInfo = nullptr;

    bool Load() {
        module = platform::LoadKnownLibrary(daqmx::kLibraryName);
        return Bind(module.Get());
    }

    bool Bind(HMODULE m) {
        return m && platform::BindProc(m, "DAQmxResetDevice", ResetDevice) &&
               platform::BindProc(m, "DAQmxCreateTask", CreateTask) &&
               platform::BindProc(m, "DAQmxCreateAIVoltageChan", CreateAIVoltageChan) &&
               platform::BindProc(m, "DAQmxCfgSampClkTiming", CfgSampClkTiming) &&
               platform::BindProc(m, "DAQmxRegisterEveryNSamplesEvent",
                                  RegisterEveryNSamplesEvent) &&
               platform::BindProc(m, "DAQmxRegisterDoneEvent", RegisterDoneEvent) &&
               platform::BindProc(m, "DAQmxStartTask", StartTask) &&
               platform::BindProc(m, "DAQmxStopTask", StopTask) &&
               platform::BindProc(m, "DAQmxClearTask", ClearTask) &&
               platform::BindProc(m, "DAQmxReadAnalogF64", ReadAnalogF64) &&
               platform::BindProc(m, "DAQmxGetExtendedErrorInfo", GetExtendedErrorInfo);
    }

    std::string LastError() {
        char text[2048] = {};
        GetExtendedErrorInfo(text, sizeof text);
        return text;
    }
};

Daq& Driver() {
    static Daq daq;
    static const bool loaded = daq.Load();
    EXPECT_TRUE(loaded) << "nicaiu.dll beside the test program";
    return daq;
}

// What the sensor service's callback does: one interleaved read of 4 values.
struct Reader {
    Daq* daq = nullptr;
    std::atomic<int> calls{0};
    std::atomic<int> doneCalls{0};
    std::atomic<daqmx::int32> doneStatus{1};
    std::vector<daqmx::int32> statuses;  // driver thread only, read after the stop
    std::vector<daqmx::int32> counts;
    std::vector<std::vector<double>> values;
    std::vector<std::string> errors;
    int skipFirst = 0;  // callbacks that do not read (a stalled program)
    bool clearOnDone = true;
};

daqmx::int32 OnSamples(daqmx::TaskHandle task, daqmx::int32, daqmx::uInt32, void* data) {
    auto* r = static_cast<Reader*>(data);
    if (r->calls++ < r->skipFirst)
        return 0;
    double v[4] = {};
    daqmx::int32 read = -1;
    const daqmx::int32 status =
        r->daq->ReadAnalogF64(task, 1, 10.0, daqmx::Val_GroupByScanNumber, v, 4, &read, nullptr);
    r->statuses.push_back(status);
    r->counts.push_back(read);
    if (status < 0) {
        r->errors.push_back(r->daq->LastError());
        return -1;
    }
    if (read > 0)
        r->values.push_back({v[0], v[1], v[2], v[3]});
    return 0;
}

daqmx::int32 OnDone(daqmx::TaskHandle task, daqmx::int32 status, void* data) {
    auto* r = static_cast<Reader*>(data);
    r->doneStatus = status;
    if (r->clearOnDone)
        r->daq->ClearTask(task);
    ++r->doneCalls;  // last: a test that sees it finds the task cleared
    return 0;
}

class NicaiuStub : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(Driver().ResetDevice, nullptr);
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = std::wstring(temp) + L"nicaiu-stub-" + std::to_wstring(::GetCurrentProcessId()) +
                L"-" + std::wstring(info->name(), info->name() + std::strlen(info->name()));
        ::CreateDirectoryW(m_dir.c_str(), nullptr);
        m_record = m_dir + L"\\record.txt";
        ::DeleteFileW(m_record.c_str());
        ::SetEnvironmentVariableW(L"SURVEY_DAQ_RECORD", m_record.c_str());
        Scenario("");
        m_reader.daq = &Driver();
    }
    void TearDown() override {
        if (m_task)
            Driver().ClearTask(m_task);
        ::SetEnvironmentVariableW(L"SURVEY_DAQ_SCENARIO", nullptr);
        // The driver keeps its record open until the next set-up names another.
        ::SetEnvironmentVariableW(L"SURVEY_DAQ_RECORD", nullptr);
        Driver().ResetDevice("Dev1");
        ::DeleteFileW(m_record.c_str());
        ::DeleteFileW((m_dir + L"\\scenario.txt").c_str());
        ::RemoveDirectoryW(m_dir.c_str());
    }

    void Scenario(const std::string& text) {
        const std::wstring path = m_dir + L"\\scenario.txt";
        std::ofstream(path.c_str(), std::ios::binary) << text;
        ::SetEnvironmentVariableW(L"SURVEY_DAQ_SCENARIO", path.c_str());
        m_scenario = daqsim::ParseScenario(text).scenario;
    }

    // The service's set-up, step by step, on `on` (the test's stand-in by default);
    // the first failing status.
    daqmx::int32 SetUpLikeTheService(bool start = true, Daq* on = nullptr,
                                     daqmx::TaskHandle* task = nullptr, Reader* reader = nullptr) {
        Daq& d = on ? *on : Driver();
        daqmx::TaskHandle& t = task ? *task : m_task;
        Reader* r = reader ? reader : &m_reader;
        daqmx::int32 s = d.ResetDevice("Dev1");
        if (s == 0)
            s = d.CreateTask("", &t);
        if (s == 0)
            s = d.CreateAIVoltageChan(t, "Dev1/ai0:3", "", daqmx::Val_Diff, 0.0, 20.0,
                                      daqmx::Val_Volts, nullptr);
        if (s == 0)
            s = d.CfgSampClkTiming(t, "", 1000.0, daqmx::Val_Rising, daqmx::Val_ContSamps, 1);
        if (s == 0)
            s = d.RegisterEveryNSamplesEvent(t, daqmx::Val_Acquired_Into_Buffer, 1, 0, &OnSamples,
                                             r);
        if (s == 0)
            s = d.RegisterDoneEvent(t, 0, &OnDone, r);
        if (s == 0 && start)
            s = d.StartTask(t);
        return s;
    }

    void StopAndClear() {
        EXPECT_EQ(Driver().StopTask(m_task), 0);
        EXPECT_EQ(Driver().ClearTask(m_task), 0);
        m_task = nullptr;
    }

    std::vector<std::vector<std::string>> Record(const std::string& kind) {
        std::ifstream in(m_record.c_str(), std::ios::binary);
        std::vector<std::vector<std::string>> lines;
        std::string line;
        while (std::getline(in, line)) {
            auto fields = daqsim::SplitFields(line);
            if (!fields.empty() && fields[0] == kind)
                lines.push_back(fields);
        }
        return lines;
    }
    std::vector<std::string> Calls(const std::string& function) {
        std::vector<std::string> out;
        for (auto& f : Record("call")) {
            if (f.size() > 2 && f[2] == function) {
                std::string joined;
                for (size_t i = 3; i < f.size(); ++i)
                    joined += (i > 3 ? "\t" : "") + f[i];
                out.push_back(joined);
            }
        }
        return out;
    }

    std::wstring m_dir, m_record;
    daqsim::Scenario m_scenario;
    daqmx::TaskHandle m_task = nullptr;
    Reader m_reader;
};

TEST_F(NicaiuStub, ServesTheScenarioToTheServicesSetUpAndRecordsIt) {
    Scenario(
        "channel ai0 role=odometer speed_kmh=36 path_mm=100 low=0.25 high=4.75\n"
        "channel ai1 role=supply volts=12.5 noise=0.02\n"
        "channel ai2 kind=sine volts=2.5 amplitude=0.4 period_s=2\n"
        "channel ai3 role=laser volts=3.125\n");
    ASSERT_EQ(SetUpLikeTheService(), 0) << Driver().LastError();
    ::Sleep(1500);
    StopAndClear();
    const int calls = m_reader.calls;
    ::Sleep(100);
    EXPECT_EQ(m_reader.calls, calls) << "no callback after the stop";

    // Every read got the next sample, with the scenario's values, bit for bit.
    ASSERT_GT(m_reader.values.size(), 1000u);
    for (size_t k = 0; k < m_reader.values.size(); ++k) {
        for (int c = 0; c < 4; ++c)
            ASSERT_EQ(m_reader.values[k][static_cast<size_t>(c)],
                      daqsim::SampleValue(m_scenario.channels[static_cast<size_t>(c)], c, k, 1000.0,
                                          m_scenario.seed))
                << "sample " << k << " ai" << c;
    }
    const auto samples = Record("sample");
    ASSERT_EQ(samples.size(), m_reader.values.size());
    for (size_t k = 0; k < samples.size(); ++k) {
        daqsim::SampleRecord r;
        std::string line;
        for (size_t i = 0; i < samples[k].size(); ++i)
            line += (i ? "\t" : "") + samples[k][i];
        ASSERT_TRUE(daqsim::ParseSampleLine(line, r));
        ASSERT_EQ(r.index, k);
        ASSERT_EQ(r.values, m_reader.values[k]);
    }

    EXPECT_EQ(Calls("DAQmxResetDevice"), std::vector<std::string>{"0\tdeviceName=\"Dev1\""});
    const auto created = Calls("DAQmxCreateTask");
    ASSERT_EQ(created.size(), 1u);
    const size_t at = created[0].find("created=");
    ASSERT_NE(at, std::string::npos);
    const std::string id = created[0].substr(at + 8, created[0].find('\t', at) - at - 8);
    const auto withTask = [&](std::string text) {
        return text.replace(text.find("task=@"), 6, "task=" + id);
    };
    EXPECT_EQ(Calls("DAQmxCreateAIVoltageChan"),
              std::vector<std::string>{withTask(
                  "0\ttask=@\tphysicalChannel=\"Dev1/ai0:3\"\tnameToAssignToChannel=\"\"\t"
                  "terminalConfig=10106\tminVal=0\tmaxVal=20\tunits=10348\tcustomScaleName=null\t"
                  "inputs=4")});
    EXPECT_EQ(
        Calls("DAQmxCfgSampClkTiming"),
        std::vector<std::string>{withTask("0\ttask=@\tsource=\"\"\trate=1000\tactiveEdge=10280\t"
                                          "sampleMode=10123\tsampsPerChan=1")});
    EXPECT_EQ(
        Calls("DAQmxRegisterEveryNSamplesEvent"),
        std::vector<std::string>{withTask("0\ttask=@\teveryNsamplesEventType=1\tnSamples=1\t"
                                          "options=0\tcallbackFunction=ptr\tcallbackData=ptr")});
    const auto reads = Calls("DAQmxReadAnalogF64");
    ASSERT_EQ(reads.size(), 1u) << "identical reads are recorded once";
    EXPECT_EQ(reads[0],
              withTask("0\ttask=@\tnumSampsPerChan=1\ttimeout=10\tfillMode=1\treadArray=ptr\t"
                       "arraySizeInSamps=4\tsampsPerChanRead=ptr\treserved=null\tread=1"));
    const auto summary = Record("summary");
    ASSERT_EQ(summary.size(), 1u);
    EXPECT_EQ(summary[0][4], "reads=" + std::to_string(m_reader.values.size()));
    // The odometer's rising edges among the served samples, for the pulse counters.
    int edges = 0;
    for (size_t k = 1; k < m_reader.values.size(); ++k)
        edges += m_reader.values[k][0] == 4.75 && m_reader.values[k - 1][0] == 0.25;
    EXPECT_EQ(summary[0].back(), "edges_ai0=" + std::to_string(edges));
}

TEST_F(NicaiuStub, KeepsTheHardwarePaceByTheClock) {
    ASSERT_EQ(SetUpLikeTheService(), 0);
    const ULONGLONG start = ::GetTickCount64();
    ::Sleep(3000);
    const ULONGLONG elapsedMs = ::GetTickCount64() - start;
    StopAndClear();
    // Late wake-ups are caught up, so the count follows the clock: never
    // ahead of it and, on a loaded machine, not far behind.
    const int calls = m_reader.calls;
    EXPECT_LE(calls, static_cast<int>(elapsedMs) + 20);
    EXPECT_GE(calls, static_cast<int>(elapsedMs * 9 / 10));
}

TEST_F(NicaiuStub, ScheduledReadErrorsEmptyReadsAndTheirTexts) {
    Scenario(
        "read_error read=5 status=-200279 text=\"The device stopped.\"\n"
        "empty_read read=10 count=2\n");
    ASSERT_EQ(SetUpLikeTheService(), 0);
    ::Sleep(300);
    StopAndClear();
    ASSERT_GT(m_reader.statuses.size(), 20u);
    EXPECT_EQ(m_reader.statuses[4], -200279);
    EXPECT_EQ(m_reader.counts[4], 0);
    ASSERT_EQ(m_reader.errors.size(), 1u);
    EXPECT_EQ(m_reader.errors[0], "The device stopped.");
    EXPECT_EQ(m_reader.statuses[9], 0);
    EXPECT_EQ(m_reader.counts[9], 0);
    EXPECT_EQ(m_reader.counts[10], 0);
    EXPECT_EQ(m_reader.counts[11], 1);
    // Nothing is lost: the samples a failed or empty read left wait for the next.
    for (size_t k = 0; k < m_reader.values.size(); ++k)
        ASSERT_EQ(m_reader.values[k][3], 12.0);
    const auto samples = Record("sample");
    ASSERT_EQ(samples.size(), m_reader.values.size());
    for (size_t k = 0; k < samples.size(); ++k)
        ASSERT_EQ(samples[k][1], std::to_string(k));
    const auto reads = Calls("DAQmxReadAnalogF64");
    ASSERT_GE(reads.size(), 4u);
    EXPECT_NE(reads[1].find("-200279\t"), std::string::npos) << reads[1];
    EXPECT_NE(reads[1].find("error=\"The device stopped.\""), std::string::npos) << reads[1];
    EXPECT_NE(reads[1].find("scheduled=1"), std::string::npos) << reads[1];
}

TEST_F(NicaiuStub, FailsTheSetUpCallTheScenarioNames) {
    Scenario("fail call=DAQmxCfgSampClkTiming status=-200077 text=\"No clock today.\"\n");
    EXPECT_EQ(SetUpLikeTheService(), -200077);
    EXPECT_EQ(Driver().LastError(), "No clock today.");
    char small[5] = {};
    EXPECT_EQ(Driver().GetExtendedErrorInfo(nullptr, 0), 16);  // the size needed
    Driver().GetExtendedErrorInfo(small, sizeof small);
    EXPECT_STREQ(small, "No c");
    // Only the first occurrence fails.
    EXPECT_EQ(
        Driver().CfgSampClkTiming(m_task, "", 1000.0, daqmx::Val_Rising, daqmx::Val_ContSamps, 1),
        0);
    const auto timing = Calls("DAQmxCfgSampClkTiming");
    ASSERT_EQ(timing.size(), 2u);
    EXPECT_EQ(timing[0].rfind("-200077\t", 0), 0u);
    EXPECT_NE(timing[0].find("scheduled=1"), std::string::npos);
}

TEST_F(NicaiuStub, RefusesWrongArgumentsVisibly) {
    Daq& d = Driver();
    EXPECT_EQ(d.ResetDevice("Dev2"), -200220);
    EXPECT_NE(d.LastError().find("Dev2"), std::string::npos);
    ASSERT_EQ(d.CreateTask("", &m_task), 0);
    EXPECT_EQ(d.CreateTask("x", nullptr), -200077);
    EXPECT_EQ(d.CreateAIVoltageChan(m_task, "Dev1/ai0:7", "", daqmx::Val_Diff, 0.0, 20.0,
                                    daqmx::Val_Volts, nullptr),
              -200170);  // differential inputs are ai0 to ai3
    EXPECT_EQ(d.CreateAIVoltageChan(m_task, "Dev1/ai0:3", "", 10083, 0.0, 20.0, daqmx::Val_Volts,
                                    nullptr),
              -200077);  // single-ended inputs measure within +-10 V
    EXPECT_EQ(d.CreateAIVoltageChan(m_task, "Dev1/ai0:3", "", daqmx::Val_Diff, 20.0, 0.0,
                                    daqmx::Val_Volts, nullptr),
              -200077);
    EXPECT_EQ(
        d.CreateAIVoltageChan(m_task, "Dev1/ai0:3", "", daqmx::Val_Diff, 0.0, 20.0, 10000, nullptr),
        -200077);
    EXPECT_EQ(d.StartTask(m_task), -200478);  // no channels yet
    ASSERT_EQ(d.CreateAIVoltageChan(m_task, "dev1/AI0:3", "", daqmx::Val_Diff, 0.0, 20.0,
                                    daqmx::Val_Volts, nullptr),
              0);
    EXPECT_EQ(d.CfgSampClkTiming(m_task, "", 5000.0, daqmx::Val_Rising, daqmx::Val_ContSamps, 1),
              -200077);  // 4 x 5000 S/s is more than the device's 10 kS/s
    EXPECT_EQ(d.CfgSampClkTiming(m_task, "/Dev1/PFI0", 1000.0, daqmx::Val_Rising,
                                 daqmx::Val_ContSamps, 1),
              -200077);
    EXPECT_EQ(d.StartTask(m_task), -200077);  // no sample clock
    EXPECT_EQ(d.RegisterEveryNSamplesEvent(m_task, 2, 1, 0, &OnSamples, &m_reader), -200077);
    EXPECT_EQ(d.RegisterEveryNSamplesEvent(m_task, 1, 1, 1, &OnSamples, &m_reader), -200077);
    double v[4];
    daqmx::int32 read = 0;
    EXPECT_EQ(d.ReadAnalogF64(m_task, 1, 1.0, 1, v, 4, &read, nullptr), -200473);  // not started
    EXPECT_EQ(
        d.ReadAnalogF64(reinterpret_cast<daqmx::TaskHandle>(8), 1, 1.0, 1, v, 4, &read, nullptr),
        -200088);
    const auto chans = Calls("DAQmxCreateAIVoltageChan");
    ASSERT_EQ(chans.size(), 5u);
    EXPECT_NE(chans[0].find("error=\"Physical channel"), std::string::npos) << chans[0];
    EXPECT_NE(chans[2].find("error="), std::string::npos) << chans[2];
}

TEST_F(NicaiuStub, ReadArgumentsAreChecked) {
    ASSERT_EQ(SetUpLikeTheService(false), 0);
    ASSERT_EQ(Driver().RegisterEveryNSamplesEvent(m_task, 1, 1, 0, nullptr, nullptr), 0);
    ASSERT_EQ(Driver().StartTask(m_task), 0);
    Daq& d = Driver();
    double v[8] = {};
    daqmx::int32 read = 0;
    daqmx::bool32 reserved = 0;
    EXPECT_EQ(d.ReadAnalogF64(m_task, 1, 1.0, 1, v, 3, &read, nullptr), -200229);
    EXPECT_EQ(d.ReadAnalogF64(m_task, 1, 1.0, 7, v, 4, &read, nullptr), -200077);
    EXPECT_EQ(d.ReadAnalogF64(m_task, 1, 1.0, 1, v, 4, &read, &reserved), -200077);
    // Grouped by channel: two samples of ai0 first, then two of ai1, ...
    ASSERT_EQ(d.ReadAnalogF64(m_task, 2, 1.0, 0, v, 8, &read, nullptr), 0);
    EXPECT_EQ(read, 2);
    EXPECT_EQ(v[2], 2.5);  // ai1, the inclinometer at zero slope
    EXPECT_EQ(v[3], 2.5);
    EXPECT_EQ(v[6], 12.0);  // ai3, the supply
    // Another task cannot take the device while this one runs.
    daqmx::TaskHandle other = nullptr;
    ASSERT_EQ(d.CreateTask("second", &other), 0);
    ASSERT_EQ(d.CreateAIVoltageChan(other, "Dev1/ai0", "", daqmx::Val_Diff, -10.0, 10.0,
                                    daqmx::Val_Volts, nullptr),
              0);
    ASSERT_EQ(d.CfgSampClkTiming(other, nullptr, 100.0, daqmx::Val_Rising, daqmx::Val_ContSamps, 1),
              0);
    EXPECT_EQ(d.StartTask(other), -50103);
    EXPECT_EQ(d.CreateTask("second", &other), -200089);  // names are unique
    EXPECT_EQ(d.ClearTask(other), 0);
    EXPECT_EQ(d.ClearTask(other), -200088);
}

TEST_F(NicaiuStub, DoneEventEndsTheAcquisitionOnTheDriverThread) {
    Scenario("done after_samples=200 status=-200279\n");
    ASSERT_EQ(SetUpLikeTheService(), 0);
    for (int i = 0; i < 100 && m_reader.doneCalls == 0; ++i)
        ::Sleep(20);
    EXPECT_EQ(m_reader.doneCalls, 1);
    EXPECT_EQ(m_reader.doneStatus, -200279);
    EXPECT_EQ(m_reader.calls, 200);
    // The service's done handler cleared the task: the handle is dead.
    EXPECT_EQ(Driver().StopTask(m_task), -200088);
    m_task = nullptr;
    const auto clears = Calls("DAQmxClearTask");
    ASSERT_EQ(clears.size(), 1u);
    EXPECT_NE(clears[0].find("from=callback"), std::string::npos) << clears[0];
    EXPECT_EQ(Record("done").size(), 1u);
}

daqmx::int32 SlowCallback(daqmx::TaskHandle task, daqmx::int32 type, daqmx::uInt32 n, void* data) {
    ::Sleep(3);  // longer than a sample period, every time
    return OnSamples(task, type, n, data);
}

TEST_F(NicaiuStub, ASlowCallbackFallsBehindTheClockAndTheOverflowStopsTheAcquisition) {
    // A buffer of a second: however long a 3 ms sleep takes on a loaded
    // machine, dozens of callbacks run before it is full.
    Scenario("buffer scans=1000\n");
    m_reader.clearOnDone = false;
    ASSERT_EQ(SetUpLikeTheService(false), 0);
    ASSERT_EQ(Driver().RegisterEveryNSamplesEvent(m_task, 1, 1, 0, &SlowCallback, &m_reader), 0);
    ASSERT_EQ(Driver().StartTask(m_task), 0);
    for (int i = 0; i < 250 && m_reader.doneCalls == 0; ++i)
        ::Sleep(20);
    // The clock went on while the callbacks took 3 ms a sample: the buffer
    // filled and the acquisition stopped with NI's status.
    ASSERT_EQ(m_reader.doneCalls, 1) << "the done event reports the overflow";
    EXPECT_EQ(m_reader.doneStatus, -200279);
    double v[4];
    daqmx::int32 read = -1;
    EXPECT_EQ(
        Driver().ReadAnalogF64(m_task, 1, 1.0, daqmx::Val_GroupByScanNumber, v, 4, &read, nullptr),
        -200279)
        << "the next read fails";
    EXPECT_EQ(read, 0);
    EXPECT_NE(Driver().LastError().find("not able to keep up with the hardware acquisition"),
              std::string::npos)
        << Driver().LastError();
    StopAndClear();

    // Every read before the overflow got the next sample; none after it did.
    const size_t served = m_reader.values.size();
    ASSERT_GT(served, 10u);
    for (size_t k = 0; k + 1 < m_reader.statuses.size(); ++k)
        ASSERT_EQ(m_reader.statuses[k], 0) << "read " << k;
    const auto samples = Record("sample");
    ASSERT_EQ(samples.size(), served);
    for (size_t k = 0; k < served; ++k)
        ASSERT_EQ(samples[k][1], std::to_string(k));
    // The record: where the loss began, how much the overflow took, the buffer.
    const auto overflow = Record("overflow");
    ASSERT_EQ(overflow.size(), 1u);
    EXPECT_EQ(overflow[0][1], std::to_string(served));
    ASSERT_EQ(overflow[0][3].rfind("lost=", 0), 0u);
    EXPECT_GT(std::stoull(overflow[0][3].substr(5)), 1000u);
    EXPECT_EQ(overflow[0][4], "buffer=1000");
    const auto summary = Record("summary");
    ASSERT_EQ(summary.size(), 1u);
    std::map<std::string, std::string> fields;
    for (const auto& f : summary[0])
        if (f.find('=') != std::string::npos)
            fields[f.substr(0, f.find('='))] = f.substr(f.find('=') + 1);
    EXPECT_EQ(fields["overflows"], "1");
    EXPECT_EQ(fields["served"], std::to_string(served));
    EXPECT_GE(std::stoull(fields["lost"]), 1001u);
    EXPECT_GE(std::stoull(fields["read_errors"]), 1u);
    EXPECT_GT(std::stoull(fields["max_late_us"]), 50000u) << "the callbacks fell behind the clock";
    EXPECT_EQ(Record("done").size(), 1u);
}

TEST_F(NicaiuStub, FreeingTheLibraryWhileItsThreadsRunIsRecorded) {
    // A copy under another name is a module of its own, which this test can unload.
    wchar_t exe[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring folder(exe, length);
    folder.resize(folder.find_last_of(L'\\'));
    const std::wstring copy = m_dir + L"\\nicaiu-unload.dll";
    ASSERT_TRUE(::CopyFileW((folder + L"\\nicaiu.dll").c_str(), copy.c_str(), FALSE));
    for (const bool clearFirst : {true, false}) {
        HMODULE module = ::LoadLibraryW(copy.c_str());
        ASSERT_NE(module, nullptr);
        Daq d;
        ASSERT_TRUE(d.Bind(module));
        Reader reader;
        reader.daq = &d;
        daqmx::TaskHandle task = nullptr;
        ASSERT_EQ(SetUpLikeTheService(true, &d, &task, &reader), 0);
        ::Sleep(200);
        if (clearFirst) {
            EXPECT_EQ(d.StopTask(task), 0);
            EXPECT_EQ(d.ClearTask(task), 0);
        }
        ::FreeLibrary(module);
        EXPECT_EQ(::GetModuleHandleW(copy.c_str()), nullptr) << "the library is unloaded";
        const int calls = reader.calls;
        ::Sleep(100);  // no thread of the freed library runs on
        EXPECT_EQ(reader.calls, calls);
        EXPECT_GT(calls, 50);
    }
    // The record tells a program that ended its task first from one that did not.
    const auto unloads = Record("unload");
    ASSERT_EQ(unloads.size(), 2u);
    EXPECT_EQ(unloads[0][2], "threads=0");
    EXPECT_EQ(unloads[1][2], "threads=2");
    EXPECT_EQ(unloads[1][3], "stuck=0");
    ASSERT_EQ(unloads[1].size(), 5u);
    EXPECT_EQ(unloads[1][4].rfind("error=", 0), 0u);
    ::DeleteFileW(copy.c_str());
}

daqmx::int32 SlowFirstCallback(daqmx::TaskHandle task, daqmx::int32 type, daqmx::uInt32 n,
                               void* data) {
    auto* r = static_cast<Reader*>(data);
    if (r->calls == 0)
        ::Sleep(3000);  // an operator reading a message box
    return OnSamples(task, type, n, data);
}

TEST_F(NicaiuStub, StopWaitsForTheCallbackUnderWayAndNoneStartsAfterIt) {
    ASSERT_EQ(SetUpLikeTheService(false), 0);
    ASSERT_EQ(Driver().RegisterEveryNSamplesEvent(m_task, 1, 1, 0, &SlowFirstCallback, &m_reader),
              0);
    ASSERT_EQ(Driver().StartTask(m_task), 0);
    ::Sleep(200);
    const ULONGLONG start = ::GetTickCount64();
    EXPECT_EQ(Driver().StopTask(m_task), 0);
    EXPECT_GE(::GetTickCount64() - start, 2000u);  // it waited for the callback to return
    const int calls = m_reader.calls;
    EXPECT_EQ(calls, 1);
    ::Sleep(100);
    EXPECT_EQ(m_reader.calls, calls);
    EXPECT_EQ(Record("waiting").size(), 1u);
}

TEST_F(NicaiuStub, AScenarioWithErrorsFailsEveryCallAndSaysWhy) {
    Scenario("channel ai0 role=odometer speed=36\n");
    EXPECT_EQ(Driver().ResetDevice("Dev1"), -200220);
    EXPECT_NE(Driver().LastError().find("unknown option 'speed'"), std::string::npos)
        << Driver().LastError();
    EXPECT_EQ(Record("scenario-error").size(), 1u);
}

TEST_F(NicaiuStub, TakesTheScenarioBesideTheDllWhenNoneIsNamed) {
    wchar_t exe[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring folder(exe, n);
    folder.resize(folder.find_last_of(L'\\'));
    const std::wstring beside = folder + L"\\nicaiu-scenario.txt";
    const std::wstring record = folder + L"\\beside-record.txt";
    std::ofstream(beside.c_str(), std::ios::binary)
        << "channel ai3 role=supply volts=11.5\nrecord path=beside-record.txt\n";
    ::DeleteFileW(record.c_str());
    ::SetEnvironmentVariableW(L"SURVEY_DAQ_SCENARIO", nullptr);
    ::SetEnvironmentVariableW(L"SURVEY_DAQ_RECORD", nullptr);
    m_record = record;  // read and removed like the named one
    ASSERT_EQ(SetUpLikeTheService(), 0);
    ::Sleep(100);
    StopAndClear();
    ::DeleteFileW(beside.c_str());
    ASSERT_FALSE(m_reader.values.empty());
    EXPECT_EQ(m_reader.values[0][3], 11.5);
    const auto process = Record("process");
    ASSERT_FALSE(process.empty());
    EXPECT_NE(process.back()[3].find("nicaiu-scenario.txt"), std::string::npos);
}

TEST_F(NicaiuStub, ServesTheScenarioAlsoWithoutARecord) {
    // A test or a demo that keeps no record still gets the scenario's values.
    ::SetEnvironmentVariableW(L"SURVEY_DAQ_RECORD", nullptr);
    Scenario("channel ai2 role=supply volts=12.25\n");
    ASSERT_EQ(SetUpLikeTheService(), 0);
    ::Sleep(100);
    StopAndClear();
    ASSERT_FALSE(m_reader.values.empty());
    EXPECT_EQ(m_reader.values.back()[2], 12.25);
}

TEST_F(NicaiuStub, RecordsThirtySecondsOfSamplesCompletely) {
    // 30 s at 1000 samples a second, as a recording of the service lasts.
    ASSERT_EQ(SetUpLikeTheService(), 0);
    ::Sleep(30000);
    StopAndClear();
    const auto samples = Record("sample");
    ASSERT_GT(samples.size(), 27000u);
    ASSERT_EQ(samples.size(), m_reader.values.size());
    for (size_t k = 0; k < samples.size(); ++k)
        ASSERT_EQ(samples[k][1], std::to_string(k));
    // The buffer NI gives the service's timing (1000 S/s, continuous), and no loss.
    const auto start = Record("start");
    ASSERT_EQ(start.size(), 1u);
    EXPECT_EQ(start[0][4], "buffer=10000");
    EXPECT_TRUE(Record("overflow").empty());
    const auto summary = Record("summary");
    ASSERT_EQ(summary.size(), 1u);
    EXPECT_EQ(summary[0][6], "read_errors=0");
    EXPECT_EQ(summary[0][8], "lost=0");
}

}  // namespace
