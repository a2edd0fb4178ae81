#include "gps/gps_client.h"

#include <cstring>
#include <string>
#include <utility>

#include "gps/gps_service.h"
#include "platform/notifier.h"
#include "platform/text.h"

namespace gps {
namespace {

// The library's message texts (UTF-8 here; the notifier shows them).
constexpr char kErrorCaption[] = "Ошибка!";
constexpr char kServiceNotStarted[] = "Не запускается монитор GPS-сигналов";
constexpr char kNoRecordMapping[] = "Нет приема данных ГНСС : ";
constexpr char kNoLogFolderMapping[] = "Невозможно управление папками ГНСС-данных : ";
constexpr char kNoLogFolderView[] = "Нет приема ГНСС : ";
constexpr char kNoSyncMapping[] = "Нет управления синхронизацией ГНСС : ";
// An error box holds at most this many characters of text and system description.
constexpr std::size_t kErrorTextLimit = 127;

// Boxes over the caller's active window, captioned "Ошибка!". Only the
// service's failed start carries the error icon; the boxes of the named
// objects have an OK button only.
void ShowError(const std::string& utf8Text, platform::MessageIcon icon) {
    platform::ShowMessage(utf8Text, kErrorCaption, icon,
                          reinterpret_cast<std::uintptr_t>(::GetActiveWindow()));
}

// The step's text followed by the system's description of `error` in the
// system's default language, cut to kErrorTextLimit characters.
void ShowErrorWithSystemText(const char* stepText, DWORD error) {
    std::wstring text = platform::Utf8ToWide(stepText);
    wchar_t* description = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<LPWSTR>(&description), 0, nullptr);
    if (n > 0 && description != nullptr) {
        std::wstring d(description, n);
        while (!d.empty() && (d.back() == L'\r' || d.back() == L'\n' || d.back() == L' '))
            d.pop_back();
        text += d;
    }
    if (description != nullptr)
        ::LocalFree(description);
    if (text.size() > kErrorTextLimit)
        text.resize(kErrorTextLimit);
    ShowError(platform::WideToUtf8(text), platform::MessageIcon::None);
}

}  // namespace

GpsClient::GpsClient(GpsClientOptions options) : m_options(std::move(options)) {}

bool GpsClient::OpenBlock(platform::SharedTextBlock& block, const wchar_t* mappingName,
                          const wchar_t* mutexName, std::size_t size, const char* noMappingText,
                          const char* noViewText) {
    platform::SharedTextOpenOptions options;
    options.mappingAttempts = m_options.openTries;
    options.viewAttempts = m_options.openTries;
    options.mutexAttempts = 1;
    options.retryDelayMs = m_options.retryPauseMs;
    options.mutexRequired = false;  // a missing mutex only skips the accesses
    options.waitMs = m_options.mutexWaitMs;
    platform::SharedTextBlock opened =
        platform::SharedTextBlock::Open(mappingName, mutexName, size, options);
    switch (opened.FailedStep()) {
        case platform::SharedTextStep::Mapping:
            ShowErrorWithSystemText(noMappingText, opened.LastError());
            return false;
        case platform::SharedTextStep::View:
            ShowErrorWithSystemText(noViewText, opened.LastError());
            return false;
        default:
            // The block of an earlier initialisation is released only now
            // that the new one is open: a repeated initialisation that fails
            // keeps every view that worked.
            block = std::move(opened);
            return true;
    }
}

int GpsClient::Init() {
    const std::wstring servicePath = OwnModuleFolder() + m_options.serviceFileName;
    const ServiceState state = FindServiceProcess(m_options.serviceProcessName);
    if (state == ServiceState::Unknown)
        return kResultFailed;
    if (state == ServiceState::NotRunning && !StartServiceProgram(servicePath, m_hidden)) {
        ShowError(kServiceNotStarted, platform::MessageIcon::Error);
        return kResultServiceMissing;
    }
    ::Sleep(m_options.settleMs);

    if (!OpenBlock(m_record, kRecordMappingName, kRecordMutexName, kRecordMappingSize,
                   kNoRecordMapping, kNoRecordMapping))
        return kResultFailed;
    if (!OpenBlock(m_logFolder, kLogFolderMappingName, kLogFolderMutexName, kCommandMappingSize,
                   kNoLogFolderMapping, kNoLogFolderView))
        return kResultFailed;
    if (!OpenBlock(m_sync, kSyncMappingName, kSyncMutexName, kCommandMappingSize, kNoSyncMapping,
                   kNoSyncMapping))
        return kResultFailed;

    // Every initialisation asks the service for a clock check.
    Synchro();

    ::Sleep(m_options.settleMs);
    const int result = Update();
    m_values.connection = result;
    return result;
}

int GpsClient::Connected() {
    if (FindServiceProcess(m_options.serviceProcessName) != ServiceState::Running)
        return kResultServiceMissing;
    const int result = Update();
    m_values.connection = result;
    return result;
}

int GpsClient::Update() {
    if (!m_record.HasView()) {
        m_values.stepDistance = 0.0;
        m_values.deltaLat = 0.0;
        m_values.deltaLon = 0.0;
        m_values.satellites = 0;
        return 0;
    }
    // Bounded by the mapping's 1024 bytes whatever it holds; when the mutex is
    // not obtained, the previous copy is read again.
    m_record.ReadInto(m_copy, sizeof(m_copy));
    return ParseGpsRecord(m_copy, m_values);
}

int GpsClient::Quit() {
    m_values.connection = -1;
    return 1;
}

void GpsClient::UnMap() {
    m_record.CloseMapping();
    m_logFolder.CloseMapping();
    m_sync.CloseMapping();
}

void GpsClient::Synchro() {
    if (m_sync.HasView())
        m_sync.Write(kSyncRequest);
}

void GpsClient::NoSynchro() {
    m_sync.Write(kSyncWithdraw);
}

void GpsClient::SetLogFolder(const char* text) {
    if (text == nullptr)
        return;
    // Cut to 259 characters and terminated in the 260-byte mapping.
    m_logFolder.Write(std::string_view(text, ::strnlen(text, kCommandMappingSize - 1)));
}

}  // namespace gps
