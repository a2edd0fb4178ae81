#include <windows.h>
#include <wincrypt.h>

#include "common/cert_pin.h"
#include "common/reg_settings.h"
#include "platform/handles.h"

namespace {

constexpr DWORD kSha256Bytes = 32;
// Longest value read, characters with the terminator: a fingerprint with
// separators is 95 characters.
constexpr DWORD kValueChars = 256;

bool ReadValue(REGSAM view, std::u16string& value) {
    const CRegSettingsMngr paths;
    platform::UniqueRegKey key;
    // Read access only: the machine's hive is not the operator's to write.
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                        reinterpret_cast<const wchar_t*>(paths.GetKeyPath(kKeyCommon)), 0,
                        KEY_QUERY_VALUE | view, key.Put()) != ERROR_SUCCESS)
        return false;
    wchar_t buffer[kValueChars] = {};
    DWORD type = 0;
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    if (::RegQueryValueExW(key.Get(), reinterpret_cast<const wchar_t*>(kCertPinValueName), nullptr,
                           &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS) {
        // A value too long for a fingerprint is there all the same.
        if (::RegQueryValueExW(key.Get(), reinterpret_cast<const wchar_t*>(kCertPinValueName),
                               nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
            value = u"?";
            return true;
        }
        return false;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        value = u"?";
        return true;
    }
    buffer[size / sizeof(wchar_t)] = L'\0';
    value = reinterpret_cast<const char16_t*>(buffer);
    return true;
}

}  // namespace

CertificatePin ReadCertificatePin() {
    std::u16string value;
    if (ReadValue(KEY_WOW64_64KEY, value) || ReadValue(KEY_WOW64_32KEY, value))
        return ParseCertificatePin(value);
    return {};
}

std::string CertificateSha256(const unsigned char* der, size_t size) {
    HCRYPTPROV provider = 0;
    // PROV_RSA_AES: the provider type that has SHA-256; no key container.
    if (!::CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
        return {};
    std::string hex;
    HCRYPTHASH hash = 0;
    if (::CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash)) {
        BYTE digest[kSha256Bytes] = {};
        DWORD digestSize = sizeof(digest);
        if (::CryptHashData(hash, der, static_cast<DWORD>(size), 0) &&
            ::CryptGetHashParam(hash, HP_HASHVAL, digest, &digestSize, 0) &&
            digestSize == kSha256Bytes)
            hex = HexDigest(digest, digestSize);
        ::CryptDestroyHash(hash);
    }
    ::CryptReleaseContext(provider, 0);
    return hex;
}
