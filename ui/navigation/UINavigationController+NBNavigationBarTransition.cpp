#include "ui/navigation/UINavigationController+NBNavigationBarTransition.h"

#include "platform/graphics/UIColor.h"
#include "platform/uikit/ControllerHooks.h"
#include "ui/navigation/UINavigationController+BSFullscreenPopGesture.h"

namespace {

// What the bar transitions keep with a screen.
struct ScreenState : NSObject {
  std::shared_ptr<UINavigationBar> transitionBar;
  bool backgroundHidden = false;
};

char kScreenState = 0;

ScreenState& screenState(UIViewController& controller) {
  auto state = std::static_pointer_cast<ScreenState>(controller.associatedObject(&kScreenState));
  if (!state) {
    state = std::make_shared<ScreenState>();
    controller.setAssociatedObject(&kScreenState, state);
  }
  return *state;
}

std::shared_ptr<UINavigationBar> realBar(const UIViewController& controller) {
  auto navigation = controller.navigationController();
  return navigation ? navigation->navigationBar() : nullptr;
}

// The bar takes the look of another: tint, background image and shadow image.
void takeLook(UINavigationBar& bar, const UINavigationBar& from) {
  bar.setBarTintColor(from.barTintColor());
  bar.setBackgroundImage(from.backgroundImageForBarMetrics(UIBarMetricsDefault), UIBarMetricsDefault);
  bar.setShadowImage(from.shadowImage());
}

void pushWithTransitionBars(UINavigationController& navigation, const std::function<void()>& next) {
  if (auto top = navigation.topViewController()) {
    nb_addTransitionNavigationBarIfNeeded(top);
    setNb_prefersNavigationBarBackgroundViewHidden(top, true);
  }
  next();
}

// The real bar takes the look of the screen returned to before the pop starts.
template <class R>
R popWithTransitionBars(UINavigationController& navigation, const std::shared_ptr<UIViewController>& target,
                        const std::function<R()>& next) {
  if (auto top = navigation.topViewController()) {
    nb_addTransitionNavigationBarIfNeeded(top);
    if (target) {
      if (auto bar = nb_transitionNavigationBar(target)) takeLook(*navigation.navigationBar(), *bar);
    }
    setNb_prefersNavigationBarBackgroundViewHidden(top, true);
  }
  return next();
}

void willLayoutWithTransitionBar(UIViewController& controller, const std::function<void()>& next) {
  auto self = controller.controllerSelf();
  auto coordinator = controller.transitionCoordinator();
  auto navigation = controller.navigationController();
  if (coordinator && navigation && coordinator->viewControllerForKey(UITransitionContextToViewControllerKey) == self &&
      navigation->topViewController() == self) {
    if (auto container = coordinator->containerView()) container->setBackgroundColor(UIColor::whiteColor());
    if (!navigation->navigationBar()->isTranslucent()) {
      // An opaque bar leaves the views below it: their transition bars reach above their bounds.
      for (const zvt::StaticString* key : {&UITransitionContextFromViewControllerKey, &UITransitionContextToViewControllerKey}) {
        if (auto moving = coordinator->viewControllerForKey(*key)) moving->view()->setClipsToBounds(false);
      }
    }
    if (!nb_transitionNavigationBar(self)) {
      nb_addTransitionNavigationBarIfNeeded(self);
      setNb_prefersNavigationBarBackgroundViewHidden(self, true);
    }
    nb_resizeTransitionNavigationBarFrame(self);
  }
  next();
}

void didAppearWithTransitionBar(UIViewController& controller, const std::function<void()>& next) {
  auto self = controller.controllerSelf();
  if (auto bar = nb_transitionNavigationBar(self)) {
    if (auto real = realBar(controller)) takeLook(*real, *bar);
    bar->removeFromSuperview();
    setNb_transitionNavigationBar(self, nullptr);
  }
  setNb_prefersNavigationBarBackgroundViewHidden(self, false);
  next();
}

}  // namespace

std::shared_ptr<UINavigationBar> nb_transitionNavigationBar(const std::shared_ptr<UIViewController>& controller) {
  return controller ? screenState(*controller).transitionBar : nullptr;
}

void setNb_transitionNavigationBar(const std::shared_ptr<UIViewController>& controller, const std::shared_ptr<UINavigationBar>& bar) {
  if (controller) screenState(*controller).transitionBar = bar;
}

bool nb_prefersNavigationBarBackgroundViewHidden(const std::shared_ptr<UIViewController>& controller) {
  return controller && screenState(*controller).backgroundHidden;
}

void setNb_prefersNavigationBarBackgroundViewHidden(const std::shared_ptr<UIViewController>& controller, bool hidden) {
  if (!controller) return;
  if (auto bar = realBar(*controller)) bar->backgroundView()->setHidden(hidden);
  screenState(*controller).backgroundHidden = hidden;
}

void nb_addTransitionNavigationBarIfNeeded(const std::shared_ptr<UIViewController>& controller) {
  if (!controller || !controller->isViewLoaded() || !controller->view()->window()) return;
  auto real = realBar(*controller);
  if (!real) return;
  auto bar = UINavigationBar::make();
  bar->setBarStyle(real->barStyle());
  if (bar->isTranslucent() != real->isTranslucent()) bar->setTranslucent(real->isTranslucent());
  takeLook(*bar, *real);
  if (auto previous = nb_transitionNavigationBar(controller)) previous->removeFromSuperview();
  setNb_transitionNavigationBar(controller, bar);
  nb_resizeTransitionNavigationBarFrame(controller);
  if (!controller->navigationController()->isNavigationBarHidden()) controller->view()->addSubview(bar);
}

void nb_resizeTransitionNavigationBarFrame(const std::shared_ptr<UIViewController>& controller) {
  if (!controller || !controller->isViewLoaded() || !controller->view()->window()) return;
  auto bar = nb_transitionNavigationBar(controller);
  auto real = realBar(*controller);
  if (!bar || !real) return;
  auto background = real->backgroundView();
  CGRect frame = controller->view()->convertRectFromView(background->frame(), background->superview());
  // Our transitions slide the screens by their frames, already set when the screen lays out: the
  // copy keeps to the screen's own left edge rather than to where the sliding screen sits now.
  frame.origin.x = controller->view()->bounds().origin.x;
  bar->setFrame(frame);
}

namespace zvt::ui {

void installNavigationBarTransition() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  auto& hooks = controllerHooks();
  hooks.pushViewController.install([](UINavigationController& navigation, const std::shared_ptr<UIViewController>&, bool,
                                      const std::function<void()>& next) { pushWithTransitionBars(navigation, next); });
  hooks.popViewController.install(
      [](UINavigationController& navigation, bool, const std::function<std::shared_ptr<UIViewController>()>& next) {
        const auto& stack = navigation.viewControllers();
        auto below = stack.size() >= 2 ? stack[stack.size() - 2] : nullptr;
        return popWithTransitionBars<std::shared_ptr<UIViewController>>(navigation, below, next);
      });
  hooks.popToViewController.install([](UINavigationController& navigation, const std::shared_ptr<UIViewController>& target, bool,
                                       const std::function<ControllerList()>& next) {
    return popWithTransitionBars<ControllerList>(navigation, target, next);
  });
  hooks.popToRootViewController.install(
      [](UINavigationController& navigation, bool, const std::function<ControllerList()>& next) {
        const auto& stack = navigation.viewControllers();
        return popWithTransitionBars<ControllerList>(navigation, stack.empty() ? nullptr : stack.front(), next);
      });
  hooks.viewWillLayoutSubviews.install(
      [](UIViewController& controller, const std::function<void()>& next) { willLayoutWithTransitionBar(controller, next); });
  hooks.viewDidAppear.install([](UIViewController& controller, bool, const std::function<void()>& next) {
    didAppearWithTransitionBar(controller, next);
  });
}

void installNavigationExtensions() {
  installFullscreenPopGesture();
  installNavigationBarTransition();
}

}  // namespace zvt::ui
