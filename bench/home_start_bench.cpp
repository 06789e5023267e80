// A returning person's cold start to the home screen (the first-run guide seen before), in the
// launched application as the runner launches it, against the local service (zavelto-service
// on the loopback, a process of its own, so that its CPU time stays out of the figures), on a
// 375 x 667 screen. Every start is cold for the application: a new delegate, an empty cache
// database, fresh user defaults and an empty image cache (memory and disk). The process's own
// start (executable, libraries, fonts) is not part of it: the figures are of a warm process.
// Replies come in real time; animations run on a virtual clock that nothing advances.
//
//   home/cold_start/ours           from UIApplication's launch to the home screen drawn with
//                                  the configured header's pictures and the first twelve
//                                  products in the grid. Its parts, counters in milliseconds
//                                  per start, each from the end of the one before:
//     launch_ms   the delegate's launch, until the home screen's view is loaded (the
//                 configuration GET and the first page asked for);
//     config_ms   until the configuration is applied (its reply, the five header lists
//                 written to the cache database, a transaction and its journal's syncs each, the
//                 header built, the delegate's values);
//     page_ms     until the first page's twelve products are in the grid (the signed get_goods
//                 with its get_time; 0 when it came before the configuration);
//     images_ms   until every picture the screen asked for is shown (the header's banners,
//                 categories and activities, and the product cells in view: none on a
//                 375 x 667 screen, whose first screen the header fills);
//     frame_ms    one display pass and the full frame of the screen renderer.
//   home/cold_start/clients_alone  the floor: the same configuration GET and signed first page
//                                  through the API client, then the same pictures (the
//                                  service's log of the last start names them) through the
//                                  image manager into emptied caches, no screen involved.
//
// The goal: under 300 ms from the launch to the drawn home screen; the screens' share is ours
// minus the floor.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "analytics/StatAgent.h"
#include "app/api/APIClient.h"
#include "app/core/AppDelegate.h"
#include "app/core/Configuration.h"
#include "app/screens/shopping/HomeViewController.h"
#include "app/screens/shopping/ShoppingScreens.h"
#include "app/storage/TZDBManager.h"
#include "app/ui/TabBarController.h"
#include "bench/support/MainLoopPump.h"
#include "bench/support/ProgramEnd.h"
#include "bench/support/ProcessCPU.h"
#include "foundation/json/JSONDecoder.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/network/NSURLConnection.h"
#include "platform/sysconfig/FakeReachabilitySource.h"
#include "platform/uikit/Device.h"
#include "platform/uikit/ScreenRenderer.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UINavigationController.h"
#include "push/PushService.h"
#include "tests/support/ServiceProcess.h"
#include "ui/images/WIImageCache.h"
#include "ui/images/WIWebImageManager.h"
#include "ui/navigation/UINavigationController+NBNavigationBarTransition.h"

namespace {

using zvt::as;
using zvt::bench::msSince;
using zvt::bench::pumpUntil;
using zvt::bench::Steady;

zvt::ui::Device& device() { return zvt::ui::Device::shared(); }

// The process's settings, made once: the service (its request log kept in its folder, not on
// standard error), the sandbox home, the bundle, the screen, the clock and the network.
struct Setting {
  std::string home;
  std::unique_ptr<zvt::test::ServiceProcess> service;
  Setting() {
    home = zvt::bench::programTempFolder("zvt-home-start-bench-");
    if (home.empty()) std::abort();
    zvt::setSandboxHome(home);
    zvt::setMainBundlePath(ZVT_BUNDLE_ROOT);
    zvt::test::ServiceProcess::Options options;
    options.executable = ZVT_SERVICE_BIN;
    options.captureLog = true;
    service = std::make_unique<zvt::test::ServiceProcess>(options);
    zvt::Configuration::setServerRoot(service->rootURL());
    zvt::ui::Device::useScreen(zvt::ui::kScreen375x667);
    Clock::setCurrent(std::make_shared<VirtualClock>(RealClock::shared()->wallTime()));
    zvt::FakeReachabilitySource::install(kSCNetworkReachabilityFlagsReachable);
    zvt::ui::installNavigationExtensions();
    zvt::registerShoppingScreens();
  }
};

Setting& setting() {
  static Setting made;
  return made;
}

std::shared_ptr<AppDelegate> running;

// Takes the launched application down as its tests do and lets its requests end.
void closeApplication() {
  if (!running) return;
  if (auto window = running->window()) window->setHidden(true);
  device().wait(1);
  NSNotificationCenter::defaultCenter()->removeObserver(running);
  UIApplication::sharedApplication()->setDelegate(nullptr);
  AppDelegate::setShared(nullptr);
  running.reset();
  pumpUntil([] { return zvt::urlConnectionLoadsInFlight() == 0 && !WIWebImageManager::sharedManager()->isRunning(); }, 30);
  device().wait(1);
}

// What a cold start finds: no cache database, no defaults but the guide seen, no pictures.
void forgetEverything() {
  auto& made = setting();
  std::error_code ec;
  std::filesystem::remove(made.home + "/Documents/db.sqlite", ec);
  std::filesystem::remove_all(made.home + "/Library/Preferences", ec);
  NSUserDefaults::resetStandardUserDefaults();
  NSUserDefaults::standardUserDefaults()->setBool(true, "isBeforeEnter"_ns);
  TZDBManager::sharedInstance()->creatDatabase();
  auto cache = WIImageCache::sharedImageCache();
  cache->clearMemory();
  cache->clearDisk();
  pumpUntil([&] { return cache->getSize() == 0; });
  made.service->clearLog();
}

std::shared_ptr<HomeViewController> homeOf(const std::shared_ptr<AppDelegate>& delegate) {
  auto shell = delegate->tabBarController();
  if (!shell || shell->viewControllers().empty()) return nullptr;
  auto navigation = std::dynamic_pointer_cast<UINavigationController>(shell->viewControllers()[0]);
  return navigation ? std::dynamic_pointer_cast<HomeViewController>(navigation->viewControllers().front()) : nullptr;
}

struct Parts {
  double launch = 0, config = 0, page = 0, images = 0, frame = 0;
};

[[gnu::noinline]] bool measuredColdStart(Parts& parts) {
  auto start = Steady::now();
  running = std::make_shared<AppDelegate>();
  auto application = UIApplication::sharedApplication();
  application->setDelegate(running);
  application->launchWithOptions(nullptr);
  auto home = homeOf(running);
  // The window the launch shows loads the home screen's view, which asks for the
  // configuration and the first page (a turn more at most; the replies come later).
  if (!home || !pumpUntil([&] { return home->isViewLoaded(); })) return false;
  parts.launch += msSince(start);
  start = Steady::now();
  // The configuration's last value reaches the delegate once the header is built.
  if (!pumpUntil([&] { return running->evaluateDic() != nullptr; })) return false;
  parts.config += msSince(start);
  start = Steady::now();
  if (!pumpUntil([&] { return home->totalProductArray()->count() >= 12; })) return false;
  parts.page += msSince(start);
  start = Steady::now();
  // A display pass lays out the header and the cells in view, which ask for their pictures.
  device().settle();
  if (!pumpUntil([] { return !WIWebImageManager::sharedManager()->isRunning(); })) return false;
  parts.images += msSince(start);
  start = Steady::now();
  device().settle();
  zvt::ui::ScreenRenderer::shared().render();
  parts.frame += msSince(start);
  return true;
}

// The pictures the last start asked of the service, as absolute addresses.
std::vector<std::string> lastPictures;

void rememberPictures() {
  auto& service = *setting().service;
  lastPictures.clear();
  auto log = as<NSArray>(objectFromJSONString(*NSString::stringWithUTF8String(service.requestLog("", "image"))));
  for (NSUInteger i = 0; log && i < log->count(); ++i) {
    auto entry = as<NSDictionary>(log->objectAtIndex(i));
    auto target = entry ? as<NSString>(entry->objectForKey("target"_ns)) : nullptr;
    if (target) lastPictures.push_back(service.rootURL() + target->utf8());
  }
}

void Screens(benchmark::State& state) {
  setting();
  Parts parts;
  int64_t starts = 0;
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    state.PauseTiming();
    closeApplication();
    forgetEverything();
    state.ResumeTiming();
    if (!measuredColdStart(parts)) {
      state.SkipWithError("the start did not reach the drawn home screen");
      break;
    }
    ++starts;
  }
  // After the timed loop.
  rememberPictures();
  closeApplication();
  if (starts > 0) {
    const double n = static_cast<double>(starts);
    state.counters["launch_ms"] = parts.launch / n;
    state.counters["config_ms"] = parts.config / n;
    state.counters["page_ms"] = parts.page / n;
    state.counters["images_ms"] = parts.images / n;
    state.counters["frame_ms"] = parts.frame / n;
    state.counters["pictures"] = static_cast<double>(lastPictures.size());
  }
}

[[gnu::noinline]] bool measuredClients() {
  bool configured = false, paged = false, ok = true;
  APIClient::GET("api/client.php?m=get_ios_config"_ns, nullptr,
                 [&](bool success, const id& result, const std::shared_ptr<NSError>&) {
                   ok = ok && success && as<NSDictionary>(result);
                   configured = true;
                 });
  auto parameters = NSDictionary::dictionaryWithPairs(
      {{"userLevel"_ns, "0"_ns}, {"type"_ns, "3"_ns}, {"cid"_ns, "0"_ns}, {"number"_ns, "1"_ns}, {"ps"_ns, "12"_ns}});
  APIClient::getProductsWithParameter(parameters, [&](NSInteger, const std::shared_ptr<NSArray>& products,
                                                      const APIClient::Message& message) {
    ok = ok && !message && products && products->count() == 12;
    paged = true;
  });
  if (!pumpUntil([&] { return configured && paged; }) || !ok) return false;
  size_t landed = 0;
  for (const auto& picture : lastPictures) {
    WIWebImageManager::sharedManager()->downloadImageWithURL(
        NSURL::URLWithString(NSString::stringWithUTF8String(picture)), 0, nullptr,
        [&](const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSError>&, WIImageCacheSource, bool finished,
            const std::shared_ptr<NSURL>&) {
          if (!finished) return;
          ok = ok && image != nullptr;
          ++landed;
        });
  }
  return pumpUntil([&] { return landed == lastPictures.size(); }) && ok;
}

void Clients(benchmark::State& state) {
  setting();
  if (lastPictures.empty()) {
    // Run alone: one start (not timed) names the pictures.
    forgetEverything();
    Parts ignored;
    if (!measuredColdStart(ignored)) {
      state.SkipWithError("the start did not reach the drawn home screen");
      return;
    }
    rememberPictures();
    closeApplication();
  }
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    state.PauseTiming();
    forgetEverything();
    state.ResumeTiming();
    if (!measuredClients()) {
      state.SkipWithError("the clients' calls failed");
      break;
    }
  }
  state.counters["pictures"] = static_cast<double>(lastPictures.size());
}

BENCHMARK(Screens)->Name("home/cold_start/ours")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Clients)->Name("home/cold_start/clients_alone")->UseRealTime()->Unit(benchmark::kMillisecond);

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
  // The clients' own threads finish what they were handed before the process's statics go.
  zvt::stat::flush();
  zvt::push::shutdownClient();
  benchmark::Shutdown();
  return 0;
}
