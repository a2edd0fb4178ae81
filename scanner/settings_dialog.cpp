#include "scanner/settings_dialog.h"

#include <cstdio>

#include "platform/notifier.h"
#include "platform/text.h"
#include "scanner/resource.h"
#include "scanner/scanner_texts.h"
#include "scanner/vestrami_layout.h"

namespace {

// The controls of a slot's row: tick, address, port, angle, sector start,
// sector end, recovery tick.
struct RowIds {
    int check, address, port, angle, start, end, recover;
};
constexpr RowIds kRows[scanner::kScannerSlots] = {
    {IDC_SET_CONNECTED0, IDC_SET_ADDRESS0, IDC_SET_PORT0, IDC_SET_ANGLE0, IDC_SET_START0,
     IDC_SET_END0, IDC_SET_RECOVER0},
    {IDC_SET_CONNECTED1, IDC_SET_ADDRESS1, IDC_SET_PORT1, IDC_SET_ANGLE1, IDC_SET_START1,
     IDC_SET_END1, IDC_SET_RECOVER1},
};

}  // namespace

CSettingsDialog::CSettingsDialog(scanner::SettingsArrays& arrays)
    : Dialog(IDD_SETTINGS_DIALOG), m_arrays(arrays) {
    // The address controls' class is not among those the program registers at start.
    platform::InitCommonControlClasses(ICC_INTERNET_CLASSES);
    OnMessage(WM_SHOWWINDOW, [this](WPARAM shown, LPARAM) -> LRESULT {
        if (shown != FALSE && !m_shown) {
            m_shown = true;
            OnShowWindow();
        }
        return 0;
    });
}

bool CSettingsDialog::OnInitDialog() {
    // The hidden scanner choice offers the scanners as the main dialog names them.
    HWND choice = Item(IDC_SET_SCANNER_CHOICE);
    platform::ComboClear(choice);
    for (int j = 0; j < scanner::kScannerSlots; ++j) {
        char text[32];
        std::snprintf(text, sizeof text, scanner_text::kScannerEntryFormat, j + 1);
        platform::ComboAdd(choice, platform::Utf8ToWide(text));
    }
    return true;
}

void CSettingsDialog::LayOut() {
    const scanner::SettingsVisibility visible =
        scanner::SettingsVisible(m_arrays.scannerItems, m_arrays.commandLineGiven,
                                 m_arrays.inclinometerFitted[0], m_arrays.inclinometerFitted[1]);
    for (const scanner::SettingsControl& c : scanner::SettingsDialogLayout()) {
        const bool shown = scanner::IsShown(c.group, visible);
        if (shown)
            MoveItem(c.rect.id, c.rect.x, c.rect.y, c.rect.width, c.rect.height);
        ShowItem(c.rect.id, shown);
    }
    platform::PlaceWithClientSize(Handle(), scanner::kSettingsWindowX, scanner::kSettingsWindowY,
                                  scanner::kSettingsClientWidth, scanner::kSettingsClientHeight);
}

void CSettingsDialog::ShowForm(const scanner::SettingsForm& form, bool secondRow) {
    for (int row = 0; row < (secondRow ? 2 : 1); ++row) {
        const RowIds& ids = kRows[row];
        if (!platform::IpAddressSet(Item(ids.address), platform::ToWide(form.address[row])))
            platform::IpAddressClear(Item(ids.address));
        SetItemText(ids.port, platform::ToWide(form.port[row]));
        SetItemText(ids.angle, platform::ToWide(form.angle[row]));
        SetItemText(ids.start, platform::ToWide(form.sectorStart[row]));
        SetItemText(ids.end, platform::ToWide(form.sectorEnd[row]));
    }
    SetItemText(IDC_SET_BASE_ANGLE, platform::ToWide(form.baseAngle));
    SetItemText(IDC_SET_SCALE, platform::ToWide(form.scale));
    SetItemText(IDC_SET_ZERO, platform::ToWide(form.zeroVoltage));
}

void CSettingsDialog::OnShowWindow() {
    LayOut();
    scanner::FormFill fill = scanner::FillSettingsForm(m_arrays);
    for (int row = 0; row < scanner::kScannerSlots; ++row) {
        // Each row's tick names the scanner it shows, as the main window does.
        char name[32];
        std::snprintf(name, sizeof name, scanner_text::kScannerEntryFormat,
                      m_arrays.rowSlot[row] + 1);
        SetItemText(kRows[row].check, platform::Utf8ToWide(name));
        platform::SetChecked(Item(kRows[row].check), fill.form.checked[row]);
        platform::SetChecked(Item(kRows[row].recover), fill.form.recover[row]);
    }
    if (fill.notInCrew) {
        platform::ShowMessage(scanner_text::kNotInCrew, {}, platform::MessageIcon::None,
                              reinterpret_cast<std::uintptr_t>(Handle()));
        return;
    }
    ShowForm(fill.form, m_arrays.scannerItems > 1);
}

void CSettingsDialog::OnScannerSelChange() {
    scanner::SettingsForm form = ReadForm();
    scanner::ShowSlotInForm(m_arrays, platform::ComboSelection(Item(IDC_SET_SCANNER_CHOICE)), form);
    ShowForm(form, false);
}

bool CSettingsDialog::OnCommand(int id, int code, HWND) {
    if (id == IDC_SET_SCANNER_CHOICE && code == CBN_SELCHANGE) {
        OnScannerSelChange();
        return true;
    }
    return false;
}

scanner::SettingsForm CSettingsDialog::ReadForm() const {
    scanner::SettingsForm form;
    for (int j = 0; j < scanner::kScannerSlots; ++j) {
        const RowIds& ids = kRows[j];
        form.checked[j] = platform::IsChecked(Item(ids.check));
        form.recover[j] = platform::IsChecked(Item(ids.recover));
        form.address[j] = platform::ToU16(platform::IpAddressText(Item(ids.address)));
        form.port[j] = platform::ToU16(ItemText(ids.port));
        form.angle[j] = platform::ToU16(ItemText(ids.angle));
        form.sectorStart[j] = platform::ToU16(ItemText(ids.start));
        form.sectorEnd[j] = platform::ToU16(ItemText(ids.end));
    }
    form.baseAngle = platform::ToU16(ItemText(IDC_SET_BASE_ANGLE));
    form.scale = platform::ToU16(ItemText(IDC_SET_SCALE));
    form.zeroVoltage = platform::ToU16(ItemText(IDC_SET_ZERO));
    return form;
}

void CSettingsDialog::OnOk() {
    scanner::ReadSettingsForm(ReadForm(), m_arrays);
    EndDialog(IDOK);
}
