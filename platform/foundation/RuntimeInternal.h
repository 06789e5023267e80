// Seams between the run loop, dispatch and thread pieces of the Foundation stand-in; not for
// use outside platform/foundation.
#pragma once

#include <sched.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/foundation/Clock.h"

namespace zvt {

// True on the process's first thread (the thread of main()).
bool onMainThread();

// Clock::current()->isVirtual(), without a lock or a reference count when no test clock is
// installed (Clock.cpp).
bool currentClockIsVirtual();

// Wakes the main run loop because blocks arrived on the main queue (NSRunLoop.cpp).
void wakeMainRunLoop();

// True on the threads of the dispatch pool (Dispatch.cpp).
extern thread_local constinit bool onDispatchWorker;

// Marks the calling thread as blocked for the scope (a dispatch_sync, a semaphore or group
// wait). On a worker of the dispatch pool this lets the pool start another worker, so that
// the blocks the waiter waits for still find a thread to run on.
class BlockingScope {
 public:
  // Gives the calling thread's held wake-ups first (zvt::WakeUpBatch).
  BlockingScope();
  // For a caller that has just given them (a run loop about to sleep).
  struct AfterFlush {};
  explicit BlockingScope(AfterFlush) : worker_(onDispatchWorker) {
    if (worker_) [[unlikely]] willBlock();
  }
  ~BlockingScope() {
    if (worker_) [[unlikely]] didUnblock();
  }
  BlockingScope(const BlockingScope&) = delete;
  BlockingScope& operator=(const BlockingScope&) = delete;

 private:
  static void willBlock();
  static void didUnblock();
  bool worker_;
};

// Waits on `cv` until `pred` holds or the monotonic `deadline` (Clock nanoseconds, kNoDeadline
// for none) passes; returns pred(). A virtual clock moves without notifying this condition,
// so under one the wait looks at the clock again every few milliseconds.
template <class Pred>
bool waitUntilDeadline(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                       int64_t deadline, Pred pred) {
  if (deadline == kNoDeadline) {
    cv.wait(lock, pred);
    return true;
  }
  for (;;) {
    if (pred()) return true;
    auto clock = Clock::current();
    int64_t now = clock->monotonicNanos();
    if (now >= deadline) return pred();
    if (clock->isVirtual()) {
      cv.wait_for(lock, std::chrono::milliseconds(2));
    } else {
      cv.wait_for(lock, std::chrono::nanoseconds(deadline - now));
    }
  }
}

// Bounded spinning before a thread blocks (SpinWait.cpp). A thread that has just handed work
// on often gets the next piece back sooner than it would take to wake it from sleep, so it
// looks for it for a few microseconds of real time first. Spinning never changes what runs or
// in which order, only whether the thread is awake when it comes.
namespace spin {

// Real monotonic nanoseconds (spinning is timed on the real clock, whatever clock is installed).
int64_t realNanos();

// How long a thread may spin before it blocks; 0 under a virtual clock, whose tests drive
// time themselves and must see no real-time behaviour.
int64_t budgetNanos();

// The spinning switch (spinBeforeSleep) as last read or set: -1 before the first read, then 0
// or 1 (SpinWait.cpp).
extern constinit std::atomic<int> settingState;
// False only when spinning is known to be off: a thread about to sleep then takes no call to
// find out.
inline bool mayBeOn() { return settingState.load(std::memory_order_relaxed) != 0; }

inline constexpr int kSingleProcessorYields = 2;

// The process may run on one processor only (its affinity), where nothing can arrive while
// the spinner holds the processor.
bool singleProcessor();

// One round of waiting: a processor pause, now and then a yield.
void relax(unsigned round);

// Spins until `ready()` holds (true) or `budget` real nanoseconds have passed (false). On one
// processor it only steps aside a few times, letting whatever is runnable go first.
template <class Ready>
bool spinUntil(int64_t budget, Ready ready) {
  if (singleProcessor()) {
    for (int round = 0; round < kSingleProcessorYields; ++round) {
      if (ready()) return true;
      sched_yield();
    }
    return ready();
  }
  const int64_t end = realNanos() + budget;
  for (unsigned round = 0;; ++round) {
    if (ready()) return true;
    if ((round & 7) == 7 && realNanos() >= end) return ready();
    relax(round);
  }
}

}  // namespace spin

}  // namespace zvt
