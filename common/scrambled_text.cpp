#include "common/scrambled_text.h"

std::string DecodeScrambledText(const uint16_t* words, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t byte = scrambled::DecodeWord(words[i]);
        if (byte == 0)
            break;
        text.push_back(static_cast<char>(byte));
    }
    return text;
}

std::string DecodeScrambledBytes(const uint8_t* bytes, size_t byteCount) {
    std::string text;
    for (size_t i = 0; i + 1 < byteCount; i += 2) {
        const uint16_t word = static_cast<uint16_t>(bytes[i] | (bytes[i + 1] << 8));
        const uint8_t byte = scrambled::DecodeWord(word);
        if (byte == 0)
            break;
        text.push_back(static_cast<char>(byte));
    }
    return text;
}
