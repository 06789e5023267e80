// Sharing connections between threads: the database queue and the database pool.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <functional>
#include <set>
#include <thread>
#include <vector>

#include "foundation/sqlite/SQDatabasePool.h"
#include "foundation/sqlite/SQDatabaseQueue.h"
#include "foundation/sqlite/SQResultSet.h"
#include "platform/foundation/NSException.h"
#include "tests/foundation/sqlite/SQTestSupport.h"

using sqtest::LogCapture;
using sqtest::ScratchDirectory;

namespace {

int rowCount(const std::shared_ptr<SQDatabase>& db, const char* table) {
  return db->intForQuery(NSString::stringWithFormat("select count(*) from %s", table));
}

// Save-point names as the trace shows them.
std::vector<std::string> savePointNames(const LogCapture& log) {
  std::vector<std::string> names;
  for (const std::string& line : log.lines()) {
    auto at = line.find("executeUpdate: savepoint '");
    if (at == std::string::npos) continue;
    at += std::string("executeUpdate: savepoint '").size();
    names.push_back(line.substr(at, line.find('\'', at) - at));
  }
  return names;
}

}  // namespace

TEST(SQDatabaseQueueTest, EightThreadsOfInsertsRunOneBlockAtATime) {
  ScratchDirectory dir;
  auto queue = SQDatabaseQueue::databaseQueueWithPath(dir.nsFile("queue.db"));
  ASSERT_NE(queue, nullptr);
  queue->inDatabase([](const std::shared_ptr<SQDatabase>& db) {
    // Durability is not what is tested here; 8,000 synced commits would only measure the disk.
    ASSERT_TRUE(db->executeStatements("pragma synchronous = off; create table t(thread integer, n integer);"_ns));
    db->setShouldCacheStatements(true);
  });

  std::atomic<int> inside{0};
  std::atomic<int> overlaps{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int n = 0; n < 1000; ++n) {
        queue->inDatabase([&](const std::shared_ptr<SQDatabase>& db) {
          if (inside.fetch_add(1) != 0) overlaps.fetch_add(1);
          EXPECT_TRUE(db->executeUpdate("insert into t values (?, ?)"_ns, t, n));
          inside.fetch_sub(1);
        });
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  EXPECT_EQ(overlaps.load(), 0);
  queue->inDatabase([](const std::shared_ptr<SQDatabase>& db) {
    EXPECT_EQ(rowCount(db, "t"), 8000);
    EXPECT_EQ(db->intForQuery("select count(distinct thread * 1000 + n) from t"_ns), 8000);
  });
}

TEST(SQDatabaseQueueTest, CloseDropsTheConnectionAndTheNextBlockReopensIt) {
  ScratchDirectory dir;
  auto queue = SQDatabaseQueue::databaseQueueWithPath(dir.nsFile("reopen.db"));
  ASSERT_NE(queue, nullptr);
  EXPECT_EQ(queue->openFlags(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  std::shared_ptr<SQDatabase> first;
  queue->inDatabase([&](const std::shared_ptr<SQDatabase>& db) {
    first = db;
    ASSERT_TRUE(db->executeUpdate("create table t(a)"_ns));
    ASSERT_TRUE(db->executeUpdate("insert into t values (1)"_ns));
  });
  queue->close();
  EXPECT_EQ(first->sqliteHandle(), nullptr);
  queue->inDatabase([&](const std::shared_ptr<SQDatabase>& db) {
    ASSERT_NE(db, nullptr);
    EXPECT_NE(db, first);
    EXPECT_EQ(rowCount(db, "t"), 1);
  });

  LogCapture log;
  EXPECT_EQ(SQDatabaseQueue::databaseQueueWithPath(sqtest::ns(dir.file("no/such/dir.db"))), nullptr);
  EXPECT_TRUE(log.contains("Could not create database queue for path"));

  std::shared_ptr<SQResultSet> leftOpen;
  queue->inDatabase([&](const std::shared_ptr<SQDatabase>& db) { leftOpen = db->executeQuery("select * from t"_ns); });
  EXPECT_TRUE(log.contains("Warning: there is at least one open result set around after performing "
                           "[SQDatabaseQueue inDatabase:]"));
}

TEST(SQDatabaseQueueTest, TransactionsReportWhetherTheyCommitted) {
  ScratchDirectory dir;
  auto queue = SQDatabaseQueue::databaseQueueWithPath(dir.nsFile("tx.db"));
  ASSERT_NE(queue, nullptr);
  queue->inDatabase([](const std::shared_ptr<SQDatabase>& db) {
    ASSERT_TRUE(db->executeStatements(
        "pragma foreign_keys = on;"
        "create table parent(id integer primary key);"
        "create table child(parent_id integer references parent(id) deferrable initially deferred);"_ns));
  });

  EXPECT_TRUE(queue->inTransaction([](const std::shared_ptr<SQDatabase>& db, bool*) {
    EXPECT_TRUE(db->inTransaction());
    EXPECT_TRUE(db->executeUpdate("insert into parent values (1)"_ns));
  }));
  EXPECT_FALSE(queue->inDeferredTransaction([](const std::shared_ptr<SQDatabase>& db, bool* rollback) {
    EXPECT_TRUE(db->executeUpdate("insert into parent values (2)"_ns));
    *rollback = true;
  }));

  // The deferred constraint fails only at commit: the work is rolled back and the caller told.
  LogCapture log;
  EXPECT_FALSE(queue->inTransaction([](const std::shared_ptr<SQDatabase>& db, bool*) {
    EXPECT_TRUE(db->executeUpdate("insert into parent values (3)"_ns));
    EXPECT_TRUE(db->executeUpdate("insert into child values (99)"_ns));
  }));
  EXPECT_TRUE(log.contains("FOREIGN KEY constraint failed"));

  // A transaction that cannot begin does not run its block.
  bool ran = false;
  queue->inDatabase([](const std::shared_ptr<SQDatabase>& db) { ASSERT_TRUE(db->beginTransaction()); });
  EXPECT_FALSE(queue->inTransaction([&](const std::shared_ptr<SQDatabase>&, bool*) { ran = true; }));
  EXPECT_FALSE(ran);
  queue->inDatabase([](const std::shared_ptr<SQDatabase>& db) {
    ASSERT_TRUE(db->rollback());
    EXPECT_FALSE(db->inTransaction());
    EXPECT_EQ(db->intForQuery("select group_concat(id) from parent"_ns), 1);
    EXPECT_EQ(rowCount(db, "child"), 0);
  });
}

TEST(SQDatabaseQueueTest, SavePointsAreNumberedAcrossAllQueues) {
  ScratchDirectory dir;
  auto a = SQDatabaseQueue::databaseQueueWithPath(dir.nsFile("a.db"));
  auto b = SQDatabaseQueue::databaseQueueWithPath(dir.nsFile("b.db"));
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  for (const auto& queue : {a, b}) {
    queue->inDatabase([](const std::shared_ptr<SQDatabase>& db) {
      ASSERT_TRUE(db->executeUpdate("create table t(a)"_ns));
      db->setTraceExecution(true);
    });
  }
  LogCapture log;
  EXPECT_EQ(a->inSavePoint([](const std::shared_ptr<SQDatabase>& db, bool* rollback) {
    db->executeUpdate("insert into t values (1)"_ns);
    *rollback = true;
  }),
            nullptr);
  EXPECT_EQ(b->inSavePoint([](const std::shared_ptr<SQDatabase>& db, bool*) {
    db->executeUpdate("insert into t values (2)"_ns);
  }),
            nullptr);
  std::vector<std::string> names = savePointNames(log);
  ASSERT_EQ(names.size(), 2u);
  long first = std::stol(names[0].substr(std::string("savePoint").size()));
  EXPECT_EQ(names[0], "savePoint" + std::to_string(first));
  EXPECT_EQ(names[1], "savePoint" + std::to_string(first + 1));
  a->inDatabase([](const std::shared_ptr<SQDatabase>& db) { EXPECT_EQ(rowCount(db, "t"), 0); });
  b->inDatabase([](const std::shared_ptr<SQDatabase>& db) { EXPECT_EQ(rowCount(db, "t"), 1); });

  // A save point that cannot start reports why.
  auto error = a->inSavePoint([](const std::shared_ptr<SQDatabase>& db, bool*) { db->close(); });
  EXPECT_NE(error, nullptr);
}

TEST(SQDatabaseQueueTest, SavePointNamesStayDistinctWhenManyThreadsTakeThem) {
  // A queue per thread, eight threads at once, and eight threads sharing one pool: each
  // class's counter hands out every number once (a plain counter would lose increments, and
  // the thread sanitizer reports it).
  constexpr int kThreads = 8;
  constexpr int kRounds = 50;
  std::vector<std::shared_ptr<SQDatabaseQueue>> queues;
  for (int t = 0; t < kThreads; ++t) {
    queues.push_back(SQDatabaseQueue::make());
    queues.back()->inDatabase([](const std::shared_ptr<SQDatabase>& db) { db->setTraceExecution(true); });
  }
  class Tracing : public SQDatabasePoolDelegate {
    void databasePoolDidAddDatabase(SQDatabasePool&, const std::shared_ptr<SQDatabase>& db) override {
      db->setTraceExecution(true);
    }
  };
  auto tracing = std::make_shared<Tracing>();
  auto pool = SQDatabasePool::make();
  pool->setDelegate(tracing);
  const SQDatabaseQueue::TransactionBlock nothing = [](const std::shared_ptr<SQDatabase>&, bool*) {};
  const std::pair<const char*, std::function<std::shared_ptr<NSError>(int thread)>> takers[] = {
      {"queues", [&](int thread) { return queues[thread]->inSavePoint(nothing); }},
      {"pool", [&](int) { return pool->inSavePoint(nothing); }},
  };
  for (const auto& [what, take] : takers) {
    SCOPED_TRACE(what);
    LogCapture log;
    std::atomic<int> errors{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        for (int n = 0; n < kRounds; ++n) errors += take(t) != nullptr;
      });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(errors.load(), 0);
    std::set<long> numbers;
    for (const std::string& name : savePointNames(log)) numbers.insert(std::stol(name.substr(std::string("savePoint").size())));
    ASSERT_EQ(numbers.size(), size_t{kThreads * kRounds}) << "every save point has a name of its own";
    EXPECT_EQ(*numbers.rbegin() - *numbers.begin() + 1, kThreads * kRounds) << "and no number is skipped";
  }
}

TEST(SQDatabaseQueueDeathTest, ANestedCallOnTheSameQueueStopsTheProcess) {
  auto queue = SQDatabaseQueue::make();
  ASSERT_NE(queue, nullptr);
  EXPECT_DEATH(queue->inDatabase([&](const std::shared_ptr<SQDatabase>&) {
    queue->inDatabase([](const std::shared_ptr<SQDatabase>&) {});
  }),
               "inDatabase: was called reentrantly on the same queue, which would lead to a deadlock");
}

TEST(SQDatabaseQueueTest, NestingTwoDifferentQueuesIsAllowed) {
  auto outer = SQDatabaseQueue::make();
  auto inner = SQDatabaseQueue::make();
  bool reached = false;
  outer->inDatabase([&](const std::shared_ptr<SQDatabase>&) {
    inner->inDatabase([&](const std::shared_ptr<SQDatabase>& db) { reached = db->goodConnection(); });
  });
  EXPECT_TRUE(reached);
}

// ---------------------------------------------------------------------------------------------

namespace {

class CountingDelegate : public SQDatabasePoolDelegate {
 public:
  bool databasePoolShouldAddDatabaseToPool(SQDatabasePool&, const std::shared_ptr<SQDatabase>&) override {
    ++asked;
    return accept;
  }
  void databasePoolDidAddDatabase(SQDatabasePool&, const std::shared_ptr<SQDatabase>&) override { ++added; }
  bool accept = true;
  int asked = 0;
  int added = 0;
};

}  // namespace

TEST(SQDatabasePoolTest, AMaximumOfOneLendsOneConnectionAndReusesIt) {
  ScratchDirectory dir;
  auto pool = SQDatabasePool::databasePoolWithPath(dir.nsFile("pool.db"));
  pool->setMaximumNumberOfDatabasesToCreate(1);
  auto delegate = std::make_shared<CountingDelegate>();
  pool->setDelegate(delegate);

  std::shared_ptr<SQDatabase> first;
  LogCapture log;
  pool->inDatabase([&](const std::shared_ptr<SQDatabase>& db) {
    ASSERT_NE(db, nullptr);
    first = db;
    EXPECT_EQ(pool->countOfCheckedOutDatabases(), 1u);
    pool->inDatabase([&](const std::shared_ptr<SQDatabase>& nested) { EXPECT_EQ(nested, nullptr); });
  });
  EXPECT_TRUE(log.contains("Maximum number of databases (1) has already been reached!"));
  EXPECT_EQ(delegate->added, 1);
  EXPECT_EQ(pool->countOfCheckedInDatabases(), 1u);
  EXPECT_EQ(pool->countOfCheckedOutDatabases(), 0u);

  pool->inDatabase([&](const std::shared_ptr<SQDatabase>& db) { EXPECT_EQ(db, first); });
  EXPECT_EQ(delegate->added, 1);  // reused, not new
  EXPECT_EQ(pool->countOfOpenDatabases(), 1u);

  pool->releaseAllDatabases();
  EXPECT_EQ(pool->countOfOpenDatabases(), 0u);
}

TEST(SQDatabasePoolTest, ARefusedConnectionIsNeitherLentNorCounted) {
  ScratchDirectory dir;
  auto pool = SQDatabasePool::databasePoolWithPath(dir.nsFile("refuse.db"));
  pool->setMaximumNumberOfDatabasesToCreate(1);
  auto delegate = std::make_shared<CountingDelegate>();
  pool->setDelegate(delegate);
  pool->inDatabase([](const std::shared_ptr<SQDatabase>& db) { ASSERT_NE(db, nullptr); });
  ASSERT_EQ(pool->countOfCheckedInDatabases(), 1u);

  delegate->accept = false;  // refuses the idle connection when it is reused
  pool->inDatabase([](const std::shared_ptr<SQDatabase>& db) { EXPECT_EQ(db, nullptr); });
  EXPECT_EQ(pool->countOfCheckedOutDatabases(), 0u);
  EXPECT_EQ(pool->countOfOpenDatabases(), 0u);

  delegate->accept = true;  // the maximum is not used up by the refused one
  pool->inDatabase([](const std::shared_ptr<SQDatabase>& db) { EXPECT_NE(db, nullptr); });
  EXPECT_EQ(delegate->added, 2);
}

TEST(SQDatabasePoolTest, ConnectionsAreLentInParallelAndTransactionsReportTheirOutcome) {
  ScratchDirectory dir;
  auto pool = SQDatabasePool::databasePoolWithPath(dir.nsFile("parallel.db"));
  // Exclusive transactions of four connections wait for each other; give them time enough.
  class Patient : public SQDatabasePoolDelegate {
    void databasePoolDidAddDatabase(SQDatabasePool&, const std::shared_ptr<SQDatabase>& db) override {
      db->setMaxBusyRetryTimeInterval(30);
    }
  };
  auto patient = std::make_shared<Patient>();
  pool->setDelegate(patient);
  pool->inDatabase([](const std::shared_ptr<SQDatabase>& db) {
    ASSERT_TRUE(db->executeUpdate("create table t(a)"_ns));
  });
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int n = 0; n < 10; ++n) {
        EXPECT_TRUE(pool->inTransaction([&](const std::shared_ptr<SQDatabase>& db, bool*) {
          EXPECT_TRUE(db->executeUpdate("insert into t values (?)"_ns, t * 100 + n));
        }));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_LE(pool->countOfOpenDatabases(), 4u);
  EXPECT_EQ(pool->countOfCheckedOutDatabases(), 0u);

  EXPECT_FALSE(pool->inDeferredTransaction([](const std::shared_ptr<SQDatabase>& db, bool* rollback) {
    db->executeUpdate("delete from t"_ns);
    *rollback = true;
  }));
  EXPECT_EQ(pool->inSavePoint([](const std::shared_ptr<SQDatabase>& db, bool* rollback) {
    db->executeUpdate("delete from t"_ns);
    *rollback = true;
  }),
            nullptr);
  pool->inDatabase([](const std::shared_ptr<SQDatabase>& db) { EXPECT_EQ(rowCount(db, "t"), 40); });
}

TEST(SQDatabasePoolTest, AConnectionComesBackOutOfEveryTransactionThatDidNotCommit) {
  // One connection, lent again after each case: whatever ended the transaction, it must come
  // back without an open transaction and without the case's row.
  ScratchDirectory dir;
  auto pool = SQDatabasePool::databasePoolWithPath(dir.nsFile("outcome.db"));
  pool->setMaximumNumberOfDatabasesToCreate(1);
  class Checked : public SQDatabasePoolDelegate {
    void databasePoolDidAddDatabase(SQDatabasePool&, const std::shared_ptr<SQDatabase>& db) override {
      db->setMaxBusyRetryTimeInterval(0);
      ASSERT_TRUE(db->executeUpdate("pragma foreign_keys = on"_ns));
    }
  };
  auto checked = std::make_shared<Checked>();
  pool->setDelegate(checked);
  pool->inDatabase([](const std::shared_ptr<SQDatabase>& db) {
    ASSERT_TRUE(db->executeStatements(
        "create table parent(id integer primary key);"
        "create table child(parent_id integer references parent(id) deferrable initially deferred);"_ns));
  });
  auto other = SQDatabase::databaseWithPath(dir.nsFile("outcome.db"));
  ASSERT_TRUE(other->open());
  LogCapture log;  // the refused statements are logged

  struct Case {
    const char* what;
    std::function<void()> before, after;  // around the transaction
    std::function<void(const std::shared_ptr<SQDatabase>&, bool*)> block;
    bool blockRuns;
    bool raises;
  };
  const std::function<void()> none = [] {};
  const Case cases[] = {
      {"the block asks for a rollback", none, none,
       [](const std::shared_ptr<SQDatabase>&, bool* rollback) { *rollback = true; }, true, false},
      {"the commit is refused", none, none,
       [](const std::shared_ptr<SQDatabase>& db, bool*) { EXPECT_TRUE(db->executeUpdate("insert into child values (99)"_ns)); },
       true, false},
      {"the block raises", none, none,
       [](const std::shared_ptr<SQDatabase>&, bool*) { throw NSException("Test"_ns, "raised in the block"_ns); }, true, true},
      {"the transaction cannot begin", [&] { ASSERT_TRUE(other->executeUpdate("begin exclusive transaction"_ns)); },
       [&] { ASSERT_TRUE(other->executeUpdate("rollback"_ns)); }, [](const std::shared_ptr<SQDatabase>&, bool*) {}, false,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    bool ran = false;
    c.before();
    auto transaction = [&] {
      return pool->inTransaction([&](const std::shared_ptr<SQDatabase>& db, bool* rollback) {
        ran = true;
        EXPECT_TRUE(db->executeUpdate("insert into parent values (7)"_ns));
        c.block(db, rollback);
      });
    };
    if (c.raises) {
      EXPECT_THROW(transaction(), NSException);
    } else {
      EXPECT_FALSE(transaction());
    }
    c.after();
    EXPECT_EQ(ran, c.blockRuns);
    pool->inDatabase([](const std::shared_ptr<SQDatabase>& db) {
      ASSERT_NE(db, nullptr);
      EXPECT_FALSE(db->inTransaction());
      EXPECT_EQ(rowCount(db, "parent"), 0);
      EXPECT_EQ(rowCount(db, "child"), 0);
    });
  }
  // And the connection commits normally afterwards.
  EXPECT_TRUE(pool->inTransaction([](const std::shared_ptr<SQDatabase>& db, bool*) {
    EXPECT_TRUE(db->executeUpdate("insert into parent values (1)"_ns));
  }));
  EXPECT_EQ(pool->countOfOpenDatabases(), 1u);
}

TEST(SQDatabasePoolTest, ReturningAConnectionTwiceRaises) {
  auto pool = SQDatabasePool::make();
  auto db = pool->db();
  ASSERT_NE(db, nullptr);
  pool->pushDatabaseBackInPool(db);
  try {
    pool->pushDatabaseBackInPool(db);
    FAIL() << "no exception";
  } catch (const NSException& e) {
    EXPECT_TRUE(e.name()->isEqualToString("Database already in pool"));
    EXPECT_TRUE(e.reason()->isEqualToString("The SQDatabase being put back into the pool is already present in the pool"));
  }
  pool->pushDatabaseBackInPool(nullptr);
  EXPECT_EQ(pool->countOfCheckedInDatabases(), 1u);
}
