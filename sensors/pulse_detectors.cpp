#include "sensors/pulse_detectors.h"

#include <cmath>

float DetectChange(ChannelState& state) {
    const float d = state.voltage - state.reference;
    if (std::fabs(d) > state.threshold) {
        ++state.count;
        state.lastValue = state.value;
    }
    state.reference = state.voltage;
    return d;
}

float DetectWayPulse(ChannelState& state) {
    const float d = state.voltage - state.reference;
    bool accept = false;
    if (d > state.threshold) {
        ++state.count;
        state.rising = true;
        accept = true;
    } else if (d < -state.threshold) {
        state.rising = false;
        accept = true;
    } else if ((d > 0.0f && state.rising) || (d < 0.0f && !state.rising)) {
        // Within the threshold: the reference follows the peak while rising
        // and the trough while falling.
        accept = true;
    }
    if (accept) {
        state.lastValue = state.value;
        state.reference = state.voltage;
    }
    return d;
}

void DetectSerialPulse(ChannelState& state, float v) {
    state.voltage = v;
    state.value = v;
    const float d = v - state.lastValue;
    if (!(std::fabs(d) > state.threshold))
        return;
    if (d < 0.0f) {
        state.rising = false;
    } else if (!state.rising) {
        ++state.count;
        state.rising = true;
    }
    state.lastValue = v;
}
