// Where the controls of the sensor service's two windows go, in client
// pixels: the main window's rows (one per enabled input) and the settings
// dialog, whose rows follow the system's caption height and frame width.
#pragma once

#include <array>
#include <vector>

#include "sensors/sensor_types.h"

struct PixelBox {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const PixelBox&) const = default;
};

// --- Main window ---------------------------------------------------------------
struct MainRowLayout {
    bool shown = false;  // rows of disabled inputs are hidden
    PixelBox indicator, counter, voltage, value;
};

struct MainLayout {
    std::array<MainRowLayout, kInputCount> rows;
    PixelBox snapshot, distance, speed, settings;
    int clientWidth = 0;
    int clientHeight = 0;
};

// Rows 35 pixels high at a pitch of 37 from 10 pixels below the top, in
// input order; the snapshot button, distance and speed below the last shown
// row; the 32 x 32 settings button in the lower right corner.
MainLayout ComputeMainLayout(const std::array<bool, kInputCount>& enabled);

// --- Settings dialog -------------------------------------------------------------
// The system metrics the rows follow, pixels.
struct SettingsMetrics {
    int captionHeight = 19;
    int frameWidth = 4;
};

struct PlacedControl {
    int id = 0;
    PixelBox box;
};

struct SettingsLayout {
    std::vector<PlacedControl> controls;  // every control of the dialog
    int clientWidth = 0;
    int clientHeight = 0;
    // The box of control `id`; an empty box for an unknown id.
    PixelBox Box(int id) const;
};

SettingsLayout ComputeSettingsLayout(const SettingsMetrics& metrics);
