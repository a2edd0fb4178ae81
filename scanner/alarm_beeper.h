// The clearance alarm's tone, sounded on a thread of its own: the system's
// beep blocks its caller for the tone's length, and a data thread that
// waited for it would miss triggers during every alarm. An alarm raised
// while the tone sounds merges into it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace scanner {

inline constexpr uint32_t kAlarmFrequencyHz = 5000;
inline constexpr uint32_t kAlarmDurationMs = 100;

class AlarmBeeper {
public:
    // Sounds one tone (frequency Hz, duration ms), blocking for its length.
    using Tone = std::function<void(uint32_t frequencyHz, uint32_t durationMs)>;

    explicit AlarmBeeper(Tone tone);
    // Stops the thread (after the tone that sounds, if any).
    ~AlarmBeeper();
    AlarmBeeper(const AlarmBeeper&) = delete;
    AlarmBeeper& operator=(const AlarmBeeper&) = delete;

    // Asks for the alarm tone; returns at once. Requests made while a tone
    // sounds, or before the thread took the last one, give no extra tone.
    void Alarm();

    // Tones sounded so far.
    uint64_t TonesSounded() const;

private:
    void Run();

    Tone m_tone;
    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_pending = false;
    bool m_sounding = false;
    bool m_stop = false;
    uint64_t m_sounded = 0;
    std::thread m_thread;
};

}  // namespace scanner
