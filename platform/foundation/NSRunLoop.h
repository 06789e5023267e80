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
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <set>
#include <string>
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
  unsigned events() const;
  // Changes the interest (0 pauses the source without removing it); any thread.
  void setEvents(unsigned events);
  // Removes the source; no callback starts afterwards. Any thread.
  void invalidate();
  bool isValid() const;

 private:
  friend class NSRunLoop;
  NSRunLoopFileSource(int fd, unsigned events, Callback callback, std::vector<std::string> modes,
                      std::weak_ptr<NSRunLoop> runLoop)
      : fd_(fd), events_(events), callback_(std::make_shared<Callback>(std::move(callback))),
        modes_(std::move(modes)),
        runLoop_(std::move(runLoop)) {}

  const int fd_;
  mutable std::mutex mutex_;
  unsigned events_;
  bool valid_ = true;
  std::shared_ptr<Callback> callback_;  // dropped on invalidate; a running call keeps its copy
  const std::vector<std::string> modes_;
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

  struct TimerEntry {
    std::shared_ptr<NSTimer> timer;
    std::set<std::string> modes;
  };
  struct Perform {
    std::function<void()> fn;
    std::vector<std::string> modes;  // none: the common modes
    std::shared_ptr<struct PerformDone> done;
  };

  explicit NSRunLoop(bool main);
  std::weak_ptr<NSRunLoop> weakMe() { return std::static_pointer_cast<NSRunLoop>(shared_from_this()); }
  bool onOwnThread() const;
  bool isCommonMode(const std::string& mode) const;
  bool modeMatchesLocked(const std::string& entryMode, const std::string& mode) const;
  bool inModeLocked(const std::vector<std::string>& modes, const std::string& mode) const;
  bool inModeLocked(const std::set<std::string>& modes, const std::string& mode) const;
  bool hasSourcesLocked(const std::string& mode) const;
  bool drainsMainQueueIn(const std::string& mode) const;
  void enqueuePerform(Perform perform);
  // Fires every due timer of `mode`, earliest first; within a run, only those due by the
  // run's limit (a jump of a virtual clock past the limit leaves later timers to later runs).
  // Returns whether a timer fired.
  bool fireDueTimers(const std::string& mode, int64_t limit = INT64_MAX);
  void notifyObservers(const std::string& mode, CFRunLoopActivity activity);
  // Performs, main-queue blocks or due timers wait in `mode`.
  bool workReady(const std::string& mode);
  bool runPerforms(const std::string& mode);
  bool runOnce(const std::string& mode, int64_t limit, int64_t realLimit);
  int64_t nextTimerDeadlineLocked(const std::string& mode) const;
  int64_t nextDeadlineAfter(int64_t after);
  void timeAdvanced();
  void removeTimer(const NSTimer* timer);
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
  std::set<std::string> commonModes_;
  std::vector<TimerEntry> timers_;
  std::vector<std::shared_ptr<NSRunLoopFileSource>> fileSources_;
  std::deque<Perform> performs_;
  std::vector<std::pair<std::shared_ptr<NSPort>, std::string>> ports_;
  std::vector<std::pair<CFRunLoopObserverRef, std::string>> observers_;
  // !observers_.empty(), kept under mutex_ and read without it: a loop without observers (a
  // loader thread's) passes each activity without taking the lock.
  std::atomic<bool> hasObservers_{false};
  std::vector<const std::string*> modeStack_;  // each run's mode, alive while the run lasts
  struct PollLists {
    std::vector<pollfd> fds;
    std::vector<std::shared_ptr<NSRunLoopFileSource>> sources;
  };
  std::deque<PollLists> pollLists_;  // one per depth of nested runs (own thread only)
  std::vector<std::atomic<bool>*> stopFlags_;  // one per run in progress, innermost last
  std::shared_ptr<TimeSourceAdapter> timeSource_;
};
