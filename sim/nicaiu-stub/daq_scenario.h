// What the stand-in NI-DAQmx driver plays: the signals on the analogue
// inputs, and the faults it schedules. Portable, so the waveforms and the
// scenario grammar are unit tested natively.
//
// A scenario is a text file, one directive per line, '#' starts a comment:
//
//   device name=Dev1
//   channel ai0 role=odometer speed_kmh=36 path_mm=100 low=0.2 high=4.8
//   channel ai1 role=inclinometer volts=2.5 amplitude=0.1 period_s=20
//   channel ai2 role=laser volts=3.2
//   channel ai3 role=supply volts=12.4 noise=0.005
//   read_error read=5000 status=-200279 text="Attempted to read samples..."
//   empty_read read=300 count=2
//   fail call=DAQmxCfgSampClkTiming status=-200077 text="..."
//   done after_samples=20000 status=-200279 text="..."
//   unplug read=3000 gone_s=4 status=-50405 text="..."
//   buffer scans=10000        # else the driver's own size for the timing (InputBufferScans)
//   seed value=7
//   record path=C:\runs\daq-record.txt
//
// Values are key=value tokens; a value with spaces is written in double
// quotes, where \" is a quote, \\ a backslash and \n a line feed (any other
// backslash is itself, so Windows paths need no doubling unless a name
// starts with n). Times in seconds, voltages in volts, speeds in km/h, paths
// in millimetres.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace daqsim {

// The stand-in plays a USB-6008: eight single-ended or four differential inputs.
inline constexpr int kMaxChannels = 8;

enum class WaveKind {
    Constant,  // volts (+ noise)
    Square,    // low/high levels; frequency from frequency_hz or speed_kmh and path_mm
    Sine,      // volts + amplitude * sin(2 pi t / period_s)
    Triangle,  // volts +- amplitude, linear, one period per period_s
};

struct ChannelSpec {
    std::string role;  // free label for the record: odometer, inclinometer, laser, supply, ...
    WaveKind kind = WaveKind::Constant;
    double volts = 0.0;        // constant level; mean of sine and triangle
    double amplitude = 0.0;    // V, sine and triangle
    double periodS = 10.0;     // s, sine and triangle
    double low = 0.0;          // V, square
    double high = 5.0;         // V, square
    double frequencyHz = 0.0;  // square: explicit pulse frequency (wins over speed and path)
    double speedKmh = 0.0;     // square: vehicle speed
    double pathMm = 100.0;     // square: path per odometer pulse
    double duty = 0.5;         // square: fraction of each period at the high level
    double phase = 0.0;        // fraction of a period the waveform starts at
    double noise = 0.0;        // V, peak of a deterministic uniform noise added to every sample
};

// The read call (1-based count of DAQmxReadAnalogF64 calls on the task) that
// fails, `count` calls in a row from there.
struct ReadError {
    std::uint64_t read = 0;
    std::uint32_t count = 1;
    std::int32_t status = -200279;
    std::string text;  // extended error text; empty: the stand-in's own for the status
};

// Reads that return success with no sample, `count` in a row from `read` on.
// The samples stay in the buffer for the next read.
struct EmptyRead {
    std::uint64_t read = 0;
    std::uint32_t count = 1;
};

// The `occurrence`-th call of `function` in the process returns `status`
// without doing anything.
struct CallFailure {
    std::string function;
    std::uint32_t occurrence = 1;
    std::int32_t status = -200077;
    std::string text;
};

// The acquisition ends by itself after that many samples and the done event
// reports `status`.
struct DoneEvent {
    std::uint64_t afterSamples = 0;
    std::int32_t status = 0;
    std::string text;
};

// The device is pulled out at the `read`-th read of a task: that read and
// every later one of the task fail with `status`, the acquisition stops
// without a done event, the device leaves the SetupAPI listing and every call
// that touches the device fails with "device cannot be accessed" until it is
// listed again `goneS` seconds later (a USB cable pulled and put back).
struct Unplug {
    std::uint64_t read = 0;
    double goneS = 5.0;
    std::int32_t status = -50405;
    std::string text;  // extended error text; empty: the stand-in's own for the status
};

struct Scenario {
    std::string device = "Dev1";
    std::array<ChannelSpec, kMaxChannels> channels{};
    std::uint32_t seed = 1;
    // Unread scans the driver's buffer holds; 0: sized as NI-DAQmx sizes it
    // for the task's timing (InputBufferScans).
    std::uint32_t bufferScans = 0;
    std::vector<ReadError> readErrors;
    std::vector<EmptyRead> emptyReads;
    std::vector<CallFailure> failures;
    std::optional<DoneEvent> done;
    std::optional<Unplug> unplug;
    std::string recordPath;  // used when the environment names no record file

    // A drive at 36 km/h over a level road: odometer on ai0, inclinometer at
    // zero slope on ai1, a laser on ai2, supply on ai3.
    static Scenario Default();

    const ReadError* ReadErrorAt(std::uint64_t read) const;
    bool EmptyReadAt(std::uint64_t read) const;
    const CallFailure* FailureOf(std::string_view function, std::uint32_t occurrence) const;
};

struct ParseResult {
    Scenario scenario;
    std::vector<std::string> errors;  // "line N: ..." for every line that was not understood
};

// Starts from Default() for the channels the text does not name; a channel
// line replaces everything that channel had.
ParseResult ParseScenario(std::string_view text);

// Pulses per second of a square channel (0 for other kinds).
double PulseFrequencyHz(const ChannelSpec& channel);

// The value of `channel` (physical input number `input`) at sample `index`
// of an acquisition at `rate` samples per second.
double SampleValue(const ChannelSpec& channel, int input, std::uint64_t index, double rate,
                   std::uint32_t seed);

// For square channels: whether sample `index` lies in the high part of its
// period (noise aside). False for other kinds.
bool SquareHigh(const ChannelSpec& channel, std::uint64_t index, double rate);

// The scans per channel NI-DAQmx's input buffer holds: a finite acquisition
// gets exactly its samples; a continuous one the larger of `samplesPerChannel`
// and NI's default for the rate in S/s (up to 100: 1 kS; up to 10 000: 10 kS;
// up to 1 000 000: 100 kS; above: 1 MS).
std::uint64_t InputBufferScans(double rate, std::uint64_t samplesPerChannel, bool finite);

// A one-line description of the channel for the record.
std::string DescribeChannel(const ChannelSpec& channel);

const char* WaveKindName(WaveKind kind);

}  // namespace daqsim
