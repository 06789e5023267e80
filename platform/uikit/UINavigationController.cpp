#include "platform/uikit/UINavigationController.h"

#include <algorithm>

#include "platform/foundation/NSException.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/UIWindow.h"
#include "platform/uikit/internal/ControllerTransition.h"

using zvt::ui::ControllerList;
using zvt::ui::ControllerTransition;
using zvt::ui::ManagedViewMoves;

namespace {

// The navigation controller's own view: it lays out the bar and the shown child.
class UILayoutContainerView : public UIView {
 public:
  std::weak_ptr<UINavigationController> controller;
  void layoutSubviews() override {
    UIView::layoutSubviews();
    if (auto c = controller.lock()) c->layoutContainer();
  }
};

// Where the children's views lie and move.
class UINavigationTransitionView : public UIView {};

// The edge pan begins only with something to pop and no transition under way.
class PopRecognizerDelegate : public UIGestureRecognizerDelegate {
 public:
  std::weak_ptr<UINavigationController> controller;
  bool gestureRecognizerShouldBegin(const std::shared_ptr<UIGestureRecognizer>&) override {
    auto c = controller.lock();
    return c && c->viewControllers().size() > 1 && !c->isTransitioning();
  }
};

bool contains(const ControllerList& list, const std::shared_ptr<UIViewController>& controller) {
  return std::find(list.begin(), list.end(), controller) != list.end();
}

}  // namespace

UINavigationController::UINavigationController() = default;
UINavigationController::~UINavigationController() = default;

// --- the bar and the view ---------------------------------------------------------------------

std::shared_ptr<UINavigationBar> UINavigationController::navigationBar() {
  if (!bar_) {
    bar_ = UINavigationBar::make();
    bar_->setManagedByController(true);
    bar_->setBarPosition(UIBarPositionTopAttached);
    auto self = navigationSelf();
    bar_->setDelegate(std::shared_ptr<UINavigationBarDelegate>(self, static_cast<UINavigationBarDelegate*>(this)));
    std::weak_ptr<UINavigationController> weak = self;
    bar_->setAppearanceObserver([weak] {
      if (auto c = weak.lock(); c && c->isAppearedOrAppearing()) zvt::ui::updateStatusBarAppearance();
    });
    syncBarItems(false);
  }
  return bar_;
}

void UINavigationController::loadView() {
  auto view = UIView::makeView<UILayoutContainerView>(UIScreen::mainScreen()->bounds());
  view->controller = navigationSelf();
  view->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  container_ = UIView::makeView<UINavigationTransitionView>(view->bounds());
  container_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  view->addSubview(container_);
  view->addSubview(navigationBar());
  auto recognizer = UIScreenEdgePanGestureRecognizer::initWithTarget(self(), &UINavigationController::handleNavigationTransition);
  recognizer->setEdges(UIRectEdgeLeft);
  recognizer->setMaximumNumberOfTouches(1);
  auto delegate = std::make_shared<PopRecognizerDelegate>();
  delegate->controller = navigationSelf();
  popRecognizerDelegate_ = delegate;
  recognizer->setDelegate(delegate);
  popRecognizer_ = recognizer;
  view->addGestureRecognizer(recognizer);
  setView(view);
}

std::shared_ptr<UIGestureRecognizer> UINavigationController::interactivePopGestureRecognizer() {
  view();
  return popRecognizer_;
}

CGFloat UINavigationController::barTop() const {
  CGFloat status = zvt::ui::statusBarHeight();
  auto view = viewIfLoaded();
  if (!view || !view->window()) return status;
  CGFloat top = view->convertPointToView(CGPointZero, nullptr).y;
  return std::clamp<CGFloat>(status - top, 0, status);
}

void UINavigationController::placeBar() {
  auto view = viewIfLoaded();
  if (!view || !bar_) return;
  CGFloat top = barTop();
  bar_->setExtensionAboveBar(top);
  CGFloat width = view->bounds().size.width;
  bar_->setFrame(CGRectMake(0, barHidden_ ? -UINavigationBar::kHeight : top, width, UINavigationBar::kHeight));
  if (barAnimations_ == 0) bar_->setHidden(barHidden_);
}

void UINavigationController::layoutContainer() {
  auto view = viewIfLoaded();
  if (!view) return;
  container_->setFrame(view->bounds());
  placeBar();
  if (isTransitioning() || !shown_) return;
  if (auto shownView = shown_->viewIfLoaded(); shownView && shownView->superview() == container_)
    shownView->setFrame(frameForChildView(*shown_));
}

CGRect UINavigationController::frameForChildView(const UIViewController& child) const {
  auto view = viewIfLoaded();
  if (!view) return CGRectZero;
  CGRect b = view->bounds();
  CGFloat top = 0;
  if (!barHidden_ && bar_) {
    bool extends = (child.edgesForExtendedLayout() & UIRectEdgeTop) &&
                   (bar_->isTranslucent() || child.extendedLayoutIncludesOpaqueBars());
    if (!extends) top = barTop() + UINavigationBar::kHeight;
  }
  CGFloat bottom = 0;
  if (!(child.edgesForExtendedLayout() & UIRectEdgeBottom) && view->window()) {
    CGFloat viewBottom = view->convertPointToView(CGPointMake(0, b.size.height), nullptr).y;
    bottom = std::max<CGFloat>(0, viewBottom - uncoveredSpan().second);
  }
  return CGRectMake(0, top, b.size.width, std::max<CGFloat>(0, b.size.height - top - bottom));
}

std::pair<CGFloat, CGFloat> UINavigationController::uncoveredSpanForChild(const UIViewController&) const {
  auto span = uncoveredSpan();
  auto view = viewIfLoaded();
  if (!barHidden_ && bar_ && view && view->window()) {
    CGFloat barBottom = bar_->convertPointToView(CGPointMake(0, UINavigationBar::kHeight), nullptr).y;
    span.first = std::max(span.first, barBottom);
  }
  return span;
}

void UINavigationController::setNavigationBarHidden(bool hidden, bool animated) {
  zvt::ui::assertMainThread("UINavigationController::setNavigationBarHidden");
  if (hidden == barHidden_) return;
  barHidden_ = hidden;
  if (!viewIfLoaded()) return;
  std::weak_ptr<UINavigationController> weak = navigationSelf();
  // The bar and the shown children take their new places (a child in a transition keeps its x).
  auto relayout = [weak] {
    auto self = weak.lock();
    if (!self) return;
    self->placeBar();
    for (auto& child : self->childViewControllers()) {
      auto view = child->viewIfLoaded();
      if (!view || view->superview() != self->container_) continue;
      CGRect frame = self->frameForChildView(*child);
      frame.origin.x = view->frame().origin.x;
      view->setFrame(frame);
      view->setNeedsLayout();
    }
  };
  if (!animated || !isShowing() || !UIView::areAnimationsEnabled()) {
    relayout();
    return;
  }
  ++barAnimations_;
  bar_->setHidden(false);
  auto done = [weak] {
    auto self = weak.lock();
    if (!self) return;
    if (--self->barAnimations_ == 0 && self->bar_) self->bar_->setHidden(self->barHidden_);
  };
  if (transition_ && !transition_->hasEnded()) {
    transition_->animateAlongsideTransition([relayout](const auto&) { relayout(); }, [done](const auto&) { done(); });
  } else {
    UIView::animateWithDuration(UINavigationControllerHideShowBarDuration, relayout, [done](bool) { done(); });
  }
}

UIStatusBarStyle UINavigationController::preferredStatusBarStyle() const {
  return bar_ && bar_->barStyle() != UIBarStyleDefault ? UIStatusBarStyleLightContent : UIStatusBarStyleDefault;
}

std::shared_ptr<UIViewController> UINavigationController::childViewControllerForStatusBarStyle() const {
  return barHidden_ ? topViewController() : nullptr;
}

std::shared_ptr<UIViewController> UINavigationController::childViewControllerForStatusBarHidden() const {
  return topViewController();
}

bool UINavigationController::navigationBarShouldPopItem(const std::shared_ptr<UINavigationBar>&,
                                                        const std::shared_ptr<UINavigationItem>&) {
  popViewControllerAnimated(true);
  return false;
}

void UINavigationController::syncBarItems(bool animated) {
  if (!bar_) return;
  std::vector<std::shared_ptr<UINavigationItem>> items;
  for (auto& controller : stack_) items.push_back(controller->navigationItem());
  bar_->setManagedItems(std::move(items), animated);
}

// --- the stack --------------------------------------------------------------------------------

std::shared_ptr<UIViewController> UINavigationController::visibleViewController() const {
  if (auto presented = presentedViewController()) return presented;
  return topViewController();
}

void UINavigationController::pushViewController(const std::shared_ptr<UIViewController>& controller, bool animated) {
  zvt::ui::assertMainThread("UINavigationController::pushViewController");
  auto keep = controllerSelf();
  zvt::ui::controllerHooks().pushViewController.call(*this, controller, animated,
                                                     [&] { systemPush(controller, animated); });
}

std::shared_ptr<UIViewController> UINavigationController::popViewControllerAnimated(bool animated) {
  zvt::ui::assertMainThread("UINavigationController::popViewControllerAnimated");
  auto keep = controllerSelf();
  return zvt::ui::controllerHooks().popViewController.call(*this, animated, [&] { return systemPop(animated); });
}

ControllerList UINavigationController::popToViewController(const std::shared_ptr<UIViewController>& controller,
                                                           bool animated) {
  zvt::ui::assertMainThread("UINavigationController::popToViewController");
  auto keep = controllerSelf();
  return zvt::ui::controllerHooks().popToViewController.call(*this, controller, animated,
                                                             [&] { return systemPopTo(controller, animated); });
}

ControllerList UINavigationController::popToRootViewControllerAnimated(bool animated) {
  zvt::ui::assertMainThread("UINavigationController::popToRootViewControllerAnimated");
  auto keep = controllerSelf();
  return zvt::ui::controllerHooks().popToRootViewController.call(*this, animated, [&] {
    return stack_.empty() ? ControllerList{} : systemPopTo(stack_.front(), animated);
  });
}

void UINavigationController::systemPush(const std::shared_ptr<UIViewController>& controller, bool animated) {
  if (!controller)
    zvt::raise(NSInvalidArgumentException,
               "Application tried to push a nil view controller on target " + description()->utf8() + ".");
  if (contains(stack_, controller))
    zvt::raise(NSInvalidArgumentException, "Pushing the same view controller instance more than once is not supported (" +
                                               controller->description()->utf8() + ")");
  if (controller->asNavigationController())
    zvt::raise(NSInvalidArgumentException, "Pushing a navigation controller is not supported");
  addChildViewController(controller);
  awaitingDidMove_.push_back(controller);
  stack_.push_back(controller);
  syncBarItems(animated);
  showTop(animated, Direction::Push);
  if (stackObserver_) stackObserver_(animated);
}

std::shared_ptr<UIViewController> UINavigationController::systemPop(bool animated) {
  if (stack_.size() < 2) return nullptr;
  auto popped = stack_.back();
  stack_.pop_back();
  popped->willMoveToParentViewController(nullptr);
  syncBarItems(animated);
  showTop(animated, Direction::Pop);
  if (stackObserver_) stackObserver_(animated);
  return popped;
}

ControllerList UINavigationController::systemPopTo(const std::shared_ptr<UIViewController>& controller, bool animated) {
  auto it = std::find(stack_.begin(), stack_.end(), controller);
  if (it == stack_.end())
    zvt::raise(NSInvalidArgumentException, "Tried to pop to a view controller that doesn't exist.");
  ControllerList popped(it + 1, stack_.end());
  if (popped.empty()) return popped;
  stack_.erase(it + 1, stack_.end());
  for (auto& c : popped) c->willMoveToParentViewController(nullptr);
  syncBarItems(animated);
  showTop(animated, Direction::Pop);
  if (stackObserver_) stackObserver_(animated);
  return popped;
}

void UINavigationController::setViewControllers(ControllerList controllers, bool animated) {
  zvt::ui::assertMainThread("UINavigationController::setViewControllers");
  auto keep = controllerSelf();
  ControllerList list;
  for (auto& c : controllers) {
    if (!c || contains(list, c)) continue;
    if (c->asNavigationController())
      zvt::raise(NSInvalidArgumentException, "Pushing a navigation controller is not supported");
    list.push_back(c);
  }
  auto old = stack_;
  bool topWasStacked = !list.empty() && contains(old, list.back());
  for (auto& c : old)
    if (!contains(list, c)) c->willMoveToParentViewController(nullptr);
  for (auto& c : list)
    if (!contains(old, c)) {
      addChildViewController(c);
      awaitingDidMove_.push_back(c);
    }
  stack_ = std::move(list);
  syncBarItems(animated);
  showTop(animated, topWasStacked ? Direction::Pop : Direction::Push);
  if (stackObserver_) stackObserver_(animated);
}

// --- showing ----------------------------------------------------------------------------------

bool UINavigationController::isShowing() const {
  auto view = viewIfLoaded();
  return view && view->window() && isAppearedOrAppearing();
}

bool UINavigationController::isTransitioning() const { return transition_ && !transition_->hasEnded(); }

std::vector<std::shared_ptr<UIViewController>> UINavigationController::childrenShownForAppearance() const {
  if (isTransitioning() || !shown_ || !shown_->viewIfLoaded()) return {};
  return {shown_};
}

void UINavigationController::prepareForAppearance() {
  if (isTransitioning()) return;
  auto top = topViewController();
  ManagedViewMoves managed;
  if (shown_ && shown_ != top)
    if (auto old = shown_->viewIfLoaded(); old && old->superview() == container_) old->removeFromSuperview();
  shown_ = top;
  if (top) {
    auto view = top->view();
    if (view->superview() != container_) container_->addSubview(view);
    view->setFrame(frameForChildView(*top));
  }
  settleContainment();
}

void UINavigationController::settleContainment() {
  auto self = navigationSelf();
  for (auto& child : childViewControllers()) {
    if (contains(stack_, child)) continue;
    if (auto view = child->viewIfLoaded(); view && view->superview() == container_) {
      ManagedViewMoves managed;
      view->removeFromSuperview();
    }
    if (shown_ == child) shown_.reset();
    child->removeFromParentViewController();
  }
  // A top that waits for its own transition hears didMove when that one ends.
  auto top = topViewController();
  bool topWaits = isShowing() && shown_ != top;
  auto awaiting = std::move(awaitingDidMove_);
  awaitingDidMove_.clear();
  for (auto& weak : awaiting) {
    auto child = weak.lock();
    if (!child || !contains(stack_, child) || child->parentViewController() != self) continue;
    if (topWaits && child == top)
      awaitingDidMove_.push_back(child);
    else
      child->didMoveToParentViewController(self);
  }
}

void UINavigationController::showTop(bool animated, Direction direction) {
  auto top = topViewController();
  if (isTransitioning()) {
    // Shown when the running transition ends.
    lastAnimated_ = animated;
    pendingDirection_ = direction;
    return;
  }
  if (!isShowing()) {
    // Off screen: the top's view goes in when the controller appears.
    if (shown_ != top) {
      if (auto old = shown_ ? shown_->viewIfLoaded() : nullptr; old && old->superview() == container_) {
        ManagedViewMoves managed;
        old->removeFromSuperview();
      }
      shown_.reset();
    }
    settleContainment();
    return;
  }
  if (shown_ == top) {
    settleContainment();
    return;
  }
  transition(shown_, top, animated, direction);
}

void UINavigationController::transition(std::shared_ptr<UIViewController> from,
                                        std::shared_ptr<UIViewController> to, bool animated, Direction direction) {
  auto self = navigationSelf();
  bool interactive = interactivePending_ && animated && direction == Direction::Pop && from && to;
  interactivePending_ = false;
  animated = animated && UIView::areAnimationsEnabled();
  auto fromView = from ? from->viewIfLoaded() : nullptr;
  std::shared_ptr<UIView> toView;
  if (to) {
    toView = to->view();
    ManagedViewMoves managed;
    if (direction == Direction::Push || !fromView || fromView->superview() != container_)
      container_->addSubview(toView);
    else
      container_->insertSubviewBelowSubview(toView, fromView);
    toView->setFrame(frameForChildView(*to));
  }
  bool toIsNew = false;
  for (auto& weak : awaitingDidMove_)
    if (weak.lock() == to) toIsNew = true;
  if (to && toIsNew) to->setMovingToParentViewController(true);
  if (from && !contains(stack_, from)) from->setMovingFromParentViewController(true);

  CGFloat width = container_->bounds().size.width;
  std::weak_ptr<UIView> weakFrom = fromView, weakTo = toView;
  ControllerTransition::Setup setup;
  setup.from = from;
  setup.to = to;
  setup.fromView = fromView;
  setup.toView = toView;
  setup.container = container_;
  setup.animated = animated;
  setup.interactive = interactive;
  setup.duration = kTransitionDuration;
  setup.place = [weakFrom, weakTo, width, direction](CGFloat p) {
    auto move = [](const std::weak_ptr<UIView>& weak, CGFloat x) {
      if (auto view = weak.lock()) {
        CGRect f = view->frame();
        f.origin.x = x;
        view->setFrame(f);
      }
    };
    if (direction == Direction::Push) {
      move(weakTo, (1 - p) * width);
      move(weakFrom, -p * width * 0.3);
    } else {
      move(weakFrom, p * width);
      move(weakTo, -(1 - p) * width * 0.3);
    }
  };
  std::weak_ptr<UINavigationController> weakSelf = self;
  setup.complete = [weakSelf, from, to, weakFrom, weakTo, animated](bool cancelled) {
    auto self = weakSelf.lock();
    if (!self) return;
    self->container_->setUserInteractionEnabled(true);
    if (self->bar_) self->bar_->setUserInteractionEnabled(true);
    auto clearFlags = [&] {
      for (auto& c : {from, to}) {
        if (!c) continue;
        c->setMovingToParentViewController(false);
        c->setMovingFromParentViewController(false);
        c->setTransitionCoordinator(nullptr);
      }
      self->setTransitionCoordinator(nullptr);
    };
    auto settleFrame = [](const std::weak_ptr<UIView>& weak, CGFloat x) {
      if (auto view = weak.lock()) {
        CGRect f = view->frame();
        f.origin.x = x;
        view->setFrame(f);
      }
    };
    if (!cancelled) {
      if (auto view = weakFrom.lock(); view && view->superview() == self->container_) {
        ManagedViewMoves managed;
        view->removeFromSuperview();
      }
      settleFrame(weakFrom, 0);
      if (from) from->endAppearanceTransition();
      if (to) to->endAppearanceTransition();
      clearFlags();
      self->transition_.reset();
      self->settleContainment();
      if (auto delegate = self->delegate()) delegate->navigationControllerDidShowViewController(self, to, animated);
    } else {
      // The pop did not happen: the popped controller is back on top, with the reverse callbacks.
      clearFlags();
      self->transition_.reset();
      if (!contains(self->stack_, from)) self->stack_.push_back(from);
      self->shown_ = from;
      self->syncBarItems(false);
      if (self->stackObserver_) self->stackObserver_(false);
      if (to) {
        to->beginAppearanceTransition(false, animated);
        to->endAppearanceTransition();
      }
      from->beginAppearanceTransition(true, animated);
      from->endAppearanceTransition();
      if (auto view = weakTo.lock(); view && view->superview() == self->container_) {
        ManagedViewMoves managed;
        view->removeFromSuperview();
      }
      settleFrame(weakTo, 0);
      settleFrame(weakFrom, 0);
      from->didMoveToParentViewController(self);
    }
    zvt::ui::updateStatusBarAppearance();
    // Changes of the stack made meanwhile.
    if (self->shown_ != self->topViewController()) self->showTop(self->lastAnimated_, self->pendingDirection_);
  };
  auto transition = ControllerTransition::make(std::move(setup));
  transition_ = transition;
  shown_ = to;
  lastAnimated_ = false;
  if (from) from->setTransitionCoordinator(transition);
  if (to) to->setTransitionCoordinator(transition);
  setTransitionCoordinator(transition);
  if (animated && !interactive) {
    container_->setUserInteractionEnabled(false);
    if (bar_) bar_->setUserInteractionEnabled(false);
  }
  if (from) from->beginAppearanceTransition(false, animated);
  if (to) to->beginAppearanceTransition(true, animated);
  if (auto delegate = this->delegate()) delegate->navigationControllerWillShowViewController(self, to, animated);
  // The incoming screen may style the bar as it is about to appear, and the bar's translucency
  // follows its background image: the view lies below an opaque bar, under a translucent one.
  // It takes that place before anything moves, so that it slides in where it stays.
  if (toView && toView->superview() == container_) toView->setFrame(frameForChildView(*to));
  transition->start();
}

// --- the interactive pop ----------------------------------------------------------------------

bool UINavigationController::beginInteractivePop() {
  zvt::ui::assertMainThread("UINavigationController::beginInteractivePop");
  if (stack_.size() < 2 || isTransitioning() || !isShowing()) return false;
  auto keep = controllerSelf();
  interactivePending_ = true;
  popViewControllerAnimated(true);
  interactivePending_ = false;
  return transition_ && transition_->isInteractive();
}

void UINavigationController::updateInteractivePop(CGFloat percent) {
  if (transition_ && transition_->isInteractive()) transition_->update(percent);
}

void UINavigationController::finishInteractivePop() {
  if (transition_ && transition_->isInteractive()) transition_->finishInteractive();
}

void UINavigationController::cancelInteractivePop() {
  if (transition_ && transition_->isInteractive()) transition_->cancelInteractive();
}

void UINavigationController::handleNavigationTransition(const std::shared_ptr<UIPanGestureRecognizer>& recognizer) {
  if (!recognizer) return;
  auto keep = controllerSelf();
  auto view = viewIfLoaded();
  CGFloat width = view ? std::max<CGFloat>(1, view->bounds().size.width) : 1;
  switch (recognizer->state()) {
    case UIGestureRecognizerStateBegan:
      if (beginInteractivePop()) updateInteractivePop(recognizer->translationInView(view).x / width);
      break;
    case UIGestureRecognizerStateChanged:
      updateInteractivePop(recognizer->translationInView(view).x / width);
      break;
    case UIGestureRecognizerStateEnded: {
      if (!transition_ || !transition_->isInteractive()) break;
      CGFloat velocity = recognizer->velocityInView(view).x;
      bool finish = velocity > kInteractiveFlingSpeed ||
                    (velocity >= -kInteractiveFlingSpeed && transition_->percentComplete() > kInteractiveFinishFraction);
      if (finish)
        finishInteractivePop();
      else
        cancelInteractivePop();
      break;
    }
    case UIGestureRecognizerStateCancelled:
    case UIGestureRecognizerStateFailed:
      cancelInteractivePop();
      break;
    default:
      break;
  }
}
