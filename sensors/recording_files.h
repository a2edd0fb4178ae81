// The files the sensor service writes into the current directory, which a
// recording switches into the recorder's folder: the per-input files, the
// session description, the snapshot file and the calibration file. All are
// text files (CR LF on disk).
#pragma once

#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "sensors/sensor_types.h"

// The per-input files of one recording. The sample path appends to them at
// 1000 lines a second each: every file has a large buffer of its own and is
// never flushed per line; closing writes out the rest.
class ChannelFileSet {
public:
    ChannelFileSet() = default;
    ~ChannelFileSet() { CloseAll(); }
    ChannelFileSet(ChannelFileSet&& other) noexcept;
    ChannelFileSet& operator=(ChannelFileSet&& other) noexcept;
    ChannelFileSet(const ChannelFileSet&) = delete;
    ChannelFileSet& operator=(const ChannelFileSet&) = delete;

    // Opens, for appending, the file of each input's purpose in the current
    // directory and writes its header. A file that cannot be opened is left
    // out silently.
    static ChannelFileSet Open(const SensorSetup& setup);

    // Bit i: input i has an open file.
    unsigned Mask() const;
    void Write(int input, const char* line, size_t length);
    void CloseAll();

private:
    std::array<FILE*, kInputCount> m_files{};
    std::array<std::unique_ptr<char[]>, kInputCount> m_buffers;
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
