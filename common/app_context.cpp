#include "common/app_context.h"

#include <mutex>

#include "common/app_settings.h"

namespace app_context {

// The platform's way of closing the main window (app_context_win.cpp or
// app_context_posix.cpp).
bool DefaultCloseRequest(std::uintptr_t hwnd);

namespace {

struct Context {
    std::mutex lock;
    std::u16string appName;
    std::uintptr_t mainWindow = 0;
    CloseRequestHook closeHook;
    const AppSettings* settings = nullptr;
};

Context& Instance() {
    static Context context;
    return context;
}

}  // namespace

std::u16string AppName() {
    Context& c = Instance();
    std::lock_guard<std::mutex> guard(c.lock);
    return c.appName;
}

void SetAppName(std::u16string name) {
    Context& c = Instance();
    std::lock_guard<std::mutex> guard(c.lock);
    c.appName = std::move(name);
}

std::uintptr_t MainWindowHandle() {
    Context& c = Instance();
    std::lock_guard<std::mutex> guard(c.lock);
    return c.mainWindow;
}

void SetMainWindowHandle(std::uintptr_t hwnd) {
    Context& c = Instance();
    std::lock_guard<std::mutex> guard(c.lock);
    c.mainWindow = hwnd;
}

bool RequestMainWindowClose() {
    Context& c = Instance();
    CloseRequestHook hook;
    std::uintptr_t hwnd = 0;
    {
        std::lock_guard<std::mutex> guard(c.lock);
        hook = c.closeHook;
        hwnd = c.mainWindow;
    }
    // Called outside the lock: the hook may ask the context again.
    return hook ? hook(hwnd) : DefaultCloseRequest(hwnd);
}

void SetCloseRequestHook(CloseRequestHook hook) {
    Context& c = Instance();
    std::lock_guard<std::mutex> guard(c.lock);
    c.closeHook = std::move(hook);
}

const AppSettings* CurrentAppSettings() {
    Context& c = Instance();
    std::lock_guard<std::mutex> guard(c.lock);
    return c.settings;
}

void SetCurrentAppSettings(const AppSettings* settings) {
    Context& c = Instance();
    std::lock_guard<std::mutex> guard(c.lock);
    c.settings = settings;
}

std::u16string CurrentUserName() {
    const AppSettings* s = CurrentAppSettings();
    return s ? s->userName : std::u16string();
}

}  // namespace app_context
