// The service's three named shared text blocks: the current fix for
// clients, the clock-check request and the run-log command from clients.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/shared_text.h"

class GpsMappings {
public:
    GpsMappings() = default;
    GpsMappings(const GpsMappings&) = delete;
    GpsMappings& operator=(const GpsMappings&) = delete;

    // Creates the three blocks, each with its mutex initially owned and its
    // initial text. Returns the operator messages (UTF-8) for what failed,
    // in the order they are to be shown; empty when all three are ready:
    // the clock-check block missing, the log-folder view not mapped in its
    // 10 attempts, and any view missing.
    std::vector<std::string> Create();

    // Copies the record under "MyGPSBufferMutex" (5000 ms); skipped on failure.
    bool PublishRecord(std::string_view record);

    platform::SharedTextBlock& Record() { return m_record; }
    platform::SharedTextBlock& Sync() { return m_sync; }
    platform::SharedTextBlock& LogFolder() { return m_logFolder; }

    // Unmaps the views and closes mappings and mutexes: the record block,
    // then the clock-check block, then the log-folder block.
    void Close();

private:
    platform::SharedTextBlock m_record;
    platform::SharedTextBlock m_sync;
    platform::SharedTextBlock m_logFolder;
};
