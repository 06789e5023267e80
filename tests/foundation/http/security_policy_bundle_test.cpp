// The ".cer" files at the top of the main bundle are the default pins. The bundle is set up
// before any test of this program runs, since the list is read once per process.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "foundation/http/NWSecurityPolicy.h"
#include "platform/foundation/NSBundle.h"
#include "tests/support/TestCertificates.h"

using zvt::test::TestCertificates;

namespace {

std::string bundleDirectory;

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class BundleWithCertificates : public ::testing::Environment {
public:
    void SetUp() override {
        char pattern[] = "/tmp/zvt-bundle-XXXXXX";
        bundleDirectory = mkdtemp(pattern);
        const auto& certs = TestCertificates::shared();
        writeFile(bundleDirectory + "/b-server.cer", certs.localhost.der);
        writeFile(bundleDirectory + "/a-root.cer", certs.ca.der);
        writeFile(bundleDirectory + "/c-root-again.cer", certs.ca.der);
        writeFile(bundleDirectory + "/notes.txt", {'h', 'i'});
        writeFile(bundleDirectory + "/server.pem", {'-', '-'});
        ::mkdir((bundleDirectory + "/nested").c_str(), 0755);
        writeFile(bundleDirectory + "/nested/deep.cer", certs.wrongHost.der);
        zvt::setMainBundlePath(bundleDirectory);
    }
    void TearDown() override {
        zvt::setMainBundlePath("");
        std::string command = "rm -rf '" + bundleDirectory + "'";
        if (std::system(command.c_str()) != 0) ADD_FAILURE() << "cannot remove " << bundleDirectory;
    }
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new BundleWithCertificates);

}  // namespace

TEST(SecurityPolicyBundle, DefaultPinsAreTheTopLevelCerFilesInListingOrder) {
    const auto& certs = TestCertificates::shared();
    auto pins = NWSecurityPolicy::defaultPinnedCertificates();
    ASSERT_TRUE(pins);
    ASSERT_EQ(pins->count(), 3u);
    auto bytes = [&](NSUInteger i) { return zvt::as<NSData>(pins->objectAtIndex(i))->vector(); };
    EXPECT_EQ(bytes(0), certs.ca.der);
    EXPECT_EQ(bytes(1), certs.localhost.der);
    EXPECT_EQ(bytes(2), certs.ca.der);
    // Built once: the same array every time.
    EXPECT_EQ(NWSecurityPolicy::defaultPinnedCertificates(), pins);

    auto policy = NWSecurityPolicy::policyWithPinningMode(NWSSLPinningModeCertificate);
    EXPECT_EQ(policy->SSLPinningMode(), NWSSLPinningModeCertificate);
    ASSERT_EQ(policy->pinnedCertificates()->count(), 2u);  // duplicates dropped
    EXPECT_EQ(policy->pinnedPublicKeys()->size(), 2u);
    EXPECT_TRUE(policy->validatesDomainName());
    EXPECT_FALSE(NWSecurityPolicy::defaultPolicy()->pinnedCertificates());
}
