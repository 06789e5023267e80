#pragma once
// One transition between view controllers (a push, a pop, a presentation, a dismissal): the
// coordinator the controllers see, the animation of their views, and the end. Internal to
// platform/uikit.
//
// The owner builds it with the views already in the container, sends the will-callbacks (in
// which controllers may add alongside animations) and calls start. An animated transition puts
// the views at 0 % and animates them to 100 % in one view animation; it ends on a main run-loop
// timer after its duration, on the run loop's clock. An interactive one follows update(percent)
// until finish or cancel animate the rest of the way (the part of the duration left). One
// without animation ends inside start.

#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/NSTimer.h"
#include "platform/uikit/UIViewController.h"

namespace zvt::ui {

class ControllerTransition : public UIViewControllerTransitionCoordinator {
 public:
  struct Setup {
    std::shared_ptr<UIViewController> from, to;
    std::shared_ptr<UIView> fromView, toView;
    std::shared_ptr<UIView> container;
    bool animated = false;
    bool interactive = false;
    NSTimeInterval duration = 0.35;
    UIModalPresentationStyle style = UIModalPresentationFullScreen;
    // Puts the views where they are at a part of the way (0 to 1); called inside the animation.
    std::function<void(CGFloat percent)> place;
    // After the end (the alongside completions have run): the did-callbacks and the owner's
    // bookkeeping.
    std::function<void(bool cancelled)> complete;
  };

  static std::shared_ptr<ControllerTransition> make(Setup setup);

  void start();
  // Interactive transitions only.
  void update(CGFloat percent);
  void finishInteractive();
  void cancelInteractive();
  bool hasEnded() const { return ended_; }
  bool isRunning() const { return started_ && !ended_; }

  // --- UIViewControllerTransitionCoordinatorContext
  bool isAnimated() const override { return setup_.animated; }
  UIModalPresentationStyle presentationStyle() const override { return setup_.style; }
  bool initiallyInteractive() const override { return setup_.interactive; }
  bool isInteractive() const override { return interactive_; }
  bool isCancelled() const override { return cancelled_; }
  NSTimeInterval transitionDuration() const override { return setup_.duration; }
  CGFloat percentComplete() const override { return percent_; }
  std::shared_ptr<UIViewController> viewControllerForKey(const std::shared_ptr<NSString>& key) const override;
  std::shared_ptr<UIView> viewForKey(const std::shared_ptr<NSString>& key) const override;
  std::shared_ptr<UIView> containerView() const override { return setup_.container; }

  // --- UIViewControllerTransitionCoordinator
  bool animateAlongsideTransition(Block animation, Block completion) override;
  bool animateAlongsideTransitionInView(const std::shared_ptr<UIView>& view, Block animation,
                                        Block completion) override;
  void notifyWhenInteractionEndsUsingBlock(Block handler) override;

 private:
  std::shared_ptr<ControllerTransition> me() {
    return std::static_pointer_cast<ControllerTransition>(shared_from_this());
  }
  void runAlongside();
  void animateTo(CGFloat percent, NSTimeInterval duration, bool cancelled);
  void end(bool cancelled);

  Setup setup_;
  std::vector<std::pair<Block, Block>> alongside_;
  std::vector<Block> interactionEnded_;
  std::shared_ptr<NSTimer> timer_;
  CGFloat percent_ = 0;
  bool interactive_ = false;
  bool cancelled_ = false;
  bool started_ = false;
  bool alongsideRan_ = false;
  bool ended_ = false;
};

// While alive, views moved in and out of windows by a container or a presentation do not drive
// their controllers' appearance (the container drives it itself).
class ManagedViewMoves {
 public:
  ManagedViewMoves() { ++depth(); }
  ~ManagedViewMoves() { --depth(); }
  ManagedViewMoves(const ManagedViewMoves&) = delete;
  ManagedViewMoves& operator=(const ManagedViewMoves&) = delete;
  static bool active() { return depth() > 0; }

 private:
  static int& depth() {
    static int value = 0;
    return value;
  }
};

}  // namespace zvt::ui
