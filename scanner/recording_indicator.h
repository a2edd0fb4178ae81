// The recording indicator: every 10 s the settings button of the main dialog
// shows how many log lines the recording has written and, by its colour,
// whether every connected scanner is still writing.
#pragma once

#include <cstdint>

#include "scanner/slot_config.h"

namespace scanner {

struct Rgb {
    uint8_t red, green, blue;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb kYellow{255, 255, 0};
inline constexpr Rgb kGreen{0, 255, 0};
inline constexpr Rgb kRed{255, 0, 0};
// A scanner is being brought up again after it stopped answering; shown at
// once, over whatever the lines would show.
inline constexpr Rgb kOrange{255, 128, 0};

// Seconds after the start of a recording before a recording in which no
// scanner writes shows red.
inline constexpr int64_t kSilentRecordingSeconds = 10;

struct IndicatorSlot {
    bool connected = false;
    int64_t linesWritten = 0;  // by the data thread since the recording started
    int64_t linesShown = 0;    // at the indicator's previous update
};

struct IndicatorState {
    Rgb colour = kYellow;
    int64_t totalLines = 0;  // lines shown, all connected slots
    bool showCount = false;  // the button shows "Запись <total>"
};

// One update. Not recording: yellow, the text stays. Recording: each
// connected slot whose written count grew since the last update has its
// shown count brought up to it (and counts as changed); then red when no
// slot changed and more than kSilentRecordingSeconds passed since the start,
// green when every connected slot changed, yellow otherwise.
IndicatorState UpdateIndicator(bool recording, IndicatorSlot (&slots)[kScannerSlots],
                               int64_t nowSeconds, int64_t recordStartSeconds);

}  // namespace scanner
