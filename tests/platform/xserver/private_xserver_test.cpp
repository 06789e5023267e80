// The private X server as the runner and the tests use it: a client reaches it at the size it
// was given, two started at once have displays of their own, and it ends with its object or with
// the process that started it, however that process ends. Skipped where Xvfb cannot start (a
// failure in CI).

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>

#include "platform/xserver/PrivateXServer.h"
#include "tests/support/ui/XvfbDisplay.h"
// Last: Xlib's macros (None, Status...) stay out of the headers above.
#include <X11/Xlib.h>

using zvt::xserver::PrivateXServer;

namespace {

// A descriptor that becomes readable when the process ends (-1 when it has ended already).
int watch(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

// Whether the watched process ends within 15 s.
bool ends(int pidfd) {
  if (pidfd < 0) return true;
  pollfd p{pidfd, POLLIN, 0};
  const bool ended = poll(&p, 1, 15000) == 1;
  close(pidfd);
  return ended;
}

}  // namespace

TEST(PrivateXServer, ClientsReachEachServerAtItsSizeAndItEndsWithItsObject) {
  ZVT_REQUIRE_DISPLAY();
  auto small = std::make_unique<PrivateXServer>(320, 240);
  auto large = std::make_unique<PrivateXServer>(800, 600);
  ASSERT_FALSE(small->display().empty());
  ASSERT_FALSE(large->display().empty());
  EXPECT_NE(small->display(), large->display());
  struct Case {
    const PrivateXServer& server;
    int width, height;
  } cases[] = {{*small, 320, 240}, {*large, 800, 600}};
  for (const auto& c : cases) {
    ::Display* client = XOpenDisplay(c.server.display().c_str());
    ASSERT_TRUE(client) << c.server.display();
    EXPECT_EQ(DisplayWidth(client, 0), c.width);
    EXPECT_EQ(DisplayHeight(client, 0), c.height);
    XCloseDisplay(client);
  }
  const int smallEnds = watch(small->pid()), largeEnds = watch(large->pid());
  const std::string stillThere = large->display();
  small.reset();
  EXPECT_TRUE(ends(smallEnds));
  ::Display* client = XOpenDisplay(stillThere.c_str());
  EXPECT_TRUE(client) << "the other server goes on";
  if (client) XCloseDisplay(client);
  large.reset();
  EXPECT_TRUE(ends(largeEnds));
}

TEST(PrivateXServer, AServerEndsWithTheProcessThatStartedItHoweverThatEnds) {
  ZVT_REQUIRE_DISPLAY();
  struct Case {
    const char* what;
    int signal;  // 0: the process exits without running destructors
  } cases[] = {{"_exit", 0}, {"SIGKILL", SIGKILL}, {"SIGTERM", SIGTERM}};
  for (const auto& c : cases) {
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    const pid_t child = fork();
    if (child == 0) {
      close(pipe[0]);
      auto* server = new PrivateXServer(64, 64);
      const pid_t pid = server->display().empty() ? -1 : server->pid();
      if (write(pipe[1], &pid, sizeof pid) != sizeof pid) _exit(2);
      if (c.signal) raise(c.signal);
      _exit(0);
    }
    close(pipe[1]);
    pid_t server = -1;
    ASSERT_EQ(read(pipe[0], &server, sizeof server), static_cast<ssize_t>(sizeof server)) << c.what;
    close(pipe[0]);
    ASSERT_GT(server, 0) << c.what;
    const int serverEnds = watch(server);
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(ends(serverEnds)) << c.what;
  }
}
