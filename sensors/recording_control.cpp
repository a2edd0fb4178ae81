#include "sensors/recording_control.h"

namespace {

bool IsCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The text's leading decimal integer as the C library reads it; 0 for none.
long LeadingInteger(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsCSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    long value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && value < 100000000)
        value = value * 10 + (text[i++] - '0');
    return negative ? -value : value;
}

}  // namespace

FilesWriteRequest ParseFilesWriteState(std::string_view text) {
    FilesWriteRequest request;
    const size_t nul = text.find('\0');
    if (nul != std::string_view::npos)
        text = text.substr(0, nul);
    if (text.size() > kFilesWriteStateSize - 1)
        text = text.substr(0, kFilesWriteStateSize - 1);
    request.record = LeadingInteger(text) > 0;
    if (text.size() > 2) {
        std::string_view folder = text.substr(2, kMaxFolderLength);
        // A line break the recorder may end its text with is no part of a path.
        while (!folder.empty() && (folder.back() == '\n' || folder.back() == '\r'))
            folder.remove_suffix(1);
        request.folder = std::string(folder);
    }
    return request;
}

RecordingStep RecordingState::Follow(bool record) {
    if (!record && m_writing) {
        m_writing = false;
        return RecordingStep::Stop;
    }
    if (record && !m_writing) {
        m_writing = true;
        return RecordingStep::Start;
    }
    return RecordingStep::None;
}
