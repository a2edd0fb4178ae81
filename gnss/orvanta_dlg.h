// The GNSS service's only window: a fixed panel of face-coloured buttons
// showing port, satellites, paths, speed, acceleration, times and the clock
// state. It owns the receiver state, the shared blocks, the logs and the
// connection, acquires them in its initialisation and releases them in
// reverse order when it closes.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "gnss/display_model.h"
#include "gnss/gnss_log_files.h"
#include "gnss/gnss_state.h"
#include "gnss/gps_mappings.h"
#include "gnss/receiver_connection.h"
#include "gnss/receiver_settings_xml.h"
#include "platform/dialog/dialog.h"

class XmlConfig;

class COrvantaDlg : public platform::Dialog {
public:
    // Posted by the reader thread when the receiver fell silent.
    static constexpr UINT kReceiverLostMessage = WM_APP + 1;
    // Posted by the reader thread when a lost receiver talks again
    // (recovery option); WPARAM: seconds without data.
    static constexpr UINT kReceiverBackMessage = WM_APP + 2;
    static constexpr UINT_PTR kDisplayTimer = 103;  // every 1000 ms
    static constexpr UINT_PTR kPollTimer = 104;     // every 100 ms
    static constexpr UINT kDisplayPeriodMs = 1000;
    static constexpr UINT kPollPeriodMs = 100;

    // `config`: the program's configuration store (not owned, may be null);
    // `version`: the version text shown in the title and the about box.
    COrvantaDlg(XmlConfig* config, std::wstring version);
    ~COrvantaDlg() override;

protected:
    bool OnInitDialog() override;
    void OnTimer(UINT_PTR id) override;
    bool OnCommand(int id, int code, HWND control) override;
    void OnOk() override {}
    void OnDestroy() override;
    void OnAbout() override;
    std::wstring OnToolTipText(int controlId) override;

private:
    void LayOutControls();
    void ConnectReceiver();
    void DisplayStep();
    void PollClients();
    void PollClockRequest();
    void PollRunLogCommand();
    void Rescan();
    void PortChosen();
    void ReceiverLost();
    void ReceiverBack(int gapSeconds);
    void Shutdown();

    void SetField(int id, const std::string& utf8);
    void SetColour(int id, Colour colour);
    void Apply(const FieldUpdate& update);
    void StartTimers();
    void StopTimers();

    std::wstring m_version;
    std::wstring m_programFolder;
    GnssStateBox m_state;
    GpsMappings m_mappings;
    GnssLogFiles m_logs;
    XmlReceiverSettings m_settings;
    ReceiverConnection m_connection;
    std::unique_ptr<DisplayModel> m_display;
    std::map<int, platform::FaceButton> m_buttons;
    platform::ToolTips m_tips;
    platform::Font m_font;
    // UTC time read by the latest one-second tick: names new run logs.
    platform::CivilTime m_lastTickUtc;
    bool m_shutDown = false;
};
