// The update channel's pinned certificate: a deployment value that names the
// update server's certificate by its SHA-256 fingerprint. When it is set, the
// HTTP client talks only to a server that presents that very certificate;
// when it is unset, any certificate is accepted as before.
//
// The value is REG_SZ "UpdateCertSha256" under HKLM\Software\Marvesto\Common
// (the machine's hive: it belongs to the installation, which the installer
// writes and an operator's account cannot change). It is read in the
// programs' own (64-bit) view of the registry, else in the 32-bit view.
#pragma once

#include <string>
#include <string_view>

inline constexpr char16_t kCertPinValueName[] = u"UpdateCertSha256";

struct CertificatePin {
    // A value is there (not empty).
    bool set = false;
    // set: 64 lower-case hexadecimal digits, or empty when the value is not a
    // SHA-256 fingerprint (then every server is refused).
    std::string sha256;
};

// The value as written by hand or by a tool: 64 hexadecimal digits in any
// case, optionally in pairs separated by colons or blanks ("AB:CD:..." as
// openssl prints it); leading and trailing blanks ignored.
CertificatePin ParseCertificatePin(std::u16string_view value);

// Lower-case hexadecimal text of a digest.
std::string HexDigest(const unsigned char* digest, size_t size);

#ifdef _WIN32
// The deployment value as it stands in the registry now.
CertificatePin ReadCertificatePin();
// SHA-256 of a DER certificate through CryptoAPI, lower-case hexadecimal;
// empty when the provider is unavailable.
std::string CertificateSha256(const unsigned char* der, size_t size);
#endif
