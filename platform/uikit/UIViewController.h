#pragma once
// View controllers (UIViewController): the owner of a view that it makes on first use (loadView,
// then viewDidLoad), told when the view appears and disappears, a node in a tree of controllers
// (child containment; navigation and tab bar controllers are containers), and a presenter of
// other controllers modally.
//
// Appearance. Each controller is disappeared, appearing, appeared or disappearing; the callbacks
// viewWillAppear / viewDidAppear / viewWillDisappear / viewDidDisappear mark the moves between
// these states. Whoever shows the controller's view drives them (a window for its root, a
// container for its children, a presentation for the presented controller) with
// beginAppearanceTransition / endAppearanceTransition; a controller passes each move on to the
// children it shows (its own callback first) unless shouldAutomaticallyForwardAppearanceMethods
// says no. In every transition the callbacks come in this order:
//   leaving.viewWillDisappear, arriving.viewWillAppear, (the animation),
//   leaving.viewDidDisappear, arriving.viewDidAppear.
// An animated transition ends on the run loop's clock; one without animation ends inside the
// call that asked for it. A window that is shown (or given a new root while shown) sends
// will-appear at once and did-appear after the turn's layout and display, as the device does
// after launch. isMovingToParentViewController / isMovingFromParentViewController /
// isBeingPresented / isBeingDismissed hold during the transition's callbacks.
//
// Presentation. presentViewController presents from the controller's presentation context: the
// nearest ancestor that definesPresentationContext for the current-context styles, otherwise
// the root of its tree (the window's root, or the presented controller it stands in). The
// context keeps the presented controller (presentedViewController); the presented one knows
// the context (presentingViewController). A context that already presents refuses another
// presentation and logs UIKit's warning. dismissViewControllerAnimated on a controller that
// presents dismisses what it presents (and everything above it); on a presented controller, or
// on any controller inside a presented one, it dismisses that presented controller.
//
// Main thread only. Making a controller: UIViewController::make() or std::make_shared<T>() for a
// subclass (init); the C++ constructor must not touch the view.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/uikit/internal/AssociatedObjects.h"
#include "platform/foundation/NSString.h"
#include "platform/graphics/UIGeometry.h"
#include "platform/uikit/ControllerHooks.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UITabBarItem.h"
#include "platform/uikit/UILayoutGuide.h"
#include "platform/uikit/UIView.h"

class UIWindow;
class UINavigationController;
class UITabBarController;
class UIViewController;

namespace zvt::ui {
class ControllerTransition;
class PresentationRecord;
}  // namespace zvt::ui

enum UIModalPresentationStyle : NSInteger {
  UIModalPresentationFullScreen = 0,
  UIModalPresentationPageSheet,
  UIModalPresentationFormSheet,
  UIModalPresentationCurrentContext,
  UIModalPresentationCustom,
  UIModalPresentationOverFullScreen,
  UIModalPresentationOverCurrentContext,
  UIModalPresentationPopover,
  UIModalPresentationNone = -1,
};

enum UIModalTransitionStyle : NSInteger {
  UIModalTransitionStyleCoverVertical = 0,
  UIModalTransitionStyleFlipHorizontal,
  UIModalTransitionStyleCrossDissolve,
  UIModalTransitionStylePartialCurl,
};

enum UIRectEdge : NSUInteger {
  UIRectEdgeNone = 0,
  UIRectEdgeTop = 1 << 0,
  UIRectEdgeLeft = 1 << 1,
  UIRectEdgeBottom = 1 << 2,
  UIRectEdgeRight = 1 << 3,
  UIRectEdgeAll = 0xF,
};
inline UIRectEdge operator|(UIRectEdge a, UIRectEdge b) {
  return static_cast<UIRectEdge>(static_cast<NSUInteger>(a) | static_cast<NSUInteger>(b));
}

// Keys of UIViewControllerTransitionCoordinatorContext::viewControllerForKey / viewForKey.
inline const zvt::StaticString UITransitionContextFromViewControllerKey{"UITransitionContextFromViewControllerKey"};
inline const zvt::StaticString UITransitionContextToViewControllerKey{"UITransitionContextToViewControllerKey"};
inline const zvt::StaticString UITransitionContextFromViewKey{"UITransitionContextFromViewKey"};
inline const zvt::StaticString UITransitionContextToViewKey{"UITransitionContextToViewKey"};

// What a running transition is (UIViewControllerTransitionCoordinatorContext).
class UIViewControllerTransitionCoordinatorContext : public NSObject {
 public:
  virtual bool isAnimated() const = 0;
  virtual UIModalPresentationStyle presentationStyle() const = 0;
  virtual bool initiallyInteractive() const = 0;
  virtual bool isInteractive() const = 0;
  virtual bool isCancelled() const = 0;
  virtual NSTimeInterval transitionDuration() const = 0;
  virtual CGFloat percentComplete() const = 0;
  virtual CGFloat completionVelocity() const { return 1; }
  virtual UIViewAnimationCurve completionCurve() const { return UIViewAnimationCurveEaseInOut; }
  // UITransitionContextFromViewControllerKey or UITransitionContextToViewControllerKey.
  virtual std::shared_ptr<UIViewController> viewControllerForKey(const std::shared_ptr<NSString>& key) const = 0;
  // UITransitionContextFromViewKey or UITransitionContextToViewKey.
  virtual std::shared_ptr<UIView> viewForKey(const std::shared_ptr<NSString>& key) const = 0;
  // The view in which the transition's views move.
  virtual std::shared_ptr<UIView> containerView() const = 0;
  CGAffineTransform targetTransform() const { return CGAffineTransformIdentity; }
};

// A running transition, as the controllers in it see it (UIViewControllerTransitionCoordinator).
class UIViewControllerTransitionCoordinator : public UIViewControllerTransitionCoordinatorContext {
 public:
  using Block = std::function<void(const std::shared_ptr<UIViewControllerTransitionCoordinatorContext>& context)>;
  // The animation runs inside the transition's own animation block (for an interactive
  // transition, when it begins); the completion after the transition ends or is cancelled.
  // Answers NO when the transition is already over.
  virtual bool animateAlongsideTransition(Block animation, Block completion) = 0;
  virtual bool animateAlongsideTransitionInView(const std::shared_ptr<UIView>& view, Block animation,
                                                Block completion) = 0;
  // Called when the user lifts the finger from an interactive transition (finishing or
  // cancelling it).
  virtual void notifyWhenInteractionEndsUsingBlock(Block handler) = 0;
};

class UIViewController : public UIResponder, public zvt::ui::ViewDelegate {
 public:
  UIViewController();
  ~UIViewController() override;

  // [[UIViewController alloc] init].
  static std::shared_ptr<UIViewController> make() { return std::make_shared<UIViewController>(); }
  // initWithNibName:bundle: for a controller class C (the nib is built by the nib registry
  // when the view is first needed).
  template <class C = UIViewController>
  static std::shared_ptr<C> initWithNibName(const std::shared_ptr<NSString>& nibName) {
    auto controller = std::make_shared<C>();
    controller->nibName_ = nibName;
    return controller;
  }
  const std::shared_ptr<NSString>& nibName() const { return nibName_; }

  // --- the view
  // The view, loaded on first use: loadView, then viewDidLoad.
  std::shared_ptr<UIView> view();
  void setView(const std::shared_ptr<UIView>& view);
  bool isViewLoaded() const { return view_ != nullptr; }
  std::shared_ptr<UIView> viewIfLoaded() const { return view_; }
  void loadViewIfNeeded() { view(); }
  // Makes the view: from the nib when there is a nib name, else a plain view of the screen's
  // size that resizes with its superview. Overrides set the view without calling the base.
  virtual void loadView();
  virtual void viewDidLoad() {}
  // Around the view's layoutSubviews. The base viewWillLayoutSubviews runs the hooks.
  virtual void viewWillLayoutSubviews();
  virtual void viewDidLayoutSubviews() {}
  virtual void didReceiveMemoryWarning() {}

  // --- appearance (overrides call the base; the base viewWillAppear and viewDidAppear run
  // the hooks)
  virtual void viewWillAppear(bool animated);
  virtual void viewDidAppear(bool animated);
  virtual void viewWillDisappear(bool /*animated*/) {}
  virtual void viewDidDisappear(bool /*animated*/) {}
  bool isMovingToParentViewController() const { return movingToParent_; }
  bool isMovingFromParentViewController() const { return movingFromParent_; }
  bool isBeingPresented() const { return beingPresented_; }
  bool isBeingDismissed() const { return beingDismissed_; }
  // For those who show the controller's view: a move towards appearing or disappearing, and
  // its end. A begin while already there (or moving there) does nothing; an end without a
  // begin does nothing.
  void beginAppearanceTransition(bool isAppearing, bool animated);
  void endAppearanceTransition();
  virtual bool shouldAutomaticallyForwardAppearanceMethods() const { return true; }
  // Whether the view is on screen as far as the callbacks go (appeared, or appearing).
  bool isAppearedOrAppearing() const {
    return appearState_ == AppearState::Appeared || appearState_ == AppearState::Appearing;
  }
  bool isAppeared() const { return appearState_ == AppearState::Appeared; }
  // Counts the moves begun and ended (a deferred end checks that nothing moved meanwhile).
  uint64_t appearanceGeneration() const { return appearGeneration_; }

  // --- title and bar items
  const std::shared_ptr<NSString>& title() const { return title_; }
  // Also the title of the navigation item and of the tab bar item.
  virtual void setTitle(const std::shared_ptr<NSString>& title);
  std::shared_ptr<UINavigationItem> navigationItem();
  std::shared_ptr<UITabBarItem> tabBarItem();
  void setTabBarItem(const std::shared_ptr<UITabBarItem>& item);
  bool hidesBottomBarWhenPushed() const { return hidesBottomBarWhenPushed_; }
  void setHidesBottomBarWhenPushed(bool hides) { hidesBottomBarWhenPushed_ = hides; }

  // --- the controller tree
  std::shared_ptr<UIViewController> parentViewController() const { return parent_.lock(); }
  std::vector<std::shared_ptr<UIViewController>> childViewControllers() const { return children_; }
  // Calls willMoveToParentViewController(this) on the child (after taking it from its old
  // parent); the caller adds the view and then calls didMoveToParentViewController.
  virtual void addChildViewController(const std::shared_ptr<UIViewController>& child);
  // Calls didMoveToParentViewController(nil); the caller calls willMoveToParentViewController(nil)
  // and takes the view out first.
  virtual void removeFromParentViewController();
  virtual void willMoveToParentViewController(const std::shared_ptr<UIViewController>& /*parent*/) {}
  virtual void didMoveToParentViewController(const std::shared_ptr<UIViewController>& /*parent*/) {}
  // The nearest navigation controller / tab bar controller among the ancestors (parents, and
  // the presenter of a presented tree is not one of them).
  std::shared_ptr<UINavigationController> navigationController() const;
  std::shared_ptr<UITabBarController> tabBarController() const;

  // --- presentation
  void presentViewController(const std::shared_ptr<UIViewController>& controller, bool animated,
                             std::function<void()> completion = nullptr);
  void dismissViewControllerAnimated(bool animated, std::function<void()> completion = nullptr);
  // What this controller's presentation context presents, or nil.
  std::shared_ptr<UIViewController> presentedViewController() const;
  // Who presented this controller (or the presented controller it stands in), or nil.
  std::shared_ptr<UIViewController> presentingViewController() const;
  UIModalPresentationStyle modalPresentationStyle() const { return modalPresentationStyle_; }
  void setModalPresentationStyle(UIModalPresentationStyle style) { modalPresentationStyle_ = style; }
  UIModalTransitionStyle modalTransitionStyle() const { return modalTransitionStyle_; }
  void setModalTransitionStyle(UIModalTransitionStyle style) { modalTransitionStyle_ = style; }
  bool definesPresentationContext() const { return definesPresentationContext_; }
  void setDefinesPresentationContext(bool defines) { definesPresentationContext_ = defines; }
  bool modalPresentationCapturesStatusBarAppearance() const { return capturesStatusBar_; }
  void setModalPresentationCapturesStatusBarAppearance(bool captures) { capturesStatusBar_ = captures; }
  // The transition this controller (or an ancestor) takes part in, while it runs.
  std::shared_ptr<UIViewControllerTransitionCoordinator> transitionCoordinator() const;

  // --- layout under the bars
  bool automaticallyAdjustsScrollViewInsets() const { return adjustsScrollViewInsets_; }
  void setAutomaticallyAdjustsScrollViewInsets(bool adjusts) { adjustsScrollViewInsets_ = adjusts; }
  UIRectEdge edgesForExtendedLayout() const { return edgesForExtendedLayout_; }
  void setEdgesForExtendedLayout(UIRectEdge edges);
  bool extendedLayoutIncludesOpaqueBars() const { return extendedLayoutIncludesOpaqueBars_; }
  void setExtendedLayoutIncludesOpaqueBars(bool includes);
  const std::shared_ptr<UILayoutSupport>& topLayoutGuide() const { return topGuide_; }
  const std::shared_ptr<UILayoutSupport>& bottomLayoutGuide() const { return bottomGuide_; }

  // --- status bar
  virtual UIStatusBarStyle preferredStatusBarStyle() const { return UIStatusBarStyleDefault; }
  virtual bool prefersStatusBarHidden() const { return false; }
  virtual std::shared_ptr<UIViewController> childViewControllerForStatusBarStyle() const { return nullptr; }
  virtual std::shared_ptr<UIViewController> childViewControllerForStatusBarHidden() const { return nullptr; }
  // Brings the application's status bar to what the controllers on screen prefer.
  void setNeedsStatusBarAppearanceUpdate();

  // --- responder chain: the view's superview (the window for a window's root).
  std::shared_ptr<UIResponder> nextResponder() const override;

  // --- the view's delegate (zvt::ui::ViewDelegate)
  std::shared_ptr<UIResponder> responderForView() override { return responderSelf(); }
  void viewWillLayoutSubviewsOfView() override;
  void viewDidLayoutSubviewsOfView() override;
  void viewWillMoveToWindow(const std::shared_ptr<UIWindow>& window) override;
  void viewDidMoveToWindow() override;

  std::shared_ptr<NSString> description() const override;

  // --- objects extensions keep with the controller (where the original used associated
  // objects): one strong slot per key; a key is the address of the extension's own static
  // object. Setting nil empties the slot.
  id associatedObject(const void* key) const;
  void setAssociatedObject(const void* key, const id& value);

  // --- for containers, windows and transitions (not for screens)
  // The container classes answer themselves (navigationController, tabBarController).
  virtual UINavigationController* asNavigationController() { return nullptr; }
  virtual UITabBarController* asTabBarController() { return nullptr; }
  std::shared_ptr<UIViewController> controllerSelf() const {
    return std::const_pointer_cast<UIViewController>(
        std::static_pointer_cast<const UIViewController>(shared_from_this()));
  }
  void setMovingToParentViewController(bool moving) { movingToParent_ = moving; }
  void setMovingFromParentViewController(bool moving) { movingFromParent_ = moving; }
  void setBeingPresented(bool presented) { beingPresented_ = presented; }
  void setBeingDismissed(bool dismissed) { beingDismissed_ = dismissed; }
  void setTransitionCoordinator(const std::shared_ptr<UIViewControllerTransitionCoordinator>& coordinator) {
    transitionCoordinator_ = coordinator;
  }
  // The frame this controller gives a child's view in its own view (the base: the child's
  // current frame).
  virtual CGRect frameForChildView(const UIViewController& child) const;
  // The part of the window, from top to bottom in window coordinates, that no bar covers for a
  // child's view: the base passes on its own; a navigation controller takes off its bar, a tab
  // bar controller its tab bar.
  virtual std::pair<CGFloat, CGFloat> uncoveredSpanForChild(const UIViewController& child) const;
  // The same for this controller: its parent's answer, or below the status bar for a root.
  std::pair<CGFloat, CGFloat> uncoveredSpan() const;
  // A child was given another tab bar item.
  virtual void childTabBarItemDidChange(const UIViewController& child);
  // Brings both layout guides up to date and adjusts the scroll view insets.
  void updateLayoutGuides();
  // The presentation this controller stands in as the presented one, if any.
  std::shared_ptr<zvt::ui::PresentationRecord> presentation() const { return presentation_.lock(); }
  // The window whose root this controller is (set by UIWindow).
  void setRootOfWindow(const std::shared_ptr<UIWindow>& window) { rootOfWindow_ = window; }
  std::shared_ptr<UIWindow> rootOfWindow() const { return rootOfWindow_.lock(); }

 protected:
  // The children to which appearance moves are passed on: by default those whose views are
  // in this controller's view.
  virtual std::vector<std::shared_ptr<UIViewController>> childrenShownForAppearance() const;
  // Called before this controller's callbacks of a move towards appearing (containers put the
  // shown child's view in place here).
  virtual void prepareForAppearance() {}
  // Whether a child's view moving in and out of a window drives the child's appearance (plain
  // containers); containers that drive their children themselves answer no.
  virtual bool drivesChildAppearanceByWindowMoves() const { return true; }

 private:
  friend class zvt::ui::PresentationRecord;
  enum class AppearState { Disappeared, Appearing, Appeared, Disappearing };

  void finishAppearanceTransition();
  std::shared_ptr<UIViewController> presentationContext(UIModalPresentationStyle style) const;
  std::shared_ptr<UIViewController> treeRoot() const;

  std::shared_ptr<UIView> view_;
  std::shared_ptr<NSString> nibName_;
  std::shared_ptr<NSString> title_;
  std::shared_ptr<UINavigationItem> navigationItem_;
  std::shared_ptr<UITabBarItem> tabBarItem_;
  std::weak_ptr<UIViewController> parent_;
  std::vector<std::shared_ptr<UIViewController>> children_;
  std::weak_ptr<UIWindow> rootOfWindow_;
  // As the context: the presentation of the controller this one presents.
  std::shared_ptr<zvt::ui::PresentationRecord> presenting_;
  // As the presented controller: the presentation it stands in.
  std::weak_ptr<zvt::ui::PresentationRecord> presentation_;
  std::shared_ptr<UIViewControllerTransitionCoordinator> transitionCoordinator_;
  std::shared_ptr<UILayoutSupport> topGuide_;
  std::shared_ptr<UILayoutSupport> bottomGuide_;
  UIEdgeInsets scrollInsetsAdded_{};
  zvt::ui::AssociatedObjects associatedObjects_;

  AppearState appearState_ = AppearState::Disappeared;
  bool appearAnimated_ = false;
  uint64_t appearGeneration_ = 0;
  bool movingToParent_ = false;
  bool movingFromParent_ = false;
  bool beingPresented_ = false;
  bool beingDismissed_ = false;
  bool loadingView_ = false;
  bool windowMoveAppearance_ = false;
  bool hidesBottomBarWhenPushed_ = false;
  bool adjustsScrollViewInsets_ = true;
  UIRectEdge edgesForExtendedLayout_ = UIRectEdgeAll;
  bool extendedLayoutIncludesOpaqueBars_ = false;
  bool definesPresentationContext_ = false;
  bool capturesStatusBar_ = false;
  UIModalPresentationStyle modalPresentationStyle_ = UIModalPresentationFullScreen;
  UIModalTransitionStyle modalTransitionStyle_ = UIModalTransitionStyleCoverVertical;
};

namespace zvt::ui {
// Runs `fn` after the current turn's layout and display pass (a main run-loop observer after
// the display cycle's); used for the did-appear of windows' roots.
void afterDisplayPass(std::function<void()> fn);
// The bars' heights as the controllers lay out with them.
inline constexpr CGFloat kStatusBarHeight = 20;
// The status bar's height now (0 while the application hides it).
CGFloat statusBarHeight();
// Updates the application's status bar style and visibility from the key window's controllers
// (UIViewControllerBasedStatusBarAppearance; off: only UIApplication's setters change them).
void updateStatusBarAppearance();
void setViewControllerBasedStatusBarAppearance(bool based);
}  // namespace zvt::ui
