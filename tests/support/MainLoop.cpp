#include "tests/support/MainLoop.h"

#include <gtest/gtest.h>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSThread.h"

namespace zvt::test {

namespace {

// Long enough not to spin, short enough to notice a predicate that other threads made true
// without waking the main run loop.
constexpr double kSlice = 0.005;

}  // namespace

bool runMainLoopUntil(const std::function<bool()>& predicate, double timeoutSeconds) {
  EXPECT_TRUE(NSThread::isMainThread()) << "the main run loop runs on the main thread only";
  auto loop = NSRunLoop::mainRunLoop();
  auto real = RealClock::shared();
  int64_t deadline = real->monotonicNanos() + zvt::secondsToNanos(timeoutSeconds);
  for (;;) {
    if (predicate()) return true;
    if (real->monotonicNanos() >= deadline) return predicate();
    loop->runModeWithin(NSDefaultRunLoopMode, kSlice);
  }
}

void drainMainLoop() {
  auto loop = NSRunLoop::mainRunLoop();
  // Each pass handles one batch; stop when a pass finds nothing more to do.
  for (int i = 0; i < 1000; ++i) {
    bool more = zvt::mainQueueHasBlocks();
    loop->runModeWithin(NSDefaultRunLoopMode, 0);
    if (!more && !zvt::mainQueueHasBlocks()) break;
  }
}

VirtualClockScope::VirtualClockScope(NSTimeInterval wallStart)
    : clock_(std::make_shared<VirtualClock>(wallStart)) {
  Clock::setCurrent(clock_);
}

VirtualClockScope::~VirtualClockScope() { Clock::setCurrent(nullptr); }

}  // namespace zvt::test
