#pragma once
// For benchmarks of the launched application against the local service: replies come in real
// time, so the main run loop is run in short slices until what was awaited has happened, and
// the parts of a piece of work are timed on the steady clock.

#include <chrono>
#include <functional>

#include "platform/foundation/NSRunLoop.h"

namespace zvt::bench {

using Steady = std::chrono::steady_clock;

inline double msSince(Steady::time_point start) {
  return std::chrono::duration<double, std::milli>(Steady::now() - start).count();
}

// Runs the main run loop in short slices until the condition holds; false after `seconds`.
inline bool pumpUntil(const std::function<bool()>& done, double seconds = 10) {
  auto loop = NSRunLoop::mainRunLoop();
  const auto deadline = Steady::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (Steady::now() > deadline) return false;
    loop->runModeWithin(NSDefaultRunLoopMode, 0.0005);
  }
  return true;
}

}  // namespace zvt::bench
