// The server-trust policy answering the challenges of real HTTPS loads through NSURLConnection,
// as the connection operation does: the protection space's trust and host go to the policy; a
// yes answers with a credential for the trust, a no cancels the challenge and the load fails.

#include <gtest/gtest.h>

#include "foundation/http/NWSecurityPolicy.h"
#include "platform/network/NSURLConnection.h"
#include "platform/security/SecOpenSSL.h"
#include "tests/platform/network/ConnectionTestSupport.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TestHTTPServer.h"

using namespace zvt::test;
using Strings = std::vector<std::string>;

namespace {

const TestCertificates& certs() { return TestCertificates::shared(); }

std::unique_ptr<TestHTTPServer> serverWith(const TLSIdentity& identity) {
    auto server = std::make_unique<TestHTTPServer>(identity);
    server->installStandardRoutes();
    return server;
}
std::unique_ptr<TestHTTPServer> serverWith(const TestCertificate& entry) { return serverWith({entry.chainPEM, entry.keyPEM}); }

class SecurityPolicyOverConnections : public ::testing::Test {
protected:
    void SetUp() override {
        zvt::SecTrustSetSystemAnchorCertificates(std::vector<SecCertificateRef>{SecCertificateCreateWithData(certs().ca.der)});
    }
    void TearDown() override { zvt::SecTrustSetSystemAnchorCertificates(std::nullopt); }

    // Loads `url` on the run-loop thread; true when the body arrived.
    bool loads(const std::string& url, const std::shared_ptr<NWSecurityPolicy>& policy) {
        auto delegate = std::make_shared<RecordingDelegate>();
        delegate->onChallenge = [policy](const NSURLConnectionDelegate::Connection&,
                                         const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) {
            auto space = challenge->protectionSpace();
            if (policy->evaluateServerTrust(space->serverTrust(), space->host())) {
                challenge->sender()->useCredential(NSURLCredential::credentialForTrust(space->serverTrust()), challenge);
            } else {
                challenge->sender()->cancelAuthenticationChallenge(challenge);
            }
        };
        startOn(thread, requestFor(url), delegate);
        EXPECT_TRUE(delegate->waitDone());
        bool loaded = delegate->log() == Strings{"challenge", "response 200", "data", "finish"};
        if (!loaded) {
            EXPECT_TRUE(delegate->error()) << url;
            EXPECT_EQ(delegate->log().front(), "challenge");
        }
        return loaded;
    }

    RunLoopThread thread;
};

std::shared_ptr<NSArray> pins(std::initializer_list<const TestCertificate*> entries) {
    std::vector<id> objects;
    for (const auto* entry : entries) objects.push_back(NSData::dataWithBytes(entry->der.data(), entry->der.size()));
    return NSArray::arrayWithObjects(objects);
}

}  // namespace

TEST_F(SecurityPolicyOverConnections, DefaultPolicy) {
    auto policy = NWSecurityPolicy::defaultPolicy();
    auto good = serverWith(certs().localhost);
    EXPECT_TRUE(loads(good->localhostURL("/hello"), policy));
    EXPECT_TRUE(loads(good->url("/hello"), policy));  // by address
    EXPECT_TRUE(loads(serverWith(certs().intermediateLeaf)->localhostURL("/hello"), policy));
    EXPECT_FALSE(loads(serverWith(certs().wrongHost)->localhostURL("/hello"), policy));
    EXPECT_FALSE(loads(serverWith(certs().selfSigned)->localhostURL("/hello"), policy));
    EXPECT_FALSE(loads(serverWith(certs().expired)->localhostURL("/hello"), policy));
}

TEST_F(SecurityPolicyOverConnections, Pinning) {
    auto certificatePolicy = NWSecurityPolicy::policyWithPinningMode(NWSSLPinningModeCertificate);
    certificatePolicy->setPinnedCertificates(pins({&certs().intermediate}));
    EXPECT_TRUE(loads(serverWith(certs().intermediateLeaf)->localhostURL("/hello"), certificatePolicy));
    EXPECT_FALSE(loads(serverWith(certs().localhost)->localhostURL("/hello"), certificatePolicy));
    // A self-signed server pinned by its own certificate, invalid certificates allowed.
    auto selfSigned = serverWith(certs().selfSigned);
    certificatePolicy->setPinnedCertificates(pins({&certs().selfSigned}));
    EXPECT_FALSE(loads(selfSigned->localhostURL("/hello"), certificatePolicy));
    certificatePolicy->setAllowInvalidCertificates(true);
    EXPECT_TRUE(loads(selfSigned->localhostURL("/hello"), certificatePolicy));

    auto keyPolicy = NWSecurityPolicy::policyWithPinningMode(NWSSLPinningModePublicKey);
    keyPolicy->setPinnedCertificates(pins({&certs().localhost}));
    EXPECT_TRUE(loads(serverWith(certs().reissued)->localhostURL("/hello"), keyPolicy));

    keyPolicy->setPinnedCertificates(pins({&certs().ca}));
    keyPolicy->setAllowInvalidCertificates(true);
    auto forged = serverWith(TLSIdentity{certs().forgedLeaf.pem + certs().ca.pem, certs().forgedLeaf.keyPEM});
    EXPECT_FALSE(loads(forged->localhostURL("/hello"), keyPolicy));
    auto genuine = serverWith(TLSIdentity{certs().localhost.pem + certs().ca.pem, certs().localhost.keyPEM});
    EXPECT_TRUE(loads(genuine->localhostURL("/hello"), keyPolicy));
}
