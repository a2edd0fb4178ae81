// The start-up and clean-up every service program runs around its main
// dialog: single-instance guard, settings, start-up update, COM, version
// text, XML configuration; then the main dialog modally; then the clean-up
// in reverse. One frame for the three programs, set up by a table of what
// differs between them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/app_settings.h"
#include "common/xml_config.h"

// The two start-up steps of the update checker. False from either stops the
// program (the installation is unusable, a database update failed, or the
// updater has been started and the program makes way for it).
class StartupUpdateSteps {
public:
    virtual ~StartupUpdateSteps() = default;
    virtual bool CheckInstallation() = 0;
    virtual bool RunStartupUpdate() = 0;
};

// Creates the update steps for an application identifier; made after the
// settings are loaded, deleted first by the clean-up.
using UpdateStepsFactory = std::function<std::unique_ptr<StartupUpdateSteps>(int32_t appId)>;

// What differs between the programs.
struct AppFrameTable {
    std::wstring appName;               // "Orvanta"; the application's name in the context
    std::wstring guardMutexName;        // "MyOrvantaGuardMutex"
    std::string secondInstanceMessage;  // UTF-8: "Orvanta уже работает"
    std::wstring versionQueryPath;      // "\StringFileInfo\041904b0\ProductVersion"
    std::wstring registryKeyText;       // the framework's registry key text
    int32_t updateAppId = 0;            // 106, 108, 107
    bool keepsIniPath = false;          // Orvanta: "<folder>\Tuvarnex.ini" as ANSI text
    // Extra clean-up after the guard is released and before the configuration
    // goes (the sensor service frees its buffer here).
    std::function<void()> extraCleanup;
};

AppFrameTable OrvantaFrameTable();
AppFrameTable VestramiFrameTable();
AppFrameTable TessarinFrameTable();

class AppFrame;

// Runs the program's main dialog modally and returns when it has closed.
using MainDialogRunner = std::function<void(AppFrame& frame)>;

// Texts of the frame's own messages.
inline constexpr const char* kNoNetworkSettingsMessage =
    "Не найдены параметры настройки сетевого соединения.";
inline constexpr const char* kOleInitFailedMessage =
    "OLE initialization failed.  Make sure that the OLE libraries are the correct version.";

// The suite's update checker as the frame's update steps (the
// `common_frame_update` library).
UpdateStepsFactory SuiteUpdateSteps();

// A service program's whole run with the suite's update checker:
//   int wmain() { return RunServiceProgram(OrvantaFrameTable(), runMainDialog); }
int RunServiceProgram(AppFrameTable table, const MainDialogRunner& mainDialog);

class AppFrame {
public:
    AppFrame(AppFrameTable table, UpdateStepsFactory updateSteps);
    // Runs the clean-up if Run has not.
    ~AppFrame();
    AppFrame(const AppFrame&) = delete;
    AppFrame& operator=(const AppFrame&) = delete;

    // The whole life of the program: start-up, the main dialog, the clean-up
    // (which runs on every path). Returns the process exit code: 0 when the
    // main dialog ran, 1 when the start-up stopped the program.
    int Run(const MainDialogRunner& mainDialog);

    // Start-up: true when the main dialog ran to its end, false when a step
    // stopped the program. Either way the program then ends with ExitInstance.
    bool InitInstance(const MainDialogRunner& mainDialog);
    // Clean-up, in reverse order of the start-up; safe to call more than once.
    int ExitInstance();

    // --- What the program's parts reach through the application object ------
    const std::wstring& Version() const { return m_version; }
    XmlConfig* Config() const { return m_config.get(); }
    const std::wstring& ConfigPath() const { return m_configPath; }
    // Orvanta: the ANSI path of "Tuvarnex.ini" beside the program; else empty.
    const std::string& IniPath() const { return m_iniPath; }
    const AppSettings* Settings() const { return m_settings.get(); }
    const AppFrameTable& Table() const { return m_table; }
    const std::wstring& RegistryKey() const { return m_registryKey; }
    bool OwnsGuard() const { return m_guard != nullptr; }

    // The program file's folder, without its trailing backslash.
    static std::wstring ProgramFolder();

private:
    bool AcquireGuard();

    AppFrameTable m_table;
    UpdateStepsFactory m_updateFactory;
    std::unique_ptr<StartupUpdateSteps> m_update;
    std::unique_ptr<AppSettings> m_settings;
    HANDLE m_guard = nullptr;  // owned from start-up step 2 to clean-up step 3
    bool m_oleReady = false;
    bool m_cleanedUp = false;
    std::wstring m_registryKey;
    std::wstring m_version;
    std::string m_iniPath;
    std::wstring m_configPath;
    std::unique_ptr<XmlConfig> m_config;
};
