// Reachability targets scheduled on a run loop: flags read from the source in force and
// callbacks delivered on the run loop's thread.

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/foundation/NSRunLoop.h"
#include "platform/sysconfig/FakeReachabilitySource.h"
#include "platform/sysconfig/SCNetworkReachability.h"
#include "tests/support/MainLoop.h"

using zvt::FakeReachabilitySource;

namespace {

SCNetworkReachabilityRef zeroAddressTarget() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    return SCNetworkReachabilityCreateWithAddress(reinterpret_cast<sockaddr*>(&address));
}

struct Calls {
    std::vector<SCNetworkReachabilityFlags> flags;
    std::vector<std::thread::id> threads;
    std::vector<SCNetworkReachability*> targets;
};

SCNetworkReachabilityCallBack recordInto(Calls& calls) {
    return [&calls](const SCNetworkReachabilityRef& target, SCNetworkReachabilityFlags flags) {
        calls.flags.push_back(flags);
        calls.threads.push_back(std::this_thread::get_id());
        calls.targets.push_back(target.get());
    };
}

class FakeSource : public ::testing::Test {
protected:
    void SetUp() override { fake = FakeReachabilitySource::install(kSCNetworkReachabilityFlagsReachable); }
    void TearDown() override { FakeReachabilitySource::uninstall(); }
    std::shared_ptr<FakeReachabilitySource> fake;
};

}  // namespace

TEST(SCNetworkReachability, CreationTakesIPAddressesAndNames) {
    EXPECT_TRUE(zeroAddressTarget());
    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    auto target6 = SCNetworkReachabilityCreateWithAddress(reinterpret_cast<sockaddr*>(&v6));
    ASSERT_TRUE(target6);
    EXPECT_EQ(target6->address()->sa_family, AF_INET6);
    sockaddr unix{};
    unix.sa_family = AF_UNIX;
    EXPECT_FALSE(SCNetworkReachabilityCreateWithAddress(&unix));
    EXPECT_FALSE(SCNetworkReachabilityCreateWithAddress(nullptr));
    auto named = SCNetworkReachabilityCreateWithName("www.example.com");
    ASSERT_TRUE(named);
    EXPECT_EQ(named->kind(), SCNetworkReachability::Kind::Name);
    EXPECT_FALSE(SCNetworkReachabilityCreateWithName(nullptr));
    SCNetworkReachabilityFlags flags;
    EXPECT_FALSE(SCNetworkReachabilityGetFlags(nullptr, &flags));
    EXPECT_FALSE(SCNetworkReachabilityGetFlags(named, nullptr));
    EXPECT_FALSE(SCNetworkReachabilityScheduleWithRunLoop(nullptr, NSRunLoop::mainRunLoop(), NSDefaultRunLoopMode));
}

TEST_F(FakeSource, FlagsAndCallbacksOnTheScheduledRunLoop) {
    auto target = zeroAddressTarget();
    SCNetworkReachabilityFlags flags = 0;
    ASSERT_TRUE(SCNetworkReachabilityGetFlags(target, &flags));
    EXPECT_EQ(flags, kSCNetworkReachabilityFlagsReachable);
    fake->setFlagsReadable(false);
    EXPECT_FALSE(SCNetworkReachabilityGetFlags(target, &flags));
    fake->setFlagsReadable(true);

    Calls calls;
    ASSERT_TRUE(SCNetworkReachabilitySetCallback(target, recordInto(calls)));
    ASSERT_TRUE(SCNetworkReachabilityScheduleWithRunLoop(target, NSRunLoop::mainRunLoop(), NSRunLoopCommonModes));
    EXPECT_EQ(fake->watchCount(), 1u);
    // Scheduling twice in the same mode changes nothing.
    ASSERT_TRUE(SCNetworkReachabilityScheduleWithRunLoop(target, NSRunLoop::mainRunLoop(), NSRunLoopCommonModes));
    EXPECT_EQ(fake->watchCount(), 1u);

    fake->changeFlags(kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsWWAN);
    EXPECT_TRUE(calls.flags.empty());  // only when the run loop runs
    ASSERT_TRUE(zvt::test::runMainLoopUntil([&] { return calls.flags.size() == 1; }));
    EXPECT_EQ(calls.flags[0], kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsWWAN);
    EXPECT_EQ(calls.threads[0], std::this_thread::get_id());
    EXPECT_EQ(calls.targets[0], target.get());

    // The same flags again still call back.
    fake->fire();
    ASSERT_TRUE(zvt::test::runMainLoopUntil([&] { return calls.flags.size() == 2; }));

    // Unscheduled: a callback already queued and later ones do not come.
    fake->fire();
    ASSERT_TRUE(SCNetworkReachabilityUnscheduleFromRunLoop(target, NSRunLoop::mainRunLoop(), NSRunLoopCommonModes));
    EXPECT_FALSE(SCNetworkReachabilityUnscheduleFromRunLoop(target, NSRunLoop::mainRunLoop(), NSRunLoopCommonModes));
    EXPECT_EQ(fake->watchCount(), 0u);
    fake->fire();
    zvt::test::drainMainLoop();
    EXPECT_EQ(calls.flags.size(), 2u);

    // Without a callback nothing is called, and a freed target stops its watch.
    ASSERT_TRUE(SCNetworkReachabilityScheduleWithRunLoop(target, NSRunLoop::mainRunLoop(), NSRunLoopCommonModes));
    SCNetworkReachabilitySetCallback(target, nullptr);
    fake->fire();
    zvt::test::drainMainLoop();
    EXPECT_EQ(calls.flags.size(), 2u);
    SCNetworkReachabilitySetCallback(target, recordInto(calls));
    fake->fire();
    target.reset();
    EXPECT_EQ(fake->watchCount(), 0u);
    zvt::test::drainMainLoop();
    EXPECT_EQ(calls.flags.size(), 2u);
}

TEST_F(FakeSource, CallbacksComeOnTheThreadOfTheirRunLoop) {
    std::shared_ptr<NSRunLoop> workerLoop;
    std::atomic<bool> ready{false}, done{false};
    std::thread::id workerId;
    std::thread worker([&] {
        workerLoop = NSRunLoop::currentRunLoop();
        workerId = std::this_thread::get_id();
        auto keepAlive = NSPort::port();
        workerLoop->addPort(keepAlive, NSDefaultRunLoopMode);
        ready = true;
        while (!done) workerLoop->runModeWithin(NSDefaultRunLoopMode, 5.0);
    });
    while (!ready) std::this_thread::yield();

    auto target = SCNetworkReachabilityCreateWithName("www.example.com");
    std::atomic<int> calls{0};
    std::thread::id seenOn;
    SCNetworkReachabilitySetCallback(target, [&](const SCNetworkReachabilityRef&, SCNetworkReachabilityFlags) {
        seenOn = std::this_thread::get_id();
        ++calls;
    });
    ASSERT_TRUE(SCNetworkReachabilityScheduleWithRunLoop(target, workerLoop, NSDefaultRunLoopMode));
    fake->fire();
    ASSERT_TRUE(zvt::test::runMainLoopUntil([&] { return calls.load() == 1; }));
    EXPECT_EQ(seenOn, workerId);

    SCNetworkReachabilityUnscheduleFromRunLoop(target, workerLoop, NSDefaultRunLoopMode);
    done = true;
    workerLoop->performBlock([] {});
    worker.join();
}

TEST(SystemReachability, ReadsAndWatchesTheMachine) {
    auto loopback = SCNetworkReachabilityCreateWithName("127.0.0.1");
    SCNetworkReachabilityFlags flags = 0;
    ASSERT_TRUE(SCNetworkReachabilityGetFlags(loopback, &flags));
    EXPECT_EQ(flags, kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsLocalAddress |
                         kSCNetworkReachabilityFlagsIsDirect);

    // The rtnetlink watch comes and goes with the schedule; nothing changes meanwhile, so
    // nothing is reported.
    auto general = zeroAddressTarget();
    int calls = 0;
    SCNetworkReachabilitySetCallback(general, [&](const SCNetworkReachabilityRef&, SCNetworkReachabilityFlags) { ++calls; });
    ASSERT_TRUE(SCNetworkReachabilityScheduleWithRunLoop(general, NSRunLoop::mainRunLoop(), NSRunLoopCommonModes));
    zvt::test::drainMainLoop();
    EXPECT_TRUE(SCNetworkReachabilityUnscheduleFromRunLoop(general, NSRunLoop::mainRunLoop(), NSRunLoopCommonModes));
    EXPECT_EQ(calls, 0);
}

namespace {

// A reading that a background queue is still taking while the process exits (the reachability
// manager's first reading after a start): it runs after the static objects made before it have
// gone, here from an exit handler registered before the first reading made the system source.
void readFlagsWhileExiting() {
    SCNetworkReachabilityFlags flags = 0;
    bool read = SCNetworkReachabilityGetFlags(zeroAddressTarget(), &flags);
    std::fprintf(stderr, "late reading %s\n", read ? "done" : "refused");
}

TEST(SystemReachabilityDeathTest, AReadingStillUnderWayAtExitFindsItsSource) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            zvt::ReachabilitySource::setCurrent(nullptr);
            std::atexit(readFlagsWhileExiting);
            SCNetworkReachabilityFlags flags = 0;
            SCNetworkReachabilityGetFlags(zeroAddressTarget(), &flags);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "late reading done");
}

}  // namespace
