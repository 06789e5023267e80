// The QQ web login as a person walks it, against the local service (zavelto-service on the
// loopback, a process of its own), under a private X server when no display is set.
//
//   partner/qq_road/ours      from the tap on the login screen's QQ button (the login screen
//                             presented in its own navigation stack, logged out, no "webId"
//                             cookie) to the presented stack dismissed with the session
//                             installed: the push of QQWebViewController, the authorize page
//                             answered by an immediate redirect (the service's consent page
//                             switched off), the callback that sets the "webId" cookie and moves
//                             on to a second small page, the one `act=OAuth_login` the screen
//                             sends, and the dismissal. Counters: `to_login_ms` (tap until the
//                             session is installed) and `dismiss_ms` (until the stack is gone).
//   partner/qq_road/webkitgtk the floor: a new bare WebKitWebView (the screen makes a new web
//                             view for each road too) in a GtkOffscreenWindow of the web view's
//                             size, on one ephemeral context set up as the application's, driven
//                             by g_main_context_iteration alone, loading the same authorize
//                             address through the same redirect, callback and second page until
//                             the second page has finished, then one `act=OAuth_login` round
//                             trip made by the API client alone (the request the screen makes,
//                             without any screen). Counters:
//                             `loads_ms`, `oauth_ms`.
//
// Between iterations (not timed): the local logout, the login screen presented again.
// Animations (the push and the dismissal) run on a virtual clock that is moved on whenever the
// work waits for time; pages and replies come in real time. The goal: ours within 1.2 x the
// floor.

#include <benchmark/benchmark.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "app/api/ZVTAPIClient.h"
#include "app/api/ZVTLoginSession.h"
#include "app/core/AppDelegate.h"
#include "app/screens/account/AccountScreens.h"
#include "app/screens/account/PartnerWebLogin.h"
#include "app/screens/account/TZLoginView.h"
#include "app/screens/account/TZLoginViewController.h"
#include "bench/support/BenchApp.h"
#include "bench/support/ProcessCPU.h"
#include "platform/uikit/Device.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIWindow.h"
#include "tests/support/MainLoop.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/ui/XvfbDisplay.h"

namespace {

using Steady = std::chrono::steady_clock;

double msSince(Steady::time_point start) {
  return std::chrono::duration<double, std::milli>(Steady::now() - start).count();
}

bool display() {
  if (std::getenv("DISPLAY")) return true;
  return !zvt::test::privateDisplay().empty();
}

using App = zvt::bench::BenchApp;

App& app() {
  static App* made = [] {
    auto* a = new App;
    // The service's line per request stays out of the benchmark's output; nobody is logged in
    // (the benchmark logs in).
    zvt::bench::setUpBenchApp(*a, {.service = {.captureLog = true},
                                   .registerScreens = [] { zvt::registerAccountScreens(); },
                                   .logIn = false});
    // The authorize page redirects at once: no consent page to tap through.
    a->service->request("POST", "/__test/partner", R"({"consent":false})", "application/json");
    return a;
  }();
  return *made;
}

// Runs the main loop until `done`, moving the virtual clock on whenever nothing is left to do
// now (pages and replies come in real time).
bool runUntil(const std::function<bool()>& done, double seconds = 20) {
  const auto deadline = Steady::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (Steady::now() > deadline) return false;
    if (zvt::test::runMainLoopUntil(done, 0.001)) return true;
    app().clock->advanceBy(0.05);
  }
  return true;
}

// The login screen presented in a stack of its own, logged out.
std::shared_ptr<TZLoginViewController> presentLogin() {
  auto& a = app();
  ZVTLoginSession::logout();
  auto login = TZLoginViewController::make();
  a.navigation->presentViewController(UINavigationController::initWithRootViewController(login), false);
  runUntil([&] { return login->isViewLoaded() && login->loginView(); });
  zvt::ui::Device::shared().settle();
  return login;
}

struct OursParts {
  double toLogin = 0, dismiss = 0;
};

[[gnu::noinline]] bool measuredOurs(const std::shared_ptr<TZLoginViewController>& login, OursParts& parts) {
  auto& a = app();
  auto start = Steady::now();
  auto qq = login->loginView()->viewWithTag(4);
  if (!qq || !zvt::ui::Device::shared().tapView(qq)) return false;
  if (!runUntil([&] { return a.delegate->isLogin(); })) return false;
  parts.toLogin += msSince(start);
  start = Steady::now();
  if (!runUntil([&] { return !a.navigation->presentedViewController(); })) return false;
  parts.dismiss += msSince(start);
  return true;
}

void Ours(benchmark::State& state) {
  if (!display()) {
    state.SkipWithError("no X display");
    return;
  }
  OursParts parts;
  int64_t roads = 0;
  // One road before the timed ones: the web process starts.
  if (!measuredOurs(presentLogin(), parts)) {
    state.SkipWithError("the QQ road did not end logged in");
    return;
  }
  parts = {};
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    state.PauseTiming();
    auto login = presentLogin();
    state.ResumeTiming();
    if (!measuredOurs(login, parts)) {
      state.SkipWithError("the QQ road did not end logged in");
      break;
    }
    ++roads;
  }
  if (roads > 0) {
    state.counters["to_login_ms"] = parts.toLogin / static_cast<double>(roads);
    state.counters["dismiss_ms"] = parts.dismiss / static_cast<double>(roads);
  }
}

// --- the floor ----------------------------------------------------------------------------------

// The address QQWebViewController opens.
std::string authorizeURL() {
  const std::string root = app().service->rootURL();
  return root + "/oauth2.0/authorize?response_type=code&client_id=734915&redirect_uri=" +
         PartnerWebLoginController::encodedCallback("qqAppLogin") + "&state=c41e7a09f35b2d8e6a10b97c4f2d58e3";
}

struct Bare {
  GtkWidget* window;
  WebKitWebView* view;
  bool done = false;

  explicit Bare(WebKitWebContext* context) {
    view = WEBKIT_WEB_VIEW(webkit_web_view_new_with_context(context));
    webkit_settings_set_hardware_acceleration_policy(webkit_web_view_get_settings(view),
                                                     WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    window = gtk_offscreen_window_new();
    gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(view));
    // The web view's frame on a 375 x 667 screen under the 64-point bars.
    gtk_widget_set_size_request(GTK_WIDGET(view), 375, 603);
    gtk_widget_show_all(window);
    g_signal_connect(view, "load-changed", G_CALLBACK(+[](WebKitWebView* v, WebKitLoadEvent event, gpointer self) {
                       if (event != WEBKIT_LOAD_FINISHED) return;
                       const char* uri = webkit_web_view_get_uri(v);
                       if (uri && std::string(uri).find("/partner/done.html") != std::string::npos)
                         static_cast<Bare*>(self)->done = true;
                     }),
                     this);
  }
  ~Bare() { gtk_widget_destroy(window); }
};

struct FloorParts {
  double loads = 0, oauth = 0;
};

// The engine as the application sets it up: one ephemeral context with the smallest caches.
WebKitWebContext* floorContext() {
  static WebKitWebContext* context = [] {
    WebKitWebsiteDataManager* data = webkit_website_data_manager_new_ephemeral();
    WebKitWebContext* made = webkit_web_context_new_with_website_data_manager(data);
    g_object_unref(data);
    webkit_web_context_set_cache_model(made, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
    return made;
  }();
  return context;
}

[[gnu::noinline]] bool measuredFloor(const std::string& url, FloorParts& parts) {
  auto start = Steady::now();
  Bare bare(floorContext());
  webkit_web_view_load_uri(bare.view, url.c_str());
  const auto deadline = Steady::now() + std::chrono::seconds(20);
  while (!bare.done) {
    if (Steady::now() > deadline) return false;
    g_main_context_iteration(nullptr, TRUE);
  }
  parts.loads += msSince(start);
  start = Steady::now();
  bool replied = false, ok = false;
  ZVTAPIClient::loginThirdWith(NSDictionary::make({{"web"_ns, "qq"_ns}, {"webId"_ns, "QQ-OPENID-0001"_ns}}),
                               [&](const std::shared_ptr<NSDictionary>& info, const std::shared_ptr<NSError>&) {
                                 ok = info != nullptr;
                                 replied = true;
                               });
  if (!runUntil([&] { return replied; }) || !ok) return false;
  parts.oauth += msSince(start);
  return true;
}

void Floor(benchmark::State& state) {
  if (!display() || !gtk_init_check(nullptr, nullptr)) {
    state.SkipWithError("no X display");
    return;
  }
  app();
  const std::string url = authorizeURL();
  FloorParts parts;
  if (!measuredFloor(url, parts)) {  // the web process starts
    state.SkipWithError("the bare road did not reach the second page and the login");
    return;
  }
  parts = {};
  int64_t roads = 0;
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    state.PauseTiming();
    ZVTLoginSession::logout();
    state.ResumeTiming();
    if (!measuredFloor(url, parts)) {
      state.SkipWithError("the bare road did not reach the second page and the login");
      break;
    }
    ++roads;
  }
  if (roads > 0) {
    state.counters["loads_ms"] = parts.loads / static_cast<double>(roads);
    state.counters["oauth_ms"] = parts.oauth / static_cast<double>(roads);
  }
}

}  // namespace

BENCHMARK(Ours)->Name("partner/qq_road/ours")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Floor)->Name("partner/qq_road/webkitgtk")->UseRealTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  ZVTLoginSession::logout();
  benchmark::Shutdown();
  return 0;
}
