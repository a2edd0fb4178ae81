#include "sensors/sensor_mappings.h"

#include "sensors/recording_control.h"
#include "sensors/sensor_texts.h"

SensorMappings::CreateResult SensorMappings::Create() {
    using platform::SharedTextBlock;
    CreateResult result;

    platform::SharedTextCreateOptions dataOptions;
    dataOptions.initialText = kDataInitialText;
    m_data = SharedTextBlock::Create(kDataMappingName, kDataMutexName, kDataBlockSize, dataOptions);
    // A block without its mutex (the name taken by another program) is as
    // unusable as one without a view: no reader can take it, no line would
    // be published, so it is reported and dropped like a failed mapping.
    if (!m_data.Ready()) {
        result.messages.push_back(sensor_text::kNoDataTransfer);
        // The mapping of a block that could not be set up is closed at once.
        m_data.Close();
    }

    platform::SharedTextCreateOptions stateOptions;
    stateOptions.initialText = kFilesWriteStateInitialText;
    m_filesWriteState = SharedTextBlock::Create(
        kFilesWriteStateMappingName, kFilesWriteStateMutexName, kFilesWriteStateSize, stateOptions);
    // Without its mutex no recording request could ever be read.
    if (!m_filesWriteState.Ready()) {
        m_filesWriteState.Close();
        result.messages.push_back(sensor_text::kNoStateReception);
        result.failed = true;
        return result;
    }
    if (!m_data.HasView())
        result.messages.push_back(sensor_text::kNoDaqDataTransfer);
    return result;
}

bool SensorMappings::ReadFilesWriteState(std::string& text) {
    char buffer[kFilesWriteStateSize];
    size_t length = 0;
    const platform::SharedTextAccess access =
        m_filesWriteState.ReadInto(buffer, sizeof buffer, &length);
    if (access != platform::SharedTextAccess::Ok)
        return false;
    text.assign(buffer, length);
    return true;
}

void SensorMappings::WriteClosedText() {
    if (m_data.HasView())
        m_data.Write(kDataClosedText);
}

void SensorMappings::Close() {
    if (m_data.HasView())
        m_data.Write(kDataClosedText);
    m_data.Close();
    m_filesWriteState.Close();
}
