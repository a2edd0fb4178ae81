// serial_baseline <COM number> <seconds>
//
// Only the overlapped serial loop of a receiver reader, nothing else: waits
// for a comm event, takes the queued bytes and drops them, for the given
// time. Under Wine such a loop alone grows the process's resident memory;
// the soak measures it beside the services to tell Wine's growth from ours.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "platform/heap_report.h"
#include "platform/serial_port.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: serial_baseline <COM number> <seconds>\n");
        return 64;
    }
    const platform::HeapReport heapReport;  // only when the soak asks for it
    const int port = std::atoi(argv[1]);
    const ULONGLONG limitMs = std::strtoull(argv[2], nullptr, 10) * 1000;
    platform::SerialPort serial;
    if (!serial.Open(port) || !serial.Configure8N1(115200) || !serial.SetEventMask(EV_RXCHAR)) {
        std::fprintf(stderr, "serial_baseline: COM%d cannot be opened\n", port);
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    char buffer[1024];
    unsigned long long bytes = 0;
    for (const ULONGLONG start = ::GetTickCount64(); ::GetTickCount64() - start < limitMs;) {
        DWORD mask = 0;
        if (serial.WaitEvent(1000, mask) == platform::SerialPort::WaitResult::Failed)
            ::Sleep(100);
        while (const DWORD queued = serial.QueuedInput()) {
            const int n = serial.Read(buffer, queued < sizeof buffer ? queued : sizeof buffer, 100);
            if (n <= 0)
                break;
            bytes += static_cast<unsigned>(n);
        }
    }
    std::printf("read %llu bytes\n", bytes);
    return 0;
}
