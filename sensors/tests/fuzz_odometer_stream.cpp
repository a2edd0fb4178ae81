// The serial odometer converter's byte stream (UTF-16LE lines), arbitrary,
// through the line assembly and the voltage reader to the pulse detector.
#include <algorithm>
#include <cstdint>

#include "platform/tests/fuzz_check.h"
#include "sensors/odometer_lines.h"
#include "sensors/pulse_detectors.h"
#include "sensors/sensor_types.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    // Reads of the sizes a serial port returns, odd ones included.
    const size_t chunk = 1 + data[0] % 61;
    OdometerLineAssembler assembler;
    ChannelState way;
    way.threshold = 0.5f;
    uint32_t pulses = way.count;
    for (size_t at = 1; at < size; at += chunk) {
        const size_t n = std::min(chunk, size - at);
        assembler.Append(data + at, n);
        FUZZ_CHECK(assembler.Fill() <= OdometerLineAssembler::kCapacity);
        FUZZ_CHECK(assembler.HasPendingByte() == (((at - 1 + n) & 1) != 0));
        assembler.TakeLines([&](std::u16string_view line) {
            FUZZ_CHECK(line.find(u'\n') == std::u16string_view::npos);
            if (auto v = ParseVoltageLine(line)) {
                DetectSerialPulse(way, static_cast<float>(*v));
                // Pulses only ever add up.
                FUZZ_CHECK(way.count >= pulses);
                pulses = way.count;
            }
        });
        FUZZ_CHECK(assembler.Fill() <= OdometerLineAssembler::kKeptTail);
        FUZZ_CHECK(assembler.Text().find(u'\n') == std::u16string_view::npos);
    }
    return 0;
}
