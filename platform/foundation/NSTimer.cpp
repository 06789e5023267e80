#include "platform/foundation/NSTimer.h"

#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/RuntimeInternal.h"

namespace {

// The system treats a non-positive interval as 0.1 ms; so do we, which also keeps a
// repeating timer from firing forever at one instant.
NSTimeInterval saneInterval(NSTimeInterval interval) { return interval > 0 ? interval : 0.0001; }

}  // namespace

NSTimer::NSTimer(NSTimeInterval interval, bool repeats, Block block)
    : interval_(saneInterval(interval)), repeats_(repeats),
      block_(std::make_shared<Block>(std::move(block))) {}

std::shared_ptr<NSTimer> NSTimer::timerWithTimeInterval(NSTimeInterval interval, bool repeats, Block block) {
  std::shared_ptr<NSTimer> timer(new NSTimer(interval, repeats, std::move(block)));
  timer->deadline_ = zvt::deadlineAfter(timer->interval_);
  return timer;
}

std::shared_ptr<NSTimer> NSTimer::scheduledTimerWithTimeInterval(NSTimeInterval interval, bool repeats,
                                                                 Block block) {
  auto timer = timerWithTimeInterval(interval, repeats, std::move(block));
  NSRunLoop::currentRunLoop()->addTimer(timer, NSDefaultRunLoopMode);
  return timer;
}

std::shared_ptr<NSTimer> NSTimer::initWithFireDate(NSTimeInterval fireDate, NSTimeInterval interval,
                                                   bool repeats, Block block) {
  std::shared_ptr<NSTimer> timer(new NSTimer(interval, repeats, std::move(block)));
  timer->deadline_ = zvt::deadlineAfter(fireDate - Clock::now());
  return timer;
}

void NSTimer::fire() {
  if (!valid_) return;
  std::shared_ptr<Block> block;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    block = block_;
  }
  auto self = me();
  if (!repeats_) invalidate();
  if (block && *block) (*block)(self);
}

void NSTimer::fireFromRunLoop(int64_t now) {
  if (!valid_ || firing_.exchange(true)) return;
  struct Clear {
    std::atomic<bool>& flag;
    ~Clear() { flag = false; }
  } clear{firing_};
  std::shared_ptr<Block> block;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    block = block_;
  }
  auto self = me();
  if (repeats_) {
    int64_t step = std::max<int64_t>(zvt::secondsToNanos(interval_), 1);
    int64_t next = zvt::addSaturating(deadline_.load(), step);
    if (next <= now && !zvt::currentClockIsVirtual()) {
      // Late on the real clock: the fires that were missed are skipped.
      next = zvt::addSaturating(next, ((now - next) / step + 1) * step);
    }
    deadline_ = next;
  } else {
    invalidate();
  }
  if (block && *block) (*block)(self);
}

void NSTimer::invalidate() {
  std::shared_ptr<NSRunLoop> loop;
  std::shared_ptr<Block> dropped;  // released outside the lock: it may hold the last owner
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!valid_) return;
    valid_ = false;
    dropped = std::move(block_);
    block_ = nullptr;
    loop = runLoop_.lock();
  }
  if (loop) loop->removeTimer(this);
}

NSTimeInterval NSTimer::fireDate() const {
  auto clock = Clock::current();
  return clock->wallTime() + static_cast<double>(deadline_.load() - clock->monotonicNanos()) / 1e9;
}

void NSTimer::setFireDate(NSTimeInterval date) {
  int64_t deadline = zvt::deadlineAfter(date - Clock::now());
  deadline_ = deadline;
  std::shared_ptr<NSRunLoop> loop;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    loop = runLoop_.lock();
  }
  if (loop) loop->timerMovedTo(deadline);
}

std::shared_ptr<NSTimer> performAfterDelay(NSTimeInterval delay, std::function<void()> fn) {
  return NSTimer::scheduledTimerWithTimeInterval(delay, false, [fn = std::move(fn)](const auto&) {
    if (fn) fn();
  });
}
