// The acquisition state shared by the driver's callback thread and the
// window thread: the per-sample processor, the open per-input files and the
// data block the lines are published in.
//
// The callback runs 1000 times a second. It holds the hub's lock only while
// it processes one scan and appends its file lines (a few microseconds, no
// system call but an occasional buffer write-out); the window thread holds
// it only to copy readings or to swap in a new configuration or file set,
// never while it opens or closes files. The data line is published after
// the lock is released, under the block's own named mutex.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>

#include "platform/shared_text.h"
#include "sensors/display_model.h"
#include "sensors/odometer_lines.h"
#include "sensors/recording_files.h"
#include "sensors/sample_processor.h"

class SensorHub {
public:
    SensorHub() = default;
    SensorHub(const SensorHub&) = delete;
    SensorHub& operator=(const SensorHub&) = delete;

    // --- Driver thread ---------------------------------------------------------
    // One scan of raw readings (V) taken at `fileTime` (100 ns since 1601, UTC).
    void OnScan(const double (&raw)[kInputCount], uint64_t fileTime);

    // --- Window thread ---------------------------------------------------------
    // Bytes read from the serial odometer: every complete "voltage=" line
    // feeds the Way input's pulse detector.
    void OnSerialBytes(const uint8_t* bytes, size_t count);
    // Publishes the serial odometer's data line (counters only).
    void PublishSerialLine();

    void SetSetup(const SensorSetup& setup);
    void ResetCounters();
    void ResetReferences();
    DisplayReadings Readings() const;
    std::array<uint32_t, kInputCount> Counts() const;

    // The data block the lines go to; null stops publishing. The block must
    // stay alive until it is detached and the callbacks have ended.
    void AttachDataBlock(platform::SharedTextBlock* block);

    // Recording: the file set is swapped in or out under the lock; the
    // caller opens and closes the files outside it.
    void StartWriting(ChannelFileSet files);
    ChannelFileSet StopWriting();
    // Writes out what the open files hold (once a display tick). True when
    // a write to them has failed since the recording started.
    bool FlushFiles();
    // Shutdown with a callback that could not be stopped: takes the files
    // only when no callback holds the lock; otherwise they stay where they
    // are, in use, and nothing is returned.
    std::optional<ChannelFileSet> TryStopWriting();

private:
    void Publish(const char* line, size_t length);

    mutable std::mutex m_lock;
    SampleProcessor m_processor;  // guarded by m_lock
    ChannelFileSet m_files;       // guarded by m_lock
    bool m_writing = false;       // guarded by m_lock
    std::atomic<platform::SharedTextBlock*> m_dataBlock{nullptr};
    // Driver thread only (the driver never runs two callbacks of a task at once).
    ScanLines m_scanLines;
    // Window thread only.
    OdometerLineAssembler m_serialLines;
};
