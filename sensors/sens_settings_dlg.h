// The modal settings dialog "Настройки АЦП": it moves the settings values
// between SensSettingsValues and its controls. Four options act at once,
// through the owner's callback, whether the dialog is confirmed or not.
#pragma once

#include <functional>

#include "platform/dialog/dialog.h"
#include "sensors/settings_model.h"

// The options the dialog toggles at once.
struct ImmediateOptions {
    bool writeChannelFiles = false;
    bool estimateWayThreshold = false;
    bool laserCompensation = false;
    bool recoverDaq = false;  // set the acquisition up again when the device comes back
};

class SensSettings : public platform::Dialog {
public:
    using OptionsChanged = std::function<void(const ImmediateOptions&)>;

    // `editSensitivities`: the service was started by hand (empty command
    // line), so the sensitivities may be edited.
    SensSettings(SensSettingsValues values, ImmediateOptions options, bool editSensitivities,
                 OptionsChanged optionsChanged);

    // The values as the operator left them (read after IDOK).
    const SensSettingsValues& Values() const { return m_values; }
    const ImmediateOptions& Options() const { return m_options; }

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int code, HWND control) override;

private:
    void LayOut();
    void ShowToggleLabels();
    void ShowPurpose(int input);

    SensSettingsValues m_values;
    ImmediateOptions m_options;
    bool m_editSensitivities;
    OptionsChanged m_optionsChanged;
    bool m_filling = false;  // controls are being filled: their notifications are ignored
};
