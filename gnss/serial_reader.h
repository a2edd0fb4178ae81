// The two readers of the receiver's port: the probe that decides whether an
// NMEA receiver with a position is attached, and the reader thread that runs
// while the receiver is connected.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "gnss/gnss_state.h"
#include "platform/serial_port.h"

class GpsMappings;
class GnssLogFiles;

// Serial settings of both readers.
namespace serial_limits {
inline constexpr DWORD kQueueBytes = 600;         // driver queues, in and out
inline constexpr size_t kChunkBytes = 600;        // at most this much per read
inline constexpr DWORD kProbeEventWaitMs = 1100;  // a silent port fails the probe
inline constexpr int kProbeIterations = 1000;
inline constexpr DWORD kReaderEventWaitMs = 5000;  // silence that loses the receiver
inline constexpr DWORD kReadWaitMs = 1000;         // a read of queued bytes completes at once
// With the recovery option a lost receiver's port is reopened this often
// (ms); a reopened port silent for as long is reopened again.
inline constexpr DWORD kRecoveryIntervalMs = 2000;
}  // namespace serial_limits

// Opens "\\.\COM<state.port>" at state.serialSpeed and waits for a "$GPGGA"
// sentence with a position. Returns the port number and leaves the port open
// and configured on success; closes it and returns 0 otherwise.
int32_t ProbePort(GnssStateBox& state, platform::SerialPort& port);

// Everything the reader thread works with; owned by the main dialog, which
// outlives the thread.
struct ReaderContext {
    GnssStateBox* state = nullptr;
    platform::SerialPort* port = nullptr;
    HANDLE stopEvent = nullptr;  // manual-reset; asks the reader to end
    HANDLE cycleLock = nullptr;  // semaphore (1, 1) held for one read cycle
    GpsMappings* mappings = nullptr;
    GnssLogFiles* logs = nullptr;
    // Posted to the window when the receiver fell silent, so that the
    // indicators are painted on the window's own thread.
    HWND window = nullptr;
    UINT lostMessage = 0;
    // Posted when a lost receiver talks again (recovery option); WPARAM: the
    // seconds without data.
    UINT backMessage = 0;
};

// Thread procedure; the argument is a ReaderContext*. Exit code 0. Ends when
// the stop event is set, or when the receiver is lost (5 s without data, or
// its port closed): then valid is 0, the record reads "0\n", the window gets
// the lost message and the operator the message, once. With the recovery
// option the thread goes on after a loss: it reopens the same port at the
// same speed every 2 s until a GGA with a position arrives, then reads on as
// after a connection (valid 1, today's UTC date stamp, the back message),
// that fix included.
DWORD WINAPI ReaderThread(void* context);

// Appends an accepted fix to the day log and, under the log-folder mutex, to
// the run log; nothing while a clock check is pending.
void WriteFixLog(const GnssState& state, std::string_view sentence, GpsMappings& mappings,
                 GnssLogFiles& logs);
