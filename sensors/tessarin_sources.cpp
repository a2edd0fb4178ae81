// CTessarinDlg: opening and closing the sources, the configuration, the
// start-up checks, the recorder's requests and the serial odometer poll.
#include <windows.h>

#include <cstdio>
#include <optional>

#include "sensors/device_discovery.h"
#include "sensors/resource.h"
#include "sensors/sensor_texts.h"
#include "sensors/startup_checks.h"
#include "sensors/tessarin_dlg.h"

namespace {

void PauseMs(int milliseconds) {
    ::Sleep(static_cast<DWORD>(milliseconds));
}

}  // namespace

bool CTessarinDlg::OpenDaq(int32_t& status) {
    status = 0;
    if (!FindDaqDevice())
        return false;
    // Without NI's driver the device cannot be used: the operator is told,
    // and the serial odometer is tried as without a device.
    if (!m_daqmx.Load()) {
        Show(sensor_text::kCannotLoadDaqDriver);
        return false;
    }
    m_daq.SetOwnerWindow(reinterpret_cast<std::uintptr_t>(Handle()));
    status = m_daq.Start();
    return status == 0;
}

int32_t CTessarinDlg::OpenSources() {
    int32_t status = 0;
    if (OpenDaq(status))
        m_mode = SourceMode::Daq;
    if (m_mode == SourceMode::None && m_odometer.Open()) {
        m_mode = SourceMode::SerialOdometer;
        SetTimer(kPollTimer, kPollPeriodMs);
    }
    if (m_mode == SourceMode::None) {
        Show(sensor_text::kCannotFindDaq);
        return -1;
    }
    if (!CreateMappings())
        return -1;
    return status;
}

bool CTessarinDlg::CreateMappings() {
    const SensorMappings::CreateResult created = m_mappings.Create();
    for (const std::string& message : created.messages)
        Show(message.c_str());
    if (m_mappings.Data().HasView())
        m_hub.AttachDataBlock(&m_mappings.Data());
    return !created.failed;
}

void CTessarinDlg::LoadSensorConfig() {
    m_hub.ResetCounters();
    m_config.commandLine = ParseSensorCommandLine(m_commandLine);
    ::LoadSensorConfig(&m_store, m_config);
    m_configLoaded = true;
    m_hub.SetSetup(m_config.setup);
    m_daq.SetRecovery(m_config.options.recoverDaq, FindDaqDevice);
    ShowLabels();
    if (m_config.options.estimateWayThreshold && m_mode == SourceMode::Daq)
        EstimateWayThreshold();
}

void CTessarinDlg::EstimateWayThreshold() {
    const int32_t way = m_config.setup.roles.way;
    if (!IsInput(way))
        return;
    const size_t n = static_cast<size_t>(way);
    const int32_t mv =
        ::EstimateWayThreshold([this, n] { return m_hub.Readings().values[n]; }, PauseMs);
    m_config.setup.channels[n].sensitivityMv = mv;
    m_hub.SetSetup(m_config.setup);
    char text[160];
    std::snprintf(text, sizeof text, sensor_text::kWayThresholdFormat, mv);
    Show(text);
    StoreWayThreshold(&m_store, m_config, mv);
}

void CTessarinDlg::CheckSupplyVoltage() {
    const int32_t supply = m_config.setup.roles.voltage1;
    if (m_mode != SourceMode::Daq || !IsInput(supply))
        return;
    const size_t n = static_cast<size_t>(supply);
    if (!::CheckSupplyVoltage([this, n] { return m_hub.Readings().voltages[n]; }, PauseMs))
        Show(sensor_text::kBadSupplyVoltage, platform::MessageIcon::Error);
}

void CTessarinDlg::CheckRecording() {
    std::string text;
    if (m_mappings.ReadFilesWriteState(text))
        m_request = ParseFilesWriteState(text);
    switch (m_recording.Follow(m_request.record)) {
        case RecordingStep::Start:
            StartRecording();
            break;
        case RecordingStep::Stop:
            StopRecording();
            break;
        case RecordingStep::None:
            break;
    }
    // At most a second of samples waits in the buffers.
    if (m_recording.Writing() && m_hub.FlushFiles())
        ReportFileFailure();
}

void CTessarinDlg::ReportFileFailure() {
    if (m_fileFailureShown)
        return;
    m_fileFailureShown = true;
    // The driver thread goes on writing what it can; the window goes on too.
    platform::ShowMessageDetached(sensor_text::kCannotWriteChannelFiles, {},
                                  platform::MessageIcon::Error);
}

void CTessarinDlg::StartRecording() {
    EnableItem(IDC_SETTINGS, false);
    m_fileFailureShown = false;
    const bool entered = !m_request.folder.empty() && EnterRecordingFolder(m_request.folder);
    m_recording.SetEnteredFolder(entered);
    ChannelFileSet files;
    if (m_config.options.writeChannelFiles)
        files = ChannelFileSet::Open(m_config.setup);
    m_hub.StartWriting(std::move(files));
    WriteSessionFile(m_config.setup);
}

void CTessarinDlg::StopRecording() {
    ChannelFileSet files = m_hub.StopWriting();
    EnableItem(IDC_SETTINGS, true);
    if (!files.CloseAll())
        ReportFileFailure();
    // Back to the folder's parent, only when the start went into the folder.
    if (m_recording.EnteredFolder())
        LeaveRecordingFolder();
    m_recording.SetEnteredFolder(false);
}

void CTessarinDlg::PollOdometer() {
    uint8_t bytes[OdometerPort::kReadSize];
    const int n = m_odometer.Read(bytes, sizeof bytes);
    if (n > 0)
        m_hub.OnSerialBytes(bytes, static_cast<size_t>(n));
    m_hub.PublishSerialLine();
}

void CTessarinDlg::CloseSources() {
    if (m_closed)
        return;
    m_closed = true;
    // 1. No more ticks or polls.
    KillTimer(kDisplayTimer);
    KillTimer(kPollTimer);
    // 2. The acquisition stops first: once Stop returns no callback publishes
    // or writes any more, so the blocks and files can go.
    if (!m_daq.Stop())
        EndWithAcquisitionRunning();
    m_hub.AttachDataBlock(nullptr);
    // 3. "-1" into the data block, then both blocks.
    m_mappings.Close();
    // 4. The calibration file.
    m_calibration.Close();
    // 5. The serial port and its library (NI's stays loaded, see DaqmxLibrary).
    m_odometer.Close();
    m_odometer.ReleaseLibrary();
    // 6. The configuration, with every channel file closed.
    SaveSensorConfig();
}

void CTessarinDlg::EndWithAcquisitionRunning() {
    // A callback may still run, or the driver thread waits on a read-error
    // box: the hub, the open files, the data block and the acquisition stay
    // as they are. The files are closed only when no callback holds them.
    if (std::optional<ChannelFileSet> files = m_hub.TryStopWriting())
        files->CloseAll();
    m_mappings.WriteClosedText();
    m_calibration.Close();
    m_odometer.Close();
    if (m_configLoaded)
        ::SaveSensorConfig(&m_store, m_config);
    // Nothing may be destroyed under the callback, and no library may be
    // detached under a thread stopped anywhere: the process ends here.
    ::TerminateProcess(::GetCurrentProcess(), 0);
}

void CTessarinDlg::SaveSensorConfig() {
    ChannelFileSet files = m_hub.StopWriting();
    files.CloseAll();
    if (m_configLoaded)
        ::SaveSensorConfig(&m_store, m_config);
}
