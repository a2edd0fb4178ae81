#include "common/cert_pin.h"

namespace {

constexpr size_t kSha256HexDigits = 64;

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

}  // namespace

CertificatePin ParseCertificatePin(std::u16string_view value) {
    while (!value.empty() && IsBlank(value.front()))
        value.remove_prefix(1);
    while (!value.empty() && IsBlank(value.back()))
        value.remove_suffix(1);
    CertificatePin pin;
    if (value.empty())
        return pin;
    pin.set = true;
    std::string hex;
    for (char16_t c : value) {
        const int v = HexValue(c);
        if (v >= 0) {
            hex += "0123456789abcdef"[v];
        } else if (c == u':' || c == u' ') {
            // A separator only between two pairs of digits.
            if (hex.empty() || hex.size() % 2 != 0)
                return pin;
        } else {
            return pin;
        }
    }
    if (hex.size() == kSha256HexDigits)
        pin.sha256 = hex;
    return pin;
}

std::string HexDigest(const unsigned char* digest, size_t size) {
    std::string hex;
    hex.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        hex += "0123456789abcdef"[digest[i] >> 4];
        hex += "0123456789abcdef"[digest[i] & 0x0f];
    }
    return hex;
}
