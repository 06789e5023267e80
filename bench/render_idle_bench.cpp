// The live screen's end of a run-loop turn (the display pass and the frame after it) on a
// 375 x 667 point window at scale 2 holding 500 or 2,000 layers (views of 8 x 8 points in rows,
// each with a square inside), drawn once before timing:
//
//   render_idle/idle/layers:N          nothing changed since the last frame: the pass and the
//                                      renderer's look at what changed (goal: under 20 us,
//                                      whatever N)
//   render_idle/one_change/layers:N    one small square changes colour: the pass and the frame
//                                      that redraws its damage
//   render_idle/full_frame/layers:N    the frame drawn whole (the renderer's record forgotten):
//                                      what every turn cost when each one walked the tree
//
// Times are wall clock per turn.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "platform/graphics/UIColor.h"
#include "platform/uikit/Device.h"
#include "platform/uikit/DisplayCycle.h"
#include "platform/uikit/ScreenRenderer.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIWindow.h"

namespace {

struct Scene {
  std::shared_ptr<UIWindow> window;
  std::vector<std::shared_ptr<UIView>> squares;
};

// Half the layers are cells, half the squares inside them.
Scene makeScene(int layers) {
  zvt::ui::Device::useScreen(zvt::ui::kScreen375x667);
  Scene s;
  s.window = UIWindow::make();
  s.window->setBackgroundColor(UIColor::whiteColor());
  for (int i = 0; i < layers / 2; ++i) {
    auto cell = UIView::initWithFrame(CGRectMake((i % 40) * 9, 20 + (i / 40) * 9, 8, 8));
    cell->setBackgroundColor(UIColor::lightGrayColor());
    auto square = UIView::initWithFrame(CGRectMake(2, 2, 4, 4));
    square->setBackgroundColor(UIColor::orangeColor());
    cell->addSubview(square);
    s.window->addSubview(cell);
    s.squares.push_back(square);
  }
  s.window->makeKeyAndVisible();
  auto& renderer = zvt::ui::ScreenRenderer::shared();
  renderer.setLive(true);
  zvt::ui::Device::shared().settle();
  zvt::ui::runDisplayPass();
  return s;
}

void endScene(Scene& s) {
  zvt::ui::ScreenRenderer::shared().setLive(false);
  s.window->setHidden(true);
  zvt::ui::Device::shared().settle();
}

void Idle(benchmark::State& state) {
  Scene scene = makeScene(static_cast<int>(state.range(0)));
  auto& renderer = zvt::ui::ScreenRenderer::shared();
  const uint64_t drawn = renderer.frameCount();
  for (auto _ : state) zvt::ui::runDisplayPass();
  if (renderer.frameCount() != drawn) state.SkipWithError("an idle turn drew a frame");
  endScene(scene);
}

void OneChange(benchmark::State& state) {
  Scene scene = makeScene(static_cast<int>(state.range(0)));
  auto square = scene.squares[scene.squares.size() / 2];
  bool blue = false;
  for (auto _ : state) {
    UIView::performWithoutAnimation([&] { square->setBackgroundColor((blue = !blue) ? UIColor::blueColor() : UIColor::orangeColor()); });
    zvt::ui::runDisplayPass();
  }
  endScene(scene);
}

void FullFrame(benchmark::State& state) {
  Scene scene = makeScene(static_cast<int>(state.range(0)));
  auto& renderer = zvt::ui::ScreenRenderer::shared();
  for (auto _ : state) {
    renderer.invalidate();
    zvt::ui::runDisplayPass();
  }
  endScene(scene);
}

BENCHMARK(Idle)->Name("render_idle/idle")->ArgName("layers")->Arg(500)->Arg(2000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(OneChange)->Name("render_idle/one_change")->ArgName("layers")->Arg(500)->Arg(2000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(FullFrame)->Name("render_idle/full_frame")->ArgName("layers")->Arg(500)->Arg(2000)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
