// What every part of a running program may ask about the program itself:
// its name, its main window, its settings record and its user.
//
// The application frame fills this in during start-up and clears it in its
// clean-up; everything else only reads it. Portable: the window handle is
// carried as an integer (the HWND's value on Windows), and closing the main
// window goes through a hook so tests can watch the request.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct AppSettings;

namespace app_context {

// The application's name (UTF-16), as the frame set it: "Orvanta", "Vestrami",
// "Tessarin". Empty until set. The settings loader derives the application
// kind from it.
std::u16string AppName();
void SetAppName(std::u16string name);

// The main window's HWND value; 0 while there is none. The application frame
// learns it by itself: the first top-level window its main dialog creates.
std::uintptr_t MainWindowHandle();
void SetMainWindowHandle(std::uintptr_t hwnd);

// Asks the main window to close, as if the operator had closed it: on
// Windows posts WM_CLOSE to MainWindowHandle() (nothing when there is none).
// Returns true when the request was handed over. A hook installed with
// SetCloseRequestHook replaces the default (tests); an empty hook restores it.
bool RequestMainWindowClose();
using CloseRequestHook = std::function<bool(std::uintptr_t hwnd)>;
void SetCloseRequestHook(CloseRequestHook hook);

// The settings record loaded at start-up; nullptr before start-up and after
// the clean-up. Not owned here.
const AppSettings* CurrentAppSettings();
void SetCurrentAppSettings(const AppSettings* settings);

// The user name written into database error rows (UTF-16): the settings
// record's user name, empty when there is no record.
std::u16string CurrentUserName();

}  // namespace app_context

// Global spellings for callers that prefer them.
inline std::u16string AppName() {
    return app_context::AppName();
}
inline std::uintptr_t MainWindowHandle() {
    return app_context::MainWindowHandle();
}
inline bool RequestMainWindowClose() {
    return app_context::RequestMainWindowClose();
}
inline const AppSettings* CurrentAppSettings() {
    return app_context::CurrentAppSettings();
}
inline std::u16string CurrentUserName() {
    return app_context::CurrentUserName();
}
