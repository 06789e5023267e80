// The system reachability source noticing real network changes: a thread moves into a network
// namespace of its own (nothing outside it is touched), schedules a target on its run loop and
// changes that namespace's loopback link and default route.

#include <gtest/gtest.h>

#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "platform/foundation/NSRunLoop.h"
#include "platform/sysconfig/NetworkSnapshot.h"
#include "platform/sysconfig/SCNetworkReachability.h"

namespace {

bool setLoopbackUp(int fd) {
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    if (ioctl(fd, SIOCGIFFLAGS, &request) != 0) return false;
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
    return ioctl(fd, SIOCSIFFLAGS, &request) == 0;
}

bool changeDefaultRoute(int fd, unsigned long operation) {
    rtentry route{};
    auto* destination = reinterpret_cast<sockaddr_in*>(&route.rt_dst);
    destination->sin_family = AF_INET;
    auto* mask = reinterpret_cast<sockaddr_in*>(&route.rt_genmask);
    mask->sin_family = AF_INET;
    route.rt_flags = RTF_UP;
    char device[] = "lo";
    route.rt_dev = device;
    return ioctl(fd, operation, &route) == 0;
}

struct Outcome {
    bool isolated = false;
    std::string failure;
    SCNetworkReachabilityFlags before = 0xffffffff;
    std::vector<SCNetworkReachabilityFlags> reported;
};

}  // namespace

TEST(SystemReachabilitySource, ReportsChangesOfTheDefaultRoute) {
    Outcome outcome;
    std::thread worker([&outcome] {
        if (unshare(CLONE_NEWNET) != 0) return;  // not permitted here
        outcome.isolated = true;
        int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        auto runLoop = NSRunLoop::currentRunLoop();
        sockaddr_in zero{};
        zero.sin_family = AF_INET;
        auto target = SCNetworkReachabilityCreateWithAddress(reinterpret_cast<sockaddr*>(&zero));
        SCNetworkReachabilityGetFlags(target, &outcome.before);
        SCNetworkReachabilitySetCallback(target, [&outcome](const SCNetworkReachabilityRef&, SCNetworkReachabilityFlags flags) {
            outcome.reported.push_back(flags);
        });
        if (!SCNetworkReachabilityScheduleWithRunLoop(target, runLoop, NSDefaultRunLoopMode)) {
            outcome.failure = "cannot watch rtnetlink";
            return;
        }
        // Runs this thread's run loop until `count` reports came (5 s of real time at most).
        auto waitFor = [&](size_t count) {
            auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (outcome.reported.size() < count && std::chrono::steady_clock::now() < until) {
                runLoop->runModeWithin(NSDefaultRunLoopMode, 0.05);
            }
            return outcome.reported.size() >= count;
        };

        if (!setLoopbackUp(fd) || !changeDefaultRoute(fd, SIOCADDRT)) {
            outcome.failure = "cannot configure the namespace";
        } else if (!waitFor(1)) {
            outcome.failure = "no report after the default route came";
        } else if (!changeDefaultRoute(fd, SIOCDELRT) || !waitFor(2)) {
            outcome.failure = "no report after the default route went";
        } else {
            // The route's interface counts as cellular once it matches a pattern.
            zvt::setCellularInterfacePatterns({"lo"});
            if (!changeDefaultRoute(fd, SIOCADDRT) || !waitFor(3)) outcome.failure = "no report over the cellular link";
            zvt::setCellularInterfacePatterns({"wwan*", "rmnet*", "ppp*"});
        }
        SCNetworkReachabilityUnscheduleFromRunLoop(target, runLoop, NSDefaultRunLoopMode);
        ::close(fd);
    });
    worker.join();
    if (!outcome.isolated) GTEST_SKIP() << "no permission for a network namespace of our own";
    ASSERT_EQ(outcome.failure, "");
    EXPECT_EQ(outcome.before, 0u);  // a fresh namespace has no default route
    EXPECT_EQ(outcome.reported,
              (std::vector<SCNetworkReachabilityFlags>{
                  kSCNetworkReachabilityFlagsReachable, 0,
                  kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsWWAN}));
}
