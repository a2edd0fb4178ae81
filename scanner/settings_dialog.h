// CSettingsDialog ("Установки сканеров"): the operator edits both scanner
// slots. It works on the arrays the main dialog fills and reads back; the
// rules of what is shown and read are those of settings_form.h.
#pragma once

#include "platform/dialog/dialog.h"
#include "scanner/settings_form.h"

class CSettingsDialog : public platform::Dialog {
public:
    explicit CSettingsDialog(scanner::SettingsArrays& arrays);

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int code, HWND control) override;
    void OnOk() override;

private:
    void OnShowWindow();
    void OnScannerSelChange();
    void LayOut();
    void ShowForm(const scanner::SettingsForm& form, bool secondRow);
    scanner::SettingsForm ReadForm() const;

    scanner::SettingsArrays& m_arrays;
    bool m_shown = false;
};
