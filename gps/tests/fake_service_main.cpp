// A stand-in "Orvanta.exe" for the gps.dll tests: publishes one fix, answers
// clock-check and log-folder commands every 100 ms, and ends when the event
// "SurveyFakeGnssServiceQuit" is set (or after two minutes). To the file named
// by SURVEY_FAKE_GNSS_COMMANDS it appends "show <n>" with the show mode it was
// started with, then "sync" for every clock-check request and the text of
// every log-folder command it takes.
#include <windows.h>

#include <cstdio>
#include <string>

#include "fake_gnss_publisher.h"

int main() {
    gps_test::FakeGnssPublisher publisher;
    if (!publisher.Ok())
        return 2;
    publisher.Publish(
        "1 55.500000000000 37.500000000000 2.000000000000 0.000010000000 0.000020000000 "
        "2.000000000000 123456.000 9");
    HANDLE quit = ::CreateEventW(nullptr, TRUE, FALSE, L"SurveyFakeGnssServiceQuit");
    wchar_t logPath[MAX_PATH] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"SURVEY_FAKE_GNSS_COMMANDS", logPath, MAX_PATH);
    size_t reported = 0;
    int syncReported = 0;
    if (n > 0 && n < MAX_PATH) {
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        ::GetStartupInfoW(&startup);
        const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;
        if (FILE* f = _wfopen(logPath, L"ab")) {
            std::fprintf(f, "show %d\n", show);
            std::fclose(f);
        }
    }
    for (int i = 0; i < 1200; ++i) {  // 100 ms steps: two minutes at most
        if (::WaitForSingleObject(quit, 100) == WAIT_OBJECT_0)
            break;
        publisher.Poll();
        const auto commands = publisher.LogCommands();
        const int syncRequests = publisher.SyncRequests();
        if (n > 0 && n < MAX_PATH && (commands.size() > reported || syncRequests > syncReported)) {
            if (FILE* f = _wfopen(logPath, L"ab")) {
                for (; syncReported < syncRequests; ++syncReported)
                    std::fprintf(f, "sync\n");
                for (; reported < commands.size(); ++reported)
                    std::fprintf(f, "%s\n", commands[reported].c_str());
                std::fclose(f);
            }
        }
    }
    ::CloseHandle(quit);
    return 0;
}
