#include "scanner/alarm_beeper.h"

#include <utility>

namespace scanner {

AlarmBeeper::AlarmBeeper(Tone tone) : m_tone(std::move(tone)) {
    m_thread = std::thread([this] { Run(); });
}

AlarmBeeper::~AlarmBeeper() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void AlarmBeeper::Alarm() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_sounding || m_pending)
            return;  // merges into the tone that sounds or is about to
        m_pending = true;
    }
    m_wake.notify_one();
}

uint64_t AlarmBeeper::TonesSounded() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_sounded;
}

void AlarmBeeper::Run() {
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        m_wake.wait(lock, [this] { return m_pending || m_stop; });
        if (!m_pending)
            return;  // stopping, no tone asked for (one asked for still sounds)
        m_pending = false;
        m_sounding = true;
        lock.unlock();
        if (m_tone)
            m_tone(kAlarmFrequencyHz, kAlarmDurationMs);
        lock.lock();
        m_sounding = false;
        ++m_sounded;
    }
}

}  // namespace scanner
