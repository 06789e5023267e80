#pragma once
// Helper processes for the network benchmarks, forked before the benchmark makes any thread:
// - the loopback server, so that its CPU time stays out of the process CPU time the benchmark
//   reports (set ZVT_BENCH_SERVER_CPUS, e.g. "6", to pin it away from the measured cores);
// - a busy loop per processor of the benchmark's affinity, stopped until a benchmark asks for
//   busy cores (the application draws while it loads).
// Both end with the benchmark process (PR_SET_PDEATHSIG).

#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace zvt::bench {

inline void dieWithParent() {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() == 1) _exit(0);
}

// "4,5" or "4-5" to a set of processors.
inline bool parseCPUList(const char* text, cpu_set_t& set) {
  CPU_ZERO(&set);
  std::string list(text);
  size_t at = 0;
  bool any = false;
  while (at < list.size()) {
    size_t comma = list.find(',', at);
    std::string piece = list.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
    int first = 0, last = 0;
    if (std::sscanf(piece.c_str(), "%d-%d", &first, &last) == 2) {
      for (int cpu = first; cpu <= last; ++cpu) CPU_SET(cpu, &set);
      any = true;
    } else if (std::sscanf(piece.c_str(), "%d", &first) == 1) {
      CPU_SET(first, &set);
      any = true;
    }
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  return any;
}

// Runs `serve` in a child process; `serve` starts a server, returns its port and the child then
// waits for the benchmark to end. The parent gets the port.
inline int forkServer(const std::function<int()>& serve) {
  int fds[2];
  if (pipe(fds) != 0) std::abort();
  pid_t pid = fork();
  if (pid < 0) std::abort();
  if (pid == 0) {
    dieWithParent();
    close(fds[0]);
    if (const char* cpus = std::getenv("ZVT_BENCH_SERVER_CPUS")) {
      cpu_set_t set;
      if (parseCPUList(cpus, set)) sched_setaffinity(0, sizeof set, &set);
    }
    int port = serve();
    if (write(fds[1], &port, sizeof port) != static_cast<ssize_t>(sizeof port)) _exit(1);
    for (;;) pause();
  }
  close(fds[1]);
  int port = 0;
  if (read(fds[0], &port, sizeof port) != static_cast<ssize_t>(sizeof port)) std::abort();
  close(fds[0]);
  return port;
}

// One busy loop per processor the benchmark may run on, each its own process (so that its CPU
// time is not the benchmark's). They start stopped; busy() runs them, idle() stops them again.
class CoreLoad {
 public:
  static CoreLoad& shared() {
    static CoreLoad load;
    return load;
  }
  // Call once from main() before any thread exists.
  void prepare() {
    cpu_set_t set;
    CPU_ZERO(&set);
    sched_getaffinity(0, sizeof set, &set);
    int count = CPU_COUNT(&set);
    for (int i = 0; i < count; ++i) {
      pid_t pid = fork();
      if (pid < 0) std::abort();
      if (pid == 0) {
        dieWithParent();
        kill(getpid(), SIGSTOP);
        volatile unsigned long spin = 0;
        for (;;) spin = spin + 1;
      }
      // Until the child has stopped itself, i.e. after it asked to die with this process: on a
      // busy machine a child not yet scheduled when idle() stops it would stay stopped without
      // having asked, outlive the benchmark and keep its output open (a test runner reading
      // that output then waits until its time-out).
      int status = 0;
      while (waitpid(pid, &status, WUNTRACED) < 0 && errno == EINTR) {
      }
      children_.push_back(pid);
    }
  }
  void busy() {
    for (pid_t pid : children_) kill(pid, SIGCONT);
  }
  void idle() {
    for (pid_t pid : children_) kill(pid, SIGSTOP);
  }
  size_t size() const { return children_.size(); }

 private:
  std::vector<pid_t> children_;
};

// Keeps the cores busy for one benchmark run when `wanted`.
class BusyCoresScope {
 public:
  explicit BusyCoresScope(bool wanted) : wanted_(wanted) {
    if (wanted_) CoreLoad::shared().busy();
  }
  ~BusyCoresScope() {
    if (wanted_) CoreLoad::shared().idle();
  }
  BusyCoresScope(const BusyCoresScope&) = delete;
  BusyCoresScope& operator=(const BusyCoresScope&) = delete;

 private:
  bool wanted_;
};

}  // namespace zvt::bench
