#include "sensors/tessarin_dlg.h"

#include <cstdio>

#include "platform/clock.h"
#include "platform/text.h"
#include "sensors/control_ids.h"
#include "sensors/layout.h"
#include "sensors/resource.h"
#include "sensors/sens_settings_dlg.h"
#include "sensors/sensor_texts.h"
#include "sensors/settings_icon.h"
#include "sensors/settings_model.h"

namespace {

using namespace control_ids;

// The window's place on the screen at start (outer top-left corner).
constexpr int kWindowX = 500;
constexpr int kWindowY = 300;

// Font of the row texts, the distance and the speed.
constexpr const char* kBoldFontFace = "MS SansSerif";
constexpr int kBoldFontHeight = -12;
constexpr int kBoldFontWeight = 600;
constexpr BYTE kCyrillicCharset = 204;

std::wstring Wide(const std::string& utf8) {
    return platform::Utf8ToWide(utf8);
}

class AboutDlg : public platform::Dialog {
public:
    explicit AboutDlg(std::wstring version) : Dialog(IDD_ABOUTBOX), m_version(std::move(version)) {}

protected:
    bool OnInitDialog() override {
        SetItemText(IDC_ABOUT_VERSION, platform::Utf8ToWide(sensor_text::kAboutText) + m_version);
        return true;
    }

private:
    std::wstring m_version;
};

}  // namespace

CTessarinDlg::CTessarinDlg(XmlConfig* config, std::wstring version, std::u16string commandLine)
    : Dialog(IDD_TESSARIN_DIALOG),
      m_version(std::move(version)),
      m_commandLine(std::move(commandLine)),
      m_store(config),
      m_daq(m_daqmx, m_hub) {}

CTessarinDlg::~CTessarinDlg() {
    CloseSources();
    if (m_settingsIcon != nullptr)
        ::DestroyIcon(m_settingsIcon);
}

void CTessarinDlg::Show(const char* utf8, platform::MessageIcon icon) {
    platform::ShowMessage(utf8, {}, icon, reinterpret_cast<std::uintptr_t>(Handle()));
}

bool CTessarinDlg::OnInitDialog() {
    // 1.-3. System menu, icons, fonts, start texts, title.
    SetUpControls();
    // 4. Nothing open yet.
    m_mode = SourceMode::None;
    m_config.setup.calibration.calibrationMode = false;
    m_config.setup.calibration.slopeInDegrees = false;
    // 5. The devices and the shared blocks.
    const int32_t status = OpenSources();
    if (status != 0) {
        Show(sensor_text::kCannotConnectDaq);
        EndService();
        return true;
    }
    if (m_mode == SourceMode::None) {
        EndService();
        return true;
    }
    // 6. Configuration, layout, fresh references.
    LoadSensorConfig();
    ArrangeRows();
    m_hub.ResetReferences();
    // 7.
    CheckSupplyVoltage();
    // 8. The display starts.
    m_display = SensorDisplayModel(SensorDisplayModel::kDefaultPeriodMs);
    m_display.TakeSnapshot(m_hub.Counts(), m_config.setup.roles.way);
    SetTimer(kDisplayTimer, static_cast<UINT>(m_display.PeriodMs()));
    m_snapshotCount = 0;
    return true;
}

void CTessarinDlg::SetUpControls() {
    AddAboutItem(platform::Utf8ToWide(sensor_text::kAboutMenu), IDM_ABOUTBOX);
    SetProgramIcons();
    m_boldFont = platform::Font(platform::Utf8ToWide(kBoldFontFace), kBoldFontHeight,
                                kBoldFontWeight, kCyrillicCharset);
    for (int i = 0; i < kInputCount; ++i) {
        m_indicators[static_cast<size_t>(i)].Attach(Item(Indicator(i)));
        for (int id : {Counter(i), Voltage(i), Value(i)})
            m_boldFont.ApplyTo(Item(id));
        SetItemText(Counter(i), Wide(kZeroCounterText));
        SetItemText(Voltage(i), Wide(kZeroValueText));
        SetItemText(Value(i), Wide(kZeroValueText));
    }
    for (int id : {IDC_DISTANCE, IDC_SPEED}) {
        m_boldFont.ApplyTo(Item(id));
        SetItemText(id, Wide(kZeroValueText));
    }
    SetItemText(IDC_SNAPSHOT, Wide(sensor_text::kSnapshotCaption));
    m_settingsIcon = CreateSettingsIcon(32);
    if (m_settingsIcon != nullptr)
        platform::ButtonSetIcon(Item(IDC_SETTINGS), m_settingsIcon);
    SetTitle(platform::Utf8ToWide(sensor_text::kTitle) + m_version);
    ShowLabels();
    ArrangeRows();
    KeepOnScreen(true, platform::ScreenArea::Primary);
}

void CTessarinDlg::ShowLabels() {
    for (int i = 0; i < kInputCount; ++i)
        m_indicators[static_cast<size_t>(i)].SetText(Wide(m_config.labels[static_cast<size_t>(i)]));
}

void CTessarinDlg::ArrangeRows() {
    std::array<bool, kInputCount> enabled{};
    for (size_t i = 0; i < kInputCount; ++i)
        enabled[i] = m_config.setup.channels[i].enabled;
    const MainLayout layout = ComputeMainLayout(enabled);
    const auto move = [this](int id, const PixelBox& b) {
        MoveItem(id, b.x, b.y, b.width, b.height);
    };
    for (int i = 0; i < kInputCount; ++i) {
        const MainRowLayout& row = layout.rows[static_cast<size_t>(i)];
        for (int id : {Indicator(i), Counter(i), Voltage(i), Value(i)})
            ShowItem(id, row.shown);
        if (!row.shown)
            continue;
        move(Indicator(i), row.indicator);
        move(Counter(i), row.counter);
        move(Voltage(i), row.voltage);
        move(Value(i), row.value);
    }
    move(IDC_SNAPSHOT, layout.snapshot);
    move(IDC_DISTANCE, layout.distance);
    move(IDC_SPEED, layout.speed);
    move(IDC_SETTINGS, layout.settings);
    RECT window{};
    ::GetWindowRect(Handle(), &window);
    const bool placed = window.left != 0 || window.top != 0;
    platform::PlaceWithClientSize(Handle(), placed ? window.left : kWindowX,
                                  placed ? window.top : kWindowY, layout.clientWidth,
                                  layout.clientHeight);
    ::InvalidateRect(Handle(), nullptr, TRUE);
}

void CTessarinDlg::ApplyEnabledStates() {
    for (int i = 0; i < kInputCount; ++i) {
        const bool enabled = m_config.setup.channels[static_cast<size_t>(i)].enabled;
        for (int id : {Counter(i), Voltage(i), Value(i)})
            EnableItem(id, enabled);
        if (!enabled)
            m_indicators[static_cast<size_t>(i)].SetFaceColor(kGrey);
    }
    ArrangeRows();
}

void CTessarinDlg::OnTimer(UINT_PTR id) {
    if (id == kDisplayTimer) {
        if (m_mode == SourceMode::None)
            return;
        RefreshDisplay();
        CheckRecording();
        if (m_mode == SourceMode::SerialOdometer)
            PollOdometer();
    } else if (id == kPollTimer && m_mode == SourceMode::SerialOdometer) {
        PollOdometer();
    }
}

void CTessarinDlg::RefreshDisplay() {
    DisplaySettings settings;
    settings.setup = m_config.setup;
    settings.pathPerPulse = m_config.pathPerPulse;
    settings.supplyMinV = m_config.supplyMinV;
    settings.supplyMaxV = m_config.supplyMaxV;
    settings.deviceLost = m_daq.State() == DaqState::Lost;
    const DisplayTick tick = m_display.Tick(m_hub.Readings(), settings);
    for (int i = 0; i < kInputCount; ++i) {
        const RowUpdate& row = tick.rows[static_cast<size_t>(i)];
        if (!row.refreshed)
            continue;
        SetItemText(Counter(i), Wide(row.counter));
        SetItemText(Voltage(i), Wide(row.voltage));
        if (row.value)
            SetItemText(Value(i), Wide(*row.value));
        if (row.colour)
            m_indicators[static_cast<size_t>(i)].SetFaceColor(static_cast<COLORREF>(*row.colour));
    }
    if (tick.distance)
        SetItemText(IDC_DISTANCE, Wide(*tick.distance));
    if (tick.speed)
        SetItemText(IDC_SPEED, Wide(*tick.speed));
}

bool CTessarinDlg::OnCommand(int id, int code, HWND control) {
    if (code != BN_CLICKED)
        return false;
    if (id == IDC_SETTINGS) {
        OpenSettings();
        return true;
    }
    if (id == IDC_SNAPSHOT) {
        TakeSnapshot();
        return true;
    }
    return false;
}

void CTessarinDlg::OpenSettings() {
    // No settings while a recording runs.
    if (m_recording.Writing())
        return;
    ImmediateOptions options;
    options.writeChannelFiles = m_config.options.writeChannelFiles;
    options.estimateWayThreshold = m_config.options.estimateWayThreshold;
    options.laserCompensation = m_config.setup.calibration.laserCompensation;
    options.recoverDaq = m_config.options.recoverDaq;
    SensSettings dialog(InitialSettingsValues(m_config), options, m_config.commandLine.empty,
                        [this](const ImmediateOptions& changed) {
                            m_config.options.writeChannelFiles = changed.writeChannelFiles;
                            m_config.options.estimateWayThreshold = changed.estimateWayThreshold;
                            m_config.setup.calibration.laserCompensation =
                                changed.laserCompensation;
                            m_config.options.recoverDaq = changed.recoverDaq;
                            m_daq.SetRecovery(changed.recoverDaq);
                            m_hub.SetSetup(m_config.setup);
                        });
    // The window may have been closed meanwhile (WM_CLOSE from outside).
    if (dialog.DoModal(Handle()) != IDOK || m_closed)
        return;
    // The timers ran while the dialog was open: a recording may have started,
    // and its files and "session.ini" follow the assignment it started with.
    if (m_recording.Writing()) {
        Show(sensor_text::kSettingsNotApplied);
        return;
    }
    ApplySettings(dialog.Values(), m_config);
    if (m_config.setup.calibration.calibrationMode)
        m_calibration.Create();
    m_hub.SetSetup(m_config.setup);
    ShowLabels();
    ApplyEnabledStates();
}

void CTessarinDlg::TakeSnapshot() {
    ++m_snapshotCount;
    char caption[64];
    std::snprintf(caption, sizeof caption, sensor_text::kSnapshotFormat, m_snapshotCount);
    SetItemText(IDC_SNAPSHOT, Wide(caption));
    const DisplayReadings readings = m_hub.Readings();
    AppendSnapshot(
        FormatSnapshotLine(m_config.setup, readings.voltages, platform::CurrentClock().UtcNow()));
}

void CTessarinDlg::OnAbout() {
    AboutDlg about(m_version);
    about.DoModal(Handle());
}

void CTessarinDlg::EndService() {
    CloseSources();
    EndDialog(IDCANCEL);
}

void CTessarinDlg::OnDestroy() {
    CloseSources();
}
