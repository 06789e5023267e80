// A child process for the runner's tests: started with arguments and its own environment, its
// standard output read line by line with time limits (on the system's clock: the child runs on
// its own), its standard error kept in a file. It gets SIGTERM if the test's thread ends first.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace zvt::test {

class ChildProcess {
 public:
  // `stderrPath` empty: the child's standard error is the test's.
  ChildProcess(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
               const std::string& stderrPath = "") {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    std::vector<char*> argv;
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // The test's environment, with the given variables in place of those of the same name
    // ("DISPLAY=" empties one the test process set for itself).
    std::vector<std::string> env;
    auto named = [](const std::string& entry) { return entry.substr(0, entry.find('=') + 1); };
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      bool replaced = false;
      for (const auto& given : environment) replaced = replaced || named(given) == named(entry);
      if (!replaced) env.push_back(entry);
    }
    for (const auto& e : environment) env.push_back(e);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (getppid() != parent) _exit(127);
      dup2(out[1], 1);
      if (!stderrPath.empty()) {
        int err = open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (err >= 0) dup2(err, 2);
      }
      execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
    close(out[1]);
    out_ = out[0];
  }
  ~ChildProcess() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  // Everything the child printed so far.
  const std::vector<std::string>& lines() const { return lines_; }

  // The next line of output within `seconds`; nothing at the end of the output or the limit.
  std::optional<std::string> readLine(double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
      auto newline = buffer_.find('\n');
      if (newline != std::string::npos) {
        std::string line = buffer_.substr(0, newline);
        buffer_.erase(0, newline + 1);
        lines_.push_back(line);
        return line;
      }
      if (out_ < 0) return std::nullopt;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return std::nullopt;
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      char chunk[4096];
      ssize_t n = read(out_, chunk, sizeof chunk);
      if (n <= 0) {
        close(out_);
        out_ = -1;
        if (!buffer_.empty()) {
          lines_.push_back(buffer_);
          std::string last = buffer_;
          buffer_.clear();
          return last;
        }
        return std::nullopt;
      }
      buffer_.append(chunk, static_cast<size_t>(n));
    }
  }

  // Reads until a line contains `text` (within `seconds` in all); returns that line.
  std::optional<std::string> waitForLine(const std::string& text, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
      const double left = std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0) return std::nullopt;
      auto line = readLine(left);
      if (!line) return std::nullopt;
      if (line->find(text) != std::string::npos) return line;
    }
  }

  // Reads the rest of the output and returns the exit status (-1 when the child had to be
  // killed after `seconds`, or died of a signal).
  int finish(double seconds) {
    while (readLine(seconds)) {
    }
    if (out_ >= 0) {
      kill(pid_, SIGKILL);
    }
    int status = 0;
    waitpid(pid_, &status, 0);
    exited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  bool exited_ = false;
  std::string buffer_;
  std::vector<std::string> lines_;
};

}  // namespace zvt::test
