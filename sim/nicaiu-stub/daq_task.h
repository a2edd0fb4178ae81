// One task of the stand-in driver: its configuration as the program set it
// up, and, once started, the two threads that play the hardware and the
// driver's event delivery.
//
// The clock thread acquires samples into the buffer by the performance
// counter (sample k is complete at start + (k + 1) / rate), waking every
// millisecond whatever the program does. A sample's values are a function of
// its index (the scenario's waveforms), so the buffer is just the range of
// acquired and not yet read sample indices, bounded as NI-DAQmx bounds it
// (InputBufferScans). More unread samples than it holds stop the acquisition
// with -200279, as NI's default (do not overwrite unread samples) does.
//
// The event thread calls the program's every-N-samples callback once per N
// acquired samples, queued, so a slow callback makes the program fall behind
// the clock instead of slowing it; then the done callback when the
// acquisition ends by itself (finite, the scenario's done, an overflow).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "sensors/daqmx_api.h"
#include "sim/nicaiu-stub/daq_scenario.h"
#include "sim/nicaiu-stub/record_writer.h"

namespace daqsim {

using daqmx::bool32;
using daqmx::float64;
using daqmx::int32;
using daqmx::uInt32;
using daqmx::uInt64;

// Status codes of NI-DAQmx that the stand-in returns.
inline constexpr int32 kErrInvalidTask = -200088;
inline constexpr int32 kErrDuplicateTask = -200089;
inline constexpr int32 kErrInvalidDevice = -200220;
inline constexpr int32 kErrInvalidValue = -200077;
inline constexpr int32 kErrPhysicalChannel = -200170;
inline constexpr int32 kErrReadBufferTooSmall = -200229;
inline constexpr int32 kErrSamplesNoLongerAvailable = -200279;
inline constexpr int32 kErrSamplesNotYetAvailable = -200284;
inline constexpr int32 kErrNoChannels = -200478;
inline constexpr int32 kErrTaskRunning = -200479;
inline constexpr int32 kErrResourceReserved = -50103;
inline constexpr int32 kErrTaskNotRunning = -200473;
inline constexpr int32 kErrNotKeepingUp = kErrSamplesNoLongerAvailable;  // overflow, same code
inline constexpr int32 kErrDevCannotBeAccessed = -201003;  // the device is not (or no more) there
inline constexpr int32 kErrTransferAborted = -50405;       // a USB device pulled mid-acquisition

// More NI constants the stand-in accepts besides those of the service's header.
inline constexpr int32 kValRse = 10083;
inline constexpr int32 kValNrse = 10078;
inline constexpr int32 kValPseudoDiff = 12529;
inline constexpr int32 kValCfgDefault = -1;
inline constexpr int32 kValFromCustomScale = 10065;
inline constexpr int32 kValFalling = 10171;
inline constexpr int32 kValFiniteSamps = 10178;
inline constexpr int32 kValAuto = -1;  // numSampsPerChan: all available
inline constexpr bool32 kValGroupByChannel = 0;
inline constexpr uInt32 kValSynchronousEventCallbacks = 1;

// The USB-6008 samples at most 10 kS/s over all its channels.
inline constexpr double kMaxAggregateRate = 10000.0;

struct EveryNRegistration {
    daqmx::EveryNSamplesEventCallbackPtr callback = nullptr;
    void* data = nullptr;
    uInt32 samples = 0;
};

struct DoneRegistration {
    daqmx::DoneEventCallbackPtr callback = nullptr;
    void* data = nullptr;
};

// What one read did, for the caller's record line.
struct ReadResult {
    int32 status = 0;
    std::string error;  // extended error text for a negative status
    int32 read = 0;
    bool scheduled = false;  // the scenario made this read fail or come back empty
};

class Task {
public:
    Task(uInt32 id, std::string name, const Scenario& scenario, RecordWriter& record);
    ~Task();
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;

    uInt32 Id() const { return m_id; }
    const std::string& Name() const { return m_name; }
    daqmx::TaskHandle Handle() { return this; }
    const Scenario& Plays() const { return m_scenario; }

    // Configuration, set by the exports while the task is not running.
    std::vector<int> channels;  // physical input numbers, in the order of the scan
    int32 terminalConfig = 0;
    bool timed = false;
    double rate = 0.0;
    int32 sampleMode = 0;
    uInt64 samplesPerChannel = 0;
    EveryNRegistration everyN;
    DoneRegistration done;
    bool cleared = false;
    bool started = false;  // ran at least once: what it acquired can still be read
    // The arguments of the last read that went into the record: identical
    // successful reads are not repeated there (their samples are).
    std::string lastReadArguments;
    std::uint64_t unrecordedReads = 0;

    // Started and neither stopped nor ended by itself.
    bool Running() const { return m_running.load(); }
    // On the thread that runs the program's callbacks.
    bool OnCallbackThread() const { return ::GetCurrentThreadId() == m_eventThreadId.load(); }

    // Starts the clock and event threads.
    bool Start();
    // Ends the acquisition; waits for the event thread unless called on it
    // (from a callback), where the thread ends after the callback returns.
    // Writes the task's summary once per run.
    void Stop();

    ReadResult Read(int32 samplesPerChannel, float64 timeoutS, bool32 fillMode, float64* array,
                    uInt32 arraySize);

    // For an unload of the library: the task's threads that still exist
    // (they would run on in freed code), the calling thread left out.
    std::vector<HANDLE> LiveThreads() const;

private:
    static DWORD WINAPI ClockMain(void* self);
    static DWORD WINAPI EventMain(void* self);
    void RunClock();
    void RunEvents();
    // The acquisition ended by itself with `status`: no sample comes after
    // the count the clock published last.
    void EndAcquisition(int32 status);
    // Samples the hardware clock has passed since the start.
    std::uint64_t ClockCount() const;
    void DeliverDone(int32 status);
    // Waits for the threads of the previous run (never for the calling one).
    void JoinThreads();
    void WriteSummary();

    uInt32 m_id;
    std::string m_name;
    Scenario m_scenario;
    RecordWriter& m_record;

    platform::UniqueHandle m_clockThread;
    platform::UniqueHandle m_eventThread;
    // Event threads a stop left inside a callback (or that stopped themselves):
    // still alive for a while, so an unload must know of them.
    std::vector<platform::UniqueHandle> m_lingering;
    platform::UniqueHandle m_produced;  // auto-reset: set after every clock tick with new samples
    platform::UniqueHandle m_wake;      // auto-reset: wakes the event thread
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_acquiring{false};   // the clock still acquires
    std::atomic<int32> m_endStatus{0};      // how the acquisition ended by itself
    std::atomic<bool> m_overflowed{false};  // it ended because the buffer was full
    std::atomic<bool> m_unplugged{false};   // the device was pulled out under the task
    std::atomic<DWORD> m_eventThreadId{0};
    bool m_summaryWritten = true;
    LARGE_INTEGER m_frequency{};
    LARGE_INTEGER m_clockStart{};
    double m_ticksPerSample = 1.0;
    std::uint64_t m_bufferScans = 0;

    CRITICAL_SECTION m_readLock;                    // the read cursor and counters below
    std::atomic<std::uint64_t> m_producedCount{0};  // acquired into the buffer
    std::uint64_t m_consumed = 0;
    std::uint64_t m_firstLost = 0;  // overflow: the first sample the program will never get
    std::uint64_t m_events = 0;     // every-N events delivered
    std::uint64_t m_reads = 0;
    std::uint64_t m_served = 0;
    std::uint64_t m_emptyReads = 0;
    std::uint64_t m_readErrors = 0;
    std::uint64_t m_overflows = 0;
    std::uint64_t m_lost = 0;
    std::vector<std::uint64_t> m_edges;  // rising edges per scan position among served samples
    std::vector<int> m_lastHigh;         // -1: no sample served yet
    std::uint64_t m_callbacks = 0;
    std::uint64_t m_callbackNonZero = 0;
    std::atomic<std::uint64_t> m_maxLateUs{0};  // callback start after its sample, worst
    std::atomic<std::uint64_t> m_late10ms{0};   // callbacks that started over 10 ms late
};

}  // namespace daqsim
