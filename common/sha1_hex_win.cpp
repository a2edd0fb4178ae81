#include <windows.h>
#include <wincrypt.h>

#include "common/sha1.h"
#include "common/sha1_hex.h"
#include "platform/notifier.h"

namespace {

constexpr wchar_t kKeyContainer[] = L"marvesto";
constexpr char kCryptoApiFailed[] = "Ошибка вызова CryptoAPI.";

}  // namespace

bool Sha1Hex(std::string_view text, char* out) {
    HCRYPTPROV provider = 0;
    if (!::CryptAcquireContextW(&provider, kKeyContainer, nullptr, PROV_RSA_FULL, 0) &&
        !::CryptAcquireContextW(&provider, kKeyContainer, nullptr, PROV_RSA_FULL,
                                CRYPT_NEWKEYSET)) {
        platform::ShowMessage(kCryptoApiFailed, {}, platform::MessageIcon::Error);
        return false;
    }
    bool ok = false;
    HCRYPTHASH hash = 0;
    if (::CryptCreateHash(provider, CALG_SHA1, 0, 0, &hash)) {
        BYTE digest[20] = {};
        DWORD size = sizeof(digest);
        if (::CryptHashData(hash, reinterpret_cast<const BYTE*>(text.data()),
                            static_cast<DWORD>(text.size()), 0) &&
            ::CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0) &&
            size * 2 < kSha1HexBufferBytes) {
            const std::string hex = DigestToHex(digest, size);
            memcpy(out, hex.c_str(), hex.size() + 1);
            ok = true;
        }
        ::CryptDestroyHash(hash);
    }
    ::CryptReleaseContext(provider, 0);
    return ok;
}
