#pragma once
// An X server of the test's own (Xvfb) and what tests read from it: windows by title, pixels of
// the screen. Tests skip themselves where Xvfb cannot start.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "tests/platform/graphics/Canvas.h"

namespace zvt::test {

// An X server of its own for the test, with a connection to it; no display when Xvfb cannot
// start here (three tries: a server that dies while it starts is tried again).
class Xvfb {
 public:
  Xvfb() {
    for (int attempt = 0; attempt < 3 && !connection_; ++attempt) start();
  }
  ~Xvfb() {
    if (connection_) XCloseDisplay(connection_);
    stop();
  }
  const std::string& display() const { return display_; }
  Display* connection() const { return connection_; }

 private:
  void start() {
    stop();
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      int null = open("/dev/null", O_WRONLY);
      if (null >= 0) dup2(null, 2);
      const int fd = dup(ready[1]);  // without close-on-exec: Xvfb writes its display number here
      std::string number = std::to_string(fd);
      execlp("Xvfb", "Xvfb", "-displayfd", number.c_str(), "-screen", "0", "600x900x24", "-nolisten", "tcp",
             "-noreset", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(ready[1]);
    // Xvfb writes its display number once it accepts clients.
    pollfd p{ready[0], POLLIN, 0};
    char number[16] = {};
    std::string display;
    if (poll(&p, 1, 15000) > 0 && read(ready[0], number, sizeof number - 1) > 0) display = std::string(":") + number;
    close(ready[0]);
    while (!display.empty() && (display.back() == '\n' || display.back() == ' ')) display.pop_back();
    if (display.size() > 1) connection_ = XOpenDisplay(display.c_str());
    if (connection_) display_ = display;
  }
  void stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
  }

  pid_t pid_ = -1;
  std::string display_;
  Display* connection_ = nullptr;
};

inline Window findWindow(Display* display, Window window, const char* name) {
  char* title = nullptr;
  if (XFetchName(display, window, &title) && title) {
    bool match = std::string(title).find(name) == 0;
    XFree(title);
    if (match) return window;
  }
  Window root, parent, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, window, &root, &parent, &children, &count)) return 0;
  Window found = 0;
  for (unsigned i = 0; i < count && !found; ++i) found = findWindow(display, children[i], name);
  if (children) XFree(children);
  return found;
}

inline RGBA pixelOnScreen(Display* display, int x, int y) {
  XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, 1, 1, AllPlanes, ZPixmap);
  if (!image) return {};
  unsigned long p = XGetPixel(image, 0, 0);
  XDestroyImage(image);
  return RGBA{static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p), 255};
}

}  // namespace zvt::test
