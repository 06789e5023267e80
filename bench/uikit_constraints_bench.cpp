// The layout engine on views: the list screen of the solver's benchmark (75 cells of an image,
// a title and a subtitle: 300 views, 1,200 constraints) built as views with NSLayoutConstraints
// and laid out by the window's display pass, to compare with the bare solver's figures
// (layout_solver_bench) and see what the wiring costs.
//
//   ScreenFromScratch  make the views and constraints, add them to the window, one display pass
//                      (the engine takes the constraints, solves, the views get their frames)
//   ScreenChange       change the first cell's height constant, one display pass (every cell
//                      below moves)
#include <benchmark/benchmark.h>

#include <memory>
#include <optional>
#include <vector>

#include "platform/uikit/Device.h"
#include "platform/uikit/NSLayoutAnchor.h"
#include "platform/uikit/UIWindow.h"
#include "bench/support/ProcessCPU.h"

namespace {

using C = NSLayoutConstraint;

struct Screen {
  std::shared_ptr<UIView> container;
  std::shared_ptr<NSLayoutConstraint> firstHeight;
};

std::shared_ptr<C> withPriority(std::shared_ptr<C> c, UILayoutPriority p) {
  c->setPriority(p);
  return c;
}

Screen makeScreen(const std::shared_ptr<UIWindow>& window) {
  Screen s;
  s.container = UIView::initWithFrame(window->bounds());
  std::shared_ptr<UIView> previous;
  auto placed = [](const std::shared_ptr<UIView>& parent) {
    auto v = UIView::make();
    v->setTranslatesAutoresizingMaskIntoConstraints(false);
    parent->addSubview(v);
    return v;
  };
  for (int i = 0; i < 75; ++i) {
    auto cell = placed(s.container);
    auto image = placed(cell), title = placed(cell), subtitle = placed(cell);
    auto height = withPriority(cell->heightAnchor()->constraintEqualToConstant(88), 999);
    if (i == 0) s.firstHeight = height;
    s.container->addConstraints(
        {cell->leftAnchor()->constraintEqualToAnchor(s.container->leftAnchor()),
         cell->widthAnchor()->constraintEqualToAnchor(s.container->widthAnchor()),
         previous ? cell->topAnchor()->constraintEqualToAnchor(previous->bottomAnchor())
                  : cell->topAnchor()->constraintEqualToAnchor(s.container->topAnchor())});
    cell->addConstraints(
        {height, image->leftAnchor()->constraintEqualToAnchor(cell->leftAnchor(), 12),
         image->centerYAnchor()->constraintEqualToAnchor(cell->centerYAnchor()),
         withPriority(image->widthAnchor()->constraintEqualToConstant(64), 750),
         image->heightAnchor()->constraintEqualToAnchor(image->widthAnchor()),
         title->leftAnchor()->constraintEqualToAnchor(image->rightAnchor(), 8),
         title->topAnchor()->constraintEqualToAnchor(image->topAnchor()),
         title->rightAnchor()->constraintEqualToAnchor(cell->rightAnchor(), -12),
         withPriority(title->heightAnchor()->constraintEqualToConstant(20), 750),
         subtitle->leftAnchor()->constraintEqualToAnchor(title->leftAnchor()),
         subtitle->widthAnchor()->constraintEqualToAnchorMultiplier(title->widthAnchor(), 0.8),
         subtitle->topAnchor()->constraintEqualToAnchor(title->bottomAnchor(), 4),
         subtitle->bottomAnchor()->constraintLessThanOrEqualToAnchor(image->bottomAnchor())});
    previous = cell;
  }
  return s;
}

std::shared_ptr<UIWindow> makeWindow() {
  zvt::ui::Device::useScreen(zvt::ui::kScreen375x667);
  auto window = UIWindow::make();
  window->makeKeyAndVisible();
  return window;
}

void ScreenFromScratch(benchmark::State& state) {
  auto window = makeWindow();
  auto& device = zvt::ui::Device::shared();
  // Process CPU includes the untimed removal of each screen.
  std::optional<zvt::bench::ProcessCPUCounter> cpu(std::in_place, state);
  for (auto _ : state) {
    auto screen = makeScreen(window);
    window->addSubview(screen.container);
    device.settle();
    benchmark::DoNotOptimize(screen.container->subviews().back()->frame());
    state.PauseTiming();
    screen.container->removeFromSuperview();
    screen = Screen{};
    state.ResumeTiming();
  }
  cpu.reset();
  window->setHidden(true);
}

void ScreenChange(benchmark::State& state) {
  auto window = makeWindow();
  auto& device = zvt::ui::Device::shared();
  auto screen = makeScreen(window);
  window->addSubview(screen.container);
  device.settle();
  bool tall = false;
  std::optional<zvt::bench::ProcessCPUCounter> cpu(std::in_place, state);
  for (auto _ : state) {
    tall = !tall;
    screen.firstHeight->setConstant(tall ? 100 : 88);
    device.settle();
  }
  cpu.reset();
  benchmark::DoNotOptimize(screen.container->subviews().back()->frame());
  window->setHidden(true);
}

BENCHMARK(ScreenFromScratch)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(ScreenChange)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
