#include "platform/security/SecTrust.h"

#include <arpa/inet.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <memory>
#include <mutex>

#include "platform/security/SecOpenSSL.h"

namespace {

struct StoreDeleter {
    void operator()(X509_STORE* store) const { X509_STORE_free(store); }
};
struct StoreCtxDeleter {
    void operator()(X509_STORE_CTX* ctx) const { X509_STORE_CTX_free(ctx); }
};
struct StackDeleter {
    // The stacks below borrow their certificates from SecCertificate objects.
    void operator()(STACK_OF(X509) * stack) const { sk_X509_free(stack); }
};
using StackPtr = std::unique_ptr<STACK_OF(X509), StackDeleter>;

StackPtr borrowedStack(const std::vector<SecCertificateRef>& certificates, size_t from = 0) {
    StackPtr stack(sk_X509_new_null());
    if (!stack) return nullptr;
    for (size_t i = from; i < certificates.size(); ++i) {
        if (certificates[i] && sk_X509_push(stack.get(), certificates[i]->x509()) <= 0) return nullptr;
    }
    return stack;
}

// What one verification found. OpenSSL is told to go on after each problem so that the
// whole chain is built; the first problem decides the verdict.
struct VerifyState {
    int firstError = X509_V_OK;
};

extern "C" int recordingVerifyCallback(int ok, X509_STORE_CTX* ctx) {
    auto* state = static_cast<VerifyState*>(X509_STORE_CTX_get_app_data(ctx));
    if (!ok && state != nullptr && state->firstError == X509_V_OK) {
        state->firstError = X509_STORE_CTX_get_error(ctx);
        if (state->firstError == X509_V_OK) state->firstError = X509_V_ERR_UNSPECIFIED;
    }
    return 1;
}

bool isIPAddress(const std::string& host) {
    unsigned char buffer[16];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

SecTrustResultType resultForError(int error) {
    switch (error) {
    case X509_V_OK:
        return kSecTrustResultUnspecified;
    case X509_V_ERR_CERT_SIGNATURE_FAILURE:
    case X509_V_ERR_UNABLE_TO_DECRYPT_CERT_SIGNATURE:
    case X509_V_ERR_UNABLE_TO_DECODE_ISSUER_PUBLIC_KEY:
        return kSecTrustResultFatalTrustFailure;
    default:
        return kSecTrustResultRecoverableTrustFailure;
    }
}

int severity(SecTrustResultType result) {
    switch (result) {
    case kSecTrustResultUnspecified:
    case kSecTrustResultProceed:
        return 0;
    case kSecTrustResultRecoverableTrustFailure:
        return 1;
    case kSecTrustResultFatalTrustFailure:
        return 2;
    default:
        return 3;
    }
}

struct PolicyOutcome {
    SecTrustResultType result = kSecTrustResultOtherError;
    std::string reason;
    std::vector<SecCertificateRef> chain;
};

PolicyOutcome verifyOne(const std::vector<SecCertificateRef>& certificates, const std::vector<SecCertificateRef>& anchors,
                        const SecPolicy* policy, const std::optional<double>& verifyDate) {
    PolicyOutcome outcome;
    std::unique_ptr<X509_STORE, StoreDeleter> store(X509_STORE_new());
    std::unique_ptr<X509_STORE_CTX, StoreCtxDeleter> ctx(X509_STORE_CTX_new());
    StackPtr untrusted = borrowedStack(certificates, 1);
    StackPtr trusted = borrowedStack(anchors);
    if (!store || !ctx || !untrusted || !trusted) {
        outcome.reason = "out of memory";
        return outcome;
    }
    if (X509_STORE_CTX_init(ctx.get(), store.get(), certificates.front()->x509(), untrusted.get()) != 1) {
        outcome.reason = "cannot set up the verification";
        return outcome;
    }
    X509_STORE_CTX_set0_trusted_stack(ctx.get(), trusted.get());
    VerifyState state;
    X509_STORE_CTX_set_app_data(ctx.get(), &state);
    X509_STORE_CTX_set_verify_cb(ctx.get(), recordingVerifyCallback);

    X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(ctx.get());
    // Any anchor ends a chain, also an intermediate or a leaf given as anchor.
    X509_VERIFY_PARAM_set_flags(param, X509_V_FLAG_PARTIAL_CHAIN);
    if (verifyDate) X509_VERIFY_PARAM_set_time(param, static_cast<time_t>(*verifyDate));
    bool emptyHost = false;
    if (policy != nullptr && policy->kind() == SecPolicy::Kind::SSL) {
        X509_VERIFY_PARAM_set_purpose(param, policy->server() ? X509_PURPOSE_SSL_SERVER : X509_PURPOSE_SSL_CLIENT);
        if (const auto& host = policy->hostname()) {
            std::string name = *host;
            if (name.size() > 2 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
            if (name.empty()) {
                // OpenSSL would take an empty name as "no name check"; a name was asked for.
                emptyHost = true;
            } else if (isIPAddress(name)) {
                X509_VERIFY_PARAM_set1_ip_asc(param, name.c_str());
            } else {
                if (name.size() > 1 && name.back() == '.') name.pop_back();
                X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
                X509_VERIFY_PARAM_set1_host(param, name.c_str(), name.size());
            }
        }
    }

    // OpenSSL 3.0 fills caches inside shared certificates while it verifies (signature and
    // extension facts) without always locking; trusts built on the same certificates in
    // several threads (every TLS handshake judges the same anchors) must not verify at once.
    static std::mutex verifyMutex;
    int verified;
    {
        std::lock_guard verifyLock(verifyMutex);
        verified = X509_verify_cert(ctx.get());
    }
    if (verified <= 0 && state.firstError == X509_V_OK) {
        int error = X509_STORE_CTX_get_error(ctx.get());
        state.firstError = error == X509_V_OK ? X509_V_ERR_UNSPECIFIED : error;
    }
    if (emptyHost && state.firstError == X509_V_OK) state.firstError = X509_V_ERR_HOSTNAME_MISMATCH;
    outcome.result = resultForError(state.firstError);
    if (state.firstError != X509_V_OK) outcome.reason = X509_verify_cert_error_string(state.firstError);

    if (STACK_OF(X509)* chain = X509_STORE_CTX_get1_chain(ctx.get())) {
        outcome.chain = zvt::SecCertificatesFromStack(chain);
        sk_X509_pop_free(chain, X509_free);
    }
    if (outcome.chain.empty()) outcome.chain.push_back(certificates.front());
    return outcome;
}

}  // namespace

SecTrust::SecTrust(std::vector<SecCertificateRef> certificates, std::vector<SecPolicyRef> policies)
    : certificates_(std::move(certificates)), policies_(std::move(policies)) {}

void SecTrust::invalidate() {
    evaluated_ = false;
    result_ = kSecTrustResultInvalid;
    chain_.clear();
    failureReason_.clear();
}

OSStatus SecTrust::setPolicies(std::vector<SecPolicyRef> policies) {
    for (const auto& policy : policies) {
        if (!policy) return errSecParam;
    }
    std::lock_guard lock(mutex_);
    policies_ = std::move(policies);
    invalidate();
    return errSecSuccess;
}

std::vector<SecPolicyRef> SecTrust::policies() const {
    std::lock_guard lock(mutex_);
    return policies_;
}

OSStatus SecTrust::setAnchorCertificates(std::optional<std::vector<SecCertificateRef>> anchors) {
    if (anchors) {
        for (const auto& anchor : *anchors) {
            if (!anchor) return errSecParam;
        }
    }
    std::lock_guard lock(mutex_);
    anchorsOnly_ = anchors.has_value();
    anchors_ = std::move(anchors);
    invalidate();
    return errSecSuccess;
}

OSStatus SecTrust::setAnchorCertificatesOnly(bool only) {
    std::lock_guard lock(mutex_);
    anchorsOnly_ = only;
    invalidate();
    return errSecSuccess;
}

OSStatus SecTrust::setVerifyDate(std::optional<double> secondsSince1970) {
    std::lock_guard lock(mutex_);
    verifyDate_ = secondsSince1970;
    invalidate();
    return errSecSuccess;
}

void SecTrust::evaluateLocked() {
    std::vector<SecCertificateRef> anchors;
    if (anchors_) anchors = *anchors_;
    if (!anchors_ || !anchorsOnly_) {
        auto system = zvt::SecTrustCopySystemAnchorCertificates();
        anchors.insert(anchors.end(), system.begin(), system.end());
    }
    std::vector<const SecPolicy*> policies;
    for (const auto& policy : policies_) policies.push_back(policy.get());
    if (policies.empty()) policies.push_back(nullptr);  // a basic X.509 check

    SecTrustResultType worst = kSecTrustResultUnspecified;
    std::string reason;
    std::vector<SecCertificateRef> chain;
    for (size_t i = 0; i < policies.size(); ++i) {
        PolicyOutcome outcome = verifyOne(certificates_, anchors, policies[i], verifyDate_);
        if (i == 0) chain = std::move(outcome.chain);
        if (severity(outcome.result) > severity(worst)) {
            worst = outcome.result;
            reason = outcome.reason;
        }
    }
    evaluated_ = true;
    result_ = worst;
    chain_ = std::move(chain);
    failureReason_ = std::move(reason);
}

OSStatus SecTrust::evaluate(SecTrustResultType* result) {
    std::lock_guard lock(mutex_);
    if (!evaluated_) evaluateLocked();
    if (result != nullptr) *result = result_;
    return errSecSuccess;
}

SecTrustResultType SecTrust::trustResult() const {
    std::lock_guard lock(mutex_);
    return result_;
}

std::vector<SecCertificateRef> SecTrust::evaluatedChain() {
    std::lock_guard lock(mutex_);
    if (!evaluated_) evaluateLocked();
    return chain_;
}

std::vector<SecCertificateRef> SecTrust::certificates() const {
    std::lock_guard lock(mutex_);
    return certificates_;
}

std::string SecTrust::failureReason() const {
    std::lock_guard lock(mutex_);
    return failureReason_;
}

OSStatus SecTrustCreateWithCertificates(const std::vector<SecCertificateRef>& certificates,
                                        const std::vector<SecPolicyRef>& policies, SecTrustRef* trust) {
    if (trust == nullptr) return errSecParam;
    *trust = nullptr;
    if (certificates.empty()) return errSecParam;
    for (const auto& certificate : certificates) {
        if (!certificate) return errSecParam;
    }
    for (const auto& policy : policies) {
        if (!policy) return errSecParam;
    }
    *trust = std::make_shared<SecTrust>(certificates, policies);
    return errSecSuccess;
}

OSStatus SecTrustCreateWithCertificates(const SecCertificateRef& certificate, const SecPolicyRef& policy,
                                        SecTrustRef* trust) {
    std::vector<SecPolicyRef> policies;
    if (policy) policies.push_back(policy);
    return SecTrustCreateWithCertificates(std::vector<SecCertificateRef>{certificate}, policies, trust);
}

OSStatus SecTrustSetPolicies(const SecTrustRef& trust, const std::vector<SecPolicyRef>& policies) {
    if (!trust) return errSecParam;
    return trust->setPolicies(policies);
}

OSStatus SecTrustSetPolicies(const SecTrustRef& trust, const SecPolicyRef& policy) {
    if (!trust || !policy) return errSecParam;
    return trust->setPolicies({policy});
}

OSStatus SecTrustSetAnchorCertificates(const SecTrustRef& trust,
                                       std::optional<std::vector<SecCertificateRef>> anchors) {
    if (!trust) return errSecParam;
    return trust->setAnchorCertificates(std::move(anchors));
}

OSStatus SecTrustSetAnchorCertificatesOnly(const SecTrustRef& trust, bool anchorCertificatesOnly) {
    if (!trust) return errSecParam;
    return trust->setAnchorCertificatesOnly(anchorCertificatesOnly);
}

OSStatus SecTrustSetVerifyDate(const SecTrustRef& trust, double secondsSince1970) {
    if (!trust) return errSecParam;
    return trust->setVerifyDate(secondsSince1970);
}

OSStatus SecTrustEvaluate(const SecTrustRef& trust, SecTrustResultType* result) {
    if (!trust) return errSecParam;
    return trust->evaluate(result);
}

OSStatus SecTrustGetTrustResult(const SecTrustRef& trust, SecTrustResultType* result) {
    if (!trust || result == nullptr) return errSecParam;
    *result = trust->trustResult();
    return errSecSuccess;
}

CFIndex SecTrustGetCertificateCount(const SecTrustRef& trust) {
    if (!trust) return 0;
    return static_cast<CFIndex>(trust->evaluatedChain().size());
}

SecCertificateRef SecTrustGetCertificateAtIndex(const SecTrustRef& trust, CFIndex index) {
    if (!trust || index < 0) return nullptr;
    auto chain = trust->evaluatedChain();
    if (static_cast<size_t>(index) >= chain.size()) return nullptr;
    return chain[static_cast<size_t>(index)];
}

SecKeyRef SecTrustCopyPublicKey(const SecTrustRef& trust) {
    if (!trust) return nullptr;
    auto certificates = trust->certificates();
    if (certificates.empty()) return nullptr;
    return SecCertificateCopyKey(certificates.front());
}
