#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSOperation.h"
#include "platform/foundation/NSThread.h"
#include "tests/support/MainLoop.h"
#include "tests/support/PausePoint.h"

using zvt::test::runMainLoopUntil;

namespace {

// An asynchronous operation with its own state machine, shaped like the HTTP layer's: start
// returns at once and hands the work to another thread; the state changes are announced through
// the did-change hook under the operation's own lock.
class AsyncOperation : public NSOperation {
 public:
  enum State { kReady = 1, kExecuting = 2, kFinished = 3 };

  bool isReady() const override { return state_ == kReady && NSOperation::isReady(); }
  bool isExecuting() const override { return state_ == kExecuting; }
  bool isFinished() const override { return state_ == kFinished; }
  bool isConcurrent() const override { return true; }

  void start() override {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (isCancelled()) {
      // Finish at once without doing the work.
      dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0), [self = me()] { self->finish(); });
      return;
    }
    if (!isReady()) return;
    setState(kExecuting);
    starts++;
    // The work runs elsewhere and finishes later, when the test releases it.
    dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0), [self = me()] {
      dispatch_semaphore_wait(self->release_, DISPATCH_TIME_FOREVER);
      self->finish();
    });
  }

  void cancel() override {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (isFinished() || isCancelled()) return;
    NSOperation::cancel();
  }

  void finish() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    setState(kFinished);
  }
  void release() { dispatch_semaphore_signal(release_); }

  std::atomic<int> starts{0};

 private:
  std::shared_ptr<AsyncOperation> me() { return std::static_pointer_cast<AsyncOperation>(shared_from_this()); }
  static const char* key(int s) { return s == kReady ? "isReady" : s == kExecuting ? "isExecuting" : "isFinished"; }
  void setState(State s) {
    if (state_ == kFinished) return;
    State old = state_;
    willChangeValueForKey(key(s));
    willChangeValueForKey(key(old));
    state_ = s;
    didChangeValueForKey(key(old));
    didChangeValueForKey(key(s));
  }

  std::recursive_mutex lock_;
  std::atomic<State> state_{kReady};
  dispatch_semaphore_t release_ = dispatch_semaphore_create(0);
};

TEST(RuntimeOperation, DependenciesAreRespectedAcrossQueues) {
  auto q1 = NSOperationQueue::make();
  auto q2 = NSOperationQueue::make();
  std::mutex m;
  std::vector<std::string> order;
  auto log = [&](const char* s) {
    std::lock_guard<std::mutex> lock(m);
    order.push_back(s);
  };
  auto a = NSBlockOperation::blockOperationWithBlock([&] { log("a"); });
  auto b = NSBlockOperation::blockOperationWithBlock([&] { log("b"); });
  auto c = NSBlockOperation::blockOperationWithBlock([&] { log("c"); });
  c->addDependency(b);
  b->addDependency(a);
  EXPECT_FALSE(c->isReady());
  q2->setSuspended(true);
  q2->addOperation(a);
  q2->addOperation(c);
  q1->addOperation(b);  // its dependency sits in a suspended queue
  EXPECT_FALSE(b->isReady());
  EXPECT_TRUE(order.empty());
  q2->setSuspended(false);
  c->waitUntilFinished();
  EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_TRUE(a->isFinished() && b->isFinished());
}

TEST(RuntimeOperation, RemovingTheLastUnfinishedDependencyLetsAQueuedOperationRun) {
  auto queue = NSOperationQueue::make();
  auto held = NSOperationQueue::make();
  held->setSuspended(true);  // the dependency never runs
  auto dependency = NSBlockOperation::blockOperationWithBlock([] {});
  std::atomic<bool> ran{false};
  auto op = NSBlockOperation::blockOperationWithBlock([&] { ran = true; });
  op->addDependency(dependency);
  held->addOperation(dependency);
  queue->addOperation(op);
  EXPECT_FALSE(op->isReady());
  op->removeDependency(dependency);
  op->waitUntilFinished();
  EXPECT_TRUE(ran);
  EXPECT_TRUE(op->dependencies().empty());
  held->setSuspended(false);
}

TEST(RuntimeOperation, DependencyChainRunsInOrder) {
  auto queue = NSOperationQueue::make();
  std::mutex m;
  std::vector<int> order;
  std::vector<std::shared_ptr<NSOperation>> ops;
  for (int i = 0; i < 20; ++i) {
    ops.push_back(NSBlockOperation::blockOperationWithBlock([&, i] {
      std::lock_guard<std::mutex> lock(m);
      order.push_back(i);
    }));
    if (i > 0) ops[i]->addDependency(ops[i - 1]);
  }
  // Added last-first, so that only the dependencies can put them in order.
  for (int i = 19; i >= 0; --i) queue->addOperation(ops[i]);
  queue->waitUntilAllOperationsAreFinished();
  ASSERT_EQ(order.size(), 20u);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(order[i], i);
  EXPECT_EQ(queue->operationCount(), 0u);
}

TEST(RuntimeOperation, WidthOneNeverOverlaps) {
  auto queue = NSOperationQueue::make();
  queue->setMaxConcurrentOperationCount(1);
  std::atomic<int> active{0}, overlaps{0}, ran{0};
  std::vector<int> order;  // only touched by one operation at a time
  for (int i = 0; i < 200; ++i) {
    queue->addOperationWithBlock([&, i] {
      if (active.fetch_add(1) != 0) overlaps++;
      order.push_back(i);
      if (i % 16 == 0) std::this_thread::yield();
      active--;
      ran++;
    });
  }
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(ran.load(), 200);
  EXPECT_EQ(overlaps.load(), 0);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(order[i], i);
}

TEST(RuntimeOperation, WidthBoundsAsynchronousOperationsUntilTheyFinish) {
  auto queue = NSOperationQueue::make();
  queue->setMaxConcurrentOperationCount(2);
  std::vector<std::shared_ptr<AsyncOperation>> ops;
  for (int i = 0; i < 5; ++i) {
    ops.push_back(std::make_shared<AsyncOperation>());
    queue->addOperation(ops.back());
  }
  auto started = [&] {
    int n = 0;
    for (auto& op : ops) n += op->starts.load();
    return n;
  };
  ASSERT_TRUE(runMainLoopUntil([&] { return started() == 2; }));
  EXPECT_EQ(queue->operationCount(), 5u);
  // Start returned long ago; the slots stay taken until the operations finish.
  EXPECT_EQ(started(), 2);
  std::vector<std::shared_ptr<AsyncOperation>> first;
  for (auto& op : ops)
    if (op->starts.load()) first.push_back(op);
  for (auto& op : first) op->release();
  ASSERT_TRUE(runMainLoopUntil([&] { return started() == 4; }));
  EXPECT_EQ(queue->operationCount(), 3u);
  for (auto& op : ops) op->release();
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(started(), 5);
  for (auto& op : ops) EXPECT_TRUE(op->isFinished());
}

TEST(RuntimeOperation, CancelledBeforeStartNeverRunsButFinishes) {
  auto queue = NSOperationQueue::make();
  queue->setSuspended(true);
  std::atomic<int> bodies{0}, completions{0};
  auto blocker = NSBlockOperation::blockOperationWithBlock([&] { bodies++; });
  auto op = NSBlockOperation::blockOperationWithBlock([&] { bodies++; });
  op->addDependency(blocker);  // never finishes while the queue is suspended...
  op->setCompletionBlock([&] { completions++; });
  queue->addOperation(op);
  op->cancel();
  EXPECT_TRUE(op->isCancelled());
  EXPECT_TRUE(op->isReady());  // ...but a cancelled operation no longer waits for it
  queue->setSuspended(false);
  op->waitUntilFinished();
  EXPECT_TRUE(op->isFinished());
  EXPECT_FALSE(op->isExecuting());
  EXPECT_EQ(bodies.load(), 0);
  EXPECT_TRUE(runMainLoopUntil([&] { return completions.load() == 1; }));

  // An asynchronous one finishes through its own path and is still counted out of the queue.
  auto async = std::make_shared<AsyncOperation>();
  async->cancel();
  queue->addOperation(async);
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_TRUE(async->isFinished());
  EXPECT_EQ(async->starts.load(), 0);

  // cancelAllOperations reaches those still waiting.
  queue->setSuspended(true);
  std::vector<std::shared_ptr<NSOperation>> waiting;
  for (int i = 0; i < 10; ++i) waiting.push_back(NSBlockOperation::blockOperationWithBlock([&] { bodies++; }));
  queue->addOperations(waiting, false);
  EXPECT_EQ(queue->operationCount(), 10u);
  queue->cancelAllOperations();
  queue->setSuspended(false);
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(bodies.load(), 0);
}

TEST(RuntimeOperation, CompletionBlockRunsOnceAfterFinish) {
  auto queue = NSOperationQueue::make();
  std::atomic<int> completions{0};
  std::atomic<bool> finishedAtCompletion{false};
  auto op = std::make_shared<AsyncOperation>();
  std::weak_ptr<NSOperation> weak = op;
  op->setCompletionBlock([&, weak] {
    auto strong = weak.lock();
    finishedAtCompletion = strong && strong->isFinished();
    completions++;
  });
  queue->addOperation(op);
  ASSERT_TRUE(runMainLoopUntil([&] { return op->starts.load() == 1; }));
  op->release();
  op->waitUntilFinished();
  // A second announcement of the same finish must not run the block again.
  op->didChangeValueForKey("isFinished");
  op->finish();
  EXPECT_TRUE(runMainLoopUntil([&] { return completions.load() >= 1; }));
  EXPECT_EQ(completions.load(), 1);
  EXPECT_TRUE(finishedAtCompletion.load());
}

TEST(RuntimeOperation, WaitersAreWokenByTheFinish) {
  // The work ends only after both threads are about to block; over the rounds the finish finds
  // them waiting many times (a waiter nobody wakes hangs the test).
  for (int round = 0; round < 50; ++round) {
    auto queue = NSOperationQueue::make();
    auto op = std::make_shared<AsyncOperation>();
    queue->addOperation(op);
    ASSERT_TRUE(runMainLoopUntil([&] { return op->starts.load() == 1; }));
    std::atomic<int> waiting{0};
    std::thread forOperation([&] {
      waiting++;
      op->waitUntilFinished();
    });
    std::thread forQueue([&] {
      waiting++;
      queue->waitUntilAllOperationsAreFinished();
    });
    while (waiting.load() < 2) std::this_thread::yield();
    for (int i = 0; i < 1000; ++i) std::this_thread::yield();
    op->release();
    forOperation.join();
    forQueue.join();
    EXPECT_TRUE(op->isFinished());
    EXPECT_EQ(queue->operationCount(), 0u);
  }
}

TEST(RuntimeOperation, ProgrammingErrorsRaise) {
  auto queue = NSOperationQueue::make();
  auto op = NSBlockOperation::blockOperationWithBlock([] {});
  queue->setSuspended(true);
  queue->addOperation(op);
  EXPECT_THROW(queue->addOperation(op), NSException);
  EXPECT_THROW(NSOperationQueue::make()->addOperation(op), NSException);
  EXPECT_THROW(queue->addOperation(nullptr), NSException);
  queue->setSuspended(false);
  op->waitUntilFinished();
  EXPECT_THROW(NSOperationQueue::make()->addOperation(op), NSException);

  auto waiting = NSBlockOperation::blockOperationWithBlock([] {});
  auto dependency = NSOperation::make();
  waiting->addDependency(dependency);
  EXPECT_THROW(waiting->start(), NSException);  // not ready
  dependency->start();
  EXPECT_TRUE(dependency->isFinished());
  waiting->start();  // now ready: runs on the caller
  EXPECT_TRUE(waiting->isFinished());
  waiting->start();  // finished: nothing
}

TEST(RuntimeOperation, MainQueueRunsOnTheMainThreadAndCurrentQueueIsKnown) {
  EXPECT_EQ(NSOperationQueue::currentQueue(), NSOperationQueue::mainQueue());
  std::atomic<bool> onMain{false};
  std::shared_ptr<NSOperationQueue> seenMain;
  bool done = false;
  NSOperationQueue::mainQueue()->addOperationWithBlock([&] {
    onMain = NSThread::isMainThread();
    seenMain = NSOperationQueue::currentQueue();
    done = true;
  });
  EXPECT_TRUE(runMainLoopUntil([&] { return done; }));
  EXPECT_TRUE(onMain.load());
  EXPECT_EQ(seenMain, NSOperationQueue::mainQueue());

  auto queue = NSOperationQueue::make();
  queue->setName(NSString::stringWithUTF8String("test.queue"));
  std::shared_ptr<NSOperationQueue> seen;
  queue->addOperations({NSBlockOperation::blockOperationWithBlock([&] { seen = NSOperationQueue::currentQueue(); })},
                       true);
  EXPECT_EQ(seen, queue);
  EXPECT_TRUE(queue->name()->isEqualToString("test.queue"));
  auto named = NSBlockOperation::make();
  EXPECT_FALSE(named->name());
  named->setName(NSString::stringWithUTF8String("test.operation"));
  EXPECT_TRUE(named->name()->isEqualToString("test.operation"));
  EXPECT_TRUE(named->dependencies().empty());
  std::shared_ptr<NSOperationQueue> elsewhere = queue;
  std::thread([&] { elsewhere = NSOperationQueue::currentQueue(); }).join();
  EXPECT_EQ(elsewhere, nullptr);
}

TEST(RuntimeOperation, BlockOperationRunsEveryBlockAndReleasesThem) {
  auto token = std::make_shared<int>(0);
  std::weak_ptr<int> weak = token;
  auto op = NSBlockOperation::blockOperationWithBlock([token] { ++*token; });
  op->addExecutionBlock([token] { ++*token; });
  int* value = token.get();
  token.reset();
  EXPECT_EQ(op->executionBlocks().size(), 2u);
  op->start();
  EXPECT_TRUE(weak.expired());
  (void)value;
  EXPECT_THROW(op->addExecutionBlock([] {}), NSException);
}

TEST(RuntimeOperation, HigherPriorityStartsFirst) {
  auto queue = NSOperationQueue::make();
  queue->setMaxConcurrentOperationCount(1);
  queue->setSuspended(true);
  std::vector<int> order;
  auto low = NSBlockOperation::blockOperationWithBlock([&] { order.push_back(1); });
  auto high = NSBlockOperation::blockOperationWithBlock([&] { order.push_back(2); });
  low->setQueuePriority(NSOperationQueuePriorityLow);
  high->setQueuePriority(NSOperationQueuePriorityVeryHigh);
  queue->addOperation(low);
  queue->addOperation(high);
  queue->setSuspended(false);
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(order, (std::vector<int>{2, 1}));
}

// Shaped like the HTTP layer's operation: start only hands the work to another thread, and the
// completion block only hands it on to a queue.
class HandOffOperation : public AsyncOperation {
 public:
  bool startOnlyHandsOff() const override { return true; }
  void start() override {
    startThread = std::this_thread::get_id();
    AsyncOperation::start();
  }
  using NSOperation::setHandOffCompletionBlock;
  // Finishes on the calling thread, then lets the parked work end (it finds the operation
  // finished).
  void finishHere() {
    finish();
    release();
  }
  std::atomic<std::thread::id> startThread{};
};

TEST(RuntimeOperation, HandOffOperationsStartWhereAddedAndCompleteWhereTheyFinish) {
  auto queue = NSOperationQueue::make();
  auto op = std::make_shared<HandOffOperation>();
  std::atomic<std::thread::id> completedOn{};
  std::atomic<bool> finishedAtCompletion{false};
  std::weak_ptr<NSOperation> weak = op;
  op->setHandOffCompletionBlock([&, weak] {
    auto strong = weak.lock();
    finishedAtCompletion = strong && strong->isFinished();
    completedOn = std::this_thread::get_id();
  });
  queue->addOperation(op);
  EXPECT_EQ(op->startThread.load(), std::this_thread::get_id());
  EXPECT_EQ(op->starts.load(), 1);
  // Finishing on this thread runs the block here, before finish returns.
  op->finishHere();
  EXPECT_EQ(completedOn.load(), std::this_thread::get_id());
  EXPECT_TRUE(finishedAtCompletion.load());
  queue->waitUntilAllOperationsAreFinished();

  // A block stored the ordinary way afterwards runs on a global queue again.
  auto again = std::make_shared<HandOffOperation>();
  again->setHandOffCompletionBlock([] {});
  std::atomic<bool> offThread{false};
  std::atomic<bool> ran{false};
  again->setCompletionBlock([&] {
    offThread = !NSThread::isMainThread();
    ran = true;
  });
  queue->addOperation(again);
  again->finishHere();
  ASSERT_TRUE(runMainLoopUntil([&] { return ran.load(); }));
  EXPECT_TRUE(offThread.load());

  // One that becomes ready only when its dependency finishes starts on the worker pool, not
  // on the thread that finished the dependency (which may hold locks of its own).
  auto first = std::make_shared<HandOffOperation>();
  auto second = std::make_shared<HandOffOperation>();
  second->addDependency(first);
  queue->addOperation(second);
  queue->addOperation(first);
  EXPECT_EQ(second->starts.load(), 0);
  first->finishHere();
  ASSERT_TRUE(runMainLoopUntil([&] { return second->starts.load() == 1; }));
  EXPECT_NE(second->startThread.load(), std::this_thread::get_id());
  second->finishHere();
  queue->waitUntilAllOperationsAreFinished();
}

// A hand-off completion runs once: it is let go of then, with what it holds, whereas an
// ordinary completion block stays readable.
TEST(RuntimeOperation, AHandOffCompletionIsLetGoOfOnceItHasRun) {
  auto queue = NSOperationQueue::make();
  auto held = std::make_shared<int>(0);
  std::weak_ptr<int> weakHeld = held;
  auto op = std::make_shared<HandOffOperation>();
  op->setHandOffCompletionBlock([held] { ++*held; });
  held.reset();
  EXPECT_TRUE(op->completionBlock());
  queue->addOperation(op);
  op->finishHere();
  EXPECT_FALSE(op->completionBlock());
  EXPECT_TRUE(weakHeld.expired());

  std::atomic<bool> ran{false};
  auto plain = std::make_shared<HandOffOperation>();
  plain->setCompletionBlock([&] { ran = true; });
  queue->addOperation(plain);
  plain->finishHere();
  ASSERT_TRUE(runMainLoopUntil([&] { return ran.load(); }));
  EXPECT_TRUE(plain->completionBlock());
  queue->waitUntilAllOperationsAreFinished();
}

// A dependency that finishes while addDependency runs, once it is listed but before the
// operation is among its dependents, tells nobody: the operation looks again when it has
// registered, and starts. It waits in its queue for another dependency, which finishes first
// (the queue looks then, and sees the new one unfinished).
TEST(RuntimeOperation, ADependencyFinishingWhileItIsAddedIsStillSeen) {
  auto queue = NSOperationQueue::make();
  auto waitedFor = NSBlockOperation::blockOperationWithBlock([] {});
  auto added = NSBlockOperation::blockOperationWithBlock([] {});
  std::atomic<bool> ran{false};
  auto op = NSBlockOperation::blockOperationWithBlock([&] { ran = true; });
  op->addDependency(waitedFor);
  queue->addOperation(op);
  {
    zvt::test::HoldAt hold(zvt::pause::Point::kDependencyListed, op.get());
    std::thread adding([&] { op->addDependency(added); });
    const bool held = hold.waitUntilHeld();
    EXPECT_TRUE(held);
    if (held) {
      waitedFor->start();
      EXPECT_FALSE(op->isReady()) << "the new dependency is listed and not finished";
      added->start();
      EXPECT_TRUE(op->isReady());
      EXPECT_FALSE(ran.load());
    }
    hold.letGo();
    adding.join();
  }
  EXPECT_TRUE(runMainLoopUntil([&] { return ran.load(); }, 5));
  op->cancel();  // a lost wake-up would leave it waiting for good
  queue->waitUntilAllOperationsAreFinished();
}

}  // namespace
