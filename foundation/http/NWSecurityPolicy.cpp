#include "foundation/http/NWSecurityPolicy.h"

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNumber.h"
#include "platform/security/SecCertificate.h"

namespace {

bool trustCheckPasses(const SecTrustRef& trust) {
    SecTrustResultType result = kSecTrustResultInvalid;
    OSStatus status = SecTrustEvaluate(trust, &result);
    return status == errSecSuccess && (result == kSecTrustResultUnspecified || result == kSecTrustResultProceed);
}

// The public key of one certificate, through a one-certificate basic X.509 trust. Only the
// evaluation's status counts, not its verdict, so a self-signed certificate still gives its
// key.
SecKeyRef publicKeyOf(const SecCertificateRef& certificate, const SecPolicyRef& policy) {
    if (!certificate) return nullptr;
    SecTrustRef trust;
    if (SecTrustCreateWithCertificates(certificate, policy, &trust) != errSecSuccess) return nullptr;
    SecTrustResultType result = kSecTrustResultInvalid;
    if (SecTrustEvaluate(trust, &result) != errSecSuccess) return nullptr;
    return SecTrustCopyPublicKey(trust);
}

SecCertificateRef certificateFrom(const id& object) {
    auto data = zvt::as<NSData>(object);
    if (!data) return nullptr;
    return SecCertificateCreateWithData(data->bytes(), data->length());
}

std::vector<SecCertificateRef> serverChain(const SecTrustRef& trust) {
    std::vector<SecCertificateRef> chain;
    CFIndex count = SecTrustGetCertificateCount(trust);
    for (CFIndex i = 0; i < count; ++i) {
        if (auto certificate = SecTrustGetCertificateAtIndex(trust, i)) chain.push_back(std::move(certificate));
    }
    return chain;
}

const zvt::StaticString kSSLPinningModeKey{"SSLPinningMode"};
const zvt::StaticString kAllowInvalidCertificatesKey{"allowInvalidCertificates"};
const zvt::StaticString kValidatesDomainNameKey{"validatesDomainName"};
const zvt::StaticString kPinnedCertificatesKey{"pinnedCertificates"};

const bool registeredForCoding =
    (zvt::registerCodingClass("NWSecurityPolicy", [](NSCoder& coder) -> id { return NWSecurityPolicy::initWithCoder(coder); }),
     true);

}  // namespace

NWSecurityPolicy::NWSecurityPolicy() = default;

std::shared_ptr<NWSecurityPolicy> NWSecurityPolicy::make() { return std::make_shared<NWSecurityPolicy>(); }

std::shared_ptr<NWSecurityPolicy> NWSecurityPolicy::defaultPolicy() {
    auto policy = make();
    policy->setSSLPinningMode(NWSSLPinningModeNone);
    return policy;
}

std::shared_ptr<NWSecurityPolicy> NWSecurityPolicy::policyWithPinningMode(NWSSLPinningMode pinningMode) {
    auto policy = make();
    policy->setSSLPinningMode(pinningMode);
    policy->setPinnedCertificates(defaultPinnedCertificates());
    return policy;
}

std::vector<std::string> NWSecurityPolicy::keyPathsForValuesAffectingPinnedPublicKeys() {
    return {"pinnedCertificates"};
}

void NWSecurityPolicy::setPinnedCertificates(const std::shared_ptr<NSArray>& pinnedCertificates) {
    if (!pinnedCertificates) {
        pinnedCertificates_ = nullptr;
        pinnedPublicKeys_ = nullptr;
        return;
    }
    // Unique by value, in first-seen order.
    std::vector<id> unique;
    for (NSUInteger i = 0; i < pinnedCertificates->count(); ++i) {
        id element = pinnedCertificates->objectAtIndex(i);
        bool seen = false;
        for (const id& kept : unique) {
            if (zvt::objectsEqual(kept, element)) {
                seen = true;
                break;
            }
        }
        if (!seen) unique.push_back(element);
    }
    pinnedCertificates_ = NSArray::arrayWithObjects(unique);

    auto keys = std::make_shared<std::vector<SecKeyRef>>();
    SecPolicyRef policy = SecPolicyCreateBasicX509();
    for (const id& element : unique) {
        // Bytes that are no certificate give no key; such a pin can never match.
        if (auto key = publicKeyOf(certificateFrom(element), policy)) keys->push_back(std::move(key));
    }
    pinnedPublicKeys_ = std::move(keys);
}

bool NWSecurityPolicy::evaluateServerTrust(const SecTrustRef& serverTrust) {
    return evaluateServerTrust(serverTrust, nullptr);
}

bool NWSecurityPolicy::evaluateServerTrust(const SecTrustRef& serverTrust, const std::shared_ptr<NSString>& domain) {
    if (!serverTrust) return false;
    bool noPins = !pinnedCertificates_ || pinnedCertificates_->count() == 0;
    if (domain && allowInvalidCertificates_ && validatesDomainName_ &&
        (SSLPinningMode_ == NWSSLPinningModeNone || noPins)) {
        // A self-signed certificate names whatever it likes: only a pin can vouch for the name.
        NSLog("In order to validate a domain name for self signed certificates, you MUST use pinning.");
        return false;
    }

    SecPolicyRef policy;
    if (validatesDomainName_) {
        policy = SecPolicyCreateSSL(true, domain ? std::optional<std::string>(domain->utf8()) : std::nullopt);
    } else {
        policy = SecPolicyCreateBasicX509();
    }
    SecTrustSetPolicies(serverTrust, policy);

    if (SSLPinningMode_ == NWSSLPinningModeNone) {
        return allowInvalidCertificates_ || trustCheckPasses(serverTrust);
    }
    if (!trustCheckPasses(serverTrust) && !allowInvalidCertificates_) return false;

    std::vector<SecCertificateRef> chain = serverChain(serverTrust);

    switch (SSLPinningMode_) {
    case NWSSLPinningModeCertificate: {
        std::vector<SecCertificateRef> anchors;
        if (pinnedCertificates_) {
            for (NSUInteger i = 0; i < pinnedCertificates_->count(); ++i) {
                // A pin that is no certificate cannot anchor anything.
                if (auto certificate = certificateFrom(pinnedCertificates_->objectAtIndex(i))) {
                    anchors.push_back(std::move(certificate));
                }
            }
        }
        SecTrustSetAnchorCertificates(serverTrust, anchors);
        if (!trustCheckPasses(serverTrust)) return false;
        NSUInteger pinnedInChain = 0;
        for (const auto& certificate : chain) {
            for (const auto& anchor : anchors) {
                if (certificate->isEqual(*anchor)) {
                    ++pinnedInChain;
                    break;
                }
            }
        }
        return pinnedInChain > 0;
    }
    case NWSSLPinningModePublicKey: {
        if (!pinnedPublicKeys_ || chain.empty()) return false;
        // Only keys that the leaf chains to by signature count: a chain that merely carries
        // the pinned (public) certificate next to a leaf of someone else's proves nothing.
        size_t linked = 1;
        while (linked < chain.size() && zvt::SecCertificateIsSignedBy(chain[linked - 1], chain[linked])) ++linked;
        SecPolicyRef basic = SecPolicyCreateBasicX509();
        for (size_t i = 0; i < linked; ++i) {
            SecKeyRef serverKey = publicKeyOf(chain[i], basic);
            if (!serverKey) continue;
            for (const auto& pinnedKey : *pinnedPublicKeys_) {
                if (pinnedKey && serverKey->isEqual(*pinnedKey)) return true;
            }
        }
        return false;
    }
    default:
        return false;
    }
}

void NWSecurityPolicy::encodeWithCoder(NSCoder& coder) const {
    coder.encodeObject(NSNumber::numberWithUnsignedInteger(SSLPinningMode_), kSSLPinningModeKey);
    coder.encodeBool(allowInvalidCertificates_, kAllowInvalidCertificatesKey);
    coder.encodeBool(validatesDomainName_, kValidatesDomainNameKey);
    coder.encodeObject(pinnedCertificates_, kPinnedCertificatesKey);
}

std::shared_ptr<NWSecurityPolicy> NWSecurityPolicy::initWithCoder(NSCoder& coder) {
    (void)registeredForCoding;
    auto policy = make();
    auto mode = coder.decodeObjectOfClass<NSNumber>(kSSLPinningModeKey);
    policy->setSSLPinningMode(mode ? mode->unsignedIntegerValue() : NWSSLPinningModeNone);
    policy->setAllowInvalidCertificates(coder.decodeBoolForKey(kAllowInvalidCertificatesKey));
    policy->setValidatesDomainName(coder.decodeBoolForKey(kValidatesDomainNameKey));
    policy->setPinnedCertificates(coder.decodeObjectOfClass<NSArray>(kPinnedCertificatesKey));
    return policy;
}

id NWSecurityPolicy::copyWithZone() const { return copy(); }

std::shared_ptr<NWSecurityPolicy> NWSecurityPolicy::copy() const {
    auto policy = make();
    policy->setSSLPinningMode(SSLPinningMode_);
    policy->setAllowInvalidCertificates(allowInvalidCertificates_);
    policy->setValidatesDomainName(validatesDomainName_);
    policy->setPinnedCertificates(pinnedCertificates_ ? NSArray::arrayWithArray(pinnedCertificates_) : nullptr);
    return policy;
}

std::shared_ptr<NSArray> NWSecurityPolicy::defaultPinnedCertificates() {
    // Never destroyed: a policy made on another queue while the process exits still reads it.
    static const auto* certificates = new std::shared_ptr<NSArray>([] {
        std::vector<id> found;
        if (auto bundle = NSBundle::mainBundle()) {
            auto paths = bundle->pathsForResourcesOfType(NSString::stringWithUTF8String("cer"),
                                                         NSString::stringWithUTF8String("."));
            for (NSUInteger i = 0; paths && i < paths->count(); ++i) {
                // A file that cannot be read is left out rather than failing the whole list.
                if (auto data = NSData::dataWithContentsOfFile(zvt::as<NSString>(paths->objectAtIndex(i)))) {
                    found.push_back(data);
                }
            }
        }
        return NSArray::arrayWithObjects(std::move(found));
    }());
    return *certificates;
}
