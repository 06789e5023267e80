#pragma once
// The display cycle: once per turn of the main run loop, before it waits (and when a run of it
// ends), every window that is shown has its constraints updated, its views laid out from the
// top down (layoutSubviews of each view marked with setNeedsLayout) and then displayed
// (drawRect: of each view marked with setNeedsDisplay, into its backing store). However often a
// view is marked within a turn, it is laid out and drawn once.
//
// The hooks are how the constraint engine and the renderer join the cycle without the views
// knowing them.

#include <cstdint>
#include <functional>

class UIView;

namespace zvt::ui {

struct DisplayCycleHooks {
  // Before the layout of a tree: update and solve its constraints. The root is a window in the
  // display pass, or the root of the tree whose layoutIfNeeded was called.
  std::function<void(UIView& root)> updateConstraints;
  // The base UIView::layoutSubviews: apply the engine's frames to the view's subviews.
  std::function<void(UIView& view)> layoutFromEngine;
  // UIView::invalidateIntrinsicContentSize.
  std::function<void(UIView& view)> intrinsicContentSizeChanged;
  // After the layout and display of every window, on every pass (the renderer draws here).
  std::function<void()> didCommit;
};
DisplayCycleHooks& displayCycleHooks();

// Adds the pass to the main run loop (once; UIWindow does it when a window is made): an
// observer of the before-waiting and exit activities in the common modes, after the others.
void installDisplayCycle();
// One pass now, as the observer runs it. A pass asked for during a pass is skipped.
void runDisplayPass();
// How many passes found something to lay out or draw.
uint64_t displayPassCount();

}  // namespace zvt::ui
