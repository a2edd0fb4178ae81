// Where the controls of the service's two windows stand, in client pixels,
// and the small rules of the main dialog's angle and base-distance rows.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace scanner {

struct ControlRect {
    int id;
    int x, y, width, height;
    friend bool operator==(const ControlRect&, const ControlRect&) = default;
};

// --- Main dialog ---------------------------------------------------------------------
inline constexpr int kRowHeight = 24;
inline constexpr int kMainWindowX = 100;
inline constexpr int kMainWindowY = 100;
inline constexpr int kMainClientWidth = 820;
inline constexpr int kMainClientHeight = 2 * kRowHeight + 600;

inline constexpr int kAngleMin = 0;
inline constexpr int kAngleMax = 360;
inline constexpr int kBaseDistanceMin = 10;
inline constexpr int kBaseDistanceSliderMax = 5000;
// Upper limit of the base distance's ">" button (the profile display's), mm.
inline constexpr int kMaxBaseDistance = 10000;

// The settings and view buttons, the profile display, the scanner choice and
// the two rows (angle, base distance), for a client area of W x H.
std::array<ControlRect, 14> MainDialogLayout(int clientWidth, int clientHeight);
// The front-screen note: the free cell under the scanner choice, beside the
// base-distance row.
ControlRect ContaminationRect(int clientWidth, int clientHeight);

// The angle typed into the angle edit, as stored: v mod 360 with the sign of v.
int NormalizeAngle(int value);
// "<" and ">" of the base-distance row: the new edit value, or nothing when
// the value is already at its limit (below 1, or at the display's maximum).
std::optional<int> BaseDistanceDown(int value);
std::optional<int> BaseDistanceUp(int value, int maximum = kMaxBaseDistance);
// "<" and ">" of the angle row (limits 1 and 360).
std::optional<int> AngleDown(int value);
std::optional<int> AngleUp(int value);

// --- Settings dialog ---------------------------------------------------------------------
inline constexpr int kSettingsWindowX = 100;
inline constexpr int kSettingsWindowY = 100;
inline constexpr int kSettingsClientWidth = 1580;
inline constexpr int kSettingsClientHeight = 780;

enum class SettingsGroup {
    Buttons,       // always shown
    Scanners,      // the scanner group box and its labels
    Slot0,         // the first scanner's row
    Slot1,         // the second scanner's row
    Inclinometer,  // the inclinometer group
    Hidden,        // base angle and scanner choice: never shown
};

struct SettingsControl {
    ControlRect rect;
    SettingsGroup group;
};

std::span<const SettingsControl> SettingsDialogLayout();

struct SettingsVisibility {
    bool scanners = false;  // group, labels and the first row
    bool slot1 = false;
    bool inclinometer = false;
};

// The scanner part shows when an item was found or the service was started
// by hand (no command line); the second row needs two items; the
// inclinometer group a slot with an inclinometer.
SettingsVisibility SettingsVisible(int scannerItems, bool commandLineGiven, int fitted0,
                                   int fitted1);
bool IsShown(SettingsGroup group, const SettingsVisibility& visible);

// --- Texts of the edits ------------------------------------------------------------------------
// "%.1f" and "%d", with a point whatever the locale.
std::u16string FormatOneDecimal(double value);
std::u16string FormatInteger(int64_t value);
// A number the operator typed: blanks, a sign, digits with a point or a
// comma as the decimal separator; what follows is ignored. 0 for no number.
double ParseDecimal(std::u16string_view text);

}  // namespace scanner
