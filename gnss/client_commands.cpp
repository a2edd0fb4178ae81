#include "gnss/client_commands.h"

#include <cstring>
#include <limits>

#include "gnss/gnss_logs_format.h"

std::string ReadSharedText(const char* view, size_t size) {
    if (view == nullptr || size == 0)
        return {};
    const size_t limit = size - 1;
    const void* nul = std::memchr(view, '\0', limit);
    const size_t n = nul ? static_cast<size_t>(static_cast<const char*>(nul) - view) : limit;
    return std::string(view, n);
}

bool WriteSharedText(char* view, size_t size, std::string_view text) {
    if (view == nullptr || size == 0)
        return false;
    const size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(view, text.data(), n);
    view[n] = '\0';
    return n == text.size();
}

namespace {

// Position just past the leading integer (after blanks and sign), and its value.
size_t ParseLeading(std::string_view text, int32_t& value) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' ||
                               text[i] == '\r' || text[i] == '\v' || text[i] == '\f'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    int64_t v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (v <= std::numeric_limits<int32_t>::max())
            v = v * 10 + (text[i] - '0');
    }
    if (negative)
        v = -v;
    if (v > std::numeric_limits<int32_t>::max())
        v = std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min())
        v = std::numeric_limits<int32_t>::min();
    value = static_cast<int32_t>(v);
    return i;
}

}  // namespace

int32_t LeadingInteger(std::string_view text) {
    int32_t value = 0;
    ParseLeading(text, value);
    return value;
}

SyncPollResult PollSyncRequest(std::string_view mappingText) {
    SyncPollResult result;
    if (LeadingInteger(mappingText) == -1) {
        result.requested = true;
        result.reply = kSyncAck;
    }
    return result;
}

RunLogCommand ParseRunLogCommand(std::string_view text) {
    RunLogCommand command;
    int32_t value = 0;
    const size_t after = ParseLeading(text, value);
    if (value == 2) {
        command.kind = RunLogCommandKind::Continue;
    } else if (value == 1) {
        command.kind = RunLogCommandKind::Stop;
        const size_t space = text.find(' ', after);
        if (space != std::string_view::npos) {
            std::string_view folder = text.substr(space + 1);
            // A client may end its text with a line end; it is no part of a folder name.
            while (!folder.empty() && (folder.back() == '\n' || folder.back() == '\r'))
                folder.remove_suffix(1);
            if (!folder.empty()) {
                command.kind = RunLogCommandKind::Start;
                command.folder = std::string(folder);
            }
        }
    }
    return command;
}

RunLogActions RunLogController::Handle(const RunLogCommand& command,
                                       const platform::CivilTime& utcTick) {
    RunLogActions actions;
    switch (command.kind) {
        case RunLogCommandKind::Idle:
            break;
        case RunLogCommandKind::Start:
        case RunLogCommandKind::Stop:
            actions.acknowledge = true;
            actions.closeRunLog = true;
            m_storedPath.clear();
            if (command.kind == RunLogCommandKind::Start) {
                if (auto path = RunLogPath(command.folder, utcTick)) {
                    m_storedPath = *path;
                    actions.openPath = *path;
                    actions.truncate = true;
                }
            }
            actions.saveStoredPath = true;
            break;
        case RunLogCommandKind::Continue:
            actions.acknowledge = true;
            if (!m_storedPath.empty()) {
                // Reopening replaces the open handle rather than leaking it.
                actions.closeRunLog = true;
                actions.openPath = m_storedPath;
            }
            break;
    }
    return actions;
}
