#include "platform/foundation/SpinWait.h"

#include <sched.h>
#include <time.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/foundation/RuntimeInternal.h"

namespace zvt {

namespace {

bool spinFromEnvironment() {
  const char* value = std::getenv("ZVT_SPIN_BEFORE_SLEEP");
  if (value && *value) return std::strcmp(value, "0") != 0;
  // Off unless asked for: it pays on idle cores only, and the application draws while it loads.
  return false;
}

}  // namespace

constinit std::atomic<int> spin::settingState{-1};

bool spinBeforeSleep() {
  int state = spin::settingState.load(std::memory_order_relaxed);
  if (state < 0) {
    // First read: the environment decides, unless a setting came meanwhile.
    int expected = -1;
    spin::settingState.compare_exchange_strong(expected, spinFromEnvironment() ? 1 : 0, std::memory_order_relaxed);
    state = spin::settingState.load(std::memory_order_relaxed);
  }
  return state == 1;
}
void setSpinBeforeSleep(bool on) { spin::settingState.store(on ? 1 : 0, std::memory_order_relaxed); }

}  // namespace zvt

namespace zvt::spin {

namespace {

// How long a thread looks for the next piece of work before it sleeps. Waking a sleeping
// thread costs 20-40 us on the virtual machines this runs on, and a request's round trip
// through a loopback server that has to be woken itself takes longer than that: 100 us covers
// it; much longer only burns the processor when nothing comes.
constexpr int64_t kBudgetNanos = 100000;
// Other threads of the process (the one the spinner waits for among them) may share the
// processor: step aside now and then.
constexpr unsigned kRoundsPerYield = 16;

}  // namespace

bool singleProcessor() {
  static const bool single = [] {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0) return false;
    return CPU_COUNT(&set) <= 1;
  }();
  return single;
}

int64_t realNanos() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int64_t budgetNanos() {
  if (!spinBeforeSleep()) return 0;
  return Clock::current()->isVirtual() ? 0 : kBudgetNanos;
}

void relax(unsigned round) {
  if (round % kRoundsPerYield == kRoundsPerYield - 1) {
    sched_yield();
    return;
  }
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  asm volatile("yield");
#endif
}

}  // namespace zvt::spin
