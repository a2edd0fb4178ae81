// survey-inspect.exe: a field engineer's look at what the suite's services
// publish, without the recording program. Lists the seven named blocks,
// reads one, watches any set of them and prints every change with a UTC
// stamp, and sends a command text to a command block and prints its answer.
// Every access holds the block's mutex (at most 5000 ms wait) for one copy
// only; blocks are opened, never created.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/text.h"
#include "tools/inspect/inspect_blocks.h"
#include "tools/inspect/inspect_core.h"

namespace {

using inspect::BlockInfo;

enum ExitCode : int {
    kOk = 0,
    kUsage = 1,
    kMissing = 2,     // the block (or its mutex) does not exist
    kLockFailed = 3,  // the block's mutex was not obtained in time
    kNoAnswer = 4,    // send: no answer in time
    kBadText = 5,     // send: the text does not fit the block or the ANSI code page
};

constexpr char kUsageHead[] =
    "survey-inspect.exe COMMAND [OPERANDS] [OPTIONS]\n"
    "\n"
    "Looks at the named shared blocks of the survey suite's services (Orvanta,\n"
    "Vestrami, Tessarin) the way their other clients do: each access waits at most\n"
    "5000 ms for the block's mutex and holds it for one copy only. Blocks are only\n"
    "opened: a block that does not exist is reported, never created.\n"
    "\n"
    "Commands:\n"
    "  list                 every block with its mutex, size, owner and whether it\n"
    "                       exists (present, absent, no mutex)\n"
    "  read NAME            print the block's text once\n"
    "  watch [NAME...]      print each block's text with a UTC stamp when it\n"
    "                       changes (all seven when no NAME is given); a block that\n"
    "                       does not exist is looked for again once a second\n"
    "  send NAME TEXT       write TEXT into a command block, then print the answer\n"
    "                       the service writes over it, with a UTC stamp\n"
    "\n"
    "Options:\n"
    "  --interval MS        watch, send: between two looks at a block (10)\n"
    "  --for MS             watch: stop after MS (default: until Ctrl+C)\n"
    "  --timeout MS         send: how long to wait for the answer (5000)\n"
    "  --help               this text\n"
    "\n"
    "NAME is a mapping name (any case) or its short name:\n";

constexpr char kUsageTail[] =
    "\n"
    "Texts are the services' 8-bit texts (ANSI code page), printed as UTF-8 on one\n"
    "line with escapes: \\n line feed, \\r, \\t, \\\\ and \\xHH for other control bytes.\n"
    "TEXT takes the same escapes, e.g. send filesws \"1\\nD:\\\\run\" starts a\n"
    "sensor recording into D:\\run. Command texts:\n"
    "  sync       \"-1\" asks for a clock check; the service answers \"0\"\n"
    "  logfolder  \"1 FOLDER\" new run log, \"1\" stop, \"2\" continue; answer \"0\\n\"\n"
    "  scancmd    \"1\" + separator + FOLDER start, \"0\" stop, \"2 [A B C]\" log the\n"
    "             next scans; answer \"3\\n\" (\"-1\\n\" when the last scan failed)\n"
    "  filesws    \"1\\nFOLDER\" record, \"0\\n\" stop; never answered (the service\n"
    "             looks at it once a second)\n"
    "Changes that come and go between two looks are not seen: the sensor data\n"
    "block changes 1000 times a second and is printed at most once per look.\n"
    "\n"
    "Lines: \"STAMP NAME TEXT\"; \"STAMP NAME absent\" while a watched block does not\n"
    "exist; \"STAMP NAME sent TEXT\", then \"STAMP NAME answer TEXT\" for send.\n"
    "Exit codes: 0 done, 1 usage, 2 block or mutex missing, 3 mutex not obtained,\n"
    "4 no answer in time, 5 text does not fit the block or the ANSI code page.\n";

// Set by Ctrl+C/Ctrl+Break; the loops end between two looks, never while
// they hold a mutex.
std::atomic<bool> g_stop{false};
std::atomic<bool> g_stopped{false};

BOOL WINAPI OnConsoleControl(DWORD) {
    g_stop = true;
    // The process ends when this returns: give the loop time to let go.
    for (int i = 0; i < 100 && !g_stopped; ++i)
        ::Sleep(10);
    return FALSE;
}

void Print(const std::string& utf8) {
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out != INVALID_HANDLE_VALUE && out != nullptr && ::GetConsoleMode(out, &mode)) {
        const std::wstring line = platform::Utf8ToWide(utf8) + L"\r\n";
        DWORD written = 0;
        ::WriteConsoleW(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        return;
    }
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string Stamp() {
    return inspect::UtcStamp(platform::CurrentClock().UtcNow());
}

std::string Shown(const std::string& ansi) {
    return inspect::Escape(platform::AnsiToUtf8(ansi));
}

bool WideToAnsiExact(const std::wstring& wide, std::string& ansi) {
    ansi.clear();
    if (wide.empty())
        return true;
    BOOL usedDefault = FALSE;
    const int n =
        ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(),
                              static_cast<int>(wide.size()), nullptr, 0, nullptr, &usedDefault);
    ansi.resize(static_cast<size_t>(std::max(n, 0)));
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                          ansi.data(), n, nullptr, &usedDefault);
    return n > 0 && !usedDefault && platform::AnsiToWide(ansi) == wide;
}

// One copy of the block's text under its mutex.
platform::SharedTextAccess Copy(const platform::SharedTextBlock& block, std::string& text) {
    return block.Read(text);
}

const char* Problem(platform::SharedTextAccess access) {
    switch (access) {
        case platform::SharedTextAccess::TimedOut:
            return "mutex not obtained in 5000 ms";
        case platform::SharedTextAccess::WaitFailed:
            return "mutex wait failed";
        default:
            return "no mutex";
    }
}

int List() {
    for (const BlockInfo& info : inspect::Blocks()) {
        const platform::SharedTextBlock block = inspect::OpenExisting(info);
        const char* state = !block.HasMapping() ? "absent"
                            : !block.HasView()  ? "no view"
                            : !block.HasMutex() ? "no mutex"
                                                : "present";
        char line[160];
        std::snprintf(line, sizeof line, "%-27s %-24s %5u  %-9s %-8s %s",
                      inspect::MappingName(info).c_str(), platform::WideToUtf8(info.mutex).c_str(),
                      static_cast<unsigned>(info.size), info.shortName, info.owner, state);
        Print(line);
    }
    return kOk;
}

const BlockInfo* Find(const std::string& name) {
    const BlockInfo* info = inspect::FindBlock(name);
    if (info == nullptr)
        Print("unknown block " + platform::AnsiToUtf8(name) + " (list shows the names)");
    return info;
}

int Read(const std::string& name) {
    const BlockInfo* info = Find(name);
    if (info == nullptr)
        return kUsage;
    const platform::SharedTextBlock block = inspect::OpenExisting(*info);
    if (!block.Ready()) {
        Print(inspect::MappingName(*info) + (block.HasMapping() ? " has no mutex" : " absent"));
        return kMissing;
    }
    std::string text;
    const auto access = Copy(block, text);
    if (access != platform::SharedTextAccess::Ok) {
        Print(inspect::MappingName(*info) + ": " + Problem(access));
        return kLockFailed;
    }
    Print(Shown(text));
    return kOk;
}

struct Watched {
    const BlockInfo* info;
    platform::SharedTextBlock block;
    std::optional<std::string> last;  // the text printed last
    bool reportedAbsent = false;
    bool reportedProblem = false;
    bool tried = false;
    DWORD lastOpenTick = 0;
};

// How often a watched block that does not exist is looked for, ms.
constexpr DWORD kReopenMs = 1000;

int Watch(const inspect::Options& options) {
    std::vector<Watched> watched;
    if (options.names.empty()) {
        for (const BlockInfo& info : inspect::Blocks())
            watched.push_back({&info, {}, {}});
    }
    for (const std::string& name : options.names) {
        const BlockInfo* info = Find(name);
        if (info == nullptr)
            return kUsage;
        watched.push_back({info, {}, {}});
    }
    const DWORD start = ::GetTickCount();
    std::string text;
    while (!g_stop) {
        for (Watched& w : watched) {
            const std::string name = inspect::MappingName(*w.info);
            if (!w.block.Ready()) {
                if (w.tried && ::GetTickCount() - w.lastOpenTick < kReopenMs)
                    continue;
                w.block = inspect::OpenExisting(*w.info);
                w.tried = true;
                w.lastOpenTick = ::GetTickCount();
                if (!w.block.Ready()) {
                    if (!w.reportedAbsent)
                        Print(Stamp() + " " + name +
                              (w.block.HasMapping() ? " no mutex" : " absent"));
                    w.reportedAbsent = true;
                    w.block.Close();
                    continue;
                }
                w.reportedAbsent = false;
            }
            const auto access = Copy(w.block, text);
            if (access != platform::SharedTextAccess::Ok) {
                if (!w.reportedProblem)
                    Print(Stamp() + " " + name + " " + Problem(access));
                w.reportedProblem = true;
                continue;
            }
            w.reportedProblem = false;
            if (!w.last || *w.last != text) {
                Print(Stamp() + " " + name + " " + Shown(text));
                w.last = text;
            }
        }
        if (options.durationMs != 0 && ::GetTickCount() - start >= options.durationMs)
            break;
        ::Sleep(options.intervalMs);
    }
    g_stopped = true;
    return kOk;
}

int Send(const inspect::Options& options) {
    const BlockInfo* info = Find(options.names[0]);
    if (info == nullptr)
        return kUsage;
    const std::string name = inspect::MappingName(*info);
    if (!info->command) {
        Print(name + " is not a command block: its service writes it");
        return kUsage;
    }
    if (options.text.size() > info->size - 1) {
        Print(name + " holds at most " + std::to_string(info->size - 1) + " characters");
        return kBadText;
    }
    platform::SharedTextBlock block = inspect::OpenExisting(*info);
    if (!block.Ready()) {
        Print(name + (block.HasMapping() ? " has no mutex" : " absent"));
        return kMissing;
    }
    const auto written = block.Write(options.text);
    if (written != platform::SharedTextAccess::Ok) {
        Print(name + ": " + Problem(written));
        return kLockFailed;
    }
    Print(Stamp() + " " + name + " sent " + Shown(options.text));
    if (!info->answered) {
        Print(name + " is never answered: its service only reads it");
        return kOk;
    }
    const DWORD start = ::GetTickCount();
    std::string text;
    while (!g_stop && ::GetTickCount() - start < options.answerMs) {
        ::Sleep(options.intervalMs);
        const auto access = Copy(block, text);
        if (access == platform::SharedTextAccess::Ok && text != options.text) {
            Print(Stamp() + " " + name + " answer " + Shown(text));
            g_stopped = true;
            return kOk;
        }
    }
    g_stopped = true;
    Print(Stamp() + " " + name + " no answer within " + std::to_string(options.answerMs) + " ms");
    return kNoAnswer;
}

void PrintUsage() {
    std::string text = kUsageHead;
    for (const BlockInfo& info : inspect::Blocks()) {
        char line[160];
        std::snprintf(line, sizeof line, "  %-9s  %-27s %4u bytes, %s%s\n", info.shortName,
                      inspect::MappingName(info).c_str(), static_cast<unsigned>(info.size),
                      info.owner,
                      !info.command   ? " publishes it"
                      : info.answered ? ", command block (answered)"
                                      : ", command block (not answered)");
        text += line;
    }
    text += kUsageTail;
    text.pop_back();
    Print(text);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // The services' texts are in the ANSI code page: so is what is sent.
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        std::string ansi;
        if (!WideToAnsiExact(argv[i], ansi)) {
            Print("argument " + platform::WideToUtf8(argv[i]) +
                  " has characters the ANSI code page cannot hold");
            return kBadText;
        }
        args.push_back(ansi);
    }
    const inspect::ParseResult parsed = inspect::ParseArguments(args);
    if (!parsed.options) {
        Print(platform::AnsiToUtf8(parsed.error));
        return kUsage;
    }
    const inspect::Options& options = *parsed.options;
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    switch (options.command) {
        case inspect::Command::Help:
            PrintUsage();
            return kOk;
        case inspect::Command::List:
            return List();
        case inspect::Command::Read:
            return Read(options.names[0]);
        case inspect::Command::Watch:
            return Watch(options);
        case inspect::Command::Send:
            return Send(options);
    }
    return kUsage;
}
