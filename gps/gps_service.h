// Finding and starting the GNSS service program.
#pragma once

#include <string>

namespace gps {

enum class ServiceState { Running, NotRunning, Unknown };

// Looks for a process whose executable file name contains `needle`
// (case-sensitive); Unknown when the process list cannot be taken.
ServiceState FindServiceProcess(const std::wstring& needle);

// Folder (with trailing backslash) of the module that holds this code: gps.dll
// itself, or the program when the client is linked in statically.
std::wstring OwnModuleFolder();

// Starts `path` with SW_HIDE or SW_SHOWNA; false when it cannot be started.
bool StartServiceProgram(const std::wstring& path, bool hidden);

}  // namespace gps
