// A small program of the kind that runs beside the GNSS service: it loads
// gps.dll from its own folder, lets it start (or find) Orvanta.exe and prints
// the current fix once a second.
//
//   e2e_gps_fix_client [seconds] [--hidden]
//
// Exit code 0 when at least one fix with a receiver was seen.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gps/gps.h"

namespace {

template <typename F>
F Load(HMODULE dll, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(dll, name)));
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 20;
    bool hidden = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--hidden") == 0)
            hidden = true;
        else
            seconds = std::atoi(argv[i]);
    }
    HMODULE dll = ::LoadLibraryW(L"gps.dll");
    if (dll == nullptr) {
        std::printf("gps.dll not found beside the program\n");
        return 2;
    }
    auto init = Load<GpsIntFunction>(dll, hidden ? "_InitGPSDefaultHidden" : "_InitGPSDefault");
    auto update = Load<GpsIntFunction>(dll, "_UpdateGPS");
    auto lat = Load<GpsDoubleFunction>(dll, "_GetGPSLat");
    auto lon = Load<GpsDoubleFunction>(dll, "_GetGPSLong");
    auto speed = Load<GpsDoubleFunction>(dll, "_GetGPSCurSpeed");
    auto time = Load<GpsDoubleFunction>(dll, "_GetGPSTime");
    auto sats = Load<GpsIntFunction>(dll, "_GetSatNumber");
    auto unmap = Load<GpsVoidFunction>(dll, "_UnMap");
    if (!init || !update || !lat || !lon || !speed || !time || !sats || !unmap) {
        std::printf("gps.dll lacks an export\n");
        ::FreeLibrary(dll);
        return 2;
    }
    std::printf("init: %d\n", init());
    std::fflush(stdout);
    int fixes = 0;
    for (int i = 0; i < seconds; ++i) {
        const int connected = update();
        if (connected == 1)
            ++fixes;
        std::printf("%2d  connected %d  %010.3f UTC  lat %.6f  lon %.6f  %5.1f km/h  sats %d\n", i,
                    connected, time(), lat(), lon(), speed() * 3.6, sats());
        std::fflush(stdout);
        ::Sleep(1000);
    }
    unmap();
    ::FreeLibrary(dll);
    return fixes > 0 ? 0 : 1;
}
