// The service's two named blocks: the status ("MyScanFileMappingObject",
// whether the last scan was good) and the recorder's commands
// ("MyScanCommandMappingObject", answered in place). Both mutexes are
// created unowned and the blocks start all zero.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "platform/shared_text.h"

class ScanMappings {
public:
    ScanMappings() = default;
    ScanMappings(const ScanMappings&) = delete;
    ScanMappings& operator=(const ScanMappings&) = delete;

    // Creates both blocks and their mutexes; false when either is incomplete
    // (the service then runs without what is missing).
    bool Create();

    // "1\n" or "0\n" into the status block under its mutex (at most 5000 ms).
    bool PublishStatus(bool good);

    // One poll of the command block: under its mutex the text (at most 261
    // characters, whatever the block holds) goes to `handle`, and the answer
    // code it returns, if any, is written back as "%d\n" before the mutex is
    // released. False when the block is missing or its mutex was not obtained.
    using CommandHandler = std::function<std::optional<int>(std::string_view text)>;
    bool PollCommand(const CommandHandler& handle);

    // The last texts when the service stops: "0\n" into the command block
    // (then a 100 ms pause for the recorder to see it) and into the status block.
    void WriteStopping();

    void Close();

    platform::SharedTextBlock& Status() { return m_status; }
    platform::SharedTextBlock& Command() { return m_command; }

private:
    platform::SharedTextBlock m_status;
    platform::SharedTextBlock m_command;
};
