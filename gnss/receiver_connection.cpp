#include "gnss/receiver_connection.h"

#include <algorithm>

#include "gnss/clock_check.h"
#include "gnss/gnss_texts.h"
#include "gnss/gps_mappings.h"
#include "gnss/receiver_watch.h"
#include "platform/clock.h"
#include "platform/notifier.h"

ReceiverConnection::ReceiverConnection(GnssStateBox& state, GpsMappings& mappings,
                                       GnssLogFiles& logs, ReceiverSettings& settings)
    : m_state(state), m_mappings(mappings), m_logs(logs), m_settings(settings) {}

ReceiverConnection::~ReceiverConnection() {
    StopReader();
}

bool ReceiverConnection::CreateEvents() {
    m_stopEvent.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_cycleLock.Reset(::CreateSemaphoreW(nullptr, 1, 1, nullptr));
    return m_stopEvent.Valid() && m_cycleLock.Valid() && m_port.HasEvent();
}

void ReceiverConnection::CloseEvents() {
    m_port.CloseEvent();
    m_stopEvent.Reset();
    m_cycleLock.Reset();
}

const std::vector<int>& ReceiverConnection::EnumeratePorts() {
    m_portList.clear();
    for (int n = 1; n <= kHighestPort; ++n) {
        if (platform::SerialPort::Exists(n))
            m_portList.push_back(n);
    }
    return m_portList;
}

int32_t ReceiverConnection::Probe() {
    const int32_t found = ProbePort(m_state, m_port);
    if (found != 0) {
        const GnssState s = m_state.Snapshot();
        m_settings.SaveProbe(s.port, s.serialSpeed, s.latitude, s.longitude);
    }
    return found;
}

int32_t ReceiverConnection::OpenReceiver() {
    if (!m_configured) {
        m_configured = true;
        ReceiverConfig config;
        m_settings.Load(config);
        m_state.With([&](GnssState& s) {
            s.port = config.port;
            s.serialSpeed = config.speed;
            s.latitude = config.latitude;
            s.longitude = config.longitude;
            s.gnTalkerGga = config.gnTalkerGga;
            s.recoverReceiver = config.recoverReceiver;
        });
        m_runLog = RunLogController(config.runLogPath);
    }
    // The search works on a copy; each probe hands port and speed to the
    // shared state and takes back what the probe found.
    GnssState work = m_state.Snapshot();
    const std::vector<int32_t> ports(m_portList.begin(), m_portList.end());
    const PortProbe probe = [this](GnssState& s) {
        m_state.With([&](GnssState& t) {
            t.port = s.port;
            t.serialSpeed = s.serialSpeed;
        });
        if (Probe() == 0)
            return false;
        s = m_state.Snapshot();
        return true;
    };
    const PortSearchResult result = SearchReceiver(work, ports, probe, platform::CurrentClock());
    m_state.With([&](GnssState& t) {
        t.port = work.port;
        t.serialSpeed = work.serialSpeed;
    });
    if (result.closePort)
        m_port.Close();
    const int32_t found = result.port;
    if (found == 0)
        return 0;
    // Fix lines carry the UTC date of the fix, whichever way the receiver got
    // connected (at start, or from the port list after a rescan); before it
    // the stamp may still hold the local start date.
    const platform::CivilTime utc = platform::CurrentClock().UtcNow();
    m_state.With([&](GnssState& s) { FormatDateStamp(s.dateStamp, utc); });
    if (!m_runLog.StoredPath().empty() && m_mappings.LogFolder().HasView())
        m_mappings.LogFolder().Write(kContinueRunLog);
    return found;
}

bool ReceiverConnection::StartReader(HWND window, UINT lostMessage, UINT backMessage) {
    if (m_thread.Valid()) {
        // A reader that ended by itself (receiver lost) is forgotten here, so
        // that a new connection gets a reader again.
        if (::WaitForSingleObject(m_thread.Get(), 0) != WAIT_OBJECT_0)
            return true;
        m_thread.Reset();
    }
    m_context.state = &m_state;
    m_context.port = &m_port;
    m_context.stopEvent = m_stopEvent.Get();
    m_context.cycleLock = m_cycleLock.Get();
    m_context.mappings = &m_mappings;
    m_context.logs = &m_logs;
    m_context.window = window;
    m_context.lostMessage = lostMessage;
    m_context.backMessage = backMessage;
    m_thread.Reset(::CreateThread(nullptr, 0, &ReaderThread, &m_context, 0, nullptr));
    if (!m_thread.Valid()) {
        platform::ShowMessage(gnss_text::kCannotCreateThread);
        return false;
    }
    return true;
}

void ReceiverConnection::StopReader() {
    if (!m_thread.Valid())
        return;
    // The reader holds the lock for one cycle (at most one 5 s event wait).
    ::WaitForSingleObject(m_cycleLock.Get(), INFINITE);
    ::SetEvent(m_stopEvent.Get());
    ::ReleaseSemaphore(m_cycleLock.Get(), 1, nullptr);
    ::WaitForSingleObject(m_thread.Get(), INFINITE);
    m_thread.Reset();
    ::ResetEvent(m_stopEvent.Get());
}
