#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSThread.h"
#include "tests/support/MainLoop.h"

using zvt::test::runMainLoopUntil;
using zvt::test::VirtualClockScope;

namespace {

// Blocks until `flag` is set; a bounded wait so that a fault fails the test instead of hanging.
bool waitFor(const std::atomic<bool>& flag, double seconds = 10) {
  return runMainLoopUntil([&] { return flag.load(); }, seconds);
}

TEST(RuntimeDispatchSerial, TenThousandBlocksFromEightProducersKeepFifoAndNeverOverlap) {
  auto queue = dispatch_queue_create("test.serial", DISPATCH_QUEUE_SERIAL);
  constexpr int kProducers = 8;
  constexpr int kPerProducer = 1250;
  std::atomic<int> active{0};
  std::atomic<int> overlaps{0};
  // Touched only by the queue's blocks: a serial queue must order them (TSan checks it).
  std::vector<std::vector<int>> seen(kProducers);
  auto group = dispatch_group_create();

  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([&, p] {
      for (int i = 0; i < kPerProducer; ++i) {
        dispatch_group_async(group, queue, [&, p, i] {
          if (active.fetch_add(1) != 0) overlaps++;
          seen[p].push_back(i);
          if ((i & 63) == 0) std::this_thread::yield();  // widen the window for an overlap
          active.fetch_sub(1);
        });
      }
    });
  }
  for (auto& t : producers) t.join();
  ASSERT_EQ(dispatch_group_wait(group, DISPATCH_TIME_FOREVER), 0);

  EXPECT_EQ(overlaps.load(), 0);
  size_t total = 0;
  dispatch_sync(queue, [&] {
    for (int p = 0; p < kProducers; ++p) {
      total += seen[p].size();
      for (int i = 0; i < static_cast<int>(seen[p].size()); ++i) {
        if (seen[p][i] != i) {
          ADD_FAILURE() << "producer " << p << " out of order at " << i;
          return;
        }
      }
    }
  });
  EXPECT_EQ(total, size_t{kProducers * kPerProducer});
}

TEST(RuntimeDispatchSerial, SyncRunsOnTheCallerAfterEarlierBlocks) {
  auto queue = dispatch_queue_create("test.sync", nullptr);
  std::vector<int> order;
  for (int i = 0; i < 100; ++i) dispatch_async(queue, [&order, i] { order.push_back(i); });
  std::thread::id ranOn;
  dispatch_sync(queue, [&] {
    ranOn = std::this_thread::get_id();
    order.push_back(100);
  });
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  ASSERT_EQ(order.size(), 101u);
  for (int i = 0; i <= 100; ++i) EXPECT_EQ(order[i], i);
}

TEST(RuntimeDispatchSerial, ExceptionFromSyncBlockReachesCallerAndFreesQueue) {
  auto queue = dispatch_queue_create("test.sync.throw", nullptr);
  EXPECT_THROW(dispatch_sync(queue, [] { throw std::runtime_error("boom"); }), std::runtime_error);
  std::atomic<bool> ran{false};
  dispatch_async(queue, [&] { ran = true; });
  EXPECT_TRUE(waitFor(ran));
}

using RuntimeDispatchDeathTest = ::testing::Test;

TEST_F(RuntimeDispatchDeathTest, SyncOntoTheCurrentSerialQueueStopsWithAMessage) {
  EXPECT_DEATH(
      {
        auto queue = dispatch_queue_create("test.self", nullptr);
        dispatch_sync(queue, [&] { dispatch_sync(queue, [] {}); });
      },
      "dispatch_sync onto queue \"test.self\".*wait for itself");
}

TEST_F(RuntimeDispatchDeathTest, SyncBackOntoAnOuterQueueThroughAnotherIsDetected) {
  EXPECT_DEATH(
      {
        auto outer = dispatch_queue_create("test.outer", nullptr);
        auto inner = dispatch_queue_create("test.inner", nullptr);
        dispatch_sync(outer, [&] { dispatch_sync(inner, [&] { dispatch_sync(outer, [] {}); }); });
      },
      "\"test.outer\".*wait for itself");
}

TEST_F(RuntimeDispatchDeathTest, SyncOntoTheMainQueueFromTheMainThreadStops) {
  EXPECT_DEATH(dispatch_sync(dispatch_get_main_queue(), [] {}), "main queue from the main thread");
}

TEST_F(RuntimeDispatchDeathTest, UnbalancedGroupLeaveStops) {
  EXPECT_DEATH(dispatch_group_leave(dispatch_group_create()), "without a matching");
}

TEST(RuntimeDispatchConcurrent, BarrierRunsAloneBetweenTheBlocksAroundIt) {
  auto queue = dispatch_queue_create("test.concurrent", DISPATCH_QUEUE_CONCURRENT);
  std::atomic<int> active{0};
  std::atomic<int> beforeDone{0};
  std::atomic<int> afterStarted{0};
  std::atomic<bool> barrierAlone{false};
  std::atomic<int> barrierSawBefore{-1};
  std::atomic<int> barrierSawAfter{-1};
  auto group = dispatch_group_create();
  constexpr int kEach = 200;
  for (int i = 0; i < kEach; ++i) {
    dispatch_group_async(group, queue, [&] {
      active++;
      for (int k = 0; k < 50; ++k) std::this_thread::yield();
      beforeDone++;
      active--;
    });
  }
  dispatch_group_enter(group);
  dispatch_barrier_async(queue, [&] {
    barrierAlone = active.load() == 0;
    barrierSawBefore = beforeDone.load();
    for (int k = 0; k < 200; ++k) std::this_thread::yield();
    barrierSawAfter = afterStarted.load();
    barrierAlone = barrierAlone && active.load() == 0;
    dispatch_group_leave(group);
  });
  for (int i = 0; i < kEach; ++i) {
    dispatch_group_async(group, queue, [&] {
      afterStarted++;
      active++;
      active--;
    });
  }
  ASSERT_EQ(dispatch_group_wait(group, DISPATCH_TIME_FOREVER), 0);
  EXPECT_TRUE(barrierAlone.load());
  EXPECT_EQ(barrierSawBefore.load(), kEach);
  EXPECT_EQ(barrierSawAfter.load(), 0);
  EXPECT_EQ(afterStarted.load(), kEach);
}

TEST(RuntimeDispatchConcurrent, BlocksOfAConcurrentQueueRunAtTheSameTime) {
  // Two blocks that wait for each other can only both finish when they run together.
  auto queue = dispatch_queue_create("test.rendezvous", DISPATCH_QUEUE_CONCURRENT);
  auto a = dispatch_semaphore_create(0);
  auto b = dispatch_semaphore_create(0);
  std::atomic<int> met{0};
  dispatch_async(queue, [&] {
    dispatch_semaphore_signal(a);
    if (dispatch_semaphore_wait(b, dispatch_time(DISPATCH_TIME_NOW, 10 * NSEC_PER_SEC)) == 0) met++;
  });
  dispatch_async(queue, [&] {
    dispatch_semaphore_signal(b);
    if (dispatch_semaphore_wait(a, dispatch_time(DISPATCH_TIME_NOW, 10 * NSEC_PER_SEC)) == 0) met++;
  });
  EXPECT_TRUE(runMainLoopUntil([&] { return met.load() == 2; }));
}

TEST(RuntimeDispatchConcurrent, BarrierSyncOnOwnQueueDiesButPlainSyncRunsInline) {
  auto queue = dispatch_queue_create("test.nested", DISPATCH_QUEUE_CONCURRENT);
  std::atomic<bool> inner{false};
  dispatch_sync(queue, [&] { dispatch_sync(queue, [&] { inner = true; }); });
  EXPECT_TRUE(inner.load());
  EXPECT_DEATH(
      {
        auto q = dispatch_queue_create("test.nested.barrier", DISPATCH_QUEUE_CONCURRENT);
        dispatch_sync(q, [&] { dispatch_barrier_sync(q, [] {}); });
      },
      "wait for itself");
}

// Running a block at once "on" a concurrent queue is allowed only when a worker could start it
// right away; it then sees the queue's values and holds the queue like a running block.
TEST(RuntimeDispatchConcurrent, RunNowTakesTheBlockOnlyWhenTheQueueCouldStartIt) {
  static int key;
  struct Case {
    const char* name;
    std::function<dispatch_queue_t()> make;
    bool runs;
  };
  auto gate = dispatch_semaphore_create(0);
  const Case cases[] = {
      {"idle concurrent queue", [] { return dispatch_queue_create("t.idle", DISPATCH_QUEUE_CONCURRENT); }, true},
      {"serial queue", [] { return dispatch_queue_create("t.serial", DISPATCH_QUEUE_SERIAL); }, false},
      {"main queue", [] { return dispatch_get_main_queue(); }, false},
      {"suspended", [] {
         auto q = dispatch_queue_create("t.suspended", DISPATCH_QUEUE_CONCURRENT);
         dispatch_suspend(q);
         return q;
       }, false},
      {"barrier running", [&] {
         auto q = dispatch_queue_create("t.barrier", DISPATCH_QUEUE_CONCURRENT);
         std::atomic<bool> entered{false};
         dispatch_barrier_async(q, [&, gate] {
           entered = true;
           dispatch_semaphore_wait(gate, DISPATCH_TIME_FOREVER);
         });
         while (!entered.load()) std::this_thread::yield();
         return q;
       }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto queue = c.make();
    int value = 7;
    dispatch_queue_set_specific(queue, &key, &value, nullptr);
    void* seen = nullptr;
    bool ran = zvt::runNowOnConcurrentQueue(queue, [&] { seen = dispatch_get_specific(&key); });
    EXPECT_EQ(ran, c.runs);
    EXPECT_EQ(seen, c.runs ? &value : nullptr);
  }
  dispatch_semaphore_signal(gate);

  // While such a block runs, a barrier waits for it.
  auto queue = dispatch_queue_create("t.held", DISPATCH_QUEUE_CONCURRENT);
  std::atomic<bool> barrierRan{false};
  bool barrierWaited = false;
  ASSERT_TRUE(zvt::runNowOnConcurrentQueue(queue, [&] {
    dispatch_barrier_async(queue, [&] { barrierRan = true; });
    for (int i = 0; i < 200; ++i) std::this_thread::yield();
    barrierWaited = !barrierRan.load();
  }));
  EXPECT_TRUE(barrierWaited);
  EXPECT_TRUE(waitFor(barrierRan));
}

TEST(RuntimeDispatchPool, WorkersBlockedInWaitsDoNotStarveTheBlocksTheyWaitFor) {
  // More waiting blocks than the pool has workers; the blocks that release them come last.
  const int waiters = static_cast<int>(zvt::dispatchPoolSize()) * 2;
  auto global = dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0);
  auto gate = dispatch_semaphore_create(0);
  std::atomic<int> released{0};
  for (int i = 0; i < waiters; ++i) {
    dispatch_async(global, [&] {
      dispatch_semaphore_wait(gate, DISPATCH_TIME_FOREVER);
      released++;
    });
  }
  for (int i = 0; i < waiters; ++i) dispatch_async(global, [&] { dispatch_semaphore_signal(gate); });
  EXPECT_TRUE(runMainLoopUntil([&] { return released.load() == waiters; }, 30));
}

// The same for workers waiting in a run loop (a download operation turning its thread's loop).
TEST(RuntimeDispatchPool, WorkersWaitingInARunLoopDoNotStarveTheBlocksThatWakeThem) {
  const int waiters = static_cast<int>(zvt::dispatchPoolSize()) * 2;
  auto global = dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0);
  std::mutex mutex;
  std::vector<std::shared_ptr<NSRunLoop>> waiting;
  std::atomic<int> released{0};
  for (int i = 0; i < waiters; ++i) {
    dispatch_async(global, [&] {
      auto loop = NSRunLoop::currentRunLoop();
      auto port = NSPort::port();
      loop->addPort(port, NSDefaultRunLoopMode);
      {
        std::lock_guard lock(mutex);
        waiting.push_back(loop);
      }
      loop->runMode(NSDefaultRunLoopMode, kDistantFutureTimeIntervalSince1970);  // until a perform comes
      loop->removePort(port, NSDefaultRunLoopMode);
      released++;
    });
  }
  // Each wakes one waiting loop, or comes back later when none waits yet.
  std::function<void()> wakeOne;
  wakeOne = [&] {
    std::shared_ptr<NSRunLoop> loop;
    {
      std::lock_guard lock(mutex);
      if (!waiting.empty()) {
        loop = waiting.back();
        waiting.pop_back();
      }
    }
    if (loop) {
      loop->performBlock([] {});
    } else {
      dispatch_async(global, wakeOne);
    }
  };
  for (int i = 0; i < waiters; ++i) dispatch_async(global, wakeOne);
  EXPECT_TRUE(runMainLoopUntil([&] { return released.load() == waiters; }, 30));
}

TEST(RuntimeDispatchMain, MainQueueRunsOnlyWhenTheMainRunLoopRuns) {
  std::atomic<bool> ran{false};
  std::atomic<bool> onMain{false};
  std::thread([&] {
    dispatch_async(dispatch_get_main_queue(), [&] {
      onMain = NSThread::isMainThread();
      ran = true;
    });
  }).join();
  EXPECT_FALSE(ran.load());
  EXPECT_TRUE(waitFor(ran));
  EXPECT_TRUE(onMain.load());
}

// A block queued without waking the main run loop runs with the next pass, in queue order.
TEST(RuntimeDispatchMain, BlocksQueuedWithoutWakeUpRunInOrderWithTheNextPass) {
  std::vector<int> order;  // main thread only
  std::thread([&] {
    zvt::dispatchAsyncOnMainQueueWithoutWakeUp([&] { order.push_back(1); });
    dispatch_async(dispatch_get_main_queue(), [&] { order.push_back(2); });
    zvt::dispatchAsyncOnMainQueueWithoutWakeUp([&] { order.push_back(3); });
  }).join();
  EXPECT_TRUE(order.empty());
  EXPECT_TRUE(runMainLoopUntil([&] { return order.size() == 3; }));
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

// Queued without a wake-up and nothing else on the queue: the pass that other work causes still
// finds it.
TEST(RuntimeDispatchMain, ABlockQueuedWithoutWakeUpAloneRunsWithThePassOtherWorkCauses) {
  bool ran = false;
  std::thread([&] { zvt::dispatchAsyncOnMainQueueWithoutWakeUp([&] { ran = true; }); }).join();
  EXPECT_TRUE(zvt::mainQueueHasBlocks());
  NSRunLoop::mainRunLoop()->performBlock([] {});
  NSRunLoop::mainRunLoop()->runModeWithin(NSDefaultRunLoopMode, 10);
  EXPECT_TRUE(ran);
  EXPECT_FALSE(zvt::mainQueueHasBlocks());
}

// One drain runs the blocks queued when it starts, not those they queue meanwhile, and stops
// where one of them suspends the queue.
TEST(RuntimeDispatchMain, ADrainRunsWhatWasQueuedWhenItStarted) {
  std::vector<int> order;
  const dispatch_queue_t& main = dispatch_get_main_queue();
  dispatch_async(main, [&] {
    order.push_back(1);
    dispatch_async(main, [&] { order.push_back(3); });
  });
  dispatch_async(main, [&] { order.push_back(2); });
  EXPECT_EQ(zvt::drainMainQueue(), 2u);
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  EXPECT_EQ(zvt::drainMainQueue(), 1u);

  dispatch_async(main, [&] {
    order.push_back(4);
    dispatch_suspend(main);
  });
  dispatch_async(main, [&] { order.push_back(5); });
  EXPECT_EQ(zvt::drainMainQueue(), 1u);
  EXPECT_FALSE(zvt::mainQueueHasBlocks());  // held while suspended
  dispatch_resume(main);
  EXPECT_EQ(zvt::drainMainQueue(), 1u);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST(RuntimeDispatchMain, SyncFromABackgroundThreadRunsOnTheMainThread) {
  std::atomic<bool> done{false};
  bool onMain = false;
  std::thread worker([&] {
    dispatch_sync(dispatch_get_main_queue(), [&] { onMain = NSThread::isMainThread(); });
    done = true;
  });
  EXPECT_TRUE(waitFor(done));
  worker.join();
  EXPECT_TRUE(onMain);
}

TEST(RuntimeDispatchSpecific, ValuesBelongToTheQueueRunningTheBlock) {
  static int key;
  static int destroyed;
  destroyed = 0;
  int a = 1, b = 2, c = 3;
  auto qa = dispatch_queue_create("test.specific.a", nullptr);
  auto qb = dispatch_queue_create("test.specific.b", nullptr);
  dispatch_queue_set_specific(qa, &key, &a, nullptr);
  dispatch_queue_set_specific(qb, &key, &b, [](void* p) {
    destroyed += *static_cast<int*>(p);
  });
  EXPECT_EQ(dispatch_get_specific(&key), nullptr);
  void* seenA = nullptr;
  void* seenNested = nullptr;
  void* seenAfter = nullptr;
  dispatch_sync(qa, [&] {
    seenA = dispatch_get_specific(&key);
    dispatch_sync(qb, [&] { seenNested = dispatch_get_specific(&key); });
    seenAfter = dispatch_get_specific(&key);
  });
  EXPECT_EQ(seenA, &a);
  EXPECT_EQ(seenNested, &b);
  EXPECT_EQ(seenAfter, &a);
  EXPECT_EQ(dispatch_queue_get_specific(qb, &key), &b);

  std::atomic<void*> asyncSeen{nullptr};
  std::atomic<bool> ran{false};
  dispatch_async(qa, [&] {
    asyncSeen = dispatch_get_specific(&key);
    ran = true;
  });
  ASSERT_TRUE(waitFor(ran));
  EXPECT_EQ(asyncSeen.load(), &a);

  dispatch_queue_set_specific(qb, &key, &c, nullptr);  // replacing runs the old destructor
  EXPECT_EQ(destroyed, 2);
  dispatch_queue_set_specific(qb, &key, &b, [](void* p) { destroyed += *static_cast<int*>(p); });
  qb.reset();  // the queue going away runs the destructor of what it holds
  EXPECT_EQ(destroyed, 4);
}

TEST(RuntimeDispatchGroup, NotifyRunsOnceAfterEveryMemberLeft) {
  auto group = dispatch_group_create();
  auto queue = dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0);
  std::atomic<int> done{0};
  std::atomic<int> notified{0};
  std::atomic<int> doneAtNotify{-1};
  for (int i = 0; i < 50; ++i) dispatch_group_async(group, queue, [&] { done++; });
  dispatch_group_enter(group);
  dispatch_group_notify(group, dispatch_get_main_queue(), [&] {
    doneAtNotify = done.load();
    notified++;
  });
  zvt::test::drainMainLoop();
  EXPECT_EQ(notified.load(), 0);  // the manual enter still holds it
  dispatch_group_leave(group);
  EXPECT_TRUE(runMainLoopUntil([&] { return notified.load() == 1; }));
  EXPECT_EQ(doneAtNotify.load(), 50);
  // An empty group notifies at once.
  dispatch_group_notify(group, dispatch_get_main_queue(), [&] { notified++; });
  EXPECT_TRUE(runMainLoopUntil([&] { return notified.load() == 2; }));
  EXPECT_EQ(dispatch_group_wait(group, DISPATCH_TIME_NOW), 0);
}

// A block sent with dispatch_group_async is one of its group's members until it has run: from
// inside, the group is not empty yet, and a notify registered then runs after it.
TEST(RuntimeDispatchGroup, ABlockLeavesItsGroupOnlyOnceItHasRun) {
  const struct {
    const char* what;
    dispatch_queue_t queue;
  } cases[] = {
      {"a serial queue", dispatch_queue_create("test.group.serial", DISPATCH_QUEUE_SERIAL)},
      {"a concurrent queue", dispatch_queue_create("test.group.concurrent", DISPATCH_QUEUE_CONCURRENT)},
      {"a global queue", dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0)},
      {"the main queue", dispatch_get_main_queue()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto group = dispatch_group_create();
    std::atomic<bool> ran{false}, inGroup{false}, notified{false}, notifiedAfter{false};
    dispatch_group_async(group, c.queue, [&] {
      inGroup = dispatch_group_wait(group, DISPATCH_TIME_NOW) != 0;
      dispatch_group_notify(group, dispatch_get_main_queue(), [&] {
        notifiedAfter = ran.load();
        notified = true;
      });
      ran = true;
    });
    ASSERT_TRUE(waitFor(notified));
    EXPECT_TRUE(inGroup.load());
    EXPECT_TRUE(notifiedAfter.load());
    EXPECT_EQ(dispatch_group_wait(group, DISPATCH_TIME_NOW), 0);
  }
}

TEST(RuntimeDispatchGroup, ThreadsWaitingForeverAreWokenWhenTheGroupEmpties) {
  // The last leave comes once the waiters are about to block; over the rounds it finds them
  // blocked many times (a waiter nobody wakes hangs the test). A waiter that first timed out
  // waits again like any other.
  struct Case {
    int waiters;
    bool timedOutFirst;
  };
  for (const auto& [waiters, timedOutFirst] : {Case{1, false}, Case{3, false}, Case{2, true}}) {
    for (int round = 0; round < 30; ++round) {
      auto group = dispatch_group_create();
      dispatch_group_enter(group);
      std::atomic<int> waiting{0};
      std::atomic<int> woken{0};
      std::vector<std::thread> threads;
      for (int i = 0; i < waiters; ++i) {
        threads.emplace_back([&] {
          if (timedOutFirst) {
            EXPECT_NE(dispatch_group_wait(group, DISPATCH_TIME_NOW), 0);
          }
          waiting++;
          if (dispatch_group_wait(group, DISPATCH_TIME_FOREVER) == 0) woken++;
        });
      }
      while (waiting.load() < waiters) std::this_thread::yield();
      for (int i = 0; i < 1000; ++i) std::this_thread::yield();
      dispatch_group_leave(group);
      for (auto& t : threads) t.join();
      EXPECT_EQ(woken.load(), waiters);
    }
  }
}

TEST(RuntimeDispatchGroup, WaitTimesOutOnTheVirtualClock) {
  VirtualClockScope clock;
  auto group = dispatch_group_create();
  dispatch_group_enter(group);
  EXPECT_NE(dispatch_group_wait(group, DISPATCH_TIME_NOW), 0);
  dispatch_time_t deadline = dispatch_time(DISPATCH_TIME_NOW, 2 * NSEC_PER_SEC);
  std::thread advancer([&] { clock.advanceBy(3); });
  EXPECT_NE(dispatch_group_wait(group, deadline), 0);
  advancer.join();
  dispatch_group_leave(group);
  EXPECT_EQ(dispatch_group_wait(group, dispatch_time(DISPATCH_TIME_NOW, NSEC_PER_SEC)), 0);
}

TEST(RuntimeDispatchSemaphore, CountsSignalsAndTimesOut) {
  VirtualClockScope clock;
  auto s = dispatch_semaphore_create(2);
  EXPECT_EQ(dispatch_semaphore_wait(s, DISPATCH_TIME_NOW), 0);
  EXPECT_EQ(dispatch_semaphore_wait(s, DISPATCH_TIME_NOW), 0);
  EXPECT_NE(dispatch_semaphore_wait(s, DISPATCH_TIME_NOW), 0);
  EXPECT_EQ(dispatch_semaphore_signal(s), 0);  // nobody waiting
  EXPECT_EQ(dispatch_semaphore_wait(s, DISPATCH_TIME_NOW), 0);

  dispatch_time_t deadline = dispatch_time(DISPATCH_TIME_NOW, NSEC_PER_SEC);
  std::thread advancer([&] { clock.advanceBy(1); });
  EXPECT_NE(dispatch_semaphore_wait(s, deadline), 0);
  advancer.join();
  EXPECT_EQ(dispatch_semaphore_create(-1), nullptr);
}

TEST(RuntimeDispatchOnce, RunsExactlyOnceAcrossThreads) {
  dispatch_once_t once;
  std::atomic<int> runs{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i)
    threads.emplace_back([&] { dispatch_once(&once, [&] { runs++; }); });
  for (auto& t : threads) t.join();
  EXPECT_EQ(runs.load(), 1);
}

TEST(RuntimeDispatchAfter, FiresInDeadlineOrderOnTheVirtualClock) {
  VirtualClockScope clock;
  std::vector<int> mainOrder;
  std::vector<double> mainTimes;
  auto record = [&](int n) {
    return [&, n] {
      mainOrder.push_back(n);
      mainTimes.push_back(Clock::now() - VirtualClock::kDefaultWallStart);
    };
  };
  auto main = dispatch_get_main_queue();
  dispatch_after(dispatch_time(DISPATCH_TIME_NOW, 3 * NSEC_PER_SEC), main, record(3));
  dispatch_after(dispatch_time(DISPATCH_TIME_NOW, 1 * NSEC_PER_SEC), main, record(1));
  dispatch_after(dispatch_time(DISPATCH_TIME_NOW, 2 * NSEC_PER_SEC), main, record(2));
  dispatch_after(dispatch_time(DISPATCH_TIME_NOW, 2 * NSEC_PER_SEC), main, record(22));  // same time: FIFO
  dispatch_after(DISPATCH_TIME_FOREVER, main, record(99));

  zvt::test::drainMainLoop();
  EXPECT_TRUE(mainOrder.empty());
  clock.advanceBy(2.5);  // on the main thread: the main queue's due blocks run here
  EXPECT_EQ(mainOrder, (std::vector<int>{1, 2, 22}));
  EXPECT_EQ(mainTimes, (std::vector<double>{1, 2, 2}));  // each saw the time it was due at
  clock.advanceBy(100);
  EXPECT_EQ(mainOrder, (std::vector<int>{1, 2, 22, 3}));

  // On a serial queue the blocks arrive in deadline order as well.
  auto serial = dispatch_queue_create("test.after", nullptr);
  std::vector<int> serialOrder;
  for (int n : {5, 1, 4, 2, 3})
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, static_cast<int64_t>(n) * 100 * NSEC_PER_MSEC), serial,
                   [&serialOrder, n] { serialOrder.push_back(n); });
  clock.advanceBy(1);
  dispatch_sync(serial, [] {});
  EXPECT_EQ(serialOrder, (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST(RuntimeDispatchAfter, FiresOnTheRealClock) {
  std::atomic<bool> ran{false};
  dispatch_after(dispatch_time(DISPATCH_TIME_NOW, NSEC_PER_MSEC),
                 dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0), [&] { ran = true; });
  EXPECT_TRUE(waitFor(ran));
}

TEST(RuntimeDispatchTimer, FiresOncePerIntervalAndStopsWhenCancelled) {
  VirtualClockScope clock;
  auto queue = dispatch_queue_create("test.timer", nullptr);
  auto source = dispatch_source_create(DISPATCH_SOURCE_TYPE_TIMER, 0, 0, queue);
  std::atomic<int> fires{0};
  std::atomic<int> cancels{0};
  std::atomic<int> concurrent{0};
  std::atomic<int> overlaps{0};
  dispatch_source_set_timer(source, dispatch_time(DISPATCH_TIME_NOW, NSEC_PER_SEC), NSEC_PER_SEC, 0);
  dispatch_source_set_event_handler(source, [&] {
    if (concurrent.fetch_add(1) != 0) overlaps++;
    fires++;
    concurrent--;
  });
  dispatch_source_set_cancel_handler(source, [&] { cancels++; });
  clock.advanceBy(5);
  dispatch_sync(queue, [] {});
  EXPECT_EQ(fires.load(), 0);  // created suspended
  dispatch_resume(source);     // the expiries missed meanwhile come as one, at once
  dispatch_sync(queue, [] {});
  EXPECT_EQ(fires.load(), 1);
  clock.advanceBy(5.5);  // the SMS count-down's road: one handler call per second
  dispatch_sync(queue, [] {});
  EXPECT_EQ(fires.load(), 6);
  dispatch_suspend(source);
  clock.advanceBy(3);
  dispatch_sync(queue, [] {});
  EXPECT_EQ(fires.load(), 6);
  dispatch_resume(source);
  clock.advanceBy(1);
  dispatch_sync(queue, [] {});
  EXPECT_EQ(fires.load(), 8);
  int before = fires.load();
  dispatch_source_cancel(source);
  dispatch_source_cancel(source);
  EXPECT_NE(dispatch_source_testcancel(source), 0);
  clock.advanceBy(10);
  dispatch_sync(queue, [] {});
  EXPECT_EQ(fires.load(), before);
  EXPECT_EQ(cancels.load(), 1);
  EXPECT_EQ(overlaps.load(), 0);
}

TEST(RuntimeDispatchTimer, OneShotOnTheMainQueueFiresWhileAdvancing) {
  VirtualClockScope clock;
  auto source = dispatch_source_create(DISPATCH_SOURCE_TYPE_TIMER, 0, 0, dispatch_get_main_queue());
  int fires = 0;
  dispatch_source_set_timer(source, dispatch_time(DISPATCH_TIME_NOW, 2 * NSEC_PER_SEC), DISPATCH_TIME_FOREVER, 0);
  dispatch_source_set_event_handler(source, [&] { fires++; });
  dispatch_resume(source);
  clock.advanceBy(1.9);
  EXPECT_EQ(fires, 0);
  clock.advanceBy(0.1);
  EXPECT_EQ(fires, 1);
  clock.advanceBy(10);
  EXPECT_EQ(fires, 1);
  dispatch_source_cancel(source);
  zvt::test::drainMainLoop();
}

TEST(RuntimeDispatchTimer, CancelledSourceLetsGoOfItsBlocks) {
  VirtualClockScope clock;
  auto token = std::make_shared<int>(7);
  std::weak_ptr<int> weak = token;
  std::atomic<bool> cancelled{false};
  {
    auto source = dispatch_source_create(DISPATCH_SOURCE_TYPE_TIMER, 0, 0,
                                         dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0));
    dispatch_source_set_timer(source, DISPATCH_TIME_NOW, NSEC_PER_SEC, 0);
    dispatch_source_set_event_handler(source, [token] { (void)*token; });
    dispatch_source_set_cancel_handler(source, [&] { cancelled = true; });
    dispatch_resume(source);
    token.reset();
    dispatch_source_cancel(source);
  }
  EXPECT_TRUE(waitFor(cancelled));
  EXPECT_TRUE(runMainLoopUntil([&] { return weak.expired(); }));
}

TEST(RuntimeDispatchTime, NowForeverAndDeltas) {
  VirtualClockScope clock;
  EXPECT_EQ(dispatch_time(DISPATCH_TIME_FOREVER, 5), DISPATCH_TIME_FOREVER);
  dispatch_time_t t = dispatch_time(DISPATCH_TIME_NOW, 0);
  EXPECT_EQ(dispatch_time(t, 500), t + 500);
  clock.advanceBy(1);
  EXPECT_EQ(dispatch_time(DISPATCH_TIME_NOW, 0), t + NSEC_PER_SEC);
  EXPECT_EQ(dispatch_time(DISPATCH_TIME_NOW, INT64_MAX), DISPATCH_TIME_FOREVER);
  EXPECT_STREQ(dispatch_queue_get_label(dispatch_queue_create("a.label", nullptr)), "a.label");
  EXPECT_STREQ(dispatch_queue_get_label(nullptr), "com.apple.main-thread");
}

}  // namespace
