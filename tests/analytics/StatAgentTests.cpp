// The analytics client as the application uses it: records in call order in the local file,
// page views timed on the virtual clock, the online-configuration notice on the main thread,
// and use from many threads at once.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include <fstream>
#include <thread>
#include <vector>

#include "analytics/StatAgent.h"
#include "platform/foundation/Foundation.h"
#include "platform/uikit/UIApplication.h"
#include "tests/support/MainLoop.h"
#include "tests/support/TempHome.h"

namespace {

std::string text(const std::shared_ptr<NSDictionary>& entry, const char* key) {
  auto value = entry->objectForKey(NSString::stringWithUTF8String(key));
  return value ? zvt::as<NSString>(value) ? zvt::as<NSString>(value)->utf8() : value->description()->utf8() : "";
}

class StatAgentTest : public ::testing::Test {
 protected:
  void SetUp() override { zvt::stat::resetAgent(); }
  void TearDown() override { zvt::stat::resetAgent(); }
  zvt::test::TempHome home_;
};

TEST_F(StatAgentTest, SessionAndEventsAreRecordedInCallOrder) {
  StatAgent::startWithAppkey("4b7e91a2c05d38f6e1a9d70c"_ns, BATCH, ""_ns);
  StatAgent::setAppVersion("2.3.1"_ns);
  StatAgent::event("Stroll"_ns);
  StatAgent::event(""_ns);  // nothing to count
  StatAgent::event("HomeSearch"_ns);
  StatAgent::startWithAppkey("ffffffffffffffffffffffff"_ns, REALTIME, "x"_ns);  // ignored

  auto entries = zvt::stat::recordedEntries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(text(entries[0], "kind"), "launch");
  EXPECT_EQ(text(entries[0], "appKey"), "4b7e91a2c05d38f6e1a9d70c");
  EXPECT_EQ(text(entries[0], "policy"), "1");
  EXPECT_EQ(text(entries[1], "kind"), "event");
  EXPECT_EQ(text(entries[1], "id"), "Stroll");
  EXPECT_EQ(text(entries[1], "appVersion"), "2.3.1");
  EXPECT_EQ(text(entries[2], "id"), "HomeSearch");
  EXPECT_EQ(text(entries[2], "appKey"), "4b7e91a2c05d38f6e1a9d70c");

  struct stat info {};
  ASSERT_EQ(::stat(zvt::stat::recordsPath().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_NE(zvt::stat::recordsPath().find("/Library/Caches/.stats/records"), std::string::npos);
}

TEST_F(StatAgentTest, PageViewsLastFromBeginToEnd) {
  zvt::test::VirtualClockScope clock;
  StatAgent::beginLogPageView("首页"_ns);
  clock.advanceBy(12.5);
  StatAgent::endLogPageView("首页"_ns);
  StatAgent::endLogPageView("首页"_ns);      // already ended
  StatAgent::endLogPageView("我的"_ns);      // never began
  StatAgent::beginLogPageView("我的"_ns);
  clock.advanceBy(1);
  StatAgent::beginLogPageView("我的"_ns);    // begins again
  clock.advanceBy(2);
  StatAgent::endLogPageView("我的"_ns);

  auto entries = zvt::stat::recordedEntries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(text(entries[0], "page"), "首页");
  EXPECT_DOUBLE_EQ(zvt::as<NSNumber>(entries[0]->objectForKey("duration"_ns))->doubleValue(), 12.5);
  EXPECT_EQ(text(entries[1], "page"), "我的");
  EXPECT_DOUBLE_EQ(zvt::as<NSNumber>(entries[1]->objectForKey("duration"_ns))->doubleValue(), 2.0);
}

TEST_F(StatAgentTest, OnlineConfigurationIsAnnouncedOnTheMainThread) {
  int posts = 0;
  bool onMain = false;
  auto token = zvt::observe(NSNotificationCenter::defaultCenter(), SAOnlineConfigUpdatedNotification, nullptr, nullptr,
                            [&](const std::shared_ptr<NSNotification>&) {
                              posts++;
                              onMain = NSThread::isMainThread();
                            });
  std::thread([] { StatAgent::updateOnlineConfig(); }).join();
  zvt::stat::flush();
  EXPECT_EQ(posts, 0);  // not delivered off the main thread
  ASSERT_TRUE(zvt::test::runMainLoopUntil([&] { return posts == 1; }));
  EXPECT_TRUE(onMain);
}

TEST_F(StatAgentTest, ConfigParamsAreTheStoredOnes) {
  EXPECT_EQ(StatAgent::getConfigParams()->count(), 0u);
  auto dir = home_.pathFor("Library/Caches/.stats");
  NSFileManager::defaultManager()->createDirectoryAtPath(NSString::stringWithUTF8String(dir), true, nullptr, nullptr);
  auto params = NSDictionary::make({{"share_text"_ns, "来吧"_ns}});
  auto data = NSPropertyListSerialization::dataWithPropertyList(params, NSPropertyListXMLFormat_v1_0, 0, nullptr);
  ASSERT_TRUE(data->writeToFile(NSString::stringWithUTF8String(dir + "/config.plist"), true));
  EXPECT_TRUE(StatAgent::getConfigParams()->isEqual(params));

  StatAgent::setCrashReportEnabled(true);
  EXPECT_TRUE(zvt::stat::crashReportEnabled());
}

TEST_F(StatAgentTest, EverythingRecordedBeforeTheApplicationEndsIsInTheFile) {
  // The process ends right after the application's termination: what was asked before it and
  // still waits on the client's queue must be written by then.
  constexpr int kEvents = 1000;
  StatAgent::startWithAppkey("4b7e91a2c05d38f6e1a9d70c"_ns, BATCH, ""_ns);
  for (int i = 0; i < kEvents; ++i) StatAgent::event(NSString::stringWithFormat("e%d", i));
  UIApplication::sharedApplication()->terminate();

  // Read as it is on disk now, without waiting for the queue.
  std::ifstream in(zvt::stat::recordsPath());
  std::string line, last;
  int lines = 0;
  while (std::getline(in, line)) {
    ++lines;
    last = line;
  }
  EXPECT_EQ(lines, kEvents + 1);
  EXPECT_NE(last.find("\"e999\""), std::string::npos) << last;
}

TEST_F(StatAgentTest, ALineCutShortByAFullDiskIsTakenBack) {
  // The disk fills up in the middle of a record: the part written is taken back, so that the
  // records written once there is room again are not glued to it (and lost with it).
  StatAgent::event("before"_ns);
  zvt::stat::flush();
  struct stat info {};
  ASSERT_EQ(::stat(zvt::stat::recordsPath().c_str(), &info), 0);

  // Files may grow only 20 bytes past the records: the next record is cut short.
  struct rlimit limit {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
  const struct rlimit full {static_cast<rlim_t>(info.st_size) + 20, limit.rlim_max};
  auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
  StatAgent::event(NSString::stringWithUTF8String(std::string(200, 'x')));
  zvt::stat::flush();
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  std::signal(SIGXFSZ, previousHandler);

  StatAgent::event("after"_ns);
  auto entries = zvt::stat::recordedEntries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(text(entries[0], "id"), "before");
  EXPECT_EQ(text(entries[1], "id"), "after");
  std::ifstream in(zvt::stat::recordsPath());
  std::string line;
  int lines = 0;
  while (std::getline(in, line)) ++lines;
  EXPECT_EQ(lines, 2);
}

TEST_F(StatAgentTest, ManyThreadsAtOnce) {
  constexpr int kThreads = 6;
  constexpr int kRounds = 30;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      auto page = NSString::stringWithFormat("page-%d", t);
      for (int i = 0; i < kRounds; ++i) {
        StatAgent::beginLogPageView(page);
        StatAgent::event(NSString::stringWithFormat("e%d", t));
        StatAgent::endLogPageView(page);
        StatAgent::setAppVersion(NSString::stringWithFormat("1.%d", i));
      }
      (void)StatAgent::getConfigParams();
    });
  }
  for (auto& thread : threads) thread.join();
  auto entries = zvt::stat::recordedEntries();
  ASSERT_EQ(entries.size(), size_t{kThreads * kRounds * 2});
  int pages = 0;
  for (const auto& entry : entries) pages += text(entry, "kind") == "page";
  EXPECT_EQ(pages, kThreads * kRounds);
}

}  // namespace
