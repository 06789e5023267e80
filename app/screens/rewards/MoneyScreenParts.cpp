#include "app/screens/rewards/MoneyScreenParts.h"

#include "analytics/StatAgent.h"
#include "app/core/AppDelegate.h"
#include "app/screens/rewards/ExchangeScreens.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/graphics/UIImage.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationController.h"

namespace zvt::money {

void configPopItem(const std::shared_ptr<UIViewController>& screen) {
  if (!screen) return;
  std::weak_ptr<UIViewController> weakScreen = screen;
  configNavigationLeftItemWith(screen, UIImage::imageNamed("grayReturn"_ns), [weakScreen] {
    auto alive = weakScreen.lock();
    auto navigation = alive ? alive->navigationController() : nullptr;
    if (navigation) navigation->popViewControllerAnimated(true);
  });
}

void appearWithWhiteBar(const std::shared_ptr<UIViewController>& screen, const char* pageName, bool hideTabbar) {
  if (!screen) return;
  if (auto navigation = screen->navigationController()) navigation->navigationBar()->setBarStyle(UIBarStyleDefault);
  configWhiteNavigationBarStyle(screen);
  if (hideTabbar) {
    auto delegate = AppDelegate::shared();
    if (auto shell = delegate ? delegate->tabBarController() : nullptr) shell->hiddenTabbar();
  }
  StatAgent::beginLogPageView(NSString::stringWithUTF8String(pageName));
}

std::shared_ptr<NSString> sessionUserId() {
  auto delegate = AppDelegate::shared();
  auto id = exchange::textOf(delegate ? delegate->userInfoDictionary() : nullptr, "id");
  return id ? id : ""_ns;
}

}  // namespace zvt::money
