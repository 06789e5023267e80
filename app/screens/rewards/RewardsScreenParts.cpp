#include "app/screens/rewards/RewardsScreenParts.h"

#include <algorithm>

#include "analytics/StatAgent.h"
#include "app/core/AppDelegate.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationController.h"

namespace zvt::rewards {

CGFloat shorterSide() {
  const CGSize size = UIScreen::mainScreen()->bounds().size;
  return std::min(size.width, size.height);
}

CGFloat longerSide() {
  const CGSize size = UIScreen::mainScreen()->bounds().size;
  return std::max(size.width, size.height);
}

void configPopItem(const std::shared_ptr<UIViewController>& screen) {
  std::weak_ptr<UIViewController> weakSelf = screen;
  configNavigationLeftItemWith(screen, UIImage::imageNamed("grayReturn"_ns), [weakSelf] {
    auto self = weakSelf.lock();
    if (!self) return;
    if (auto navigation = self->navigationController()) navigation->popViewControllerAnimated(true);
  });
}

void whiteBar(const std::shared_ptr<UIViewController>& screen) {
  if (auto navigation = screen->navigationController()) navigation->navigationBar()->setBarStyle(UIBarStyleDefault);
  configWhiteNavigationBarStyle(screen);
}

void hideTabbar() {
  if (auto delegate = AppDelegate::shared()) {
    if (auto shell = delegate->tabBarController()) shell->hiddenTabbar();
  }
}

void appearWithWhiteBar(const std::shared_ptr<UIViewController>& screen, const std::shared_ptr<NSString>& pageName,
                        bool hidesTabbar) {
  if (!screen) return;
  whiteBar(screen);
  if (hidesTabbar) hideTabbar();
  StatAgent::beginLogPageView(pageName);
}

}  // namespace zvt::rewards
