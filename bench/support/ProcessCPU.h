#pragma once
// Whole-process CPU time for benchmarks whose work crosses threads (network threads, dispatch
// workers, spinning run loops): the main thread's CPU time alone would hide what the others
// spend. Use with ->UseRealTime() so the headline figure is wall clock.

#include <benchmark/benchmark.h>
#include <time.h>

namespace zvt::bench {

inline double processCPUSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Measures the process's CPU time over a benchmark's timed loop and reports it per item as the
// counter "cpu_us_per_item" (microseconds), next to Google Benchmark's own real and thread times.
class ProcessCPUCounter {
 public:
  explicit ProcessCPUCounter(benchmark::State& state) : state_(state), start_(processCPUSeconds()) {}
  ~ProcessCPUCounter() {
    double spent = processCPUSeconds() - start_;
    double items = static_cast<double>(state_.items_processed() > 0 ? state_.items_processed() : state_.iterations());
    state_.counters["cpu_us_per_item"] = benchmark::Counter(items > 0 ? spent * 1e6 / items : 0);
  }
  ProcessCPUCounter(const ProcessCPUCounter&) = delete;
  ProcessCPUCounter& operator=(const ProcessCPUCounter&) = delete;

 private:
  benchmark::State& state_;
  double start_;
};

}  // namespace zvt::bench
