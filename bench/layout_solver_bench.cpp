// The layout engine's solver: a screen of 300 views and 1,200 constraints solved from nothing,
// one constant of it changed and re-solved, and independent views at two sizes; the same systems
// through python3-kiwisolver in the same run (timed inside a python3 process, binding included).
//
// Peer rows are named ".../kiwisolver..." and use manual time: each iteration reports one run measured by
// the peer process itself.
//
// Our rows are wall clock per solve, with cpu_us_per_item the whole process's CPU time per
// solve; the peer's time is its own process's, measured by itself.
#include <benchmark/benchmark.h>

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/uikit/layout/Solver.h"
#include "bench/support/ProcessCPU.h"
#include "bench/support/Smoke.h"

namespace {

using namespace zvt::layout;

struct SpecTerm {
  int variable;
  double coefficient;
};

struct Blueprint {
  std::vector<SpecTerm> terms;
  Relation relation;
  double constant;
  float priority;
};

// A constraint whose constant the change tests move back and forth between a and b.
struct Change {
  size_t index;
  double a, b;
};

struct System {
  int variables = 0;
  std::vector<Blueprint> specs;
  std::vector<Change> changes;  // [0]: an optional constant, [1]: a required one
};

// A view's variables: x, y, w, h.
struct View {
  int x, y, w, h;
};

View newView(System& s) {
  View v{s.variables, s.variables + 1, s.variables + 2, s.variables + 3};
  s.variables += 4;
  return v;
}

void add(System& s, std::vector<SpecTerm> terms, Relation relation, double constant,
         float priority = kPriorityRequired) {
  s.specs.push_back(Blueprint{std::move(terms), relation, constant, priority});
}

constexpr Relation EQ = Relation::Equal;
constexpr Relation LE = Relation::LessThanOrEqual;

// A list screen of 75 cells stacked under each other, each with an image, a title and a
// subtitle: 300 views, 16 constraints a cell (1,200), with optional sizes at 750 and 999, a
// limit, multipliers and centring. The changes move the first cell's height (optional) or the
// list's top (required), so every cell moves.
System screen() {
  System s;
  View previous{-1, -1, -1, -1};
  for (int i = 0; i < 75; ++i) {
    View cell = newView(s), image = newView(s), title = newView(s), subtitle = newView(s);
    // cell: full width, under the previous one, 88 high unless something stronger says otherwise
    add(s, {{cell.x, 1}}, EQ, 0);
    add(s, {{cell.x, 1}, {cell.w, 1}}, EQ, 375);
    if (previous.y < 0) {
      s.changes.resize(2);
      s.changes[1] = Change{s.specs.size(), 0, 20};
      add(s, {{cell.y, 1}}, EQ, 0);
    } else {
      add(s, {{cell.y, 1}, {previous.y, -1}, {previous.h, -1}}, EQ, 0);
    }
    if (i == 0) s.changes[0] = Change{s.specs.size(), 88, 100};
    add(s, {{cell.h, 1}}, EQ, 88, 999);
    // image: inset 12, centred vertically, 64 wide (intrinsic), square
    add(s, {{image.x, 1}, {cell.x, -1}}, EQ, 12);
    add(s, {{image.y, 1}, {image.h, 0.5}, {cell.y, -1}, {cell.h, -0.5}}, EQ, 0);
    add(s, {{image.w, 1}}, EQ, 64, 750);
    add(s, {{image.h, 1}, {image.w, -1}}, EQ, 0);
    // title: right of the image, at its top, up to the cell's right inset, 20 high (intrinsic)
    add(s, {{title.x, 1}, {image.x, -1}, {image.w, -1}}, EQ, 8);
    add(s, {{title.y, 1}, {image.y, -1}}, EQ, 0);
    add(s, {{title.x, 1}, {title.w, 1}, {cell.x, -1}, {cell.w, -1}}, EQ, -12);
    add(s, {{title.h, 1}}, EQ, 20, 750);
    // subtitle: under the title, 80% of its width, at most down to the image's bottom
    add(s, {{subtitle.x, 1}, {title.x, -1}}, EQ, 0);
    add(s, {{subtitle.w, 1}, {title.w, -0.8}}, EQ, 0);
    add(s, {{subtitle.y, 1}, {title.y, -1}, {title.h, -1}}, EQ, 4);
    add(s, {{subtitle.y, 1}, {subtitle.h, 1}, {image.y, -1}, {image.h, -1}}, LE, 0);
    previous = cell;
  }
  return s;
}

// n views that share nothing: each placed by its own constants, with optional sizes.
System independent(int n) {
  System s;
  for (int i = 0; i < n; ++i) {
    View v = newView(s);
    add(s, {{v.x, 1}}, EQ, 10 + i % 37);
    add(s, {{v.y, 1}}, EQ, 20 * i);
    add(s, {{v.w, 1}}, EQ, 100, 750);
    add(s, {{v.h, 1}, {v.w, -0.44}}, EQ, 0);
  }
  return s;
}

const System& systemNamed(const std::string& name) {
  static std::map<std::string, System> cache;
  auto it = cache.find(name);
  if (it != cache.end()) return it->second;
  System s = name == "screen300" ? screen() : independent(std::stoi(name.substr(std::string("independent").size())));
  return cache[name] = std::move(s);
}

std::vector<Constraint> build(const System& s, const std::vector<Variable>& vars) {
  std::vector<Constraint> out;
  out.reserve(s.specs.size());
  for (const Blueprint& blueprint : s.specs) {
    Expression e;
    e.terms.reserve(blueprint.terms.size());
    for (const SpecTerm& t : blueprint.terms) e.terms.push_back(Term{vars[t.variable], t.coefficient});
    out.emplace_back(e, blueprint.relation, Expression(blueprint.constant), blueprint.priority);
  }
  return out;
}

std::vector<Variable> variables(const System& s) { return std::vector<Variable>(static_cast<size_t>(s.variables)); }

// From nothing: the constraints are made, added and the values written, every iteration.
void FromScratch(benchmark::State& state, const std::string& name) {
  const System& s = systemNamed(name);
  std::vector<Variable> vars = variables(s);
  double checksum = 0;
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    Solver solver;
    for (const Constraint& c : build(s, vars)) {
      if (!solver.addConstraint(c).ok()) state.SkipWithError("constraint refused");
    }
    solver.updateVariables();
    benchmark::DoNotOptimize(vars.front().value());
  }
  for (const Variable& v : vars) checksum += v.value();
  state.counters["constraints"] = static_cast<double>(s.specs.size());
  state.counters["checksum"] = checksum;
}

// One constant moved back and forth, re-solved, values written.
void ConstantChange(benchmark::State& state, const std::string& name, size_t which) {
  const System& s = systemNamed(name);
  const Change& change = s.changes[which];
  std::vector<Variable> vars = variables(s);
  std::vector<Constraint> constraints = build(s, vars);
  Solver solver;
  for (const Constraint& c : constraints) solver.addConstraint(c);
  solver.updateVariables();
  const Constraint& changed = constraints[change.index];
  bool flip = false;
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    flip = !flip;
    if (!solver.setConstant(changed, flip ? change.b : change.a).ok()) state.SkipWithError("change refused");
    solver.updateVariables();
    benchmark::DoNotOptimize(vars.back().value());
  }
}

// ---- the peer --------------------------------------------------------------------------------

#ifndef ZVT_LAYOUT_PEER_SCRIPT
#define ZVT_LAYOUT_PEER_SCRIPT "bench/support/layout_solver_peer.py"
#endif

// The peer's samples per measurement name ("scratch", "scratch_building", "change0"...), or
// nothing when python3-kiwisolver is missing.
const std::map<std::string, std::vector<double>>& peerSamples(const std::string& name) {
  static std::map<std::string, std::map<std::string, std::vector<double>>> cache;
  auto it = cache.find(name);
  if (it != cache.end()) return it->second;
  const System& s = systemNamed(name);
  char path[] = "/tmp/zvt-layout-peer-XXXXXX";
  int fd = mkstemp(path);
  std::map<std::string, std::vector<double>>& out = cache[name];
  if (fd < 0) return out;
  {
    std::ostringstream text;
    text.precision(17);
    text << "V " << s.variables << "\n";
    for (const Blueprint& blueprint : s.specs) {
      text << "C " << blueprint.priority << " " << static_cast<int>(blueprint.relation) << " " << blueprint.constant << " "
           << blueprint.terms.size();
      for (const SpecTerm& t : blueprint.terms) text << " " << t.variable << " " << t.coefficient;
      text << "\n";
    }
    for (const Change& c : s.changes) text << "X " << c.index << " " << c.a << " " << c.b << "\n";
    // A smoke run (CI) needs one round only.
    text << "R " << (zvt::bench::smokeRun() ? 1 : s.specs.size() > 2000 ? 10 : 30) << "\n";
    std::string bytes = text.str();
    if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) bytes.clear();
    close(fd);
  }
  const char* script = std::getenv("ZVT_LAYOUT_PEER_SCRIPT");
  std::string command = std::string("/usr/bin/python3 ") + (script ? script : ZVT_LAYOUT_PEER_SCRIPT) + " < " + path;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe) {
    char line[1 << 16];
    std::string pending;
    while (fgets(line, sizeof line, pipe)) {
      pending += line;
      if (pending.empty() || pending.back() != '\n') continue;
      std::istringstream in(pending);
      std::string key;
      in >> key;
      double v;
      while (in >> v) out[key].push_back(v);
      pending.clear();
    }
    pclose(pipe);
  }
  unlink(path);
  return out;
}

void Peer(benchmark::State& state, const std::string& name, const std::string& measurement) {
  const auto& samples = peerSamples(name);
  auto it = samples.find(measurement);
  if (it == samples.end() || it->second.empty()) {
    state.SkipWithError("python3-kiwisolver is not available");
    for (auto _ : state) {
    }
    return;
  }
  size_t i = 0;
  for (auto _ : state) state.SetIterationTime(it->second[i++ % it->second.size()]);
  auto checksum = samples.find("checksum");
  if (checksum != samples.end() && !checksum->second.empty()) state.counters["checksum"] = checksum->second.front();
}

// Names are <work>/<system>/<side>: "ours", and "kiwisolver" for the peer building its
// constraints in the timed run as ours does ("kiwisolver_prebuilt" with them made beforehand).
void registerAll() {
  for (const char* name : {"screen300", "independent100", "independent1000"}) {
    std::string group = std::string("FromScratch/") + name;
    int peerRuns = name == std::string("independent1000") ? 10 : 30;
    benchmark::RegisterBenchmark((group + "/ours").c_str(), FromScratch, std::string(name))
        ->UseRealTime()
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((group + "/kiwisolver").c_str(), Peer, std::string(name),
                                 std::string("scratch_building"))
        ->UseManualTime()
        ->Iterations(peerRuns)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((group + "/kiwisolver_prebuilt").c_str(), Peer, std::string(name),
                                 std::string("scratch"))
        ->UseManualTime()
        ->Iterations(peerRuns)
        ->Unit(benchmark::kMicrosecond);
  }
  // The peer has no way to change a constant in place: it removes the constraint and adds the
  // changed one.
  const char* kinds[] = {"Optional", "Required"};
  for (size_t which = 0; which < 2; ++which) {
    std::string group = std::string("ConstantChange") + kinds[which] + "/screen300";
    benchmark::RegisterBenchmark((group + "/ours").c_str(), ConstantChange, std::string("screen300"), which)
        ->UseRealTime()
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((group + "/kiwisolver_remove_add").c_str(), Peer, std::string("screen300"),
                                 "change" + std::to_string(which))
        ->UseManualTime()
        ->Iterations(600)
        ->Unit(benchmark::kMicrosecond);
  }
}

}  // namespace

int main(int argc, char** argv) {
  registerAll();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
