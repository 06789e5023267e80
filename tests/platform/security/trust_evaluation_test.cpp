// Certificates, keys and trust evaluation against chains made by the test CA.

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <thread>

#include "platform/security/SecOpenSSL.h"
#include "platform/security/Security.h"
#include "tests/support/TestCertificates.h"

using zvt::test::TestCertificate;
using zvt::test::TestCertificates;

namespace {

const TestCertificates& certs() { return TestCertificates::shared(); }

SecCertificateRef certificate(const std::vector<uint8_t>& der) {
    auto result = SecCertificateCreateWithData(der);
    EXPECT_TRUE(result);
    return result;
}

// The certificates a server presents for `entry`: the leaf, then its intermediates.
std::vector<SecCertificateRef> presented(const TestCertificate& entry) {
    std::vector<SecCertificateRef> result{certificate(entry.der)};
    for (const auto& der : entry.intermediatesDER) result.push_back(certificate(der));
    return result;
}

SecTrustRef makeTrust(const std::vector<SecCertificateRef>& chain, const SecPolicyRef& policy,
                      std::optional<std::vector<SecCertificateRef>> anchors) {
    SecTrustRef trust;
    EXPECT_EQ(SecTrustCreateWithCertificates(chain, {policy}, &trust), errSecSuccess);
    if (anchors) {
        EXPECT_EQ(SecTrustSetAnchorCertificates(trust, anchors), errSecSuccess);
    }
    return trust;
}

SecTrustResultType evaluate(const SecTrustRef& trust) {
    SecTrustResultType result = kSecTrustResultInvalid;
    EXPECT_EQ(SecTrustEvaluate(trust, &result), errSecSuccess);
    return result;
}

bool passes(SecTrustResultType result) {
    return result == kSecTrustResultUnspecified || result == kSecTrustResultProceed;
}

std::vector<SecCertificateRef> anchoredAtCA() { return {certificate(certs().ca.der)}; }

std::vector<std::vector<uint8_t>> chainBytes(const SecTrustRef& trust) {
    std::vector<std::vector<uint8_t>> bytes;
    for (CFIndex i = 0; i < SecTrustGetCertificateCount(trust); ++i) {
        bytes.push_back(SecCertificateCopyData(SecTrustGetCertificateAtIndex(trust, i)));
    }
    return bytes;
}

// Restores the ca-certificates bundle as the system anchors when a test ends.
struct SystemAnchorsGuard {
    ~SystemAnchorsGuard() { zvt::SecTrustSetSystemAnchorCertificates(std::nullopt); }
};

}  // namespace

TEST(SecCertificate, DERRoundTripAndRefusals) {
    const auto& der = certs().localhost.der;
    auto cert = SecCertificateCreateWithData(der);
    ASSERT_TRUE(cert);
    EXPECT_EQ(SecCertificateCopyData(cert), der);
    EXPECT_EQ(SecCertificateCopySubjectSummary(cert), "localhost");

    EXPECT_FALSE(SecCertificateCreateWithData(std::vector<uint8_t>{}));
    EXPECT_FALSE(SecCertificateCreateWithData(nullptr, 10));
    std::vector<uint8_t> truncated(der.begin(), der.end() - 1);
    EXPECT_FALSE(SecCertificateCreateWithData(truncated));
    std::vector<uint8_t> trailing = der;
    trailing.push_back(0);
    EXPECT_FALSE(SecCertificateCreateWithData(trailing));
    std::string pem = certs().localhost.pem;  // PEM text is not DER
    EXPECT_FALSE(SecCertificateCreateWithData(pem.data(), pem.size()));
    EXPECT_TRUE(SecCertificateCopyData(nullptr).empty());
}

TEST(SecKey, KeysCompareByTheirDERForm) {
    auto original = SecCertificateCopyKey(certificate(certs().localhost.der));
    auto reissued = SecCertificateCopyKey(certificate(certs().reissued.der));
    auto other = SecCertificateCopyKey(certificate(certs().wrongHost.der));
    ASSERT_TRUE(original && reissued && other);
    EXPECT_NE(certs().localhost.der, certs().reissued.der);
    EXPECT_TRUE(original->isEqual(*reissued));
    EXPECT_EQ(original->hash(), reissued->hash());
    EXPECT_FALSE(original->isEqual(*other));
    EXPECT_EQ(SecKeyCopyExternalRepresentation(original), certs().localhost.publicKeyDER);

    SecTrustRef trust = makeTrust({certificate(certs().localhost.der)}, SecPolicyCreateBasicX509(), std::nullopt);
    auto fromTrust = SecTrustCopyPublicKey(trust);
    ASSERT_TRUE(fromTrust);
    EXPECT_TRUE(fromTrust->isEqual(*original));
    EXPECT_FALSE(SecTrustCopyPublicKey(nullptr));
}

TEST(SecTrust, CreationRefusesMissingParts) {
    SecTrustRef trust;
    EXPECT_EQ(SecTrustCreateWithCertificates(std::vector<SecCertificateRef>{}, {}, &trust), errSecParam);
    EXPECT_FALSE(trust);
    EXPECT_EQ(SecTrustCreateWithCertificates(std::vector<SecCertificateRef>{nullptr}, {}, &trust), errSecParam);
    EXPECT_EQ(SecTrustCreateWithCertificates(certificate(certs().localhost.der), nullptr, nullptr), errSecParam);
    EXPECT_EQ(SecTrustEvaluate(nullptr, nullptr), errSecParam);
    EXPECT_EQ(SecTrustSetPolicies(nullptr, SecPolicyCreateBasicX509()), errSecParam);
    EXPECT_EQ(SecTrustGetCertificateCount(nullptr), 0);
    // No policy means the basic X.509 check.
    ASSERT_EQ(SecTrustCreateWithCertificates(certificate(certs().wrongHost.der), nullptr, &trust), errSecSuccess);
    SecTrustSetAnchorCertificates(trust, anchoredAtCA());
    EXPECT_TRUE(passes(evaluate(trust)));
}

TEST(SecTrust, SSLPolicyChecksTheHostName) {
    auto anchors = anchoredAtCA();
    auto leaf = presented(certs().localhost);
    for (const char* host : {"localhost", "LOCALHOST", "localhost.", "127.0.0.1", "::1", "[::1]"}) {
        EXPECT_TRUE(passes(evaluate(makeTrust(leaf, SecPolicyCreateSSL(true, host), anchors)))) << host;
    }
    for (const char* host : {"other.example", "127.0.0.2", "local", "", "localhost.example"}) {
        auto trust = makeTrust(leaf, SecPolicyCreateSSL(true, host), anchors);
        EXPECT_EQ(evaluate(trust), kSecTrustResultRecoverableTrustFailure) << host;
        EXPECT_FALSE(trust->failureReason().empty());
    }
    // Without a name only the chain counts.
    EXPECT_TRUE(passes(evaluate(makeTrust(presented(certs().wrongHost), SecPolicyCreateSSL(true, std::nullopt), anchors))));
    EXPECT_FALSE(passes(evaluate(makeTrust(presented(certs().wrongHost), SecPolicyCreateSSL(true, "localhost"), anchors))));
    EXPECT_TRUE(passes(evaluate(makeTrust(presented(certs().wrongHost), SecPolicyCreateSSL(true, "wrong.example"), anchors))));
    // The basic policy ignores names altogether.
    EXPECT_TRUE(passes(evaluate(makeTrust(presented(certs().wrongHost), SecPolicyCreateBasicX509(), anchors))));
    // A server-only leaf does not pass as a TLS client certificate.
    EXPECT_FALSE(passes(evaluate(makeTrust(leaf, SecPolicyCreateSSL(false, std::nullopt), anchors))));
}

TEST(SecTrust, BrokenChainsFail) {
    auto anchors = anchoredAtCA();
    auto ssl = SecPolicyCreateSSL(true, "localhost");
    EXPECT_FALSE(passes(evaluate(makeTrust(presented(certs().expired), ssl, anchors))));
    EXPECT_FALSE(passes(evaluate(makeTrust(presented(certs().expired), SecPolicyCreateBasicX509(), anchors))));
    EXPECT_FALSE(passes(evaluate(makeTrust(presented(certs().selfSigned), ssl, anchors))));
    // Untrusted root.
    EXPECT_FALSE(passes(evaluate(makeTrust(presented(certs().localhost), ssl, std::vector<SecCertificateRef>{}))));
    // A leaf that names the test CA but was signed by another key.
    auto forged = makeTrust({certificate(certs().forgedLeaf.der), certificate(certs().ca.der)}, ssl, anchors);
    EXPECT_EQ(evaluate(forged), kSecTrustResultFatalTrustFailure);
    // It still chains to the real CA by name, which is what a key pin must not be fooled by.
    EXPECT_EQ(chainBytes(forged), (std::vector<std::vector<uint8_t>>{certs().forgedLeaf.der, certs().ca.der}));
    // The forged chain is anchored by the look-alike only.
    EXPECT_TRUE(passes(evaluate(makeTrust(presented(certs().forgedLeaf), ssl,
                                          std::vector<SecCertificateRef>{certificate(certs().forgedCA.der)}))));
}

TEST(SecTrust, EvaluatedChainRunsFromLeafToAnchor) {
    auto anchors = anchoredAtCA();
    auto ssl = SecPolicyCreateSSL(true, "127.0.0.1");
    auto trust = makeTrust(presented(certs().intermediateLeaf), ssl, anchors);
    EXPECT_TRUE(passes(evaluate(trust)));
    EXPECT_EQ(chainBytes(trust), (std::vector<std::vector<uint8_t>>{certs().intermediateLeaf.der,
                                                                     certs().intermediate.der, certs().ca.der}));
    EXPECT_FALSE(SecTrustGetCertificateAtIndex(trust, 3));
    EXPECT_FALSE(SecTrustGetCertificateAtIndex(trust, -1));

    // Without the intermediate the chain stops at the leaf and fails.
    auto bare = makeTrust({certificate(certs().intermediateLeaf.der)}, ssl, anchors);
    EXPECT_FALSE(passes(evaluate(bare)));
    EXPECT_EQ(chainBytes(bare), std::vector<std::vector<uint8_t>>{certs().intermediateLeaf.der});

    // An intermediate given as anchor ends the chain there.
    auto partial = makeTrust(presented(certs().intermediateLeaf), ssl,
                             std::vector<SecCertificateRef>{certificate(certs().intermediate.der)});
    EXPECT_TRUE(passes(evaluate(partial)));
    EXPECT_EQ(SecTrustGetCertificateCount(partial), 2);

    // So does a leaf given as its own anchor.
    EXPECT_TRUE(passes(evaluate(makeTrust(presented(certs().selfSigned), SecPolicyCreateSSL(true, "localhost"),
                                          std::vector<SecCertificateRef>{certificate(certs().selfSigned.der)}))));

    // The chain is there without an explicit evaluation, too.
    auto lazy = makeTrust(presented(certs().localhost), ssl, anchors);
    EXPECT_EQ(SecTrustGetCertificateCount(lazy), 2);
}

TEST(SecTrust, ChangesInvalidateTheLastResult) {
    auto trust = makeTrust(presented(certs().localhost), SecPolicyCreateSSL(true, "localhost"), anchoredAtCA());
    EXPECT_TRUE(passes(evaluate(trust)));
    SecTrustResultType result = 0;
    EXPECT_EQ(SecTrustGetTrustResult(trust, &result), errSecSuccess);
    EXPECT_EQ(result, kSecTrustResultUnspecified);

    EXPECT_EQ(SecTrustSetPolicies(trust, SecPolicyCreateSSL(true, "other.example")), errSecSuccess);
    SecTrustGetTrustResult(trust, &result);
    EXPECT_EQ(result, kSecTrustResultInvalid);
    EXPECT_FALSE(passes(evaluate(trust)));

    EXPECT_EQ(SecTrustSetPolicies(trust, std::vector<SecPolicyRef>{SecPolicyCreateBasicX509(),
                                                                   SecPolicyCreateSSL(true, "localhost")}),
              errSecSuccess);
    EXPECT_TRUE(passes(evaluate(trust)));
    // Every policy must hold.
    SecTrustSetPolicies(trust, std::vector<SecPolicyRef>{SecPolicyCreateBasicX509(),
                                                         SecPolicyCreateSSL(true, "other.example")});
    EXPECT_FALSE(passes(evaluate(trust)));

    // Validity is judged at the verify date.
    auto expired = makeTrust(presented(certs().expired), SecPolicyCreateSSL(true, "localhost"), anchoredAtCA());
    EXPECT_FALSE(passes(evaluate(expired)));
    SecTrustSetVerifyDate(expired, static_cast<double>(std::time(nullptr) - 45 * 24 * 3600));
    EXPECT_TRUE(passes(evaluate(expired)));
    auto early = makeTrust(presented(certs().localhost), SecPolicyCreateBasicX509(), anchoredAtCA());
    SecTrustSetVerifyDate(early, static_cast<double>(std::time(nullptr) - 10 * 24 * 3600));
    EXPECT_FALSE(passes(evaluate(early)));
}

TEST(SecTrust, SystemAnchorsAndTheirReplacement) {
    SystemAnchorsGuard guard;
    EXPECT_FALSE(zvt::SecTrustCopySystemAnchorCertificates().empty());  // the ca-certificates bundle
    auto ssl = SecPolicyCreateSSL(true, "localhost");
    EXPECT_FALSE(passes(evaluate(makeTrust(presented(certs().localhost), ssl, std::nullopt))));

    zvt::SecTrustSetSystemAnchorCertificates(anchoredAtCA());
    ASSERT_EQ(zvt::SecTrustCopySystemAnchorCertificates().size(), 1u);
    EXPECT_TRUE(passes(evaluate(makeTrust(presented(certs().localhost), ssl, std::nullopt))));

    // Given anchors replace the system ones ...
    auto trust = makeTrust(presented(certs().localhost), ssl,
                           std::vector<SecCertificateRef>{certificate(certs().forgedCA.der)});
    EXPECT_FALSE(passes(evaluate(trust)));
    // ... unless they are to be trusted in addition ...
    SecTrustSetAnchorCertificatesOnly(trust, false);
    EXPECT_TRUE(passes(evaluate(trust)));
    // ... and no anchors at all go back to the system set.
    SecTrustSetAnchorCertificatesOnly(trust, true);
    EXPECT_FALSE(passes(evaluate(trust)));
    SecTrustSetAnchorCertificates(trust, std::nullopt);
    EXPECT_TRUE(passes(evaluate(trust)));

    zvt::SecTrustSetSystemAnchorCertificates(std::nullopt);
    EXPECT_GT(zvt::SecTrustCopySystemAnchorCertificates().size(), 1u);
}

TEST(SecTrust, ConcurrentEvaluationsOfSharedCertificates) {
    auto leaf = presented(certs().intermediateLeaf);
    auto anchors = anchoredAtCA();
    auto shared = makeTrust(leaf, SecPolicyCreateSSL(true, "localhost"), anchors);
    std::vector<std::thread> threads;
    std::atomic<int> passed{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 25; ++i) {
                auto own = makeTrust(leaf, SecPolicyCreateSSL(true, t % 2 ? "localhost" : "127.0.0.1"), anchors);
                if (passes(evaluate(own))) ++passed;
                if (SecTrustGetCertificateCount(shared) == 3) ++passed;
                SecTrustSetPolicies(shared, SecPolicyCreateSSL(true, "localhost"));
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(passed.load(), 200);
}

TEST(SecCertificate, SignedByChecksNameAndSignature) {
    auto ca = certificate(certs().ca.der);
    auto intermediate = certificate(certs().intermediate.der);
    EXPECT_TRUE(zvt::SecCertificateIsSignedBy(certificate(certs().localhost.der), ca));
    EXPECT_TRUE(zvt::SecCertificateIsSignedBy(intermediate, ca));
    EXPECT_TRUE(zvt::SecCertificateIsSignedBy(certificate(certs().intermediateLeaf.der), intermediate));
    EXPECT_TRUE(zvt::SecCertificateIsSignedBy(ca, ca));
    EXPECT_FALSE(zvt::SecCertificateIsSignedBy(certificate(certs().intermediateLeaf.der), ca));
    EXPECT_FALSE(zvt::SecCertificateIsSignedBy(ca, certificate(certs().localhost.der)));
    // Same issuer name, other key.
    EXPECT_FALSE(zvt::SecCertificateIsSignedBy(certificate(certs().forgedLeaf.der), ca));
    EXPECT_TRUE(zvt::SecCertificateIsSignedBy(certificate(certs().forgedLeaf.der), certificate(certs().forgedCA.der)));
    EXPECT_FALSE(zvt::SecCertificateIsSignedBy(nullptr, ca));
}
