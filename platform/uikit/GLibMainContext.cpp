#include "platform/uikit/GLibMainContext.h"

#include <glib.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <vector>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSTimer.h"
#include "platform/uikit/UIKitMainThread.h"

namespace zvt::ui {

namespace {

// Runs after the display pass of the same moment (the display cycle observes at 2,000,000):
// the pass may give GLib work (a window's paint asked for), and nothing may read GLib's
// descriptors between the last look at GLib and the loop's sleep.
constexpr int64_t kObserverOrder = 3000000;

class Join {
 public:
  explicit Join(GMainContext* context) : context_(context) {}

  // One cycle: the pending check and dispatch, then the next prepare and query. Before the loop
  // waits, a cycle that dispatched keeps it awake for one more pass, so that what GLib's
  // callbacks changed is laid out and drawn.
  void cycle(bool beforeWaiting = false) {
    if (busy_) return;
    busy_ = true;
    const unsigned long before = dispatches_;
    finish();
    for (int round = 0;; ++round) {
      gint timeout = -1;
      const bool ready = begin(&timeout);
      if (!ready && timeout != 0) {
        watch(timeout);
        break;
      }
      if (round == 8) {
        // Still ready after several rounds: come back on the next turn rather than starve the
        // run loop's other sources.
        watch(0);
        break;
      }
      finish();
    }
    busy_ = false;
    if (beforeWaiting && dispatches_ != before) NSRunLoop::mainRunLoop()->performBlock([] {});
  }

  unsigned long dispatches() const { return dispatches_; }

 private:
  // Prepares and queries GLib; true when a source is ready now.
  bool begin(gint* timeout) {
    gint priority = 0;
    const bool ready = g_main_context_prepare(context_, &priority);
    priority_ = priority;
    for (;;) {
      const gint needed = g_main_context_query(context_, priority_, timeout, fds_.data(), static_cast<gint>(fds_.size()));
      if (needed <= static_cast<gint>(fds_.size())) {
        fds_.resize(static_cast<size_t>(needed));
        break;
      }
      fds_.resize(static_cast<size_t>(needed));
    }
    prepared_ = true;
    return ready;
  }

  // Checks the prepared cycle against the descriptors' readiness now and dispatches.
  void finish() {
    if (!prepared_) return;
    prepared_ = false;
    pause();
    for (auto& fd : fds_) fd.revents = 0;
    if (!fds_.empty()) g_poll(fds_.data(), static_cast<guint>(fds_.size()), 0);
    if (g_main_context_check(context_, priority_, fds_.data(), static_cast<gint>(fds_.size()))) {
      ++dispatches_;
      g_main_context_dispatch(context_);
    }
  }

  // GLib's descriptors become run-loop sources and its timeout a run-loop timer (or a timerfd).
  void watch(gint timeout) {
    std::map<int, unsigned> wanted;
    for (const auto& fd : fds_) {
      unsigned events = 0;
      if (fd.events & (G_IO_IN | G_IO_PRI | G_IO_HUP | G_IO_ERR)) events |= NSRunLoopFileSource::kRead;
      if (fd.events & G_IO_OUT) events |= NSRunLoopFileSource::kWrite;
      wanted[fd.fd] |= events;
    }
    for (auto it = sources_.begin(); it != sources_.end();) {
      if (!wanted.count(it->first)) {
        it->second->invalidate();
        it = sources_.erase(it);
      } else {
        ++it;
      }
    }
    auto loop = NSRunLoop::mainRunLoop();
    for (const auto& [fd, events] : wanted) {
      auto it = sources_.find(fd);
      if (it != sources_.end()) {
        it->second->setEvents(events);
        continue;
      }
      sources_[fd] = loop->addFileDescriptor(
          fd, events, [this](int, unsigned) { cycle(); }, {NSRunLoopCommonModes});
    }
    // On the system's clock a run-loop timer; under a virtual clock (tests) GLib's timeout must
    // still pass in real time, so that the clock a test holds does not hold back a web engine.
    if (timer_) timer_->invalidate();
    timer_ = nullptr;
    if (Clock::current()->isVirtual()) {
      armTimer(timeout);
      return;
    }
    armTimer(-1);
    if (timeout >= 0) {
      timer_ = NSTimer::timerWithTimeInterval(timeout / 1000.0, false, [this](const std::shared_ptr<NSTimer>&) {
        timer_ = nullptr;
        cycle();
      });
      loop->addTimer(timer_, NSRunLoopCommonModes);
    }
  }

  // GLib's timeout is on the system's monotonic clock whatever clock the run loop's timers
  // follow (a test's virtual clock must not hold back a web engine's timers): a timerfd, watched
  // like GLib's own descriptors.
  // GLib's timeout on the system's monotonic clock, as GLib keeps it: a timerfd, always watched
  // (a disarmed one never becomes readable).
  void armTimer(gint timeout) {
    if (timeout < 0 && timerFd_ < 0) return;
    if (timerFd_ < 0) {
      timerFd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
      if (timerFd_ < 0) return;
      timerSource_ = NSRunLoop::mainRunLoop()->addFileDescriptor(
          timerFd_, NSRunLoopFileSource::kRead,
          [this](int fd, unsigned) {
            uint64_t expirations = 0;
            if (read(fd, &expirations, sizeof expirations) > 0) cycle();
          },
          {NSRunLoopCommonModes});
    }
    itimerspec wake{};
    if (timeout >= 0) {
      // Zero disarms a timerfd: a due timeout is one nanosecond away.
      const long ms = timeout;
      wake.it_value.tv_sec = ms / 1000;
      wake.it_value.tv_nsec = ms % 1000 * 1000000L + (ms == 0 ? 1 : 0);
    }
    timerfd_settime(timerFd_, 0, &wake, nullptr);
  }

  // While GLib dispatches, its descriptors are not watched (a nested run of the loop would
  // otherwise wake for them again and again).
  void pause() {
    for (auto& [fd, source] : sources_) source->setEvents(0);
  }

  GMainContext* context_;
  std::vector<GPollFD> fds_;
  gint priority_ = 0;
  bool prepared_ = false;
  bool busy_ = false;
  unsigned long dispatches_ = 0;
  std::map<int, std::shared_ptr<NSRunLoopFileSource>> sources_;
  std::shared_ptr<NSTimer> timer_;
  int timerFd_ = -1;
  std::shared_ptr<NSRunLoopFileSource> timerSource_;
};

Join* join = nullptr;

}  // namespace

bool joinGLibMainContext() {
  assertMainThread("zvt::ui::joinGLibMainContext");
  if (join) return true;
  GMainContext* context = g_main_context_default();
  if (!g_main_context_acquire(context)) return false;
  join = new Join(context);  // for the process's life, as the run loop's observer
  auto observer = CFRunLoopObserverCreateWithHandler(kCFRunLoopBeforeWaiting, true, kObserverOrder,
                                                     [](const auto&, auto) { join->cycle(true); });
  NSRunLoop::mainRunLoop()->addObserver(observer, NSRunLoopCommonModes);
  // The first cycle registers GLib's descriptors before the loop first waits.
  NSRunLoop::mainRunLoop()->performBlock([] { join->cycle(); });
  return true;
}

bool isGLibMainContextJoined() { return join != nullptr; }

unsigned long glibDispatchCount() { return join ? join->dispatches() : 0; }

}  // namespace zvt::ui
