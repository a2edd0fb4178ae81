// Stands in for the GNSS service's process in the recorder's Wine test:
// gps.dll looks for a running "Orvanta" before it opens the service's blocks
// (the test creates those itself). It waits until the test sets the event
// named on its command line, at most two minutes.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    HANDLE stop = ::CreateEventW(
        nullptr, TRUE, FALSE, commandLine && *commandLine ? commandLine : L"RecorderTestOrvanta");
    ::WaitForSingleObject(stop, 120000);
    ::CloseHandle(stop);
    return 0;
}
