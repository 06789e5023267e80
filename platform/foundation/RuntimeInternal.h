// Seams between the run loop, dispatch and thread pieces of the Foundation stand-in; not for
// use outside platform/foundation.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/foundation/Clock.h"

namespace zvt {

// True on the process's first thread (the thread of main()).
bool onMainThread();

// Wakes the main run loop because blocks arrived on the main queue (NSRunLoop.cpp).
void wakeMainRunLoop();

// Marks the calling thread as blocked for the scope (a dispatch_sync, a semaphore or group
// wait). On a worker of the dispatch pool this lets the pool start another worker, so that
// the blocks the waiter waits for still find a thread to run on.
class BlockingScope {
 public:
  BlockingScope();
  ~BlockingScope();
  BlockingScope(const BlockingScope&) = delete;
  BlockingScope& operator=(const BlockingScope&) = delete;

 private:
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

}  // namespace zvt
