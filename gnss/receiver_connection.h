// Which COM port and speed the service reads, and the reader thread's start
// and stop: port enumeration, the probe order with its time limits, and the
// Win32 objects of a connection (port, stop event, cycle lock, thread).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "gnss/client_commands.h"
#include "gnss/gnss_state.h"
#include "gnss/serial_reader.h"
#include "platform/handles.h"
#include "gnss/receiver_config.h"
#include "platform/serial_port.h"

class GpsMappings;
class GnssLogFiles;

// Where the receiver's options are kept. The service reads them once and
// writes port, speed and position back after every successful probe, and the
// run-log path after every start or stop command.
class ReceiverSettings {
public:
    virtual ~ReceiverSettings() = default;
    // Overwrites the fields of `config` that the store holds usable values for.
    virtual void Load(ReceiverConfig& config) = 0;
    virtual void SaveProbe(int32_t port, int32_t speed, double latitude, double longitude) = 0;
    virtual void SaveRunLogPath(const std::string& ansiPath) = 0;
};

// Ports tried by the enumeration: COM1 to COM255.
inline constexpr int kHighestPort = 255;

class ReceiverConnection {
public:
    ReceiverConnection(GnssStateBox& state, GpsMappings& mappings, GnssLogFiles& logs,
                       ReceiverSettings& settings);
    ~ReceiverConnection();
    ReceiverConnection(const ReceiverConnection&) = delete;
    ReceiverConnection& operator=(const ReceiverConnection&) = delete;

    // The stop event (manual-reset) and the cycle lock (semaphore 1 of 1).
    bool CreateEvents();
    // Closes the port's overlapped event and the stop event (shutdown).
    void CloseEvents();

    // Refills the port list with the ports that can be opened now, ascending.
    const std::vector<int>& EnumeratePorts();
    const std::vector<int>& PortList() const { return m_portList; }

    // Finds the receiver: the configured port at its speed, then at every
    // speed, then every port at every speed, within the time limits. The
    // first call reads the configuration. On success the fix lines' date
    // stamp becomes today's UTC date. Returns the port or 0.
    int32_t OpenReceiver();

    // Starts the reader thread unless one runs; shows the operator message
    // and returns false when the thread cannot be created. `backMessage` is
    // posted when a lost receiver came back by itself (recovery option).
    bool StartReader(HWND window, UINT lostMessage, UINT backMessage);
    // Waits for the current read cycle, asks the reader to end and joins it;
    // a reader that is reopening a lost receiver's port ends within one
    // event wait.
    void StopReader();
    bool ReaderRunning() const { return m_thread.Valid(); }

    // Purges the queues and closes the port.
    void ClosePort() { m_port.Close(); }

    RunLogController& RunLog() { return m_runLog; }
    bool Configured() const { return m_configured; }

private:
    int32_t Probe();

    GnssStateBox& m_state;
    GpsMappings& m_mappings;
    GnssLogFiles& m_logs;
    ReceiverSettings& m_settings;
    platform::SerialPort m_port;
    platform::UniqueHandle m_stopEvent;
    platform::UniqueHandle m_cycleLock;
    platform::UniqueHandle m_thread;
    ReaderContext m_context;
    std::vector<int> m_portList;
    RunLogController m_runLog;
    bool m_configured = false;
};
