#include "app/ui/ParentsViewController.h"

#include "app/ui/ScreenRegistry.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/uikit/UINavigationController.h"

void ParentsViewController::viewDidLoad() {
  UIViewController::viewDidLoad();
  view()->setBackgroundColor(zvt::screenBackgroundColor());
  auto navigation = navigationController();
  if (navigation && navigation->viewControllers().size() >= 2) {
    std::weak_ptr<ParentsViewController> weakSelf = parentsSelf();
    configNavigationLeftItemWith(parentsSelf(), UIImage::imageNamed("whiteReturn"_ns), [weakSelf] {
      auto screen = weakSelf.lock();
      if (!screen) return;
      if (auto nav = screen->navigationController()) nav->popViewControllerAnimated(true);
    });
  }
}

void ParentsViewController::gotoLoginVC() { zvt::presentLoginScreen(parentsSelf()); }

namespace zvt {

std::shared_ptr<UIColor> screenBackgroundColor() {
  return UIColor::colorWithRed(242 / 255.0, 242 / 255.0, 242 / 255.0, 1);
}

std::shared_ptr<UIColor> actionColor() { return UIColor::colorWithRed(1.0, 110 / 255.0, 40 / 255.0, 1); }

void presentLoginScreen(const std::shared_ptr<UIViewController>& presenter) {
  auto navigation = presenter ? presenter->navigationController() : nullptr;
  if (!navigation) return;
  auto login = makeScreen("TZLoginViewController");
  if (!login) return;
  navigation->presentViewController(UINavigationController::initWithRootViewController(login), true);
}

bool isShownScreen(const std::shared_ptr<UIViewController>& screen) {
  auto navigation = screen ? screen->navigationController() : nullptr;
  if (!navigation || navigation->topViewController() != screen) return false;
  auto view = screen->viewIfLoaded();
  return view && view->window() && !navigation->presentedViewController();
}

}  // namespace zvt
