#include "scanner/settings_form.h"

#include <cstdint>
#include <cstdlib>
#include <string>

#include "scanner/vestrami_layout.h"

namespace scanner {
namespace {

// Decimal value as the C library reads it: blanks, a sign, digits; 0 for none.
int32_t ParseInteger(const std::u16string& text) {
    std::string narrow;
    for (char16_t c : text)
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    long value = std::strtol(narrow.c_str(), nullptr, 10);
    if (value > INT32_MAX)
        value = INT32_MAX;
    if (value < INT32_MIN)
        value = INT32_MIN;
    return static_cast<int32_t>(value);
}

float ParseFloat(const std::u16string& text) {
    return static_cast<float>(ParseDecimal(text));
}

void FillRow(const SettingsArrays& a, int slot, int row, SettingsForm& form) {
    form.address[row] = a.addresses[slot];
    form.port[row] = FormatInteger(a.ports[slot]);
    form.angle[row] = FormatOneDecimal(a.rotationAngles[slot]);
    form.sectorStart[row] = FormatOneDecimal(a.sectorStarts[slot]);
    form.sectorEnd[row] = FormatOneDecimal(a.sectorEnds[slot]);
}

}  // namespace

SettingsArrays CopyFromSlots(const ScannerSlot (&slots)[kScannerSlots], int scannerItems,
                             bool commandLineGiven) {
    SettingsArrays a;
    for (int j = 0; j < kScannerSlots; ++j) {
        const ScannerSlot& s = slots[j];
        a.connected[j] = s.connected;
        a.addresses[j] = s.ipAddress;
        a.ports[j] = s.port;
        a.rotationAngles[j] = s.rotationAngle;
        a.baseAngles[j] = s.inclinometerBaseAngle;
        a.scales[j] = s.inclinometerScale;
        a.zeroVoltages[j] = s.inclinometerZero;
        a.inclinometerFitted[j] = s.inclinometerFitted;
        a.sectorStarts[j] = s.clearanceStart;
        a.sectorEnds[j] = s.clearanceEnd;
        a.recoverConnection[j] = s.recoverConnection;
    }
    a.scannerItems = scannerItems;
    a.commandLineGiven = commandLineGiven;
    if (slots[0].itemNumber < 0 && slots[1].itemNumber >= 0) {
        a.rowSlot[0] = 1;
        a.rowSlot[1] = 0;
    }
    return a;
}

void CopyToSlots(const SettingsArrays& a, ScannerSlot (&slots)[kScannerSlots]) {
    for (int j = 0; j < kScannerSlots; ++j) {
        ScannerSlot& s = slots[j];
        s.connected = a.connected[j];
        s.ipAddress = a.addresses[j];
        s.port = a.ports[j];
        s.rotationAngle = a.rotationAngles[j];
        s.inclinometerBaseAngle = a.baseAngles[j];
        s.inclinometerScale = a.scales[j];
        s.inclinometerZero = a.zeroVoltages[j];
        s.clearanceStart = a.sectorStarts[j];
        s.clearanceEnd = a.sectorEnds[j];
        s.recoverConnection = a.recoverConnection[j];
    }
}

FormFill FillSettingsForm(SettingsArrays& a) {
    FormFill fill;
    for (int row = 0; row < kScannerSlots; ++row) {
        fill.form.checked[row] = a.connected[a.rowSlot[row]] == 1;
        fill.form.recover[row] = a.recoverConnection[a.rowSlot[row]] != 0;
    }
    if (a.commandLineGiven && a.scannerItems == 0) {
        fill.notInCrew = true;
        return fill;
    }
    for (int32_t& port : a.ports)
        port = kShownPort;
    const int first = a.rowSlot[0];
    FillRow(a, first, 0, fill.form);
    fill.form.baseAngle = FormatInteger(a.baseAngles[first]);
    fill.form.scale = FormatInteger(a.scales[first]);
    fill.form.zeroVoltage = FormatInteger(a.zeroVoltages[first]);
    if (a.scannerItems > 1)
        FillRow(a, a.rowSlot[1], 1, fill.form);
    return fill;
}

void ShowSlotInForm(const SettingsArrays& a, int slot, SettingsForm& form) {
    if (slot < 0 || slot >= kScannerSlots)
        return;
    form.address[0] = a.addresses[slot];
    form.port[0] = FormatInteger(a.ports[slot]);
    form.angle[0] = FormatOneDecimal(a.rotationAngles[slot]);
    form.baseAngle = FormatInteger(a.baseAngles[slot]);
    form.scale = FormatInteger(a.scales[slot]);
    form.zeroVoltage = FormatInteger(a.zeroVoltages[slot]);
}

void ReadSettingsForm(const SettingsForm& form, SettingsArrays& a) {
    for (int row = 0; row < kScannerSlots; ++row) {
        const int j = a.rowSlot[row];
        a.connected[j] = form.checked[row] ? 1 : 0;
        a.recoverConnection[j] = form.recover[row] ? 1 : 0;
        a.addresses[j] = form.address[row];
        a.ports[j] = ParseInteger(form.port[row]);
        a.rotationAngles[j] = ParseFloat(form.angle[row]);
        a.sectorStarts[j] = ParseFloat(form.sectorStart[row]);
        a.sectorEnds[j] = ParseFloat(form.sectorEnd[row]);
        a.scales[j] = ParseInteger(form.scale);
        a.zeroVoltages[j] = ParseInteger(form.zeroVoltage);
    }
    a.baseAngles[a.rowSlot[0]] = ParseInteger(form.baseAngle);
}

}  // namespace scanner
