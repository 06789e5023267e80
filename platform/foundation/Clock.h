// The one seam through which the process reads time.
//
// Wall time (seconds since 1970) is what NSDate and "now" see; monotonic time (nanoseconds
// from an arbitrary origin) is what timers, dispatch_after and time-outs are scheduled on.
// The real clock reads the system. Tests install a VirtualClock and move it forward with
// advanceBy(), which fires every due run-loop timer and every due delayed dispatch block in
// deadline order, so that no test ever sleeps to wait for a timer.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

using NSTimeInterval = double;

class Clock {
 public:
  virtual ~Clock() = default;

  // Seconds since 1970-01-01 00:00:00 UTC.
  virtual NSTimeInterval wallTime() const = 0;
  // Nanoseconds on a clock that never goes backwards.
  virtual int64_t monotonicNanos() const = 0;
  // True for a clock whose time moves only when a test says so: waits on such a clock must
  // be woken by its advances instead of by the system's timers.
  virtual bool isVirtual() const { return false; }

  NSTimeInterval monotonicTime() const { return static_cast<double>(monotonicNanos()) / 1e9; }

  // The clock in force; the real clock unless a test installed another one.
  static std::shared_ptr<Clock> current();
  // Installs a clock (nullptr restores the real one) and wakes every waiter so that it
  // recomputes its deadline on the new clock. Deadlines already scheduled keep their values:
  // install the virtual clock before creating the timers it shall drive.
  static void setCurrent(std::shared_ptr<Clock> clock);

  // Shorthands for Clock::current()->...
  static NSTimeInterval now() { return current()->wallTime(); }
  // Without an installed clock, straight from the system: run loops read it several times a
  // pass.
  static int64_t nowNanos();
};

// System time: CLOCK_REALTIME for the wall, CLOCK_MONOTONIC for deadlines.
class RealClock final : public Clock {
 public:
  NSTimeInterval wallTime() const override;
  int64_t monotonicNanos() const override;
  static std::shared_ptr<RealClock> shared();
};

// A clock that stands still until advanced.
class VirtualClock final : public Clock {
 public:
  // 2026-01-01 00:00:00 UTC: a fixed, recognisable start for tests.
  static constexpr NSTimeInterval kDefaultWallStart = 1767225600.0;

  explicit VirtualClock(NSTimeInterval wallStart = kDefaultWallStart);

  NSTimeInterval wallTime() const override;
  int64_t monotonicNanos() const override;
  bool isVirtual() const override { return true; }

  // Moves time forward by `seconds` (negative counts as 0). Time moves in steps from one
  // deadline to the next; at each step every source of deadlines fires what is due: the
  // run loop of the calling thread runs its due timers here and now, and, called on the main
  // thread, the main queue is drained; timers of other threads' run loops and blocks for
  // other queues are handed to their thread or queue at their deadline.
  void advanceBy(NSTimeInterval seconds);
  // Sets the wall time without moving monotonic time (a user changing the device's date).
  void setWallTime(NSTimeInterval wallTime);

 private:
  void stepTo(int64_t nanos);

  mutable std::mutex mutex_;
  std::recursive_mutex advancing_;  // one advance at a time; timers may advance again
  // Monotonic time starts where the real clock stands (never at 0, which dispatch_time_t
  // reads as "now"), so that deadlines left over when a test restores the real clock come
  // about as late as they were meant to instead of all at once.
  int64_t monoNanos_;
  // Wall time is wallAtMark_ at monotonic time monoAtMark_ and moves with it.
  int64_t monoAtMark_;
  NSTimeInterval wallAtMark_;
};

namespace zvt {

constexpr int64_t kNoDeadline = INT64_MAX;

// Seconds to nanoseconds, rounded, saturating at the ends of int64 (so that "forever"-like
// intervals never overflow when added to now).
int64_t secondsToNanos(NSTimeInterval seconds);
// now + interval, saturating.
int64_t deadlineAfter(NSTimeInterval seconds);
int64_t addSaturating(int64_t a, int64_t b);

// Something that owns deadlines on the monotonic clock: the dispatch timer manager and every
// run loop. The virtual clock asks each for its next deadline to find its next step and
// tells each when time has moved.
class TimeSource {
 public:
  virtual ~TimeSource() = default;
  // The earliest pending deadline strictly after `after`, or kNoDeadline.
  virtual int64_t nextDeadlineAfter(int64_t after) = 0;
  // Time has moved (or the clock was replaced): fire what is due where that is allowed on
  // the calling thread, wake the owning thread otherwise.
  virtual void timeAdvanced() = 0;
  // Sources are told in ascending order of this (dispatch before run loops, so that a step's
  // delayed main-queue blocks are enqueued before the main run loop looks).
  virtual int order() const { return 1; }
};

void registerTimeSource(const std::shared_ptr<TimeSource>& source);
void unregisterTimeSource(const TimeSource* source);
// Calls timeAdvanced() on every registered source, in order.
void notifyTimeSources();
// True while the calling thread is inside VirtualClock::advanceBy: sources may then fire
// what belongs to this thread right away.
bool isAdvancingClockOnThisThread();

}  // namespace zvt
