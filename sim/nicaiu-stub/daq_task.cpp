#include "sim/nicaiu-stub/daq_task.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "platform/thread_name.h"
#include "sim/nicaiu-stub/daq_record.h"
#include "sim/nicaiu-stub/driver_state.h"

namespace daqsim {
namespace {

// How long Stop waits before it notes that a callback is still running, and
// how long at most in all, ms. A program whose callback waits for an
// operator (a message box) must not hang its own shutdown on it: after the
// limit the stop returns, and the callback under way is the last one.
constexpr DWORD kStopNoteMs = 2000;
constexpr DWORD kStopLimitMs = 10000;
// The clock thread runs no program code: it ends within a tick, ms.
constexpr DWORD kClockJoinMs = 2000;
// The event thread's longest sleep when the clock does not wake it, ms.
constexpr DWORD kEventIdleMs = 5;

// NI's text for -200279 under its default read mode (unread samples are not
// overwritten: the acquisition stops when the buffer is full).
const char kNotKeepingUpText[] =
    "The application is not able to keep up with the hardware acquisition.\n\n"
    "Increasing the buffer size, reading the data more frequently, or specifying a fixed "
    "number of samples to read instead of reading all available samples might correct the "
    "problem.\n\nStatus Code: -200279";

std::string DefaultReadErrorText(int32 status) {
    if (status == kErrNotKeepingUp)
        return kNotKeepingUpText;
    if (status == kErrTransferAborted)
        return "No transfer is in progress because the transfer was aborted by the client. The "
               "operation could not be completed as specified.\n\nStatus Code: -50405";
    if (status == kErrDevCannotBeAccessed)
        return kDeviceGoneText;
    return "The stand-in driver failed this read as its scenario asked.\n\nStatus Code: " +
           std::to_string(status);
}

bool Alive(const platform::UniqueHandle& thread) {
    return thread && ::WaitForSingleObject(thread.Get(), 0) == WAIT_TIMEOUT &&
           ::GetThreadId(thread.Get()) != ::GetCurrentThreadId();
}

}  // namespace

Task::Task(uInt32 id, std::string name, const Scenario& scenario, RecordWriter& record)
    : m_id(id), m_name(std::move(name)), m_scenario(scenario), m_record(record) {
    ::InitializeCriticalSection(&m_readLock);
    m_produced.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    m_wake.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    ::QueryPerformanceFrequency(&m_frequency);
}

Task::~Task() {
    ::DeleteCriticalSection(&m_readLock);
}

bool Task::Start() {
    JoinThreads();
    const bool finite = sampleMode == kValFiniteSamps;
    ::EnterCriticalSection(&m_readLock);
    m_producedCount = 0;
    m_consumed = m_firstLost = m_events = 0;
    m_reads = m_served = m_emptyReads = m_readErrors = m_overflows = m_lost = 0;
    m_edges.assign(channels.size(), 0);
    m_lastHigh.assign(channels.size(), -1);
    m_callbacks = m_callbackNonZero = 0;
    m_maxLateUs = 0;
    m_late10ms = 0;
    m_bufferScans = m_scenario.bufferScans != 0 ? m_scenario.bufferScans
                                                : InputBufferScans(rate, samplesPerChannel, finite);
    ::LeaveCriticalSection(&m_readLock);
    m_ticksPerSample = static_cast<double>(m_frequency.QuadPart) / rate;
    m_stop = false;
    m_endStatus = 0;
    m_overflowed = false;
    m_unplugged = false;
    m_acquiring = true;
    m_running = true;
    started = true;
    m_summaryWritten = false;

    DWORD eventThreadId = 0;
    m_eventThread.Reset(
        ::CreateThread(nullptr, 0, &Task::EventMain, this, CREATE_SUSPENDED, &eventThreadId));
    m_clockThread.Reset(
        ::CreateThread(nullptr, 0, &Task::ClockMain, this, CREATE_SUSPENDED, nullptr));
    if (!m_eventThread || !m_clockThread) {
        m_stop = true;
        for (platform::UniqueHandle* t : {&m_eventThread, &m_clockThread}) {
            if (*t) {
                ::ResumeThread(t->Get());
                ::WaitForSingleObject(t->Get(), INFINITE);
                t->Reset();
            }
        }
        m_acquiring = m_running = false;
        return false;
    }
    m_eventThreadId = eventThreadId;
    // Hardware pace: the clock must not starve behind the program's threads;
    // the callbacks run just below it, as a driver's event thread does.
    ::SetThreadPriority(m_clockThread.Get(), THREAD_PRIORITY_TIME_CRITICAL);
    ::SetThreadPriority(m_eventThread.Get(), THREAD_PRIORITY_HIGHEST);
    ::QueryPerformanceCounter(&m_clockStart);
    char line[160];
    std::snprintf(line, sizeof line, "start\t%" PRId64 "\ttask=%lu\trate=%s\tbuffer=%" PRIu64 "\n",
                  UtcMicroseconds(), static_cast<unsigned long>(m_id), FormatDouble(rate).c_str(),
                  m_bufferScans);
    m_record.Append(line);
    ::ResumeThread(m_clockThread.Get());
    ::ResumeThread(m_eventThread.Get());
    return true;
}

void Task::JoinThreads() {
    if (m_clockThread) {
        ::WaitForSingleObject(m_clockThread.Get(), kClockJoinMs);
        m_clockThread.Reset();
    }
    if (!m_eventThread)
        return;
    if (OnCallbackThread()) {
        // Called from a callback: the thread ends once that returns.
        m_lingering.push_back(std::move(m_eventThread));
        return;
    }
    if (::WaitForSingleObject(m_eventThread.Get(), kStopNoteMs) == WAIT_TIMEOUT) {
        m_record.Append("waiting\t" + std::to_string(UtcMicroseconds()) +
                        "\tthe driver thread is still in a callback\n");
        m_record.Flush();
        if (::WaitForSingleObject(m_eventThread.Get(), kStopLimitMs - kStopNoteMs) ==
            WAIT_TIMEOUT) {
            m_record.Append("waiting\t" + std::to_string(UtcMicroseconds()) +
                            "\tstopped without the callback that is still running\n");
            m_lingering.push_back(std::move(m_eventThread));
            return;
        }
    }
    m_eventThread.Reset();
}

void Task::Stop() {
    m_stop = true;
    ::SetEvent(m_wake.Get());
    ::SetEvent(m_produced.Get());
    JoinThreads();
    m_acquiring = false;
    m_running = false;
    WriteSummary();
}

std::vector<HANDLE> Task::LiveThreads() const {
    std::vector<HANDLE> live;
    if (Alive(m_clockThread))
        live.push_back(m_clockThread.Get());
    if (Alive(m_eventThread))
        live.push_back(m_eventThread.Get());
    for (const auto& t : m_lingering)
        if (Alive(t))
            live.push_back(t.Get());
    return live;
}

DWORD WINAPI Task::ClockMain(void* self) {
    platform::NameThisThread(L"daq clock");
    static_cast<Task*>(self)->RunClock();
    NoteThreadEnd();
    return 0;
}

DWORD WINAPI Task::EventMain(void* self) {
    platform::NameThisThread(L"daq callbacks");
    static_cast<Task*>(self)->RunEvents();
    NoteThreadEnd();
    return 0;
}

std::uint64_t Task::ClockCount() const {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<std::uint64_t>(static_cast<double>(now.QuadPart - m_clockStart.QuadPart) /
                                      m_ticksPerSample);
}

void Task::RunClock() {
    // The acquisition ends by itself after the finite count or the scenario's done.
    std::uint64_t last = 0;
    int32 endStatus = 0;
    if (sampleMode == kValFiniteSamps)
        last = samplesPerChannel;
    if (m_scenario.done && (last == 0 || m_scenario.done->afterSamples < last)) {
        last = m_scenario.done->afterSamples;
        endStatus = m_scenario.done->status;
    }
    while (!m_stop && !m_unplugged) {
        if (Unloading())
            Park();
        std::uint64_t due = ClockCount();
        const bool complete = last != 0 && due >= last;
        if (complete)
            due = last;
        ::EnterCriticalSection(&m_readLock);
        if (due - m_consumed > m_bufferScans) {
            // The buffer is full and the next sample finds no place: the
            // acquisition stops there, and the unread samples will never be
            // read (NI's default: unread samples are not overwritten).
            const std::uint64_t full = m_consumed + m_bufferScans;
            m_producedCount = full;
            m_firstLost = m_consumed;
            ++m_overflows;
            char line[160];
            std::snprintf(line, sizeof line,
                          "overflow\t%" PRIu64 "\t%" PRId64 "\tlost=%" PRIu64 "\tbuffer=%" PRIu64
                          "\n",
                          m_consumed, UtcMicroseconds(), due - m_consumed, m_bufferScans);
            m_record.Append(line);
            ::LeaveCriticalSection(&m_readLock);
            m_overflowed = true;
            EndAcquisition(kErrNotKeepingUp);
            return;
        }
        m_producedCount = due;
        ::LeaveCriticalSection(&m_readLock);
        ::SetEvent(m_produced.Get());
        ::SetEvent(m_wake.Get());
        if (complete) {
            EndAcquisition(endStatus);
            return;
        }
        ::Sleep(1);  // the driver's 1 ms clock; a late wake-up is caught up by the count
    }
}

void Task::EndAcquisition(int32 status) {
    m_endStatus = status;
    m_acquiring = false;  // after the last count and the status: the event thread reads them after
    m_running = false;
    ::SetEvent(m_produced.Get());
    ::SetEvent(m_wake.Get());
}

void Task::RunEvents() {
    const uInt32 n = everyN.callback ? everyN.samples : 0;
    while (!m_stop) {
        if (Unloading())
            Park();
        // A device pulled out sends nothing more, not even the done event.
        if (m_unplugged.load())
            return;
        const bool ended = !m_acquiring.load();
        const int32 status = m_endStatus.load();
        if (ended && m_overflowed) {
            // The overflow stopped the acquisition: the events still queued
            // are dropped with the samples that nobody will read.
            DeliverDone(status);
            return;
        }
        while (n != 0 && !m_stop && !Unloading() && (m_events + 1) * n <= m_producedCount.load()) {
            if ((m_overflowed && !m_acquiring.load()) || m_unplugged.load())
                break;
            const std::uint64_t k = (m_events + 1) * n;
            // How long after its sample was complete the callback starts.
            LARGE_INTEGER at;
            ::QueryPerformanceCounter(&at);
            const double lateUs =
                (static_cast<double>(at.QuadPart - m_clockStart.QuadPart) - k * m_ticksPerSample) *
                1e6 / static_cast<double>(m_frequency.QuadPart);
            const auto late = static_cast<std::uint64_t>(std::max(0.0, lateUs));
            if (late > m_maxLateUs.load())
                m_maxLateUs = late;
            if (lateUs > 10000.0)
                ++m_late10ms;
            const int32 r =
                everyN.callback(this, daqmx::Val_Acquired_Into_Buffer, everyN.samples, everyN.data);
            ++m_events;
            ++m_callbacks;
            if (r != 0) {
                ++m_callbackNonZero;
                char line[96];
                std::snprintf(line, sizeof line,
                              "callback\t%" PRIu64 "\t%" PRId64 "\treturned=%ld\n", k,
                              UtcMicroseconds(), static_cast<long>(r));
                m_record.Append(line);
            }
        }
        if (ended && !m_overflowed && !m_stop && !Unloading()) {
            DeliverDone(status);  // every event of the acquisition was delivered
            return;
        }
        ::WaitForSingleObject(m_wake.Get(), kEventIdleMs);
    }
}

void Task::DeliverDone(int32 status) {
    char line[128];
    std::snprintf(line, sizeof line, "done\t%" PRId64 "\t%ld\tsamples=%" PRIu64 "\n",
                  UtcMicroseconds(), static_cast<long>(status), m_producedCount.load());
    m_record.Append(line);
    if (done.callback)
        done.callback(this, status, done.data);
}

ReadResult Task::Read(int32 samplesPerChannel, float64 timeoutS, bool32 fillMode, float64* array,
                      uInt32 arraySize) {
    ReadResult result;
    const size_t width = channels.size();
    ::EnterCriticalSection(&m_readLock);
    const std::uint64_t readNumber = ++m_reads;
    const Unplug* unplug = m_scenario.unplug ? &*m_scenario.unplug : nullptr;
    if (unplug != nullptr && (m_unplugged.load() || (readNumber == unplug->read && TakeUnplug()))) {
        ++m_readErrors;
        result.status = unplug->status;
        result.error = unplug->text.empty() ? DefaultReadErrorText(unplug->status) : unplug->text;
        result.scheduled = true;
        const bool first = !m_unplugged.exchange(true);
        ::LeaveCriticalSection(&m_readLock);
        if (first) {
            EndAcquisition(unplug->status);
            UnplugDevice(*unplug);
        }
        return result;
    }
    if (const ReadError* e = m_scenario.ReadErrorAt(readNumber)) {
        ++m_readErrors;
        result.status = e->status;
        result.error = e->text.empty() ? DefaultReadErrorText(e->status) : e->text;
        result.scheduled = true;
        ::LeaveCriticalSection(&m_readLock);
        return result;
    }
    if (m_scenario.EmptyReadAt(readNumber)) {
        ++m_emptyReads;
        result.scheduled = true;
        ::LeaveCriticalSection(&m_readLock);
        return result;
    }
    ::LeaveCriticalSection(&m_readLock);

    // Wait (outside the lock) until enough samples are there, as NI's read
    // does, unless the acquisition has ended: an overflow fails every read
    // from then on until the task is stopped.
    std::uint64_t want =
        samplesPerChannel == kValAuto ? 0 : static_cast<std::uint64_t>(samplesPerChannel);
    const ULONGLONG deadline =
        ::GetTickCount64() + static_cast<ULONGLONG>(std::max(0.0, timeoutS) * 1000.0);
    while (true) {
        const bool ended = !m_acquiring.load();
        if (ended && m_overflowed) {
            ::EnterCriticalSection(&m_readLock);
            ++m_readErrors;
            ::LeaveCriticalSection(&m_readLock);
            result.status = kErrNotKeepingUp;
            result.error = kNotKeepingUpText;
            return result;
        }
        if (want == 0 || m_producedCount.load() - m_consumed >= want)
            break;
        const ULONGLONG nowMs = ::GetTickCount64();
        if (nowMs >= deadline || ended || m_stop.load()) {
            result.status = kErrSamplesNotYetAvailable;
            result.error =
                "Some or all of the samples requested have not yet been acquired.\n\n"
                "Status Code: -200284";
            return result;
        }
        ::WaitForSingleObject(m_produced.Get(),
                              static_cast<DWORD>(std::min<ULONGLONG>(deadline - nowMs, 100)));
    }

    ::EnterCriticalSection(&m_readLock);
    const std::uint64_t available = m_producedCount.load() - m_consumed;
    std::uint64_t n = want == 0 ? available : want;
    n = std::min<std::uint64_t>(n, width ? arraySize / width : 0);
    const std::int64_t utc = UtcMicroseconds();
    // The samples are served whether or not a record is kept; the record
    // then gets one line per sample, read back from the array.
    auto at = [&](std::uint64_t s, size_t c) {
        return fillMode == kValGroupByChannel ? c * n + s : s * width + c;
    };
    for (std::uint64_t s = 0; s < n; ++s) {
        const std::uint64_t index = m_consumed + s;
        for (size_t c = 0; c < width; ++c) {
            const ChannelSpec& wave = m_scenario.channels[static_cast<size_t>(channels[c])];
            array[at(s, c)] = SampleValue(wave, channels[c], index, rate, m_scenario.seed);
            if (wave.kind == WaveKind::Square) {
                const int high = SquareHigh(wave, index, rate) ? 1 : 0;
                if (m_lastHigh[c] == 0 && high == 1)
                    ++m_edges[c];
                m_lastHigh[c] = high;
            }
        }
    }
    m_record.AppendWith([&](std::string& buffer) {
        double values[kMaxChannels];
        for (std::uint64_t s = 0; s < n; ++s) {
            for (size_t c = 0; c < width; ++c)
                values[c] = array[at(s, c)];
            AppendSampleLine(buffer, m_consumed + s, utc, values, static_cast<int>(width));
        }
    });
    m_consumed += n;
    m_served += n;
    ::LeaveCriticalSection(&m_readLock);
    result.read = static_cast<int32>(n);
    return result;
}

void Task::WriteSummary() {
    if (m_summaryWritten)
        return;
    m_summaryWritten = true;
    ::EnterCriticalSection(&m_readLock);
    // Lost: from the first sample an overflow took to where the clock was
    // when the task stopped (the acquisition does not go on after it).
    if (m_overflows != 0)
        m_lost = std::max(ClockCount(), m_producedCount.load()) - m_firstLost;
    char line[512];
    int n =
        std::snprintf(line, sizeof line,
                      "summary\ttask=%lu\tproduced=%" PRIu64 "\tserved=%" PRIu64 "\treads=%" PRIu64
                      "\tempty_reads=%" PRIu64 "\tread_errors=%" PRIu64 "\toverflows=%" PRIu64
                      "\tlost=%" PRIu64 "\tcallbacks=%" PRIu64 "\tcallback_nonzero=%" PRIu64
                      "\tmax_late_us=%" PRIu64 "\tlate_10ms=%" PRIu64 "\tbuffer=%" PRIu64,
                      static_cast<unsigned long>(m_id), m_producedCount.load(), m_served, m_reads,
                      m_emptyReads, m_readErrors, m_overflows, m_lost, m_callbacks,
                      m_callbackNonZero, m_maxLateUs.load(), m_late10ms.load(), m_bufferScans);
    std::string text(line, static_cast<size_t>(n));
    for (size_t c = 0; c < channels.size(); ++c) {
        if (m_scenario.channels[static_cast<size_t>(channels[c])].kind == WaveKind::Square)
            text += "\tedges_ai" + std::to_string(channels[c]) + "=" + std::to_string(m_edges[c]);
    }
    ::LeaveCriticalSection(&m_readLock);
    m_record.Append(text + "\n");
    m_record.Flush();
}

}  // namespace daqsim
