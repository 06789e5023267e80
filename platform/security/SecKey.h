#pragma once
// Public keys taken from certificates. Two keys are equal when their DER forms
// (SubjectPublicKeyInfo) are byte-equal.

#include <cstdint>
#include <vector>

#include "platform/security/SecBase.h"

struct evp_pkey_st;

class SecKey {
public:
    // Takes over one reference of `key`.
    explicit SecKey(evp_pkey_st* key);
    ~SecKey();
    SecKey(const SecKey&) = delete;
    SecKey& operator=(const SecKey&) = delete;

    evp_pkey_st* pkey() const { return key_; }
    // SubjectPublicKeyInfo DER bytes.
    const std::vector<uint8_t>& publicKeyData() const { return spki_; }
    bool isEqual(const SecKey& other) const { return spki_ == other.spki_; }
    size_t hash() const;

private:
    evp_pkey_st* key_;
    std::vector<uint8_t> spki_;
};

inline bool operator==(const SecKey& a, const SecKey& b) { return a.isEqual(b); }

// The SubjectPublicKeyInfo DER bytes of a key (empty for an empty reference).
std::vector<uint8_t> SecKeyCopyExternalRepresentation(const SecKeyRef& key);
