// Run-loop timers. Deadlines are on Clock's monotonic time; a fire date is reported on its
// wall time. Tolerance is kept but ignored.
//
// A repeating timer that is late skips the fires it missed on the real clock (as the system
// does); under a VirtualClock it fires once for every interval the clock was advanced by.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSObject.h"

class NSRunLoop;

class NSTimer : public NSObject {
 public:
  using Block = std::function<void(const std::shared_ptr<NSTimer>& timer)>;

  // scheduledTimerWithTimeInterval:repeats:block: a timer added to the current run loop in
  // the default mode.
  static std::shared_ptr<NSTimer> scheduledTimerWithTimeInterval(NSTimeInterval interval, bool repeats,
                                                                 Block block);
  // timerWithTimeInterval:repeats:block: a timer to add to a run loop with addTimer.
  static std::shared_ptr<NSTimer> timerWithTimeInterval(NSTimeInterval interval, bool repeats, Block block);
  // initWithFireDate:interval:repeats:block: (the date in seconds since 1970).
  static std::shared_ptr<NSTimer> initWithFireDate(NSTimeInterval fireDate, NSTimeInterval interval,
                                                   bool repeats, Block block);

  // Runs the block now without changing the schedule; a non-repeating timer is invalidated.
  void fire();
  // Removes the timer from its run loop and lets go of its block; any thread.
  void invalidate();
  bool isValid() const { return valid_; }

  // Seconds since 1970 at which the timer fires next.
  NSTimeInterval fireDate() const;
  void setFireDate(NSTimeInterval date);
  NSTimeInterval timeInterval() const { return repeats_ ? interval_ : 0; }
  NSTimeInterval tolerance() const { return tolerance_; }
  void setTolerance(NSTimeInterval tolerance) { tolerance_ = tolerance; }

 private:
  friend class NSRunLoop;
  NSTimer(NSTimeInterval interval, bool repeats, Block block);
  std::shared_ptr<NSTimer> me() { return std::static_pointer_cast<NSTimer>(shared_from_this()); }

  // Called by the run loop when due: reschedules a repeating timer, retires a one-shot one,
  // then runs the block.
  void fireFromRunLoop(int64_t now);

  const NSTimeInterval interval_;
  const bool repeats_;
  std::atomic<NSTimeInterval> tolerance_{0};
  std::atomic<int64_t> deadline_{0};
  std::atomic<bool> valid_{true};
  std::atomic<bool> firing_{false};
  mutable std::mutex mutex_;
  std::shared_ptr<Block> block_;
  std::weak_ptr<NSRunLoop> runLoop_;
};

// performSelector:withObject:afterDelay: a one-shot timer in the default mode of the current
// run loop; invalidate the returned timer to cancel the request.
std::shared_ptr<NSTimer> performAfterDelay(NSTimeInterval delay, std::function<void()> fn);
