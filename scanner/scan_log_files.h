// The scanner logs of a recording: "scanner0.log" and "scanner1.log" in the
// process's current directory (the recording folder), opened for appending
// in text mode (lines end in CR LF on disk under Windows).
//
// The user-interface thread opens, flushes and closes them; each slot's data
// thread writes its lines. A write, flush or close that fails is told to the
// caller, who reports it; the file stays open and later lines are tried
// again (a disk that was full may have room again). One lock per slot serialises all of it, so that
// a line is never written into a file being closed and a file is never closed in the middle of a
// line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "scanner/scan_log_line.h"
#include "scanner/slot_config.h"

namespace scanner {

// "scanner%d.log" for a slot.
std::string ScanLogName(int slot);

class ScanLogFiles {
public:
    ScanLogFiles() = default;
    ~ScanLogFiles() { CloseAll(); }
    ScanLogFiles(const ScanLogFiles&) = delete;
    ScanLogFiles& operator=(const ScanLogFiles&) = delete;

    // Opens the slot's log for appending in the current directory; true when
    // open (already open counts). A file that cannot be opened stays closed.
    bool Open(int slot);
    // False when the file was open and did not close cleanly (what was
    // buffered did not reach the disk).
    bool Close(int slot);
    void CloseAll();
    // Hands what is buffered to the system; returns the slots whose flush
    // failed, as bits (1 << slot).
    unsigned FlushAll();
    bool IsOpen(int slot);

    enum class WriteResult { Written, NotOpen, Failed };
    // Writes the entry's line into the slot's log under its lock. Only a
    // written line counts.
    WriteResult WriteLine(int slot, const ScanLogEntry& entry);

private:
    class FileSink;
    struct Slot {
        std::mutex lock;
        std::FILE* file = nullptr;
        char line[kLogLineBufferSize];
    };
    static bool Valid(int slot) { return slot >= 0 && slot < kScannerSlots; }

    Slot m_slots[kScannerSlots];
};

}  // namespace scanner
