#pragma once
// An X server of the process's own, for runs without a desktop: web views paint into offscreen
// windows of an X display (platform/webkit/UIWebView.h), and the runner's headless mode and tests
// give them one of these. Xvfb (Debian package xvfb) on a free display number, listening on no
// network port. A folder of its own so that what starts a server links Xlib only, not the engine.

#include <sys/types.h>

#include <string>

namespace zvt::xserver {

// One Xvfb of this process: started by the constructor, ended by the destructor (and, should the
// process die first, by the system: it gets SIGTERM when the thread that made it ends). Standard
// input and output are /dev/null, so it holds no pipe of the process open.
class PrivateXServer {
 public:
  // One screen of the size, 24 bits deep. A server that dies while it starts (another one took
  // its display number first) is started again, `attempts` times in all.
  PrivateXServer(int width, int height, int attempts = 3);
  ~PrivateXServer();
  PrivateXServer(const PrivateXServer&) = delete;
  PrivateXServer& operator=(const PrivateXServer&) = delete;

  // ":N" once a client's handshake succeeded; "" when no server could start here.
  const std::string& display() const { return display_; }
  pid_t pid() const { return pid_; }

 private:
  bool start(int width, int height);
  void stop();

  pid_t pid_ = -1;
  std::string display_;
  bool missing_ = false;  // Xvfb cannot be run here
};

}  // namespace zvt::xserver
