// The main dialog's controls: layout, the angle and base-distance rows, the
// scanner choice, the view button and the settings dialog.
#include <windows.h>
#include <commctrl.h>

#include "platform/notifier.h"
#include "platform/text.h"
#include "scanner/resource.h"
#include "scanner/scanner_texts.h"
#include "scanner/settings_dialog.h"
#include "scanner/vestrami_dlg.h"
#include "scanner/vestrami_layout.h"

namespace {

// Background of a freshly laid-out display (components 0..1).
constexpr float kClearGrey = 0.8627f;

}  // namespace

void CVestramiDlg::LayOut() {
    const SIZE size = platform::ClientSize(Handle());
    if (size.cx <= 0 || size.cy <= 0)
        return;  // minimised
    for (const scanner::ControlRect& r : scanner::MainDialogLayout(size.cx, size.cy)) {
        if (r.id == CScannerPicture::kControlId) {
            ::MoveWindow(m_picture.Handle(), r.x, r.y, r.width, r.height, TRUE);
            ::ShowWindow(m_picture.Handle(), SW_SHOW);
            continue;
        }
        MoveItem(r.id, r.x, r.y, r.width, r.height);
        ShowItem(r.id, true);
    }
    const scanner::ControlRect note = scanner::ContaminationRect(size.cx, size.cy);
    MoveItem(note.id, note.x, note.y, note.width, note.height);
    m_viewButton.SetFaceColor(RGB(0, 255, 0));
    ShowViewText();
    m_picture.DiscardDeviceResources();
    m_picture.CreateDeviceResources();
    m_picture.Clear(kClearGrey, kClearGrey, kClearGrey);

    const int32_t base = m_acquisition->BaseDistance();
    SetItemText(IDC_BASE_DISTANCE_EDIT, platform::ToWide(scanner::FormatInteger(base)));
    platform::SliderSetPosition(Item(IDC_BASE_DISTANCE_SLIDER), base);
    const float angle = m_acquisition->SlotCopy(m_selectedSlot).rotationAngle;
    SetItemText(IDC_ANGLE_EDIT, platform::ToWide(scanner::FormatOneDecimal(angle)));
    platform::SliderSetPosition(Item(IDC_ANGLE_SLIDER), static_cast<int>(angle));
}

void CVestramiDlg::OnSize(int clientWidth, int clientHeight) {
    if (!m_laidOut || clientWidth <= 0 || clientHeight <= 0)
        return;
    LayOut();
    ::InvalidateRect(Handle(), nullptr, TRUE);
}

void CVestramiDlg::ShowViewText() {
    m_viewButton.SetText(platform::ToWide(scanner::ViewText(m_picture.View())));
}

bool CVestramiDlg::OnCommand(int id, int code, HWND) {
    switch (id) {
        case IDC_SETTINGS:
            if (code == BN_CLICKED)
                OnSettings();
            return true;
        case IDC_VIEW:
            if (code == BN_CLICKED)
                OnViewButton();
            return true;
        case IDC_SCANNER_CHOICE:
            if (code == CBN_SELCHANGE)
                OnScannerChosen();
            return true;
        case IDC_BASE_DISTANCE_EDIT:
            if (code == EN_CHANGE)
                OnBaseDistanceEdited();
            return true;
        case IDC_ANGLE_EDIT:
            if (code == EN_CHANGE)
                OnAngleEdited();
            return true;
        case IDC_BASE_DISTANCE_DOWN:
            StepEdit(IDC_BASE_DISTANCE_EDIT,
                     scanner::BaseDistanceDown(ItemInt(IDC_BASE_DISTANCE_EDIT)));
            return true;
        case IDC_BASE_DISTANCE_UP:
            StepEdit(IDC_BASE_DISTANCE_EDIT,
                     scanner::BaseDistanceUp(ItemInt(IDC_BASE_DISTANCE_EDIT),
                                             m_picture.m_maxBaseDistance));
            return true;
        case IDC_ANGLE_DOWN:
            StepEdit(IDC_ANGLE_EDIT, scanner::AngleDown(ItemInt(IDC_ANGLE_EDIT)));
            return true;
        case IDC_ANGLE_UP:
            StepEdit(IDC_ANGLE_EDIT, scanner::AngleUp(ItemInt(IDC_ANGLE_EDIT)));
            return true;
        default:
            return false;
    }
}

void CVestramiDlg::StepEdit(int editId, std::optional<int> value) {
    // The edit's change handler applies the new value.
    if (value)
        SetItemInt(editId, *value);
}

void CVestramiDlg::OnScroll(int controlId, HWND, int code, int position) {
    if (code != TB_ENDTRACK)
        return;
    if (controlId == IDC_BASE_DISTANCE_SLIDER) {
        m_acquisition->SetBaseDistance(position);
        SetItemText(IDC_BASE_DISTANCE_EDIT, platform::ToWide(scanner::FormatInteger(position)));
    } else if (controlId == IDC_ANGLE_SLIDER) {
        SetItemText(IDC_ANGLE_EDIT, platform::ToWide(scanner::FormatInteger(position)));
    }
}

void CVestramiDlg::OnBaseDistanceEdited() {
    const int value = ItemInt(IDC_BASE_DISTANCE_EDIT);
    m_acquisition->SetBaseDistance(value);
    platform::SliderSetPosition(Item(IDC_BASE_DISTANCE_SLIDER), value);
    m_picture.Draw();
}

void CVestramiDlg::OnAngleEdited() {
    const int value = scanner::NormalizeAngle(ItemInt(IDC_ANGLE_EDIT));
    platform::SliderSetPosition(Item(IDC_ANGLE_SLIDER), value);
    m_acquisition->SetRotationAngle(m_selectedSlot, static_cast<float>(value));
    SaveSlots();
}

void CVestramiDlg::OnScannerChosen() {
    const int choice = platform::ComboSelection(Item(IDC_SCANNER_CHOICE));
    const std::vector<int>& slots = m_acquisition->Settings().scannerListSlots;
    if (choice >= 0 && static_cast<size_t>(choice) < slots.size())
        m_selectedSlot = slots[static_cast<size_t>(choice)];
    const float angle = m_acquisition->SlotCopy(m_selectedSlot).rotationAngle;
    SetItemText(IDC_ANGLE_EDIT, platform::ToWide(scanner::FormatOneDecimal(angle)));
}

void CVestramiDlg::OnViewButton() {
    if (m_acquisition->Recording())
        return;
    const float angle = m_acquisition->SlotCopy(0).rotationAngle;
    platform::SliderSetPosition(Item(IDC_ANGLE_SLIDER), static_cast<int>(angle));
    SetItemText(IDC_ANGLE_EDIT, platform::ToWide(scanner::FormatOneDecimal(angle)));
}

void CVestramiDlg::OnSettings() {
    if (m_acquisition->Recording())
        return;
    scanner::ScannerSlot slots[scanner::kScannerSlots];
    for (int j = 0; j < scanner::kScannerSlots; ++j)
        slots[j] = m_acquisition->SlotCopy(j);
    scanner::SettingsArrays arrays =
        scanner::CopyFromSlots(slots, m_acquisition->Settings().scannerCount, m_commandLine.given);
    CSettingsDialog dialog(arrays);
    if (dialog.DoModal(Handle()) != IDOK)
        return;
    // The timers ran while the dialog was open: the recorder may have
    // started a recording meanwhile. Reconnecting now would leave its log
    // commands unanswered, so the settings wait for the operator to confirm
    // them again after the recording.
    if (m_acquisition->Recording()) {
        platform::ShowMessage(scanner_text::kSettingsNotApplied, {}, platform::MessageIcon::None,
                              reinterpret_cast<std::uintptr_t>(Handle()));
        return;
    }
    scanner::CopyToSlots(arrays, slots);
    for (int j = 0; j < scanner::kScannerSlots; ++j)
        m_acquisition->SetSlot(j, slots[j]);
    m_acquisition->ReleaseClients();
    ConnectScanners();
    const float angle = m_acquisition->SlotCopy(m_selectedSlot).rotationAngle;
    SetItemText(IDC_ANGLE_EDIT, platform::ToWide(scanner::FormatOneDecimal(angle)));
    SaveSlots();
}
