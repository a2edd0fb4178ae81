// The recorder's Win32 side: the services' blocks, gps.dll, the recording
// folder, and its output (UTF-8, one result a line).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "gps/gps.h"
#include "platform/handles.h"
#include "platform/shared_text.h"
#include "sim/recorder/recorder_core.h"

namespace recorder {

// Exit codes of the tool.
enum ExitCode : int {
    kOk = 0,
    kUsage = 1,
    kMissing = 2,     // a block, gps.dll or an entry point is not there
    kLockFailed = 3,  // a block's mutex was not obtained
    kNoAnswer = 4,    // a wait ran out
    kBadText = 5,     // a text does not fit its block or the ANSI code page
    kIncomplete = 6,  // session: a step did not go through (see its lines)
};

// One line to standard output, UTF-8.
void Print(std::string_view utf8);
void PrintError(std::string_view utf8);

std::string WideToUtf8(std::wstring_view wide);
std::wstring Utf8ToWide(std::string_view utf8);
std::string AnsiToUtf8(std::string_view ansi);
// The text in the system's ANSI code page, the services' encoding; false when
// a character has no exact form there.
bool WideToAnsiExact(std::wstring_view wide, std::string& ansi);

// Opens a service's block by name, trying for up to `timeoutMs`.
platform::SharedTextBlock OpenBlock(const BlockName& name, DWORD timeoutMs);
platform::SharedTextBlock OpenBlock(const wchar_t* mapping, const wchar_t* mutex, std::size_t size,
                                    DWORD timeoutMs);

// Reads, writes and waits under the block's mutex; results as exit codes.
int ReadText(const platform::SharedTextBlock& block, std::string& text);
int WriteText(platform::SharedTextBlock& block, std::string_view text);
// Polls every 10 ms until `done(text)` holds or `timeoutMs` passes; the last
// text read is left in `text`.
template <typename Done>
int WaitForText(const platform::SharedTextBlock& block, DWORD timeoutMs, std::string& text,
                Done&& done) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    while (true) {
        const int rc = ReadText(block, text);
        if (rc == kOk && done(text))
            return kOk;
        if (::GetTickCount64() >= end)
            return rc == kOk ? kNoAnswer : rc;
        ::Sleep(10);
    }
}

// gps.dll, loaded from a full path (by default the tool's own folder).
class GpsLibrary {
public:
    // False (with `error` set) when the library or an entry point is missing.
    bool Load(const std::wstring& path, std::string& error);
    // _InitGPSDefaultHidden or _InitGPSDefault: 0 failure, 10 service not
    // startable, otherwise the service's connection flag.
    int Init(bool hidden);
    void SetLogFolder(const std::string& ansiCommand);
    // _UpdateGPS, then the position getters.
    int Update(double& lat, double& lon, double& speed);
    void UnMap();

private:
    platform::UniqueModule m_module;
    GpsIntFunction m_init = nullptr, m_initHidden = nullptr, m_update = nullptr;
    GpsSetLogFolderFunction m_setLogFolder = nullptr;
    GpsVoidFunction m_unmap = nullptr;
    GpsDoubleFunction m_lat = nullptr, m_lon = nullptr, m_speed = nullptr;
};

// The folder of the running program, without a trailing backslash.
std::wstring ToolFolder();
// The full form of a folder name, without a trailing backslash (a drive root keeps it).
std::wstring AbsoluteFolder(const std::wstring& folder);
// Creates the folder and its missing parents; false when it cannot.
bool CreateFolderTree(const std::wstring& folder);

struct FileEntry {
    std::wstring name;
    std::uint64_t size = 0;
    std::size_t lines = 0;
};
// The files of a folder (no subfolders), by name.
std::vector<FileEntry> ListFolder(const std::wstring& folder);

}  // namespace recorder
