// The push client's state as the application sees it: registration, alias and tags answers on
// the main thread, badge and payload reports, and use from many threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/foundation/Foundation.h"
#include "platform/uikit/UIApplication.h"
#include "push/PushService.h"
#include "tests/support/MainLoop.h"
#include "tests/support/TempHome.h"

namespace {

using zvt::test::runMainLoopUntil;

std::shared_ptr<NSData> token(std::string_view bytes) { return NSData::dataWithBytes(bytes.data(), bytes.size()); }

struct Answer {
  int calls = 0;
  int code = -1;
  bool onMainThread = false;
  id object;
  std::shared_ptr<NSSet> tags;
  std::shared_ptr<NSString> alias;
};

PSTagsAliasCallback recordInto(std::shared_ptr<Answer> answer) {
  return [answer](const id& object, int code, const std::shared_ptr<NSSet>& tags, const std::shared_ptr<NSString>& alias) {
    answer->calls++;
    answer->code = code;
    answer->onMainThread = NSThread::isMainThread();
    answer->object = object;
    answer->tags = tags;
    answer->alias = alias;
  };
}

class PushServiceTest : public ::testing::Test {
 protected:
  void SetUp() override { zvt::push::shutdownClient(); }
  void TearDown() override { zvt::push::shutdownClient(); }
  zvt::test::TempHome home_;
};

TEST_F(PushServiceTest, RegistrationIdArrivesWithTheTokenAndOutlivesTheProcess) {
  EXPECT_EQ(PushService::registrationID()->utf8(), "");
  PushService::registerDeviceToken(token("\x01\xab\xff\x10"));
  auto first = PushService::registrationID();
  ASSERT_EQ(first->length(), 19u);
  EXPECT_EQ(zvt::push::clientState().deviceToken->utf8(), "01abff10");

  // A new token keeps the id the device was given.
  PushService::registerDeviceToken(token("\x02\x03"));
  EXPECT_TRUE(PushService::registrationID()->isEqual(first));

  // The next run reads it back before any token arrives.
  zvt::push::shutdownClient();
  EXPECT_TRUE(PushService::registrationID()->isEqual(first));
}

TEST_F(PushServiceTest, AnEmptyTokenRegistersNothing) {
  PushService::registerDeviceToken(nullptr);
  PushService::registerDeviceToken(NSData::data());
  EXPECT_EQ(PushService::registrationID()->utf8(), "");
}

TEST_F(PushServiceTest, AliasIsAnsweredOnTheMainThreadAndKeepsTheTags) {
  PushService::registerDeviceToken(token("\x01\x02"));
  auto tagsAnswer = std::make_shared<Answer>();
  PushService::setTags(NSSet::make({"vip"_ns, "beijing"_ns}), nullptr, recordInto(tagsAnswer), nullptr);
  auto aliasAnswer = std::make_shared<Answer>();
  auto receiver = NSString::stringWithUTF8String("receiver");
  PushService::setAlias("10001"_ns, recordInto(aliasAnswer), receiver);
  ASSERT_TRUE(runMainLoopUntil([&] { return aliasAnswer->calls == 1 && tagsAnswer->calls == 1; }));

  EXPECT_EQ(aliasAnswer->code, kPSResultSuccess);
  EXPECT_TRUE(aliasAnswer->onMainThread);
  EXPECT_EQ(aliasAnswer->object, receiver);
  EXPECT_EQ(aliasAnswer->alias->utf8(), "10001");
  EXPECT_EQ(aliasAnswer->tags->count(), 2u);
  EXPECT_TRUE(aliasAnswer->tags->containsObject("vip"_ns));

  // Clearing the alias without a callback answers nobody and leaves the tags.
  PushService::setAlias(""_ns, nullptr, nullptr);
  auto state = zvt::push::clientState();
  EXPECT_EQ(state.alias->utf8(), "");
  EXPECT_EQ(state.tags->count(), 2u);
  zvt::test::drainMainLoop();
  EXPECT_EQ(aliasAnswer->calls, 1);
}

TEST_F(PushServiceTest, AliasSetBeforeRegistrationIsAnsweredOnceRegistered) {
  auto answer = std::make_shared<Answer>();
  PushService::setAlias("10003"_ns, recordInto(answer), nullptr);
  EXPECT_EQ(zvt::push::clientState().pendingRequests, 1u);
  zvt::test::drainMainLoop();
  EXPECT_EQ(answer->calls, 0);

  PushService::registerDeviceToken(token("\x09"));
  ASSERT_TRUE(runMainLoopUntil([&] { return answer->calls == 1; }));
  EXPECT_EQ(answer->alias->utf8(), "10003");
  EXPECT_EQ(zvt::push::clientState().pendingRequests, 0u);
}

TEST_F(PushServiceTest, WhatWasAskedBeforeTheApplicationEndsIsStored) {
  // The user changes a few tags, logs out and leaves: the process ends right after the
  // application's termination, and the next run must not find the old user's alias.
  PushService::registerDeviceToken(token("\x01\x02"));
  PushService::setAlias("10001"_ns, nullptr, nullptr);
  for (int i = 0; i < 200; ++i) PushService::setTags(NSSet::make({NSString::stringWithFormat("t%d", i)}), nullptr, nullptr, nullptr);
  PushService::setAlias(""_ns, nullptr, nullptr);
  UIApplication::sharedApplication()->terminate();

  // Read as it is on disk now, without waiting for the client.
  auto saved = NSUserDefaults::initWithSuiteName("PushKeychain"_ns)->dictionaryForKey("PushKeychainUserDefaultsKey"_ns);
  ASSERT_TRUE(saved);
  auto alias = zvt::as<NSString>(saved->objectForKey("alias"_ns));
  ASSERT_TRUE(alias);
  EXPECT_EQ(alias->utf8(), "");
  auto tags = zvt::as<NSArray>(saved->objectForKey("tags"_ns));
  ASSERT_TRUE(tags);
  ASSERT_EQ(tags->count(), 1u);
  EXPECT_TRUE(tags->firstObject()->isEqual("t199"_ns));
}

TEST_F(PushServiceTest, PayloadsBadgesAndLaunchOptionsAreRecorded) {
  auto launch = NSDictionary::make({{"aps"_ns, NSDictionary::make({{"alert"_ns, "hi"_ns}})}, {"content_type"_ns, "3"_ns}});
  PushService::registerForRemoteNotificationTypes(7, nullptr);
  PushService::setupWithOption(NSDictionary::make({{PSLaunchOptionsRemoteNotificationKey, launch}}));
  PushService::handleRemoteNotification(nullptr);
  PushService::handleRemoteNotification(NSDictionary::dictionary());
  PushService::handleRemoteNotification(launch);
  PushService::resetBadge();

  auto state = zvt::push::clientState();
  EXPECT_TRUE(state.started);
  EXPECT_EQ(state.notificationTypes, 7u);
  ASSERT_TRUE(state.launchPayload);
  EXPECT_TRUE(state.launchPayload->isEqual(launch));
  ASSERT_EQ(state.receivedPayloads.size(), 1u);
  EXPECT_EQ(state.badgeReports, std::vector<NSInteger>{0});
}

TEST_F(PushServiceTest, OnlyTheNewestReportsAreKept) {
  const int sent = static_cast<int>(zvt::push::kRecentReportLimit) * 3;
  for (int i = 0; i < sent; ++i) {
    PushService::handleRemoteNotification(NSDictionary::make({{"n"_ns, NSNumber::numberWithInt(i)}}));
    PushService::resetBadge();
  }
  auto state = zvt::push::clientState();
  EXPECT_EQ(state.receivedPayloadCount, size_t(sent));
  EXPECT_EQ(state.badgeReportCount, size_t(sent));
  ASSERT_EQ(state.receivedPayloads.size(), zvt::push::kRecentReportLimit);
  EXPECT_EQ(state.badgeReports.size(), zvt::push::kRecentReportLimit);
  EXPECT_TRUE(zvt::objectsEqual(state.receivedPayloads.back()->objectForKey("n"_ns), NSNumber::numberWithInt(sent - 1)));
  EXPECT_TRUE(zvt::objectsEqual(state.receivedPayloads.front()->objectForKey("n"_ns),
                                NSNumber::numberWithInt(sent - static_cast<int>(zvt::push::kRecentReportLimit))));
}

TEST_F(PushServiceTest, ConfigurationComesFromTheBundle) {
  zvt::test::TempBundle bundle;
  bundle.writeFile("PushConfig.plist",
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                   "<plist version=\"1.0\"><dict><key>APP_KEY</key><string>abc123</string>"
                   "<key>CHANNEL</key><string>App Store</string><key>PUSH_FOR_PRODUCTION</key><true/></dict></plist>\n");
  PushService::setupWithOption(nullptr);
  auto state = zvt::push::clientState();
  EXPECT_EQ(state.appKey->utf8(), "abc123");
  EXPECT_EQ(state.channel->utf8(), "App Store");
  EXPECT_TRUE(state.production);
  EXPECT_FALSE(state.launchPayload);
}

TEST_F(PushServiceTest, ManyThreadsAtOnce) {
  constexpr int kThreads = 6;
  constexpr int kRounds = 20;
  auto answered = std::make_shared<std::atomic<int>>(0);
  PushService::registerDeviceToken(token("\x07\x07"));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, answered] {
      for (int i = 0; i < kRounds; ++i) {
        PushService::setAlias(NSString::stringWithFormat("%d-%d", t, i),
                              [answered](const id&, int, const std::shared_ptr<NSSet>&, const std::shared_ptr<NSString>&) {
                                answered->fetch_add(1);
                              },
                              nullptr);
        PushService::handleRemoteNotification(NSDictionary::make({{"n"_ns, NSNumber::numberWithInt(i)}}));
        PushService::resetBadge();
        EXPECT_EQ(PushService::registrationID()->length(), 19u);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  ASSERT_TRUE(runMainLoopUntil([&] { return answered->load() == kThreads * kRounds; }));
  auto state = zvt::push::clientState();
  EXPECT_EQ(state.receivedPayloadCount, size_t{kThreads * kRounds});
  EXPECT_EQ(state.badgeReportCount, size_t{kThreads * kRounds});
}

TEST_F(PushServiceTest, AShutdownWhileOtherThreadsAreCallingLeavesTheirCallsWhole) {
  // Callers on other threads keep using the client while it is shut down again and again: a
  // call that already had the client finishes with it. A client freed or stopped under a caller
  // leaves that caller waiting for ever (or, under the sanitizers, shows as a use after free).
  constexpr int kCallers = 3;
  constexpr int kCalls = 300;  // by each caller, at the least, while the shutdowns go on
  struct Shared {
    std::atomic<bool> stop{false};
    std::atomic<int> busy{0};      // callers that made kCalls calls
    std::atomic<int> finished{0};  // callers back from their last call
  };
  auto shared = std::make_shared<Shared>();
  std::vector<std::thread> callers;
  for (int t = 0; t < kCallers; ++t) {
    callers.emplace_back([t, shared] {
      for (int i = 0; !shared->stop.load(); ++i) {
        PushService::resetBadge();
        PushService::handleRemoteNotification(NSDictionary::make({{"n"_ns, NSNumber::numberWithInt(i)}}));
        if ((i + t) % 4 == 0) zvt::push::clientState();
        if (i == kCalls) shared->busy.fetch_add(1);
      }
      shared->finished.fetch_add(1);
    });
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int shutdowns = 0;
  while ((shared->busy.load() < kCallers || shutdowns < 400) && std::chrono::steady_clock::now() < deadline) {
    zvt::push::shutdownClient();
    ++shutdowns;
    std::this_thread::yield();
  }
  shared->stop = true;
  while (shared->finished.load() < kCallers && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  if (shared->finished.load() < kCallers) {
    for (auto& thread : callers) thread.detach();  // still waiting on a client that is gone
    FAIL() << kCallers - shared->finished.load() << " caller(s) never came back, after " << shutdowns << " shutdowns";
  }
  for (auto& thread : callers) thread.join();
  // The next client starts afresh and works as before.
  zvt::push::shutdownClient();
  PushService::resetBadge();
  EXPECT_EQ(zvt::push::clientState().badgeReportCount, 1u);
}

}  // namespace
