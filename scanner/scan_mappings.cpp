#include "scanner/scan_mappings.h"

#include "platform/text.h"
#include "scanner/scan_commands.h"

namespace {

// The recorder gets this long to see the stopping text, ms.
constexpr DWORD kStoppingPauseMs = 100;

std::wstring Wide(const char* name) {
    return platform::Utf8ToWide(name);
}

}  // namespace

bool ScanMappings::Create() {
    platform::SharedTextCreateOptions options;
    options.ownership = platform::MutexOwnership::Unowned;
    m_status = platform::SharedTextBlock::Create(Wide(scanner::kStatusMappingName).c_str(),
                                                 Wide(scanner::kStatusMutexName).c_str(),
                                                 scanner::kStatusMappingSize, options);
    m_command = platform::SharedTextBlock::Create(Wide(scanner::kCommandMappingName).c_str(),
                                                  Wide(scanner::kCommandMutexName).c_str(),
                                                  scanner::kCommandMappingSize, options);
    return m_status.Ready() && m_command.Ready();
}

bool ScanMappings::PublishStatus(bool good) {
    if (!m_status.Ready())
        return false;
    return m_status.Write(good ? scanner::kStatusGood : scanner::kStatusFailed) ==
           platform::SharedTextAccess::Ok;
}

bool ScanMappings::PollCommand(const CommandHandler& handle) {
    if (!m_command.Ready())
        return false;
    platform::SharedTextLock lock = m_command.Lock();
    if (!lock)
        return false;
    char text[scanner::kCommandTextLimit + 1];
    const size_t length = lock.ReadInto(text, sizeof text);
    if (const std::optional<int> answer = handle(std::string_view(text, length))) {
        char reply[16];
        const size_t n = scanner::FormatAnswer(*answer, reply, sizeof reply);
        lock.Write(std::string_view(reply, n));
    }
    return true;
}

void ScanMappings::WriteStopping() {
    if (m_command.HasView()) {
        m_command.Write(scanner::kServiceStopping);
        ::Sleep(kStoppingPauseMs);
    }
    if (m_status.HasMutex())
        m_status.Write(scanner::kServiceStopping);
}

void ScanMappings::Close() {
    m_status.Close();
    m_command.Close();
}
