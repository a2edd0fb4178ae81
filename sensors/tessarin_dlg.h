// The sensor service's only window. It starts the acquisition (the data
// acquisition device, or the serial odometer without one), shows one row per
// enabled input with colour-coded state and the odometer's distance and
// speed, checks the recorder's requests every second, and offers the
// settings dialog and the snapshot command. Everything it acquires at start
// it releases in CloseSources, in an order that lets no sample be processed
// once the shared blocks go.
#pragma once

#include <array>
#include <string>

#include "platform/dialog/dialog.h"
#include "platform/notifier.h"
#include "sensors/config_store_xml.h"
#include "sensors/daq_acquisition.h"
#include "sensors/daqmx_library.h"
#include "sensors/display_model.h"
#include "sensors/odometer_port.h"
#include "sensors/recording_control.h"
#include "sensors/recording_files.h"
#include "sensors/sensor_config.h"
#include "sensors/sensor_hub.h"
#include "sensors/sensor_mappings.h"

class XmlConfig;

class CTessarinDlg : public platform::Dialog {
public:
    static constexpr UINT_PTR kDisplayTimer = 1049;  // display tick and recording check
    static constexpr UINT_PTR kPollTimer = 1050;     // serial odometer poll
    static constexpr UINT kPollPeriodMs = 5;

    // `config`: the program's configuration store (not owned, may be null);
    // `version`: the version text of the title and the about box;
    // `commandLine`: the program's arguments.
    CTessarinDlg(XmlConfig* config, std::wstring version, std::u16string commandLine);
    ~CTessarinDlg() override;

    SourceMode Mode() const { return m_mode; }

protected:
    bool OnInitDialog() override;
    void OnTimer(UINT_PTR id) override;
    bool OnCommand(int id, int code, HWND control) override;
    void OnOk() override {}
    void OnCancel() override { EndService(); }
    void OnClose() override { EndService(); }
    void OnDestroy() override;
    void OnAbout() override;

private:
    // Start-up and shutdown (tessarin_sources.cpp).
    int32_t OpenSources();
    bool OpenDaq(int32_t& status);
    bool CreateMappings();
    void LoadSensorConfig();
    void EstimateWayThreshold();
    void CheckSupplyVoltage();
    void CloseSources();
    [[noreturn]] void EndWithAcquisitionRunning();
    void SaveSensorConfig();
    // The recorder's requests, once a second.
    void CheckRecording();
    void StartRecording();
    void StopRecording();
    // A channel file write failed: told once per recording.
    void ReportFileFailure();
    void PollOdometer();

    // Window (tessarin_dlg.cpp).
    void SetUpControls();
    void ShowLabels();
    void ArrangeRows();
    void ApplyEnabledStates();
    void RefreshDisplay();
    void OpenSettings();
    void TakeSnapshot();
    void EndService();
    void Show(const char* utf8, platform::MessageIcon icon = platform::MessageIcon::None);

    std::wstring m_version;
    std::u16string m_commandLine;
    XmlConfigStore m_store;
    SensorConfig m_config;  // the window thread's copy; the hub has the sample path's
    SensorHub m_hub;
    DaqmxLibrary m_daqmx;
    DaqAcquisition m_daq;
    OdometerPort m_odometer;
    SensorMappings m_mappings;
    CalibrationFile m_calibration;
    SensorDisplayModel m_display;
    RecordingState m_recording;
    FilesWriteRequest m_request;  // the recorder's last request that could be read
    SourceMode m_mode = SourceMode::None;
    int m_snapshotCount = 0;
    // The configuration was read at start: only then is it written back, so
    // that a start that failed (no device) never overwrites the stored
    // channel assignment with the defaults.
    bool m_configLoaded = false;
    bool m_fileFailureShown = false;  // this recording's file failure was shown

    std::array<platform::FaceButton, kInputCount> m_indicators;
    platform::Font m_boldFont;
    HICON m_settingsIcon = nullptr;
    bool m_closed = false;
};
