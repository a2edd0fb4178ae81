#include "sim/nicaiu-stub/daq_task.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "sim/nicaiu-stub/daq_record.h"

namespace daqsim {
namespace {

// How long Stop waits before it notes that a callback is still running, and
// how long at most in all, ms. A program whose callback waits for an
// operator (a message box) must not hang its own shutdown on it: after the
// limit the stop returns, and the callback under way is the last one.
constexpr DWORD kStopNoteMs = 2000;
constexpr DWORD kStopLimitMs = 10000;

std::string DefaultReadErrorText(int32 status) {
    if (status == kErrSamplesNoLongerAvailable)
        return "Attempted to read samples that are no longer available. The requested sample "
               "was previously available, but has since been overwritten.\n\nIncreasing the "
               "buffer size or reading the data more frequently might correct the problem.\n\n"
               "Status Code: -200279";
    return "The stand-in driver failed this read as its scenario asked.\n\nStatus Code: " +
           std::to_string(status);
}

}  // namespace

Task::Task(uInt32 id, std::string name, const Scenario& scenario, RecordWriter& record)
    : m_id(id), m_name(std::move(name)), m_scenario(scenario), m_record(record) {
    ::InitializeCriticalSection(&m_readLock);
    m_produced.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
}

Task::~Task() {
    ::DeleteCriticalSection(&m_readLock);
}

bool Task::Start() {
    ::EnterCriticalSection(&m_readLock);
    m_producedCount = 0;
    m_consumed = 0;
    m_reads = m_served = m_emptyReads = m_readErrors = m_overflows = m_lost = 0;
    m_edges.assign(channels.size(), 0);
    m_lastHigh.assign(channels.size(), -1);
    m_callbacks = m_callbackNonZero = 0;
    m_maxLateUs = 0;
    m_late10ms = 0;
    ::LeaveCriticalSection(&m_readLock);
    m_stop = false;
    m_running = true;
    started = true;
    m_summaryWritten = false;
    m_thread.Reset(::CreateThread(nullptr, 0, &Task::DriverMain, this, CREATE_SUSPENDED, nullptr));
    if (!m_thread) {
        m_running = false;
        return false;
    }
    // Hardware pace: the driver thread must not starve behind the program's threads.
    ::SetThreadPriority(m_thread.Get(), THREAD_PRIORITY_TIME_CRITICAL);
    ::ResumeThread(m_thread.Get());
    return true;
}

void Task::Stop() {
    m_stop = true;
    if (m_thread && !OnDriverThread()) {
        if (::WaitForSingleObject(m_thread.Get(), kStopNoteMs) == WAIT_TIMEOUT) {
            m_record.Append("waiting\t" + std::to_string(UtcMicroseconds()) +
                            "\tthe driver thread is still in a callback\n");
            m_record.Flush();
            if (::WaitForSingleObject(m_thread.Get(), kStopLimitMs - kStopNoteMs) == WAIT_TIMEOUT)
                m_record.Append("waiting\t" + std::to_string(UtcMicroseconds()) +
                                "\tstopped without the callback that is still running\n");
        }
        m_thread.Reset();
    }
    m_running = false;
    WriteSummary();
}

DWORD WINAPI Task::DriverMain(void* self) {
    static_cast<Task*>(self)->Run();
    return 0;
}

void Task::Run() {
    m_driverThreadId = ::GetCurrentThreadId();
    LARGE_INTEGER frequency, start, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    const double ticksPerSample = static_cast<double>(frequency.QuadPart) / rate;
    const bool finite = sampleMode == kValFiniteSamps;
    const std::uint64_t doneAfter = m_scenario.done ? m_scenario.done->afterSamples : 0;
    std::uint64_t k = 0;
    while (!m_stop) {
        ::QueryPerformanceCounter(&now);
        const auto due = static_cast<std::uint64_t>(
            static_cast<double>(now.QuadPart - start.QuadPart) / ticksPerSample);
        while (k < due && !m_stop) {
            ++k;
            m_producedCount.store(k);
            ::SetEvent(m_produced.Get());
            if (everyN.callback && everyN.samples > 0 && k % everyN.samples == 0) {
                // How long after the sample was complete its callback starts.
                LARGE_INTEGER at;
                ::QueryPerformanceCounter(&at);
                const double lateUs =
                    (static_cast<double>(at.QuadPart - start.QuadPart) - k * ticksPerSample) * 1e6 /
                    static_cast<double>(frequency.QuadPart);
                const auto late = static_cast<std::uint64_t>(std::max(0.0, lateUs));
                if (late > m_maxLateUs.load())
                    m_maxLateUs = late;
                if (lateUs > 10000.0)
                    ++m_late10ms;
                const int32 r = everyN.callback(this, daqmx::Val_Acquired_Into_Buffer,
                                                everyN.samples, everyN.data);
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
            if (finite && k == samplesPerChannel) {
                FinishRun(0);
                return;
            }
            if (doneAfter != 0 && k == doneAfter) {
                FinishRun(m_scenario.done->status);
                return;
            }
        }
        // Sleep until the next sample is complete; a late wake-up is caught up above.
        ::QueryPerformanceCounter(&now);
        const double nextTick = static_cast<double>(start.QuadPart) + (k + 1) * ticksPerSample;
        const double remainingMs =
            (nextTick - static_cast<double>(now.QuadPart)) * 1000.0 / frequency.QuadPart;
        ::Sleep(remainingMs > 2.0 ? static_cast<DWORD>(remainingMs - 1.0) : 1);
    }
}

void Task::FinishRun(int32 status) {
    m_running = false;
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
    // More unread samples than the buffer holds: the buffer has overflowed and
    // every unread sample is gone. The program hears of it once, from this
    // read, and goes on with the samples that come next (a program reading one
    // sample a callback could never work off a full buffer).
    std::uint64_t available = m_producedCount.load() - m_consumed;
    if (available > m_scenario.bufferScans) {
        const std::uint64_t firstLost = m_consumed;
        m_consumed += available;
        m_lost += available;
        ++m_overflows;
        ++m_readErrors;
        char line[128];
        std::snprintf(line, sizeof line, "overflow\t%" PRIu64 "\t%" PRId64 "\tlost=%" PRIu64 "\n",
                      firstLost, UtcMicroseconds(), available);
        m_record.Append(line);
        result.status = kErrSamplesNoLongerAvailable;
        result.error = DefaultReadErrorText(kErrSamplesNoLongerAvailable);
        ::LeaveCriticalSection(&m_readLock);
        return result;
    }
    ::LeaveCriticalSection(&m_readLock);

    // Wait (outside the lock) until enough samples are there, as NI's read does.
    std::uint64_t want =
        samplesPerChannel == kValAuto ? 0 : static_cast<std::uint64_t>(samplesPerChannel);
    const ULONGLONG deadline =
        ::GetTickCount64() + static_cast<ULONGLONG>(std::max(0.0, timeoutS) * 1000.0);
    while (want > 0 && m_producedCount.load() - m_consumed < want) {
        const ULONGLONG nowMs = ::GetTickCount64();
        if (nowMs >= deadline || (!m_running && !OnDriverThread())) {
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
    available = m_producedCount.load() - m_consumed;
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
    char line[512];
    int n =
        std::snprintf(line, sizeof line,
                      "summary\ttask=%lu\tproduced=%" PRIu64 "\tserved=%" PRIu64 "\treads=%" PRIu64
                      "\tempty_reads=%" PRIu64 "\tread_errors=%" PRIu64 "\toverflows=%" PRIu64
                      "\tlost=%" PRIu64 "\tcallbacks=%" PRIu64 "\tcallback_nonzero=%" PRIu64
                      "\tmax_late_us=%" PRIu64 "\tlate_10ms=%" PRIu64,
                      static_cast<unsigned long>(m_id), m_producedCount.load(), m_served, m_reads,
                      m_emptyReads, m_readErrors, m_overflows, m_lost, m_callbacks,
                      m_callbackNonZero, m_maxLateUs.load(), m_late10ms.load());
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
