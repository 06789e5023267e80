#include "platform/foundation/Clock.h"
#include "platform/foundation/ClockDeadlines.h"
#include "platform/foundation/RuntimeInternal.h"

#include <time.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

namespace {

// Process-wide objects are never destroyed: threads that outlive main() still read the clock.
std::mutex& clockMutex() {
  static std::mutex* m = new std::mutex();
  return *m;
}

std::shared_ptr<Clock>& installedClock() {
  static std::shared_ptr<Clock>* clock = new std::shared_ptr<Clock>();
  return *clock;
}

int64_t realMonotonicNanos() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// installedClock() != nullptr, kept under clockMutex() and read without it.
std::atomic<bool>& clockInstalled() {
  static std::atomic<bool>* installed = new std::atomic<bool>(false);
  return *installed;
}

struct SourceRegistry {
  std::mutex mutex;
  std::vector<std::weak_ptr<zvt::TimeSource>> sources;
  std::vector<const zvt::TimeSource*> keys;  // parallel to sources, for removal by address
};

SourceRegistry& registry() {
  static SourceRegistry* r = new SourceRegistry();  // outlives every thread's run loop
  return *r;
}

std::vector<std::shared_ptr<zvt::TimeSource>> liveSources() {
  std::vector<std::shared_ptr<zvt::TimeSource>> live;
  SourceRegistry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  for (size_t i = 0; i < r.sources.size();) {
    if (auto s = r.sources[i].lock()) {
      live.push_back(std::move(s));
      ++i;
    } else {
      r.sources.erase(r.sources.begin() + static_cast<std::ptrdiff_t>(i));
      r.keys.erase(r.keys.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
  std::stable_sort(live.begin(), live.end(),
                   [](const auto& a, const auto& b) { return a->order() < b->order(); });
  return live;
}

}  // namespace

std::shared_ptr<Clock> Clock::current() {
  // Without a test clock, the real one without the lock.
  if (!clockInstalled().load(std::memory_order_acquire)) return RealClock::shared();
  std::lock_guard<std::mutex> lock(clockMutex());
  if (!installedClock()) return RealClock::shared();
  return installedClock();
}

void Clock::setCurrent(std::shared_ptr<Clock> clock) {
  {
    std::lock_guard<std::mutex> lock(clockMutex());
    clockInstalled().store(clock != nullptr, std::memory_order_release);
    installedClock() = std::move(clock);
  }
  zvt::notifyTimeSources();
}

int64_t Clock::nowNanos() {
  // Without a test clock the real one answers, without the lock current() takes.
  if (!clockInstalled().load(std::memory_order_acquire)) return realMonotonicNanos();
  return current()->monotonicNanos();
}

NSTimeInterval RealClock::wallTime() const {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

int64_t RealClock::monotonicNanos() const { return realMonotonicNanos(); }

std::shared_ptr<RealClock> RealClock::shared() {
  static std::shared_ptr<RealClock>* clock = new std::shared_ptr<RealClock>(std::make_shared<RealClock>());
  return *clock;
}

VirtualClock::VirtualClock(NSTimeInterval wallStart)
    : monoNanos_(RealClock::shared()->monotonicNanos()), monoAtMark_(monoNanos_), wallAtMark_(wallStart) {}

NSTimeInterval VirtualClock::wallTime() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return wallAtMark_ + static_cast<double>(monoNanos_ - monoAtMark_) / 1e9;
}

int64_t VirtualClock::monotonicNanos() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return monoNanos_;
}

void VirtualClock::setWallTime(NSTimeInterval wallTime) {
  std::lock_guard<std::mutex> lock(mutex_);
  wallAtMark_ = wallTime;
  monoAtMark_ = monoNanos_;
}

void VirtualClock::stepTo(int64_t nanos) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (nanos > monoNanos_) monoNanos_ = nanos;
}

namespace {
thread_local int advancingDepth = 0;
struct AdvancingMark {
  AdvancingMark() { ++advancingDepth; }
  ~AdvancingMark() { --advancingDepth; }
};
}  // namespace

void VirtualClock::advanceBy(NSTimeInterval seconds) {
  std::lock_guard<std::recursive_mutex> advancing(advancing_);
  AdvancingMark mark;
  int64_t delta = seconds > 0 ? zvt::secondsToNanos(seconds) : 0;
  int64_t target = zvt::addSaturating(monotonicNanos(), delta);
  // Step from deadline to deadline so that what is due fires in order and sees the time
  // it was due at. Only deadlines strictly after the present count: one that is due but
  // not yet taken by its (other) thread must not hold the clock in place.
  for (;;) {
    int64_t now = monotonicNanos();
    int64_t next = zvt::kNoDeadline;
    for (const auto& source : liveSources()) next = std::min(next, source->nextDeadlineAfter(now));
    if (next > target) break;
    stepTo(next);
    zvt::notifyTimeSources();
  }
  stepTo(target);
  zvt::notifyTimeSources();
}

namespace zvt {

bool currentClockIsVirtual() {
  if (!clockInstalled().load(std::memory_order_acquire)) return false;
  return Clock::current()->isVirtual();
}

int64_t nextDeadlineAfter(int64_t after) {
  int64_t next = kNoDeadline;
  for (const auto& source : liveSources()) next = std::min(next, source->nextDeadlineAfter(after));
  return next;
}

int64_t secondsToNanos(NSTimeInterval seconds) {
  if (std::isnan(seconds)) return 0;
  double ns = std::round(seconds * 1e9);
  if (ns >= 9.2e18) return INT64_MAX;
  if (ns <= -9.2e18) return INT64_MIN;
  return static_cast<int64_t>(ns);
}

int64_t addSaturating(int64_t a, int64_t b) {
  int64_t r = 0;
  if (__builtin_add_overflow(a, b, &r)) return b > 0 ? INT64_MAX : INT64_MIN;
  return r;
}

int64_t deadlineAfter(NSTimeInterval seconds) {
  return addSaturating(Clock::nowNanos(), secondsToNanos(seconds));
}

void registerTimeSource(const std::shared_ptr<TimeSource>& source) {
  SourceRegistry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.sources.push_back(source);
  r.keys.push_back(source.get());
}

void unregisterTimeSource(const TimeSource* source) {
  SourceRegistry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  for (size_t i = 0; i < r.keys.size(); ++i) {
    if (r.keys[i] == source) {
      r.sources.erase(r.sources.begin() + static_cast<std::ptrdiff_t>(i));
      r.keys.erase(r.keys.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  }
}

bool isAdvancingClockOnThisThread() { return advancingDepth > 0; }

void notifyTimeSources() {
  for (const auto& source : liveSources()) source->timeAdvanced();
}

}  // namespace zvt
