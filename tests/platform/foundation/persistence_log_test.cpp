// The log sink and NSLog.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNumber.h"

namespace {

TEST(PersistenceLog, NSLogFormatsLikeStringWithFormat) {
  zvt::LogCapture log;
  NSLog("%@ has %d items, %.2f%%", "cart"_ns, 3, 12.5);
  NSLog("%@", nullptr);
  NSLog("array %@", NSArray::make({NSNumber::numberWithInt(1), "two"_ns}));
  auto lines = log.lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "cart has 3 items, 12.50%");
  EXPECT_EQ(lines[1], "(null)");
  EXPECT_EQ(lines[2], "array (\n    1,\n    two\n)");
  EXPECT_EQ(log.entries()[0].level, zvt::LogLevel::Info);
}

TEST(PersistenceLog, LevelsAndNestedCaptures) {
  zvt::LogCapture outer;
  zvt::logMessage(zvt::LogLevel::Debug, "d");
  {
    zvt::LogCapture inner;
    zvt::logFormat(zvt::LogLevel::Error, "failed: %s", "disk");
    ASSERT_EQ(inner.entries().size(), 1u);
    EXPECT_EQ(inner.entries()[0].level, zvt::LogLevel::Error);
    EXPECT_TRUE(inner.contains("disk"));
  }
  zvt::logMessage(zvt::LogLevel::Warning, "w");
  auto entries = outer.entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].level, zvt::LogLevel::Debug);
  EXPECT_EQ(entries[1].message, "w");
  EXPECT_STREQ(zvt::logLevelName(entries[1].level), "warning");
  outer.clear();
  EXPECT_TRUE(outer.lines().empty());
}

TEST(PersistenceLog, LinesFromManyThreadsAreKeptWhole) {
  zvt::LogCapture log;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 100; ++i) NSLog("thread %d line %d", t, i);
    });
  for (auto& thread : threads) thread.join();
  auto lines = log.lines();
  ASSERT_EQ(lines.size(), 400u);
  for (auto& line : lines) EXPECT_EQ(line.rfind("thread ", 0), 0u) << line;
}

}  // namespace
