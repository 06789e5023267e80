#pragma once
// Common types of the Security stand-in: status codes and the object references.
// Certificates, keys, policies and trusts are immutable or internally locked objects held
// by std::shared_ptr; an empty pointer plays the part of NULL.

#include <cstdint>
#include <memory>

using OSStatus = int32_t;
using CFIndex = int64_t;

enum : OSStatus {
    errSecSuccess = 0,
    errSecUnimplemented = -4,
    errSecParam = -50,
    errSecAllocate = -108,
    errSecInternalComponent = -2070,
    errSecDecode = -26275,
};

class SecCertificate;
class SecKey;
class SecPolicy;
class SecTrust;

using SecCertificateRef = std::shared_ptr<SecCertificate>;
using SecKeyRef = std::shared_ptr<SecKey>;
using SecPolicyRef = std::shared_ptr<SecPolicy>;
using SecTrustRef = std::shared_ptr<SecTrust>;
