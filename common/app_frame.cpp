#include "common/app_frame.h"

#include <commctrl.h>
#include <ole2.h>

#include "common/app_context.h"
#include "common/product_version.h"
#include "platform/notifier.h"
#include "platform/text.h"

namespace {

// The framework's registry key texts.
constexpr const wchar_t* kRussianWizardKey =
    L"Локальные приложения, созданные с помощью мастера приложений";
constexpr const wchar_t* kEnglishWizardKey = L"Local AppWizard-Generated Applications";

constexpr const wchar_t* kRussianVersionPath = L"\\StringFileInfo\\041904b0\\ProductVersion";
constexpr const wchar_t* kEnglishVersionPath = L"\\StringFileInfo\\040904b0\\ProductVersion";

// The file name of the ANSI ini path kept for the GNSS service.
constexpr const wchar_t* kIniFileName = L"\\Tuvarnex.ini";
// The ANSI ini path's buffer in the application object (characters with terminator).
constexpr size_t kIniPathCapacity = 260;

// Remembers the first top-level window the main dialog creates on this
// thread as the application's main window.
thread_local HHOOK t_mainWindowHook = nullptr;

// The system's own input-method windows are top-level too; they are never
// the main window.
bool IsImeWindowClass(LPCWSTR className) {
    if (!className || IS_INTRESOURCE(className))
        return false;
    return ::lstrcmpiW(className, L"IME") == 0 || ::lstrcmpiW(className, L"MSCTFIME UI") == 0;
}

LRESULT CALLBACK MainWindowHook(int code, WPARAM wParam, LPARAM lParam) {
    const HHOOK hook = t_mainWindowHook;
    const LRESULT next = ::CallNextHookEx(hook, code, wParam, lParam);
    if (code == HCBT_CREATEWND) {
        const auto* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam);
        if (create && create->lpcs && !(create->lpcs->style & WS_CHILD) &&
            !IsImeWindowClass(create->lpcs->lpszClass) && app_context::MainWindowHandle() == 0) {
            app_context::SetMainWindowHandle(reinterpret_cast<std::uintptr_t>(wParam));
        }
        // Zero lets the window be created.
        return 0;
    }
    return next;
}

}  // namespace

AppFrameTable OrvantaFrameTable() {
    AppFrameTable t;
    t.appName = L"Orvanta";
    t.guardMutexName = L"MyOrvantaGuardMutex";
    t.secondInstanceMessage = "Orvanta уже работает";
    t.versionQueryPath = kRussianVersionPath;
    t.registryKeyText = kRussianWizardKey;
    t.updateAppId = 106;
    t.keepsIniPath = true;
    return t;
}

AppFrameTable VestramiFrameTable() {
    AppFrameTable t;
    t.appName = L"Vestrami";
    t.guardMutexName = L"MyVestramiGuardMutex";
    t.secondInstanceMessage = "Vestrami уже работает";
    t.versionQueryPath = kEnglishVersionPath;
    t.registryKeyText = kEnglishWizardKey;
    t.updateAppId = 108;
    return t;
}

AppFrameTable TessarinFrameTable() {
    AppFrameTable t;
    t.appName = L"Tessarin";
    t.guardMutexName = L"MyTessarinGuardMutex";
    t.secondInstanceMessage = "Tessarin уже работает";
    t.versionQueryPath = kEnglishVersionPath;
    t.registryKeyText = kEnglishWizardKey;
    t.updateAppId = 107;
    return t;
}

AppFrame::AppFrame(AppFrameTable table, UpdateStepsFactory updateSteps)
    : m_table(std::move(table)), m_updateFactory(std::move(updateSteps)) {
    app_context::SetAppName(platform::ToU16(m_table.appName));
}

AppFrame::~AppFrame() {
    ExitInstance();
}

std::wstring AppFrame::ProgramFolder() {
    wchar_t module[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring folder(module, n);
    const size_t slash = folder.find_last_of(L'\\');
    folder.erase(slash == std::wstring::npos ? 0 : slash);
    return folder;
}

int AppFrame::Run(const MainDialogRunner& mainDialog) {
    const bool ran = InitInstance(mainDialog);
    ExitInstance();
    return ran ? 0 : 1;
}

bool AppFrame::AcquireGuard() {
    HANDLE mutex = ::CreateMutexW(nullptr, TRUE, m_table.guardMutexName.c_str());
    const DWORD error = ::GetLastError();
    if (mutex && error != ERROR_ALREADY_EXISTS) {
        m_guard = mutex;
        return true;
    }
    // Another copy holds it (or holds it under other rights): this copy ends
    // and leaves the other's mutex alone; a handle that does not own the
    // mutex is closed at once, never released.
    if (mutex)
        ::CloseHandle(mutex);
    if (mutex || error == ERROR_ACCESS_DENIED) {
        platform::ShowMessage(m_table.secondInstanceMessage);
        return false;
    }
    // The system refused the mutex itself: the program runs unguarded rather
    // than not at all.
    return true;
}

bool AppFrame::InitInstance(const MainDialogRunner& mainDialog) {
    m_cleanedUp = false;
    // 1. Common control classes (structure size 8, every class of the set).
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), 0xFF};
    ::InitCommonControlsEx(&controls);

    // 2. Single instance.
    if (!AcquireGuard())
        return false;

    // 4. Settings.
    m_settings = std::make_unique<AppSettings>(LoadAppSettings());
    app_context::SetCurrentAppSettings(m_settings.get());
    if (m_settings->mainDb.server.empty()) {
        platform::ShowMessage(kNoNetworkSettingsMessage);
        return false;
    }

    // 5. Installation check and start-up update. An unusable installation
    // stops the program before any update step.
    if (m_updateFactory) {
        m_update = m_updateFactory(m_table.updateAppId);
        if (m_update && (!m_update->CheckInstallation() || !m_update->RunStartupUpdate()))
            return false;
    }

    // 6. COM (OLE) for the whole user-interface thread.
    if (FAILED(::OleInitialize(nullptr))) {
        platform::ShowMessage(kOleInitFailedMessage);
        return false;
    }
    m_oleReady = true;

    // 8. The framework's registry key text.
    m_registryKey = m_table.registryKeyText;

    // 9. The displayed version, under the program's fixed language path.
    m_version = ReadFixedProductVersion(m_table.versionQueryPath);

    const std::wstring folder = ProgramFolder();
    // 10. The GNSS service's ANSI ini path; one that the ANSI buffer can't
    // hold whole is not kept, rather than kept cut.
    if (m_table.keepsIniPath) {
        m_iniPath = platform::WideToAnsi(folder + kIniFileName);
        if (m_iniPath.size() >= kIniPathCapacity)
            m_iniPath.clear();
    }

    // 11. The XML configuration beside the program.
    m_configPath = folder + L"\\" + XmlConfig::kFileName;
    m_config = std::make_unique<XmlConfig>(m_configPath);
    m_config->Open();

    // 12. The main dialog, modally.
    if (mainDialog) {
        t_mainWindowHook =
            ::SetWindowsHookExW(WH_CBT, MainWindowHook, nullptr, ::GetCurrentThreadId());
        mainDialog(*this);
        if (t_mainWindowHook) {
            ::UnhookWindowsHookEx(t_mainWindowHook);
            t_mainWindowHook = nullptr;
        }
        app_context::SetMainWindowHandle(0);
    }
    return true;
}

int AppFrame::ExitInstance() {
    if (m_cleanedUp)
        return 0;
    m_cleanedUp = true;
    // 1. The update checker.
    m_update.reset();
    // 2. The settings record.
    app_context::SetCurrentAppSettings(nullptr);
    m_settings.reset();
    // 3. The guard: the next start may run.
    if (m_guard) {
        ::ReleaseMutex(m_guard);
        ::CloseHandle(m_guard);
        m_guard = nullptr;
    }
    // 4. The program's own extra clean-up.
    if (m_table.extraCleanup)
        m_table.extraCleanup();
    // 5. The configuration store (its DOM document first).
    m_config.reset();
    // 6. COM.
    if (m_oleReady) {
        ::OleUninitialize();
        m_oleReady = false;
    }
    return 0;
}
