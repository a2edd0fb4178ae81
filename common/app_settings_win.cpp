// Loading the settings record for the running program.
#include <windows.h>

#include "common/app_context.h"
#include "common/app_settings.h"
#include "common/reg_settings.h"

namespace {

std::u16string ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::u16string folder(reinterpret_cast<const char16_t*>(path), n);
    const size_t slash = folder.find_last_of(u'\\');
    folder.erase(slash == std::u16string::npos ? 0 : slash + 1);
    return folder;
}

}  // namespace

AppSettings LoadAppSettings() {
    AppSettingsEnvironment env;
    env.programFolder = ProgramFolder();
    env.appName = app_context::AppName();
    env.createDirectory = [](const std::u16string& dir) {
        const wchar_t* w = reinterpret_cast<const wchar_t*>(dir.c_str());
        return ::CreateDirectoryW(w, nullptr) != FALSE || ::GetLastError() == ERROR_ALREADY_EXISTS;
    };
    CRegSettingsMngr reg;
    return LoadAppSettingsFrom(reg, env);
}
