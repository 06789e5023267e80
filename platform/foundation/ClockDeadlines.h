#pragma once
// Where a virtual clock would stop next, for what drives the clock a deadline at a time and
// looks around in between (the runner's scripted waits let replies land there).

#include <cstdint>

#include "platform/foundation/Clock.h"

namespace zvt {

// The earliest pending deadline of every registered time source strictly after `after`
// (monotonic nanoseconds), or kNoDeadline: VirtualClock::advanceBy stops there, and nothing
// runs on the clock before it.
int64_t nextDeadlineAfter(int64_t after);

}  // namespace zvt
