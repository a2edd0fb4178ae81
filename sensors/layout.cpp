#include "sensors/layout.h"

#include <algorithm>

#include "sensors/control_ids.h"

namespace {

// Main window, pixels.
constexpr int kRowTop = 10;
constexpr int kRowHeight = 35;
constexpr int kRowPitch = 37;
constexpr PixelBox kIndicatorColumn{4, 0, 140, kRowHeight};
constexpr PixelBox kCounterColumn{146, 0, 105, kRowHeight};
constexpr PixelBox kVoltageColumn{253, 0, 70, kRowHeight};
constexpr PixelBox kValueColumn{325, 0, 70, kRowHeight};
constexpr PixelBox kSnapshotColumn{4, 0, 140, kRowHeight};
constexpr PixelBox kDistanceColumn{181, 0, 87, kRowHeight};
constexpr PixelBox kSpeedColumn{290, 0, 70, kRowHeight};
constexpr int kSettingsButtonSize = 32;
constexpr int kMargin = 4;
constexpr int kBottomMargin = 4;

PixelBox At(PixelBox column, int y) {
    column.y = y;
    return column;
}

// Settings dialog column widths, pixels.
constexpr int kCheckWidth = 40;
constexpr int kSensorTypeWidth = 120;
constexpr int kSensitivityWidth = 110;
constexpr int kPurposeWidth = 130;
constexpr int kToggleButtonWidth = 160;
constexpr int kToggleLabelWidth = 150;
constexpr int kDialogButtonWidth = 100;

}  // namespace

MainLayout ComputeMainLayout(const std::array<bool, kInputCount>& enabled) {
    MainLayout layout;
    int y = kRowTop;
    for (size_t i = 0; i < kInputCount; ++i) {
        MainRowLayout& row = layout.rows[i];
        row.shown = enabled[i];
        if (!row.shown)
            continue;
        row.indicator = At(kIndicatorColumn, y);
        row.counter = At(kCounterColumn, y);
        row.voltage = At(kVoltageColumn, y);
        row.value = At(kValueColumn, y);
        y += kRowPitch;
    }
    layout.snapshot = At(kSnapshotColumn, y);
    layout.distance = At(kDistanceColumn, y);
    layout.speed = At(kSpeedColumn, y);
    layout.clientWidth = kValueColumn.x + kValueColumn.width + kMargin;
    layout.clientHeight = y + kRowHeight + kBottomMargin;
    layout.settings = PixelBox{layout.clientWidth - kMargin - kSettingsButtonSize,
                               layout.clientHeight - kBottomMargin - kSettingsButtonSize,
                               kSettingsButtonSize, kSettingsButtonSize};
    return layout;
}

PixelBox SettingsLayout::Box(int id) const {
    for (const PlacedControl& c : controls) {
        if (c.id == id)
            return c.box;
    }
    return {};
}

SettingsLayout ComputeSettingsLayout(const SettingsMetrics& metrics) {
    const int caption = std::max(metrics.captionHeight, 12);
    const int frame = std::max(metrics.frameWidth, 1);
    const int margin = 2 * frame;
    const int rowHeight = caption + frame;  // one control's height
    const int pitch = rowHeight + frame;
    const int header = caption;  // room for a group's caption

    SettingsLayout layout;
    auto place = [&](int id, int x, int y, int width, int height) {
        layout.controls.push_back({id, PixelBox{x, y, width, height}});
    };

    // Four input rows: the enable check box, then one column per group.
    const int groupTop = margin;
    const int firstRow = groupTop + header;
    const int groupHeight = header + kInputCount * pitch + frame;
    int x = margin;
    for (int i = 0; i < kInputCount; ++i)
        place(control_ids::kEnabled[static_cast<size_t>(i)], x, firstRow + i * pitch, kCheckWidth,
              rowHeight);
    x += kCheckWidth + margin;

    struct Group {
        int groupId;
        int width;
        int (*controlId)(int);
    };
    const Group groups[] = {
        {IDC_SENSORS_GROUP, kSensorTypeWidth, [](int i) { return control_ids::SensorType(i); }},
        {IDC_SENSITIVITY_GROUP, kSensitivityWidth,
         [](int i) { return control_ids::kSensitivity[static_cast<size_t>(i)]; }},
        {IDC_PURPOSE_GROUP, kPurposeWidth,
         [](int i) { return control_ids::kPurpose[static_cast<size_t>(i)]; }},
    };
    for (const Group& g : groups) {
        place(g.groupId, x, groupTop, g.width + 2 * margin, groupHeight);
        for (int i = 0; i < kInputCount; ++i)
            place(g.controlId(i), x + margin, firstRow + i * pitch, g.width, rowHeight);
        x += g.width + 3 * margin;
    }
    const int clientWidth = x - margin;

    // The toggles: a button and the label that shows its state.
    const int toggles[][2] = {
        {IDC_CALIBRATION_BUTTON, IDC_CALIBRATION_LABEL},
        {IDC_SLOPE_UNIT_BUTTON, IDC_SLOPE_UNIT_LABEL},
        {IDC_FILES_BUTTON, IDC_FILES_LABEL},
        {IDC_ESTIMATE_BUTTON, IDC_ESTIMATE_LABEL},
        {IDC_COMPENSATION_BUTTON, IDC_COMPENSATION_LABEL},
        {IDC_RECOVERY_BUTTON, IDC_RECOVERY_LABEL},
    };
    int y = groupTop + groupHeight + margin;
    for (const auto& toggle : toggles) {
        place(toggle[0], margin, y, kToggleButtonWidth, rowHeight);
        place(toggle[1], margin + kToggleButtonWidth + margin, y, kToggleLabelWidth, rowHeight);
        y += pitch;
    }

    // Confirm and cancel, right-aligned.
    y += frame;
    place(2, clientWidth - margin - kDialogButtonWidth, y, kDialogButtonWidth, rowHeight);
    place(1, clientWidth - 2 * (margin + kDialogButtonWidth), y, kDialogButtonWidth, rowHeight);
    layout.clientWidth = clientWidth;
    layout.clientHeight = y + rowHeight + margin;
    return layout;
}
