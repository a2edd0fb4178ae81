#include "scanner/recording_indicator.h"

namespace scanner {

IndicatorState UpdateIndicator(bool recording, IndicatorSlot (&slots)[kScannerSlots],
                               int64_t nowSeconds, int64_t recordStartSeconds) {
    IndicatorState state;
    if (!recording)
        return state;
    int connected = 0;
    int changed = 0;
    for (IndicatorSlot& slot : slots) {
        if (!slot.connected)
            continue;
        ++connected;
        if (slot.linesWritten > slot.linesShown) {
            slot.linesShown = slot.linesWritten;
            ++changed;
        }
        state.totalLines += slot.linesShown;
    }
    state.showCount = true;
    if (changed == 0 && nowSeconds - recordStartSeconds > kSilentRecordingSeconds)
        state.colour = kRed;
    else if (changed == connected)
        state.colour = kGreen;
    else
        state.colour = kYellow;
    return state;
}

}  // namespace scanner
