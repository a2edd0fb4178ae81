#include "sensors/sens_settings_dlg.h"

#include "platform/text.h"
#include "sensors/control_ids.h"
#include "sensors/layout.h"
#include "sensors/resource.h"
#include "sensors/sensor_texts.h"

namespace {

std::wstring Wide(const char* utf8) {
    return platform::Utf8ToWide(utf8);
}

// Height of a drop-down list with its list open, in rows of the closed list.
constexpr int kDropDownRows = 8;

bool IsComboBox(int id) {
    for (int i = 0; i < kInputCount; ++i) {
        if (id == control_ids::kPurpose[static_cast<size_t>(i)] || id == control_ids::SensorType(i))
            return true;
    }
    return false;
}

}  // namespace

SensSettings::SensSettings(SensSettingsValues values, ImmediateOptions options,
                           bool editSensitivities, OptionsChanged optionsChanged)
    : Dialog(IDD_SENS_SETTINGS),
      m_values(values),
      m_options(options),
      m_editSensitivities(editSensitivities),
      m_optionsChanged(std::move(optionsChanged)) {}

void SensSettings::LayOut() {
    SettingsMetrics metrics;
    metrics.captionHeight = ::GetSystemMetrics(SM_CYCAPTION);
    metrics.frameWidth = ::GetSystemMetrics(SM_CXFRAME);
    const SettingsLayout layout = ComputeSettingsLayout(metrics);
    for (const PlacedControl& c : layout.controls) {
        const int height = IsComboBox(c.id) ? c.box.height * kDropDownRows : c.box.height;
        MoveItem(c.id, c.box.x, c.box.y, c.box.width, height);
    }
    platform::SetClientSize(Handle(), layout.clientWidth, layout.clientHeight);
}

void SensSettings::ShowToggleLabels() {
    SetItemText(IDC_CALIBRATION_LABEL, Wide(CalibrationLabel(m_values.calibration != 0)));
    SetItemText(IDC_SLOPE_UNIT_LABEL, Wide(SlopeUnitLabel(m_values.slopeInDegrees != 0)));
    SetItemText(IDC_FILES_LABEL, Wide(FilesLabel(m_options.writeChannelFiles)));
    SetItemText(IDC_ESTIMATE_LABEL, Wide(EstimateLabel(m_options.estimateWayThreshold)));
    SetItemText(IDC_COMPENSATION_LABEL, Wide(CompensationLabel(m_options.laserCompensation)));
    SetItemText(IDC_RECOVERY_LABEL, Wide(RecoveryLabel(m_options.recoverDaq)));
}

void SensSettings::ShowPurpose(int input) {
    const int32_t purpose = m_values.purposes[static_cast<size_t>(input)];
    platform::ComboSetSelection(Item(control_ids::kPurpose[static_cast<size_t>(input)]),
                                IsKnownPurpose(purpose) ? purpose : -1);
}

bool SensSettings::OnInitDialog() {
    m_filling = true;
    SetTitle(Wide(sensor_text::kSettingsTitle));
    LayOut();
    ShowToggleLabels();
    for (int i = 0; i < kInputCount; ++i) {
        const size_t n = static_cast<size_t>(i);
        const int edit = control_ids::kSensitivity[n];
        SetItemInt(edit, m_values.sensitivities[n]);
        EnableItem(edit, m_editSensitivities);
        platform::SetChecked(Item(control_ids::kEnabled[n]), m_values.enabled[n] > 0);
        HWND list = Item(control_ids::kPurpose[n]);
        platform::ComboClear(list);
        for (int32_t p = 0; p < kPurposeCount; ++p)
            platform::ComboAdd(list, Wide(sensor_text::PurposeListItem(p)));
        ShowPurpose(i);
    }
    m_filling = false;
    return true;
}

bool SensSettings::OnCommand(int id, int code, HWND control) {
    if (m_filling)
        return false;
    const auto toggled = [&] {
        ShowToggleLabels();
        if (m_optionsChanged)
            m_optionsChanged(m_options);
    };
    if (code == BN_CLICKED) {
        switch (id) {
            case IDC_CALIBRATION_BUTTON:
                m_values.calibration = m_values.calibration != 0 ? 0 : 1;
                ShowToggleLabels();
                return true;
            case IDC_SLOPE_UNIT_BUTTON:
                m_values.slopeInDegrees = m_values.slopeInDegrees != 0 ? 0 : 1;
                ShowToggleLabels();
                return true;
            case IDC_FILES_BUTTON:
                m_options.writeChannelFiles = !m_options.writeChannelFiles;
                toggled();
                return true;
            case IDC_ESTIMATE_BUTTON:
                m_options.estimateWayThreshold = !m_options.estimateWayThreshold;
                toggled();
                return true;
            case IDC_COMPENSATION_BUTTON:
                m_options.laserCompensation = !m_options.laserCompensation;
                toggled();
                return true;
            case IDC_RECOVERY_BUTTON:
                m_options.recoverDaq = !m_options.recoverDaq;
                toggled();
                return true;
            default:
                break;
        }
    }
    for (int i = 0; i < kInputCount; ++i) {
        const size_t n = static_cast<size_t>(i);
        if (id == control_ids::kEnabled[n] && code == BN_CLICKED) {
            m_values.enabled[n] = platform::IsChecked(control) ? 1 : 0;
            return true;
        }
        if (id == control_ids::kSensitivity[n] && code == EN_CHANGE) {
            m_values.sensitivities[n] = LeadingInteger(platform::ToU16(ItemText(id)));
            return true;
        }
        if (id == control_ids::kPurpose[n] && code == CBN_SELCHANGE) {
            const int selected = platform::ComboSelection(control);
            if (selected < 0)
                return true;
            const int other = SelectPurpose(m_values, i, selected);
            if (other >= 0)
                ShowPurpose(other);
            return true;
        }
    }
    return false;
}
