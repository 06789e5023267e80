// The check-in screen built and first drawn, offline, on a 375 x 667 screen: a new
// ThecalendarViewController, its view loaded (the header with the user's balances, the date
// strip, the month grid, whose every day cell is compared with every stored "signData" entry,
// and the two requests it starts, which a refused local port fails), the view put in a window,
// one display pass (layout and the labels' text drawn) and a full frame rendered by the screen
// renderer; then the view taken out again (not timed). With "signData" of 0 and of 1,000
// entries (the list is never pruned).
//
// The floor: the same number of plain views at the same frames, in the same tree, put in the
// same window, one display pass and the same frame rendered.
//
// Everything is made on the main thread; defaults and the user record are set before the timed
// loop. The goal: under one 60 Hz frame (16.7 ms) on one core with 1,000 entries.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/core/AppDelegate.h"
#include "app/core/Configuration.h"
#include "app/screens/rewards/ThecalendarViewController.h"
#include "bench/support/ProcessCPU.h"
#include "bench/support/ProgramEnd.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/Device.h"
#include "platform/uikit/ScreenRenderer.h"
#include "platform/uikit/UIWindow.h"

namespace {

struct Shape {
  CGRect frame;
  std::vector<Shape> children;
};

Shape shapeOf(const std::shared_ptr<UIView>& view) {
  Shape shape{view->frame(), {}};
  for (const auto& child : view->subviews()) shape.children.push_back(shapeOf(child));
  return shape;
}

size_t countOf(const Shape& shape) {
  size_t n = 1;
  for (const auto& child : shape.children) n += countOf(child);
  return n;
}

std::shared_ptr<UIView> plainViews(const Shape& shape) {
  auto view = UIView::initWithFrame(shape.frame);
  for (const auto& child : shape.children) view->addSubview(plainViews(child));
  return view;
}

std::shared_ptr<UIWindow>& window() {
  static auto made = [] {
    const std::string folder = zvt::bench::programTempFolder("zvt-checkin-bench-");
    if (!folder.empty()) zvt::setSandboxHome(folder);
    zvt::setMainBundlePath(ZVT_BUNDLE_ROOT);
    zvt::Configuration::setServerRoot("http://127.0.0.1:9");  // nothing listens: offline
    zvt::ui::Device::useScreen(zvt::ui::kScreen375x667);
    auto w = UIWindow::make();
    w->makeKeyAndVisible();
    auto user = NSDictionary::make({{"id"_ns, "10001"_ns}, {"jifen"_ns, "5000"_ns}, {"jifenbao"_ns, "1200.50"_ns},
                                    {"signtime"_ns, "0"_ns}});
    AppDelegate::shared()->setUserInfoDictionary(user);
    NSUserDefaults::standardUserDefaults()->setObject("cipher"_ns, "info"_ns);
    return w;
  }();
  return made;
}

void storeDays(int entries) {
  auto days = NSMutableArray::array();
  for (int i = 0; i < entries; ++i)
    days->addObject(NSString::stringWithUTF8String(std::to_string(1 + i % 12) + "-" + std::to_string(1 + i % 28)));
  NSUserDefaults::standardUserDefaults()->setObject(days, "signData"_ns);
}

// Lets the refused requests report back, so that no iteration finishes another's.
void drain() { NSRunLoop::currentRunLoop()->runUntilDate(NSDate::dateWithTimeIntervalSinceNow(0.002)); }

[[gnu::noinline]] std::shared_ptr<ThecalendarViewController> measuredScreen(const std::shared_ptr<UIWindow>& w) {
  auto screen = ThecalendarViewController::make();
  w->addSubview(screen->view());
  zvt::ui::Device::shared().settle();
  zvt::ui::ScreenRenderer::shared().render();
  return screen;
}

[[gnu::noinline]] std::shared_ptr<UIView> measuredFloor(const std::shared_ptr<UIWindow>& w, const Shape& shape) {
  auto root = plainViews(shape);
  w->addSubview(root);
  zvt::ui::Device::shared().settle();
  zvt::ui::ScreenRenderer::shared().render();
  return root;
}

void Screen(benchmark::State& state) {
  auto w = window();
  storeDays(static_cast<int>(state.range(0)));
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    auto screen = measuredScreen(w);
    state.PauseTiming();
    screen->view()->removeFromSuperview();
    drain();
    state.ResumeTiming();
  }
}

void Floor(benchmark::State& state) {
  auto w = window();
  storeDays(static_cast<int>(state.range(0)));
  auto sample = ThecalendarViewController::make();
  const Shape shape = shapeOf(sample->view());
  drain();
  state.counters["views"] = static_cast<double>(countOf(shape));
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    auto root = measuredFloor(w, shape);
    state.PauseTiming();
    root->removeFromSuperview();
    drain();
    state.ResumeTiming();
  }
}

BENCHMARK(Screen)->Name("checkin/build_and_draw/ours")->Arg(0)->Arg(1000)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Floor)->Name("checkin/build_and_draw/plain_views")->Arg(0)->Arg(1000)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
