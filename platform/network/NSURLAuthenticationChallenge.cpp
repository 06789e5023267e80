#include "platform/network/NSURLAuthenticationChallenge.h"

std::shared_ptr<NSURLCredential> NSURLCredential::credentialWithUser(const std::shared_ptr<NSString>& user,
                                                                    const std::shared_ptr<NSString>& password,
                                                                    NSURLCredentialPersistence persistence) {
    auto c = std::make_shared<NSURLCredential>();
    c->user_ = user;
    c->password_ = password;
    c->persistence_ = persistence;
    return c;
}

std::shared_ptr<NSURLCredential> NSURLCredential::credentialForTrust(const SecTrustRef& trust) {
    if (!trust) return nullptr;
    auto c = std::make_shared<NSURLCredential>();
    c->trust_ = trust;
    c->persistence_ = NSURLCredentialPersistenceForSession;
    return c;
}

bool NSURLCredential::isEqual(const id& other) const {
    auto c = std::dynamic_pointer_cast<NSURLCredential>(other);
    return c && zvt::objectsEqual(user_, c->user_) && zvt::objectsEqual(password_, c->password_) && trust_ == c->trust_;
}

std::shared_ptr<NSURLProtectionSpace> NSURLProtectionSpace::initWithHost(const std::shared_ptr<NSString>& host, NSInteger port,
                                                                       const std::shared_ptr<NSString>& protocol,
                                                                       const std::shared_ptr<NSString>& realm,
                                                                       const std::shared_ptr<NSString>& authenticationMethod) {
    auto s = std::make_shared<NSURLProtectionSpace>();
    s->host_ = host;
    s->port_ = port;
    s->protocol_ = protocol;
    s->realm_ = realm;
    s->method_ = authenticationMethod ? authenticationMethod : NSURLAuthenticationMethodDefault.get();
    return s;
}

bool NSURLProtectionSpace::receivesCredentialSecurely() const {
    return (protocol_ && protocol_->isEqualToString("https")) || (method_ && !method_->isEqualToString("NSURLAuthenticationMethodDefault"));
}

bool NSURLProtectionSpace::isEqual(const id& other) const {
    auto s = std::dynamic_pointer_cast<NSURLProtectionSpace>(other);
    return s && zvt::objectsEqual(host_, s->host_) && port_ == s->port_ && zvt::objectsEqual(protocol_, s->protocol_) &&
           zvt::objectsEqual(realm_, s->realm_) && zvt::objectsEqual(method_, s->method_);
}

NSUInteger NSURLProtectionSpace::hash() const { return (host_ ? host_->hash() : 0) ^ static_cast<NSUInteger>(port_); }

std::shared_ptr<NSURLAuthenticationChallenge> NSURLAuthenticationChallenge::initWithProtectionSpace(
    const std::shared_ptr<NSURLProtectionSpace>& space, const std::shared_ptr<NSURLCredential>& proposedCredential,
    NSInteger previousFailureCount, const std::shared_ptr<NSURLResponse>& failureResponse, const std::shared_ptr<NSError>& error,
    const std::shared_ptr<NSURLAuthenticationChallengeSender>& sender) {
    auto c = std::make_shared<NSURLAuthenticationChallenge>();
    c->space_ = space;
    c->proposed_ = proposedCredential;
    c->failures_ = previousFailureCount;
    c->failureResponse_ = failureResponse;
    c->error_ = error;
    c->sender_ = sender;
    return c;
}
