// The recorder's commands, one function each; they print their results
// (recorder_io.h) and return an exit code.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "sim/recorder/recorder_io.h"

namespace recorder {

struct Options {
    DWORD timeoutMs = 5000;        // answers, acknowledgements and waited-for texts
    DWORD openTimeoutMs = 2000;    // a service's block to appear
    int count = 1;                 // sensors data: reads
    DWORD intervalMs = 1000;       // between reads, between log commands
    int logs = 5;                  // session: log commands to the scanner
    DWORD settleMs = 1500;         // session: for the sensor service's once-a-second check
    std::wstring values = L"gps";  // session: "gps", "none" or "a b c"
    std::wstring gpsDll;           // empty: gps.dll beside the tool
    bool hidden = false;
    bool create = true;
    bool contains = false;
    bool gnss = true, scanner = true, sensors = true;
};

// Steps shared by the single commands and the session; each prints one line.

// The recording folder as the services get it: full, created unless told
// not to, in the ANSI code page; an exit code.
int PrepareFolder(const std::wstring& argument, const Options& options, std::wstring& folder,
                  std::string& ansi);
// Writes a command into the scanner's block and waits for its answer:
// "scanner <label> <done|scan-failed|other|pending> <text>".
int SendToScanner(const char* label, const std::string& command, const Options& options);
// Writes the sensor service's recording state: "sensors <label> <text>".
int SendToSensors(const char* label, const std::string& command, const Options& options);

// gps.dll and the GNSS service's log-folder block.
class Gnss {
public:
    // Loads gps.dll and connects: "gnss init <result>".
    int Connect(const Options& options);
    // _SetLogFolder, then waits until the service took the command ("0\n"):
    // "gnss <label> taken" or "gnss <label> pending <text>".
    int Send(const char* label, const std::string& command, const Options& options);
    // The current position for a log command's values.
    bool Position(double& lat, double& lon, double& speed);
    ~Gnss();

private:
    GpsLibrary m_gps;
    bool m_loaded = false;
    platform::SharedTextBlock m_logFolder;
};

int ReadBlockCommand(const std::vector<std::wstring>& args, const Options& options);
int WriteBlockCommand(const std::vector<std::wstring>& args, const Options& options);
int WaitBlockCommand(const std::vector<std::wstring>& args, const Options& options);
int ScannerCommand(const std::vector<std::wstring>& args, const Options& options);
int SensorsCommand(const std::vector<std::wstring>& args, const Options& options);
int GnssCommand(const std::vector<std::wstring>& args, const Options& options);
int SessionCommand(const std::vector<std::wstring>& args, const Options& options);
int ListCommand(const std::vector<std::wstring>& args, const Options& options);
// Holds a name with an event of its own for --timeout ms: "held <name>".
int HoldCommand(const std::vector<std::wstring>& args, const Options& options);

}  // namespace recorder
