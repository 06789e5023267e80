#pragma once
// Whether a server's TLS trust, offered in a server-trust challenge, is accepted; optionally
// pinned to certificates or public keys that the application carries.
//
// A plain value object: configured before use, then only read by the challenge handlers on
// the URL-loading threads. It can be copied and archived.

#include <memory>
#include <vector>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSCoder.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"
#include "platform/security/Security.h"

enum NWSSLPinningMode : NSUInteger {
    NWSSLPinningModeNone = 0,
    NWSSLPinningModePublicKey = 1,
    NWSSLPinningModeCertificate = 2,
};

class NWSecurityPolicy : public NSObject, public NSCoding {
public:
    // -init: validatesDomainName YES, everything else zero.
    NWSecurityPolicy();
    static std::shared_ptr<NWSecurityPolicy> make();

    // No pinning, invalid certificates refused, the domain name validated.
    static std::shared_ptr<NWSecurityPolicy> defaultPolicy();
    // The mode, pinned to defaultPinnedCertificates().
    static std::shared_ptr<NWSecurityPolicy> policyWithPinningMode(NWSSLPinningMode pinningMode);
    // The DER bytes of every ".cer" file at the top of the main bundle, in the bundle's
    // listing order; read once per process.
    static std::shared_ptr<NSArray> defaultPinnedCertificates();

    NSUInteger SSLPinningMode() const { return SSLPinningMode_; }
    void setSSLPinningMode(NSUInteger mode) { SSLPinningMode_ = mode; }
    bool allowInvalidCertificates() const { return allowInvalidCertificates_; }
    void setAllowInvalidCertificates(bool allow) { allowInvalidCertificates_ = allow; }
    bool validatesDomainName() const { return validatesDomainName_; }
    void setValidatesDomainName(bool validates) { validatesDomainName_ = validates; }

    // Arrays of NSData (DER). Duplicates are dropped, first occurrence kept; the public keys
    // are derived anew on every set.
    std::shared_ptr<NSArray> pinnedCertificates() const { return pinnedCertificates_; }
    void setPinnedCertificates(const std::shared_ptr<NSArray>& pinnedCertificates);
    // Derived from pinnedCertificates (never set directly); empty pointer when those are nil.
    const std::shared_ptr<const std::vector<SecKeyRef>>& pinnedPublicKeys() const { return pinnedPublicKeys_; }
    // Key paths whose change changes pinnedPublicKeys: {"pinnedCertificates"}.
    static std::vector<std::string> keyPathsForValuesAffectingPinnedPublicKeys();

    // true: the caller may answer the challenge with a credential for this trust. The
    // trust's policies (and, with certificate pinning, its anchors) are changed on the way.
    bool evaluateServerTrust(const SecTrustRef& serverTrust);
    bool evaluateServerTrust(const SecTrustRef& serverTrust, const std::shared_ptr<NSString>& domain);

    // NSSecureCoding: the mode, both flags and the certificates under their property names;
    // the keys are never archived but derived again when decoding.
    static bool supportsSecureCoding() { return true; }
    void encodeWithCoder(NSCoder& coder) const override;
    static std::shared_ptr<NWSecurityPolicy> initWithCoder(NSCoder& coder);

    // NSCopying: a new policy with the same settings (keys derived again).
    id copyWithZone() const override;
    std::shared_ptr<NWSecurityPolicy> copy() const;

private:
    NSUInteger SSLPinningMode_ = NWSSLPinningModeNone;
    bool allowInvalidCertificates_ = false;
    bool validatesDomainName_ = true;
    std::shared_ptr<NSArray> pinnedCertificates_;
    std::shared_ptr<const std::vector<SecKeyRef>> pinnedPublicKeys_;
};
