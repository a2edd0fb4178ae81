// Portable SHA-1 (FIPS 180-4). The programs hash through the system's
// cryptographic provider (sha1_hex.h); this one serves the portable core
// and checks the provider's results.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

std::array<uint8_t, 20> Sha1Digest(std::string_view bytes);

// 40 lower-case hexadecimal characters, high half of each byte first.
std::string Sha1HexText(std::string_view bytes);

// The digest bytes as lower-case hexadecimal text.
std::string DigestToHex(const uint8_t* digest, size_t size);
