// The block commands and the three services' commands of the recorder.
#include <cstdio>
#include <cwchar>

#include "sim/recorder/recorder_commands.h"
#include "sim/recorder/recorder_core.h"

namespace recorder {
namespace {

// The ANSI form of a command-line text with its escapes undone.
int ArgumentText(const std::wstring& argument, std::string& ansi) {
    if (!WideToAnsiExact(argument, ansi)) {
        PrintError("the text cannot be written in the ANSI code page: " + WideToUtf8(argument));
        return kBadText;
    }
    ansi = Unescape(ansi);
    return kOk;
}

bool ParseSize(const std::wstring& text, std::size_t& size) {
    wchar_t* end = nullptr;
    const unsigned long long value = std::wcstoull(text.c_str(), &end, 10);
    if (text.empty() || *end != L'\0' || value == 0 || value > (1u << 20))
        return false;
    size = static_cast<std::size_t>(value);
    return true;
}

// "<mapping> <mutex> <size>" of the generic block commands, opened.
int OpenNamed(const std::vector<std::wstring>& args, const Options& options,
              platform::SharedTextBlock& block) {
    std::size_t size = 0;
    if (args.size() < 3 || !ParseSize(args[2], size)) {
        PrintError("expected <mapping> <mutex> <size>");
        return kUsage;
    }
    block = OpenBlock(args[0].c_str(), args[1].c_str(), size, options.openTimeoutMs);
    if (!block.Ready()) {
        PrintError("no block " + WideToUtf8(args[0]) + " / " + WideToUtf8(args[1]) + " (" +
                   std::to_string(block.LastError()) + ")");
        return kMissing;
    }
    return kOk;
}

int OpenService(const BlockName& name, const Options& options, platform::SharedTextBlock& block) {
    block = OpenBlock(name, options.openTimeoutMs);
    if (!block.Ready()) {
        PrintError("no block " + WideToUtf8(name.mapping) + " (" +
                   std::to_string(block.LastError()) + ")");
        return kMissing;
    }
    return kOk;
}

int PrintBlock(const BlockName& name, const Options& options, int count) {
    platform::SharedTextBlock block;
    if (const int rc = OpenService(name, options, block); rc != kOk)
        return rc;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            ::Sleep(options.intervalMs);
        std::string text;
        if (const int rc = ReadText(block, text); rc != kOk) {
            PrintError("the block's mutex was not obtained");
            return rc;
        }
        Print(AnsiToUtf8(Printable(text)));
    }
    return kOk;
}

int FolderCommand(const std::vector<std::wstring>& args, const Options& options,
                  std::string (*build)(std::string_view), std::string& command) {
    if (args.size() < 2) {
        PrintError("expected a folder");
        return kUsage;
    }
    std::wstring folder;
    std::string ansi;
    if (const int rc = PrepareFolder(args[1], options, folder, ansi); rc != kOk)
        return rc;
    command = build(ansi);
    return kOk;
}

// The block named by <mapping> <mutex> <size>, and the <text> after them.
int OpenNamedWithText(const std::vector<std::wstring>& args, const Options& options,
                      platform::SharedTextBlock& block, std::string& text) {
    if (args.size() < 4) {
        PrintError("expected <mapping> <mutex> <size> <text>");
        return kUsage;
    }
    if (const int rc = OpenNamed(args, options, block); rc != kOk)
        return rc;
    return ArgumentText(args[3], text);
}

}  // namespace

int PrepareFolder(const std::wstring& argument, const Options& options, std::wstring& folder,
                  std::string& ansi) {
    folder = AbsoluteFolder(argument);
    if (!WideToAnsiExact(folder, ansi)) {
        PrintError("the folder name cannot be written in the ANSI code page: " +
                   WideToUtf8(folder));
        return kBadText;
    }
    // The services take at most 259 characters of a folder; a cut one is another folder.
    if (ansi.size() > MAX_PATH - 1) {
        PrintError("the folder name is longer than 259 characters");
        return kBadText;
    }
    if (options.create && !CreateFolderTree(folder)) {
        PrintError("cannot create the folder " + WideToUtf8(folder) + " (" +
                   std::to_string(::GetLastError()) + ")");
        return kBadText;
    }
    return kOk;
}

int SendToScanner(const char* label, const std::string& command, const Options& options) {
    platform::SharedTextBlock block;
    if (const int rc = OpenService(kScannerCommand, options, block); rc != kOk)
        return rc;
    if (command.size() > MaxText(kScannerCommand.size)) {
        PrintError("the command does not fit the scanner's block");
        return kBadText;
    }
    if (const int rc = WriteText(block, command); rc != kOk) {
        PrintError("the scanner block's mutex was not obtained");
        return rc;
    }
    std::string text;
    const int rc = WaitForText(block, options.timeoutMs, text, [&](const std::string& current) {
        return ReadAnswer(command, current) != Answer::Pending;
    });
    const Answer answer = ReadAnswer(command, text);
    Print(std::string("scanner ") + label + " " + AnswerName(answer) + " " +
          AnsiToUtf8(Printable(text)));
    if (rc == kNoAnswer)
        return kNoAnswer;
    return rc == kOk && answer != Answer::Other ? kOk : (rc == kOk ? kIncomplete : rc);
}

int SendToSensors(const char* label, const std::string& command, const Options& options) {
    platform::SharedTextBlock block;
    if (const int rc = OpenService(kSensorWriteState, options, block); rc != kOk)
        return rc;
    if (const int rc = WriteText(block, command); rc != kOk) {
        PrintError(rc == kBadText ? "the command does not fit the sensor service's block"
                                  : "the sensor block's mutex was not obtained");
        return rc;
    }
    Print(std::string("sensors ") + label + " " + AnsiToUtf8(Printable(command)));
    return kOk;
}

int Gnss::Connect(const Options& options) {
    const std::wstring path = options.gpsDll.empty() ? ToolFolder() + L"\\gps.dll" : options.gpsDll;
    std::string error;
    if (!m_gps.Load(path, error)) {
        PrintError(error);
        return kMissing;
    }
    m_loaded = true;
    // 1 with a receiver, 0 without one (or when the service's blocks never
    // appeared), 10 when the service could not be started.
    const int result = m_gps.Init(options.hidden);
    Print("gnss init " + std::to_string(result));
    if (result == 10)
        return kMissing;
    m_logFolder = OpenBlock(kGnssLogFolder, options.openTimeoutMs);
    if (!m_logFolder.Ready()) {
        PrintError("no block " + WideToUtf8(kGnssLogFolder.mapping));
        return kMissing;
    }
    return kOk;
}

int Gnss::Send(const char* label, const std::string& command, const Options& options) {
    if (!m_loaded || !m_logFolder.Ready())
        return kMissing;
    if (command.size() > kGnssCommandMax) {
        PrintError("the command does not fit the GNSS service's block");
        return kBadText;
    }
    m_gps.SetLogFolder(command);
    // The service answers a command it took with "0\n" (it polls every 100 ms
    // while it has a receiver).
    std::string text;
    const int rc = WaitForText(m_logFolder, options.timeoutMs, text,
                               [&](const std::string& t) { return t != command; });
    if (rc == kOk) {
        Print(std::string("gnss ") + label + " taken");
        return kOk;
    }
    Print(std::string("gnss ") + label + " pending " + AnsiToUtf8(Printable(text)));
    return rc;
}

bool Gnss::Position(double& lat, double& lon, double& speed) {
    if (!m_loaded)
        return false;
    return m_gps.Update(lat, lon, speed) == 1;
}

Gnss::~Gnss() {
    m_gps.UnMap();
}

int ReadBlockCommand(const std::vector<std::wstring>& args, const Options& options) {
    platform::SharedTextBlock block;
    if (const int rc = OpenNamed(args, options, block); rc != kOk)
        return rc;
    std::string text;
    if (const int rc = ReadText(block, text); rc != kOk) {
        PrintError("the block's mutex was not obtained");
        return rc;
    }
    Print(AnsiToUtf8(Printable(text)));
    return kOk;
}

int WriteBlockCommand(const std::vector<std::wstring>& args, const Options& options) {
    platform::SharedTextBlock block;
    std::string text;
    if (const int rc = OpenNamedWithText(args, options, block, text); rc != kOk)
        return rc;
    const int rc = WriteText(block, text);
    if (rc == kBadText)
        PrintError("the text does not fit the block");
    else if (rc != kOk)
        PrintError("the block's mutex was not obtained");
    else
        Print("ok");
    return rc;
}

int WaitBlockCommand(const std::vector<std::wstring>& args, const Options& options) {
    platform::SharedTextBlock block;
    std::string wanted;
    if (const int rc = OpenNamedWithText(args, options, block, wanted); rc != kOk)
        return rc;
    std::string text;
    const int rc = WaitForText(block, options.timeoutMs, text, [&](const std::string& t) {
        return options.contains ? t.find(wanted) != std::string::npos : t == wanted;
    });
    Print((rc == kOk ? "" : "TIMEOUT ") + AnsiToUtf8(Printable(text)));
    return rc;
}

int ScannerCommand(const std::vector<std::wstring>& args, const Options& options) {
    const std::wstring what = args.empty() ? L"" : args[0];
    std::string command;
    if (what == L"status")
        return PrintBlock(kScannerStatus, options, options.count);
    if (what == L"start") {
        if (const int rc = FolderCommand(args, options, &ScannerStart, command); rc != kOk)
            return rc;
        return SendToScanner("start", command, options);
    }
    if (what == L"stop")
        return SendToScanner("stop", ScannerStop(), options);
    if (what == L"log") {
        if (args.size() == 1)
            return SendToScanner("log", ScannerLog(), options);
        if (args.size() != 4) {
            PrintError("scanner log takes no values or three");
            return kUsage;
        }
        return SendToScanner(
            "log", ScannerLog(WideToUtf8(args[1]), WideToUtf8(args[2]), WideToUtf8(args[3])),
            options);
    }
    if (what == L"command" && args.size() == 2) {
        if (const int rc = ArgumentText(args[1], command); rc != kOk)
            return rc;
        return SendToScanner("command", command, options);
    }
    PrintError("scanner status | start <folder> | log [a b c] | stop | command <text>");
    return kUsage;
}

int SensorsCommand(const std::vector<std::wstring>& args, const Options& options) {
    const std::wstring what = args.empty() ? L"" : args[0];
    std::string command;
    if (what == L"start") {
        if (const int rc = FolderCommand(args, options, &SensorsStart, command); rc != kOk)
            return rc;
        return SendToSensors("start", command, options);
    }
    if (what == L"stop")
        return SendToSensors("stop", SensorsStop(), options);
    if (what == L"state")
        return PrintBlock(kSensorWriteState, options, 1);
    if (what == L"data")
        return PrintBlock(kSensorData, options, options.count);
    PrintError("sensors start <folder> | stop | state | data");
    return kUsage;
}

int GnssCommand(const std::vector<std::wstring>& args, const Options& options) {
    const std::wstring what = args.empty() ? L"" : args[0];
    std::string command;
    if (what == L"start") {
        if (const int rc = FolderCommand(args, options, &GnssStart, command); rc != kOk)
            return rc;
    } else if (what == L"stop") {
        command = GnssStop();
    } else if (what == L"continue") {
        command = GnssContinue();
    } else {
        PrintError("gnss start <folder> | stop | continue");
        return kUsage;
    }
    Gnss gnss;
    if (const int rc = gnss.Connect(options); rc != kOk)
        return rc;
    return gnss.Send(what == L"start"  ? "start"
                     : what == L"stop" ? "stop"
                                       : "continue",
                     command, options);
}

int HoldCommand(const std::vector<std::wstring>& args, const Options& options) {
    // Another program's object of another kind under a service's name: the
    // service cannot create its block or mutex while this one lives.
    if (args.size() != 1) {
        PrintError("expected hold <name>");
        return kUsage;
    }
    platform::UniqueHandle held(::CreateEventW(nullptr, TRUE, FALSE, args[0].c_str()));
    if (!held.Valid() || ::GetLastError() == ERROR_ALREADY_EXISTS) {
        PrintError("the name " + WideToUtf8(args[0]) + " is taken (" +
                   std::to_string(::GetLastError()) + ")");
        return kMissing;
    }
    Print("held " + WideToUtf8(args[0]));
    std::fflush(stdout);
    ::Sleep(options.timeoutMs);
    return kOk;
}

}  // namespace recorder
