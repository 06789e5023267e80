#include "app/core/UIViewController+TZSkip.h"

#include "analytics/StatAgent.h"
#include "app/core/AppDelegate.h"
#include "app/ui/ParentsViewController.h"
#include "app/ui/ScreenRegistry.h"
#include "platform/foundation/NSNumber.h"
#include "platform/uikit/UINavigationController.h"

namespace {

NSInteger integerValue(const id& value) {
  if (auto text = std::dynamic_pointer_cast<NSString>(value)) return text->integerValue();
  if (auto number = std::dynamic_pointer_cast<NSNumber>(value)) return number->integerValue();
  return 0;
}

void push(const std::shared_ptr<UIViewController>& controller, const std::shared_ptr<UIViewController>& screen) {
  auto navigation = controller ? controller->navigationController() : nullptr;
  if (navigation && screen) navigation->pushViewController(screen, true);
}

}  // namespace

void clickAction(const std::shared_ptr<UIViewController>& controller, const std::shared_ptr<TZHeaderInfoModel>& item) {
  if (!controller || !item) return;
  const NSInteger kind = integerValue(item->local);
  if (kind == 0) {
    StatAgent::event("ActiveZone"_ns);
    gotoActivityVenue(controller, item);
    return;
  }
  if (kind != 1) return;
  struct Target {
    const char* event;    // nullptr: none
    const char* screen;   // nullptr: the product store of `bigSortType`
    bool login;
    NSInteger bigSortType;
    bool isPush;
  };
  Target target{};
  switch (integerValue(item->link)) {
    case 1: target = {"ExcellentGoods", nullptr, false, 4, true}; break;
    case 2: target = {nullptr, "ThecalendarViewController", true, 0, false}; break;
    case 3: target = {"ExchangeCentre", "TZExchangeViewController", true, 0, false}; break;
    case 4: target = {"Free9point9", nullptr, false, 1, true}; break;
    case 5: target = {"HighRebate", nullptr, false, 3, true}; break;
    case 7: target = {"MallRebate", "ThirdProductStoreViewController", false, 0, true}; break;
    case 8: target = {"RebateOrder", "TZOrderViewController", true, 0, false}; break;
    case 9: target = {"RebateCourse", "CourseViewController", false, 0, false}; break;
    case 10: target = {"Stroll", "TZStrollViewController", false, 0, false}; break;
    default: return;  // 6 and unknown targets open nothing
  }
  if (target.login && !AppDelegate::shared()->isLogin()) {
    login(controller);
    return;
  }
  if (target.event) StatAgent::event(NSString::stringWithUTF8String(target.event));
  if (!target.screen) {
    gotoProductWith(controller, target.bigSortType);
    return;
  }
  auto screen = zvt::makeScreen(target.screen);
  if (!screen) return;
  if (target.isPush) screen->setValueForKey(NSNumber::numberWithBool(true), "isPush"_ns);
  push(controller, screen);
}

void gotoProductWith(const std::shared_ptr<UIViewController>& controller, NSInteger bigSortType) {
  auto screen = zvt::makeScreen("ProductStoreViewController");
  if (!screen) return;
  screen->setValueForKey(NSNumber::numberWithInteger(0), "smallSortType"_ns);
  screen->setValueForKey(NSNumber::numberWithInteger(bigSortType), "bigSortType"_ns);
  screen->setValueForKey(NSNumber::numberWithBool(true), "isPush"_ns);
  push(controller, screen);
}

void gotoActivityVenue(const std::shared_ptr<UIViewController>& controller, const std::shared_ptr<TZHeaderInfoModel>& item) {
  auto screen = zvt::makeScreen("ActivityZoneViewController");
  if (!screen || !item) return;
  screen->setValueForKey(item->link, "activityZoneUrl"_ns);
  screen->setValueForKey(item->name, "activityZoneName"_ns);
  screen->setValueForKey(item->isShare, "isShare"_ns);
  screen->setValueForKey(item, "infoModel"_ns);
  push(controller, screen);
}

void login(const std::shared_ptr<UIViewController>& controller) { zvt::presentLoginScreen(controller); }
