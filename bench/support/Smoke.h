#pragma once
// The smoke run (bench/smoke.sh sets ZVT_BENCH_SMOKE): CI runs every benchmark once, under
// sanitizers and beside other work, only to see that it still builds, runs and reports no error.
// Its figures mean nothing, so a program sizes its inputs down there (fewer rows, a slice of a
// document) and keeps every benchmark and every peer.

#include <cstdlib>

namespace zvt::bench {

inline bool smokeRun() { return std::getenv("ZVT_BENCH_SMOKE") != nullptr; }

// `full` when measuring, `smoke` in the smoke run.
template <class T>
T smokeSize(T full, T smoke) {
  return smokeRun() ? smoke : full;
}

}  // namespace zvt::bench
