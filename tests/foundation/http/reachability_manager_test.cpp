// The reachability manager over the fake reachability source: statuses from flags, the first
// reading after a start, deliveries on the main thread, restarts and early frees.

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "foundation/http/NWNetworkReachabilityManager.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSKeyValueObserving.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSThread.h"
#include "platform/sysconfig/FakeReachabilitySource.h"
#include "tests/support/MainLoop.h"

using zvt::FakeReachabilitySource;
using zvt::test::drainMainLoop;
using zvt::test::runMainLoopUntil;

namespace {

constexpr SCNetworkReachabilityFlags kReachable = kSCNetworkReachabilityFlagsReachable;
constexpr SCNetworkReachabilityFlags kWWAN = kSCNetworkReachabilityFlagsIsWWAN;
constexpr SCNetworkReachabilityFlags kConnectionRequired = kSCNetworkReachabilityFlagsConnectionRequired;
constexpr SCNetworkReachabilityFlags kOnTraffic = kSCNetworkReachabilityFlagsConnectionOnTraffic;
constexpr SCNetworkReachabilityFlags kOnDemand = kSCNetworkReachabilityFlagsConnectionOnDemand;
constexpr SCNetworkReachabilityFlags kIntervention = kSCNetworkReachabilityFlagsInterventionRequired;

std::shared_ptr<NWNetworkReachabilityManager> generalManager() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    return NWNetworkReachabilityManager::managerForAddress(&address);
}

// Everything one manager reported: block calls (with the thread) and notifications.
struct Recorder {
    std::vector<NWNetworkReachabilityStatus> statuses;
    std::vector<std::thread::id> threads;
    std::vector<NSInteger> notified;
    std::shared_ptr<NSObject> observer;

    Recorder() {
        observer = NSNotificationCenter::defaultCenter()->addObserverForName(
            NSString::stringWithUTF8String(NWNetworkingReachabilityDidChangeNotification), nullptr, nullptr,
            [this](const std::shared_ptr<NSNotification>& note) {
                EXPECT_FALSE(note->object());
                auto userInfo = note->userInfo();
                ASSERT_TRUE(userInfo);
                auto number = zvt::as<NSNumber>(userInfo->objectForKey(
                    NSString::stringWithUTF8String(NWNetworkingReachabilityNotificationStatusItem)));
                ASSERT_TRUE(number);
                notified.push_back(number->integerValue());
            });
    }
    ~Recorder() { NSNotificationCenter::defaultCenter()->removeObserver(observer); }

    NWNetworkReachabilityManager::StatusBlock block() {
        return [this](NWNetworkReachabilityStatus status) {
            statuses.push_back(status);
            threads.push_back(std::this_thread::get_id());
        };
    }
};

class ReachabilityManager : public ::testing::Test {
protected:
    void SetUp() override { fake = FakeReachabilitySource::install(kReachable); }
    void TearDown() override {
        drainMainLoop();
        FakeReachabilitySource::uninstall();
    }
    std::shared_ptr<FakeReachabilitySource> fake;
};

}  // namespace

TEST(ReachabilityStatus, FromFlags) {
    constexpr auto WWAN = NWNetworkReachabilityStatusReachableViaWWAN, WiFi = NWNetworkReachabilityStatusReachableViaWiFi,
                   None = NWNetworkReachabilityStatusNotReachable;
    const std::pair<SCNetworkReachabilityFlags, NWNetworkReachabilityStatus> cases[] = {
        {kReachable | kWWAN, WWAN},
        {kReachable, WiFi},
        {kReachable | kConnectionRequired, None},
        {kReachable | kConnectionRequired | kOnTraffic, WiFi},
        {kReachable | kConnectionRequired | kOnDemand, WiFi},
        {kReachable | kConnectionRequired | kOnTraffic | kWWAN, WWAN},
        {kReachable | kConnectionRequired | kOnTraffic | kIntervention, None},
        {kReachable | kConnectionRequired | kOnDemand | kIntervention, None},
        {kReachable | kIntervention, WiFi},  // intervention alone does not matter without a required connection
        // Without the reachable flag nothing else counts.
        {0u, None},
        {kWWAN, None},
        {kConnectionRequired | kOnTraffic, None},
        {kWWAN | kOnDemand | kIntervention, None},
        {kSCNetworkReachabilityFlagsIsDirect | kSCNetworkReachabilityFlagsIsLocalAddress, None},
    };
    for (const auto& [flags, status] : cases) EXPECT_EQ(NWNetworkReachabilityStatusForFlags(flags), status) << flags;
}

TEST_F(ReachabilityManager, StartDeliversAFirstStatusOnTheMainThread) {
    fake->setFlags(kReachable | kWWAN);
    auto manager = generalManager();
    EXPECT_EQ(manager->networkReachabilityStatus(), NWNetworkReachabilityStatusUnknown);
    EXPECT_FALSE(manager->isReachable());
    EXPECT_EQ(manager->localizedNetworkReachabilityStatusString()->utf8(), "Unknown");

    Recorder recorder;
    manager->setReachabilityStatusChangeBlock(recorder.block());
    manager->startMonitoring();
    ASSERT_TRUE(runMainLoopUntil([&] { return recorder.notified.size() == 1; }));
    EXPECT_EQ(recorder.statuses, std::vector<NWNetworkReachabilityStatus>{NWNetworkReachabilityStatusReachableViaWWAN});
    EXPECT_EQ(recorder.threads[0], std::this_thread::get_id());
    EXPECT_EQ(recorder.notified, std::vector<NSInteger>{1});
    EXPECT_EQ(manager->networkReachabilityStatus(), NWNetworkReachabilityStatusReachableViaWWAN);
    EXPECT_TRUE(manager->isReachable());
    EXPECT_TRUE(manager->isReachableViaWWAN());
    EXPECT_FALSE(manager->isReachableViaWiFi());
    EXPECT_EQ(manager->localizedNetworkReachabilityStatusString()->utf8(), "Reachable via WWAN");

    // Each system callback is delivered, also with an unchanged status.
    fake->fire();
    ASSERT_TRUE(runMainLoopUntil([&] { return recorder.notified.size() == 2; }));
    fake->changeFlags(kReachable);
    ASSERT_TRUE(runMainLoopUntil([&] { return recorder.notified.size() == 3; }));
    fake->changeFlags(0);
    ASSERT_TRUE(runMainLoopUntil([&] { return recorder.notified.size() == 4; }));
    EXPECT_EQ(recorder.statuses,
              (std::vector<NWNetworkReachabilityStatus>{
                  NWNetworkReachabilityStatusReachableViaWWAN, NWNetworkReachabilityStatusReachableViaWWAN,
                  NWNetworkReachabilityStatusReachableViaWiFi, NWNetworkReachabilityStatusNotReachable}));
    EXPECT_EQ(recorder.notified, (std::vector<NSInteger>{1, 1, 2, 0}));
    EXPECT_EQ(manager->localizedNetworkReachabilityStatusString()->utf8(), "Not Reachable");

    // Stopped: the last status stays, nothing more arrives.
    manager->stopMonitoring();
    fake->changeFlags(kReachable);
    drainMainLoop();
    EXPECT_EQ(recorder.statuses.size(), 4u);
    EXPECT_EQ(manager->networkReachabilityStatus(), NWNetworkReachabilityStatusNotReachable);
}

TEST_F(ReachabilityManager, ARestartDoesNotDoubleTheCallbacks) {
    auto manager = generalManager();
    Recorder recorder;
    manager->setReachabilityStatusChangeBlock(recorder.block());
    manager->startMonitoring();
    manager->startMonitoring();
    EXPECT_EQ(fake->watchCount(), 1u);
    // Both first readings have been taken; only the second session's is delivered.
    ASSERT_TRUE(runMainLoopUntil([&] { return fake->readCount() == 2 && !recorder.statuses.empty(); }));
    fake->fire();
    ASSERT_TRUE(runMainLoopUntil([&] { return recorder.statuses.size() >= 2; }));
    drainMainLoop();
    EXPECT_EQ(recorder.statuses.size(), 2u);
    EXPECT_EQ(recorder.notified.size(), 2u);

    // Restarting after a stop works the same.
    manager->stopMonitoring();
    manager->startMonitoring();
    ASSERT_TRUE(runMainLoopUntil([&] { return recorder.statuses.size() == 3; }));
    fake->fire();
    ASSERT_TRUE(runMainLoopUntil([&] { return recorder.statuses.size() == 4; }));
    drainMainLoop();
    EXPECT_EQ(recorder.statuses.size(), 4u);
}

TEST_F(ReachabilityManager, AManagerFreedWhileADeliveryIsQueued) {
    auto manager = generalManager();
    Recorder recorder;
    manager->setReachabilityStatusChangeBlock(recorder.block());
    // Hold the main queue so that deliveries pile up there.
    dispatch_suspend(dispatch_get_main_queue());
    manager->startMonitoring();
    ASSERT_TRUE(runMainLoopUntil([&] { return fake->readCount() == 1; }));
    // The system callback runs on the main run loop and queues its delivery.
    fake->fire();
    drainMainLoop();
    EXPECT_TRUE(recorder.statuses.empty());
    manager.reset();
    EXPECT_EQ(fake->watchCount(), 0u);
    dispatch_resume(dispatch_get_main_queue());
    drainMainLoop();
    drainMainLoop();
    EXPECT_TRUE(recorder.statuses.empty());
    EXPECT_TRUE(recorder.notified.empty());
}

TEST_F(ReachabilityManager, AFirstReadingOlderThanASystemCallbackIsDropped) {
    auto manager = generalManager();
    Recorder recorder;
    manager->setReachabilityStatusChangeBlock(recorder.block());
    std::promise<void> readTaken, release, returned;
    auto releaseFuture = release.get_future().share();
    fake->setFlags(kReachable | kWWAN);
    fake->setReadHook([&, releaseFuture] {
        readTaken.set_value();
        releaseFuture.wait();
        returned.set_value();
    });
    manager->startMonitoring();
    readTaken.get_future().wait();  // read: WWAN

    // The network changes; the system reports Wi-Fi before the reading is delivered.
    fake->changeFlags(kReachable);
    ASSERT_TRUE(runMainLoopUntil([&] { return recorder.statuses.size() == 1; }));
    EXPECT_EQ(recorder.statuses[0], NWNetworkReachabilityStatusReachableViaWiFi);

    release.set_value();
    returned.get_future().wait();
    // The stale reading reaches the main queue just after its read returned; give it the
    // chance to be (wrongly) delivered.
    runMainLoopUntil([&] { return recorder.statuses.size() > 1; }, 0.3);
    EXPECT_EQ(recorder.statuses, std::vector<NWNetworkReachabilityStatus>{NWNetworkReachabilityStatusReachableViaWiFi});
    EXPECT_EQ(recorder.notified, std::vector<NSInteger>{2});
    EXPECT_EQ(manager->networkReachabilityStatus(), NWNetworkReachabilityStatusReachableViaWiFi);
    fake->setReadHook(nullptr);
}

TEST_F(ReachabilityManager, UnreadableFlagsAndMissingReferences) {
    fake->setFlagsReadable(false);
    auto manager = generalManager();
    Recorder recorder;
    manager->setReachabilityStatusChangeBlock(recorder.block());
    manager->startMonitoring();
    ASSERT_TRUE(runMainLoopUntil([&] { return fake->readCount() == 1; }));
    drainMainLoop();
    EXPECT_TRUE(recorder.statuses.empty());
    EXPECT_EQ(manager->networkReachabilityStatus(), NWNetworkReachabilityStatusUnknown);
    // The system still reports changes.
    fake->fire();
    ASSERT_TRUE(runMainLoopUntil([&] { return recorder.statuses.size() == 1; }));
    EXPECT_EQ(manager->networkReachabilityStatus(), NWNetworkReachabilityStatusReachableViaWiFi);

    // No reference (the system made none for this address): start does nothing.
    sockaddr unix{};
    unix.sa_family = AF_UNIX;
    auto without = NWNetworkReachabilityManager::managerForAddress(&unix);
    ASSERT_TRUE(without);
    without->setReachabilityStatusChangeBlock(recorder.block());
    without->startMonitoring();
    fake->fire();
    drainMainLoop();
    EXPECT_EQ(without->networkReachabilityStatus(), NWNetworkReachabilityStatusUnknown);
    EXPECT_EQ(recorder.statuses.size(), 2u);  // only `manager` reported
    EXPECT_EQ(NWNetworkReachabilityManager::managerForDomain(nullptr)->networkReachabilityStatus(),
              NWNetworkReachabilityStatusUnknown);
}

TEST_F(ReachabilityManager, SharedManagerAndDomainManagers) {
    std::shared_ptr<NWNetworkReachabilityManager> seen[4];
    std::vector<std::thread> threads;
    for (auto& slot : seen) threads.emplace_back([&slot] { slot = NWNetworkReachabilityManager::sharedManager(); });
    for (auto& thread : threads) thread.join();
    for (auto& slot : seen) EXPECT_EQ(slot, seen[0]);

    auto domain = NWNetworkReachabilityManager::managerForDomain(NSString::stringWithUTF8String("www.example.com"));
    Recorder recorder;
    domain->setReachabilityStatusChangeBlock(recorder.block());
    domain->startMonitoring();
    ASSERT_TRUE(runMainLoopUntil([&] { return recorder.statuses.size() == 1; }));
    domain->setReachabilityStatusChangeBlock(nullptr);
    fake->fire();
    ASSERT_TRUE(runMainLoopUntil([&] { return recorder.notified.size() == 2; }));
    EXPECT_EQ(recorder.statuses.size(), 1u);  // the block was removed, the notification still comes
}

namespace {

// Key-value observer recording "key old->new" and whether it ran on the main thread.
class StatusObserver : public NSObject {
public:
    void observeValueForKeyPath(const std::shared_ptr<NSString>& keyPath, const id&,
                                const std::shared_ptr<NSDictionary>& change, void*) override {
        lines.push_back(keyPath->utf8() + " " + NSStringFromObject(change->objectForKey(NSKeyValueChangeOldKey)) + "->" +
                        NSStringFromObject(change->objectForKey(NSKeyValueChangeNewKey)));
        if (!NSThread::isMainThread()) ++offMain;
    }
    std::vector<std::string> lines;
    int offMain = 0;
};

}  // namespace

TEST_F(ReachabilityManager, KeyValueObserversOfTheStatusAndTheFlagsDerivedFromIt) {
    fake->setFlags(kReachable | kWWAN);
    auto manager = generalManager();
    auto observer = std::make_shared<StatusObserver>();
    const char* keys[] = {"networkReachabilityStatus", "reachable", "reachableViaWWAN", "reachableViaWiFi"};
    for (const char* key : keys) {
        manager->addObserver(observer, NSString::stringWithUTF8String(key),
                             NSKeyValueObservingOptionOld | NSKeyValueObservingOptionNew, nullptr);
    }
    struct Step {
        const char* what;
        std::function<void()> act;
        std::vector<std::string> expected;
    };
    const Step steps[] = {
        {"the first reading", [&] { manager->startMonitoring(); },
         {"networkReachabilityStatus -1->1", "reachable 0->1", "reachableViaWWAN 0->1", "reachableViaWiFi 0->0"}},
        {"to Wi-Fi", [&] { fake->changeFlags(kReachable); },
         {"networkReachabilityStatus 1->2", "reachable 1->1", "reachableViaWWAN 1->0", "reachableViaWiFi 0->1"}},
        {"offline", [&] { fake->changeFlags(0); },
         {"networkReachabilityStatus 2->0", "reachable 1->0", "reachableViaWWAN 0->0", "reachableViaWiFi 1->0"}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        observer->lines.clear();
        step.act();
        ASSERT_TRUE(runMainLoopUntil([&] { return observer->lines.size() >= step.expected.size(); }));
        EXPECT_EQ(observer->lines, step.expected);
    }
    EXPECT_EQ(observer->offMain, 0);

    for (const char* key : keys) manager->removeObserver(observer, NSString::stringWithUTF8String(key));
    observer->lines.clear();
    fake->changeFlags(kReachable);
    drainMainLoop();
    EXPECT_EQ(manager->networkReachabilityStatus(), NWNetworkReachabilityStatusReachableViaWiFi);
    EXPECT_TRUE(observer->lines.empty());
}
