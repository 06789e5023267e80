// The mall screen's pages against the local service (zavelto-service, a child process on the
// loopback, its CPU time not counted), on a 375 x 667 screen in a window, everything on the main
// thread's run loop in real time:
//
// - malls/swipe/ours: a finger swipes the pages from the second category back onto the
//   first (0.15 s of finger travel, a touch move every 60th of a second), lifts, and the pager
//   comes to rest there; the first category was emptied and the picture caches cleared before
//   (not timed), so the swipe's end sends the signed get_time and "mall" requests, the reply
//   reloads the grid, and its twelve cells fetch their logos from the service. The iteration
//   ends when every cell shows its logo and a frame has drawn it.
// - malls/swipe/loaded_floor: the same swipe onto the first category as loaded before,
//   its logos in the memory cache: nothing is asked for.
//
// The headline time is the whole swipe in real time (finger travel, the pager settling, loads),
// so the two sides differ by the waits; the counters are the figures: max_move_ms,
// max_settle_ms and max_load_ms, the longest main-thread step (a touch move, or one turn of the
// run loop, then layout and a drawn frame) while the finger moves, while the pager settles after
// it lifted, and after the pager rests (the category's requests, the grid, the logos);
// p95_step_ms over every step; max_step_cpu_ms and p95_step_cpu_ms, the main thread's CPU time
// of the steps (what the step itself costs on a busy machine); ready_p50_ms / ready_p95_ms, from the pager at rest (the swipe's
// end, when the category is chosen) to the grid drawn with its logos. Goals: every step under
// one 60 Hz frame (16.7 ms), the grid drawn with its logos within 100 ms of the swipe's end.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/core/AppDelegate.h"
#include "app/core/Configuration.h"
#include "app/screens/shopping/ShoppingScreens.h"
#include "app/screens/shopping/ThirdProductStoreViewController.h"
#include "app/ui/ScreenRegistry.h"
#include "app/ui/SharedViews.h"
#include "bench/support/ProcessCPU.h"
#include "bench/support/Smoke.h"
#include "bench/support/ProgramEnd.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/Device.h"
#include "platform/uikit/ScreenRenderer.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIWindow.h"
#include "tests/support/ServiceProcess.h"
#include "ui/images/WIImageCache.h"
#include "ui/images/WIWebImageManager.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr CGFloat W = 375;

double msSince(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

struct World {
  std::unique_ptr<zvt::test::ServiceProcess> service;
  std::shared_ptr<UIWindow> window;
  std::shared_ptr<UINavigationController> navigation;
  std::shared_ptr<ThirdProductStoreViewController> malls;
};

// Runs the main run loop until the condition holds (at most 10 s).
void runUntil(const std::function<bool()>& done) {
  auto limit = Clock::now() + std::chrono::seconds(10);
  while (!done() && Clock::now() < limit)
    NSRunLoop::currentRunLoop()->runUntilDate(NSDate::dateWithTimeIntervalSinceNow(0.0005));
}

void draw() {
  zvt::ui::Device::shared().settle();
  zvt::ui::ScreenRenderer::shared().render();
}

World& world() {
  static World w = [] {
    World made;
    const std::string folder = zvt::bench::programTempFolder("zvt-mall-bench-");
    if (!folder.empty()) zvt::setSandboxHome(folder);
    zvt::setMainBundlePath(ZVT_BUNDLE_ROOT);
    made.service = std::make_unique<zvt::test::ServiceProcess>();
    zvt::Configuration::setServerRoot(made.service->rootURL());
    zvt::ui::Device::useScreen(zvt::ui::kScreen375x667);
    zvt::registerSharedViewNibs();
    zvt::registerShoppingScreens();
    // The network is up and the guide was seen: the screen loads at once and nothing lies over it.
    auto delegate = std::make_shared<AppDelegate>();
    delegate->setIsConnectNetwork(true);
    AppDelegate::setShared(delegate);
    NSUserDefaults::standardUserDefaults()->setBool(true, NSString::stringWithUTF8String("isFisrtGotoStore"));
    made.malls = std::dynamic_pointer_cast<ThirdProductStoreViewController>(zvt::makeScreen("ThirdProductStoreViewController"));
    made.malls->setIsPush(true);
    made.window = UIWindow::make();
    made.navigation = UINavigationController::initWithRootViewController(made.malls);
    made.window->setRootViewController(made.navigation);
    made.window->makeKeyAndVisible();
    draw();
    auto screen = made.malls;
    runUntil([&] {
      draw();
      return screen->mallsOf(0) && screen->mallsOf(0)->count() > 0 && !screen->isLoading(0);
    });
    return made;
  }();
  return w;
}

// Every cell of the first grid shows a logo of its own (not the loading picture), drawn.
bool firstGridShowsLogos(const std::shared_ptr<ThirdProductStoreViewController>& screen) {
  auto list = screen->mallsOf(0);
  if (!list || list->count() == 0 || screen->isLoading(0)) return false;
  auto grid = screen->thirdProductView()->collectionViewArray[0];
  auto cells = grid->visibleCells();
  if (cells.size() < list->count()) return false;
  auto loading = UIImage::imageNamed(NSString::stringWithUTF8String("storeloadingimage"));
  for (const auto& cell : cells) {
    auto mall = std::dynamic_pointer_cast<ThirdCollectionViewCell>(cell);
    if (!mall || !mall->imageView()->image() || mall->imageView()->image() == loading) return false;
  }
  return true;
}

struct Samples {
  // Steps while the finger moves, while the pager settles after it lifted, and after the pager
  // rests (the category's load, its grid and logos); the time from resting to the logos drawn.
  std::vector<double> moving, settling, loading, ready;
};

double percentile(std::vector<double> samples, double p) {
  if (samples.empty()) return 0;
  std::sort(samples.begin(), samples.end());
  return samples[std::min(samples.size() - 1, static_cast<size_t>(p * static_cast<double>(samples.size())))];
}

double threadCPUms() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1000 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The main thread's CPU time of every step (a busy machine stretches the wall time of a step by
// whatever else runs on its processor meanwhile).
std::vector<double> gStepCPU;

// One step: what is ready on the run loop, then layout and a drawn frame; its wall time.
double step(const std::function<void()>& work) {
  auto start = Clock::now();
  const double cpu = threadCPUms();
  work();
  draw();
  gStepCPU.push_back(threadCPUms() - cpu);
  return msSince(start);
}

[[gnu::noinline]] void measuredSwipe(World& w, Samples& samples) {
  auto& device = zvt::ui::Device::shared();
  auto pager = w.malls->thirdProductView()->backScrollView;
  // From page 1 to page 0: the finger moves right over 0.15 s, a move every 60th of a second.
  CGFloat x = 40;
  auto finger = device.touchDown(CGPointMake(x, 400));
  for (int i = 0; i < 9; ++i) {
    x += 28;
    samples.moving.push_back(step([&] { device.touchMove(finger, CGPointMake(x, 400)); }));
    auto until = Clock::now() + std::chrono::microseconds(16667);
    while (Clock::now() < until) NSRunLoop::currentRunLoop()->runUntilDate(NSDate::dateWithTimeIntervalSinceNow(0.0005));
  }
  samples.settling.push_back(step([&] { device.touchUp(finger); }));
  // Frames until the pager rests on page 0 (its end chooses the category), then until the grid
  // shows its logos.
  auto limit = Clock::now() + std::chrono::seconds(10);
  auto turn = [] { NSRunLoop::currentRunLoop()->runUntilDate(NSDate::dateWithTimeIntervalSinceNow(0)); };
  while (Clock::now() < limit && (pager->isDecelerating() || pager->isDragging() || pager->contentOffset().x != 0)) {
    samples.settling.push_back(step(turn));
    NSRunLoop::currentRunLoop()->runUntilDate(NSDate::dateWithTimeIntervalSinceNow(0.001));
  }
  auto rested = Clock::now();
  do {
    samples.loading.push_back(step(turn));
    if (firstGridShowsLogos(w.malls)) break;
    NSRunLoop::currentRunLoop()->runUntilDate(NSDate::dateWithTimeIntervalSinceNow(0.001));
  } while (Clock::now() < limit);
  samples.ready.push_back(msSince(rested));
}

void swipes(benchmark::State& state, bool unloaded) {
  auto& w = world();
  auto content = w.malls->thirdProductView();
  Samples samples;
  gStepCPU.clear();
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    state.PauseTiming();
    // On page 1, its category shown; the first category emptied (or kept) before the swipe.
    content->backScrollView->setContentOffset(CGPointMake(W, 0));
    w.malls->selectCategory(1);
    runUntil([&] { return !w.malls->isLoading(1) && w.malls->mallsOf(1)->count() > 0; });
    if (unloaded) {
      w.malls->mallsOf(0)->removeAllObjects();
      content->collectionViewArray[0]->reloadData();
      WIImageCache::sharedImageCache()->clearMemory();
      WIImageCache::sharedImageCache()->clearDisk();
    }
    draw();
    // The overlay of page 1's load (if any) gone.
    auto settleUntil = Clock::now() + std::chrono::milliseconds(500);
    while (Clock::now() < settleUntil) {
      NSRunLoop::currentRunLoop()->runUntilDate(NSDate::dateWithTimeIntervalSinceNow(0.01));
      draw();
    }
    state.ResumeTiming();
    measuredSwipe(w, samples);
  }
  auto longest = [](const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); };
  state.counters["max_move_ms"] = longest(samples.moving);
  state.counters["max_settle_ms"] = longest(samples.settling);
  state.counters["max_load_ms"] = longest(samples.loading);
  std::vector<double> all = samples.moving;
  all.insert(all.end(), samples.settling.begin(), samples.settling.end());
  all.insert(all.end(), samples.loading.begin(), samples.loading.end());
  state.counters["p95_step_ms"] = percentile(all, 0.95);
  state.counters["max_step_cpu_ms"] = longest(gStepCPU);
  state.counters["p95_step_cpu_ms"] = percentile(gStepCPU, 0.95);
  state.counters["ready_p50_ms"] = percentile(samples.ready, 0.5);
  state.counters["ready_p95_ms"] = percentile(samples.ready, 0.95);
}

void SwipeUnloaded(benchmark::State& state) { swipes(state, true); }
void SwipeLoaded(benchmark::State& state) { swipes(state, false); }

// Twenty swipes each (one in smoke mode): an iteration lasts the swipe's own half second.
const int kSwipes = zvt::bench::smokeSize(20, 1);
BENCHMARK(SwipeUnloaded)->Name("malls/swipe/ours")->Unit(benchmark::kMillisecond)->Iterations(kSwipes)->UseRealTime();
BENCHMARK(SwipeLoaded)->Name("malls/swipe/loaded_floor")->Unit(benchmark::kMillisecond)->Iterations(kSwipes)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
