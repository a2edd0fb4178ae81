// Texts kept in the programs as scrambled 16-bit words.
//
// Each word carries one byte in eight of its sixteen bits: the byte's bits 7
// to 0 are the word's bits 3, 8, 1, 14, 4, 11, 7 and 9. The other eight bits
// carry nothing (the encoder fills them with noise). A zero byte ends the
// text. The suite stores the last login password this way in the registry,
// and the built-in deployment texts (database password, update host,
// reference digest) are compiled in as such words only: ScrambleText runs at
// compile time, so the plain text never reaches the binary.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace scrambled {

// Word bit that carries each byte bit, from byte bit 7 down to bit 0.
inline constexpr int kCarrierBits[8] = {3, 8, 1, 14, 4, 11, 7, 9};

// Word bits that carry a byte bit; the rest is noise.
inline constexpr uint16_t kCarrierMask = [] {
    uint16_t mask = 0;
    for (int bit : kCarrierBits)
        mask = static_cast<uint16_t>(mask | (1u << bit));
    return mask;
}();

constexpr uint8_t DecodeWord(uint16_t word) {
    uint8_t byte = 0;
    for (int i = 0; i < 8; ++i) {
        if (word & (1u << kCarrierBits[i]))
            byte = static_cast<uint8_t>(byte | (0x80u >> i));
    }
    return byte;
}

// `noise` fills the non-carrying bits (only those bits of it are used).
constexpr uint16_t EncodeByte(uint8_t byte, uint16_t noise) {
    uint16_t word = static_cast<uint16_t>(noise & ~kCarrierMask);
    for (int i = 0; i < 8; ++i) {
        if (byte & (0x80u >> i))
            word = static_cast<uint16_t>(word | (1u << kCarrierBits[i]));
    }
    return word;
}

// Deterministic noise for word `index` of a table salted with `salt`.
constexpr uint16_t NoiseFor(uint32_t salt, size_t index) {
    uint32_t x = salt ^ (0x9E3779B9u * static_cast<uint32_t>(index + 1));
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return static_cast<uint16_t>(x);
}

}  // namespace scrambled

// A table of `Words` scrambled words: the text, its terminator, and zero
// bytes (noise-filled words) up to the table's size. Compile time only.
template <size_t Words, size_t N>
consteval std::array<uint16_t, Words> ScrambleText(const char (&text)[N], uint32_t salt) {
    static_assert(N >= 1, "a text literal with its terminator");
    static_assert(N <= Words, "the text and its terminator must fit the table");
    std::array<uint16_t, Words> words{};
    for (size_t i = 0; i < Words; ++i) {
        const uint8_t byte = i + 1 < N ? static_cast<uint8_t>(text[i]) : 0;
        // Noise is chosen so no terminator word is all zeros.
        uint16_t noise = scrambled::NoiseFor(salt, i);
        if ((noise & ~scrambled::kCarrierMask) == 0)
            noise = static_cast<uint16_t>(~scrambled::kCarrierMask);
        words[i] = scrambled::EncodeByte(byte, noise);
    }
    return words;
}

// The text that `count` words carry, up to (not including) the first zero
// byte; the whole decoded run when there is none.
std::string DecodeScrambledText(const uint16_t* words, size_t count);

template <size_t Words>
std::string DecodeScrambledText(const std::array<uint16_t, Words>& words) {
    return DecodeScrambledText(words.data(), Words);
}

// The same for words stored as little-endian byte pairs (a registry binary
// value): `byteCount` / 2 words; an odd last byte is ignored.
std::string DecodeScrambledBytes(const uint8_t* bytes, size_t byteCount);
