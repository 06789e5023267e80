#include "tests/support/ui/XvfbDisplay.h"

#include <fcntl.h>
#include <poll.h>
#include <X11/Xlib.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
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

// Whether the server answers a client's handshake and is still running afterwards (a server
// that loses a race for its display number at start dies after announcing it).
bool answers(const std::string& display, pid_t child) {
  Display* connection = XOpenDisplay(display.c_str());
  if (!connection) return false;
  XSync(connection, False);
  XCloseDisplay(connection);
  return waitpid(child, nullptr, WNOHANG) == 0;
}

// Xvfb picks a free display number and writes it to the descriptor once it accepts clients; a
// server that dies while it starts (several start at once in a parallel test run) gives none.
std::string startServer() {
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) return {};
  const pid_t parent = getpid();
  const pid_t child = fork();
  if (child == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(1);
    const int quiet = open("/dev/null", O_WRONLY);
    if (quiet >= 0) dup2(quiet, 2);
    const int fd = dup(ready[1]);  // without close-on-exec: Xvfb writes its display number here
    const std::string number = std::to_string(fd);
    execlp("Xvfb", "Xvfb", "-displayfd", number.c_str(), "-screen", "0", "1024x1024x24", "-nolisten", "tcp", "-noreset",
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
    number[std::strcspn(number, "\n ")] = 0;
    if (number[0]) display = std::string(":") + number;
  }
  close(ready[0]);
  if (!display.empty() && !answers(display, child)) display.clear();
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
    for (int attempt = 0; attempt < 5 && found.empty(); ++attempt) found = startServer();
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
