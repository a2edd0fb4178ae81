// Base64 decoding of the database command texts the update server sends.
#pragma once

#include <string>
#include <string_view>

// Decodes the standard alphabet (RFC 4648). Decoding stops at the first "="
// and at the first character outside the alphabet (a line break included):
// nothing after it is decoded. A final group of two or three characters
// yields one or two bytes; a single leftover character yields nothing.
std::string Base64Decode(std::string_view text);
