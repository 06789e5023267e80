// Credentials, protection spaces and authentication challenges.
//
// Challenges are answered synchronously: the loader raises a challenge on the connection's
// thread and reads the answer when the delegate's call returns. An answer given later (from
// another thread or a later run-loop turn) is not waited for; the challenge then counts as
// cancelled.
#pragma once

#include <memory>
#include <string>

#include "platform/foundation/NSError.h"
#include "platform/foundation/NSString.h"
#include "platform/network/NSURLRequest.h"
#include "platform/security/SecTrust.h"

inline const zvt::StaticString NSURLProtectionSpaceHTTP{"http"};
inline const zvt::StaticString NSURLProtectionSpaceHTTPS{"https"};
inline const zvt::StaticString NSURLAuthenticationMethodDefault{"NSURLAuthenticationMethodDefault"};
inline const zvt::StaticString NSURLAuthenticationMethodHTTPBasic{"NSURLAuthenticationMethodHTTPBasic"};
inline const zvt::StaticString NSURLAuthenticationMethodHTTPDigest{"NSURLAuthenticationMethodHTTPDigest"};
inline const zvt::StaticString NSURLAuthenticationMethodServerTrust{"NSURLAuthenticationMethodServerTrust"};
inline const zvt::StaticString NSURLAuthenticationMethodClientCertificate{"NSURLAuthenticationMethodClientCertificate"};

using NSURLCredentialPersistence = NSUInteger;
enum : NSURLCredentialPersistence {
    NSURLCredentialPersistenceNone = 0,
    NSURLCredentialPersistenceForSession = 1,
    NSURLCredentialPersistencePermanent = 2,
};

class NSURLCredential : public NSObject {
public:
    static std::shared_ptr<NSURLCredential> credentialWithUser(const std::shared_ptr<NSString>& user,
                                                              const std::shared_ptr<NSString>& password,
                                                              NSURLCredentialPersistence persistence);
    // credentialForTrust: accepts the server whose trust this is.
    static std::shared_ptr<NSURLCredential> credentialForTrust(const SecTrustRef& trust);

    const std::shared_ptr<NSString>& user() const { return user_; }
    const std::shared_ptr<NSString>& password() const { return password_; }
    bool hasPassword() const { return password_ != nullptr; }
    NSURLCredentialPersistence persistence() const { return persistence_; }
    const SecTrustRef& serverTrust() const { return trust_; }

    bool isEqual(const id& other) const override;
    id copyWithZone() const override { return std::const_pointer_cast<NSObject>(shared_from_this()); }

private:
    std::shared_ptr<NSString> user_, password_;
    NSURLCredentialPersistence persistence_ = NSURLCredentialPersistenceNone;
    SecTrustRef trust_;
};

class NSURLProtectionSpace : public NSObject {
public:
    // initWithHost:port:protocol:realm:authenticationMethod:
    static std::shared_ptr<NSURLProtectionSpace> initWithHost(const std::shared_ptr<NSString>& host, NSInteger port,
                                                             const std::shared_ptr<NSString>& protocol,
                                                             const std::shared_ptr<NSString>& realm,
                                                             const std::shared_ptr<NSString>& authenticationMethod);
    const std::shared_ptr<NSString>& host() const { return host_; }
    NSInteger port() const { return port_; }
    const std::shared_ptr<NSString>& protocol() const { return protocol_; }
    const std::shared_ptr<NSString>& realm() const { return realm_; }
    const std::shared_ptr<NSString>& authenticationMethod() const { return method_; }
    bool receivesCredentialSecurely() const;
    // The trust of a server-trust space; empty for the other methods.
    const SecTrustRef& serverTrust() const { return trust_; }
    void setServerTrust(const SecTrustRef& trust) { trust_ = trust; }

    bool isEqual(const id& other) const override;
    NSUInteger hash() const override;
    id copyWithZone() const override { return std::const_pointer_cast<NSObject>(shared_from_this()); }

private:
    std::shared_ptr<NSString> host_, protocol_, realm_, method_;
    NSInteger port_ = 0;
    SecTrustRef trust_;
};

class NSURLAuthenticationChallenge;

// NSURLAuthenticationChallengeSender: how a challenge is answered.
class NSURLAuthenticationChallengeSender {
public:
    virtual ~NSURLAuthenticationChallengeSender() = default;
    virtual void useCredential(const std::shared_ptr<NSURLCredential>& credential,
                               const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) = 0;
    virtual void continueWithoutCredentialForAuthenticationChallenge(const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) = 0;
    virtual void cancelAuthenticationChallenge(const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) = 0;
    virtual void performDefaultHandlingForAuthenticationChallenge(const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) = 0;
    virtual void rejectProtectionSpaceAndContinueWithChallenge(const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) = 0;
};

class NSURLAuthenticationChallenge : public NSObject {
public:
    // initWithProtectionSpace:proposedCredential:previousFailureCount:failureResponse:error:sender:
    static std::shared_ptr<NSURLAuthenticationChallenge> initWithProtectionSpace(
        const std::shared_ptr<NSURLProtectionSpace>& space, const std::shared_ptr<NSURLCredential>& proposedCredential,
        NSInteger previousFailureCount, const std::shared_ptr<NSURLResponse>& failureResponse,
        const std::shared_ptr<NSError>& error, const std::shared_ptr<NSURLAuthenticationChallengeSender>& sender);

    const std::shared_ptr<NSURLProtectionSpace>& protectionSpace() const { return space_; }
    const std::shared_ptr<NSURLCredential>& proposedCredential() const { return proposed_; }
    NSInteger previousFailureCount() const { return failures_; }
    const std::shared_ptr<NSURLResponse>& failureResponse() const { return failureResponse_; }
    const std::shared_ptr<NSError>& error() const { return error_; }
    // The sender lives as long as the challenge is being answered.
    std::shared_ptr<NSURLAuthenticationChallengeSender> sender() const { return sender_.lock(); }

private:
    std::shared_ptr<NSURLProtectionSpace> space_;
    std::shared_ptr<NSURLCredential> proposed_;
    NSInteger failures_ = 0;
    std::shared_ptr<NSURLResponse> failureResponse_;
    std::shared_ptr<NSError> error_;
    std::weak_ptr<NSURLAuthenticationChallengeSender> sender_;
};
