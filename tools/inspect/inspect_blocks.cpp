#include "tools/inspect/inspect_blocks.h"

#include <cstring>

#include "gps/gps_client.h"
#include "gps/gps_record.h"
#include "scanner/scan_commands.h"
#include "sensors/recording_control.h"
#include "sensors/sensor_mappings.h"

namespace inspect {
namespace {

std::wstring Wide(const char* ascii) {
    return std::wstring(ascii, ascii + std::strlen(ascii));
}

}  // namespace

const std::vector<BlockInfo>& Blocks() {
    static const std::vector<BlockInfo> blocks = {
        {"gps", gps::kRecordMappingName, gps::kRecordMutexName, gps::kRecordMappingSize, "Orvanta",
         false, false},
        {"sync", gps::kSyncMappingName, gps::kSyncMutexName, gps::kCommandMappingSize, "Orvanta",
         true, true},
        {"logfolder", gps::kLogFolderMappingName, gps::kLogFolderMutexName,
         gps::kCommandMappingSize, "Orvanta", true, true},
        {"scan", Wide(scanner::kStatusMappingName), Wide(scanner::kStatusMutexName),
         scanner::kStatusMappingSize, "Vestrami", false, false},
        {"scancmd", Wide(scanner::kCommandMappingName), Wide(scanner::kCommandMutexName),
         scanner::kCommandMappingSize, "Vestrami", true, true},
        {"sensor", kDataMappingName, kDataMutexName, kDataBlockSize, "Tessarin", false, false},
        {"filesws", kFilesWriteStateMappingName, kFilesWriteStateMutexName, kFilesWriteStateSize,
         "Tessarin", true, false},
    };
    return blocks;
}

std::string MappingName(const BlockInfo& block) {
    // The names are ASCII.
    return std::string(block.mapping.begin(), block.mapping.end());
}

const BlockInfo* FindBlock(std::string_view name) {
    for (const BlockInfo& block : Blocks()) {
        const std::string mapping = MappingName(block);
        if (name == block.shortName ||
            (name.size() == mapping.size() &&
             _strnicmp(name.data(), mapping.c_str(), mapping.size()) == 0))
            return &block;
    }
    return nullptr;
}

platform::SharedTextBlock OpenExisting(const BlockInfo& block) {
    // One try at each step: OpenFileMapping and OpenMutex only, which never
    // create an object.
    platform::SharedTextOpenOptions options;
    options.mutexRequired = true;
    options.waitMs = platform::kSharedTextWaitMs;
    return platform::SharedTextBlock::Open(block.mapping.c_str(), block.mutex.c_str(), block.size,
                                           options);
}

}  // namespace inspect
