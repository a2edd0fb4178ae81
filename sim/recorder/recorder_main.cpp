// recorder.exe: does for an installation what the suite's recording program
// does with the three services, and reads or writes any of their blocks.
// See README.md beside this file, or run it with --help.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <type_traits>
#include <vector>

#include "sim/recorder/recorder_commands.h"

namespace {

constexpr char kUsageText[] =
    "recorder.exe COMMAND [ARGUMENTS] [OPTIONS]\n"
    "\n"
    "Any block (texts in the ANSI code page, printed as UTF-8 with \\n for line feeds):\n"
    "  read  MAPPING MUTEX SIZE          print the block's text\n"
    "  write MAPPING MUTEX SIZE TEXT     write TEXT (escapes \\n \\r \\t \\\\ \\xHH)\n"
    "  wait  MAPPING MUTEX SIZE TEXT     wait until the block holds TEXT (--contains: has it)\n"
    "The scanner service (MyScanCommandMappingObject, answers 3 or -1):\n"
    "  scanner start FOLDER              record into FOLDER (\"1\", a line feed, FOLDER)\n"
    "  scanner log [A B C]               log the next scans (\"2\" or \"2 A B C\")\n"
    "  scanner stop                      \"0\"\n"
    "  scanner command TEXT              any command text\n"
    "  scanner status                    print MyScanFileMappingObject\n"
    "The sensor service (MyFilesWSMappingObject, looked at once a second):\n"
    "  sensors start FOLDER              \"1\", a line feed, FOLDER\n"
    "  sensors stop                      \"0\\n\"\n"
    "  sensors state                     print the files-write-state block\n"
    "  sensors data                      print MySensorFileMappingObject (--count, --interval)\n"
    "The GNSS service, through gps.dll (_SetLogFolder; the service answers \"0\\n\"):\n"
    "  gnss start FOLDER                 \"1 FOLDER\": a new run log in FOLDER\n"
    "  gnss stop                         \"1\": no more run log\n"
    "  gnss continue                     \"2\": go on with the last run log\n"
    "The installation:\n"
    "  session FOLDER                    start all three into FOLDER, send --logs log\n"
    "                                    commands --interval apart, stop all, list FOLDER\n"
    "  list FOLDER                       the files of FOLDER by service, sizes, lines\n"
    "Tests:\n"
    "  hold NAME                         take NAME with an event for --timeout ms, so that\n"
    "                                    a service cannot create its block or mutex under it\n"
    "\n"
    "Options:\n"
    "  --timeout MS       wait for an answer, an acknowledgement or a text (5000)\n"
    "  --open-timeout MS  wait for a service's block to exist (2000)\n"
    "  --count N          sensors data, scanner status: reads (1)\n"
    "  --interval MS      between reads; session: between log commands (1000)\n"
    "  --logs N           session: log commands (5)\n"
    "  --settle MS        session: after starting and after stopping, so the sensor\n"
    "                     service's once-a-second look sees it (1500)\n"
    "  --values V         session: values of the log commands: gps (the GNSS position,\n"
    "                     the default), none (\"2\" alone), or \"A B C\" ({i}: the number)\n"
    "  --no-gnss, --no-scanner, --no-sensors   session: leave that service out\n"
    "  --gps-dll PATH     the gps.dll to load (default: the one beside recorder.exe)\n"
    "  --hidden           start Orvanta.exe hidden when gps.dll has to start it\n"
    "  --no-create        do not create the folder\n"
    "\n"
    "Folders are made absolute and created. A folder whose name the ANSI code page cannot\n"
    "hold, or longer than 259 characters, is refused: the services would record elsewhere.\n"
    "Exit codes: 0 done, 1 usage, 2 a block or gps.dll missing, 3 a mutex not obtained,\n"
    "4 no answer in time, 5 a text that does not fit, 6 an unexpected answer or a\n"
    "session step that failed.\n";

bool Number(const wchar_t* text, long long& value) {
    wchar_t* end = nullptr;
    value = std::wcstoll(text, &end, 10);
    return *text != L'\0' && *end == L'\0' && value >= 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    recorder::Options options;
    std::vector<std::wstring> args;
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        const bool hasValue = i + 1 < argc;
        long long n = 0;
        const auto numeric = [&](auto& target) {
            if (!hasValue || !Number(argv[i + 1], n)) {
                recorder::PrintError("option " + recorder::WideToUtf8(a) + " needs a number");
                return false;
            }
            target = static_cast<std::remove_reference_t<decltype(target)>>(n);
            ++i;
            return true;
        };
        if (a == L"--help" || a == L"-h" || a == L"/?") {
            std::fputs(kUsageText, stdout);
            return recorder::kOk;
        } else if (a == L"--timeout") {
            if (!numeric(options.timeoutMs))
                return recorder::kUsage;
        } else if (a == L"--open-timeout") {
            if (!numeric(options.openTimeoutMs))
                return recorder::kUsage;
        } else if (a == L"--count") {
            if (!numeric(options.count))
                return recorder::kUsage;
        } else if (a == L"--interval") {
            if (!numeric(options.intervalMs))
                return recorder::kUsage;
        } else if (a == L"--logs") {
            if (!numeric(options.logs))
                return recorder::kUsage;
        } else if (a == L"--settle") {
            if (!numeric(options.settleMs))
                return recorder::kUsage;
        } else if (a == L"--values" && hasValue) {
            options.values = argv[++i];
        } else if (a == L"--gps-dll" && hasValue) {
            options.gpsDll = argv[++i];
        } else if (a == L"--hidden") {
            options.hidden = true;
        } else if (a == L"--no-create") {
            options.create = false;
        } else if (a == L"--contains") {
            options.contains = true;
        } else if (a == L"--no-gnss") {
            options.gnss = false;
        } else if (a == L"--no-scanner") {
            options.scanner = false;
        } else if (a == L"--no-sensors") {
            options.sensors = false;
        } else if (a.size() > 2 && a.compare(0, 2, L"--") == 0) {
            recorder::PrintError("unknown option " + recorder::WideToUtf8(a));
            return recorder::kUsage;
        } else {
            args.push_back(a);
        }
    }
    if (args.empty()) {
        std::fputs(kUsageText, stdout);
        return recorder::kUsage;
    }
    const std::wstring command = args[0];
    args.erase(args.begin());
    if (command == L"read")
        return recorder::ReadBlockCommand(args, options);
    if (command == L"write")
        return recorder::WriteBlockCommand(args, options);
    if (command == L"wait")
        return recorder::WaitBlockCommand(args, options);
    if (command == L"scanner")
        return recorder::ScannerCommand(args, options);
    if (command == L"sensors")
        return recorder::SensorsCommand(args, options);
    if (command == L"gnss")
        return recorder::GnssCommand(args, options);
    if (command == L"session")
        return recorder::SessionCommand(args, options);
    if (command == L"list")
        return recorder::ListCommand(args, options);
    if (command == L"hold")
        return recorder::HoldCommand(args, options);
    recorder::PrintError("unknown command " + recorder::WideToUtf8(command) + " (see --help)");
    return recorder::kUsage;
}
