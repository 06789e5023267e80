// The chain a real TLS server presents on 127.0.0.1, turned into a trust inside the client's
// verify step; the trust's verdict decides the handshake.

#include <gtest/gtest.h>

#include "platform/security/SecOpenSSL.h"
#include "platform/security/Security.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TestHTTPServer.h"
#include "tests/support/TestTLSClient.h"

using namespace zvt::test;

namespace {

const TestCertificates& certs() { return TestCertificates::shared(); }

TLSIdentity identityOf(const TestCertificate& certificate) { return {certificate.chainPEM, certificate.keyPEM}; }

struct Seen {
    std::vector<std::vector<uint8_t>> presented;
    std::vector<std::vector<uint8_t>> evaluated;
    SecTrustResultType result = kSecTrustResultInvalid;
};

// A client that trusts the test CA only and checks the name it connected to.
TLSHandshakeResult connect(const TestHTTPServer& server, const std::string& host, Seen& seen) {
    return performTLSHandshake(server.port(), host, [&](x509_store_ctx_st* storeCtx) {
        SecTrustRef trust = zvt::SecTrustCreateWithPeerChain(storeCtx, host);
        if (!trust) return false;
        for (const auto& certificate : trust->certificates()) seen.presented.push_back(certificate->derData());
        SecTrustSetAnchorCertificates(trust, std::vector<SecCertificateRef>{SecCertificateCreateWithData(certs().ca.der)});
        OSStatus status = SecTrustEvaluate(trust, &seen.result);
        for (CFIndex i = 0; i < SecTrustGetCertificateCount(trust); ++i) {
            seen.evaluated.push_back(SecCertificateCopyData(SecTrustGetCertificateAtIndex(trust, i)));
        }
        return status == errSecSuccess && seen.result == kSecTrustResultUnspecified;
    });
}

}  // namespace

TEST(TrustOverTLS, TheVerdictDecidesTheHandshake) {
    TestHTTPServer good(identityOf(certs().localhost));
    Seen seen;
    auto result = connect(good, "localhost", seen);
    EXPECT_TRUE(result.completed);
    EXPECT_EQ(result.judgeCalls, 1);
    EXPECT_EQ(seen.presented, std::vector<std::vector<uint8_t>>{certs().localhost.der});
    EXPECT_EQ(seen.evaluated, (std::vector<std::vector<uint8_t>>{certs().localhost.der, certs().ca.der}));

    Seen byAddress;
    EXPECT_TRUE(connect(good, "127.0.0.1", byAddress).completed);

    Seen wrongName;
    EXPECT_FALSE(connect(good, "example.com", wrongName).completed);
    EXPECT_EQ(wrongName.result, kSecTrustResultRecoverableTrustFailure);

    for (const TestCertificate* bad : {&certs().wrongHost, &certs().expired, &certs().selfSigned, &certs().forgedLeaf}) {
        TestHTTPServer server(identityOf(*bad));
        Seen refused;
        auto outcome = connect(server, "localhost", refused);
        EXPECT_TRUE(outcome.connected) << bad->name;
        EXPECT_FALSE(outcome.completed) << bad->name;
        EXPECT_EQ(outcome.judgeCalls, 1) << bad->name;
    }
}

TEST(TrustOverTLS, IntermediatesArriveWithTheLeaf) {
    TestHTTPServer server(identityOf(certs().intermediateLeaf));
    Seen seen;
    EXPECT_TRUE(connect(server, "localhost", seen).completed);
    EXPECT_EQ(seen.presented,
              (std::vector<std::vector<uint8_t>>{certs().intermediateLeaf.der, certs().intermediate.der}));
    EXPECT_EQ(seen.evaluated, (std::vector<std::vector<uint8_t>>{certs().intermediateLeaf.der,
                                                                  certs().intermediate.der, certs().ca.der}));
}
