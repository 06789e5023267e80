#include "platform/xserver/PrivateXServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>


// Last: Xlib's macros (None, Status...) stay out of the headers above.
#include <X11/Xlib.h>

namespace zvt::xserver {

namespace {

// Whether the server answers a client's handshake and still runs afterwards (one that fails
// after announcing its number is not taken).
bool answers(const std::string& display, pid_t server) {
  ::Display* connection = XOpenDisplay(display.c_str());
  if (!connection) return false;
  XSync(connection, False);
  XCloseDisplay(connection);
  return waitpid(server, nullptr, WNOHANG) == 0;
}

}  // namespace

PrivateXServer::PrivateXServer(int width, int height, int attempts) {
  for (int attempt = 0; attempt < attempts && display_.empty() && !missing_; ++attempt) start(width, height);
}

PrivateXServer::~PrivateXServer() { stop(); }

bool PrivateXServer::start(int width, int height) {
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) return false;
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  const pid_t parent = getpid();
  const pid_t child = fork();
  if (child == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(1);
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, 0);
      dup2(null, 1);
      dup2(null, 2);
    }
    // Without close-on-exec: Xvfb writes its display number here once it accepts clients.
    const int fd = dup(ready[1]);
    const std::string number = std::to_string(fd);
    execlp("Xvfb", "Xvfb", "-displayfd", number.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
           "-noreset", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(ready[1]);
  if (child < 0) {
    close(ready[0]);
    return false;
  }
  // The number and its newline come in two writes: the pipe stays open until the newline, since
  // a server whose second write finds the pipe closed ends at once.
  std::string number;
  bool whole = false;
  for (pollfd p{ready[0], POLLIN, 0}; !whole && number.size() < 16 && poll(&p, 1, 15000) > 0;) {
    char c = 0;
    if (read(ready[0], &c, 1) != 1) break;
    whole = c == '\n';
    if (!whole) number += c;
  }
  close(ready[0]);
  std::string display;
  if (whole && !number.empty()) display = ":" + number;
  if (!display.empty() && !answers(display, child)) display.clear();
  if (display.empty()) {
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    // Not installed: no attempt will do better.
    missing_ = WIFEXITED(status) && WEXITSTATUS(status) == 127;
    return false;
  }
  pid_ = child;
  display_ = display;
  return true;
}

void PrivateXServer::stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  pid_ = -1;
  display_.clear();
}

}  // namespace zvt::xserver
