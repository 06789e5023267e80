// The demo user's login as a person sees it: from the tap on "登 录" of the login screen
// (presented over the personal centre, both fields filled in before the timed part) to the
// personal centre drawn with the user's name, balances and avatar, in the launched application
// against the local service (zavelto-service on the loopback, a process of its own, so that its
// CPU time stays out of the figures). Animations run on a virtual clock that the benchmark
// advances at once (the dismissal's 0.4 s costs no real time); replies come in real time.
// The parts, reported as counters in milliseconds per login:
//   login_ms     the tap until the session is installed (act=get_time, act=login, the session's
//                writes: record, defaults, cookie, alias);
//   dismiss_ms   the dismissal of the presented stack on the virtual clock;
//   refresh_ms   until the header shows the name (act=get_time, act=userInfo&do=my, the fill);
//   avatar_ms    until the avatar's picture is shown (a download, the cache emptied before);
//   frame_ms     one display pass and the full frame of the screen renderer.
// Between iterations (not timed): the local logout, the image cache emptied (memory and disk),
// the login screen presented again and its fields filled in.
//
// The floor: the same two signed calls and the avatar's download made by the clients alone,
// chained as the screens chain them (ZVTAPIClient::loginWith, then getUserInfoWith, then the
// image manager's download of the record's avatar into the emptied cache), no screen involved.
//
// The goal: under 200 ms from the tap to the drawn centre; the screens' share is ours minus the
// floor.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "analytics/StatAgent.h"
#include "app/api/ZVTAPIClient.h"
#include "app/api/ZVTLoginSession.h"
#include "app/core/AppDelegate.h"
#include "app/core/Configuration.h"
#include "app/screens/account/AccountScreens.h"
#include "app/screens/account/TZLoginViewController.h"
#include "app/screens/account/UserInfoViewController.h"
#include "app/ui/ParentsViewController.h"
#include "app/ui/TabBarController.h"
#include "bench/support/HelperProcesses.h"
#include "bench/support/MainLoopPump.h"
#include "bench/support/ProgramEnd.h"
#include "bench/support/ProcessCPU.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/network/NSURLConnection.h"
#include "platform/sysconfig/FakeReachabilitySource.h"
#include "platform/uikit/Device.h"
#include "platform/uikit/ScreenRenderer.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UINavigationController.h"
#include "push/PushService.h"
#include "ui/images/WIImageCache.h"
#include "ui/images/WIWebImageManager.h"
#include "ui/navigation/UINavigationController+NBNavigationBarTransition.h"

namespace {

using zvt::bench::msSince;
using zvt::bench::pumpUntil;
using zvt::bench::Steady;

// The service on a free loopback port with fresh demo data; its address.
std::string startService() {
  static std::string root = [] {
    const std::string folder = zvt::bench::programTempFolder("zvt-account-bench-service-");
    if (folder.empty()) std::abort();
    int fds[2];
    if (pipe(fds) != 0) std::abort();
    pid_t pid = fork();
    if (pid < 0) std::abort();
    if (pid == 0) {
      zvt::bench::dieWithParent();
      dup2(fds[1], 1);
      close(fds[0]);
      if (const char* cpus = std::getenv("ZVT_BENCH_SERVER_CPUS")) {
        cpu_set_t set;
        if (zvt::bench::parseCPUList(cpus, set)) sched_setaffinity(0, sizeof set, &set);
      }
      // One line per request would go to standard error: away with it.
      if (FILE* quiet = std::fopen("/dev/null", "w")) dup2(fileno(quiet), 2);
      execl(ZVT_SERVICE_BIN, ZVT_SERVICE_BIN, "--port", "0", "--data-dir", folder.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    // Stopped before its folder goes (the steps run last given first), so that nothing is
    // written into the folder while it is removed.
    zvt::bench::atProgramEnd([pid] {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    });
    std::string line;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') line += c;
    // "listening on 127.0.0.1:PORT"
    const auto at = line.rfind(':');
    if (line.rfind("listening on ", 0) != 0 || at == std::string::npos) {
      std::fprintf(stderr, "zavelto-service did not start: %s\n", line.c_str());
      std::exit(1);
    }
    return "http://127.0.0.1:" + line.substr(at + 1);
  }();
  return root;
}

zvt::ui::Device& device() { return zvt::ui::Device::shared(); }

// The launched application with its fifth tab shown, logged out.
struct Application {
  std::shared_ptr<AppDelegate> delegate;
  std::shared_ptr<UserInfoViewController> centre;
};

Application& application() {
  static Application app = [] {
    Application made;
    const std::string home = zvt::bench::programTempFolder("zvt-account-bench-home-");
    if (!home.empty()) zvt::setSandboxHome(home);
    zvt::setMainBundlePath(ZVT_BUNDLE_ROOT);
    zvt::Configuration::setServerRoot(startService());
    zvt::ui::Device::useScreen(zvt::ui::kScreen375x667);
    Clock::setCurrent(std::make_shared<VirtualClock>(RealClock::shared()->wallTime()));
    zvt::FakeReachabilitySource::install(kSCNetworkReachabilityFlagsReachable);
    zvt::ui::installNavigationExtensions();
    zvt::registerAccountScreens();
    made.delegate = std::make_shared<AppDelegate>();
    auto shared = UIApplication::sharedApplication();
    shared->setDelegate(made.delegate);
    shared->launchWithOptions(nullptr);
    device().wait(1);
    made.delegate->tabBarController()->setSelectedWithIndex(4);
    device().wait(1);
    auto navigation = std::dynamic_pointer_cast<UINavigationController>(made.delegate->tabBarController()->selectedViewController());
    made.centre = std::dynamic_pointer_cast<UserInfoViewController>(navigation->topViewController());
    if (!made.centre) {
      std::fprintf(stderr, "the fifth tab shows no personal centre\n");
      std::exit(1);
    }
    return made;
  }();
  return app;
}

// Logged out, the image cache empty.
void resetSession() {
  ZVTLoginSession::logout();
  auto cache = WIImageCache::sharedImageCache();
  cache->clearMemory();
  cache->clearDisk();
  pumpUntil([&] { return cache->getSize() == 0; });
}

// The login screen presented over the centre, both fields filled in.
std::shared_ptr<TZLoginViewController> presentFilledLogin(Application& app) {
  app.centre->gotoLoginVC();
  device().wait(1);
  auto stack = std::dynamic_pointer_cast<UINavigationController>(app.delegate->tabBarController()->presentedViewController());
  auto login = stack ? std::dynamic_pointer_cast<TZLoginViewController>(stack->topViewController()) : nullptr;
  if (!login) return nullptr;
  login->loginView()->userTextField()->setText("zvttest"_ns);
  login->loginView()->passwordTextField()->setText("zvt123456"_ns);
  return login;
}

struct Parts {
  double login = 0, dismiss = 0, refresh = 0, avatar = 0, frame = 0;
};

[[gnu::noinline]] bool measuredLogin(Application& app, const std::shared_ptr<TZLoginViewController>& login, Parts& parts) {
  auto header = app.centre->headerView();
  auto placeholder = UIImage::imageNamed("userIcon"_ns);
  auto start = Steady::now();
  if (!device().tapView(login->loginView()->loginButton())) return false;
  if (!pumpUntil([&] { return app.delegate->isLogin(); })) return false;
  parts.login += msSince(start);
  start = Steady::now();
  device().wait(0.45);
  if (!pumpUntil([&] { return !app.delegate->tabBarController()->presentedViewController(); })) return false;
  parts.dismiss += msSince(start);
  start = Steady::now();
  if (!pumpUntil([&] {
        auto name = header->userNameLabel()->text();
        return name && name->isEqualToString("zvttest");
      }))
    return false;
  parts.refresh += msSince(start);
  start = Steady::now();
  if (!pumpUntil([&] {
        auto image = header->userIconImageView()->image();
        return image && image != placeholder;
      }))
    return false;
  parts.avatar += msSince(start);
  start = Steady::now();
  device().settle();
  zvt::ui::ScreenRenderer::shared().render();
  parts.frame += msSince(start);
  return true;
}

void Screens(benchmark::State& state) {
  auto& app = application();
  Parts parts;
  int64_t logins = 0;
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    state.PauseTiming();
    resetSession();
    device().wait(0.5);
    auto login = presentFilledLogin(app);
    state.ResumeTiming();
    if (!login || !measuredLogin(app, login, parts)) {
      state.SkipWithError("the login did not reach the drawn centre");
      break;
    }
    ++logins;
  }
  if (logins > 0) {
    const double n = static_cast<double>(logins);
    state.counters["login_ms"] = parts.login / n;
    state.counters["dismiss_ms"] = parts.dismiss / n;
    state.counters["refresh_ms"] = parts.refresh / n;
    state.counters["avatar_ms"] = parts.avatar / n;
    state.counters["frame_ms"] = parts.frame / n;
  }
}

[[gnu::noinline]] bool measuredClients() {
  bool done = false, ok = false;
  ZVTAPIClient::loginWith(NSDictionary::make({{"userName"_ns, "zvttest"_ns}, {"password"_ns, "zvt123456"_ns}}),
                          [&](bool success, const std::shared_ptr<NSString>&) {
                            if (!success) {
                              done = true;
                              return;
                            }
                            auto id = AppDelegate::shared()->userInfoDictionary()->objectForKey("id"_ns);
                            ZVTAPIClient::getUserInfoWith(
                                NSDictionary::make({{"id"_ns, id}}),
                                [&](const std::shared_ptr<NSDictionary>& record, const std::shared_ptr<NSError>&) {
                                  auto avatar = record ? record->objectForKey("avatar"_ns) : nullptr;
                                  if (!avatar) {
                                    done = true;
                                    return;
                                  }
                                  WIWebImageManager::sharedManager()->downloadImageWithURL(
                                      avatar, 0, nullptr,
                                      [&](const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSError>&,
                                          WIImageCacheSource, bool finished, const std::shared_ptr<NSURL>&) {
                                        if (!finished) return;
                                        ok = image != nullptr;
                                        done = true;
                                      });
                                });
                          });
  return pumpUntil([&] { return done; }) && ok;
}

void Clients(benchmark::State& state) {
  application();
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    state.PauseTiming();
    resetSession();
    state.ResumeTiming();
    if (!measuredClients()) {
      state.SkipWithError("the clients' calls failed");
      break;
    }
  }
}

BENCHMARK(Screens)->Name("account/login_to_drawn_centre/ours")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Clients)->Name("account/login_to_drawn_centre/clients_alone")->UseRealTime()->Unit(benchmark::kMillisecond);

// Takes the application down as its tests do, so that the leak checker of sanitizer builds finds
// nothing held only by the launched shell's own references at exit.
void closeApplication() {
  auto& app = application();
  ZVTLoginSession::logout();
  if (auto window = app.delegate->window()) window->setHidden(true);
  device().wait(1);
  NSNotificationCenter::defaultCenter()->removeObserver(app.delegate);
  UIApplication::sharedApplication()->setDelegate(nullptr);
  AppDelegate::setShared(nullptr);
  app.centre.reset();
  app.delegate.reset();
  device().wait(1);
  // The clients' own threads finish what they were handed before the process's statics go.
  zvt::stat::flush();
  zvt::push::shutdownClient();
  // A login's push id upload starts whenever the push client answers, also after the last
  // benchmark's logins: let the last one end, or its connection, which holds itself while it
  // loads, is still holding itself at exit (a leak report under the address sanitizer).
  pumpUntil([] { return false; }, 0.2);
  pumpUntil([] { return zvt::urlConnectionLoadsInFlight() == 0; }, 30);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  closeApplication();
  // The application ends as it does on the phone: the picture cache cleans its folder and
  // finishes the writes queued on its own queue first, which would otherwise still be
  // hashing a file name while the process's exit takes the crypto library down.
  UIApplication::sharedApplication()->terminate();
  benchmark::Shutdown();
  return 0;
}
