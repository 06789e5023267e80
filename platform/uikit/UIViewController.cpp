#include "platform/uikit/UIViewController.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITabBarItem.h"
#include "platform/uikit/UIWindow.h"
#include "platform/uikit/internal/ControllerTransition.h"

namespace {

// automaticallyAdjustsScrollViewInsets: the bars' cover goes into the insets (what the
// controller added before comes out first); content resting at its top stays at its top.
bool adjustInsetsForBars(UIView& candidate, UIEdgeInsets covered, UIEdgeInsets previous) {
  auto* scroll = dynamic_cast<UIScrollView*>(&candidate);
  if (!scroll) return false;
  auto keep = scroll->self();
  UIEdgeInsets inset = scroll->contentInset();
  bool atTop = scroll->contentOffset().y == -inset.top;
  inset.top += covered.top - previous.top;
  inset.bottom += covered.bottom - previous.bottom;
  UIEdgeInsets indicators = scroll->scrollIndicatorInsets();
  indicators.top += covered.top - previous.top;
  indicators.bottom += covered.bottom - previous.bottom;
  scroll->setContentInset(inset);
  scroll->setScrollIndicatorInsets(indicators);
  if (atTop) scroll->setContentOffset(CGPointMake(scroll->contentOffset().x, -inset.top));
  return true;
}

}  // namespace

namespace zvt::ui {

ControllerHooks& controllerHooks() {
  // The controllers' own way of adjusting scroll view insets is there from the start; another
  // part of the system may replace it.
  static auto* hooks = [] {
    auto* made = new ControllerHooks();
    made->adjustScrollViewInsets = adjustInsetsForBars;
    return made;
  }();
  return *hooks;
}

// A presentation: the context keeps it while it lasts; the presented controller knows it.
class PresentationRecord {
 public:
  std::weak_ptr<UIViewController> context;
  std::shared_ptr<UIViewController> presented;
  UIModalPresentationStyle style = UIModalPresentationFullScreen;
  // The view the presented controller's view lies in (UIKit's transition view).
  std::shared_ptr<UIView> container;
  // Where the context's view was taken from while the presentation covers it.
  std::weak_ptr<UIView> contextSuperview;
  CGRect contextFrame{};
  bool contextViewRemoved = false;
  std::shared_ptr<ControllerTransition> transition;

  bool covers() const {
    return style != UIModalPresentationOverFullScreen && style != UIModalPresentationOverCurrentContext &&
           style != UIModalPresentationCustom && style != UIModalPresentationPopover;
  }
  bool busy() const { return transition && !transition->hasEnded(); }
};

// The view that holds a presented controller's view.
class UITransitionView : public UIView {};

static std::vector<std::function<void()>>& pendingAfterPass() {
  static auto* pending = new std::vector<std::function<void()>>();
  return *pending;
}

static bool viewControllerBasedStatusBar = true;

constexpr NSTimeInterval kModalTransitionDuration = 0.4;

static std::string describe(const UIViewController* controller) {
  return controller ? controller->description()->utf8() : std::string("(null)");
}

static bool coversWholeContext(UIModalPresentationStyle style) {
  return style == UIModalPresentationCurrentContext || style == UIModalPresentationOverCurrentContext;
}

void afterDisplayPass(std::function<void()> fn) {
  static bool installed = false;
  if (!installed) {
    installed = true;
    // After the display cycle's observer (order 2,000,000): what it laid out is in place.
    auto observer = CFRunLoopObserverCreateWithHandler(kCFRunLoopBeforeWaiting | kCFRunLoopExit, true, 2100000,
                                                       [](const auto&, auto) {
                                                         auto run = std::move(pendingAfterPass());
                                                         pendingAfterPass().clear();
                                                         for (auto& f : run) f();
                                                       });
    NSRunLoop::mainRunLoop()->addObserver(observer, NSRunLoopCommonModes);
  }
  pendingAfterPass().push_back(std::move(fn));
}

CGFloat statusBarHeight() {
  return UIApplication::sharedApplication()->isStatusBarHidden() ? 0 : kStatusBarHeight;
}

void setViewControllerBasedStatusBarAppearance(bool based) { viewControllerBasedStatusBar = based; }

void updateStatusBarAppearance() {
  if (!viewControllerBasedStatusBar) return;
  auto app = UIApplication::sharedApplication();
  auto window = app->keyWindow();
  if (!window) return;
  auto controller = window->rootViewController();
  if (!controller) return;
  for (;;) {
    auto presented = controller->presentedViewController();
    if (!presented) break;
    auto record = presented->presentation();
    if (record && !record->covers() && !presented->modalPresentationCapturesStatusBarAppearance()) break;
    controller = presented;
  }
  auto style = controller;
  while (auto child = style->childViewControllerForStatusBarStyle()) style = child;
  auto hidden = controller;
  while (auto child = hidden->childViewControllerForStatusBarHidden()) hidden = child;
  app->setStatusBarStyle(style->preferredStatusBarStyle());
  app->setStatusBarHidden(hidden->prefersStatusBarHidden());
}

}  // namespace zvt::ui

using zvt::ui::ControllerTransition;
using zvt::ui::coversWholeContext;
using zvt::ui::describe;
using zvt::ui::kModalTransitionDuration;
using zvt::ui::ManagedViewMoves;
using zvt::ui::PresentationRecord;

// --- making -----------------------------------------------------------------------------------

UIViewController::UIViewController()
    : topGuide_(std::make_shared<UILayoutSupport>(true)), bottomGuide_(std::make_shared<UILayoutSupport>(false)) {}

UIViewController::~UIViewController() {
  for (auto& child : children_) child->parent_.reset();
}

id UIViewController::associatedObject(const void* key) const { return associatedObjects_.get(key); }

void UIViewController::setAssociatedObject(const void* key, const id& value) { associatedObjects_.set(key, value); }

std::shared_ptr<NSString> UIViewController::description() const {
  char address[32];
  std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
  return NSString::fromValidUTF8("<" + className() + ": " + address + ">");
}

// --- the view ---------------------------------------------------------------------------------

std::shared_ptr<UIView> UIViewController::view() {
  zvt::ui::assertMainThread("UIViewController::view");
  if (view_) return view_;
  if (loadingView_) return nullptr;  // loadView asked for the view it is making
  auto keep = controllerSelf();
  loadingView_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{loadingView_};
  loadView();
  if (!view_)
    zvt::raise(NSInternalInconsistencyException, "-[" + className() + " loadView] did not set the controller's view");
  viewDidLoad();
  return view_;
}

void UIViewController::setView(const std::shared_ptr<UIView>& view) {
  zvt::ui::assertMainThread("UIViewController::setView");
  if (view == view_) return;
  if (view_ && view_->viewDelegate().get() == static_cast<zvt::ui::ViewDelegate*>(this)) view_->setViewDelegate(nullptr);
  view_ = view;
  if (view_) {
    view_->setViewDelegate(std::shared_ptr<zvt::ui::ViewDelegate>(controllerSelf(), static_cast<zvt::ui::ViewDelegate*>(this)));
  }
  topGuide_->setOwningView(view_);
  bottomGuide_->setOwningView(view_);
}

void UIViewController::loadView() {
  auto& hooks = zvt::ui::controllerHooks();
  if (nibName_ && hooks.loadViewFromNib && hooks.loadViewFromNib(*this) && view_) return;
  auto view = UIView::initWithFrame(UIScreen::mainScreen()->bounds());
  view->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  setView(view);
}

void UIViewController::viewWillLayoutSubviews() {
  zvt::ui::controllerHooks().viewWillLayoutSubviews.call(*this, [] {});
}

void UIViewController::viewWillLayoutSubviewsOfView() {
  auto keep = controllerSelf();
  updateLayoutGuides();
  viewWillLayoutSubviews();
}

void UIViewController::viewDidLayoutSubviewsOfView() {
  auto keep = controllerSelf();
  viewDidLayoutSubviews();
}

// --- appearance -------------------------------------------------------------------------------

void UIViewController::viewWillAppear(bool animated) {
  zvt::ui::controllerHooks().viewWillAppear.call(*this, animated, [] {});
}

void UIViewController::viewDidAppear(bool animated) {
  zvt::ui::controllerHooks().viewDidAppear.call(*this, animated, [] {});
}

std::vector<std::shared_ptr<UIViewController>> UIViewController::childrenShownForAppearance() const {
  std::vector<std::shared_ptr<UIViewController>> out;
  if (!view_) return out;
  for (auto& child : children_)
    if (child->view_ && child->view_->isDescendantOfView(view_)) out.push_back(child);
  return out;
}

void UIViewController::beginAppearanceTransition(bool isAppearing, bool animated) {
  zvt::ui::assertMainThread("UIViewController::beginAppearanceTransition");
  auto keep = controllerSelf();
  if (isAppearing) {
    if (appearState_ == AppearState::Appearing || appearState_ == AppearState::Appeared) return;
    appearState_ = AppearState::Appearing;
  } else {
    if (appearState_ == AppearState::Disappearing || appearState_ == AppearState::Disappeared) return;
    appearState_ = AppearState::Disappearing;
  }
  ++appearGeneration_;
  appearAnimated_ = animated;
  if (isAppearing) {
    view();
    prepareForAppearance();
    viewWillAppear(animated);
  } else {
    viewWillDisappear(animated);
  }
  if (!shouldAutomaticallyForwardAppearanceMethods()) return;
  for (auto& child : childrenShownForAppearance()) child->beginAppearanceTransition(isAppearing, animated);
}

void UIViewController::endAppearanceTransition() {
  zvt::ui::assertMainThread("UIViewController::endAppearanceTransition");
  auto keep = controllerSelf();
  bool appearing;
  if (appearState_ == AppearState::Appearing) {
    appearState_ = AppearState::Appeared;
    appearing = true;
  } else if (appearState_ == AppearState::Disappearing) {
    appearState_ = AppearState::Disappeared;
    appearing = false;
  } else {
    return;
  }
  ++appearGeneration_;
  if (appearing)
    viewDidAppear(appearAnimated_);
  else
    viewDidDisappear(appearAnimated_);
  if (!shouldAutomaticallyForwardAppearanceMethods()) return;
  for (auto& child : childrenShownForAppearance()) {
    // A child that came in while this move was under way has not begun it yet.
    if (appearing ? !child->isAppearedOrAppearing() : child->isAppearedOrAppearing())
      child->beginAppearanceTransition(appearing, appearAnimated_);
    child->endAppearanceTransition();
  }
}

void UIViewController::viewWillMoveToWindow(const std::shared_ptr<UIWindow>& window) {
  if (ManagedViewMoves::active()) return;
  auto parent = parentViewController();
  if (!parent || !parent->drivesChildAppearanceByWindowMoves()) return;
  if (window) {
    if (!window->isHidden() && parent->isAppeared() && !isAppearedOrAppearing()) {
      windowMoveAppearance_ = true;
      beginAppearanceTransition(true, false);
    }
  } else if (isAppearedOrAppearing()) {
    windowMoveAppearance_ = true;
    beginAppearanceTransition(false, false);
  }
}

void UIViewController::viewDidMoveToWindow() {
  if (!windowMoveAppearance_) return;
  windowMoveAppearance_ = false;
  endAppearanceTransition();
}

// --- title and items --------------------------------------------------------------------------

void UIViewController::setTitle(const std::shared_ptr<NSString>& title) {
  zvt::ui::assertMainThread("UIViewController::setTitle");
  title_ = title;
  if (navigationItem_) navigationItem_->setTitle(title);
  if (tabBarItem_) tabBarItem_->setTitle(title);
}

std::shared_ptr<UINavigationItem> UIViewController::navigationItem() {
  if (!navigationItem_) navigationItem_ = UINavigationItem::initWithTitle(title_);
  return navigationItem_;
}

std::shared_ptr<UITabBarItem> UIViewController::tabBarItem() {
  if (!tabBarItem_) tabBarItem_ = UITabBarItem::initWithTitle(title_, nullptr, NSInteger{0});
  return tabBarItem_;
}

void UIViewController::setTabBarItem(const std::shared_ptr<UITabBarItem>& item) {
  tabBarItem_ = item;
  if (auto parent = parentViewController()) parent->childTabBarItemDidChange(*this);
}

// --- the controller tree ----------------------------------------------------------------------

void UIViewController::addChildViewController(const std::shared_ptr<UIViewController>& child) {
  zvt::ui::assertMainThread("UIViewController::addChildViewController");
  if (!child || child.get() == this) return;
  auto keep = child;
  auto old = child->parentViewController();
  if (old.get() == this) return;
  if (old) {
    child->willMoveToParentViewController(nullptr);
    child->removeFromParentViewController();
  }
  child->willMoveToParentViewController(controllerSelf());
  children_.push_back(child);
  child->parent_ = controllerSelf();
}

void UIViewController::removeFromParentViewController() {
  zvt::ui::assertMainThread("UIViewController::removeFromParentViewController");
  auto parent = parentViewController();
  if (!parent) return;
  auto keep = controllerSelf();
  auto& siblings = parent->children_;
  siblings.erase(std::remove(siblings.begin(), siblings.end(), keep), siblings.end());
  parent_.reset();
  didMoveToParentViewController(nullptr);
}

std::shared_ptr<UINavigationController> UIViewController::navigationController() const {
  for (auto c = parentViewController(); c; c = c->parentViewController())
    if (auto* navigation = c->asNavigationController()) return std::shared_ptr<UINavigationController>(c, navigation);
  return nullptr;
}

std::shared_ptr<UITabBarController> UIViewController::tabBarController() const {
  for (auto c = parentViewController(); c; c = c->parentViewController())
    if (auto* tabs = c->asTabBarController()) return std::shared_ptr<UITabBarController>(c, tabs);
  return nullptr;
}

std::shared_ptr<UIViewController> UIViewController::treeRoot() const {
  auto root = controllerSelf();
  while (auto parent = root->parentViewController()) root = parent;
  return root;
}

CGRect UIViewController::frameForChildView(const UIViewController& child) const {
  return child.view_ ? child.view_->frame() : CGRectZero;
}

std::pair<CGFloat, CGFloat> UIViewController::uncoveredSpanForChild(const UIViewController& /*child*/) const {
  return uncoveredSpan();
}

std::pair<CGFloat, CGFloat> UIViewController::uncoveredSpan() const {
  if (auto parent = parentViewController()) return parent->uncoveredSpanForChild(*this);
  CGFloat bottom = std::numeric_limits<CGFloat>::max();
  if (view_)
    if (auto window = view_->window()) bottom = CGRectGetMaxY(window->bounds());
  return {zvt::ui::statusBarHeight(), bottom};
}

void UIViewController::childTabBarItemDidChange(const UIViewController&) {}

// --- layout under the bars --------------------------------------------------------------------

void UIViewController::setEdgesForExtendedLayout(UIRectEdge edges) {
  edgesForExtendedLayout_ = edges;
  if (auto parent = parentViewController())
    if (auto view = parent->viewIfLoaded()) view->setNeedsLayout();
}

void UIViewController::setExtendedLayoutIncludesOpaqueBars(bool includes) {
  extendedLayoutIncludesOpaqueBars_ = includes;
  if (auto parent = parentViewController())
    if (auto view = parent->viewIfLoaded()) view->setNeedsLayout();
}

void UIViewController::updateLayoutGuides() {
  if (!view_) return;
  auto window = view_->window();
  CGFloat top = 0, bottom = 0;
  if (window) {
    CGRect inWindow = view_->convertRectToView(view_->bounds(), nullptr);
    auto [uncoveredTop, uncoveredBottom] = uncoveredSpan();
    CGFloat height = inWindow.size.height;
    top = std::clamp<CGFloat>(uncoveredTop - CGRectGetMinY(inWindow), 0, height);
    bottom = std::clamp<CGFloat>(CGRectGetMaxY(inWindow) - uncoveredBottom, 0, height);
  }
  topGuide_->setLength(top);
  bottomGuide_->setLength(bottom);
  auto& adjust = zvt::ui::controllerHooks().adjustScrollViewInsets;
  if (!adjustsScrollViewInsets_ || !adjust) return;
  UIEdgeInsets covered = UIEdgeInsetsMake(top, 0, bottom, 0);
  if (covered == scrollInsetsAdded_) return;
  bool taken = adjust(*view_, covered, scrollInsetsAdded_);
  if (!taken) {
    auto subviews = view_->subviews();
    if (!subviews.empty()) taken = adjust(*subviews.front(), covered, scrollInsetsAdded_);
  }
  if (taken) scrollInsetsAdded_ = covered;
}

// --- status bar -------------------------------------------------------------------------------

void UIViewController::setNeedsStatusBarAppearanceUpdate() {
  zvt::ui::assertMainThread("UIViewController::setNeedsStatusBarAppearanceUpdate");
  zvt::ui::updateStatusBarAppearance();
}

std::shared_ptr<UIResponder> UIViewController::nextResponder() const {
  if (view_)
    if (auto superview = view_->superview()) return superview;
  if (auto presenting = presentingViewController()) return presenting;
  return nullptr;
}

// --- presentation -----------------------------------------------------------------------------

std::shared_ptr<UIViewController> UIViewController::presentationContext(UIModalPresentationStyle style) const {
  if (coversWholeContext(style))
    for (auto c = controllerSelf(); c; c = c->parentViewController())
      if (c->definesPresentationContext_) return c;
  return treeRoot();
}

std::shared_ptr<UIViewController> UIViewController::presentedViewController() const {
  for (auto c = controllerSelf(); c; c = c->parentViewController())
    if (c->presenting_) return c->presenting_->presented;
  return nullptr;
}

std::shared_ptr<UIViewController> UIViewController::presentingViewController() const {
  auto root = treeRoot();
  auto record = root->presentation();
  return record ? record->context.lock() : nullptr;
}

std::shared_ptr<UIViewControllerTransitionCoordinator> UIViewController::transitionCoordinator() const {
  for (auto c = controllerSelf(); c; c = c->parentViewController())
    if (c->transitionCoordinator_) return c->transitionCoordinator_;
  return nullptr;
}

void UIViewController::presentViewController(const std::shared_ptr<UIViewController>& controller, bool animated,
                                             std::function<void()> completion) {
  zvt::ui::assertMainThread("UIViewController::presentViewController");
  auto keep = controllerSelf();
  if (!controller)
    zvt::raise(NSInvalidArgumentException,
               "Application tried to present a nil modal view controller on target " + describe(this) + ".");
  if (controller.get() == this || controller->parentViewController() || controller->presentation() ||
      controller->rootOfWindow())
    zvt::raise(NSInvalidArgumentException,
               "Application tried to present modally an active controller " + describe(this) + ".");
  auto style = controller->modalPresentationStyle();
  auto context = presentationContext(style);
  if (auto current = context->presenting_) {
    if (current->busy())
      NSLog("Warning: Attempt to present %@ on %@ while a presentation is in progress!", controller->description(),
            description());
    else
      NSLog("Warning: Attempt to present %@ on %@ which is already presenting %@", controller->description(),
            description(), current->presented->description());
    return;
  }
  if (auto own = context->presentation(); own && own->busy()) {
    NSLog("Warning: Attempt to present %@ on %@ while a presentation is in progress!", controller->description(),
          description());
    return;
  }
  auto contextView = context->view_;
  auto window = contextView ? contextView->window() : nullptr;
  if (!window || !contextView->superview()) {
    NSLog("Warning: Attempt to present %@ on %@ whose view is not in the window hierarchy!",
          controller->description(), description());
    return;
  }

  auto record = std::make_shared<PresentationRecord>();
  record->context = context;
  record->presented = controller;
  record->style = style;
  record->contextSuperview = contextView->superview();
  record->contextFrame = contextView->frame();
  context->presenting_ = record;
  controller->presentation_ = record;

  // The container: over the whole window, or over the context's view for the context styles.
  auto container = UIView::makeView<zvt::ui::UITransitionView>(CGRectZero);
  container->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  record->container = container;
  auto presentedView = controller->view();
  {
    ManagedViewMoves managed;
    if (coversWholeContext(style)) {
      container->setFrame(contextView->frame());
      contextView->superview()->insertSubviewAboveSubview(container, contextView);
    } else {
      std::shared_ptr<UIView> anchor = contextView;
      while (anchor->superview() && anchor->superview() != window) anchor = anchor->superview();
      container->setFrame(window->bounds());
      window->insertSubviewAboveSubview(container, anchor);
    }
    presentedView->setFrame(container->bounds());
    presentedView->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    container->addSubview(presentedView);
  }

  bool covers = record->covers();
  CGFloat height = container->bounds().size.height;
  auto transitionStyle = controller->modalTransitionStyle();
  std::weak_ptr<UIView> weakView = presentedView;
  ControllerTransition::Setup setup;
  setup.from = context;
  setup.to = controller;
  setup.fromView = covers ? contextView : nullptr;
  setup.toView = presentedView;
  setup.container = container;
  setup.animated = animated && UIView::areAnimationsEnabled();
  setup.duration = kModalTransitionDuration;
  setup.style = style;
  setup.place = [weakView, height, transitionStyle](CGFloat p) {
    auto view = weakView.lock();
    if (!view) return;
    if (transitionStyle == UIModalTransitionStyleCrossDissolve) {
      view->setAlpha(p);
    } else {
      CGRect f = view->frame();
      f.origin.y = (1 - p) * height;
      view->setFrame(f);
    }
  };
  std::weak_ptr<PresentationRecord> weakRecord = record;
  setup.complete = [weakRecord, covers, completion = std::move(completion)](bool) {
    auto record = weakRecord.lock();
    if (!record) return;
    auto context = record->context.lock();
    auto presented = record->presented;
    if (covers && context) {
      if (auto contextView = context->viewIfLoaded()) {
        ManagedViewMoves managed;
        contextView->removeFromSuperview();
        record->contextViewRemoved = true;
      }
      context->endAppearanceTransition();
    }
    presented->endAppearanceTransition();
    record->transition.reset();
    presented->setBeingPresented(false);
    presented->setTransitionCoordinator(nullptr);
    if (context) context->setTransitionCoordinator(nullptr);
    zvt::ui::updateStatusBarAppearance();
    if (completion) completion();
  };
  auto transition = ControllerTransition::make(std::move(setup));
  record->transition = transition;
  controller->setBeingPresented(true);
  controller->setTransitionCoordinator(transition);
  context->setTransitionCoordinator(transition);
  if (covers) context->beginAppearanceTransition(false, transition->isAnimated());
  controller->beginAppearanceTransition(true, transition->isAnimated());
  transition->start();
}

void UIViewController::dismissViewControllerAnimated(bool animated, std::function<void()> completion) {
  zvt::ui::assertMainThread("UIViewController::dismissViewControllerAnimated");
  auto keep = controllerSelf();
  // What this controller's tree presents; else the presented controller it stands in.
  std::shared_ptr<PresentationRecord> record;
  for (auto c = keep; c && !record; c = c->parentViewController()) record = c->presenting_;
  if (!record) record = treeRoot()->presentation();
  if (!record) return;
  auto context = record->context.lock();
  if (!context) return;
  // Everything presented above it goes too.
  std::vector<std::shared_ptr<PresentationRecord>> chain{record};
  for (;;) {
    auto next = chain.back()->presented->presenting_;
    if (!next) break;
    chain.push_back(next);
  }
  for (auto& r : chain)
    if (r->busy()) {
      NSLog("Warning: Attempt to dismiss from view controller %@ while a presentation or dismiss is in progress!",
            description());
      return;
    }

  auto top = chain.back();
  auto topView = top->presented->viewIfLoaded();
  bool covers = record->covers();
  if (record->contextViewRemoved) {
    if (auto contextView = context->viewIfLoaded()) {
      ManagedViewMoves managed;
      auto superview = record->contextSuperview.lock();
      if (superview && record->container->superview() == superview) {
        superview->insertSubviewBelowSubview(contextView, record->container);
        contextView->setFrame(record->contextFrame);
      }
    }
    record->contextViewRemoved = false;
  }

  CGFloat height = top->container->bounds().size.height;
  auto transitionStyle = top->presented->modalTransitionStyle();
  std::weak_ptr<UIView> weakView = topView;
  ControllerTransition::Setup setup;
  setup.from = top->presented;
  setup.to = context;
  setup.fromView = topView;
  setup.toView = covers ? context->viewIfLoaded() : nullptr;
  setup.container = top->container;
  setup.animated = animated && UIView::areAnimationsEnabled();
  setup.duration = kModalTransitionDuration;
  setup.style = top->style;
  setup.place = [weakView, height, transitionStyle](CGFloat p) {
    auto view = weakView.lock();
    if (!view) return;
    if (transitionStyle == UIModalTransitionStyleCrossDissolve) {
      view->setAlpha(1 - p);
    } else {
      CGRect f = view->frame();
      f.origin.y = p * height;
      view->setFrame(f);
    }
  };
  setup.complete = [chain, covers, completion = std::move(completion)](bool) {
    auto context = chain.front()->context.lock();
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) (*it)->presented->endAppearanceTransition();
    {
      ManagedViewMoves managed;
      for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (auto view = (*it)->presented->viewIfLoaded()) {
          if (view->superview() == (*it)->container) view->removeFromSuperview();
          if ((*it)->presented->modalTransitionStyle() == UIModalTransitionStyleCrossDissolve) view->setAlpha(1);
        }
        (*it)->container->removeFromSuperview();
      }
    }
    if (covers && context) context->endAppearanceTransition();
    for (auto& r : chain) {
      r->transition.reset();
      r->presented->setBeingDismissed(false);
      r->presented->setTransitionCoordinator(nullptr);
      r->presented->presentation_.reset();
      if (auto c = r->context.lock()) {
        c->presenting_.reset();
        c->setTransitionCoordinator(nullptr);
      }
    }
    zvt::ui::updateStatusBarAppearance();
    if (completion) completion();
  };
  auto transition = ControllerTransition::make(std::move(setup));
  for (auto& r : chain) {
    r->transition = transition;
    r->presented->setBeingDismissed(true);
  }
  top->presented->setTransitionCoordinator(transition);
  context->setTransitionCoordinator(transition);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it)
    (*it)->presented->beginAppearanceTransition(false, transition->isAnimated());
  if (covers) context->beginAppearanceTransition(true, transition->isAnimated());
  transition->start();
}
