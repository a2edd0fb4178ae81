// A service program reduced to its frame, for the frame tests: the main
// dialog only waits for a stop file, and every step it reaches is appended to
// an events file, one line each.
//
//   frame_probe.exe orvanta|vestrami|tessarin|guard:<mutex name>
// Environment:
//   FRAME_PROBE_EVENTS  the events file (UTF-8 lines)
//   FRAME_PROBE_STOP    the main dialog returns once this file exists (at most 60 s)
//   FRAME_PROBE_UPDATE  ok (default) | stop-install | stop-update | real (the
//                       suite's update checker, when the build has it)
//   FRAME_PROBE_WINDOW  1: the main dialog is a real top-level window that
//                       asks to be closed through the application context
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "common/app_context.h"
#include "common/app_frame.h"
#include "platform/text.h"

namespace {

std::wstring Env(const wchar_t* name) {
    wchar_t value[1024] = {};
    const DWORD n = ::GetEnvironmentVariableW(name, value, 1024);
    return n > 0 && n < 1024 ? std::wstring(value, n) : std::wstring();
}

void Event(const std::string& line) {
    const std::wstring path = Env(L"FRAME_PROBE_EVENTS");
    if (path.empty())
        return;
    if (FILE* f = ::_wfopen(path.c_str(), L"ab")) {
        std::fputs((line + "\n").c_str(), f);
        std::fclose(f);
    }
}

class ProbeUpdateSteps : public StartupUpdateSteps {
public:
    explicit ProbeUpdateSteps(std::wstring mode) : m_mode(std::move(mode)) {}
    ~ProbeUpdateSteps() override { Event("update-deleted"); }
    bool CheckInstallation() override {
        Event("update-check");
        return m_mode != L"stop-install";
    }
    bool RunStartupUpdate() override {
        Event("update-run");
        return m_mode != L"stop-update";
    }

private:
    std::wstring m_mode;
};

// A top-level window standing for the main dialog: the frame must know it
// as the main window, and a close request must close it.
void RunWindow() {
    HWND window = ::CreateWindowExW(0, L"STATIC", L"frame probe", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                    100, nullptr, nullptr, nullptr, nullptr);
    const bool known =
        window && app_context::MainWindowHandle() == reinterpret_cast<std::uintptr_t>(window);
    Event(known ? "window known" : "window unknown");
    const bool requested = RequestMainWindowClose();
    // Pump until the posted WM_CLOSE has destroyed it (at most 10 s).
    const ULONGLONG deadline = ::GetTickCount64() + 10000;
    while (::IsWindow(window) && ::GetTickCount64() < deadline) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(5);
    }
    Event(requested && !::IsWindow(window) ? "window closed" : "window still open");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring variant = argc > 1 ? argv[1] : L"vestrami";
    AppFrameTable table;
    if (variant == L"orvanta")
        table = OrvantaFrameTable();
    else if (variant == L"tessarin")
        table = TessarinFrameTable();
    else
        table = VestramiFrameTable();
    if (variant.rfind(L"guard:", 0) == 0)
        table.guardMutexName = variant.substr(6);
    table.extraCleanup = [] { Event("extra-cleanup"); };

    const std::wstring mode = Env(L"FRAME_PROBE_UPDATE");
    UpdateStepsFactory steps = [mode](int32_t appId) -> std::unique_ptr<StartupUpdateSteps> {
        Event("update-created " + std::to_string(appId));
        return std::make_unique<ProbeUpdateSteps>(mode.empty() ? L"ok" : mode);
    };
#ifdef FRAME_PROBE_HAS_CHECKER
    if (mode == L"real")
        steps = SuiteUpdateSteps();
#endif
    AppFrame frame(table, steps);
    const int code = frame.Run([](AppFrame& f) {
        Event("dialog version=" + platform::WideToUtf8(f.Version()));
        Event("dialog ini=" + platform::AnsiToUtf8(f.IniPath()));
        Event("dialog config=" + platform::WideToUtf8(f.ConfigPath()) +
              (f.Config() && f.Config()->GetRoot() ? " loaded" : " not-loaded"));
        if (Env(L"FRAME_PROBE_WINDOW") == L"1")
            RunWindow();
        const std::wstring stop = Env(L"FRAME_PROBE_STOP");
        for (int i = 0; i < 3000; ++i) {  // 20 ms steps, at most 60 s
            if (stop.empty() || ::GetFileAttributesW(stop.c_str()) != INVALID_FILE_ATTRIBUTES)
                break;
            ::Sleep(20);
        }
        Event("dialog-closed");
    });
    Event("exit " + std::to_string(code) + (frame.OwnsGuard() ? " guard-held" : " guard-free"));
    return code;
}
