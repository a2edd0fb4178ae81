// A whole recording of an installation, as the suite's recording program
// makes one, and the listing of what the services wrote.
#include <cstdio>
#include <map>

#include "sim/recorder/recorder_commands.h"
#include "sim/recorder/recorder_core.h"

namespace recorder {
namespace {

// The three values of a log command: the GNSS position, fixed ones, or none.
std::string LogCommand(const Options& options, Gnss& gnss, bool gnssUp, int index) {
    if (options.values == L"none")
        return ScannerLog();
    if (options.values == L"gps") {
        double lat = 0, lon = 0, speed = 0;
        if (!gnssUp || !gnss.Position(lat, lon, speed))
            return ScannerLog();
        char a[32], b[32], c[32];
        std::snprintf(a, sizeof a, "%.8f", lat);
        std::snprintf(b, sizeof b, "%.8f", lon);
        std::snprintf(c, sizeof c, "%.3f", speed);
        return ScannerLog(a, b, c);
    }
    // "a b c" as given; "{i}" in a value is the number of the log command.
    std::string text = WideToUtf8(options.values);
    for (size_t at; (at = text.find("{i}")) != std::string::npos;)
        text.replace(at, 3, std::to_string(index));
    return "2 " + text;
}

int PrintListing(const std::wstring& folder) {
    const std::vector<FileEntry> files = ListFolder(folder);
    struct Totals {
        int files = 0;
        std::size_t lines = 0;
    };
    std::map<std::string, Totals> totals = {{"gnss", {}}, {"scanner", {}}, {"sensors", {}}};
    Print("folder " + WideToUtf8(folder));
    for (const FileEntry& f : files) {
        const std::string name = WideToUtf8(f.name);
        const char* service = ServiceOfFile(name);
        Print(std::string("file ") + service + " " + std::to_string(f.size) + " " +
              std::to_string(f.lines) + " " + name);
        totals[service].files += 1;
        totals[service].lines += f.lines;
    }
    for (const auto& [service, t] : totals)
        Print("service " + service + " files " + std::to_string(t.files) + " lines " +
              std::to_string(t.lines));
    return kOk;
}

}  // namespace

int ListCommand(const std::vector<std::wstring>& args, const Options& options) {
    if (args.empty()) {
        PrintError("expected a folder");
        return kUsage;
    }
    return PrintListing(AbsoluteFolder(args[0]));
}

int SessionCommand(const std::vector<std::wstring>& args, const Options& options) {
    if (args.empty()) {
        PrintError("expected a folder");
        return kUsage;
    }
    std::wstring folder;
    std::string ansi;
    if (const int rc = PrepareFolder(args[0], options, folder, ansi); rc != kOk)
        return rc;
    Print("session " + WideToUtf8(folder));
    bool complete = true;
    const auto step = [&](int rc) {
        complete = complete && rc == kOk;
        return rc == kOk;
    };

    // Start: the GNSS run log first (connecting may start the service), then
    // the scanner, which answers, then the sensors, which look once a second.
    Gnss gnss;
    bool gnssUp = false;
    if (options.gnss && step(gnss.Connect(options)))
        gnssUp = step(gnss.Send("start", GnssStart(ansi), options));
    bool scannerUp = options.scanner && step(SendToScanner("start", ScannerStart(ansi), options));
    if (options.sensors)
        step(SendToSensors("start", SensorsStart(ansi), options));
    ::Sleep(options.settleMs);

    if (scannerUp) {
        for (int i = 1; i <= options.logs; ++i) {
            step(SendToScanner(("log " + std::to_string(i)).c_str(),
                               LogCommand(options, gnss, gnssUp, i), options));
            if (i < options.logs)
                ::Sleep(options.intervalMs);
        }
    } else if (options.logs > 0) {
        ::Sleep(options.intervalMs * static_cast<DWORD>(options.logs - 1));
    }

    // Stop in the reverse order, then give the sensor service its next look.
    if (options.sensors)
        step(SendToSensors("stop", SensorsStop(), options));
    if (scannerUp)
        step(SendToScanner("stop", ScannerStop(), options));
    if (gnssUp)
        step(gnss.Send("stop", GnssStop(), options));
    ::Sleep(options.settleMs);

    PrintListing(folder);
    Print(complete ? "session complete" : "session incomplete");
    return complete ? kOk : kIncomplete;
}

}  // namespace recorder
