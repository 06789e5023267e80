#include "platform/uikit/UITabBarController.h"

#include <algorithm>

#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/internal/ControllerTransition.h"

using zvt::ui::ManagedViewMoves;

namespace {

// The tab bar controller's own view: it lays out the bar and the selected child.
class UITabBarLayoutContainerView : public UIView {
 public:
  std::weak_ptr<UITabBarController> controller;
  void layoutSubviews() override {
    UIView::layoutSubviews();
    if (auto c = controller.lock()) c->layoutContainer();
  }
};

class UITabBarTransitionView : public UIView {};

}  // namespace

UITabBarController::UITabBarController() = default;
UITabBarController::~UITabBarController() = default;

std::shared_ptr<UITabBar> UITabBarController::tabBar() {
  if (!tabBar_) {
    tabBar_ = UITabBar::make();
    std::weak_ptr<UITabBarController> weak = tabsSelf();
    tabBar_->setSelectionGate([weak](const std::shared_ptr<UITabBarItem>& item) {
      auto self = weak.lock();
      return self && self->itemTapped(item);
    });
    syncItems();
  }
  return tabBar_;
}

void UITabBarController::loadView() {
  auto view = UIView::makeView<UITabBarLayoutContainerView>(UIScreen::mainScreen()->bounds());
  view->controller = tabsSelf();
  view->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  container_ = UIView::makeView<UITabBarTransitionView>(view->bounds());
  container_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  view->addSubview(container_);
  view->addSubview(tabBar());
  setView(view);
}

// --- tabs -------------------------------------------------------------------------------------

NSUInteger UITabBarController::selectedIndex() const {
  auto it = std::find(tabs_.begin(), tabs_.end(), selected_);
  return it == tabs_.end() ? NSNotFound : NSUInteger(it - tabs_.begin());
}

void UITabBarController::setViewControllers(std::vector<std::shared_ptr<UIViewController>> controllers, bool) {
  zvt::ui::assertMainThread("UITabBarController::setViewControllers");
  auto keep = controllerSelf();
  std::vector<std::shared_ptr<UIViewController>> list;
  for (auto& c : controllers)
    if (c && std::find(list.begin(), list.end(), c) == list.end()) list.push_back(c);
  auto old = tabs_;
  auto next = std::find(list.begin(), list.end(), selected_) != list.end() ? selected_
              : list.empty()                                                ? nullptr
                                                                            : list.front();
  // The shown tab changes first (with its callbacks), then the tabs that went leave.
  tabs_ = list;
  for (auto& c : list)
    if (std::find(old.begin(), old.end(), c) == old.end()) {
      addChildViewController(c);
      c->didMoveToParentViewController(controllerSelf());
      watchStack(c);
    }
  select(next);
  for (auto& c : old)
    if (std::find(list.begin(), list.end(), c) == list.end()) {
      c->willMoveToParentViewController(nullptr);
      if (auto view = c->viewIfLoaded(); view && container_ && view->superview() == container_) {
        ManagedViewMoves managed;
        view->removeFromSuperview();
      }
      c->removeFromParentViewController();
      if (auto nav = c->asNavigationController()) nav->setStackObserver(nullptr);
    }
  syncItems();
}

void UITabBarController::setSelectedIndex(NSUInteger index) {
  zvt::ui::assertMainThread("UITabBarController::setSelectedIndex");
  if (index >= tabs_.size()) return;
  select(tabs_[index]);
}

void UITabBarController::setSelectedViewController(const std::shared_ptr<UIViewController>& controller) {
  zvt::ui::assertMainThread("UITabBarController::setSelectedViewController");
  if (std::find(tabs_.begin(), tabs_.end(), controller) == tabs_.end()) return;
  select(controller);
}

void UITabBarController::select(const std::shared_ptr<UIViewController>& controller) {
  auto keep = controllerSelf();
  if (controller == selected_) return;
  auto old = selected_;
  selected_ = controller;
  if (tabBar_) tabBar_->setSelectedItem(controller ? controller->tabBarItem() : nullptr);
  barHiddenByPush_ = hiddenByPush();
  auto view = viewIfLoaded();
  bool showing = view && view->window() && isAppearedOrAppearing();
  if (!showing) {
    // Off screen: the selected tab's view goes in when the controller appears.
    if (auto oldView = old ? old->viewIfLoaded() : nullptr; oldView && container_ && oldView->superview() == container_) {
      ManagedViewMoves managed;
      oldView->removeFromSuperview();
    }
    if (view) view->setNeedsLayout();
    return;
  }
  std::shared_ptr<UIView> newView;
  if (controller) {
    newView = controller->view();
    ManagedViewMoves managed;
    container_->addSubview(newView);
    newView->setFrame(frameForChildView(*controller));
  }
  if (old) old->beginAppearanceTransition(false, false);
  if (controller) controller->beginAppearanceTransition(true, false);
  if (auto oldView = old ? old->viewIfLoaded() : nullptr; oldView && oldView->superview() == container_) {
    ManagedViewMoves managed;
    oldView->removeFromSuperview();
  }
  if (old) old->endAppearanceTransition();
  if (controller) controller->endAppearanceTransition();
  view->setNeedsLayout();
  zvt::ui::updateStatusBarAppearance();
}

bool UITabBarController::itemTapped(const std::shared_ptr<UITabBarItem>& item) {
  auto self = tabsSelf();
  std::shared_ptr<UIViewController> controller;
  for (auto& c : tabs_)
    if (c->tabBarItem() == item) controller = c;
  if (!controller) return false;
  auto delegate = delegate_.lock();
  if (delegate && !delegate->tabBarControllerShouldSelectViewController(self, controller)) return false;
  if (controller == selected_) {
    if (auto nav = controller->asNavigationController()) nav->popToRootViewControllerAnimated(true);
  } else {
    select(controller);
  }
  if (delegate) delegate->tabBarControllerDidSelectViewController(self, controller);
  return true;
}

void UITabBarController::syncItems() {
  if (!tabBar_) return;
  std::vector<std::shared_ptr<UITabBarItem>> items;
  for (auto& c : tabs_) items.push_back(c->tabBarItem());
  tabBar_->setItems(std::move(items));
  tabBar_->setSelectedItem(selected_ ? selected_->tabBarItem() : nullptr);
}

void UITabBarController::childTabBarItemDidChange(const UIViewController&) { syncItems(); }

// --- appearance and layout --------------------------------------------------------------------

std::vector<std::shared_ptr<UIViewController>> UITabBarController::childrenShownForAppearance() const {
  auto view = viewIfLoaded();
  if (!selected_ || !view) return {};
  auto selectedView = selected_->viewIfLoaded();
  if (!selectedView || !selectedView->isDescendantOfView(view)) return {};
  return {selected_};
}

void UITabBarController::prepareForAppearance() {
  if (!selected_) return;
  auto view = selected_->view();
  ManagedViewMoves managed;
  for (auto& c : tabs_)
    if (c != selected_)
      if (auto other = c->viewIfLoaded(); other && other->superview() == container_) other->removeFromSuperview();
  if (view->superview() != container_) container_->addSubview(view);
  view->setFrame(frameForChildView(*selected_));
}

bool UITabBarController::hiddenByPush() const {
  auto nav = selected_ ? selected_->asNavigationController() : nullptr;
  if (!nav) return false;
  const auto& stack = nav->viewControllers();
  for (size_t i = 1; i < stack.size(); ++i)
    if (stack[i]->hidesBottomBarWhenPushed()) return true;
  return false;
}

bool UITabBarController::isTabBarShown() const { return tabBar_ && !tabBar_->isHidden() && !barHiddenByPush_; }

CGRect UITabBarController::tabBarFrame() const {
  auto view = viewIfLoaded();
  CGRect b = view ? view->bounds() : CGRectZero;
  CGFloat y = barHiddenByPush_ ? CGRectGetMaxY(b) : CGRectGetMaxY(b) - UITabBar::kHeight;
  return CGRectMake(0, y, b.size.width, UITabBar::kHeight);
}

void UITabBarController::layoutContainer() {
  auto view = viewIfLoaded();
  if (!view) return;
  container_->setFrame(view->bounds());
  if (barAnimations_ == 0) tabBar_->setFrame(tabBarFrame());
  if (selected_)
    if (auto selectedView = selected_->viewIfLoaded(); selectedView && selectedView->superview() == container_)
      selectedView->setFrame(frameForChildView(*selected_));
}

CGRect UITabBarController::frameForChildView(const UIViewController&) const {
  auto view = viewIfLoaded();
  if (!view) return CGRectZero;
  CGRect b = view->bounds();
  if (isTabBarShown() && !tabBar_->isTranslucent()) b.size.height -= UITabBar::kHeight;
  return b;
}

std::pair<CGFloat, CGFloat> UITabBarController::uncoveredSpanForChild(const UIViewController&) const {
  auto span = uncoveredSpan();
  auto view = viewIfLoaded();
  if (isTabBarShown() && view && view->window()) {
    CGFloat barTop = tabBar_->convertPointToView(CGPointZero, nullptr).y;
    span.second = std::min(span.second, barTop);
  }
  return span;
}

// --- the bar and pushed controllers that hide it ----------------------------------------------

void UITabBarController::watchStack(const std::shared_ptr<UIViewController>& controller) {
  auto nav = controller->asNavigationController();
  if (!nav) return;
  std::weak_ptr<UITabBarController> weak = tabsSelf();
  nav->setStackObserver([weak](bool animated) {
    if (auto self = weak.lock()) self->stackChanged(animated);
  });
}

void UITabBarController::stackChanged(bool animated) {
  bool hidden = hiddenByPush();
  if (hidden == barHiddenByPush_) return;
  barHiddenByPush_ = hidden;
  auto view = viewIfLoaded();
  if (!view || !tabBar_) return;
  std::weak_ptr<UITabBarController> weak = tabsSelf();
  auto move = [weak] {
    if (auto self = weak.lock()) self->tabBar_->setFrame(self->tabBarFrame());
  };
  auto coordinator = selected_ ? selected_->transitionCoordinator() : nullptr;
  if (animated && coordinator && coordinator->isAnimated()) {
    // The bar slides down with the push and back up with the pop.
    ++barAnimations_;
    coordinator->animateAlongsideTransition([move](const auto&) { move(); }, [weak](const auto&) {
      if (auto self = weak.lock()) --self->barAnimations_;
    });
  } else {
    move();
  }
  view->setNeedsLayout();
}
