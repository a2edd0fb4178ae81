// The service's side of the two client command mappings: the clock-check
// request ("MyGPSSyncMappingObject") and the run-log command
// ("MyLogFolderMappingObject"). Pure decisions: what the service reads,
// what it writes back and what it does with the run log.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/clock.h"

// Kernel object names and sizes of the three shared blocks.
constexpr const char* kGpsMappingName = "MyGPSFileMappingObject";
constexpr const char* kGpsMutexName = "MyGPSBufferMutex";
constexpr const char* kSyncMappingName = "MyGPSSyncMappingObject";
constexpr const char* kSyncMutexName = "MyGPSSynchMutex";
constexpr const char* kLogFolderMappingName = "MyLogFolderMappingObject";
constexpr const char* kLogFolderMutexName = "MyGPSLogFolderMutex";
constexpr size_t kCommandMappingSize = 260;
constexpr uint32_t kMutexWaitMs = 5000;

// Initial text of both command mappings, and the acknowledgement of a run-log command.
constexpr std::string_view kCommandIdle = "0\n";
// Acknowledgement of a clock-check request.
constexpr std::string_view kSyncAck = "0";
// Written by the service after connecting when a run-log path is stored.
constexpr std::string_view kContinueRunLog = "2\n";

// Copies the text of a shared block: up to the first NUL, never past `size`
// bytes and never more than size-1 characters, so a client that left no
// terminator cannot make the service read beyond the mapping.
std::string ReadSharedText(const char* view, size_t size);
// Writes `text` and a NUL, cut to size-1 characters. Returns false when cut.
bool WriteSharedText(char* view, size_t size, std::string_view text);

// Leading integer of a command text, read like atoi (leading blanks, sign,
// digits; 0 when none), saturating instead of overflowing.
int32_t LeadingInteger(std::string_view text);

// Clock-check poll: the request is taken when the text reads -1.
struct SyncPollResult {
    bool requested = false;                 // set SyncState = -1
    std::optional<std::string_view> reply;  // text to write back
};
SyncPollResult PollSyncRequest(std::string_view mappingText);

// Run-log command from the log-folder mapping.
enum class RunLogCommandKind { Idle, Start, Stop, Continue };
struct RunLogCommand {
    RunLogCommandKind kind = RunLogCommandKind::Idle;
    std::string folder;  // Start: text after the first space (ANSI code page)
};
RunLogCommand ParseRunLogCommand(std::string_view mappingText);

// What the service does for one command.
struct RunLogActions {
    bool acknowledge = false;             // write kCommandIdle into the mapping
    bool closeRunLog = false;             // close the open run log first
    std::optional<std::string> openPath;  // open this file...
    bool truncate = false;                // ...for writing ("w") or else appending ("a")
    bool saveStoredPath = false;          // write storedPath to "локальный_файл"
};

// Keeps the stored run-log path and turns commands into actions.
class RunLogController {
public:
    explicit RunLogController(std::string storedPath = {}) : m_storedPath(std::move(storedPath)) {}

    // `utcTick` is the UTC time read by the latest one-second tick (file name).
    RunLogActions Handle(const RunLogCommand& command, const platform::CivilTime& utcTick);
    const std::string& StoredPath() const { return m_storedPath; }

private:
    std::string m_storedPath;
};
