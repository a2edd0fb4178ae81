#include "scanner/scan_commands.h"

#include <charconv>
#include <climits>
#include <cstdio>

namespace scanner {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

int LeadingInteger(std::string_view text) {
    return LeadingInteger(text, nullptr);
}

int LeadingInteger(std::string_view text, bool* found) {
    size_t p = 0;
    while (p < text.size() && IsBlank(text[p]))
        ++p;
    bool negative = false;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) {
        negative = text[p] == '-';
        ++p;
    }
    long long value = 0;
    if (found != nullptr)
        *found = p < text.size() && text[p] >= '0' && text[p] <= '9';
    while (p < text.size() && text[p] >= '0' && text[p] <= '9') {
        if (value <= INT_MAX)
            value = value * 10 + (text[p] - '0');
        ++p;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

double ReadNumber(std::string_view text) {
    size_t p = 0;
    while (p < text.size() && IsBlank(text[p]))
        ++p;
    bool negative = false;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) {
        negative = text[p] == '-';
        ++p;
    }
    if (p >= text.size() || text[p] == '+' || text[p] == '-')
        return 0.0;
    double value = 0.0;
    const auto result = std::from_chars(text.data() + p, text.data() + text.size(), value,
                                        std::chars_format::general);
    if (result.ec != std::errc())
        return 0.0;
    return negative ? -value : value;
}

ScanCommand InterpretCommand(std::string_view text, bool recording) {
    if (text.size() > kCommandTextLimit)
        text = text.substr(0, kCommandTextLimit);
    ScanCommand command;
    bool numbered = false;
    const int code = LeadingInteger(text, &numbered);
    if (!numbered)
        return command;  // not a command: no number to act on
    switch (code) {
        case static_cast<int>(CommandCode::Start):
            if (recording)
                break;
            command.action = CommandAction::StartRecording;
            if (text.size() > kFolderOffset)
                command.folder = text.substr(kFolderOffset, kFolderLimit);
            break;
        case static_cast<int>(CommandCode::Stop):
            if (recording)
                command.action = CommandAction::StopRecording;
            break;
        case static_cast<int>(CommandCode::LogNext): {
            if (!recording)
                break;
            command.action = CommandAction::LogNext;
            if (text.size() <= 2)
                break;
            const size_t limit = text.size() < kValueScanLimit ? text.size() : kValueScanLimit;
            size_t p = 1;
            for (double& value : command.values) {
                while (p < limit && text[p] == ' ')
                    ++p;
                if (p >= limit) {
                    value = 0.0;
                    continue;
                }
                value = ReadNumber(text.substr(p, limit - p));
                while (p < limit && text[p] != ' ')
                    ++p;
            }
            break;
        }
        default:
            break;
    }
    return command;
}

size_t FormatAnswer(int code, char* out, size_t capacity) {
    if (out == nullptr || capacity < 16)
        return 0;
    const int n = std::snprintf(out, capacity, "%d\n", code);
    return n > 0 ? static_cast<size_t>(n) : 0;
}

}  // namespace scanner
