// Places inside windows a few instructions wide where a step another thread takes meanwhile
// decides the outcome (a wake-up that comes too early, an announcement nobody was there to
// hear). A test holds a thread at one of them to take that step exactly there; without a test
// nothing is held and the cost is one load.
#pragma once

#include <atomic>

namespace zvt::pause {

enum class Point : unsigned char {
  // NSOperation::addDependency: the dependency is listed as the operation's, the operation is
  // not yet among the dependency's dependents (a finish now tells nobody).
  kDependencyListed,
  // An operation with a state machine of its own found nobody observing it and changes its
  // state without announcements: the new state is not stored yet (an observer that comes now
  // reads the old one).
  kUnobservedStateChange,
};

// Called with the point and the object passing it; set by tests only.
using Handler = void (*)(Point point, const void* object);
extern std::atomic<Handler> handler;

inline void at(Point point, const void* object) {
  if (Handler h = handler.load(std::memory_order_acquire)) [[unlikely]] h(point, object);
}

}  // namespace zvt::pause
