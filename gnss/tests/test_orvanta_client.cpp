// A small client of the GNSS service's shared blocks for the end-to-end
// tests: it reads or writes them the way the suite's programs do (by name,
// under each block's mutex with a 5000 ms wait) and prints what it saw.
//
//   test_orvanta_client record <count> <interval ms>   print the record text
//   test_orvanta_client sync                           print the clock-check text
//   test_orvanta_client sync-write <text>
//   test_orvanta_client log                            print the log-folder text
//   test_orvanta_client log-write <text>
//   test_orvanta_client wait-record <timeout ms>       wait for a record with flag 1
//   test_orvanta_client watch-record <ms> <stop file>  print "ready", then every change of
//                                                      the record, until <ms> have passed or
//                                                      the stop file exists
//   test_orvanta_client close <timeout ms>             WM_CLOSE to the service's window,
//                                                      then wait until it is gone
//   test_orvanta_client about                          choose the about item of its system menu
//   test_orvanta_client choose-port <line>             select a line of its port list, as
//                                                      the operator does after a rescan
//
// Texts are printed one per line, with "\n" for line ends inside them.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/shared_text.h"

namespace {

void Print(const std::string& text) {
    std::string out;
    for (char c : text) {
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

int ReadBlock(const wchar_t* mapping, const wchar_t* mutex, size_t size) {
    platform::SharedTextBlock block = OpenBlock(mapping, mutex, size);
    if (!block.Ready()) {
        std::printf("ERROR open %lu\n", block.LastError());
        return 2;
    }
    std::string text;
    if (block.Read(text) != platform::SharedTextAccess::Ok) {
        std::printf("ERROR lock\n");
        return 3;
    }
    Print(text);
    return 0;
}

int WriteBlock(const wchar_t* mapping, const wchar_t* mutex, size_t size, const char* text) {
    platform::SharedTextBlock block = OpenBlock(mapping, mutex, size);
    if (!block.Ready()) {
        std::printf("ERROR open %lu\n", block.LastError());
        return 2;
    }
    return block.Write(text) == platform::SharedTextAccess::Ok ? 0 : 3;
}

BOOL CALLBACK FindServiceWindow(HWND hwnd, LPARAM param) {
    wchar_t title[64] = {};
    ::GetWindowTextW(hwnd, title, 64);
    if (std::wstring(title).rfind(L"Orvanta v", 0) == 0) {
        *reinterpret_cast<HWND*>(param) = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND ServiceWindow() {
    HWND found = nullptr;
    ::EnumWindows(&FindServiceWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

int CloseService(ULONGLONG limitMs) {
    const ULONGLONG start = ::GetTickCount64();
    HWND window = ServiceWindow();
    if (window == nullptr) {
        std::printf("ERROR no window\n");
        return 2;
    }
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    while (::GetTickCount64() - start < limitMs) {
        if (!::IsWindow(window))
            return 0;
        ::Sleep(100);
    }
    std::printf("ERROR still open\n");
    return 1;
}

int PostToService(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND window = ServiceWindow();
    if (window == nullptr) {
        std::printf("ERROR no window\n");
        return 2;
    }
    return ::PostMessageW(window, message, wParam, lParam) ? 0 : 1;
}

// The port list's control id in the service's window.
constexpr int kPortListId = 1001;
// The about item of the system menu.
constexpr WPARAM kAboutCommand = 0x0010;

int ChoosePort(int line) {
    HWND window = ServiceWindow();
    HWND combo = window != nullptr ? ::GetDlgItem(window, kPortListId) : nullptr;
    if (combo == nullptr) {
        std::printf("ERROR no port list\n");
        return 2;
    }
    if (::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(line), 0) == CB_ERR) {
        std::printf("ERROR no line %d\n", line);
        return 1;
    }
    // A selection made by a program sends no notification; the operator's does.
    return ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(kPortListId, CBN_SELCHANGE),
                          reinterpret_cast<LPARAM>(combo))
               ? 0
               : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 64;
    const std::string command = argv[1];
    if (command == "watch-record" && argc > 3) {
        platform::SharedTextBlock block =
            OpenBlock(L"MyGPSFileMappingObject", L"MyGPSBufferMutex", 1024);
        if (!block.Ready()) {
            std::printf("ERROR open %lu\n", block.LastError());
            return 2;
        }
        const ULONGLONG limit = std::strtoull(argv[2], nullptr, 10);
        const std::string stopFile = argv[3];
        std::string last, text;
        block.Read(last);
        std::printf("ready\n");
        std::fflush(stdout);
        // Polled every millisecond: the service publishes a record per fix,
        // at most a few tens a second.
        for (const ULONGLONG start = ::GetTickCount64(); ::GetTickCount64() - start < limit;) {
            if (block.Read(text) == platform::SharedTextAccess::Ok && text != last) {
                Print(text);
                std::fflush(stdout);
                last = text;
            }
            if (::GetFileAttributesA(stopFile.c_str()) != INVALID_FILE_ATTRIBUTES)
                break;
            ::Sleep(1);
        }
        return 0;
    }
    if (command == "record" || command == "wait-record") {
        platform::SharedTextBlock block =
            OpenBlock(L"MyGPSFileMappingObject", L"MyGPSBufferMutex", 1024);
        if (!block.Ready()) {
            std::printf("ERROR open %lu\n", block.LastError());
            return 2;
        }
        if (command == "wait-record") {
            const ULONGLONG limit = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 20000;
            const ULONGLONG start = ::GetTickCount64();
            std::string text;
            while (::GetTickCount64() - start < limit) {
                if (block.Read(text) == platform::SharedTextAccess::Ok && !text.empty() &&
                    text[0] == '1') {
                    Print(text);
                    return 0;
                }
                ::Sleep(100);
            }
            Print(text);
            return 1;
        }
        const int count = argc > 2 ? std::atoi(argv[2]) : 1;
        const DWORD interval = argc > 3 ? static_cast<DWORD>(std::atoi(argv[3])) : 1000;
        for (int i = 0; i < count; ++i) {
            std::string text;
            if (block.Read(text) == platform::SharedTextAccess::Ok)
                Print(text);
            else
                std::printf("ERROR lock\n");
            if (i + 1 < count)
                ::Sleep(interval);
        }
        return 0;
    }
    if (command == "close")
        return CloseService(argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 20000);
    if (command == "about")
        return PostToService(WM_SYSCOMMAND, kAboutCommand, 0);
    if (command == "choose-port" && argc > 2)
        return ChoosePort(std::atoi(argv[2]));
    if (command == "sync")
        return ReadBlock(L"MyGPSSyncMappingObject", L"MyGPSSynchMutex", 260);
    if (command == "sync-write" && argc > 2)
        return WriteBlock(L"MyGPSSyncMappingObject", L"MyGPSSynchMutex", 260, argv[2]);
    if (command == "log")
        return ReadBlock(L"MyLogFolderMappingObject", L"MyGPSLogFolderMutex", 260);
    if (command == "log-write" && argc > 2)
        return WriteBlock(L"MyLogFolderMappingObject", L"MyGPSLogFolderMutex", 260, argv[2]);
    return 64;
}
