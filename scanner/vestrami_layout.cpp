#include "scanner/vestrami_layout.h"

#include <charconv>
#include <string>

#include "scanner/resource.h"

namespace scanner {
namespace {

using G = SettingsGroup;

constexpr SettingsControl kSettingsControls[] = {
    {{IDC_SET_SCANNER_GROUP, 10, 0, 960, 168}, G::Scanners},
    {{IDC_SET_SCANNERS_TITLE, 480, 12, 240, 24}, G::Scanners},
    {{IDC_SET_ANGLE_LABEL, 400, 48, 240, 48}, G::Scanners},
    {{IDC_SET_SECTOR_LABEL, 680, 36, 240, 36}, G::Scanners},
    {{IDC_SET_START_LABEL, 680, 72, 120, 24}, G::Scanners},
    {{IDC_SET_END_LABEL, 800, 72, 120, 24}, G::Scanners},
    {{IDC_SET_CONNECTED0, 20, 96, 80, 24}, G::Slot0},
    {{IDC_SET_ADDRESS0, 120, 96, 160, 24}, G::Slot0},
    {{IDC_SET_PORT0, 280, 96, 40, 24}, G::Slot0},
    {{IDC_SET_ANGLE0, 440, 96, 40, 24}, G::Slot0},
    {{IDC_SET_START0, 720, 96, 40, 24}, G::Slot0},
    {{IDC_SET_END0, 800, 96, 40, 24}, G::Slot0},
    {{IDC_SET_RECOVER0, 850, 96, 116, 30}, G::Slot0},
    {{IDC_SET_CONNECTED1, 20, 132, 80, 24}, G::Slot1},
    {{IDC_SET_ADDRESS1, 120, 132, 160, 24}, G::Slot1},
    {{IDC_SET_PORT1, 280, 132, 40, 24}, G::Slot1},
    {{IDC_SET_ANGLE1, 440, 132, 40, 24}, G::Slot1},
    {{IDC_SET_START1, 720, 132, 40, 24}, G::Slot1},
    {{IDC_SET_END1, 800, 132, 40, 24}, G::Slot1},
    {{IDC_SET_RECOVER1, 850, 132, 116, 30}, G::Slot1},
    {{IDC_SET_INCLINOMETER_GROUP, 10, 192, 960, 168}, G::Inclinometer},
    {{IDC_SET_INCLINOMETER_TITLE, 480, 204, 240, 24}, G::Inclinometer},
    {{IDC_SET_SCALE_LABEL, 320, 240, 120, 48}, G::Inclinometer},
    {{IDC_SET_SCALE, 360, 300, 40, 24}, G::Inclinometer},
    {{IDC_SET_ZERO_LABEL, 640, 240, 120, 48}, G::Inclinometer},
    {{IDC_SET_ZERO, 680, 300, 40, 24}, G::Inclinometer},
    {{IDC_SET_BASE_ANGLE_LABEL, 0, 0, 0, 0}, G::Hidden},
    {{IDC_SET_BASE_ANGLE, 0, 0, 0, 0}, G::Hidden},
    {{IDC_SET_SCANNER_CHOICE, 0, 0, 0, 0}, G::Hidden},
    {{1 /* IDOK: "Запомнить" */, 240, 432, 80, 24}, G::Buttons},
    {{2 /* IDCANCEL: "Отмена" */, 640, 432, 80, 24}, G::Buttons},
};

}  // namespace

std::array<ControlRect, 14> MainDialogLayout(int W, int H) {
    const int R = kRowHeight;
    const int top = H - 2 * R - 1;  // the angle row
    const int bottom = H - R;       // the base-distance row
    const int labelX = W * 11 / 60 + 1;
    const int labelWidth = W * 19 / 60;
    const int downX = W * 30 / 60 + 2;
    const int sliderX = W * 30 / 60 + R + 3;
    const int sliderWidth = W / 4;
    const int upX = W * 45 / 60 + R + 4;
    const int editX = W * 45 / 60 + 2 * R + 5;
    const int editWidth = W * 15 / 60 - 2 * R - 4;
    return {{
        {IDC_SETTINGS, 0, 0, W / 2, R},
        {IDC_VIEW, W / 2, 0, W / 2, R},
        {IDC_PICTURE, 0, R + 1, W, H - 3 * (R + 1)},
        {IDC_SCANNER_CHOICE, 0, top, W * 11 / 60, 3 * R},
        {IDC_ANGLE_LABEL, labelX, top, labelWidth, R},
        {IDC_ANGLE_DOWN, downX, top, R, R},
        {IDC_ANGLE_SLIDER, sliderX, top, sliderWidth, R},
        {IDC_ANGLE_UP, upX, top, R, R},
        {IDC_ANGLE_EDIT, editX, top, editWidth, R},
        {IDC_BASE_DISTANCE_LABEL, labelX, bottom, labelWidth, R},
        {IDC_BASE_DISTANCE_DOWN, downX, bottom, R, R},
        {IDC_BASE_DISTANCE_SLIDER, sliderX, bottom, sliderWidth, R},
        {IDC_BASE_DISTANCE_UP, upX, bottom, R, R},
        {IDC_BASE_DISTANCE_EDIT, editX, bottom, editWidth, R},
    }};
}

ControlRect ContaminationRect(int W, int H) {
    const int R = kRowHeight;
    return {IDC_CONTAMINATION, 0, H - R, W * 11 / 60, R};
}

int NormalizeAngle(int value) {
    return value % 360;
}

std::optional<int> BaseDistanceDown(int value) {
    if (value >= 1)
        return value - 1;
    return std::nullopt;
}

std::optional<int> BaseDistanceUp(int value, int maximum) {
    if (value < maximum)
        return value + 1;
    return std::nullopt;
}

std::optional<int> AngleDown(int value) {
    if (value >= 1)
        return value - 1;
    return std::nullopt;
}

std::optional<int> AngleUp(int value) {
    if (value < kAngleMax)
        return value + 1;
    return std::nullopt;
}

std::span<const SettingsControl> SettingsDialogLayout() {
    return kSettingsControls;
}

SettingsVisibility SettingsVisible(int scannerItems, bool commandLineGiven, int fitted0,
                                   int fitted1) {
    SettingsVisibility v;
    v.scanners = scannerItems > 0 || !commandLineGiven;
    v.slot1 = v.scanners && scannerItems > 1;
    v.inclinometer = v.scanners && (fitted0 == 1 || fitted1 == 1);
    return v;
}

bool IsShown(SettingsGroup group, const SettingsVisibility& v) {
    switch (group) {
        case G::Buttons:
            return true;
        case G::Scanners:
        case G::Slot0:
            return v.scanners;
        case G::Slot1:
            return v.slot1;
        case G::Inclinometer:
            return v.inclinometer;
        case G::Hidden:
        default:
            return false;
    }
}

std::u16string FormatOneDecimal(double value) {
    char text[400];
    const auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 1);
    return std::u16string(text, r.ptr);
}

std::u16string FormatInteger(int64_t value) {
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, value);
    return std::u16string(text, r.ptr);
}

double ParseDecimal(std::u16string_view text) {
    std::string narrow;
    size_t p = 0;
    while (p < text.size() && (text[p] == u' ' || text[p] == u'\t'))
        ++p;
    if (p < text.size() && (text[p] == u'-' || text[p] == u'+'))
        narrow += static_cast<char>(text[p++]);
    bool separator = false;
    for (; p < text.size(); ++p) {
        const char16_t c = text[p];
        if (c >= u'0' && c <= u'9') {
            narrow += static_cast<char>(c);
        } else if ((c == u'.' || c == u',') && !separator) {
            narrow += '.';
            separator = true;
        } else {
            break;
        }
    }
    const char* begin = narrow.c_str();
    const bool negative = !narrow.empty() && narrow[0] == '-';
    if (!narrow.empty() && (narrow[0] == '-' || narrow[0] == '+'))
        ++begin;
    double value = 0.0;
    const auto r =
        std::from_chars(begin, narrow.c_str() + narrow.size(), value, std::chars_format::fixed);
    if (r.ec != std::errc())
        return 0.0;
    return negative ? -value : value;
}

}  // namespace scanner
