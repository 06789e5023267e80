#pragma once
// Navigation controllers (UINavigationController): a stack of child controllers of which the top
// one is shown under a navigation bar that shows their navigation items.
//
// The stack (viewControllers, topViewController) changes at once; what is shown follows with a
// transition while the controller's view is on screen: a push slides the new view in from the
// right while the old one moves a third of the way left, a pop the reverse, for 0.35 s on the
// run loop's clock (at once without animation). While a transition runs, further changes of the
// stack wait for it and are then shown at once. Pushed controllers get willMoveToParent at the
// push and didMoveToParent when the transition ends; popped ones willMoveToParent(nil) at the pop
// and didMoveToParent(nil) (and lose their navigationController) when it ends. Off screen, the
// stack changes and the containment calls happen at once, without appearance callbacks.
//
// The interactive pop: the edge pan (interactivePopGestureRecognizer, from the left edge, while
// two or more controllers are stacked and no transition runs) or any pan given to
// handleNavigationTransition starts a pop that follows the finger, then finishes (past half way,
// or flung right) or cancels; cancelled, the controllers go back with the reverse callbacks.
//
// Child views lie under the bar when they extend their layout under the top edge and the bar is
// translucent (or they include opaque bars), else below it; a hidden bar leaves them the whole
// height. The navigation bar is this controller's and shows the stack's items.

#include <functional>
#include <memory>
#include <vector>

#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UIScreenEdgePanGestureRecognizer.h"
#include "platform/uikit/UIViewController.h"

class UINavigationController;
namespace zvt::ui {
class ControllerTransition;
}

// The duration of hiding or showing the bar with animation outside a transition.
inline constexpr NSTimeInterval UINavigationControllerHideShowBarDuration = 0.2;

class UINavigationControllerDelegate {
 public:
  virtual ~UINavigationControllerDelegate() = default;
  virtual void navigationControllerWillShowViewController(const std::shared_ptr<UINavigationController>& /*nav*/,
                                                          const std::shared_ptr<UIViewController>& /*controller*/,
                                                          bool /*animated*/) {}
  virtual void navigationControllerDidShowViewController(const std::shared_ptr<UINavigationController>& /*nav*/,
                                                         const std::shared_ptr<UIViewController>& /*controller*/,
                                                         bool /*animated*/) {}
};

class UINavigationController : public UIViewController, public UINavigationBarDelegate {
 public:
  static constexpr NSTimeInterval kTransitionDuration = 0.35;
  // How far a pan must be across the view (of its width) for a released interactive pop to
  // finish, and the speed (points a second) that finishes or cancels it whatever the distance.
  static constexpr CGFloat kInteractiveFinishFraction = 0.5;
  static constexpr CGFloat kInteractiveFlingSpeed = 300;

  UINavigationController();
  ~UINavigationController() override;

  static std::shared_ptr<UINavigationController> make() { return std::make_shared<UINavigationController>(); }
  // initWithRootViewController: (for a subclass N, initWithRootViewController<N>).
  static std::shared_ptr<UINavigationController> initWithRootViewController(
      const std::shared_ptr<UIViewController>& root) {
    return initWithRootViewController<UINavigationController>(root);
  }
  template <class N>
  static std::shared_ptr<N> initWithRootViewController(const std::shared_ptr<UIViewController>& root) {
    auto navigation = std::make_shared<N>();
    navigation->setViewControllers({root}, false);
    return navigation;
  }

  // --- the stack (the base implementations of these four run the hook chains)
  virtual void pushViewController(const std::shared_ptr<UIViewController>& controller, bool animated);
  virtual std::shared_ptr<UIViewController> popViewControllerAnimated(bool animated);
  virtual zvt::ui::ControllerList popToViewController(const std::shared_ptr<UIViewController>& controller,
                                                      bool animated);
  virtual zvt::ui::ControllerList popToRootViewControllerAnimated(bool animated);
  const zvt::ui::ControllerList& viewControllers() const { return stack_; }
  void setViewControllers(zvt::ui::ControllerList controllers, bool animated = false);
  std::shared_ptr<UIViewController> topViewController() const { return stack_.empty() ? nullptr : stack_.back(); }
  // The controller presented over the top one, else the top one.
  std::shared_ptr<UIViewController> visibleViewController() const;

  // --- the bar
  std::shared_ptr<UINavigationBar> navigationBar();
  bool isNavigationBarHidden() const { return barHidden_; }
  void setNavigationBarHidden(bool hidden) { setNavigationBarHidden(hidden, false); }
  // Animated: alongside a running transition, else for UINavigationControllerHideShowBarDuration.
  void setNavigationBarHidden(bool hidden, bool animated);

  std::shared_ptr<UINavigationControllerDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<UINavigationControllerDelegate>& delegate) { delegate_ = delegate; }

  // --- the interactive pop
  std::shared_ptr<UIGestureRecognizer> interactivePopGestureRecognizer();
  // The action of the edge pan; a public stand-in for the private handler the back swipe
  // targets on the device: began starts the interactive pop, changed follows the translation,
  // ended finishes or cancels it, cancelled and failed cancel it.
  void handleNavigationTransition(const std::shared_ptr<UIPanGestureRecognizer>& recognizer);
  // The same steps without a recogniser. begin answers whether an interactive pop started.
  bool beginInteractivePop();
  void updateInteractivePop(CGFloat percent);
  void finishInteractivePop();
  void cancelInteractivePop();
  // Whether a transition is running (a public stand-in for the private "_isTransitioning").
  bool isTransitioning() const;

  // --- UIViewController
  void loadView() override;
  UIStatusBarStyle preferredStatusBarStyle() const override;
  std::shared_ptr<UIViewController> childViewControllerForStatusBarStyle() const override;
  std::shared_ptr<UIViewController> childViewControllerForStatusBarHidden() const override;
  CGRect frameForChildView(const UIViewController& child) const override;
  std::pair<CGFloat, CGFloat> uncoveredSpanForChild(const UIViewController& child) const override;

  // --- UINavigationBarDelegate: the back button pops the top controller.
  bool navigationBarShouldPopItem(const std::shared_ptr<UINavigationBar>& bar,
                                  const std::shared_ptr<UINavigationItem>& item) override;

  UINavigationController* asNavigationController() override { return this; }

  // --- for the view
  void layoutContainer();
  // Told by a tab bar controller that holds it (to move its bar when the stack changes).
  void setStackObserver(std::function<void(bool animated)> observer) { stackObserver_ = std::move(observer); }

 protected:
  std::vector<std::shared_ptr<UIViewController>> childrenShownForAppearance() const override;
  void prepareForAppearance() override;
  bool drivesChildAppearanceByWindowMoves() const override { return false; }

 private:
  enum class Direction { Push, Pop };
  std::shared_ptr<UINavigationController> navigationSelf() const {
    return std::static_pointer_cast<UINavigationController>(controllerSelf());
  }
  void systemPush(const std::shared_ptr<UIViewController>& controller, bool animated);
  std::shared_ptr<UIViewController> systemPop(bool animated);
  zvt::ui::ControllerList systemPopTo(const std::shared_ptr<UIViewController>& controller, bool animated);
  // Brings what is shown to the top of the stack.
  void showTop(bool animated, Direction direction);
  // By value: the caller passes members that the transition changes.
  void transition(std::shared_ptr<UIViewController> from, std::shared_ptr<UIViewController> to, bool animated,
                  Direction direction);
  void settleContainment();
  void syncBarItems(bool animated);
  bool isShowing() const;
  void placeBar();
  CGFloat barTop() const;

  zvt::ui::ControllerList stack_;
  // The child whose view is shown (the top one when no transition runs).
  std::shared_ptr<UIViewController> shown_;
  // Pushed and not yet told didMoveToParentViewController.
  std::vector<std::weak_ptr<UIViewController>> awaitingDidMove_;
  std::shared_ptr<zvt::ui::ControllerTransition> transition_;
  std::shared_ptr<UIView> container_;
  std::shared_ptr<UINavigationBar> bar_;
  std::shared_ptr<UIScreenEdgePanGestureRecognizer> popRecognizer_;
  std::shared_ptr<UIGestureRecognizerDelegate> popRecognizerDelegate_;
  std::weak_ptr<UINavigationControllerDelegate> delegate_;
  std::function<void(bool)> stackObserver_;
  bool barHidden_ = false;
  int barAnimations_ = 0;
  bool interactivePending_ = false;
  bool lastAnimated_ = false;
  Direction pendingDirection_ = Direction::Push;
};
