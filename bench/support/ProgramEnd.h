#pragma once
// What a benchmark program leaves must go when it ends: its temporary folders (sandbox homes,
// the service's data) and the service behind them. A program ends through main's return or
// exit(), also after a benchmark reported an error; the steps given here run then, the last
// given first. (An abort or a crash runs nothing.)
//
// The steps run from one atexit handler, registered when the first step is given: statics made
// after that (the process's singletons, a benchmark's static set-up) are gone by then, so a
// step touches nothing but files and child processes.

#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

namespace zvt::bench {

namespace detail {

inline std::vector<std::function<void()>>& programEndSteps() {
  // Never destroyed: it is read from the atexit handler, after the statics have gone.
  static auto* steps = new std::vector<std::function<void()>>;
  return *steps;
}

inline void runProgramEndSteps() {
  auto& steps = programEndSteps();
  while (!steps.empty()) {
    auto step = std::move(steps.back());
    steps.pop_back();
    step();
  }
}

}  // namespace detail

// Runs `step` when the program ends (main's return or exit()).
inline void atProgramEnd(std::function<void()> step) {
  static const bool registered = std::atexit(detail::runProgramEndSteps) == 0;
  (void)registered;
  detail::programEndSteps().push_back(std::move(step));
}

// A new folder "/tmp/<prefix>XXXXXX", removed with everything in it when the program ends;
// "" when it cannot be made.
inline std::string programTempFolder(const std::string& prefix) {
  std::string path = "/tmp/" + prefix + "XXXXXX";
  if (!mkdtemp(path.data())) return {};
  atProgramEnd([path] {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  });
  return path;
}

}  // namespace zvt::bench
