#include "gnss/serial_reader.h"

#include <algorithm>
#include <memory>

#include "gnss/clock_check.h"
#include "gnss/gnss_log_files.h"
#include "gnss/gnss_logs_format.h"
#include "gnss/gnss_texts.h"
#include "gnss/gps_mappings.h"
#include "gnss/gps_record.h"
#include "gnss/nmea_framer.h"
#include "gnss/nmea_parser.h"
#include "gnss/receiver_watch.h"
#include "platform/clock.h"
#include "platform/notifier.h"
#include "platform/thread_name.h"

namespace {

// A driver that ends comm-event waits at once with an error would make the
// reader spin; it pauses this long (ms) between such failed waits.
constexpr DWORD kFailedWaitPauseMs = 10;

// Reads what the driver holds (at most one chunk) into the framer.
int ReadQueued(platform::SerialPort& port, NmeaFramer& framer, char* chunk) {
    const DWORD queued = port.QueuedInput();
    if (queued == 0)
        return 0;
    const size_t want = std::min<size_t>(queued, serial_limits::kChunkBytes);
    const int got = port.Read(chunk, want, serial_limits::kReadWaitMs);
    if (got > 0) {
        chunk[got] = '\0';
        framer.Append(std::string_view(chunk, static_cast<size_t>(got)));
    }
    return got;
}

// The receiver is gone: the record turns into "0\n" at once, before the
// operator has answered the message; the window paints its indicators red
// on its own thread. A reader that goes on to recover must not wait for the
// operator, so its box is detached.
void ReportReceiverLost(ReaderContext& ctx, bool recovering) {
    ctx.state->With([](GnssState& s) { s.valid = 0; });
    ctx.mappings->PublishRecord(kReceiverLostRecord);
    if (ctx.window != nullptr)
        ::PostMessageW(ctx.window, ctx.lostMessage, 0, 0);
    if (recovering)
        platform::ShowMessageDetached(gnss_text::kReceiverLost);
    else
        platform::ShowMessage(gnss_text::kReceiverLost, {}, platform::MessageIcon::None,
                              reinterpret_cast<std::uintptr_t>(ctx.window));
}

// Steps 1-5 of opening a port: open, queues, speed and 8N1, events,
// time-outs. False (port closed) when it cannot be opened or set up.
bool OpenConfigured(platform::SerialPort& port, int32_t portNumber, int32_t speed) {
    port.Close();
    if (!port.Open(portNumber))
        return false;
    port.Purge();
    port.SetQueueSizes(serial_limits::kQueueBytes, serial_limits::kQueueBytes);
    if (!port.Configure8N1(static_cast<DWORD>(speed))) {
        port.Close();
        return false;
    }
    port.SetEventMask(EV_RXCHAR);
    port.SetTimeouts(0, 0, 0);
    return true;
}

// Reopens the lost receiver's port, the same port at the same speed, at
// most every kRecoveryIntervalMs (`nextAttempt`, ms). Waits on the stop event
// between attempts, holding no cycle lock, so a stopper gets in at once.
// False when the stop event ended the attempts.
bool ReopenPort(ReaderContext& ctx, platform::Clock& clock, uint64_t& nextAttempt) {
    const auto [portNumber, speed] = ctx.state->With([](GnssState& s) {
        return std::pair{s.port, s.serialSpeed};
    });
    for (;;) {
        const uint64_t now = clock.TickMs();
        const DWORD pause = nextAttempt > now ? static_cast<DWORD>(nextAttempt - now) : 0;
        if (::WaitForSingleObject(ctx.stopEvent, pause) == WAIT_OBJECT_0)
            return false;
        nextAttempt = clock.TickMs() + serial_limits::kRecoveryIntervalMs;
        if (OpenConfigured(*ctx.port, portNumber, speed))
            return true;
    }
}

}  // namespace

int32_t ProbePort(GnssStateBox& box, platform::SerialPort& port) {
    const auto [portNumber, speed] = box.With([](GnssState& s) {
        return std::pair{s.port, s.serialSpeed};
    });
    if (!OpenConfigured(port, portNumber, speed))
        return 0;

    // 24 KB of accumulator per probe: on the heap, freed on every way out.
    auto framer = std::make_unique<NmeaFramer>();
    char chunk[serial_limits::kChunkBytes + 1];
    port.Purge();

    for (int i = 0; i < serial_limits::kProbeIterations; ++i) {
        DWORD mask = 0;
        const auto r = port.WaitEvent(serial_limits::kProbeEventWaitMs, mask);
        if (r == platform::SerialPort::WaitResult::Timeout)
            break;
        if (r != platform::SerialPort::WaitResult::Event || (mask & EV_RXCHAR) == 0) {
            if (!port.IsOpen())
                break;
            continue;
        }
        ReadQueued(port, *framer, chunk);
        while (auto line = framer->NextLine()) {
            const bool found = box.With([&](GnssState& s) { return ProbeLine(*line, s); });
            if (found)
                return portNumber;
        }
    }
    port.Close();
    return 0;
}

void WriteFixLog(const GnssState& state, std::string_view sentence, GpsMappings& mappings,
                 GnssLogFiles& logs) {
    if (state.SyncState < 0)
        return;
    char line[kFixLineBuffer];
    const size_t n = FormatFixLogLine(sentence, state.stepDistance,
                                      std::string_view(state.dateStamp, 6), line, sizeof line);
    if (n == 0)
        return;
    const std::string_view text(line, n);
    logs.WriteDay(text);
    // The run-log stream is opened and closed by the window's thread under
    // the same mutex.
    platform::SharedTextLock lock = mappings.LogFolder().Lock();
    if (lock.Held())
        logs.WriteRun(text);
}

DWORD WINAPI ReaderThread(void* argument) {
    platform::NameThisThread(L"receiver reader");
    ReaderContext& ctx = *static_cast<ReaderContext*>(argument);
    platform::SerialPort& port = *ctx.port;
    // One accumulator per process, as the reader runs once at a time.
    static NmeaFramer framer;
    static char chunk[serial_limits::kChunkBytes + 1];
    static char record[kGpsRecordMappingSize];

    port.Purge();
    ::WaitForSingleObject(ctx.cycleLock, INFINITE);
    platform::Clock& clock = platform::CurrentClock();
    ReceiverWatch watch;
    watch.Start(clock.TickMs());
    // Recovery option: after a loss the port is reopened until a receiver
    // with a position talks again; meanwhile valid stays 0 and the record
    // "0\n", and a reopened port that stays silent for one attempt's
    // interval is reopened again.
    bool recovering = false;
    uint64_t nextAttempt = 0;  // ms, the next reopening
    uint64_t lostSince = 0;    // ms, the receiver's last bytes before the loss

    while (::WaitForSingleObject(ctx.stopEvent, 0) != WAIT_OBJECT_0) {
        // A port closed under the reader (a driver that would not give back
        // a cancelled wait) loses the receiver as surely as silence does.
        bool lost = !port.IsOpen() || watch.Lost(clock.TickMs());
        if (!lost) {
            DWORD mask = 0;
            const auto r = port.WaitEvent(watch.WaitMs(clock.TickMs()), mask);
            if (r == platform::SerialPort::WaitResult::Event) {
                if ((mask & EV_RXCHAR) != 0 && ReadQueued(port, framer, chunk) > 0)
                    watch.NoteData(clock.TickMs());
            } else if (r == platform::SerialPort::WaitResult::Failed) {
                ::Sleep(kFailedWaitPauseMs);
            }
            lost = watch.Lost(clock.TickMs());
        }
        if (lost) {
            ::ReleaseSemaphore(ctx.cycleLock, 1, nullptr);
            if (!recovering) {
                recovering = ctx.backMessage != 0 && ctx.state->Snapshot().recoverReceiver;
                ReportReceiverLost(ctx, recovering);
                if (!recovering)
                    return 0;
                lostSince = watch.LastData();
                nextAttempt = clock.TickMs();
            }
            if (!ReopenPort(ctx, clock, nextAttempt)) {
                ::ResetEvent(ctx.stopEvent);
                return 0;
            }
            framer.Clear();  // a line cut by the loss would join the new stream
            watch = ReceiverWatch(serial_limits::kRecoveryIntervalMs);
            watch.Start(clock.TickMs());
            ::WaitForSingleObject(ctx.cycleLock, INFINITE);
            continue;
        }

        while (auto line = framer.NextLine()) {
            GnssState logged;
            std::string_view logLine;
            bool back = false;
            ctx.state->With([&](GnssState& s) {
                if (recovering) {
                    // Back on the first sentence that would pass the probe,
                    // as after a connection: valid 1 and today's UTC date
                    // stamp, before that fix is logged.
                    GnssState trial = s;
                    back = ProbeLine(*line, trial);
                    if (back) {
                        s.valid = 1;
                        FormatDateStamp(s.dateStamp, clock.UtcNow());
                    }
                }
                const LineResult result = ProcessLine(*line, s);
                if (!result.logLine.empty()) {
                    logLine = result.logLine;
                    logged = s;
                }
            });
            if (back) {
                recovering = false;
                watch = ReceiverWatch();
                watch.Start(clock.TickMs());
                const uint64_t gapMs = clock.TickMs() - lostSince;
                if (ctx.window != nullptr)
                    ::PostMessageW(ctx.window, ctx.backMessage,
                                   static_cast<WPARAM>((gapMs + 500) / 1000), 0);
            }
            if (!logLine.empty())
                WriteFixLog(logged, logLine, *ctx.mappings, *ctx.logs);
        }

        // While the receiver is being recovered the record stays "0\n".
        if (!recovering) {
            const size_t n = ctx.state->With(
                [&](GnssState& s) { return FormatGpsRecord(s, record, sizeof record); });
            ctx.mappings->PublishRecord(std::string_view(record, n));
        }

        // Let a waiting stopper in between two cycles.
        ::ReleaseSemaphore(ctx.cycleLock, 1, nullptr);
        ::WaitForSingleObject(ctx.cycleLock, INFINITE);
    }
    ::ReleaseSemaphore(ctx.cycleLock, 1, nullptr);
    ::ResetEvent(ctx.stopEvent);
    return 0;
}
