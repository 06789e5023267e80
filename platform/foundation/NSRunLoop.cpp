#include "platform/foundation/NSRunLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <string_view>
#include <unordered_map>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSThread.h"
#include "platform/foundation/NSTimer.h"
#include "platform/foundation/RuntimeInternal.h"

struct PerformDone {
  std::mutex mutex;
  std::condition_variable cv;
  bool done = false;
  void finish() {
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
    cv.notify_all();
  }
};

class NSRunLoop::TimeSourceAdapter : public zvt::TimeSource {
 public:
  explicit TimeSourceAdapter(std::weak_ptr<NSRunLoop> loop) : loop_(std::move(loop)) {}
  int64_t nextDeadlineAfter(int64_t after) override {
    auto loop = loop_.lock();
    return loop ? loop->nextDeadlineAfter(after) : zvt::kNoDeadline;
  }
  void timeAdvanced() override {
    if (auto loop = loop_.lock()) loop->timeAdvanced();
  }

 private:
  std::weak_ptr<NSRunLoop> loop_;
};

namespace {

// The wake-up descriptor's reads and writes and the loop's poll go straight to the kernel: the C
// library's wrappers make each a thread-cancellation point, two more calls around every system
// call of a pass, and no thread here is ever cancelled.
ssize_t readNow(int fd, void* buffer, size_t size) { return syscall(SYS_read, fd, buffer, size); }
ssize_t writeNow(int fd, const void* buffer, size_t size) { return syscall(SYS_write, fd, buffer, size); }
int pollNow(pollfd* fds, size_t count, int timeoutMs) {
#ifdef SYS_poll
  return static_cast<int>(syscall(SYS_poll, fds, count, timeoutMs));
#else
  return poll(fds, count, timeoutMs);
#endif
}

}  // namespace

namespace zvt {

namespace {

// The main thread's run loop, once made: it is never released (the main thread never ends),
// so the main queue's hand-offs wake it without asking the thread object for it.
std::atomic<NSRunLoop*> mainLoop{nullptr};

}  // namespace

void wakeMainRunLoop() {
  if (NSRunLoop* loop = mainLoop.load(std::memory_order_acquire)) {
    loop->wakeUp();
  } else if (auto made = NSRunLoop::mainRunLoop()) {
    made->wakeUp();
  }
}

namespace {

[[gnu::noinline]] RunLoopModeId internOtherRunLoopMode(std::string_view name) {
  struct Table {
    std::mutex mutex;
    std::unordered_map<std::string, RunLoopModeId> ids;
  };
  static Table* table = new Table();  // never destroyed: threads may run their loops at exit
  std::lock_guard<std::mutex> lock(table->mutex);
  auto it = table->ids.try_emplace(std::string(name), static_cast<RunLoopModeId>(table->ids.size() + 2)).first;
  return it->second;
}

}  // namespace

RunLoopModeId internRunLoopMode(std::string_view name) {
  if (name == std::string_view(NSDefaultRunLoopMode)) return kDefaultRunLoopModeId;
  if (name == std::string_view(NSRunLoopCommonModes)) return kCommonRunLoopModesId;
  return internOtherRunLoopMode(name);
}

namespace {

thread_local int wakeUpBatchDepth = 0;
struct HeldWakeUp {
  NSRunLoop* loop;
  std::weak_ptr<NSObject> alive;  // the loop, while it lives
};
thread_local std::vector<HeldWakeUp> heldWakeUps;
// The main run loop's held wake-up (most of what is held: the main queue's hand-offs). The main
// loop is never released, so a flag does.
thread_local bool mainWakeUpHeld = false;

}  // namespace

WakeUpBatch::WakeUpBatch() { ++wakeUpBatchDepth; }

WakeUpBatch::~WakeUpBatch() {
  if (--wakeUpBatchDepth == 0) flush();
}

void WakeUpBatch::flush() {
  if (!heldWakeUps.empty()) {
    giveHeld();
  } else if (mainWakeUpHeld) {  // a loader thread's usual batch: its reports to the main queue
    giveHeldMain();
  }
  // Mostly nothing: before each sleep of a loop that handed nothing on.
}

void WakeUpBatch::giveHeldMain() {
  mainWakeUpHeld = false;
  mainLoop.load(std::memory_order_acquire)->signalWakeFd();
}

void WakeUpBatch::giveHeld() {
  auto& held = heldWakeUps;
  // By index: a loop released here may, through what its queue held, hold back or give
  // wake-ups itself (appended, or all given and cleared by that inner flush).
  for (size_t i = 0; i < held.size(); ++i) {
    NSRunLoop* loop = held[i].loop;
    if (auto alive = held[i].alive.lock()) loop->signalWakeFd();
  }
  held.clear();  // keeps its room for the next batch
  // Last: also when held again by what a loop released above let go.
  if (mainWakeUpHeld) {
    mainWakeUpHeld = false;
    mainLoop.load(std::memory_order_acquire)->signalWakeFd();
  }
}

}  // namespace zvt

// ---------------------------------------------------------------------------------------------
// File sources.

void NSRunLoopFileSource::setEvents(unsigned events) {
  events &= kRead | kWrite;
  // The same interest: the loop's next look already polls for it.
  if (events_.exchange(events) == events) return;
  if (auto loop = runLoop_.lock()) loop->wakeUp();
}

bool NSRunLoopFileSource::isValid() const { return valid_.load(std::memory_order_acquire); }

void NSRunLoopFileSource::invalidate() {
  std::shared_ptr<Callback> dropped;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!valid_.load(std::memory_order_relaxed)) return;
    valid_.store(false, std::memory_order_release);
    dropped = std::move(callback_);
    callback_ = nullptr;
  }
  if (auto loop = runLoop_.lock()) {
    {
      std::lock_guard<std::mutex> lock(loop->mutex_);
      auto& v = loop->fileSources_;
      v.erase(std::remove_if(v.begin(), v.end(), [this](const auto& s) { return s.get() == this; }),
              v.end());
    }
    loop->wakeUp();
  }
}

// ---------------------------------------------------------------------------------------------
// Run loops.

NSRunLoop::NSRunLoop(bool main) : main_(main) {
  wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  commonModes_.insert(zvt::kDefaultRunLoopModeId);
}

NSRunLoop::~NSRunLoop() {
  if (timeSource_) zvt::unregisterTimeSource(timeSource_.get());
  // Callers waiting for a perform that will never run stop waiting.
  for (auto& p : performs_)
    if (p.done) p.done->finish();
  if (wakeFd_ >= 0) close(wakeFd_);
}

std::shared_ptr<NSRunLoop> NSRunLoop::makeForThread(bool main) {
  std::shared_ptr<NSRunLoop> loop(new NSRunLoop(main));
  loop->timeSource_ = std::make_shared<TimeSourceAdapter>(loop);
  zvt::registerTimeSource(loop->timeSource_);
  if (main) zvt::mainLoop.store(loop.get(), std::memory_order_release);
  return loop;
}

std::shared_ptr<NSRunLoop> NSRunLoop::currentRunLoop() { return NSThread::currentThread()->runLoop(); }

std::shared_ptr<NSRunLoop> NSRunLoop::mainRunLoop() { return NSThread::mainThread()->runLoop(); }

bool NSRunLoop::onOwnThread() const {
  if (main_) return zvt::onMainThread();
  return thread_.load() == std::this_thread::get_id();
}

std::string NSRunLoop::currentMode() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return runs_.empty() ? std::string() : *runs_.back().name;
}

void NSRunLoop::addCommonMode(const std::string& mode) {
  ModeId id = zvt::internRunLoopMode(mode);
  std::lock_guard<std::mutex> lock(mutex_);
  if (id != zvt::kCommonRunLoopModesId) commonModes_.insert(id);
}

bool NSRunLoop::hasSourcesLocked(ModeId mode) const {
  if (drainsMainQueueLocked(mode)) return true;
  for (const auto& t : timers_)
    if (t.timer->isValid() && inModeLocked(t.modes, mode)) return true;
  for (const auto& s : fileSources_)
    if (inModeLocked(s->modes_, mode)) return true;
  for (const auto& p : ports_)
    if (modeMatchesLocked(p.second, mode)) return true;
  return performReadyLocked(mode);
}

bool NSRunLoop::performReadyLocked(ModeId mode) const {
  for (const auto& p : performs_)
    if (inModeLocked(p.modes, mode)) return true;
  return false;
}

void NSRunLoop::addTimer(const std::shared_ptr<NSTimer>& timer, const std::string& mode) {
  if (!timer) return;
  {
    std::lock_guard<std::mutex> timerLock(timer->mutex_);
    if (!timer->valid_) return;
    auto owner = timer->runLoop_.lock();
    if (owner && owner.get() != this) {
      std::fprintf(stderr, "NSRunLoop: a timer belongs to one run loop; addTimer ignored\n");
      return;
    }
    timer->runLoop_ = weakMe();
  }
  ModeId id = zvt::internRunLoopMode(mode);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(timers_.begin(), timers_.end(),
                           [&](const TimerEntry& e) { return e.timer == timer; });
    if (it == timers_.end()) {
      timers_.push_back({timer, ModeSet(id)});
    } else {
      it->modes.insert(id);
    }
    if (timer->deadline_.load() < timerHint_.load()) timerHint_.store(timer->deadline_.load());
  }
  wakeUp();
}

void NSRunLoop::timerMovedTo(int64_t deadline) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (deadline < timerHint_.load()) timerHint_.store(deadline);
  }
  wakeUp();
}

void NSRunLoop::removeTimer(const NSTimer* timer) {
  std::shared_ptr<NSTimer> dropped;  // released outside the lock
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
      if (it->timer.get() == timer) {
        dropped = std::move(it->timer);
        timers_.erase(it);
        break;
      }
    }
  }
  wakeUp();
}

void NSRunLoop::addPort(const std::shared_ptr<NSPort>& port, const std::string& mode) {
  if (!port) return;
  ModeId id = zvt::internRunLoopMode(mode);
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& p : ports_)
    if (p.first == port && p.second == id) return;
  ports_.emplace_back(port, id);
}

void NSRunLoop::removePort(const std::shared_ptr<NSPort>& port, const std::string& mode) {
  ModeId id = zvt::internRunLoopMode(mode);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ports_.erase(std::remove_if(ports_.begin(), ports_.end(),
                                [&](const auto& p) { return p.first == port && p.second == id; }),
                 ports_.end());
  }
  wakeUp();
}

namespace {

// A list of mode names as numbers; none stands for the common modes.
zvt::RunLoopModeSet modeSetOf(const std::vector<std::string>& modes) {
  zvt::RunLoopModeSet set;
  for (const auto& m : modes) set.insert(zvt::internRunLoopMode(m));
  if (set.empty()) set.insert(zvt::kCommonRunLoopModesId);
  return set;
}

}  // namespace

std::shared_ptr<NSRunLoopFileSource> NSRunLoop::addFileDescriptor(int fd, unsigned events,
                                                                  NSRunLoopFileSource::Callback callback,
                                                                  const std::vector<std::string>& modes) {
  std::shared_ptr<NSRunLoopFileSource> source(new NSRunLoopFileSource(
      fd, events & (NSRunLoopFileSource::kRead | NSRunLoopFileSource::kWrite), std::move(callback),
      modes.empty() ? ModeSet(zvt::kDefaultRunLoopModeId) : modeSetOf(modes), weakMe()));
  {
    std::lock_guard<std::mutex> lock(mutex_);
    fileSources_.push_back(source);
  }
  wakeUp();
  return source;
}

void NSRunLoop::performBlock(std::function<void()> fn) {
  if (!fn) return;
  enqueuePerform({std::move(fn), ModeSet(zvt::kCommonRunLoopModesId), nullptr});
}

void NSRunLoop::performInModes(const std::vector<std::string>& modes, std::function<void()> fn) {
  if (!fn) return;
  enqueuePerform({std::move(fn), modeSetOf(modes), nullptr});
}

void NSRunLoop::enqueuePerform(Perform&& perform) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    performs_.push_back(std::move(perform));
    pendingPerforms_.store(performs_.size());
  }
  wakeUp();
}

void NSRunLoop::wakeUp() {
  if (wakeFd_ < 0) return;
  // The run loop's own thread is not waiting in poll(): it rebuilds its sources and runs its
  // performs before it waits again, so waking it would only cost an extra turn.
  if (onOwnThread()) return;
  if (zvt::wakeUpBatchDepth > 0) {
    if (main_) {
      zvt::mainWakeUpHeld = true;
    } else if (!wakePending_.load()) {  // else a signal is out already
      holdWakeUp();
    }
    return;
  }
  signalWakeFd();
}

void NSRunLoop::holdWakeUp() {
  auto& held = zvt::heldWakeUps;
  for (auto& h : held) {
    if (h.loop != this) continue;
    // The same address with its loop gone: a loop made since in the old one's place.
    if (h.alive.expired()) h.alive = weak_from_this();
    return;
  }
  held.push_back({this, weak_from_this()});
}

void NSRunLoop::signalWakeFd() {
  // One signal until the loop has taken it: waking a sleeping thread is the costly part, and
  // everything queued meanwhile is seen by the pass that the first signal causes.
  if (wakePending_.exchange(true)) return;
  uint64_t one = 1;
  ssize_t ignored = writeNow(wakeFd_, &one, sizeof one);
  (void)ignored;  // a full counter already means "wake up"
}

void NSRunLoop::drainWakeFd() {
  // One read takes the whole counter.
  uint64_t value;
  ssize_t ignored = readNow(wakeFd_, &value, sizeof value);
  (void)ignored;
  // Cleared after the read and before the loop looks at its work again: a wake-up skipped
  // before this point is covered by that look, one after it signals again.
  wakePending_.store(false);
}

void NSRunLoop::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!runs_.empty()) runs_.back().stopped->store(true);
  }
  wakeUp();
}

int64_t NSRunLoop::nextTimerDeadlineLocked(ModeId mode) const {
  int64_t next = zvt::kNoDeadline;
  for (const auto& t : timers_) {
    if (!t.timer->isValid() || t.timer->firing_ || !inModeLocked(t.modes, mode)) continue;
    next = std::min(next, t.timer->deadline_.load());
  }
  return next;
}

int64_t NSRunLoop::nextDeadlineAfter(int64_t after) {
  std::lock_guard<std::mutex> lock(mutex_);
  int64_t next = zvt::kNoDeadline;
  for (const auto& t : timers_) {
    if (!t.timer->isValid()) continue;
    int64_t d = t.timer->deadline_.load();
    if (d > after) next = std::min(next, d);
  }
  return next;
}

void NSRunLoop::timeAdvanced() {
  if (zvt::isAdvancingClockOnThisThread() && onOwnThread()) {
    ModeId mode;
    bool due, drains;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      mode = runs_.empty() ? zvt::kDefaultRunLoopModeId : runs_.back().mode;
      due = nextTimerDeadlineLocked(mode) <= Clock::nowNanos();
      drains = drainsMainQueueLocked(mode);
    }
    bool worked = false;
    if (due) {
      // What a pass of the loop would have done at this moment of the clock.
      notifyObservers(mode, kCFRunLoopBeforeTimers);
      worked = fireDueTimers(mode);
    }
    // The main queue is drained at every step, also when nothing was ever scheduled with
    // dispatch_after (whose timer source drains it too).
    if (drains) worked = zvt::drainMainQueue() > 0 || worked;
    if (worked) notifyObservers(mode, kCFRunLoopBeforeWaiting);
  }
  wakeUp();
}

void NSRunLoop::addObserver(const CFRunLoopObserverRef& observer, const std::string& mode) {
  if (!observer) return;
  ModeId id = zvt::internRunLoopMode(mode);
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& o : observers_)
    if (o.first == observer && o.second == id) return;
  // Kept in calling order: by order, then by when they were added.
  auto at = std::upper_bound(observers_.begin(), observers_.end(), observer->order_,
                             [](int64_t order, const auto& o) { return order < o.first->order_; });
  observers_.emplace(at, observer, id);
  hasObservers_.store(true, std::memory_order_release);
}

void NSRunLoop::removeObserver(const CFRunLoopObserverRef& observer, const std::string& mode) {
  ModeId id = zvt::internRunLoopMode(mode);
  std::lock_guard<std::mutex> lock(mutex_);
  observers_.erase(std::remove_if(observers_.begin(), observers_.end(),
                                  [&](const auto& o) { return o.first == observer && o.second == id; }),
                   observers_.end());
  hasObservers_.store(!observers_.empty(), std::memory_order_release);
}

void NSRunLoop::callObservers(ModeId mode, CFRunLoopActivity activity) {
  // The observers due are taken out of the lock first (a handler may add or remove observers);
  // a few fit on the stack, so that a pass allocates nothing.
  constexpr size_t kInline = 8;
  std::array<CFRunLoopObserverRef, kInline> inlineDue;
  std::vector<CFRunLoopObserverRef> moreDue;
  size_t count = 0;
  auto at = [&](size_t i) -> CFRunLoopObserverRef& { return i < kInline ? inlineDue[i] : moreDue[i - kInline]; };
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (observers_.empty()) return;
    bool invalid = false;
    for (const auto& o : observers_) {
      if (!o.first->isValid()) invalid = true;
      if (!(o.first->activities_ & activity) || !o.first->isValid() || !modeMatchesLocked(o.second, mode)) continue;
      bool seen = false;
      for (size_t i = 0; i < count && !seen; ++i) seen = at(i) == o.first;
      if (seen) continue;
      if (count < kInline) {
        inlineDue[count] = o.first;
      } else {
        moreDue.push_back(o.first);
      }
      ++count;
    }
    // Invalidated observers leave the run loop.
    if (invalid) {
      observers_.erase(
          std::remove_if(observers_.begin(), observers_.end(), [](const auto& o) { return !o.first->isValid(); }),
          observers_.end());
      hasObservers_.store(!observers_.empty(), std::memory_order_release);
    }
  }
  for (size_t i = 0; i < count; ++i) {
    const auto& observer = at(i);
    if (!observer->isValid()) continue;
    if (!observer->repeats_) observer->invalidate();
    if (observer->handler_) observer->handler_(observer, activity);
  }
}

bool NSRunLoop::fireTimersDue(ModeId mode, int64_t limit) {
  bool fired = false;
  for (;;) {
    int64_t now = std::min(Clock::nowNanos(), limit);
    if (timerHint_.load() > now) return fired;  // nothing can be due yet
    std::shared_ptr<NSTimer> due;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      int64_t best = zvt::kNoDeadline;
      int64_t earliest = zvt::kNoDeadline;  // of every valid timer, any mode
      for (const auto& t : timers_) {
        if (!t.timer->isValid()) continue;
        int64_t d = t.timer->deadline_.load();
        earliest = std::min(earliest, d);
        if (t.timer->firing_ || !inModeLocked(t.modes, mode)) continue;
        if (d <= now && (!due || d < best)) {
          due = t.timer;
          best = d;
        }
      }
      timerHint_.store(earliest);
    }
    if (!due) return fired;
    due->fireFromRunLoop(now);
    fired = true;
  }
}

// A perform threw: those after it go back to the head of the queue, in order, for the next
// pass (instead of being lost with their waiters waiting for ever).
[[gnu::cold, gnu::noinline]] void NSRunLoop::requeuePerforms(std::vector<Perform>& ready, size_t next) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    performs_.insert(performs_.begin(), std::make_move_iterator(ready.begin() + static_cast<std::ptrdiff_t>(next)),
                     std::make_move_iterator(ready.end()));
    pendingPerforms_.store(performs_.size());
  }
  ready.clear();
}

void NSRunLoop::takePerformsLocked(ModeId mode, std::vector<Perform>& ready) {
  // Those of this mode come out in order; the others close up behind them, in order.
  size_t kept = 0;
  for (size_t i = 0; i < performs_.size(); ++i) {
    if (inModeLocked(performs_[i].modes, mode)) {
      ready.push_back(std::move(performs_[i]));
    } else {
      if (kept != i) performs_[kept] = std::move(performs_[i]);
      ++kept;
    }
  }
  performs_.erase(performs_.begin() + static_cast<std::ptrdiff_t>(kept), performs_.end());
  pendingPerforms_.store(kept);
}

bool NSRunLoop::runQueuedPerforms(ModeId mode, std::vector<Perform>& ready) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // Mostly every queued perform may run in this mode: the two lists trade places (each
    // keeps its room).
    bool all = true;
    for (const auto& p : performs_) {
      if (!inModeLocked(p.modes, mode)) {
        all = false;
        break;
      }
    }
    if (all) {
      ready.swap(performs_);
      pendingPerforms_.store(0);
    } else {
      takePerformsLocked(mode, ready);
    }
  }
  if (ready.empty()) return false;
  // The list is this depth's, kept from pass to pass: it is emptied however the performs end.
  auto finishPerform = [](Perform& perform) {
    if (perform.done) perform.done->finish();
    perform.fn = nullptr;  // its captures go before the next perform runs
  };
  for (size_t next = 0; next < ready.size();) {
    Perform& perform = ready[next++];
    try {
      perform.fn();
    } catch (...) {
      finishPerform(perform);
      requeuePerforms(ready, next);
      throw;
    }
    finishPerform(perform);
  }
  ready.clear();
  return true;
}

bool NSRunLoop::runMode(const std::string& mode, NSTimeInterval limitDate) {
  int64_t limit = zvt::kNoDeadline;
  if (limitDate < kDistantFutureTimeIntervalSince1970)
    limit = zvt::addSaturating(Clock::nowNanos(), zvt::secondsToNanos(limitDate - Clock::now()));
  return runOnce(mode, limit, zvt::kNoDeadline);
}

bool NSRunLoop::runMode(const std::string& mode, const std::shared_ptr<NSDate>& limitDate) {
  return runMode(mode, limitDate ? limitDate->timeIntervalSince1970() : 0.0);
}

void NSRunLoop::runUntilDate(const std::shared_ptr<NSDate>& limitDate) {
  if (limitDate) runUntilDate(limitDate->timeIntervalSince1970());
}

bool NSRunLoop::runModeWithin(const std::string& mode, NSTimeInterval realSeconds) {
  int64_t realLimit =
      zvt::addSaturating(RealClock::shared()->monotonicNanos(), zvt::secondsToNanos(std::max(0.0, realSeconds)));
  return runOnce(mode, zvt::kNoDeadline, realLimit);
}

namespace {

// Never destroyed: threads may still run their loops while the process exits.
const std::string& defaultModeName() {
  static const std::string& name = *new std::string(NSDefaultRunLoopMode);
  return name;
}

}  // namespace

bool NSRunLoop::runOnce(const std::string& modeIn, int64_t limit, int64_t realLimit) {
  ModeId mode = zvt::internRunLoopMode(modeIn);
  if (mode == zvt::kCommonRunLoopModesId) return runIn(defaultModeName(), zvt::kDefaultRunLoopModeId, limit, realLimit);
  return runIn(modeIn, mode, limit, realLimit);
}

namespace {

[[gnu::cold, gnu::noinline]] bool refuseRunOffThread() {
  std::fprintf(stderr, "NSRunLoop: a run loop runs only on its own thread\n");
  return false;
}

// Whether neither limit of a run has come. Without a limit (run(), and every pass of a network
// thread) the clock need not be read to know.
[[gnu::noinline]] bool beforeSetLimits(int64_t limit, int64_t realLimit) {
  return (limit == zvt::kNoDeadline || Clock::nowNanos() < limit) &&
         (realLimit == zvt::kNoDeadline || RealClock::shared()->monotonicNanos() < realLimit);
}

[[gnu::always_inline]] inline bool beforeLimits(int64_t limit, int64_t realLimit) {
  return (limit == zvt::kNoDeadline && realLimit == zvt::kNoDeadline) || beforeSetLimits(limit, realLimit);
}

}  // namespace

NSRunLoop::PassLists& NSRunLoop::addPassLists(size_t depth) {
  while (passLists_.size() <= depth) passLists_.push_back(std::make_unique<PassLists>());
  return *passLists_[depth];
}

bool NSRunLoop::runIn(const std::string& name, ModeId mode, int64_t limit, int64_t realLimit, bool untilNoSources) {
  if (!onOwnThread()) [[unlikely]]
    return refuseRunOffThread();
  std::atomic<bool> stopped{false};
  size_t depth;
  bool drains;  // drainsMainQueueLocked(mode)
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!hasSourcesLocked(mode)) return false;
    depth = runs_.size();
    runs_.push_back({&name, mode, &stopped});
    drains = drainsMainQueueLocked(mode);
  }
  struct Leave {
    NSRunLoop* loop;
    ModeId mode;
    ~Leave() {
      loop->notifyObservers(mode, kCFRunLoopExit);
      std::lock_guard<std::mutex> lock(loop->mutex_);
      loop->runs_.pop_back();
    }
  } leave{this, mode};
  notifyObservers(mode, kCFRunLoopEntry);

  // The lists of this depth of nested runs, kept from pass to pass (own thread only).
  PassLists& lists = passListsAt(depth);
  for (;;) {
    notifyObservers(mode, kCFRunLoopBeforeTimers);
    fireDueTimers(mode, limit);
    notifyObservers(mode, kCFRunLoopBeforeSources);
    bool handled = runPerforms(mode, lists.ready);
    if (drains) handled = zvt::drainMainQueue() > 0 || handled;
    if (!handled && !stopped) {
      PassEnd end = waitForSources(mode, limit, realLimit, drains, lists);
      if (end == PassEnd::kAgain) continue;
      if (end == PassEnd::kLeave) break;
      handled = end == PassEnd::kHandled;
      if (!handled && !stopped) {
        if (beforeLimits(limit, realLimit)) continue;
        fireDueTimers(mode, limit);
        break;
      }
    }
    if (handled) spinAfterWork_ = true;
    // Without observers, the next run would only differ by its entry and exit (a loop left
    // without sources ends at the look before waiting).
    if (!untilNoSources || hasObservers_.load(std::memory_order_acquire)) break;
    stopped = false;
  }
  return true;
}

NSRunLoop::PassEnd NSRunLoop::waitForSources(ModeId mode, int64_t limit, int64_t realLimit, bool& drains,
                                             PassLists& lists) {
  // About to wait: the observers run (the display pass), and whatever they queued, and
  // whatever became due meanwhile, is handled before the loop sleeps.
  const bool mayWait = beforeLimits(limit, realLimit);
  if (mayWait) {
    notifyObservers(mode, kCFRunLoopBeforeWaiting);
    if (drains && zvt::mainQueueHasBlocks()) {
      notifyObservers(mode, kCFRunLoopAfterWaiting);
      return PassEnd::kAgain;
    }
  }

  std::vector<pollfd>& fds = lists.fds;
  std::vector<std::shared_ptr<NSRunLoopFileSource>>& sources = lists.sources;
  struct ClearSources {
    std::vector<std::shared_ptr<NSRunLoopFileSource>>& sources;
    ~ClearSources() { sources.clear(); }  // holds no source past the wait
  } clearSources{sources};
  int64_t timerDeadline;
  bool workReady = false;
  fds.clear();
  fds.push_back({wakeFd_, POLLIN, 0});
  {
    std::lock_guard<std::mutex> lock(mutex_);
    timerDeadline = nextTimerDeadlineLocked(mode);
    if (mayWait && performReadyLocked(mode)) {
      workReady = true;
    } else {
      drains = drainsMainQueueLocked(mode);
      bool hasSources = drains;  // the main queue counts as a source
      for (const auto& s : fileSources_) {
        if (!inModeLocked(s->modes_, mode)) continue;
        hasSources = true;  // also while paused
        unsigned ev = s->events();
        if (ev == 0) continue;
        short pev = 0;
        if (ev & NSRunLoopFileSource::kRead) pev |= POLLIN;
        if (ev & NSRunLoopFileSource::kWrite) pev |= POLLOUT;
        fds.push_back({s->fd(), pev, 0});
        sources.push_back(s);
      }
      // Only a loop without file sources in the mode looks at its other kinds.
      if (!hasSources && !hasSourcesLocked(mode)) return PassEnd::kLeave;
    }
  }
  // Read only when there is a deadline to wait for (the main loop's usual wait has none); a
  // timer due by now is a source in this mode, so the look above has not left.
  int64_t now = 0;
  if (timerDeadline != zvt::kNoDeadline || limit != zvt::kNoDeadline) {
    now = Clock::nowNanos();
    if (mayWait && timerDeadline <= now) workReady = true;
  }
  if (workReady) {
    notifyObservers(mode, kCFRunLoopAfterWaiting);
    return PassEnd::kAgain;
  }

  int timeoutMs = -1;
  int64_t waitNs = -1;  // how long the poll may wait, -1 for ever
  if (now >= limit) {
    timeoutMs = 0;
    waitNs = 0;
  } else {
    int64_t wake = std::min(timerDeadline, limit);
    if (wake != zvt::kNoDeadline && !zvt::currentClockIsVirtual()) {
      waitNs = std::max<int64_t>(wake - now, 0);
      int64_t ms = (waitNs + 999999) / 1000000;
      timeoutMs = static_cast<int>(std::min<int64_t>(ms, INT_MAX));
    }
  }
  if (realLimit != zvt::kNoDeadline) [[unlikely]] {
    int64_t left = std::max<int64_t>(realLimit - RealClock::shared()->monotonicNanos(), 0);
    int64_t ms = (left + 999999) / 1000000;
    if (timeoutMs < 0 || ms < timeoutMs) timeoutMs = static_cast<int>(std::min<int64_t>(ms, INT_MAX));
    if (waitNs < 0 || left < waitNs) waitNs = left;
  }

  // Nothing this thread handed to other run loops waits for its next callback.
  zvt::WakeUpBatch::flush();
  int n = zvt::spin::mayBeOn() ? spinBeforePoll(fds, waitNs) : 0;
  if (n <= 0 && timeoutMs != 0) {
    // A worker of the dispatch pool turning a run loop (a download operation waiting on the
    // network) is blocked while it waits here: the pool starts another worker meanwhile, or
    // a few such waits would leave every queue without a thread.
    zvt::BlockingScope waiting{zvt::BlockingScope::AfterFlush{}};
    n = pollNow(fds.data(), fds.size(), timeoutMs);
  } else if (n <= 0) {
    n = pollNow(fds.data(), fds.size(), 0);
  }
  if (mayWait) notifyObservers(mode, kCFRunLoopAfterWaiting);
  if (n <= 0) return PassEnd::kIdle;
  if (fds[0].revents) drainWakeFd();
  bool handled = false;
  for (size_t i = 1; i < fds.size(); ++i) {
    short re = fds[i].revents;
    if (!re) continue;
    const auto& source = sources[i - 1];
    unsigned ready = 0;
    if (re & POLLIN) ready |= NSRunLoopFileSource::kRead;
    if (re & POLLOUT) ready |= NSRunLoopFileSource::kWrite;
    if (re & (POLLERR | POLLHUP | POLLNVAL)) [[unlikely]]
      ready |= NSRunLoopFileSource::kError |
               (source->events() & (NSRunLoopFileSource::kRead | NSRunLoopFileSource::kWrite));
    std::shared_ptr<NSRunLoopFileSource::Callback> callback;
    {
      std::lock_guard<std::mutex> lock(source->mutex_);
      if (source->valid_.load(std::memory_order_relaxed)) callback = source->callback_;
    }
    if (!callback) continue;
    (*callback)(source->fd(), ready);
    handled = true;
    // A descriptor closed under the source would report itself ready forever.
    if (re & POLLNVAL) [[unlikely]]
      source->invalidate();
  }
  return handled ? PassEnd::kHandled : PassEnd::kIdle;
}

int NSRunLoop::spinBeforePoll(std::vector<pollfd>& fds, int64_t waitNs) {
  // Only right after the loop did some work: a request's next hand-off tends to follow within
  // microseconds, an idle loop's does not. Never past the loop's next timer or its limit.
  if (!spinAfterWork_ || waitNs == 0) return 0;
  int64_t budget = zvt::spin::budgetNanos();
  if (budget <= 0 || (waitNs > 0 && waitNs <= budget)) return 0;
  int n = 0;
  unsigned rounds = 0;
  // The descriptors cost a system call to look at: every few rounds only, but every round
  // where a round is a yield.
  const unsigned roundsPerPoll = zvt::spin::singleProcessor() ? 1 : kSpinRoundsPerPoll;
  bool woken = zvt::spin::spinUntil(budget, [&] {
    if (wakePending_.load(std::memory_order_acquire)) return true;
    if (fds.size() > 1 && ++rounds % roundsPerPoll == 0) {
      n = pollNow(fds.data(), fds.size(), 0);
      return n > 0;
    }
    return false;
  });
  // Nothing came: sleep, and spin again only once the loop has had work again.
  if (!woken) spinAfterWork_ = false;
  return n;
}

void NSRunLoop::runUntilDate(NSTimeInterval limitDate) {
  // At least one pass, also for a date that has already come.
  while (runMode(NSDefaultRunLoopMode, limitDate) && Clock::now() < limitDate) {
  }
}

void NSRunLoop::run() {
  // runMode in the default mode without a limit, pass after pass.
  while (runIn(defaultModeName(), zvt::kDefaultRunLoopModeId, zvt::kNoDeadline, zvt::kNoDeadline, true)) {
  }
}

// ---------------------------------------------------------------------------------------------

void NSRunLoop::performAndWait(std::shared_ptr<NSRunLoop> loop, std::function<void()> fn, ModeSet modes) {
  auto done = std::make_shared<PerformDone>();
  loop->enqueuePerform({std::move(fn), std::move(modes), done});
  loop = nullptr;  // the thread's end must be able to release its run loop
  zvt::BlockingScope blocking;
  std::unique_lock<std::mutex> lock(done->mutex);
  done->cv.wait(lock, [&] { return done->done; });
}

void performOnThread(const std::shared_ptr<NSThread>& thread, std::function<void()> fn, bool wait,
                     const std::vector<std::string>& modes) {
  if (!thread || !fn || thread->isFinished()) return;
  if (wait && NSThread::currentThread() == thread) {
    fn();
    return;
  }
  auto loop = thread->runLoop();
  if (!loop) return;
  if (wait) {
    NSRunLoop::performAndWait(std::move(loop), std::move(fn), modeSetOf(modes));
    return;
  }
  loop->enqueuePerform({std::move(fn), modeSetOf(modes), nullptr});  // no modes: the common modes
}
