#pragma once
// Whole-process CPU time for benchmarks whose work crosses threads (network threads, dispatch
// workers, spinning run loops): the main thread's CPU time alone would hide what the others
// spend. Use with ->UseRealTime() so the headline figure is wall clock.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>

namespace zvt::bench {

inline double processCPUSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Context switches of every thread of the process so far (voluntary ones are a thread going to
// sleep, mostly to be woken by another: the hand-offs a piece of work costs).
inline double processContextSwitches() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_nvcsw + usage.ru_nivcsw);
}

// Measures the process's CPU time over a benchmark's timed loop and reports it per item as the
// counter "cpu_us_per_item" (microseconds), next to Google Benchmark's own real and thread times,
// and its context switches per item as "switches_per_item".
class ProcessCPUCounter {
 public:
  explicit ProcessCPUCounter(benchmark::State& state)
      : state_(state), start_(processCPUSeconds()), startSwitches_(processContextSwitches()) {}
  ~ProcessCPUCounter() {
    double spent = processCPUSeconds() - start_;
    double switches = processContextSwitches() - startSwitches_;
    double items = static_cast<double>(state_.items_processed() > 0 ? state_.items_processed() : state_.iterations());
    state_.counters["cpu_us_per_item"] = benchmark::Counter(items > 0 ? spent * 1e6 / items : 0);
    state_.counters["switches_per_item"] = benchmark::Counter(items > 0 ? switches / items : 0);
  }
  ProcessCPUCounter(const ProcessCPUCounter&) = delete;
  ProcessCPUCounter& operator=(const ProcessCPUCounter&) = delete;

 private:
  benchmark::State& state_;
  double start_;
  double startSwitches_;
};

}  // namespace zvt::bench
