// The settings dialog's data: the per-slot arrays the main dialog hands it,
// what its controls show when it opens, and what it reads back when the
// operator accepts it. The dialog itself only moves these texts between the
// form and its controls.
#pragma once

#include <cstdint>
#include <string>

#include "scanner/slot_config.h"

namespace scanner {

struct SettingsArrays {
    int32_t connected[kScannerSlots] = {};
    std::u16string addresses[kScannerSlots];
    int32_t ports[kScannerSlots] = {};
    float rotationAngles[kScannerSlots] = {};
    int32_t baseAngles[kScannerSlots] = {};
    int32_t scales[kScannerSlots] = {};
    int32_t zeroVoltages[kScannerSlots] = {};
    int32_t inclinometerFitted[kScannerSlots] = {};  // shown only, never written back
    float sectorStarts[kScannerSlots] = {};
    float sectorEnds[kScannerSlots] = {};
    int32_t recoverConnection[kScannerSlots] = {};  // bring a scanner that stops answering up again
    int scannerItems = 0;                           // scanner items found in the configuration
    bool commandLineGiven = false;                  // the service runs in a crew
    // The slot each row of the dialog shows: the slots with a scanner item
    // first, so that a vehicle whose only scanner sits in slot 1 has it in
    // the first (shown) row.
    int rowSlot[kScannerSlots] = {0, 1};
};

// The texts and ticks of the dialog's controls, by row.
struct SettingsForm {
    bool checked[kScannerSlots] = {};
    bool recover[kScannerSlots] = {};       // "Восстанавливать связь"
    std::u16string address[kScannerSlots];  // dotted text of the address controls
    std::u16string port[kScannerSlots];
    std::u16string angle[kScannerSlots];
    std::u16string sectorStart[kScannerSlots];
    std::u16string sectorEnd[kScannerSlots];
    std::u16string baseAngle;
    std::u16string scale;
    std::u16string zeroVoltage;
};

// The port every scanner listens on; the dialog always shows it.
inline constexpr int32_t kShownPort = 2111;

SettingsArrays CopyFromSlots(const ScannerSlot (&slots)[kScannerSlots], int scannerItems,
                             bool commandLineGiven);
// Every array but the inclinometer flags goes back into the slots.
void CopyToSlots(const SettingsArrays& arrays, ScannerSlot (&slots)[kScannerSlots]);

struct FormFill {
    SettingsForm form;
    // The service runs in a crew that has no scanner: the dialog says so
    // and fills nothing but the ticks.
    bool notInCrew = false;
};

// What the dialog shows when it opens. Both ports become 2111 first; the
// second row is filled only when two scanner items were found.
FormFill FillSettingsForm(SettingsArrays& arrays);

// Another scanner chosen in the (hidden) scanner choice: its address, port,
// angle and inclinometer values go into the first row and the inclinometer fields.
void ShowSlotInForm(const SettingsArrays& arrays, int slot, SettingsForm& form);

// Accepting: ticks (in use, recovery), addresses, ports (a non-number gives 0), angles and
// sector ends from each row into the slot it shows; the base angle into the
// first row's slot only; scale and zero voltage into both slots. No validation.
void ReadSettingsForm(const SettingsForm& form, SettingsArrays& arrays);

}  // namespace scanner
