// Pumping the main run loop from tests, and installing a virtual clock for a test's scope.
#pragma once

#include <functional>
#include <memory>

#include "platform/foundation/Clock.h"

namespace zvt::test {

// Runs the main run loop (on the main thread, which is where tests run) until `predicate`
// holds or `timeoutSeconds` of real time have passed; returns whether it holds. The timeout is
// a safety net for work that happens on real sockets or other threads, measured on the
// system's clock whatever clock is installed; timed behaviour is driven with VirtualClockScope.
bool runMainLoopUntil(const std::function<bool()>& predicate, double timeoutSeconds = 10.0);

// Runs what the main run loop has ready now (main-queue blocks, performs, due timers, ready
// sources) without waiting.
void drainMainLoop();

// Installs a VirtualClock for its lifetime and restores the real clock afterwards.
class VirtualClockScope {
 public:
  explicit VirtualClockScope(NSTimeInterval wallStart = VirtualClock::kDefaultWallStart);
  ~VirtualClockScope();
  VirtualClockScope(const VirtualClockScope&) = delete;
  VirtualClockScope& operator=(const VirtualClockScope&) = delete;

  VirtualClock& clock() { return *clock_; }
  void advanceBy(NSTimeInterval seconds) { clock_->advanceBy(seconds); }

 private:
  std::shared_ptr<VirtualClock> clock_;
};

}  // namespace zvt::test
