// The sensor service's two named shared text blocks: the data block it
// publishes its counters and raw voltages in, and the files-write-state
// block the recorder writes its recording requests into.
#pragma once

#include <string>
#include <vector>

#include "platform/shared_text.h"

inline constexpr wchar_t kDataMappingName[] = L"MySensorFileMappingObject";
inline constexpr wchar_t kDataMutexName[] = L"MySensorBufferMutex";
inline constexpr size_t kDataBlockSize = 1024;
inline constexpr char kDataInitialText[] = "0";
// What readers find after the service has closed.
inline constexpr char kDataClosedText[] = "-1";

inline constexpr wchar_t kFilesWriteStateMappingName[] = L"MyFilesWSMappingObject";
inline constexpr wchar_t kFilesWriteStateMutexName[] = L"MySensorWriteStateMutex";
inline constexpr char kFilesWriteStateInitialText[] = "0\n";

class SensorMappings {
public:
    SensorMappings() = default;
    SensorMappings(const SensorMappings&) = delete;
    SensorMappings& operator=(const SensorMappings&) = delete;

    struct CreateResult {
        // The operator messages (UTF-8) to show, in order.
        std::vector<std::string> messages;
        // The files-write-state block could not be set up: start-up fails.
        bool failed = false;
    };
    // The data block, then the files-write-state block, each created with
    // its mutex initially owned and its initial text.
    CreateResult Create();

    platform::SharedTextBlock& Data() { return m_data; }
    platform::SharedTextBlock& FilesWriteState() { return m_filesWriteState; }

    // One recording-check read of the recorder's text, bounded by the block
    // (262 bytes with the terminator). False when the mutex wait failed.
    bool ReadFilesWriteState(std::string& text);

    // Shutdown: "-1" into the data block, then both blocks unmapped and closed.
    void Close();
    // "-1" into the data block; both blocks stay mapped (a shutdown under a
    // callback that may still publish).
    void WriteClosedText();

private:
    platform::SharedTextBlock m_data;
    platform::SharedTextBlock m_filesWriteState;
};
