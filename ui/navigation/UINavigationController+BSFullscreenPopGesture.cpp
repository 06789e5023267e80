#include "ui/navigation/UINavigationController+BSFullscreenPopGesture.h"

#include "platform/uikit/ControllerHooks.h"

namespace {

// What the back swipe keeps with a navigation controller.
struct NavigationState : NSObject {
  std::shared_ptr<UIPanGestureRecognizer> recognizer;
  std::shared_ptr<zvt::ui::BSFullscreenPopGestureRecognizerDelegate> delegate;
  bool appearanceEnabled = true;
};

// What it keeps with a screen.
struct ScreenState : NSObject {
  bool interactivePopDisabled = false;
  bool prefersNavigationBarHidden = false;
  BSViewControllerWillAppearInjectBlock willAppearInjectBlock;
};

char kNavigationState = 0;
char kScreenState = 0;

NavigationState& navigationState(UINavigationController& navigation) {
  auto state = std::static_pointer_cast<NavigationState>(navigation.associatedObject(&kNavigationState));
  if (!state) {
    state = std::make_shared<NavigationState>();
    navigation.setAssociatedObject(&kNavigationState, state);
  }
  return *state;
}

ScreenState& screenState(UIViewController& controller) {
  auto state = std::static_pointer_cast<ScreenState>(controller.associatedObject(&kScreenState));
  if (!state) {
    state = std::make_shared<ScreenState>();
    controller.setAssociatedObject(&kScreenState, state);
  }
  return *state;
}

const ScreenState* existingScreenState(const UIViewController& controller) {
  return static_cast<const ScreenState*>(controller.associatedObject(&kScreenState).get());
}

std::shared_ptr<UINavigationController> navigationSelf(UINavigationController& navigation) {
  return std::static_pointer_cast<UINavigationController>(navigation.controllerSelf());
}

std::shared_ptr<zvt::ui::BSFullscreenPopGestureRecognizerDelegate> popDelegate(UINavigationController& navigation) {
  auto& state = navigationState(navigation);
  if (!state.delegate) {
    state.delegate = std::make_shared<zvt::ui::BSFullscreenPopGestureRecognizerDelegate>();
    state.delegate->setNavigationController(navigationSelf(navigation));
  }
  return state.delegate;
}

std::shared_ptr<UIPanGestureRecognizer> popRecognizer(UINavigationController& navigation) {
  auto& state = navigationState(navigation);
  if (!state.recognizer) {
    state.recognizer = std::make_shared<UIPanGestureRecognizer>();
    state.recognizer->setMaximumNumberOfTouches(1);
  }
  return state.recognizer;
}

// The bar follows the appearing screen's preference (when the navigation controller lets the
// screens decide).
void setUpBarAppearanceIfNeeded(UINavigationController& navigation, const std::shared_ptr<UIViewController>& appearing) {
  if (!navigationState(navigation).appearanceEnabled) return;
  std::weak_ptr<UINavigationController> weak = navigationSelf(navigation);
  BSViewControllerWillAppearInjectBlock block = [weak](const std::shared_ptr<UIViewController>& controller, bool animated) {
    if (auto strong = weak.lock()) strong->setNavigationBarHidden(bs_prefersNavigationBarHidden(controller), animated);
  };
  setBs_willAppearInjectBlock(appearing, block);
  auto top = navigation.topViewController();
  if (top && !bs_willAppearInjectBlock(top)) setBs_willAppearInjectBlock(top, block);
}

void pushWithFullscreenPop(UINavigationController& navigation, const std::shared_ptr<UIViewController>& controller, bool animated,
                           const std::function<void()>& next) {
  (void)animated;
  auto recognizer = popRecognizer(navigation);
  auto edge = navigation.interactivePopGestureRecognizer();
  // The edge pan's view is the navigation controller's (loaded here when it is not yet).
  auto view = edge && edge->view() ? edge->view() : navigation.view();
  const auto& installed = view->gestureRecognizers();
  if (std::find(installed.begin(), installed.end(), recognizer) == installed.end()) {
    view->addGestureRecognizer(recognizer);
    recognizer->setDelegate(popDelegate(navigation));
    // The edge pan's own target and action: the interactive pop of the controller.
    recognizer->addTarget(navigation.controllerSelf(), SEL(&UINavigationController::handleNavigationTransition));
    if (edge) edge->setEnabled(false);
  }
  setUpBarAppearanceIfNeeded(navigation, controller);
  next();
}

}  // namespace

std::shared_ptr<UIPanGestureRecognizer> bs_fullscreenPopGestureRecognizer(const std::shared_ptr<UINavigationController>& navigation) {
  return navigation ? popRecognizer(*navigation) : nullptr;
}

bool bs_viewControllerBasedNavigationBarAppearanceEnabled(const std::shared_ptr<UINavigationController>& navigation) {
  return navigation && navigationState(*navigation).appearanceEnabled;
}

void setBs_viewControllerBasedNavigationBarAppearanceEnabled(const std::shared_ptr<UINavigationController>& navigation,
                                                             bool enabled) {
  if (navigation) navigationState(*navigation).appearanceEnabled = enabled;
}

bool bs_interactivePopDisabled(const std::shared_ptr<UIViewController>& controller) {
  const ScreenState* state = controller ? existingScreenState(*controller) : nullptr;
  return state && state->interactivePopDisabled;
}

void setBs_interactivePopDisabled(const std::shared_ptr<UIViewController>& controller, bool disabled) {
  if (controller) screenState(*controller).interactivePopDisabled = disabled;
}

bool bs_prefersNavigationBarHidden(const std::shared_ptr<UIViewController>& controller) {
  const ScreenState* state = controller ? existingScreenState(*controller) : nullptr;
  return state && state->prefersNavigationBarHidden;
}

void setBs_prefersNavigationBarHidden(const std::shared_ptr<UIViewController>& controller, bool hidden) {
  if (controller) screenState(*controller).prefersNavigationBarHidden = hidden;
}

BSViewControllerWillAppearInjectBlock bs_willAppearInjectBlock(const std::shared_ptr<UIViewController>& controller) {
  const ScreenState* state = controller ? existingScreenState(*controller) : nullptr;
  return state ? state->willAppearInjectBlock : nullptr;
}

void setBs_willAppearInjectBlock(const std::shared_ptr<UIViewController>& controller, BSViewControllerWillAppearInjectBlock block) {
  if (controller) screenState(*controller).willAppearInjectBlock = std::move(block);
}

namespace zvt::ui {

bool BSFullscreenPopGestureRecognizerDelegate::gestureRecognizerShouldBegin(const std::shared_ptr<UIGestureRecognizer>& recognizer) {
  auto navigation = navigationController();
  if (!navigation || navigation->viewControllers().size() < 2) return false;
  if (bs_interactivePopDisabled(navigation->topViewController())) return false;
  if (navigation->isTransitioning()) return false;
  auto pan = std::dynamic_pointer_cast<UIPanGestureRecognizer>(recognizer);
  return pan && pan->translationInView(pan->view()).x > 0;
}

void installFullscreenPopGesture() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  auto& hooks = controllerHooks();
  hooks.viewWillAppear.install([](UIViewController& controller, bool animated, const std::function<void()>& next) {
    next();
    if (auto block = bs_willAppearInjectBlock(controller.controllerSelf())) block(controller.controllerSelf(), animated);
  });
  hooks.pushViewController.install([](UINavigationController& navigation, const std::shared_ptr<UIViewController>& controller,
                                       bool animated, const std::function<void()>& next) {
    pushWithFullscreenPop(navigation, controller, animated, next);
  });
}

}  // namespace zvt::ui
