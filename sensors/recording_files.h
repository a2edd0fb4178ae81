// The files the sensor service writes into the current directory, which a
// recording switches into the recorder's folder: the per-input files, the
// session description, the snapshot file and the calibration file. All are
// text files (CR LF on disk).
#pragma once

#include <array>
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "sensors/sensor_types.h"

// The per-input files of one recording. The sample path appends to them at
// 1000 lines a second each. Inputs whose purposes share a file name share
// one stream, so that their lines follow each other whole and in sample
// order, under one header. Every stream has a large buffer of its own; the
// window thread writes it out once a second (Flush), and closing writes out
// the rest. A write, flush or close that fails is remembered (Failed) and
// the set goes on writing what it can.
class ChannelFileSet {
public:
    ChannelFileSet() = default;
    ~ChannelFileSet() { CloseAll(); }
    ChannelFileSet(ChannelFileSet&& other) noexcept;
    ChannelFileSet& operator=(ChannelFileSet&& other) noexcept;
    ChannelFileSet(const ChannelFileSet&) = delete;
    ChannelFileSet& operator=(const ChannelFileSet&) = delete;

    // Opens, for appending, the file of each input's purpose in the current
    // directory, once per file name, and writes its header. A file that
    // cannot be opened is left out silently.
    static ChannelFileSet Open(const SensorSetup& setup);

    // Bit i: input i has an open file.
    unsigned Mask() const;
    void Write(int input, const char* line, size_t length);
    // Writes out what the streams hold.
    void Flush();
    // Closes every stream; false when a close (or anything before) failed.
    bool CloseAll();
    // A write, flush or close failed since the set was opened.
    bool Failed() const { return m_failed.load(std::memory_order_relaxed); }

private:
    void Check(bool ok) {
        if (!ok)
            m_failed.store(true, std::memory_order_relaxed);
    }

    // The stream of each input (inputs of one file name share it), and the
    // distinct streams with their buffers, each listed once.
    std::array<FILE*, kInputCount> m_files{};
    std::array<FILE*, kInputCount> m_streams{};
    std::array<std::unique_ptr<char[]>, kInputCount> m_buffers;
    std::atomic<bool> m_failed{false};
};

// "session.ini" in the current directory: the enabled inputs' sections.
void WriteSessionFile(const SensorSetup& setup);

// Appends one line to "acp.dmp" in the current directory.
bool AppendSnapshot(std::string_view line);

// "tar.txt", created (truncated) with its header; open until closed.
class CalibrationFile {
public:
    CalibrationFile() = default;
    ~CalibrationFile() { Close(); }
    CalibrationFile(const CalibrationFile&) = delete;
    CalibrationFile& operator=(const CalibrationFile&) = delete;

    bool Create();
    bool IsOpen() const { return m_file != nullptr; }
    void Close();

private:
    FILE* m_file = nullptr;
};

// The working directory moves of a recording. Folder texts are ANSI.
bool EnterRecordingFolder(const std::string& ansiFolder);
bool LeaveRecordingFolder();
std::wstring CurrentDirectory();
