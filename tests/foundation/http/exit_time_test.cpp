// The process-wide objects of the HTTP layer while the process exits: a queue still running then
// (here an exit handler registered before the object was first made, so it runs after the
// object's own exit-time clean-up would) still finds them whole.
//
// The child runs with glibc's per-thread cache off and freed memory overwritten, so that an
// object freed at exit reads as garbage in a plain build too; a sanitizer build reports the
// use after free itself.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/http/NWNetworkReachabilityManager.h"
#include "foundation/http/NWSecurityPolicy.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSBundle.h"

namespace {

// Runs `statement` in a child whose freed memory is overwritten at once.
class FreedMemoryOverwritten {
public:
    FreedMemoryOverwritten() {
        if (const char* old = std::getenv("GLIBC_TUNABLES")) saved_ = old;
        ::setenv("GLIBC_TUNABLES", "glibc.malloc.tcache_count=0:glibc.malloc.perturb=165", 1);
    }
    ~FreedMemoryOverwritten() {
        if (saved_.empty()) {
            ::unsetenv("GLIBC_TUNABLES");
        } else {
            ::setenv("GLIBC_TUNABLES", saved_.c_str(), 1);
        }
    }

private:
    std::string saved_;
};

void readTheSharedReachabilityWhileExiting() {
    auto manager = NWNetworkReachabilityManager::sharedManager();
    std::fprintf(stderr, "shared manager status %ld\n", static_cast<long>(manager->networkReachabilityStatus()));
}

void readTheDefaultPinsWhileExiting() {
    auto policy = NWSecurityPolicy::policyWithPinningMode(NWSSLPinningModeCertificate);
    auto pins = policy->pinnedCertificates();
    std::fprintf(stderr, "pins at exit %lu\n", static_cast<unsigned long>(pins ? pins->count() : 0));
    // The child's own copy of the test bundle, which its environment would remove on a normal end.
    auto bundle = NSBundle::mainBundle()->bundlePath();
    const std::string path = bundle ? bundle->utf8() : "";
    if (path.rfind("/tmp/zvt-bundle-", 0) == 0) std::system(("rm -rf '" + path + "'").c_str());
}

TEST(HttpExitTimeDeathTest, TheSharedReachabilityManagerOutlivesTheExit) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    FreedMemoryOverwritten overwritten;
    EXPECT_EXIT(
        {
            std::atexit(readTheSharedReachabilityWhileExiting);
            NWNetworkReachabilityManager::sharedManager();
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "shared manager status -1\n");
}

TEST(HttpExitTimeDeathTest, TheDefaultPinsOutliveTheExit) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    FreedMemoryOverwritten overwritten;
    EXPECT_EXIT(
        {
            std::atexit(readTheDefaultPinsWhileExiting);
            NWSecurityPolicy::defaultPinnedCertificates();
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "pins at exit 2\n");
}

}  // namespace
