// One loop: GLib's sources (idle, timeouts, descriptors, wake-ups from other threads) run from
// the main run loop, which sleeps while GLib has nothing; and UIApplicationMain: the delegate
// made by name, launched, then the host's status returned.

#include <gtest/gtest.h>

#include <glib-unix.h>
#include <glib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/uikit/GLibMainContext.h"
#include "platform/uikit/UIApplicationMain.h"
#include "tests/support/MainLoop.h"

using zvt::test::runMainLoopUntil;

TEST(OneLoop, GLibSourcesRunFromTheMainRunLoop) {
  ASSERT_TRUE(zvt::ui::joinGLibMainContext());
  EXPECT_TRUE(zvt::ui::joinGLibMainContext()) << "joining again does nothing";
  EXPECT_TRUE(zvt::ui::isGLibMainContextJoined());

  int idles = 0;
  g_idle_add_once([](gpointer data) { ++*static_cast<int*>(data); }, &idles);
  EXPECT_TRUE(runMainLoopUntil([&] { return idles == 1; }, 5));

  int timeouts = 0;
  g_timeout_add_once(30, [](gpointer data) { ++*static_cast<int*>(data); }, &timeouts);
  EXPECT_TRUE(runMainLoopUntil([&] { return timeouts == 1; }, 5)) << "GLib's timeout bounds the loop's wait";

  int pipe_[2];
  ASSERT_EQ(pipe(pipe_), 0);
  int reads = 0;
  struct Watch {
    int* reads;
    int fd;
  } watch{&reads, pipe_[0]};
  guint id = g_unix_fd_add(
      pipe_[0], G_IO_IN,
      [](gint fd, GIOCondition, gpointer data) -> gboolean {
        char c;
        if (read(fd, &c, 1) == 1) ++*static_cast<Watch*>(data)->reads;
        return G_SOURCE_CONTINUE;
      },
      &watch);
  ASSERT_EQ(write(pipe_[1], "x", 1), 1);
  EXPECT_TRUE(runMainLoopUntil([&] { return reads == 1; }, 5)) << "GLib's descriptors wake the loop";
  g_source_remove(id);
  close(pipe_[0]);
  close(pipe_[1]);

  // Another thread adds a source: GLib's wake-up reaches the sleeping main run loop.
  std::atomic<int> fromThread{0};
  std::thread other([&] { g_idle_add_once([](gpointer data) { ++*static_cast<std::atomic<int>*>(data); }, &fromThread); });
  other.join();
  EXPECT_TRUE(runMainLoopUntil([&] { return fromThread.load() == 1; }, 5));

  // Idle, the loop sleeps: over a tenth of a second it wakes only a few times (no polling).
  int passes = 0;
  auto observer = CFRunLoopObserverCreateWithHandler(kCFRunLoopAfterWaiting, true, 0, [&](const auto&, auto) { ++passes; });
  NSRunLoop::mainRunLoop()->addObserver(observer, NSDefaultRunLoopMode);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
  while (std::chrono::steady_clock::now() < end) NSRunLoop::mainRunLoop()->runModeWithin(NSDefaultRunLoopMode, 0.1);
  NSRunLoop::mainRunLoop()->removeObserver(observer, NSDefaultRunLoopMode);
  EXPECT_LE(passes, 3);
  EXPECT_GE(zvt::ui::glibDispatchCount(), 4u);
}

namespace {

class LaunchRecorder : public UIApplicationDelegate {
 public:
  static inline std::vector<std::string> events;
  bool applicationDidFinishLaunchingWithOptions(const std::shared_ptr<UIApplication>&,
                                                const std::shared_ptr<NSDictionary>& options) override {
    events.push_back(options ? "launched with options" : "launched");
    return true;
  }
  void applicationDidBecomeActive(const std::shared_ptr<UIApplication>&) override { events.push_back("active"); }
};

}  // namespace

TEST(ApplicationMain, MakesTheNamedDelegateLaunchesAndRunsTheHost) {
  LaunchRecorder::events.clear();  // a repeated run starts afresh
  char name[] = "zavelto";
  char* argv[] = {name, nullptr};
  zvt::ui::registerApplicationDelegateClass("RecorderDelegate", [] { return std::make_shared<LaunchRecorder>(); });
  EXPECT_TRUE(zvt::ui::isApplicationDelegateClassRegistered("RecorderDelegate"));
  std::shared_ptr<UIApplicationDelegate> seen;
  zvt::ui::setApplicationHost([&](const std::shared_ptr<UIApplication>& application) {
    seen = application->delegate();
    LaunchRecorder::events.push_back("host");
    return 7;
  });
  EXPECT_EQ(UIApplicationMain(1, argv, nullptr, NSString::stringWithUTF8String("RecorderDelegate")), 7);
  EXPECT_EQ(LaunchRecorder::events, (std::vector<std::string>{"launched", "active", "host"}));
  EXPECT_TRUE(std::dynamic_pointer_cast<LaunchRecorder>(seen));

  // The default host runs the main run loop until stopApplication.
  zvt::ui::setApplicationHost(nullptr);
  NSRunLoop::mainRunLoop()->performBlock([] { zvt::ui::stopApplication(3); });
  EXPECT_EQ(UIApplicationMain(1, argv, NSString::stringWithUTF8String("UIApplication"),
                              NSString::stringWithUTF8String("RecorderDelegate")),
            3);

  struct Refused {
    const char* principal;
    const char* delegate;
    const char* reason;
  } refused[] = {
      {nullptr, "NoSuchDelegate", "No class named NoSuchDelegate is loaded."},
      {nullptr, nullptr, "No class named (null) is loaded."},
      {"MyApplication", "RecorderDelegate", "No class named MyApplication is loaded."},
  };
  for (const auto& r : refused) {
    try {
      UIApplicationMain(1, argv, r.principal ? NSString::stringWithUTF8String(r.principal) : nullptr,
                        r.delegate ? NSString::stringWithUTF8String(r.delegate) : nullptr);
      ADD_FAILURE() << "no exception for " << (r.delegate ? r.delegate : "nil");
    } catch (const NSException& e) {
      EXPECT_EQ(e.name()->utf8(), "NSInvalidArgumentException");
      EXPECT_NE(e.reason()->utf8().find(r.reason), std::string::npos) << e.reason()->utf8();
    }
  }
}
