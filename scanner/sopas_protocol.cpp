#include "scanner/sopas_protocol.h"

#include <cstring>

namespace sopas {

size_t FrameCommand(std::string_view command, char* out, size_t capacity) {
    if (out == nullptr || capacity == 0)
        return 0;
    out[0] = '\0';
    const size_t frameLength = command.size() + 2;
    if (frameLength + 1 > capacity)
        return 0;
    out[0] = kStx;
    std::memcpy(out + 1, command.data(), command.size());
    out[1 + command.size()] = kEtx;
    out[frameLength] = '\0';
    return frameLength;
}

std::string_view ExaminedText(const char* reply, size_t length) {
    if (reply == nullptr)
        return {};
    if (length > kShortReplyBufferSize - 1)
        length = kShortReplyBufferSize - 1;
    const void* nul = std::memchr(reply, '\0', length);
    if (nul != nullptr)
        length = static_cast<size_t>(static_cast<const char*>(nul) - reply);
    return std::string_view(reply, length);
}

bool ReplyContains(std::string_view reply, std::string_view mark) {
    return reply.find(mark) != std::string_view::npos;
}

int DeviceState(std::string_view reply) {
    // Tokens at single blanks; runs of blanks give no empty tokens.
    size_t pos = 0;
    for (int token = 0; token < 2; ++token) {
        while (pos < reply.size() && reply[pos] == ' ')
            ++pos;
        while (pos < reply.size() && reply[pos] != ' ')
            ++pos;
    }
    while (pos < reply.size() && reply[pos] == ' ')
        ++pos;
    // Decimal, as the C library reads it: a sign, then digits up to the first other character.
    bool negative = false;
    if (pos < reply.size() && (reply[pos] == '-' || reply[pos] == '+')) {
        negative = reply[pos] == '-';
        ++pos;
    }
    long value = 0;
    while (pos < reply.size() && reply[pos] >= '0' && reply[pos] <= '9') {
        if (value < 1000000)
            value = value * 10 + (reply[pos] - '0');
        ++pos;
    }
    return static_cast<int>(negative ? -value : value);
}

}  // namespace sopas
