#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSOperation.h"
#include "platform/foundation/NSThread.h"
#include "tests/support/MainLoop.h"

using zvt::test::runMainLoopUntil;

namespace {

std::shared_ptr<NSString> S(const char* s) { return NSString::stringWithUTF8String(s); }

TEST(RuntimeNotification, FiltersByNameAndObject) {
  auto center = NSNotificationCenter::make();
  auto observer = NSObject::make();
  auto sender = NSObject::make();
  auto other = NSObject::make();
  std::vector<std::string> got;
  center->addObserver(observer, [&](const auto& n) { got.push_back("login:" + std::string(n->name()->UTF8String())); },
                      S("login"), nullptr);
  center->addObserver(observer, [&](const auto&) { got.push_back("any-from-sender"); }, nullptr, sender);
  center->addObserver(observer, [&](const auto&) { got.push_back("logout-from-other"); }, S("logout"), other);

  center->postNotificationName(S("login"), nullptr);
  center->postNotificationName(S("login"), sender);
  center->postNotificationName(S("logout"), sender);
  center->postNotificationName(S("logout"), other);
  center->postNotificationName(S("remote"), nullptr);
  EXPECT_EQ(got, (std::vector<std::string>{"login:login", "login:login", "any-from-sender", "any-from-sender",
                                           "logout-from-other"}));
}

TEST(RuntimeNotification, DeliversSynchronouslyWithUserInfoOnThePostingThread) {
  auto center = NSNotificationCenter::make();
  auto observer = NSObject::make();
  std::atomic<bool> onPoster{false};
  std::shared_ptr<NSNotification> seen;
  std::thread::id posterId;
  center->addObserver(observer, [&](const auto& n) {
    onPoster = std::this_thread::get_id() == posterId;
    seen = n;
  }, S("remote"), nullptr);
  auto info = NSDictionary::dictionaryWithObject(S("1"), S("content_type"));
  std::thread([&] {
    posterId = std::this_thread::get_id();
    center->postNotificationName(S("remote"), nullptr, info);
    EXPECT_TRUE(seen);  // delivered before the post returned
  }).join();
  EXPECT_TRUE(onPoster.load());
  ASSERT_TRUE(seen);
  EXPECT_EQ(seen->userInfo(), info);
  EXPECT_TRUE(seen->name()->isEqualToString("remote"));
}

TEST(RuntimeNotification, RemovalByObserverAndByName) {
  auto center = NSNotificationCenter::make();
  auto a = NSObject::make();
  auto b = NSObject::make();
  int aLogin = 0, aLogout = 0, bLogin = 0;
  center->addObserver(a, [&](const auto&) { ++aLogin; }, S("login"), nullptr);
  center->addObserver(a, [&](const auto&) { ++aLogout; }, S("logout"), nullptr);
  center->addObserver(b, [&](const auto&) { ++bLogin; }, S("login"), nullptr);
  center->removeObserver(a, S("login"), nullptr);
  center->postNotificationName(S("login"), nullptr);
  center->postNotificationName(S("logout"), nullptr);
  EXPECT_EQ(aLogin, 0);
  EXPECT_EQ(aLogout, 1);
  EXPECT_EQ(bLogin, 1);
  center->removeObserver(a);
  center->postNotificationName(S("logout"), nullptr);
  EXPECT_EQ(aLogout, 1);
  EXPECT_EQ(center->observationCount(), 1u);
}

TEST(RuntimeNotification, ObserverThatWentAwayIsNeverCalled) {
  auto center = NSNotificationCenter::make();
  int calls = 0;
  {
    auto observer = NSObject::make();
    center->addObserver(observer, [&](const auto&) { ++calls; }, S("x"), nullptr);
    center->postNotificationName(S("x"), nullptr);
  }  // dropped without removeObserver
  center->postNotificationName(S("x"), nullptr);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(center->observationCount(), 0u);

  // An object filter that went away no longer matches a new object at the same address.
  auto observer = NSObject::make();
  {
    auto sender = NSObject::make();
    center->addObserver(observer, [&](const auto&) { ++calls; }, S("y"), sender);
  }
  center->postNotificationName(S("y"), NSObject::make());
  EXPECT_EQ(calls, 1);
}

TEST(RuntimeNotification, AddingAndRemovingDuringAPostIsSafe) {
  auto center = NSNotificationCenter::make();
  auto first = NSObject::make();
  auto second = NSObject::make();
  auto added = NSObject::make();
  int firstCalls = 0, secondCalls = 0, addedCalls = 0;
  center->addObserver(first, [&](const auto&) {
    ++firstCalls;
    center->removeObserver(second);  // removed before its turn: not called
    center->addObserver(added, [&](const auto&) { ++addedCalls; }, S("n"), nullptr);
    center->removeObserver(first);   // itself, while running
  }, S("n"), nullptr);
  center->addObserver(second, [&](const auto&) { ++secondCalls; }, S("n"), nullptr);
  center->postNotificationName(S("n"), nullptr);
  EXPECT_EQ(firstCalls, 1);
  EXPECT_EQ(secondCalls, 0);
  EXPECT_EQ(addedCalls, 0);  // joined after the post had chosen its observers
  center->postNotificationName(S("n"), nullptr);
  EXPECT_EQ(firstCalls, 1);
  EXPECT_EQ(addedCalls, 1);
}

TEST(RuntimeNotification, ConcurrentPostersAndObserversStayConsistent) {
  auto center = NSNotificationCenter::make();
  std::atomic<int> calls{0};
  std::atomic<bool> stop{false};
  auto stable = NSObject::make();
  center->addObserver(stable, [&](const auto&) { calls++; }, S("tick"), nullptr);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 500; ++i) center->postNotificationName(S("tick"), nullptr);
    });
  }
  threads.emplace_back([&] {
    while (!stop) {
      auto o = NSObject::make();
      center->addObserver(o, [](const auto&) {}, S("tick"), nullptr);
      center->removeObserver(o);
    }
  });
  for (int t = 0; t < 4; ++t) threads[t].join();
  stop = true;
  threads.back().join();
  EXPECT_EQ(calls.load(), 2000);
}

TEST(RuntimeNotification, BlockObserversWithAQueueAndScopedTokens) {
  auto center = NSNotificationCenter::make();
  std::atomic<int> onMainCalls{0};
  std::atomic<bool> wrongThread{false};
  {
    zvt::ObserverToken token =
        zvt::observe(center, S("login"), nullptr, NSOperationQueue::mainQueue(), [&](const auto&) {
          if (!NSThread::isMainThread()) wrongThread = true;
          onMainCalls++;
        });
    EXPECT_TRUE(static_cast<bool>(token));
    // Posted on the main thread: the main queue is current, so it runs at once.
    center->postNotificationName(S("login"), nullptr);
    EXPECT_EQ(onMainCalls.load(), 1);
    // Posted elsewhere: enqueued on the main queue.
    std::thread([&] { center->postNotificationName(S("login"), nullptr); }).join();
    EXPECT_EQ(onMainCalls.load(), 1);
    EXPECT_TRUE(runMainLoopUntil([&] { return onMainCalls.load() == 2; }));
    EXPECT_EQ(center->observationCount(), 1u);
  }  // the token's scope ends the observation
  EXPECT_EQ(center->observationCount(), 0u);
  center->postNotificationName(S("login"), nullptr);
  EXPECT_EQ(onMainCalls.load(), 2);
  EXPECT_FALSE(wrongThread.load());

  // A plain token is removed with removeObserver; its block (and captures) go with it.
  auto captured = std::make_shared<int>(0);
  std::weak_ptr<int> weak = captured;
  id token = center->addObserverForName(nullptr, nullptr, nullptr, [captured](const auto&) { ++*captured; });
  center->postNotificationName(S("anything"), nullptr);
  EXPECT_EQ(*captured, 1);
  captured.reset();
  center->removeObserver(token);
  EXPECT_TRUE(weak.expired());
}

TEST(RuntimeNotification, DefaultCenterIsShared) {
  EXPECT_EQ(NSNotificationCenter::defaultCenter(), NSNotificationCenter::defaultCenter());
  auto n = NSNotification::notificationWithName(S("com.netway.networking.operation.start"), nullptr);
  std::string text = n->description()->UTF8String();
  EXPECT_NE(text.find("name = com.netway.networking.operation.start"), std::string::npos) << text;
}

}  // namespace
