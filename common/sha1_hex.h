// SHA-1 through the system's cryptographic provider, as lower-case
// hexadecimal text: the "data" value of every request to the update server.
#pragma once

#include <cstddef>
#include <string_view>

inline constexpr size_t kSha1HexBufferBytes = 50;

// Hashes the text's bytes (no terminator) and writes 40 lower-case
// hexadecimal characters and a zero into `out` (50 bytes). When the provider
// is unavailable shows "Ошибка вызова CryptoAPI." and returns false.
bool Sha1Hex(std::string_view text, char* out);
