// Base64 decoding of the database command texts the update server sends.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Decodes the standard alphabet (RFC 4648). Decoding stops at the first "="
// and at the first character outside the alphabet (a line break included):
// nothing after it is decoded. A final group of two or three characters
// yields one or two bytes; a single leftover character yields nothing.
std::string Base64Decode(std::string_view text);

// Decodes `text` only when the whole of it is base64: characters of the
// alphabet in groups of four, the last group padded with one or two "=" where
// it is short. nullopt for anything else (a line break, a blank, a stray
// character, missing or misplaced padding), so that a command is never run
// as its front part. The empty text decodes to nothing.
std::optional<std::string> Base64DecodeWhole(std::string_view text);
