// Busy handling between two connections on one file. SQLite's busy handler sleeps for real, so
// these two tests take real time (about two seconds and half a second).

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "foundation/sqlite/SQDatabase.h"
#include "tests/foundation/sqlite/SQTestSupport.h"

using sqtest::LogCapture;
using sqtest::ScratchDirectory;

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct TwoConnections {
  ScratchDirectory dir;
  std::shared_ptr<SQDatabase> holder;
  std::shared_ptr<SQDatabase> waiter;

  TwoConnections() {
    holder = SQDatabase::databaseWithPath(dir.nsFile("busy.db"));
    waiter = SQDatabase::databaseWithPath(dir.nsFile("busy.db"));
    EXPECT_TRUE(holder->open());
    EXPECT_TRUE(holder->executeUpdate("create table t(a)"_ns));
    EXPECT_TRUE(waiter->open());
    EXPECT_TRUE(holder->beginTransaction());  // exclusive lock
    EXPECT_TRUE(holder->executeUpdate("insert into t values (1)"_ns));
  }
};

}  // namespace

TEST(SQDatabaseBusy, AnUpdateGivesUpAfterTheRetryInterval) {
  TwoConnections c;
  LogCapture log;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(c.waiter->executeUpdate("insert into t values (2)"_ns));
  double waited = secondsSince(start);
  EXPECT_EQ(c.waiter->lastErrorCode(), SQLITE_BUSY);
  EXPECT_GE(waited, 1.5);
  EXPECT_LE(waited, 2.5);
  EXPECT_TRUE(log.contains("database is locked"));
  EXPECT_TRUE(c.holder->commit());

  // Without a retry interval the busy answer comes at once.
  c.waiter->setMaxBusyRetryTimeInterval(0);
  EXPECT_TRUE(c.holder->beginTransaction());
  start = std::chrono::steady_clock::now();
  EXPECT_FALSE(c.waiter->executeUpdate("insert into t values (3)"_ns));
  EXPECT_LT(secondsSince(start), 0.2);
  EXPECT_TRUE(c.holder->rollback());
}

TEST(SQDatabaseBusy, AnUpdateSucceedsWhenTheLockGoesAwayWithinTheInterval) {
  TwoConnections c;
  // An interval that a busy machine's scheduling cannot use up: what is checked is that the
  // update waits for the holder and then goes, not how quickly the threads are run.
  c.waiter->setMaxBusyRetryTimeInterval(30);
  std::atomic<double> committedAfter{-1};
  auto start = std::chrono::steady_clock::now();
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(400));  // the lock holder's own work
    EXPECT_TRUE(c.holder->commit());
    committedAfter = secondsSince(start);
  });
  EXPECT_TRUE(c.waiter->executeUpdate("insert into t values (2)"_ns));
  double waited = secondsSince(start);
  release.join();
  EXPECT_GE(waited, 0.3);
  EXPECT_GE(waited, committedAfter.load()) << "the update went only once the holder had committed";
  EXPECT_LT(waited, 30);
  EXPECT_EQ(c.waiter->intForQuery("select count(*) from t"_ns), 2);
}
