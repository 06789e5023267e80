// The server-trust policy deciding real TLS handshakes with servers on 127.0.0.1: the client
// builds the trust from the chain the server presented, inside OpenSSL's verify step, and the
// policy's answer completes or aborts the handshake.

#include <gtest/gtest.h>

#include "foundation/http/NWSecurityPolicy.h"
#include "platform/security/SecOpenSSL.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TestHTTPServer.h"
#include "tests/support/TestTLSClient.h"

using namespace zvt::test;

namespace {

const TestCertificates& certs() { return TestCertificates::shared(); }

std::shared_ptr<NSArray> pins(std::initializer_list<const TestCertificate*> entries) {
    std::vector<id> objects;
    for (const auto* entry : entries) objects.push_back(NSData::dataWithBytes(entry->der.data(), entry->der.size()));
    return NSArray::arrayWithObjects(objects);
}

TLSIdentity identityOf(const TestCertificate& entry) { return {entry.chainPEM, entry.keyPEM}; }

// Connects to `server` as `host` and lets `policy` judge the server.
bool handshake(const TestHTTPServer& server, const std::string& host, const std::shared_ptr<NWSecurityPolicy>& policy) {
    auto result = performTLSHandshake(server.port(), host, [&](x509_store_ctx_st* storeCtx) {
        SecTrustRef trust = zvt::SecTrustCreateWithPeerChain(storeCtx, host);
        return policy->evaluateServerTrust(trust, NSString::stringWithUTF8String(host));
    });
    EXPECT_TRUE(result.connected);
    EXPECT_EQ(result.judgeCalls, 1);
    return result.completed;
}

class SecurityPolicyOverTLS : public ::testing::Test {
protected:
    // The device trusts the test CA.
    void SetUp() override {
        zvt::SecTrustSetSystemAnchorCertificates(std::vector<SecCertificateRef>{SecCertificateCreateWithData(certs().ca.der)});
    }
    void TearDown() override { zvt::SecTrustSetSystemAnchorCertificates(std::nullopt); }
};

}  // namespace

TEST_F(SecurityPolicyOverTLS, DefaultPolicy) {
    auto policy = NWSecurityPolicy::defaultPolicy();
    TestHTTPServer good(identityOf(certs().localhost));
    EXPECT_TRUE(handshake(good, "localhost", policy));
    EXPECT_TRUE(handshake(good, "127.0.0.1", policy));
    EXPECT_FALSE(handshake(good, "www.example.com", policy));

    TestHTTPServer chained(identityOf(certs().intermediateLeaf));
    EXPECT_TRUE(handshake(chained, "localhost", policy));

    TestHTTPServer wrongHost(identityOf(certs().wrongHost));
    EXPECT_FALSE(handshake(wrongHost, "localhost", policy));
    TestHTTPServer selfSigned(identityOf(certs().selfSigned));
    EXPECT_FALSE(handshake(selfSigned, "localhost", policy));
    TestHTTPServer expired(identityOf(certs().expired));
    EXPECT_FALSE(handshake(expired, "localhost", policy));
}

TEST_F(SecurityPolicyOverTLS, CertificatePinning) {
    auto policy = NWSecurityPolicy::policyWithPinningMode(NWSSLPinningModeCertificate);
    TestHTTPServer chained(identityOf(certs().intermediateLeaf));
    TestHTTPServer plain(identityOf(certs().localhost));

    policy->setPinnedCertificates(pins({&certs().intermediate}));
    EXPECT_TRUE(handshake(chained, "localhost", policy));
    EXPECT_FALSE(handshake(plain, "localhost", policy));

    policy->setPinnedCertificates(pins({&certs().localhost}));
    EXPECT_TRUE(handshake(plain, "localhost", policy));
    EXPECT_FALSE(handshake(chained, "localhost", policy));

    // A self-signed server pinned by its own certificate.
    TestHTTPServer selfSigned(identityOf(certs().selfSigned));
    policy->setPinnedCertificates(pins({&certs().selfSigned}));
    EXPECT_FALSE(handshake(selfSigned, "localhost", policy));
    policy->setAllowInvalidCertificates(true);
    EXPECT_TRUE(handshake(selfSigned, "localhost", policy));
    EXPECT_FALSE(handshake(selfSigned, "www.example.com", policy));
}

TEST_F(SecurityPolicyOverTLS, PublicKeyPinningAndTheForgedChain) {
    auto policy = NWSecurityPolicy::policyWithPinningMode(NWSSLPinningModePublicKey);
    policy->setPinnedCertificates(pins({&certs().localhost}));
    TestHTTPServer reissued(identityOf(certs().reissued));
    EXPECT_TRUE(handshake(reissued, "localhost", policy));
    TestHTTPServer other(identityOf(certs().intermediateLeaf));
    EXPECT_FALSE(handshake(other, "localhost", policy));

    // The forger sends the real CA certificate along with a leaf of its own that names the CA.
    policy->setPinnedCertificates(pins({&certs().ca}));
    TestHTTPServer genuine(TLSIdentity{certs().localhost.pem + certs().ca.pem, certs().localhost.keyPEM});
    TestHTTPServer forged(TLSIdentity{certs().forgedLeaf.pem + certs().ca.pem, certs().forgedLeaf.keyPEM});
    EXPECT_TRUE(handshake(genuine, "localhost", policy));
    EXPECT_FALSE(handshake(forged, "localhost", policy));
    policy->setAllowInvalidCertificates(true);
    EXPECT_FALSE(handshake(forged, "localhost", policy));
    EXPECT_TRUE(handshake(genuine, "localhost", policy));
}
