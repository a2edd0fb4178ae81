// A small client of the sensor service's shared blocks for the end-to-end
// tests and by-hand checks: it reads or writes them the way the suite's
// programs do (by name, under each block's mutex with a 5000 ms wait) and
// prints what it saw.
//
//   test_tessarin_client data <count> <interval ms>   print the data text
//   test_tessarin_client state                        print the files-write-state text
//   test_tessarin_client record <folder>              ask for a recording into <folder>
//   test_tessarin_client stop                         ask the recording to stop
//
// Arguments are UTF-16 (the folder may hold Cyrillic letters); the block
// text is written in the ANSI code page, as the recorder writes it. Texts
// are printed one per line in UTF-8, with "\n" for line ends inside them.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/shared_text.h"
#include "platform/text.h"
#include "sensors/recording_control.h"
#include "sensors/sensor_mappings.h"

namespace {

void Print(const std::string& ansi) {
    std::string out;
    for (char c : platform::AnsiToUtf8(ansi)) {
        if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    std::printf("%s\n", out.c_str());
    std::fflush(stdout);
}

platform::SharedTextBlock OpenBlock(const wchar_t* mapping, const wchar_t* mutex, size_t size) {
    platform::SharedTextOpenOptions options;
    options.mappingAttempts = 50;
    options.viewAttempts = 5;
    options.mutexAttempts = 5;
    options.mutexRequired = true;
    return platform::SharedTextBlock::Open(mapping, mutex, size, options);
}

int Data(int count, int intervalMs) {
    platform::SharedTextBlock block = OpenBlock(kDataMappingName, kDataMutexName, kDataBlockSize);
    if (!block.Ready()) {
        std::printf("ERROR open %lu\n", block.LastError());
        return 2;
    }
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            ::Sleep(static_cast<DWORD>(intervalMs));
        std::string text;
        if (block.Read(text) != platform::SharedTextAccess::Ok) {
            std::printf("ERROR lock\n");
            return 3;
        }
        Print(text);
    }
    return 0;
}

platform::SharedTextBlock OpenState() {
    return OpenBlock(kFilesWriteStateMappingName, kFilesWriteStateMutexName, kFilesWriteStateSize);
}

int State() {
    platform::SharedTextBlock block = OpenState();
    std::string text;
    if (!block.Ready() || block.Read(text) != platform::SharedTextAccess::Ok) {
        std::printf("ERROR open\n");
        return 2;
    }
    Print(text);
    return 0;
}

int WriteState(const std::string& ansi) {
    platform::SharedTextBlock block = OpenState();
    if (!block.Ready() || block.Write(ansi) != platform::SharedTextAccess::Ok) {
        std::printf("ERROR open\n");
        return 2;
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"data" && argc > 3)
        return Data(std::wcstol(argv[2], nullptr, 10), std::wcstol(argv[3], nullptr, 10));
    if (command == L"state")
        return State();
    if (command == L"record" && argc > 2)
        return WriteState("1\n" + platform::WideToAnsi(argv[2]));
    if (command == L"stop")
        return WriteState("0\n");
    std::fprintf(stderr, "usage: test_tessarin_client data N MS | state | record FOLDER | stop\n");
    return 1;
}
