#pragma once
// A finger scrolling a list, for the scroll-step benchmarks: each iteration is one step of the
// finger up the screen (x 187), strokes from y 600 that end below y 80; between strokes, untimed,
// the finger is lifted, `rewind` may move the list back (near its end, say) and the next stroke
// begins 12 points up, past the pan's hysteresis.

#include <benchmark/benchmark.h>

#include <functional>

#include "bench/support/ProcessCPU.h"
#include "platform/uikit/Device.h"
#include "platform/uikit/UITableView.h"
#include "tests/support/MainLoop.h"

namespace zvt::bench {

// One step: the finger moves; with `drain`, what the move set off on the main loop runs too.
[[gnu::noinline]] inline void measuredStep(zvt::ui::Device& device, zvt::ui::Device::Finger finger, CGFloat y,
                                           bool drain) {
  device.touchMove(finger, CGPointMake(187, y));
  if (drain) zvt::test::drainMainLoop();
}

inline void fingerSteps(benchmark::State& state, CGFloat step, bool drain, const std::function<void()>& rewind) {
  auto& device = zvt::ui::Device::shared();
  zvt::ui::Device::Finger finger = 0;
  bool down = false;
  CGFloat y = 0;
  ProcessCPUCounter cpu(state);  // (the untimed finger changes count here on both sides)
  for (auto _ : state) {
    if (!down || y < 80) {
      state.PauseTiming();
      if (down) device.touchUp(finger);
      if (rewind) rewind();
      y = 600;
      finger = device.touchDown(CGPointMake(187, y));
      y -= 12;
      device.touchMove(finger, CGPointMake(187, y));
      down = true;
      state.ResumeTiming();
    }
    y -= step;
    measuredStep(device, finger, y, drain);
  }
  if (down) device.touchUp(finger);
}

// Scroll steps over a long table, which starts again from the top before it runs out of rows.
inline void tableScrollSteps(benchmark::State& state, const std::shared_ptr<UITableView>& table, CGFloat step) {
  fingerSteps(state, step, true, [&] {
    if (table->contentOffset().y > table->maximumContentOffset().y - 1000) table->setContentOffset(CGPointZero, false);
  });
}

// Reloads of a table, each laid out and what it set off on the main loop run.
inline void tableReloads(benchmark::State& state, const std::shared_ptr<UITableView>& table) {
  ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    table->reloadData();
    table->layoutIfNeeded();
    zvt::test::drainMainLoop();
  }
}

}  // namespace zvt::bench
