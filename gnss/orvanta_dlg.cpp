#include "gnss/orvanta_dlg.h"

#include "gnss/client_commands.h"
#include "gnss/clock_check.h"
#include "gnss/gnss_logs_format.h"
#include "gnss/gnss_texts.h"
#include "gnss/gps_record.h"
#include "gnss/resource.h"
#include "platform/clock.h"
#include "platform/notifier.h"
#include "platform/text.h"

namespace {

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    const size_t slash = folder.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash);
}

class AboutDlg : public platform::Dialog {
public:
    explicit AboutDlg(std::wstring version) : Dialog(IDD_ABOUTBOX), m_version(std::move(version)) {}

protected:
    bool OnInitDialog() override {
        SetItemText(IDC_ABOUT_VERSION, platform::Utf8ToWide(gnss_text::kAboutText) + m_version);
        return true;
    }

private:
    std::wstring m_version;
};

}  // namespace

COrvantaDlg::COrvantaDlg(XmlConfig* config, std::wstring version)
    : Dialog(IDD_ORVANTA_DIALOG),
      m_version(std::move(version)),
      m_settings(config),
      m_connection(m_state, m_mappings, m_logs, m_settings) {
    OnMessage(kReceiverLostMessage, [this](WPARAM, LPARAM) -> LRESULT {
        ReceiverLost();
        return 0;
    });
    OnMessage(kReceiverBackMessage, [this](WPARAM gapSeconds, LPARAM) -> LRESULT {
        ReceiverBack(static_cast<int>(gapSeconds));
        return 0;
    });
}

COrvantaDlg::~COrvantaDlg() {
    Shutdown();
}

bool COrvantaDlg::OnInitDialog() {
    // 1. System menu, icons, face-coloured buttons.
    AddAboutItem(platform::Utf8ToWide(gnss_text::kAboutMenu), IDM_ABOUTBOX);
    SetProgramIcons();
    for (const ControlLayout& control : ControlTable()) {
        if (control.id == kIdPortList)
            continue;
        platform::FaceButton button;
        if (button.Attach(Item(control.id)))
            m_buttons[control.id] = button;
    }
    // 2.-3. Not connected yet; layout and start values.
    m_state.With([](GnssState& s) {
        s.valid = 0;
        s.tripDistance = 0;
        s.totalDistance = 0;
    });
    m_programFolder = ProgramFolder();
    LayOutControls();
    platform::Clock& clock = platform::CurrentClock();
    m_lastTickUtc = clock.UtcNow();
    m_state.With([&](GnssState& s) { m_display = std::make_unique<DisplayModel>(clock, s); });
    Apply(m_display->StartTimeField());
    // 4. Stop event, cycle lock, overlapped event.
    m_connection.CreateEvents();
    // 5. Ports.
    HWND combo = Item(kIdPortList);
    platform::ComboClear(combo);
    for (int port : m_connection.EnumeratePorts()) {
        EnableItem(kIdPortList, true);
        platform::ComboAdd(combo, platform::Utf8ToWide(gnss_text::PortText(port)));
    }
    // 6. Shared blocks; their failures are reported, the service goes on.
    for (const std::string& message : m_mappings.Create())
        platform::ShowMessage(message, {}, platform::MessageIcon::None,
                              reinterpret_cast<std::uintptr_t>(Handle()));
    // 7.-8.
    ConnectReceiver();
    StartTimers();
    // 9. Font and title.
    m_font = platform::Font(platform::Utf8ToWide(kFontFace), kFontHeight, kFontWeight,
                            static_cast<BYTE>(kFontCharset));
    for (const ControlLayout& control : ControlTable())
        m_font.ApplyTo(Item(control.id));
    SetTitle(platform::Utf8ToWide(gnss_text::kTitle) + m_version);
    return true;
}

void COrvantaDlg::LayOutControls() {
    platform::PlaceWithClientSize(Handle(), kWindowX, kWindowY, kClientWidth, kClientHeight);
    KeepOnScreen(true, platform::ScreenArea::Primary);
    m_tips.Create(Handle());
    for (const ControlLayout& control : ControlTable()) {
        MoveItem(control.id, control.x, control.y, control.width, control.height);
        if (control.id == kIdPortList) {
            ShowItem(kIdPortList, false);
            continue;
        }
        SetField(control.id, control.caption != nullptr ? control.caption : "");
        if (control.colour != kNoColour)
            SetColour(control.id, control.colour);
        if (control.id == kIdInfo)
            m_tips.AddCallbackTool(control.id);
        else if (const char* tip = TooltipFor(control.id))
            m_tips.AddTool(control.id, platform::Utf8ToWide(tip));
    }
}

void COrvantaDlg::SetField(int id, const std::string& utf8) {
    auto it = m_buttons.find(id);
    if (it != m_buttons.end())
        it->second.SetText(platform::Utf8ToWide(utf8));
    else
        SetItemText(id, platform::Utf8ToWide(utf8));
}

void COrvantaDlg::SetColour(int id, Colour colour) {
    auto it = m_buttons.find(id);
    if (it != m_buttons.end())
        it->second.SetFaceColor(static_cast<COLORREF>(colour));
}

void COrvantaDlg::Apply(const FieldUpdate& update) {
    if (update.text)
        SetField(update.id, *update.text);
    if (update.colour)
        SetColour(update.id, *update.colour);
}

void COrvantaDlg::StartTimers() {
    SetTimer(kDisplayTimer, kDisplayPeriodMs);
    SetTimer(kPollTimer, kPollPeriodMs);
}

void COrvantaDlg::StopTimers() {
    KillTimer(kDisplayTimer);
    KillTimer(kPollTimer);
}

void COrvantaDlg::ConnectReceiver() {
    platform::Clock& clock = platform::CurrentClock();
    const int32_t port = m_connection.OpenReceiver();
    // The day log is named after the local date at start and keeps that name.
    m_logs.OpenDayAndEvent(m_programFolder, clock.LocalNow());
    const platform::CivilTime utc = clock.UtcNow();
    if (port != 0) {
        // OpenReceiver has set the UTC date stamp of the fix lines.
        m_state.With([](GnssState& s) { s.valid = 1; });
        SetField(kIdPortIndicator, gnss_text::PortText(port));
        SetField(kIdDate, FormatDateField(utc));
        if (m_connection.StartReader(Handle(), kReceiverLostMessage, kReceiverBackMessage))
            SetColour(kIdPortIndicator, kGreen);
        return;
    }
    m_state.With([](GnssState& s) {
        s.valid = 0;
        s.freshFix = -1;
    });
    platform::ShowMessage(gnss_text::kCannotConnect, {}, platform::MessageIcon::None,
                          reinterpret_cast<std::uintptr_t>(Handle()));
    SetField(kIdPortIndicator, gnss_text::kPortUnknown);
    SetColour(kIdPortIndicator, kRed);
    SetField(kIdSatellites, gnss_text::kNoSatellites);
    SetColour(kIdSatellites, kRed);
    SetField(kIdSpeed, gnss_text::kZeroSpeed);
    SetField(kIdAcceleration, gnss_text::kZeroAcceleration);
    SetField(kIdDate, FormatDateField(utc));
}

void COrvantaDlg::OnTimer(UINT_PTR id) {
    if (id == kDisplayTimer)
        DisplayStep();
    else if (id == kPollTimer)
        PollClients();
}

void COrvantaDlg::DisplayStep() {
    if (!m_display || m_state.Snapshot().valid == 0)
        return;
    m_lastTickUtc = platform::CurrentClock().UtcNow();
    const DisplayUpdate update = m_state.With([&](GnssState& s) { return m_display->Tick(s); });
    for (const FieldUpdate& field : update.fields)
        Apply(field);
    for (const std::string& line : update.eventLogLines)
        m_logs.WriteEvent(line);
}

void COrvantaDlg::PollClients() {
    if (m_state.Snapshot().valid == 0)
        return;
    PollClockRequest();
    PollRunLogCommand();
}

void COrvantaDlg::PollClockRequest() {
    bool requested = false;
    m_mappings.Sync().Update([&](std::string_view text) -> std::optional<std::string> {
        const SyncPollResult poll = PollSyncRequest(text);
        requested = poll.requested;
        if (poll.reply)
            return std::string(*poll.reply);
        return std::nullopt;
    });
    if (requested)
        m_state.With([](GnssState& s) { s.SyncState = kSyncRequested; });
}

void COrvantaDlg::PollRunLogCommand() {
    if (!m_mappings.LogFolder().HasView())
        return;
    bool save = false;
    {
        platform::SharedTextLock lock = m_mappings.LogFolder().Lock();
        if (!lock.Held())
            return;
        const RunLogCommand command = ParseRunLogCommand(lock.Read());
        const RunLogActions actions = m_connection.RunLog().Handle(command, m_lastTickUtc);
        if (actions.acknowledge)
            lock.Write(kCommandIdle);
        if (actions.closeRunLog)
            m_logs.CloseRun();
        if (actions.openPath)
            m_logs.OpenRun(*actions.openPath, actions.truncate);
        save = actions.saveStoredPath;
    }
    // The configuration file is written outside the mutex, which the reader
    // needs for every run-log line.
    if (save)
        m_settings.SaveRunLogPath(m_connection.RunLog().StoredPath());
}

bool COrvantaDlg::OnCommand(int id, int code, HWND control) {
    if (id == kIdTripReset && code == BN_CLICKED) {
        if (m_display)
            Apply(m_state.With([&](GnssState& s) { return m_display->ResetTrip(s); }));
        return true;
    }
    if (id == kIdPortIndicator && code == BN_CLICKED) {
        Rescan();
        return true;
    }
    if (id == kIdPortList && code == CBN_SELCHANGE) {
        PortChosen();
        return true;
    }
    return false;
}

void COrvantaDlg::Rescan() {
    StopTimers();
    m_connection.StopReader();
    m_connection.ClosePort();
    HWND combo = Item(kIdPortList);
    platform::ComboClear(combo);
    for (int port : m_connection.EnumeratePorts()) {
        EnableItem(kIdPortList, true);
        platform::ComboAdd(combo, platform::Utf8ToWide(gnss_text::PortText(port)));
    }
    if (!m_connection.PortList().empty()) {
        ShowItem(kIdPortIndicator, false);
        platform::ComboSetSelection(combo, -1);
        ShowItem(kIdPortList, true);
    }
    StartTimers();
}

void COrvantaDlg::PortChosen() {
    HWND combo = Item(kIdPortList);
    const int index = platform::ComboSelection(combo);
    const auto& ports = m_connection.PortList();
    if (index < 0 || index >= static_cast<int>(ports.size()))
        return;
    m_mappings.PublishRecord(FormatPortChangeRecord(m_state.Snapshot().fixTime));
    SetField(kIdSatellites, gnss_text::kNoSatellites);
    SetColour(kIdSatellites, kRed);
    for (int id : {kIdTrip, kIdTotal, kIdSpeed, kIdAcceleration})
        SetColour(id, kYellow);
    m_state.With([&](GnssState& s) { s.port = ports[static_cast<size_t>(index)]; });
    SetField(kIdPortIndicator, platform::WideToUtf8(platform::ComboItemText(combo, index)));
    ShowItem(kIdPortList, false);
    ShowItem(kIdPortIndicator, true);
    SetColour(kIdPortIndicator, kRed);
    const int32_t port = m_connection.OpenReceiver();
    m_state.With([&](GnssState& s) { s.valid = port != 0 ? 1 : 0; });
    if (port == 0)
        return;
    m_connection.StartReader(Handle(), kReceiverLostMessage, kReceiverBackMessage);
    SetColour(kIdPortIndicator, kGreen);
    SetField(kIdPortIndicator, gnss_text::PortText(port));
}

void COrvantaDlg::ReceiverLost() {
    SetColour(kIdPortIndicator, kRed);
    SetColour(kIdSatellites, kRed);
    SetField(kIdSatellites, gnss_text::kNoSatellites);
    // With the recovery option the loss and the return are logged, so the
    // office sees every gap.
    if (m_state.Snapshot().recoverReceiver)
        m_logs.WriteEvent(
            FormatReceiverEventLine(platform::CurrentClock().UtcNow(), gnss_text::kReceiverLost));
}

void COrvantaDlg::ReceiverBack(int gapSeconds) {
    // A rescan stopped the reader after it had posted this: the operator's
    // choice stands.
    if (!m_connection.ReaderRunning())
        return;
    const platform::CivilTime utc = platform::CurrentClock().UtcNow();
    const int32_t port = m_state.Snapshot().port;
    SetField(kIdPortIndicator, gnss_text::PortText(port));
    SetColour(kIdPortIndicator, kGreen);
    SetField(kIdDate, FormatDateField(utc));
    m_logs.WriteEvent(FormatReceiverEventLine(utc, gnss_text::ReceiverBackText(port, gapSeconds)));
}

void COrvantaDlg::OnAbout() {
    AboutDlg about(m_version);
    about.DoModal(Handle());
}

std::wstring COrvantaDlg::OnToolTipText(int controlId) {
    if (controlId == kIdInfo)
        return m_display ? platform::Utf8ToWide(m_display->InfoMessage()) : std::wstring();
    const char* tip = TooltipFor(controlId);
    return tip != nullptr ? platform::Utf8ToWide(tip) : std::wstring();
}

void COrvantaDlg::OnDestroy() {
    Shutdown();
}

void COrvantaDlg::Shutdown() {
    if (m_shutDown)
        return;
    m_shutDown = true;
    // The reverse of the initialisation: timers; what connecting acquired
    // (reader, port, logs); the shared blocks; the events the reader used.
    if (Handle() != nullptr)
        StopTimers();
    m_connection.StopReader();
    m_connection.ClosePort();
    m_logs.CloseAll();
    m_mappings.Close();
    m_connection.CloseEvents();
    m_display.reset();
    m_tips.Destroy();
}
