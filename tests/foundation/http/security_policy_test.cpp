// The server-trust policy judging chains made by the test CA, which the fixture installs as
// the only system anchor ("the system trusts it").

#include <gtest/gtest.h>

#include "foundation/http/NWSecurityPolicy.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNumber.h"
#include "platform/security/SecOpenSSL.h"
#include "tests/support/TestCertificates.h"

using zvt::test::TestCertificate;
using zvt::test::TestCertificates;

namespace {

const TestCertificates& certs() { return TestCertificates::shared(); }

std::shared_ptr<NSData> data(const std::vector<uint8_t>& bytes) { return NSData::dataWithBytes(bytes.data(), bytes.size()); }
std::shared_ptr<NSString> str(const char* text) { return NSString::stringWithUTF8String(text); }

std::shared_ptr<NSArray> pins(std::initializer_list<const TestCertificate*> entries) {
    std::vector<id> objects;
    for (const auto* entry : entries) objects.push_back(data(entry->der));
    return NSArray::arrayWithObjects(objects);
}

// A fresh trust over what a server presenting `chain` would send, as URL loading makes it.
SecTrustRef trustFor(const std::vector<std::vector<uint8_t>>& chain) {
    std::vector<SecCertificateRef> certificates;
    for (const auto& der : chain) certificates.push_back(SecCertificateCreateWithData(der));
    SecTrustRef trust;
    EXPECT_EQ(SecTrustCreateWithCertificates(certificates, {SecPolicyCreateSSL(true, std::nullopt)}, &trust),
              errSecSuccess);
    return trust;
}

SecTrustRef trustFor(const TestCertificate& entry) {
    std::vector<std::vector<uint8_t>> chain{entry.der};
    chain.insert(chain.end(), entry.intermediatesDER.begin(), entry.intermediatesDER.end());
    return trustFor(chain);
}

std::vector<std::vector<uint8_t>> chainOf(const SecTrustRef& trust) {
    std::vector<std::vector<uint8_t>> chain;
    for (CFIndex i = 0; i < SecTrustGetCertificateCount(trust); ++i) {
        chain.push_back(SecCertificateCopyData(SecTrustGetCertificateAtIndex(trust, i)));
    }
    return chain;
}

class SecurityPolicy : public ::testing::Test {
protected:
    void SetUp() override {
        zvt::SecTrustSetSystemAnchorCertificates(std::vector<SecCertificateRef>{SecCertificateCreateWithData(certs().ca.der)});
    }
    void TearDown() override { zvt::SecTrustSetSystemAnchorCertificates(std::nullopt); }

    static void withoutTestCA() { zvt::SecTrustSetSystemAnchorCertificates(std::nullopt); }
};

const char* const kSelfSignedWarning =
    "In order to validate a domain name for self signed certificates, you MUST use pinning.";

}  // namespace

TEST_F(SecurityPolicy, DefaultPolicyAcceptsOnlyTrustedChainsForTheHost) {
    auto policy = NWSecurityPolicy::defaultPolicy();
    EXPECT_EQ(policy->SSLPinningMode(), NWSSLPinningModeNone);
    EXPECT_FALSE(policy->allowInvalidCertificates());
    EXPECT_TRUE(policy->validatesDomainName());
    EXPECT_FALSE(policy->pinnedCertificates());

    EXPECT_TRUE(policy->evaluateServerTrust(trustFor(certs().localhost), str("localhost")));
    EXPECT_TRUE(policy->evaluateServerTrust(trustFor(certs().localhost), str("127.0.0.1")));
    EXPECT_TRUE(policy->evaluateServerTrust(trustFor(certs().intermediateLeaf), str("localhost")));
    EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs().expired), str("localhost")));
    EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs().selfSigned), str("localhost")));
    EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs().wrongHost), str("localhost")));
    EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs().localhost), str("api.example.com")));
    EXPECT_FALSE(policy->evaluateServerTrust(nullptr, str("localhost")));

    // Without a host the SSL policy carries no name: only the chain is judged.
    EXPECT_TRUE(policy->evaluateServerTrust(trustFor(certs().wrongHost)));
    EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs().selfSigned)));

    // A trust the system does not anchor.
    withoutTestCA();
    EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs().localhost), str("localhost")));
}

TEST_F(SecurityPolicy, InvalidCertificatesAndDomainNames) {
    zvt::LogCapture log;
    auto policy = NWSecurityPolicy::defaultPolicy();
    policy->setAllowInvalidCertificates(true);
    // A host to validate, but no pin to vouch for a self-signed certificate's name.
    EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs().localhost), str("localhost")));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0], kSelfSignedWarning);
    // Pinning mode without pins is no better.
    policy->setSSLPinningMode(NWSSLPinningModeCertificate);
    policy->setPinnedCertificates(NSArray::array());
    EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs().selfSigned), str("localhost")));
    EXPECT_EQ(log.lines().size(), 2u);

    // Without a host there is no name to vouch for: no warning, the pins decide.
    log.clear();
    EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs().selfSigned)));
    EXPECT_TRUE(log.lines().empty());

    // Names not validated: anything goes without pinning, also without a host.
    auto lax = NWSecurityPolicy::defaultPolicy();
    lax->setAllowInvalidCertificates(true);
    lax->setValidatesDomainName(false);
    EXPECT_TRUE(lax->evaluateServerTrust(trustFor(certs().selfSigned), str("localhost")));
    EXPECT_TRUE(lax->evaluateServerTrust(trustFor(certs().expired), str("localhost")));
    EXPECT_TRUE(lax->evaluateServerTrust(trustFor(certs().wrongHost)));
    EXPECT_TRUE(log.lines().empty());

    // Names not validated but invalid certificates refused: the chain still counts.
    auto chainOnly = NWSecurityPolicy::defaultPolicy();
    chainOnly->setValidatesDomainName(false);
    EXPECT_TRUE(chainOnly->evaluateServerTrust(trustFor(certs().wrongHost), str("localhost")));
    EXPECT_FALSE(chainOnly->evaluateServerTrust(trustFor(certs().selfSigned), str("localhost")));
}

TEST_F(SecurityPolicy, PinnedCertificatesAreUniqueAndDeriveTheirKeys) {
    auto policy = NWSecurityPolicy::make();
    policy->setPinnedCertificates(NSArray::arrayWithObjects(
        {data(certs().localhost.der), data(certs().ca.der), data(certs().localhost.der), data({1, 2, 3})}));
    ASSERT_EQ(policy->pinnedCertificates()->count(), 3u);
    EXPECT_TRUE(policy->pinnedCertificates()->objectAtIndex(0)->isEqual(data(certs().localhost.der)));
    EXPECT_TRUE(policy->pinnedCertificates()->objectAtIndex(1)->isEqual(data(certs().ca.der)));
    // The bytes that are no certificate give no key.
    ASSERT_TRUE(policy->pinnedPublicKeys());
    ASSERT_EQ(policy->pinnedPublicKeys()->size(), 2u);
    EXPECT_EQ((*policy->pinnedPublicKeys())[0]->publicKeyData(), certs().localhost.publicKeyDER);
    EXPECT_EQ((*policy->pinnedPublicKeys())[1]->publicKeyData(), certs().ca.publicKeyDER);
    // A self-signed certificate still gives its key.
    policy->setPinnedCertificates(pins({&certs().selfSigned}));
    ASSERT_EQ(policy->pinnedPublicKeys()->size(), 1u);

    policy->setPinnedCertificates(nullptr);
    EXPECT_FALSE(policy->pinnedCertificates());
    EXPECT_FALSE(policy->pinnedPublicKeys());
    policy->setPinnedCertificates(NSArray::array());
    ASSERT_TRUE(policy->pinnedPublicKeys());
    EXPECT_TRUE(policy->pinnedPublicKeys()->empty());
    EXPECT_EQ(NWSecurityPolicy::keyPathsForValuesAffectingPinnedPublicKeys(), std::vector<std::string>{"pinnedCertificates"});
}

TEST_F(SecurityPolicy, CertificatePinning) {
    auto policy = NWSecurityPolicy::make();
    policy->setSSLPinningMode(NWSSLPinningModeCertificate);

    // Any element of the chain may be the pinned one: the leaf, an intermediate, the root.
    policy->setPinnedCertificates(pins({&certs().intermediate}));
    EXPECT_TRUE(policy->evaluateServerTrust(trustFor(certs().intermediateLeaf), str("localhost")));
    policy->setPinnedCertificates(pins({&certs().localhost}));
    EXPECT_TRUE(policy->evaluateServerTrust(trustFor(certs().localhost), str("localhost")));
    EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs().reissued), str("localhost")));  // same key, other cert
    policy->setPinnedCertificates(pins({&certs().ca}));
    EXPECT_TRUE(policy->evaluateServerTrust(trustFor(certs().localhost), str("localhost")));
    // The pins are the only anchors: a chain to another (trusted) root does not pass.
    policy->setPinnedCertificates(pins({&certs().forgedCA}));
    EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs().localhost), str("localhost")));
    // The name still counts.
    policy->setPinnedCertificates(pins({&certs().ca}));
    EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs().wrongHost), str("localhost")));

    // A pinned self-signed server is accepted when invalid certificates are allowed ...
    policy->setAllowInvalidCertificates(true);
    policy->setPinnedCertificates(pins({&certs().selfSigned}));
    EXPECT_TRUE(policy->evaluateServerTrust(trustFor(certs().selfSigned), str("localhost")));
    EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs().selfSigned), str("example.com")));
    // ... and refused when they are not.
    policy->setAllowInvalidCertificates(false);
    EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs().selfSigned), str("localhost")));

    // Pins that are no certificates anchor nothing and crash nothing.
    policy->setPinnedCertificates(NSArray::arrayWithObjects({data({0x30, 0x03, 0x02, 0x01, 0x01}), str("text")}));
    EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs().localhost), str("localhost")));
}

TEST_F(SecurityPolicy, CertificatePinningCountsOnlyTheChainTheServerGave) {
    // The test CA is not a system anchor now; the server sends its leaf alone.
    withoutTestCA();
    auto policy = NWSecurityPolicy::make();
    policy->setSSLPinningMode(NWSSLPinningModeCertificate);
    policy->setAllowInvalidCertificates(true);
    policy->setPinnedCertificates(pins({&certs().ca}));
    // Anchored at the pinned CA the trust passes, but no certificate of the chain as first
    // evaluated is pinned.
    EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs().localhost), str("localhost")));
    // When the server sends the pinned certificate itself, it counts.
    EXPECT_TRUE(policy->evaluateServerTrust(trustFor({certs().localhost.der, certs().ca.der}), str("localhost")));
}

TEST_F(SecurityPolicy, PublicKeyPinning) {
    auto policy = NWSecurityPolicy::make();
    policy->setSSLPinningMode(NWSSLPinningModePublicKey);
    policy->setPinnedCertificates(pins({&certs().localhost}));
    EXPECT_TRUE(policy->evaluateServerTrust(trustFor(certs().localhost), str("localhost")));
    // A re-issued leaf with the same key.
    EXPECT_TRUE(policy->evaluateServerTrust(trustFor(certs().reissued), str("localhost")));
    EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs().intermediateLeaf), str("localhost")));
    // A key higher up the chain.
    policy->setPinnedCertificates(pins({&certs().intermediate}));
    EXPECT_TRUE(policy->evaluateServerTrust(trustFor(certs().intermediateLeaf), str("localhost")));
    policy->setPinnedCertificates(pins({&certs().ca}));
    EXPECT_TRUE(policy->evaluateServerTrust(trustFor(certs().intermediateLeaf), str("localhost")));
    EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs().wrongHost), str("localhost")));

    // A pinned self-signed key, invalid certificates allowed.
    policy->setAllowInvalidCertificates(true);
    policy->setPinnedCertificates(pins({&certs().selfSigned}));
    EXPECT_TRUE(policy->evaluateServerTrust(trustFor(certs().selfSigned), str("localhost")));
    EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs().forgedLeaf), str("localhost")));
}

TEST_F(SecurityPolicy, PublicKeyPinningRefusesAForgedChainCarryingThePinnedCertificate) {
    // The forger's leaf names the test CA as issuer and travels with the real (public) CA
    // certificate, but was signed by a key of the forger's.
    std::vector<std::vector<uint8_t>> forged{certs().forgedLeaf.der, certs().ca.der};
    auto probe = trustFor(forged);
    SecTrustResultType result;
    SecTrustEvaluate(probe, &result);
    ASSERT_EQ(chainOf(probe), forged);  // the pinned certificate is in the evaluated chain

    auto policy = NWSecurityPolicy::make();
    policy->setSSLPinningMode(NWSSLPinningModePublicKey);
    policy->setPinnedCertificates(pins({&certs().ca}));
    EXPECT_FALSE(policy->evaluateServerTrust(trustFor(forged), str("localhost")));
    policy->setAllowInvalidCertificates(true);
    EXPECT_FALSE(policy->evaluateServerTrust(trustFor(forged), str("localhost")));
    EXPECT_FALSE(policy->evaluateServerTrust(trustFor(forged)));
    withoutTestCA();
    EXPECT_FALSE(policy->evaluateServerTrust(trustFor(forged), str("localhost")));
    // The genuine chain still passes the same policy.
    EXPECT_TRUE(policy->evaluateServerTrust(trustFor({certs().localhost.der, certs().ca.der}), str("localhost")));
}

TEST_F(SecurityPolicy, UnknownModesRefuseEverything) {
    auto policy = NWSecurityPolicy::make();
    policy->setSSLPinningMode(3);
    policy->setPinnedCertificates(pins({&certs().localhost}));
    EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs().localhost), str("localhost")));
    policy->setAllowInvalidCertificates(true);
    EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs().localhost), str("localhost")));
}

TEST_F(SecurityPolicy, CopiesAreIndependentAndDeriveTheirKeys) {
    auto policy = NWSecurityPolicy::make();
    policy->setSSLPinningMode(NWSSLPinningModePublicKey);
    policy->setAllowInvalidCertificates(true);
    policy->setValidatesDomainName(false);
    policy->setPinnedCertificates(pins({&certs().localhost, &certs().ca}));

    auto copy = zvt::as<NWSecurityPolicy>(policy->copyWithZone());
    ASSERT_TRUE(copy);
    EXPECT_NE(copy, policy);
    EXPECT_EQ(copy->SSLPinningMode(), NWSSLPinningModePublicKey);
    EXPECT_TRUE(copy->allowInvalidCertificates());
    EXPECT_FALSE(copy->validatesDomainName());
    EXPECT_TRUE(copy->pinnedCertificates()->isEqual(policy->pinnedCertificates()));
    ASSERT_TRUE(copy->pinnedPublicKeys());
    EXPECT_NE(copy->pinnedPublicKeys(), policy->pinnedPublicKeys());
    ASSERT_EQ(copy->pinnedPublicKeys()->size(), 2u);
    EXPECT_TRUE((*copy->pinnedPublicKeys())[1]->isEqual(*(*policy->pinnedPublicKeys())[1]));

    copy->setPinnedCertificates(nullptr);
    copy->setSSLPinningMode(NWSSLPinningModeNone);
    EXPECT_EQ(policy->pinnedCertificates()->count(), 2u);
    EXPECT_EQ(policy->SSLPinningMode(), NWSSLPinningModePublicKey);

    auto plain = NWSecurityPolicy::defaultPolicy()->copy();
    EXPECT_FALSE(plain->pinnedCertificates());
    EXPECT_FALSE(plain->pinnedPublicKeys());
    EXPECT_TRUE(plain->validatesDomainName());
}

TEST_F(SecurityPolicy, ArchivingKeepsTheSettingsAndDerivesTheKeysAgain) {
    EXPECT_TRUE(NWSecurityPolicy::supportsSecureCoding());
    auto policy = NWSecurityPolicy::make();
    policy->setSSLPinningMode(NWSSLPinningModePublicKey);
    policy->setAllowInvalidCertificates(true);
    policy->setPinnedCertificates(pins({&certs().selfSigned, &certs().ca}));

    auto archive = NSKeyedArchiver::archivedPropertyListWithRootObject(policy);
    ASSERT_TRUE(archive);
    // The four properties and the class, no keys.
    EXPECT_EQ(archive->count(), 5u);
    auto mode = zvt::as<NSNumber>(archive->objectForKey(str("SSLPinningMode")));
    ASSERT_TRUE(mode);
    EXPECT_EQ(mode->unsignedLongLongValue(), 1u);
    EXPECT_TRUE(archive->objectForKey(str("allowInvalidCertificates"))->isEqual(NSNumber::numberWithBool(true)));
    EXPECT_TRUE(archive->objectForKey(str("validatesDomainName"))->isEqual(NSNumber::numberWithBool(true)));
    EXPECT_FALSE(archive->objectForKey(str("pinnedPublicKeys")));

    std::shared_ptr<NSError> error;
    auto back = zvt::as<NWSecurityPolicy>(NSKeyedUnarchiver::unarchiveObjectWithPropertyList(archive, &error));
    ASSERT_TRUE(back) << (error ? error->description()->utf8() : "");
    EXPECT_EQ(back->SSLPinningMode(), NWSSLPinningModePublicKey);
    EXPECT_TRUE(back->allowInvalidCertificates());
    EXPECT_TRUE(back->validatesDomainName());
    EXPECT_TRUE(back->pinnedCertificates()->isEqual(policy->pinnedCertificates()));
    ASSERT_TRUE(back->pinnedPublicKeys());
    ASSERT_EQ(back->pinnedPublicKeys()->size(), 2u);
    EXPECT_EQ((*back->pinnedPublicKeys())[0]->publicKeyData(), certs().selfSigned.publicKeyDER);
    EXPECT_TRUE(back->evaluateServerTrust(trustFor(certs().selfSigned), str("localhost")));
    auto fromData = zvt::as<NWSecurityPolicy>(
        NSKeyedUnarchiver::unarchiveObjectWithData(NSKeyedArchiver::archivedDataWithRootObject(policy)));
    ASSERT_TRUE(fromData);
    EXPECT_TRUE(fromData->pinnedCertificates()->isEqual(policy->pinnedCertificates()));
    EXPECT_EQ(fromData->pinnedPublicKeys()->size(), 2u);

    // A policy without certificates comes back without them; a mode of the wrong class is refused.
    auto plain = zvt::as<NWSecurityPolicy>(
        NSKeyedUnarchiver::unarchiveObjectWithPropertyList(NSKeyedArchiver::archivedPropertyListWithRootObject(
            NWSecurityPolicy::defaultPolicy())));
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->pinnedCertificates());
    EXPECT_TRUE(plain->validatesDomainName());
    NSKeyedUnarchiver odd(NSDictionary::make({{str("SSLPinningMode"), str("2")}}), true);
    auto fromOdd = NWSecurityPolicy::initWithCoder(odd);
    EXPECT_EQ(fromOdd->SSLPinningMode(), NWSSLPinningModeNone);
    EXPECT_TRUE(odd.error());
}
