#pragma once
// Trust evaluation: does a certificate chain lead, by valid signatures, to a trusted anchor,
// and does it satisfy the trust's policies?
//
// A trust starts from the certificates a peer presented (leaf first, then any intermediates,
// in any order) and one or more policies; every policy must hold. The anchors are the system
// set (the ca-certificates bundle) unless SecTrustSetAnchorCertificates replaces them. Any
// anchor, also one that is not self-signed, ends a chain.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/security/SecBase.h"
#include "platform/security/SecCertificate.h"
#include "platform/security/SecKey.h"
#include "platform/security/SecPolicy.h"

using SecTrustResultType = uint32_t;
enum : SecTrustResultType {
    kSecTrustResultInvalid = 0,
    kSecTrustResultProceed = 1,
    kSecTrustResultConfirm = 2,
    kSecTrustResultDeny = 3,
    kSecTrustResultUnspecified = 4,
    kSecTrustResultRecoverableTrustFailure = 5,
    kSecTrustResultFatalTrustFailure = 6,
    kSecTrustResultOtherError = 7,
};

class SecTrust {
public:
    SecTrust(std::vector<SecCertificateRef> certificates, std::vector<SecPolicyRef> policies);

    // The state below is locked: a trust may be handed between threads.
    OSStatus setPolicies(std::vector<SecPolicyRef> policies);
    std::vector<SecPolicyRef> policies() const;
    OSStatus setAnchorCertificates(std::optional<std::vector<SecCertificateRef>> anchors);
    OSStatus setAnchorCertificatesOnly(bool only);
    OSStatus setVerifyDate(std::optional<double> secondsSince1970);
    OSStatus evaluate(SecTrustResultType* result);
    // The last result; kSecTrustResultInvalid before the first evaluation or after a change.
    SecTrustResultType trustResult() const;
    // The chain of the last evaluation (evaluating first when needed), leaf first.
    std::vector<SecCertificateRef> evaluatedChain();
    // The presented certificates, as given.
    std::vector<SecCertificateRef> certificates() const;
    // Why the last evaluation failed (OpenSSL's text of the first problem found), empty when
    // it passed or did not run.
    std::string failureReason() const;

private:
    void invalidate();
    void evaluateLocked();

    mutable std::mutex mutex_;
    std::vector<SecCertificateRef> certificates_;
    std::vector<SecPolicyRef> policies_;
    std::optional<std::vector<SecCertificateRef>> anchors_;
    bool anchorsOnly_ = false;
    std::optional<double> verifyDate_;
    bool evaluated_ = false;
    SecTrustResultType result_ = kSecTrustResultInvalid;
    std::vector<SecCertificateRef> chain_;
    std::string failureReason_;
};

// `certificates`: leaf first; must not be empty. `policies`: empty means one basic X.509
// policy.
OSStatus SecTrustCreateWithCertificates(const std::vector<SecCertificateRef>& certificates,
                                        const std::vector<SecPolicyRef>& policies,
                                        SecTrustRef* trust);
OSStatus SecTrustCreateWithCertificates(const SecCertificateRef& certificate,
                                        const SecPolicyRef& policy, SecTrustRef* trust);

OSStatus SecTrustSetPolicies(const SecTrustRef& trust, const std::vector<SecPolicyRef>& policies);
OSStatus SecTrustSetPolicies(const SecTrustRef& trust, const SecPolicyRef& policy);

// Replaces the system anchors with `anchors` (and then trusts only them, as after
// SecTrustSetAnchorCertificatesOnly(true)); std::nullopt goes back to the system anchors.
OSStatus SecTrustSetAnchorCertificates(const SecTrustRef& trust,
                                       std::optional<std::vector<SecCertificateRef>> anchors);
// false: the anchors given are trusted in addition to the system anchors.
OSStatus SecTrustSetAnchorCertificatesOnly(const SecTrustRef& trust, bool anchorCertificatesOnly);

// Validity dates are checked at this moment instead of now.
OSStatus SecTrustSetVerifyDate(const SecTrustRef& trust, double secondsSince1970);

// Evaluates the trust. errSecSuccess means the evaluation ran; whether the chain is trusted
// is in `result`: kSecTrustResultUnspecified when it is, kSecTrustResultRecoverableTrustFailure
// (or kSecTrustResultFatalTrustFailure for a broken signature) when not.
OSStatus SecTrustEvaluate(const SecTrustRef& trust, SecTrustResultType* result);
OSStatus SecTrustGetTrustResult(const SecTrustRef& trust, SecTrustResultType* result);

// The evaluated chain, leaf first (the trust is evaluated first when it has not been).
CFIndex SecTrustGetCertificateCount(const SecTrustRef& trust);
SecCertificateRef SecTrustGetCertificateAtIndex(const SecTrustRef& trust, CFIndex index);

// The leaf certificate's public key.
SecKeyRef SecTrustCopyPublicKey(const SecTrustRef& trust);
// The public key of a certificate.
SecKeyRef SecCertificateCopyKey(const SecCertificateRef& certificate);
