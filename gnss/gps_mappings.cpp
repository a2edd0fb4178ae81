#include "gnss/gps_mappings.h"

#include "gnss/client_commands.h"
#include "gnss/gnss_texts.h"
#include "gnss/gps_record.h"
#include "platform/text.h"

namespace {

// Attempts at mapping the log-folder view, 100 ms apart.
constexpr int kLogFolderViewAttempts = 10;

std::wstring Wide(const char* name) {
    return platform::Utf8ToWide(name);
}

}  // namespace

std::vector<std::string> GpsMappings::Create() {
    using platform::SharedTextBlock;
    using platform::SharedTextCreateOptions;
    std::vector<std::string> messages;

    // The record block has no initial text: until the first cycle it reads
    // as the empty string.
    SharedTextCreateOptions recordOptions;
    m_record = SharedTextBlock::Create(Wide(kGpsMappingName).c_str(), Wide(kGpsMutexName).c_str(),
                                       kGpsRecordMappingSize, recordOptions);

    SharedTextCreateOptions syncOptions;
    syncOptions.initialText = kCommandIdle;
    m_sync = SharedTextBlock::Create(Wide(kSyncMappingName).c_str(), Wide(kSyncMutexName).c_str(),
                                     kCommandMappingSize, syncOptions);
    if (!m_sync.HasView())
        messages.push_back(gnss_text::kNoSync);

    SharedTextCreateOptions logOptions;
    logOptions.initialText = kCommandIdle;
    logOptions.viewAttempts = kLogFolderViewAttempts;
    logOptions.retryDelayMs = 100;
    m_logFolder =
        SharedTextBlock::Create(Wide(kLogFolderMappingName).c_str(),
                                Wide(kLogFolderMutexName).c_str(), kCommandMappingSize, logOptions);
    // This message names the view that could not be mapped in its attempts;
    // a mapping that could not be created at all is reported by the next one.
    if (m_logFolder.FailedStep() == platform::SharedTextStep::View)
        messages.push_back(gnss_text::kNoFolderChoice);

    if (!m_record.HasView() || !m_sync.HasView() || !m_logFolder.HasView())
        messages.push_back(gnss_text::kNoLinkToGnss);
    return messages;
}

bool GpsMappings::PublishRecord(std::string_view record) {
    if (!m_record.HasView())
        return false;
    return m_record.Write(record) == platform::SharedTextAccess::Ok;
}

void GpsMappings::Close() {
    m_record.Close();
    m_sync.Close();
    m_logFolder.Close();
}
