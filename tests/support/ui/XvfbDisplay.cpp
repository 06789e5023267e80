#include "tests/support/ui/XvfbDisplay.h"

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace zvt::test {

namespace {

pid_t server = -1;

void stopServer() {
  if (server <= 0) return;
  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);
  server = -1;
}

// Xvfb picks a free display number and writes it to the descriptor once it accepts clients.
std::string startServer() {
  int ready[2];
  if (pipe(ready) != 0) return {};
  const pid_t parent = getpid();
  const pid_t child = fork();
  if (child == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(1);
    close(ready[0]);
    const std::string fd = std::to_string(ready[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x1024x24", "-nolisten", "tcp", "-noreset",
           static_cast<char*>(nullptr));
    _exit(127);
  }
  close(ready[1]);
  if (child < 0) {
    close(ready[0]);
    return {};
  }
  pollfd p{ready[0], POLLIN, 0};
  char number[16] = {};
  std::string display;
  if (poll(&p, 1, 15000) > 0 && read(ready[0], number, sizeof number - 1) > 0) {
    number[std::strcspn(number, "\n")] = 0;
    display = std::string(":") + number;
  }
  close(ready[0]);
  if (display.empty()) {
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return {};
  }
  server = child;
  std::atexit(stopServer);
  return display;
}

}  // namespace

bool inCI() {
  const char* ci = std::getenv("CI");
  return ci && std::strcmp(ci, "true") == 0;
}

const std::string& privateDisplay() {
  static const std::string display = [] {
    std::string found;
    for (int attempt = 0; attempt < 3 && found.empty(); ++attempt) found = startServer();
    if (!found.empty()) {
      setenv("DISPLAY", found.c_str(), 1);
      setenv("GDK_BACKEND", "x11", 1);
      setenv("NO_AT_BRIDGE", "1", 1);
    }
    return found;
  }();
  return display;
}

}  // namespace zvt::test
