#include "app/screens/rewards/RewardsScreens.h"

#include "app/screens/rewards/AssetsViewControllers.h"
#include "app/screens/rewards/CourseViewController.h"
#include "app/screens/rewards/DetailViewController.h"
#include "app/screens/rewards/EarnMoneyViewController.h"
#include "app/screens/rewards/ExchangeScreens.h"
#include "app/screens/rewards/HelpCentreViews.h"
#include "app/screens/rewards/HelpViewController.h"
#include "app/screens/rewards/InviteFriendsView.h"
#include "app/screens/rewards/InviteFriendsViewController.h"
#include "app/screens/rewards/RedpacketView.h"
#include "app/screens/rewards/TZMessageViewController.h"
#include "app/screens/rewards/TZMakeMoneyViewController.h"
#include "app/screens/rewards/TZRebateCouponViewController.h"
#include "app/screens/rewards/TZServerQQViewController.h"
#include "app/screens/rewards/ThecalendarViewController.h"
#include "app/ui/ScreenRegistry.h"
#include "app/utilities/ZVTPublicTools.h"

namespace zvt {

void registerRewardsScreens() {
  setRedpacketPresenter([](const id& controller, const std::shared_ptr<NSString>& text) {
    showRedpacketOn(std::dynamic_pointer_cast<UIViewController>(controller), text);
  });
  // One line per screen class, in the order the screens arrive.
  registerScreenClass("ThecalendarViewController", [] { return ThecalendarViewController::make(); });
  registerExchangeScreens();
  registerScreenClass("HelpViewController", [] { return HelpViewController::make(); });
  registerScreenClass("TZServerQQViewController", [] { return TZServerQQViewController::make(); });
  TZServerView::registerNib();
  TZHelpCentreView::registerNib();
  TZZVTServerView::registerNib();
  registerScreenClass("CourseViewController", [] { return CourseViewController::make(); });
  registerScreenClass("AboutZaveltoViewController", [] { return AboutZaveltoViewController::make(); });
  registerScreenClass("DetailViewController", [] { return DetailViewController::make(); });
  registerScreenClass("TZRebateCouponViewController", [] { return TZRebateCouponViewController::make(); });
  registerScreenClass("InviteFriendsViewController", [] { return InviteFriendsViewController::make(); });
  registerLeaderboardNibs();
  registerScreenClass("TZMessageViewController", [] { return TZMessageViewController::make(); });
  TZMessageCell::registerNib();
  registerScreenClass("EarnMoneyViewController", [] { return EarnMoneyViewController::make(); });
  registerScreenClass("MyAssetsViewController", [] { return MyAssetsViewController::make(); });
  registerScreenClass("TZAssetsViewController", [] { return TZAssetsViewController::make(); });
  money::registerWithdrawViewNib();
  money::registerAssetCellNibs();
  registerScreenClass("TZMakeMoneyViewController", [] { return TZMakeMoneyViewController::make(); });
}

}  // namespace zvt
