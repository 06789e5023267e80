#include "platform/security/SecKey.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <string_view>

namespace {

std::vector<uint8_t> encode(EVP_PKEY* key) {
    int length = i2d_PUBKEY(key, nullptr);
    if (length <= 0) return {};
    std::vector<uint8_t> der(static_cast<size_t>(length));
    unsigned char* out = der.data();
    i2d_PUBKEY(key, &out);
    return der;
}

}  // namespace

SecKey::SecKey(evp_pkey_st* key) : key_(key), spki_(encode(key)) {}

SecKey::~SecKey() { EVP_PKEY_free(key_); }

size_t SecKey::hash() const {
    return std::hash<std::string_view>()(
        std::string_view(reinterpret_cast<const char*>(spki_.data()), spki_.size()));
}

std::vector<uint8_t> SecKeyCopyExternalRepresentation(const SecKeyRef& key) {
    if (!key) return {};
    return key->publicKeyData();
}
