// The seven named blocks of the suite as the services create them, and how
// survey-inspect.exe reaches them: open only (a block that does not exist is
// reported, never created), one copy per hold of a block's mutex.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/shared_text.h"

namespace inspect {

struct BlockInfo {
    const char* shortName;  // typed instead of the mapping name
    std::wstring mapping;
    std::wstring mutex;
    std::size_t size;  // bytes, terminator included
    const char* owner;
    // A command block: other programs write into it and the service reads it.
    bool command;
    // The service writes an answer over a command.
    bool answered;
};

const std::vector<BlockInfo>& Blocks();
// By mapping name (case-insensitive) or short name; null when unknown.
const BlockInfo* FindBlock(std::string_view name);
std::string MappingName(const BlockInfo& block);

// Opens an existing block; never creates one.
platform::SharedTextBlock OpenExisting(const BlockInfo& block);

}  // namespace inspect
