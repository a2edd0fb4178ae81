// A client of gps.dll for the end-to-end tests, used the way the suite's
// programs use it: the library is loaded from the program's own folder with
// LoadLibrary and every function is looked up by its exported name.
//
//   e2e_gps_dll_client STEP[:ARGUMENT] ...
//
// Steps run in order; the step "stdin" reads further steps from standard
// input, one per line ("STEP ARGUMENT"), until end of input or "exit", so a
// test can act on the receiver between two steps. Every step prints one line
// that starts with the step's name:
//
//   init                  _InitGPSDefault             init <result> <ms>
//   init-hidden           _InitGPSDefaultHidden       init-hidden <result> <ms>
//   update                _UpdateGPS                  update <result>
//   connected             _GPSConnected               connected <result>
//   wait-update N:MS      _UpdateGPS every 200 ms until it returns N, at most MS ms
//                                                     wait-update <last result> <ms>|timeout
//   values                the getters                 values key=value ...
//   log TEXT              _SetLogFolder(TEXT)         log
//   synchro               _Synchro                    synchro
//   nosynchro             _NoSynchro                  nosynchro
//   sync-state            the clock-check block, read by name as any client may
//                                                     sync-state <text>
//   synchro-ack MS        _Synchro, then the block every 10 ms until it no longer
//                         reads -1, at most MS ms      synchro-ack <first> <last> <ms>|timeout
//   sync-stays MS         the block for MS ms: whether it keeps reading -1
//                                                     sync-stays <last> <held ms>
//   quit                  _QuitGPS                    quit <result>
//   unmap                 _UnMap                      unmap
//   sleep MS                                          sleep
//
// Texts are printed with "\n" for line ends inside them. The exit code is 0
// unless the library or one of its functions is missing (2) or a step is
// unknown (64).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "gps/gps.h"
#include "platform/shared_text.h"

namespace {

// The clock-check block of the service and its request text.
constexpr wchar_t kSyncMappingName[] = L"MyGPSSyncMappingObject";
constexpr wchar_t kSyncMutexName[] = L"MyGPSSynchMutex";
constexpr size_t kSyncMappingSize = 260;
// Polling periods, ms.
constexpr DWORD kUpdatePollMs = 200;
constexpr DWORD kSyncPollMs = 10;

struct GpsLibrary {
    HMODULE module = nullptr;
    GpsIntFunction init = nullptr;
    GpsIntFunction initHidden = nullptr;
    GpsIntFunction connected = nullptr;
    GpsIntFunction update = nullptr;
    GpsIntFunction quit = nullptr;
    GpsVoidFunction unmap = nullptr;
    GpsVoidFunction synchro = nullptr;
    GpsVoidFunction noSynchro = nullptr;
    GpsSetLogFolderFunction setLogFolder = nullptr;
    GpsDoubleFunction lat = nullptr;
    GpsDoubleFunction lon = nullptr;
    GpsDoubleFunction curDist = nullptr;
    GpsDoubleFunction latSpeed = nullptr;
    GpsDoubleFunction lonSpeed = nullptr;
    GpsDoubleFunction curSpeed = nullptr;
    GpsDoubleFunction time = nullptr;
    GpsIntFunction satNumber = nullptr;
    GpsDoubleFunction x = nullptr;
    GpsDoubleFunction y = nullptr;
    GpsDoubleFunction heading = nullptr;
};

template <typename F>
bool Load(HMODULE dll, const char* name, F& function) {
    function = reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(dll, name)));
    if (function == nullptr)
        std::printf("missing export %s\n", name);
    return function != nullptr;
}

bool LoadLibraryFunctions(GpsLibrary& gps) {
    gps.module = ::LoadLibraryW(L"gps.dll");
    if (gps.module == nullptr) {
        std::printf("missing gps.dll %lu\n", ::GetLastError());
        return false;
    }
    HMODULE m = gps.module;
    bool ok = true;
    ok &= Load(m, "_InitGPSDefault", gps.init);
    ok &= Load(m, "_InitGPSDefaultHidden", gps.initHidden);
    ok &= Load(m, "_GPSConnected", gps.connected);
    ok &= Load(m, "_UpdateGPS", gps.update);
    ok &= Load(m, "_QuitGPS", gps.quit);
    ok &= Load(m, "_UnMap", gps.unmap);
    ok &= Load(m, "_Synchro", gps.synchro);
    ok &= Load(m, "_NoSynchro", gps.noSynchro);
    ok &= Load(m, "_SetLogFolder", gps.setLogFolder);
    ok &= Load(m, "_GetGPSLat", gps.lat);
    ok &= Load(m, "_GetGPSLong", gps.lon);
    ok &= Load(m, "_GetGPSCurDist", gps.curDist);
    ok &= Load(m, "_GetGPSLatSpeed", gps.latSpeed);
    ok &= Load(m, "_GetGPSLonSpeed", gps.lonSpeed);
    ok &= Load(m, "_GetGPSCurSpeed", gps.curSpeed);
    ok &= Load(m, "_GetGPSTime", gps.time);
    ok &= Load(m, "_GetSatNumber", gps.satNumber);
    ok &= Load(m, "_GetGPSX", gps.x);
    ok &= Load(m, "_GetGPSY", gps.y);
    ok &= Load(m, "_GetGPSHeading", gps.heading);
    return ok;
}

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

void PrintLine(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

DWORD ArgumentMs(const std::string& argument, DWORD fallback) {
    return argument.empty() ? fallback
                            : static_cast<DWORD>(std::strtoul(argument.c_str(), nullptr, 10));
}

// The clock-check block as the service and the library see it; opened on
// first use, after the service has created it.
class SyncBlock {
public:
    bool Read(std::string& text) {
        if (!m_block.Ready()) {
            platform::SharedTextOpenOptions options;
            options.mappingAttempts = 1;
            options.viewAttempts = 1;
            options.mutexAttempts = 1;
            options.mutexRequired = true;
            m_block = platform::SharedTextBlock::Open(kSyncMappingName, kSyncMutexName,
                                                      kSyncMappingSize, options);
            if (!m_block.Ready())
                return false;
        }
        return m_block.Read(text) == platform::SharedTextAccess::Ok;
    }

private:
    platform::SharedTextBlock m_block;
};

bool IsRequest(const std::string& text) {
    return std::atoi(text.c_str()) == -1;
}

class Steps {
public:
    explicit Steps(GpsLibrary& gps) : m_gps(gps) {}

    // false for an unknown step.
    bool Run(const std::string& step, const std::string& argument) {
        if (step == "init" || step == "init-hidden") {
            const ULONGLONG start = ::GetTickCount64();
            const int result = step == "init" ? m_gps.init() : m_gps.initHidden();
            std::printf("%s %d %llu\n", step.c_str(), result, ::GetTickCount64() - start);
        } else if (step == "update") {
            std::printf("update %d\n", m_gps.update());
        } else if (step == "connected") {
            std::printf("connected %d\n", m_gps.connected());
        } else if (step == "wait-update") {
            WaitUpdate(argument);
        } else if (step == "values") {
            std::printf(
                "values lat=%.9f lon=%.9f dist=%.6f latspeed=%.12f lonspeed=%.12f "
                "speed=%.6f time=%.3f sats=%d x=%.3f y=%.3f heading=%.3f\n",
                m_gps.lat(), m_gps.lon(), m_gps.curDist(), m_gps.latSpeed(), m_gps.lonSpeed(),
                m_gps.curSpeed(), m_gps.time(), m_gps.satNumber(), m_gps.x(), m_gps.y(),
                m_gps.heading());
        } else if (step == "log") {
            m_gps.setLogFolder(argument.c_str());
            std::printf("log\n");
        } else if (step == "synchro") {
            m_gps.synchro();
            std::printf("synchro\n");
        } else if (step == "nosynchro") {
            m_gps.noSynchro();
            std::printf("nosynchro\n");
        } else if (step == "sync-state") {
            std::string text;
            std::printf("sync-state %s\n", m_sync.Read(text) ? Escaped(text).c_str() : "ERROR");
        } else if (step == "synchro-ack") {
            SynchroAck(ArgumentMs(argument, 5000));
        } else if (step == "sync-stays") {
            SyncStays(ArgumentMs(argument, 1000));
        } else if (step == "quit") {
            std::printf("quit %d\n", m_gps.quit());
        } else if (step == "unmap") {
            m_gps.unmap();
            std::printf("unmap\n");
        } else if (step == "sleep") {
            ::Sleep(ArgumentMs(argument, 1000));
            std::printf("sleep\n");
        } else {
            std::printf("unknown step %s\n", step.c_str());
            std::fflush(stdout);
            return false;
        }
        std::fflush(stdout);
        return true;
    }

private:
    // "N:MS": poll until _UpdateGPS returns N, at most MS ms.
    void WaitUpdate(const std::string& argument) {
        const size_t colon = argument.find(':');
        const int wanted = std::atoi(argument.substr(0, colon).c_str());
        const DWORD limit =
            colon == std::string::npos ? 30000 : ArgumentMs(argument.substr(colon + 1), 30000);
        const ULONGLONG start = ::GetTickCount64();
        int result = m_gps.update();
        while (result != wanted && ::GetTickCount64() - start < limit) {
            ::Sleep(kUpdatePollMs);
            result = m_gps.update();
        }
        if (result == wanted)
            std::printf("wait-update %d %llu\n", result, ::GetTickCount64() - start);
        else
            std::printf("wait-update %d timeout\n", result);
    }

    void SynchroAck(DWORD limit) {
        m_gps.synchro();
        const ULONGLONG start = ::GetTickCount64();
        std::string first;
        std::string text;
        bool read = m_sync.Read(text);
        first = read ? text : "ERROR";
        while ((!read || IsRequest(text)) && ::GetTickCount64() - start < limit) {
            ::Sleep(kSyncPollMs);
            read = m_sync.Read(text);
        }
        const std::string last = read ? Escaped(text) : "ERROR";
        if (read && !IsRequest(text))
            std::printf("synchro-ack %s %s %llu\n", Escaped(first).c_str(), last.c_str(),
                        ::GetTickCount64() - start);
        else
            std::printf("synchro-ack %s %s timeout\n", Escaped(first).c_str(), last.c_str());
    }

    void SyncStays(DWORD limit) {
        const ULONGLONG start = ::GetTickCount64();
        std::string text;
        bool read = m_sync.Read(text);
        ULONGLONG held = 0;
        while (read && IsRequest(text) && (held = ::GetTickCount64() - start) < limit) {
            ::Sleep(kSyncPollMs);
            read = m_sync.Read(text);
        }
        std::printf("sync-stays %s %llu\n", read ? Escaped(text).c_str() : "ERROR", held);
    }

    GpsLibrary& m_gps;
    SyncBlock m_sync;
};

// "STEP:ARGUMENT" on the command line, "STEP ARGUMENT" on standard input.
void Split(const std::string& text, char separator, std::string& step, std::string& argument) {
    const size_t at = text.find(separator);
    step = text.substr(0, at);
    argument = at == std::string::npos ? std::string() : text.substr(at + 1);
}

int RunStdin(Steps& steps) {
    char buffer[1024];
    while (std::fgets(buffer, sizeof(buffer), stdin) != nullptr) {
        std::string line(buffer);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (line.empty())
            continue;
        if (line == "exit")
            break;
        std::string step;
        std::string argument;
        Split(line, ' ', step, argument);
        if (!steps.Run(step, argument))
            return 64;
    }
    PrintLine("exit");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    GpsLibrary gps;
    if (!LoadLibraryFunctions(gps)) {
        std::fflush(stdout);
        return 2;
    }
    Steps steps(gps);
    int code = 0;
    for (int i = 1; i < argc && code == 0; ++i) {
        std::string step;
        std::string argument;
        Split(argv[i], ':', step, argument);
        if (step == "stdin")
            code = RunStdin(steps);
        else if (!steps.Run(step, argument))
            code = 64;
    }
    ::FreeLibrary(gps.module);
    return code;
}
