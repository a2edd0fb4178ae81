// Change detection and odometer pulse counting on one input's state.
//
// The sample path (1000 samples a second from the data acquisition device)
// and the serial odometer (values from the converter's text lines) count
// pulses differently:
// - the sample path follows the signal: the reference moves with the peak
//   while rising and with the trough while falling, and one pulse is counted
//   each time the signal rises by more than the threshold above its last
//   trough;
// - the serial path moves its reference only on steps larger than the
//   threshold, so small steps add up until their sum exceeds it.
#pragma once

#include "sensors/sensor_types.h"

// Any input but the Way input: a change larger than the threshold counts
// and keeps the value; the reference always follows the voltage. Returns the
// difference to the reference before the update, V.
float DetectChange(ChannelState& state);
// The Way input on the sample path (hysteresis). Returns the difference to
// the reference before the update, V.
float DetectWayPulse(ChannelState& state);
// The Way input on the serial path, for a received value `v` (V): voltage
// and value become v; a step larger than the threshold from the last
// accepted value is accepted; an upward one after a downward one counts.
void DetectSerialPulse(ChannelState& state, float v);
