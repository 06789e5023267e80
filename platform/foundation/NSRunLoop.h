// Per-thread run loops: timers, file-descriptor sources, performed functions and keep-alive
// ports, each in one or more modes; woken from other threads through an eventfd.
//
// A run loop runs only on its own thread. Timers read their deadlines from Clock: under a
// VirtualClock they fire when the clock is advanced (at once when it is advanced on the run
// loop's own thread, otherwise when that thread's run loop next looks).
//
// The main run loop also drains the main dispatch queue whenever it runs in a common mode, and
// always counts as having a source in those modes (as the system's does), so run() on it never
// returns; tests pump it with runMode()/runUntilDate() or tests/support/MainLoop.h.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSObject.h"

struct pollfd;
class NSThread;
class NSTimer;
class NSRunLoop;

namespace zvt {

// Holds back the wake-ups that the calling thread gives other run loops until its outermost
// batch ends. A thread that hands several pieces of work to a run loop in a row (a load's last
// reports), or hands work over while holding a lock that the woken thread takes first, would
// otherwise wake it once per piece or straight into that lock; on a busy core each such wake
// is a thread switch. The wake-ups are given before the thread blocks in a dispatch wait or a
// waiting perform and before its own run loop sleeps, so that nothing it waits for is held back.
class WakeUpBatch {
 public:
  WakeUpBatch();
  ~WakeUpBatch();
  WakeUpBatch(const WakeUpBatch&) = delete;
  WakeUpBatch& operator=(const WakeUpBatch&) = delete;
  // Gives the wake-ups held back so far now.
  static void flush();

 private:
  [[gnu::noinline]] static void giveHeld();
  [[gnu::noinline]] static void giveHeldMain();
};

// Run loops compare modes by number: each mode name is turned into a small number once per
// process, so that a pass asks "may this timer, source or perform run now" without comparing
// strings. 0 is the default mode, 1 stands for the common modes.
using RunLoopModeId = uint32_t;
inline constexpr RunLoopModeId kDefaultRunLoopModeId = 0;
inline constexpr RunLoopModeId kCommonRunLoopModesId = 1;
RunLoopModeId internRunLoopMode(std::string_view name);

// A few modes (mostly one): the first 64 numbers as bits, the rest (rare) in a list.
class RunLoopModeSet {
 public:
  RunLoopModeSet() = default;
  explicit RunLoopModeSet(RunLoopModeId mode) { insert(mode); }
  bool contains(RunLoopModeId mode) const {
    if (mode < 64) return (bits_ >> mode) & 1u;
    for (RunLoopModeId m : more_)
      if (m == mode) return true;
    return false;
  }
  void insert(RunLoopModeId mode) {
    if (mode < 64) {
      bits_ |= uint64_t{1} << mode;
    } else if (!contains(mode)) {
      more_.push_back(mode);
    }
  }
  bool empty() const { return bits_ == 0 && more_.empty(); }

 private:
  uint64_t bits_ = 0;
  std::vector<RunLoopModeId> more_;
};

}  // namespace zvt

// Mode names; NSRunLoopCommonModes stands for every mode of the run loop's common set
// (NSDefaultRunLoopMode plus those added with addCommonMode).
inline constexpr char NSDefaultRunLoopMode[] = "kCFRunLoopDefaultMode";
inline constexpr char NSRunLoopCommonModes[] = "kCFRunLoopCommonModes";

// A date far enough away to mean "never" (seconds since 1970, year 4001).
inline constexpr NSTimeInterval kDistantFutureTimeIntervalSince1970 = 64092211200.0;

// Keep-alive port: a run loop with a port in a mode always has a source in that mode, so
// run() keeps it waiting for work forever (the network thread's idiom).
class NSPort : public NSObject {
 public:
  static std::shared_ptr<NSPort> port() { return std::make_shared<NSPort>(); }
};
using NSMachPort = NSPort;

// A file descriptor watched by a run loop. The callback runs on the run loop's thread with the
// events that are ready (kRead, kWrite; kError on error or hang-up, together with the events
// asked for, so that the callback's read or write sees the condition).
class NSRunLoopFileSource {
 public:
  enum Event : unsigned { kRead = 1, kWrite = 2, kError = 4 };
  using Callback = std::function<void(int fd, unsigned events)>;

  int fd() const { return fd_; }
  unsigned events() const { return events_.load(); }
  // Changes the interest (0 pauses the source without removing it); any thread.
  void setEvents(unsigned events);
  // Removes the source; no callback starts afterwards. Any thread.
  void invalidate();
  bool isValid() const;

 private:
  friend class NSRunLoop;
  NSRunLoopFileSource(int fd, unsigned events, Callback callback, zvt::RunLoopModeSet modes,
                      std::weak_ptr<NSRunLoop> runLoop)
      : fd_(fd), events_(events), callback_(std::make_shared<Callback>(std::move(callback))),
        modes_(std::move(modes)),
        runLoop_(std::move(runLoop)) {}

  const int fd_;
  mutable std::mutex mutex_;
  std::atomic<unsigned> events_;  // read by the run loop's pass without the lock
  std::atomic<bool> valid_{true};  // written under mutex_, read without it
  std::shared_ptr<Callback> callback_;  // dropped on invalidate; a running call keeps its copy
  const zvt::RunLoopModeSet modes_;
  std::weak_ptr<NSRunLoop> runLoop_;
};

// The moments of a run loop's pass that observers can watch (CFRunLoopActivity).
enum CFRunLoopActivity : unsigned {
  kCFRunLoopEntry = 1u << 0,
  kCFRunLoopBeforeTimers = 1u << 1,
  kCFRunLoopBeforeSources = 1u << 2,
  kCFRunLoopBeforeWaiting = 1u << 5,
  kCFRunLoopAfterWaiting = 1u << 6,
  kCFRunLoopExit = 1u << 7,
  kCFRunLoopAllActivities = 0x0FFFFFFFu,
};

// A run-loop observer (CFRunLoopObserver): its handler runs on the run loop's thread at the
// activities it asks for, in ascending `order` among the observers of one activity (then in
// the order they were added). A run loop waits only when a pass handled nothing, so a pass
// that handled something reaches kCFRunLoopExit without kCFRunLoopBeforeWaiting. Under a
// virtual clock, an advance that fires timers on the run loop's own thread counts as a pass
// that handled them: kCFRunLoopBeforeTimers before, kCFRunLoopBeforeWaiting after.
class CFRunLoopObserver {
 public:
  using Handler = std::function<void(const std::shared_ptr<CFRunLoopObserver>& observer, CFRunLoopActivity activity)>;

  CFRunLoopObserver(unsigned activities, bool repeats, int64_t order, Handler handler)
      : activities_(activities), repeats_(repeats), order_(order), handler_(std::move(handler)) {}

  unsigned activities() const { return activities_; }
  bool doesRepeat() const { return repeats_; }
  int64_t order() const { return order_; }
  // No handler runs after this (a one-shot observer invalidates itself after its call).
  void invalidate() { valid_ = false; }
  bool isValid() const { return valid_; }

 private:
  friend class NSRunLoop;
  const unsigned activities_;
  const bool repeats_;
  const int64_t order_;
  std::atomic<bool> valid_{true};
  Handler handler_;
};
using CFRunLoopObserverRef = std::shared_ptr<CFRunLoopObserver>;

inline CFRunLoopObserverRef CFRunLoopObserverCreateWithHandler(unsigned activities, bool repeats, int64_t order,
                                                               CFRunLoopObserver::Handler handler) {
  return std::make_shared<CFRunLoopObserver>(activities, repeats, order, std::move(handler));
}

class NSRunLoop : public NSObject {
 public:
  ~NSRunLoop() override;

  static std::shared_ptr<NSRunLoop> currentRunLoop();
  static std::shared_ptr<NSRunLoop> mainRunLoop();

  // The mode of the innermost run in progress on this run loop, "" when it is not running.
  std::string currentMode() const;
  void addCommonMode(const std::string& mode);

  // addTimer:forMode: (a timer belongs to one run loop; a second run loop is refused).
  void addTimer(const std::shared_ptr<NSTimer>& timer, const std::string& mode);
  // addPort:forMode: / removePort:forMode:
  void addPort(const std::shared_ptr<NSPort>& port, const std::string& mode);
  void removePort(const std::shared_ptr<NSPort>& port, const std::string& mode);

  // CFRunLoopAddObserver / CFRunLoopRemoveObserver (NSRunLoopCommonModes: the common set).
  void addObserver(const CFRunLoopObserverRef& observer, const std::string& mode);
  void removeObserver(const CFRunLoopObserverRef& observer, const std::string& mode);

  // Watches `fd`; see NSRunLoopFileSource.
  std::shared_ptr<NSRunLoopFileSource> addFileDescriptor(int fd, unsigned events,
                                                         NSRunLoopFileSource::Callback callback,
                                                         const std::vector<std::string>& modes = {
                                                             NSDefaultRunLoopMode});

  // performBlock: runs `fn` once, the next time the run loop runs in a common mode.
  void performBlock(std::function<void()> fn);
  // performInModes:block:
  void performInModes(const std::vector<std::string>& modes, std::function<void()> fn);

  // runMode:beforeDate: runs the loop once in `mode`: fires due timers, and waits until one
  // input (a performed function, a file-descriptor callback, main-queue blocks) has been
  // handled, stop() was called, or `limitDate` (seconds since 1970 on Clock's wall time)
  // passed. Returns false at once when the mode has no source and no timer.
  bool runMode(const std::string& mode, NSTimeInterval limitDate);
  // The same with an NSDate (nil: a date in the past, one pass without waiting).
  bool runMode(const std::string& mode, const std::shared_ptr<NSDate>& limitDate);
  // runMode:beforeDate: with a limit of `realSeconds` on the system's clock whatever Clock is
  // installed: lets tests pump a run loop under a virtual clock without hanging.
  bool runModeWithin(const std::string& mode, NSTimeInterval realSeconds);
  // runUntilDate: runs in the default mode until the date passes or no source is left.
  void runUntilDate(NSTimeInterval limitDate);
  void runUntilDate(const std::shared_ptr<NSDate>& limitDate);
  // run: runs in the default mode until no source is left.
  void run();
  // CFRunLoopStop: the innermost run in progress returns.
  void stop();
  // Wakes the run loop from any thread so that it looks at its timers and sources again
  // (inside a zvt::WakeUpBatch of the calling thread, when the batch ends).
  void wakeUp();

  bool isMainRunLoop() const { return main_; }

  // Internal: the thread's object makes its run loop.
  static std::shared_ptr<NSRunLoop> makeForThread(bool main);

 private:
  friend class NSTimer;
  friend class NSThread;
  friend struct ThreadRegistry;
  friend class NSRunLoopFileSource;
  friend void performOnThread(const std::shared_ptr<NSThread>&, std::function<void()>, bool,
                              const std::vector<std::string>&);
  class TimeSourceAdapter;
  using ModeId = zvt::RunLoopModeId;
  using ModeSet = zvt::RunLoopModeSet;

  struct TimerEntry {
    std::shared_ptr<NSTimer> timer;
    ModeSet modes;
  };
  struct Perform {
    std::function<void()> fn;
    ModeSet modes;  // kCommonRunLoopModesId for the common modes
    std::shared_ptr<struct PerformDone> done;
  };
  // A run in progress (innermost last): its mode and its stop flag.
  struct Run {
    const std::string* name;  // alive while the run lasts
    ModeId mode;
    std::atomic<bool>* stopped;
  };
  // What one depth of nested runs keeps from pass to pass (own thread only).
  struct PassLists {
    std::vector<pollfd> fds;
    std::vector<std::shared_ptr<NSRunLoopFileSource>> sources;
    std::vector<Perform> ready;  // the performs a pass runs, taken out of the queue
  };

  explicit NSRunLoop(bool main);
  std::weak_ptr<NSRunLoop> weakMe() { return std::static_pointer_cast<NSRunLoop>(shared_from_this()); }
  bool onOwnThread() const;
  bool isCommonModeLocked(ModeId mode) const {
    return mode == zvt::kDefaultRunLoopModeId || commonModes_.contains(mode);
  }
  bool inModeLocked(const ModeSet& modes, ModeId mode) const {
    return modes.contains(mode) || (modes.contains(zvt::kCommonRunLoopModesId) && isCommonModeLocked(mode));
  }
  bool modeMatchesLocked(ModeId entryMode, ModeId mode) const {
    return entryMode == mode || (entryMode == zvt::kCommonRunLoopModesId && isCommonModeLocked(mode));
  }
  // The main loop in a common mode: it runs the main queue's blocks (which count as a source).
  bool drainsMainQueueLocked(ModeId mode) const { return main_ && isCommonModeLocked(mode); }
  bool hasSourcesLocked(ModeId mode) const;
  bool performReadyLocked(ModeId mode) const;
  void enqueuePerform(Perform&& perform);
  // performOnThread's waiting form: the caller waits until the perform has run (or never will).
  [[gnu::noinline]] static void performAndWait(std::shared_ptr<NSRunLoop> loop, std::function<void()> fn, ModeSet modes);
  // Fires every due timer of `mode`, earliest first; within a run, only those due by the
  // run's limit (a jump of a virtual clock past the limit leaves later timers to later runs).
  // Returns whether a timer fired. A loop without timers does not read the clock.
  bool fireDueTimers(ModeId mode, int64_t limit = INT64_MAX) {
    // Mostly none is due (a loader's one time-out timer is far off): the look takes no call.
    const int64_t hint = timerHint_.load();
    return hint != INT64_MAX && hint <= limit && Clock::nowNanos() >= hint && fireTimersDue(mode, limit);
  }
  bool fireTimersDue(ModeId mode, int64_t limit);
  void notifyObservers(ModeId mode, CFRunLoopActivity activity) {
    if (hasObservers_.load(std::memory_order_acquire)) callObservers(mode, activity);
  }
  void callObservers(ModeId mode, CFRunLoopActivity activity);
  // Runs the queued performs of `mode`; a pass with none queued takes no lock.
  bool runPerforms(ModeId mode, std::vector<Perform>& ready) {
    return pendingPerforms_.load() != 0 && runQueuedPerforms(mode, ready);
  }
  bool runQueuedPerforms(ModeId mode, std::vector<Perform>& ready);
  // Moves the performs of `mode` into `ready` (`ready` empty), the others staying in order.
  [[gnu::noinline]] void takePerformsLocked(ModeId mode, std::vector<Perform>& ready);
  void requeuePerforms(std::vector<Perform>& ready, size_t next);
  bool runOnce(const std::string& mode, int64_t limit, int64_t realLimit);
  // One run (runMode); with `untilNoSources` (run()), passes follow each other in the same
  // run while nobody observes the loop, as separate runs would without their entry and exit.
  bool runIn(const std::string& name, ModeId mode, int64_t limit, int64_t realLimit, bool untilNoSources = false);
  // The second half of a pass that handled nothing: the observers before waiting, the poll set,
  // the wait and the ready descriptors' callbacks. kAgain: work became ready before the wait
  // (a new pass); kLeave: the mode has no source left; kHandled: a callback ran; kIdle: none.
  // Kept out of runIn so that the passes that find work at once walk little code.
  enum class PassEnd { kAgain, kLeave, kHandled, kIdle };
  PassEnd waitForSources(ModeId mode, int64_t limit, int64_t realLimit, bool& drains, PassLists& lists);
  PassLists& passListsAt(size_t depth) {
    return depth < passLists_.size() ? *passLists_[depth] : addPassLists(depth);
  }
  PassLists& addPassLists(size_t depth);
  int64_t nextTimerDeadlineLocked(ModeId mode) const;
  int64_t nextDeadlineAfter(int64_t after);
  void timeAdvanced();
  void removeTimer(const NSTimer* timer);
  // A timer of this loop got an earlier fire date.
  void timerMovedTo(int64_t deadline);
  // Keeps a wake-up for the end of the calling thread's WakeUpBatch.
  [[gnu::noinline]] void holdWakeUp();
  void drainWakeFd();
  void signalWakeFd();
  // Spins a little before the loop's poll (see zvt::spin); returns what a zero-timeout poll
  // of `fds` found ready (the poll's result), or 0 when the loop should poll as usual.
  int spinBeforePoll(std::vector<pollfd>& fds, int64_t waitNs);
  static constexpr unsigned kSpinRoundsPerPoll = 32;
  friend class zvt::WakeUpBatch;

  const bool main_;
  std::atomic<std::thread::id> thread_{};
  int wakeFd_ = -1;
  std::atomic<bool> wakePending_{false};  // wakeFd_ was signalled and not yet drained
  bool spinAfterWork_ = false;            // the loop's last pass handled something (own thread only)
  mutable std::mutex mutex_;
  ModeSet commonModes_;
  std::vector<TimerEntry> timers_;
  // No valid timer of this loop is due before this (Clock nanoseconds): a pass that finds the
  // clock before it fires nothing and takes no lock. Lowered under mutex_ whenever a timer is
  // added or made earlier, set again by each look at the timers.
  std::atomic<int64_t> timerHint_{INT64_MAX};
  std::vector<std::shared_ptr<NSRunLoopFileSource>> fileSources_;
  std::vector<Perform> performs_;  // in the order they came
  // performs_.size(), kept under mutex_ and read without it: a pass with nothing queued takes
  // no lock for its performs (a perform queued meanwhile signals the wake-up descriptor).
  std::atomic<size_t> pendingPerforms_{0};
  std::vector<std::pair<std::shared_ptr<NSPort>, ModeId>> ports_;
  std::vector<std::pair<CFRunLoopObserverRef, ModeId>> observers_;
  // !observers_.empty(), kept under mutex_ and read without it: a loop without observers (a
  // loader thread's) passes each activity without taking the lock.
  std::atomic<bool> hasObservers_{false};
  std::vector<Run> runs_;
  // One per depth of nested runs (own thread only); each stays where it is while deeper runs
  // add theirs.
  std::vector<std::unique_ptr<PassLists>> passLists_;
  std::shared_ptr<TimeSourceAdapter> timeSource_;
};
