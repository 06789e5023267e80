#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSThread.h"
#include "platform/foundation/NSTimer.h"
#include "tests/support/MainLoop.h"

using zvt::test::runMainLoopUntil;
using zvt::test::VirtualClockScope;

namespace {

// A thread whose run loop keeps a port and waits without a time limit until it is stopped.
class WaitingLoopThread {
 public:
  explicit WaitingLoopThread(std::string name = "") {
    thread_ = NSThread::initWithBlock([this, name] {
      if (!name.empty()) NSThread::currentThread()->setName(name);
      auto loop = NSRunLoop::currentRunLoop();
      loop->addPort(NSMachPort::port(), NSDefaultRunLoopMode);
      running_ = true;
      while (!stop_) loop->runMode(NSDefaultRunLoopMode, kDistantFutureTimeIntervalSince1970);
    });
    thread_->start();
  }
  ~WaitingLoopThread() { stop(); }

  bool started() { return runMainLoopUntil([&] { return running_.load(); }); }
  const std::shared_ptr<NSThread>& thread() const { return thread_; }

  // Ends the thread's loop and waits until the thread has finished.
  bool stop() {
    if (stop_.exchange(true)) return thread_->isFinished();
    performOnThread(thread_, [] {}, false);
    return runMainLoopUntil([&] { return thread_->isFinished(); });
  }

 private:
  std::shared_ptr<NSThread> thread_;
  std::atomic<bool> running_{false};
  std::atomic<bool> stop_{false};
};


TEST(RuntimeThread, MainAndCurrentThreads) {
  EXPECT_TRUE(NSThread::isMainThread());
  EXPECT_EQ(NSThread::currentThread(), NSThread::mainThread());
  EXPECT_TRUE(NSThread::mainThread()->isMain());
  std::shared_ptr<NSThread> seen;
  bool seenIsMain = true;
  std::thread([&] {
    seen = NSThread::currentThread();
    seenIsMain = NSThread::isMainThread();
    EXPECT_EQ(seen, NSThread::currentThread());  // the same object on each call
  }).join();
  ASSERT_TRUE(seen);
  EXPECT_NE(seen, NSThread::mainThread());
  EXPECT_FALSE(seenIsMain);
  EXPECT_FALSE(seen->isMain());
  EXPECT_TRUE(seen->isFinished());
}

TEST(RuntimeThread, BlockThreadRunsWithItsNameAndFinishes) {
  std::atomic<bool> ran{false};
  std::string name;
  auto thread = NSThread::initWithBlock([&] {
    name = NSThread::currentThread()->name();
    ran = true;
  });
  thread->setName("worker");
  EXPECT_FALSE(thread->isExecuting());
  thread->start();
  thread->start();  // a second start does nothing
  EXPECT_TRUE(runMainLoopUntil([&] { return thread->isFinished(); }));
  EXPECT_TRUE(ran.load());
  EXPECT_EQ(name, "worker");
  EXPECT_EQ(thread->runLoop(), nullptr);  // the run loop went with the thread

  std::atomic<bool> detached{false};
  NSThread::detachNewThreadWithBlock([&] { detached = !NSThread::isMainThread(); });
  EXPECT_TRUE(runMainLoopUntil([&] { return detached.load(); }));
}

TEST(RuntimeRunLoop, PerformOnThreadRunsOnThatThreadInOrder) {
  WaitingLoopThread loopThread("NWNetworking");
  ASSERT_TRUE(loopThread.started());
  const auto& thread = loopThread.thread();

  std::vector<int> order;  // written on the network thread only
  for (int i = 0; i < 100; ++i) performOnThread(thread, [&order, i] { order.push_back(i); }, false);
  std::string ranOn;
  performOnThread(thread, [&] { ranOn = NSThread::currentThread()->name(); }, true);
  EXPECT_EQ(ranOn, "NWNetworking");
  ASSERT_EQ(order.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);

  // Waiting for a perform from the target thread itself runs it at once instead of waiting.
  bool inline_ = false;
  performOnThread(thread, [&] {
    bool inner = false;
    performOnThread(NSThread::currentThread(), [&] { inner = true; }, true);
    inline_ = inner;
  }, true);
  EXPECT_TRUE(inline_);

  // A perform restricted to a mode the thread does not run in waits for that mode.
  std::atomic<bool> custom{false};
  performOnThread(thread, [&] { custom = true; }, false, {"custom"});
  performOnThread(thread, [] {}, true);
  EXPECT_FALSE(custom.load());
  performOnThread(thread, [&] { NSRunLoop::currentRunLoop()->runMode("custom", 0); }, true);
  EXPECT_TRUE(custom.load());

  EXPECT_TRUE(loopThread.stop());
  // A finished thread runs nothing and makes nobody wait.
  bool ran = false;
  performOnThread(thread, [&] { ran = true; }, true);
  EXPECT_FALSE(ran);
}

// A perform that throws ends the run with its exception; the performs queued after it are
// not lost but run with the next pass, in their order.
TEST(RuntimeRunLoop, PerformsAfterOneThatThrowsRunWithTheNextPass) {
  auto loop = NSRunLoop::mainRunLoop();
  std::vector<int> order;
  loop->performBlock([&] { order.push_back(1); });
  loop->performBlock([] { throw std::runtime_error("perform failed"); });
  loop->performBlock([&] { order.push_back(3); });
  loop->performInModes({NSDefaultRunLoopMode}, [&] { order.push_back(4); });
  EXPECT_THROW(loop->runModeWithin(NSDefaultRunLoopMode, 10), std::runtime_error);
  EXPECT_EQ(order, (std::vector<int>{1}));
  EXPECT_TRUE(runMainLoopUntil([&] { return order.size() == 3; }));
  EXPECT_EQ(order, (std::vector<int>{1, 3, 4}));
}

// However many modes the process names, each stays apart: a perform waits for its own mode,
// and a mode added to the common set takes the common-mode performs.
TEST(RuntimeRunLoop, ManyModesStayApart) {
  auto loop = NSRunLoop::mainRunLoop();
  auto mode = [](int i) { return "many-" + std::to_string(i); };
  std::vector<int> ran;
  for (int i = 0; i < 80; ++i) loop->performInModes({mode(i)}, [&ran, i] { ran.push_back(i); });
  for (int i : {79, 70, 3}) EXPECT_TRUE(loop->runMode(mode(i), Clock::now())) << i;
  EXPECT_EQ(ran, (std::vector<int>{79, 70, 3}));
  EXPECT_FALSE(loop->runMode("many-unused", Clock::now()));  // nothing there: returns at once

  loop->addCommonMode(mode(75));
  loop->performBlock([&] { ran.push_back(-1); });
  loop->runMode(mode(74), Clock::now());
  loop->runMode(mode(75), Clock::now());  // the mode's own perform, queued first, then the common one
  EXPECT_EQ(ran, (std::vector<int>{79, 70, 3, 74, 75, -1}));
  for (int i = 0; i < 80; ++i) loop->runMode(mode(i), Clock::now());  // leaves nothing behind
  EXPECT_EQ(ran.size(), 80u + 1u);
}

// A timer moved earlier from another thread fires at its new date, also when its run loop
// sleeps until the old one.
TEST(RuntimeTimer, FireDateMovedEarlierFromAnotherThread) {
  WaitingLoopThread loopThread;
  ASSERT_TRUE(loopThread.started());
  std::atomic<bool> fired{false};
  std::shared_ptr<NSTimer> timer;
  performOnThread(loopThread.thread(), [&] {
    timer = NSTimer::scheduledTimerWithTimeInterval(1000, false, [&](const auto&) { fired = true; });
  }, true);
  timer->setFireDate(Clock::now());
  EXPECT_TRUE(runMainLoopUntil([&] { return fired.load(); }));
}

// run() goes on from input to input; an observer added meanwhile sees each input's run enter
// and exit as with separate runs, and run() ends once the loop has no source left.
TEST(RuntimeRunLoop, RunEntersEachRunForObserversAddedMeanwhileAndEndsWithoutSources) {
  auto port = NSMachPort::port();
  auto thread = NSThread::initWithBlock([port] {
    auto loop = NSRunLoop::currentRunLoop();
    loop->addPort(port, NSDefaultRunLoopMode);
    loop->run();
  });
  thread->start();
  int ran = 0;  // on the thread
  for (int i = 0; i < 3; ++i) performOnThread(thread, [&] { ++ran; }, true);
  EXPECT_EQ(ran, 3);

  std::atomic<int> entries{0}, exits{0};
  auto observer = CFRunLoopObserverCreateWithHandler(kCFRunLoopEntry | kCFRunLoopExit, true, 0,
                                                     [&](const auto&, auto activity) {
                                                       ++(activity == kCFRunLoopEntry ? entries : exits);
                                                     });
  performOnThread(thread, [&] { NSRunLoop::currentRunLoop()->addObserver(observer, NSDefaultRunLoopMode); }, true);
  performOnThread(thread, [&] { ++ran; }, true);
  EXPECT_TRUE(runMainLoopUntil([&] { return entries.load() >= 2 && exits.load() >= 2; }));

  performOnThread(thread, [port] { NSRunLoop::currentRunLoop()->removePort(port, NSDefaultRunLoopMode); }, false);
  EXPECT_TRUE(runMainLoopUntil([&] { return thread->isFinished(); }));
  EXPECT_EQ(ran, 4);
}

// A run loop is signalled once until it has taken the signal; work handed over in every
// interleaving with its own passes must still wake it. A thread's run loop, waiting without a
// time limit, gets rounds of ping-pong from the main thread and a concurrent burst from a third
// thread: a lost wake-up leaves it asleep with work queued, and the round never completes.
TEST(RuntimeRunLoop, WakeUpsAcrossThreadsAreNeverLost) {
  WaitingLoopThread loopThread;
  ASSERT_TRUE(loopThread.started());
  const auto& thread = loopThread.thread();

  constexpr int kRounds = 2000;
  std::atomic<int> back{0};
  std::atomic<int> burst{0};
  std::thread burster([&] {
    for (int i = 0; i < kRounds; ++i) performOnThread(thread, [&burst] { burst++; }, false);
  });
  for (int i = 0; i < kRounds; ++i) {
    performOnThread(thread, [&back] { dispatch_async(dispatch_get_main_queue(), [&back] { back++; }); }, false);
    ASSERT_TRUE(runMainLoopUntil([&] { return back.load() == i + 1; })) << "round " << i;
  }
  burster.join();
  EXPECT_TRUE(runMainLoopUntil([&] { return burst.load() == kRounds; }));

  EXPECT_TRUE(loopThread.stop());
}

// Wake-ups held back by a batch are given when it ends, and before the thread waits for the
// run loop it holds them for: the target thread's run loop waits without a time limit, so a
// wake-up that never came would leave the work undone.
TEST(RuntimeRunLoop, WakeUpBatchWakesAtItsEndAndBeforeWaiting) {
  WaitingLoopThread loopThread;
  ASSERT_TRUE(loopThread.started());
  const auto& thread = loopThread.thread();

  std::atomic<int> ran{0};
  {
    zvt::WakeUpBatch outer;
    {
      zvt::WakeUpBatch inner;
      performOnThread(thread, [&] { ran++; }, false);
    }
    performOnThread(thread, [&] { ran++; }, false);
    // Waiting for the thread gives it the wake-ups first.
    performOnThread(thread, [&] { ran++; }, true);
    EXPECT_EQ(ran.load(), 3);
    performOnThread(thread, [&] { ran++; }, false);
  }
  EXPECT_TRUE(runMainLoopUntil([&] { return ran.load() == 4; }));

  EXPECT_TRUE(loopThread.stop());
}

TEST(RuntimeRunLoop, AWakeUpOfTheMainLoopHeldInABatchIsGivenAtItsEnd) {
  // The main thread sleeps in one run (its real-time limit only keeps a lost wake-up from
  // hanging the test: such a run would end at the limit without draining); another thread
  // hands it a block inside a batch once it is about to wait.
  auto loop = NSRunLoop::mainRunLoop();
  std::atomic<bool> aboutToWait{false};
  auto observer = CFRunLoopObserverCreateWithHandler(kCFRunLoopBeforeWaiting, true, 0,
                                                     [&](const auto&, auto) { aboutToWait = true; });
  loop->addObserver(observer, NSDefaultRunLoopMode);
  std::atomic<bool> ran{false};
  std::thread sender([&] {
    while (!aboutToWait) std::this_thread::yield();
    zvt::WakeUpBatch batch;
    dispatch_async(dispatch_get_main_queue(), [&] { ran = true; });
  });
  loop->runModeWithin(NSDefaultRunLoopMode, 10);
  sender.join();
  loop->removeObserver(observer, NSDefaultRunLoopMode);
  EXPECT_TRUE(ran.load());
  EXPECT_TRUE(runMainLoopUntil([&] { return ran.load(); }));
}

TEST(RuntimeRunLoop, WithoutSourcesRunReturnsAtOnce) {
  std::atomic<int> result{-1};
  std::atomic<bool> runReturned{false};
  auto thread = NSThread::initWithBlock([&] {
    auto loop = NSRunLoop::currentRunLoop();
    result = loop->runMode(NSDefaultRunLoopMode, kDistantFutureTimeIntervalSince1970) ? 1 : 0;
    loop->run();
    runReturned = true;
  });
  thread->start();
  EXPECT_TRUE(runMainLoopUntil([&] { return runReturned.load(); }));
  EXPECT_EQ(result.load(), 0);
}

TEST(RuntimeRunLoop, APortOrATimerAloneKeepsTheRunWaiting) {
  // A loop whose only source in the mode is a port or a timer not yet due has a source: the run
  // waits (before waiting, after waiting) until it is stopped, instead of leaving after its
  // first look.
  struct Case {
    const char* what;
    std::function<void(const std::shared_ptr<NSRunLoop>&)> addSource;
  } cases[] = {
      {"a port", [](const auto& loop) { loop->addPort(NSMachPort::port(), NSDefaultRunLoopMode); }},
      {"a timer",
       [](const auto& loop) {
         loop->addTimer(NSTimer::timerWithTimeInterval(1000, false, [](const auto&) {}), NSDefaultRunLoopMode);
       }},
  };
  for (const auto& c : cases) {
    std::mutex m;
    std::string seen;
    std::shared_ptr<NSRunLoop> loop;
    std::atomic<bool> waiting{false};
    std::atomic<bool> returned{false};
    auto thread = NSThread::initWithBlock([&] {
      auto current = NSRunLoop::currentRunLoop();
      c.addSource(current);
      auto observer = CFRunLoopObserverCreateWithHandler(
          kCFRunLoopBeforeWaiting | kCFRunLoopAfterWaiting | kCFRunLoopExit, true, 0, [&](const auto&, auto activity) {
            std::lock_guard<std::mutex> lock(m);
            seen += activity == kCFRunLoopBeforeWaiting ? 'W' : activity == kCFRunLoopAfterWaiting ? 'A' : 'X';
            if (activity == kCFRunLoopBeforeWaiting) waiting = true;
          });
      current->addObserver(observer, NSDefaultRunLoopMode);
      {
        std::lock_guard<std::mutex> lock(m);
        loop = current;
      }
      current->runMode(NSDefaultRunLoopMode, kDistantFutureTimeIntervalSince1970);
      current->removeObserver(observer, NSDefaultRunLoopMode);
      returned = true;
    });
    thread->start();
    ASSERT_TRUE(runMainLoopUntil([&] { return waiting.load(); })) << c.what;
    // A stop may come before the loop's poll: it wakes the poll at once.
    ASSERT_TRUE(runMainLoopUntil([&] {
      std::lock_guard<std::mutex> lock(m);
      loop->stop();
      return returned.load();
    })) << c.what;
    std::lock_guard<std::mutex> lock(m);
    EXPECT_EQ(seen, "WAX") << c.what;
  }
}

TEST(RuntimeRunLoop, StopFromAnotherThreadEndsTheRun) {
  std::atomic<bool> running{false};
  std::atomic<int> returns{0};
  std::shared_ptr<NSRunLoop> loop;
  std::mutex m;
  auto thread = NSThread::initWithBlock([&] {
    auto port = NSMachPort::port();
    {
      std::lock_guard<std::mutex> lock(m);
      loop = NSRunLoop::currentRunLoop();
    }
    NSRunLoop::currentRunLoop()->addPort(port, NSDefaultRunLoopMode);
    running = true;
    NSRunLoop::currentRunLoop()->runMode(NSDefaultRunLoopMode, kDistantFutureTimeIntervalSince1970);
    returns++;
    NSRunLoop::currentRunLoop()->removePort(port, NSDefaultRunLoopMode);
    NSRunLoop::currentRunLoop()->run();  // nothing left: returns
    returns++;
  });
  thread->start();
  ASSERT_TRUE(runMainLoopUntil([&] { return running.load(); }));
  // A stop may arrive just before the run starts; send it until the run has returned.
  ASSERT_TRUE(runMainLoopUntil([&] {
    std::lock_guard<std::mutex> lock(m);
    loop->stop();
    return returns.load() >= 1;
  }));
  EXPECT_TRUE(runMainLoopUntil([&] { return returns.load() == 2; }));
}

// A paused source resumed from another thread wakes its loop, asleep without it.
TEST(RuntimeRunLoop, ResumingAPausedSourceFromAnotherThreadWakesItsLoop) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], "x", 1), 1);
  WaitingLoopThread loopThread;
  ASSERT_TRUE(loopThread.started());
  std::atomic<int> reads{0};
  std::atomic<bool> asleep{false};
  std::shared_ptr<NSRunLoopFileSource> source;
  auto observer = CFRunLoopObserverCreateWithHandler(kCFRunLoopBeforeWaiting, true, 0, [&](const auto&, auto) { asleep = true; });
  performOnThread(loopThread.thread(), [&] {
    auto loop = NSRunLoop::currentRunLoop();
    source = loop->addFileDescriptor(fds[0], 0, [&](int fd, unsigned) {
      char c;
      if (read(fd, &c, 1) == 1) reads++;
    });
    loop->addObserver(observer, NSDefaultRunLoopMode);
    asleep = false;
  }, true);
  ASSERT_TRUE(runMainLoopUntil([&] { return asleep.load(); }));
  EXPECT_EQ(reads.load(), 0);
  source->setEvents(NSRunLoopFileSource::kRead);
  EXPECT_TRUE(runMainLoopUntil([&] { return reads.load() == 1; }));
  source->invalidate();
  observer->invalidate();
  EXPECT_TRUE(loopThread.stop());
  close(fds[0]);
  close(fds[1]);
}

TEST(RuntimeRunLoop, FileDescriptorSourceCallsBackOnItsThread) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::atomic<int> reads{0};
  std::atomic<bool> onMain{false};
  std::string received;
  auto source = NSRunLoop::mainRunLoop()->addFileDescriptor(
      fds[0], NSRunLoopFileSource::kRead, [&](int fd, unsigned events) {
        onMain = NSThread::isMainThread();
        if (events & NSRunLoopFileSource::kRead) {
          char buf[64];
          ssize_t n = read(fd, buf, sizeof buf);
          if (n > 0) received.append(buf, static_cast<size_t>(n));
          reads++;
        }
      });
  std::thread([&] { ASSERT_EQ(write(fds[1], "hello", 5), 5); }).join();
  EXPECT_TRUE(runMainLoopUntil([&] { return received == "hello"; }));
  EXPECT_TRUE(onMain.load());

  // No interest: the data waits.
  source->setEvents(0);
  ASSERT_EQ(write(fds[1], "x", 1), 1);
  int before = reads.load();
  zvt::test::drainMainLoop();
  NSRunLoop::mainRunLoop()->runModeWithin(NSDefaultRunLoopMode, 0.01);
  EXPECT_EQ(reads.load(), before);
  source->setEvents(NSRunLoopFileSource::kRead);
  EXPECT_TRUE(runMainLoopUntil([&] { return received == "hellox"; }));

  // Write interest and hang-up.
  std::atomic<unsigned> writeEvents{0};
  auto writer = NSRunLoop::mainRunLoop()->addFileDescriptor(
      fds[1], NSRunLoopFileSource::kWrite, [&](int, unsigned events) { writeEvents = events; });
  EXPECT_TRUE(runMainLoopUntil([&] { return writeEvents.load() != 0; }));
  EXPECT_TRUE(writeEvents.load() & NSRunLoopFileSource::kWrite);
  writer->invalidate();
  close(fds[1]);
  std::atomic<unsigned> hangup{0};
  source->invalidate();
  EXPECT_FALSE(source->isValid());
  auto eof = NSRunLoop::mainRunLoop()->addFileDescriptor(fds[0], NSRunLoopFileSource::kRead,
                                                         [&](int, unsigned events) { hangup = events; });
  EXPECT_TRUE(runMainLoopUntil([&] { return hangup.load() != 0; }));
  EXPECT_TRUE(hangup.load() & NSRunLoopFileSource::kRead);
  eof->invalidate();
  close(fds[0]);
}

TEST(RuntimeTimer, TimersFireInDeadlineOrderWhenTheClockAdvances) {
  VirtualClockScope clock;
  std::vector<std::string> fired;
  auto c = NSTimer::scheduledTimerWithTimeInterval(3, false, [&](const auto&) { fired.push_back("c3"); });
  auto a = NSTimer::scheduledTimerWithTimeInterval(1, false, [&](const auto&) { fired.push_back("a1"); });
  int repeats = 0;
  auto r = NSTimer::scheduledTimerWithTimeInterval(0.75, true, [&](const auto&) {
    ++repeats;
    fired.push_back("r");
  });
  EXPECT_DOUBLE_EQ(a->fireDate(), Clock::now() + 1);
  NSRunLoop::mainRunLoop()->runMode(NSDefaultRunLoopMode, Clock::now());
  EXPECT_TRUE(fired.empty());
  clock.advanceBy(3);
  EXPECT_EQ(fired, (std::vector<std::string>{"r", "a1", "r", "r", "c3", "r"}));
  EXPECT_FALSE(a->isValid());  // a one-shot timer retires after firing
  EXPECT_TRUE(r->isValid());
  r->invalidate();
  clock.advanceBy(5);
  EXPECT_EQ(repeats, 4);
}

TEST(RuntimeTimer, InvalidateFireAndFireDate) {
  VirtualClockScope clock;
  int count = 0;
  std::shared_ptr<NSTimer> self;
  auto t = NSTimer::scheduledTimerWithTimeInterval(1, true, [&](const std::shared_ptr<NSTimer>& timer) {
    self = timer;
    if (++count == 2) timer->invalidate();  // from inside its own block
  });
  t->fire();  // runs now, schedule unchanged
  EXPECT_EQ(count, 1);
  EXPECT_EQ(self, t);
  clock.advanceBy(1);
  EXPECT_EQ(count, 2);
  EXPECT_FALSE(t->isValid());
  clock.advanceBy(5);
  EXPECT_EQ(count, 2);

  int later = 0;
  auto u = NSTimer::scheduledTimerWithTimeInterval(10, false, [&](const auto&) { ++later; });
  u->setFireDate(Clock::now() + 2);
  clock.advanceBy(2);
  EXPECT_EQ(later, 1);

  // The block goes with the timer's invalidation.
  auto token = std::make_shared<int>(1);
  std::weak_ptr<int> weak = token;
  auto v = NSTimer::scheduledTimerWithTimeInterval(1, true, [token](const auto&) {});
  token.reset();
  EXPECT_FALSE(weak.expired());
  v->invalidate();
  EXPECT_TRUE(weak.expired());
}

TEST(RuntimeTimer, ModesDecideWhenATimerMayFire) {
  VirtualClockScope clock;
  auto loop = NSRunLoop::mainRunLoop();
  // The mode joins the main loop's common set below, for good: each run of the test (a repeated
  // one too) names a mode of its own.
  static int runs = 0;
  const std::string tracking = "tracking-" + std::to_string(++runs);
  int custom = 0, common = 0;
  auto t1 = NSTimer::timerWithTimeInterval(1, false, [&](const auto&) { ++custom; });
  auto t2 = NSTimer::timerWithTimeInterval(1, false, [&](const auto&) { ++common; });
  loop->addTimer(t1, tracking);
  loop->addTimer(t2, NSRunLoopCommonModes);
  clock.advanceBy(2);  // the main thread acts as its run loop in the default mode
  EXPECT_EQ(common, 1);
  EXPECT_EQ(custom, 0);
  loop->runMode(tracking, Clock::now());
  EXPECT_EQ(custom, 1);

  // A common-mode perform waits while the loop runs in a mode outside the common set.
  int performed = 0;
  loop->performInModes({NSRunLoopCommonModes}, [&] { ++performed; });
  loop->runMode(tracking, Clock::now());
  EXPECT_EQ(performed, 0);
  loop->runMode(NSDefaultRunLoopMode, Clock::now());
  EXPECT_EQ(performed, 1);

  // A mode added to the common set receives common-mode timers and performs.
  loop->addCommonMode(tracking);
  loop->performInModes({NSRunLoopCommonModes}, [&] { ++performed; });
  loop->runMode(tracking, Clock::now());
  EXPECT_EQ(performed, 2);
  int inTracking = 0;
  auto t3 = NSTimer::timerWithTimeInterval(1, false, [&](const auto&) { ++inTracking; });
  loop->addTimer(t3, NSRunLoopCommonModes);
  clock.advanceBy(1.5);  // fires from advanceBy in the default mode...
  EXPECT_EQ(inTracking, 1);
}

TEST(RuntimeTimer, TimersOfAnotherThreadFireOnThatThread) {
  VirtualClockScope clock;
  std::atomic<bool> running{false};
  std::atomic<bool> stop{false};
  std::atomic<int> fires{0};
  std::atomic<bool> wrongThread{false};
  std::shared_ptr<NSThread> thread = NSThread::initWithBlock([&] {
    auto me = NSThread::currentThread();
    NSTimer::scheduledTimerWithTimeInterval(1, true, [&, me](const auto&) {
      if (NSThread::currentThread() != me) wrongThread = true;
      fires++;
    });
    running = true;
    while (!stop) NSRunLoop::currentRunLoop()->runMode(NSDefaultRunLoopMode, kDistantFutureTimeIntervalSince1970);
  });
  thread->start();
  ASSERT_TRUE(runMainLoopUntil([&] { return running.load(); }));
  clock.advanceBy(4);
  EXPECT_TRUE(runMainLoopUntil([&] { return fires.load() == 4; }));
  EXPECT_FALSE(wrongThread.load());
  stop = true;
  performOnThread(thread, [] { NSRunLoop::currentRunLoop()->stop(); }, false);
  EXPECT_TRUE(runMainLoopUntil([&] { return thread->isFinished(); }));
}

TEST(RuntimeTimer, RealClockTimerAndPerformAfterDelay) {
  int fired = 0;
  NSTimer::scheduledTimerWithTimeInterval(0.001, false, [&](const auto&) { ++fired; });
  EXPECT_TRUE(runMainLoopUntil([&] { return fired == 1; }));
  bool performed = false;
  performAfterDelay(0.001, [&] { performed = true; });
  auto cancelled = performAfterDelay(0.001, [&] { ADD_FAILURE() << "cancelled request ran"; });
  cancelled->invalidate();
  EXPECT_TRUE(runMainLoopUntil([&] { return performed; }));
}

TEST(RuntimeRunLoop, RunUntilDateOnTheVirtualClockFiresTimersAlongTheWay) {
  VirtualClockScope clock;
  // Shared with the thread, which may outlive a failed expectation.
  struct Shared {
    std::atomic<bool> ready{false};
    std::atomic<int> fires{0};
    std::atomic<bool> returned{false};
  };
  auto shared = std::make_shared<Shared>();
  std::shared_ptr<NSThread> thread = NSThread::initWithBlock([shared] {
    NSTimer::scheduledTimerWithTimeInterval(1, true, [shared](const auto&) { shared->fires++; });
    // The limit is taken before the test may move the clock.
    const auto until = Clock::now() + 3.5;
    shared->ready = true;
    NSRunLoop::currentRunLoop()->runUntilDate(until);
    shared->returned = true;
  });
  thread->start();
  ASSERT_TRUE(runMainLoopUntil([&] { return shared->ready.load(); }));
  clock.advanceBy(2);
  EXPECT_TRUE(runMainLoopUntil([&] { return shared->fires.load() == 2; }));
  EXPECT_FALSE(shared->returned.load());
  clock.advanceBy(2);
  EXPECT_TRUE(runMainLoopUntil([&] { return shared->returned.load(); }));
  EXPECT_EQ(shared->fires.load(), 3);
  // The thread ends within the test, on the clock it ran by.
  EXPECT_TRUE(runMainLoopUntil([&] { return thread->isFinished(); }));
}

TEST(RuntimeRunLoop, MainRunLoopDrainsTheMainQueueAndPerforms) {
  std::vector<int> order;
  dispatch_async(dispatch_get_main_queue(), [&] { order.push_back(1); });
  NSRunLoop::mainRunLoop()->performBlock([&] { order.push_back(2); });
  EXPECT_TRUE(runMainLoopUntil([&] { return order.size() == 2; }));
  std::atomic<bool> done{false};
  std::thread([&] {
    performOnMainThread([&] { order.push_back(3); }, true);
    done = true;
  }).detach();
  EXPECT_TRUE(runMainLoopUntil([&] { return done.load(); }));
  EXPECT_EQ(order.back(), 3);
}


TEST(RuntimeRunLoop, ObserversSeeTheActivitiesOfAPass) {
  VirtualClockScope clock;
  auto loop = NSRunLoop::mainRunLoop();
  std::string seen;
  auto letter = [](CFRunLoopActivity a) {
    switch (a) {
      case kCFRunLoopEntry: return 'E';
      case kCFRunLoopBeforeTimers: return 'T';
      case kCFRunLoopBeforeSources: return 'S';
      case kCFRunLoopBeforeWaiting: return 'W';
      case kCFRunLoopAfterWaiting: return 'A';
      case kCFRunLoopExit: return 'X';
      default: return '?';
    }
  };
  bool queueOnWait = false;
  bool timerOnWait = false;
  auto observer = CFRunLoopObserverCreateWithHandler(kCFRunLoopAllActivities, true, 0, [&](const auto&, auto activity) {
    seen += letter(activity);
    if (activity == kCFRunLoopBeforeWaiting && queueOnWait) {
      queueOnWait = false;
      loop->performBlock([&] { seen += 'p'; });
    }
    if (activity == kCFRunLoopBeforeWaiting && timerOnWait) {
      timerOnWait = false;
      auto timer = NSTimer::initWithFireDate(Clock::now(), 0, false, [&](const auto&) {
        seen += 't';
        loop->performBlock([&] { seen += 'p'; });
      });
      loop->addTimer(timer, NSDefaultRunLoopMode);
    }
  });
  // Lower orders run first; a one-shot observer runs once.
  auto first = CFRunLoopObserverCreateWithHandler(kCFRunLoopExit, false, -1, [&](const auto&, auto) { seen += '1'; });
  loop->addObserver(observer, NSRunLoopCommonModes);
  loop->addObserver(first, NSDefaultRunLoopMode);

  struct Case {
    const char* what;
    std::function<void()> run;
    std::string want;
  } cases[] = {
      {"a pass that handles work leaves without waiting",
       [&] {
         loop->performBlock([&] { seen += 'p'; });
         loop->runModeWithin(NSDefaultRunLoopMode, 10);
       },
       "ETSp1X"},
      {"work queued before waiting is handled before sleeping",
       [&] {
         queueOnWait = true;
         loop->runModeWithin(NSDefaultRunLoopMode, 10);
       },
       "ETSWATSpX"},
      {"a timer due before waiting fires before sleeping (a virtual clock never wakes the wait)",
       [&] {
         timerOnWait = true;
         loop->runModeWithin(NSDefaultRunLoopMode, 10);
       },
       "ETSWATtSpX"},
      {"a virtual advance that fires a timer is a pass",
       [&] {
         NSTimer::scheduledTimerWithTimeInterval(1, false, [&](const auto&) { seen += 't'; });
         clock.advanceBy(2);
       },
       "TtW"},
  };
  for (const auto& c : cases) {
    seen.clear();
    c.run();
    EXPECT_EQ(seen, c.want) << c.what;
  }
  EXPECT_FALSE(first->isValid());
  loop->removeObserver(observer, NSRunLoopCommonModes);
  seen.clear();
  loop->performBlock([] {});
  loop->runModeWithin(NSDefaultRunLoopMode, 10);
  EXPECT_EQ(seen, "");
}
}  // namespace

namespace {

TEST(RuntimeRunLoop, DatesAsObjects) {
  VirtualClockScope clock;
  int fired = 0;
  NSTimer::scheduledTimerWithTimeInterval(1, false, [&](const auto&) { ++fired; });
  // A nil or past date makes one pass without waiting.
  EXPECT_TRUE(NSRunLoop::mainRunLoop()->runMode(NSDefaultRunLoopMode, std::shared_ptr<NSDate>()));
  EXPECT_EQ(fired, 0);
  std::thread([&] { clock.advanceBy(1); }).join();  // from elsewhere: the main run loop is woken
  NSRunLoop::mainRunLoop()->runUntilDate(NSDate::dateWithTimeIntervalSinceNow(0));
  EXPECT_EQ(fired, 1);
}

}  // namespace
