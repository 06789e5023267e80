#include "platform/uikit/DisplayCycle.h"

#include "platform/foundation/NSRunLoop.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/UIWindow.h"
#include "platform/uikit/internal/LayoutEngine.h"

namespace zvt::ui {

namespace {

uint64_t passes = 0;
bool inPass = false;

}  // namespace

DisplayCycleHooks& displayCycleHooks() {
  // The constraint engine's parts are there from the start.
  static auto* hooks = new DisplayCycleHooks{runConstraintPass, applyEngineLayout, intrinsicContentSizeChanged, {}};
  return *hooks;
}

void installDisplayCycle() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  // After other observers of the same moments, as the layer tree's commit is in UIKit.
  auto observer = CFRunLoopObserverCreateWithHandler(kCFRunLoopBeforeWaiting | kCFRunLoopExit, true, 2000000,
                                                     [](const auto&, auto) { runDisplayPass(); });
  NSRunLoop::mainRunLoop()->addObserver(observer, NSRunLoopCommonModes);
}

uint64_t displayPassCount() { return passes; }

void runDisplayPass() {
  assertMainThread("DisplayCycle::runDisplayPass");
  if (inPass) return;
  inPass = true;
  struct Leave {
    ~Leave() { inPass = false; }
  } leave;
  auto windows = UIApplication::sharedApplication()->windows();
  auto& hooks = displayCycleHooks();
  bool worked = false;
  for (auto& window : windows) {
    if (window->isHidden()) continue;
    // Layout may ask for more layout above the view being laid out (a solved constraint moving
    // an ancestor's subview, a table adding cells that carry constraints): a few rounds settle it.
    if (hooks.updateConstraints) hooks.updateConstraints(*window);
    for (int round = 0; round < 4 && window->layer()->treeNeedsLayout(); ++round) {
      worked = true;
      window->layer()->layoutTreeIfNeeded();
      if (window->layer()->treeNeedsLayout() && hooks.updateConstraints) hooks.updateConstraints(*window);
    }
  }
  for (auto& window : windows) {
    if (window->isHidden() || !window->layer()->treeNeedsDisplay()) continue;
    worked = true;
    window->layer()->displayTreeIfNeeded();
  }
  if (worked) ++passes;
  if (hooks.didCommit) hooks.didCommit();
}

}  // namespace zvt::ui
