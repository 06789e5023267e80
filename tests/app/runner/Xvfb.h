#pragma once
// An X server of the test's own (Xvfb) and what tests read from it: windows by title, pixels of
// the screen. Tests skip themselves where Xvfb cannot start.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <string>

#include "platform/xserver/PrivateXServer.h"
#include "tests/platform/graphics/Canvas.h"

namespace zvt::test {

// An X server of the test's own, with a connection to it; no display when Xvfb cannot start
// here.
class Xvfb {
 public:
  Xvfb() : server_(600, 900) {
    if (!server_.display().empty()) connection_ = XOpenDisplay(server_.display().c_str());
  }
  ~Xvfb() {
    if (connection_) XCloseDisplay(connection_);
  }
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;
  const std::string& display() const { return connection_ ? server_.display() : none_; }
  Display* connection() const { return connection_; }

 private:
  zvt::xserver::PrivateXServer server_;
  std::string none_;
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
