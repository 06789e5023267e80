#include "app/screens/account/UserInfoViewController.h"

#include <algorithm>
#include <cmath>

#include "analytics/StatAgent.h"
#include "app/api/ZVTAPIClient.h"
#include "app/core/AppDelegate.h"
#include "app/core/Configuration.h"
#include "app/ui/ScreenRegistry.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIKitCategories.h"
#include "app/ui/UIViewController+NavItem.h"
#include "app/utilities/ZVTPublicTools.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationController.h"
#include "ui/hud/POProgressHUD.h"

namespace {

CGFloat shorterSide() {
  const CGSize size = UIScreen::mainScreen()->bounds().size;
  return std::min(size.width, size.height);
}
CGFloat longerSide() {
  const CGSize size = UIScreen::mainScreen()->bounds().size;
  return std::max(size.width, size.height);
}

const auto kCellIdentifier = "TZUserCell";

}  // namespace

UserInfoViewController::UserInfoViewController() { initDatas(); }

void UserInfoViewController::initDatas() {
  sectionArray_ = {
      {{"userWithdraw", "我要提现", "EarnMoneyViewController", true},
       {"userExchange", "我要兑换", "TZExchangeViewController", true},
       {"userInvite", "邀请好友", "InviteFriendsViewController", true},
       {"userMakeMoney", "我要赚钱", "TZMakeMoneyViewController", false}},
      {{"userOrder", "回扣订单", "TZOrderViewController", true},
       {"userProperty", "资产明细", "MyAssetsViewController", true},
       {"userMail", "站内信", "TZMessageViewController", true}},
      {{"userHelp", "帮助中心", "HelpViewController", false},
       {"userSetting", "设置", "MyAccountViewController", true}},
  };
}

CGFloat UserInfoViewController::headerHeight() const { return 0.645 * shorterSide(); }

void UserInfoViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  setAutomaticallyAdjustsScrollViewInsets(false);
  if (auto navigation = navigationController()) {
    navigation->navigationBar()->setBarStyle(UIBarStyleBlack);
    navigation->navigationBar()->setShadowImage(std::make_shared<UIImage>(nullptr, 1, UIImageOrientationUp));
  }
  std::weak_ptr<UserInfoViewController> weakSelf = centreSelf();
  auto center = NSNotificationCenter::defaultCenter();
  center->addObserver(
      self(),
      [weakSelf](const std::shared_ptr<NSNotification>&) {
        if (auto screen = weakSelf.lock()) screen->gotoLoginVC();
      },
      "toLogin"_ns, nullptr);
  for (const char* name : {"logout", "login"}) {
    center->addObserver(
        self(),
        [weakSelf](const std::shared_ptr<NSNotification>&) {
          if (auto screen = weakSelf.lock()) screen->getUserInfo();
        },
        NSString::stringWithUTF8String(name), nullptr);
  }
  configNavigationLeftItemWith(controllerSelf(), UIImage::imageNamed("userService"_ns), [weakSelf] {
    if (auto screen = weakSelf.lock()) screen->gotoSerive();
  });
  configNavigationRightItemWith(controllerSelf(), UIImage::imageNamed("userSignIn"_ns), [weakSelf] {
    if (auto screen = weakSelf.lock()) screen->gotoSign();
  });
  createUI();
}

void UserInfoViewController::createUI() {
  const CGFloat width = shorterSide();
  const CGFloat h = headerHeight();
  tableView_ = UITableView::initWithFrame(CGRectMake(0, 0, width, longerSide()), UITableViewStyleGrouped);
  tableView_->setDataSource(std::static_pointer_cast<UITableViewDataSource>(centreSelf()));
  tableView_->setDelegate(std::static_pointer_cast<UITableViewDelegate>(centreSelf()));
  tableView_->setSeparatorColor(UIColor::colorWithRed(222 / 255.0, 222 / 255.0, 222 / 255.0, 1));
  tableView_->setSeparatorInset(UIEdgeInsetsMake(0, 5, 0, 0));
  tableView_->setBackgroundColor(zvt::screenBackgroundColor());
  tableView_->setShowsVerticalScrollIndicator(false);
  tableView_->setShowsHorizontalScrollIndicator(false);
  tableView_->registerClass<UITableViewCell>(NSString::stringWithUTF8String(kCellIdentifier));
  view()->addSubview(tableView_);

  tableView_->setContentInset(UIEdgeInsetsMake(h, 0, 0, 0));
  // Room above the tab bar.
  auto footer = UIView::initWithFrame(CGRectMake(0, 0, width, 49 + 10));
  footer->setBackgroundColor(zvt::screenBackgroundColor());
  tableView_->setTableFooterView(footer);

  const CGRect headerFrame = CGRectMake(0, -h, width, h);
  BGImageView_ = UIImageView::initWithImage(UIImage::imageNamed("userBackGround"_ns));
  BGImageView_->setContentMode(UIViewContentModeScaleAspectFill);
  BGImageView_->setClipsToBounds(true);
  BGImageView_->setFrame(headerFrame);
  tableView_->addSubview(BGImageView_);
  BGView_ = loadFromNib<TZPersonalHeaderView>();
  BGView_->setBackgroundColor(UIColor::clearColor());
  BGView_->setFrame(headerFrame);
  tableView_->addSubview(BGView_);
  BGView_->haveNotLogin();

  std::weak_ptr<UserInfoViewController> weakSelf = centreSelf();
  auto with = [weakSelf](void (UserInfoViewController::*action)()) {
    return [weakSelf, action] {
      if (auto screen = weakSelf.lock()) (screen.get()->*action)();
    };
  };
  BGView_->setShoppingCarBlock(with(&UserInfoViewController::gotoShoppingCar));
  BGView_->setIconBlock(with(&UserInfoViewController::iconAction));
  BGView_->setLoginBlock(with(&UserInfoViewController::gotoLoginVC));
  BGView_->setRegisterBlock(with(&UserInfoViewController::gotoRegister));
  BGView_->setCouponBlock(with(&UserInfoViewController::gotoRebateCoupon));

  tableView_->setContentOffset(CGPointMake(0, -h + 1));
}

void UserInfoViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  StatAgent::beginLogPageView("个人中心页"_ns);
  getUserInfo();
}

void UserInfoViewController::viewDidAppear(bool animated) {
  ParentsViewController::viewDidAppear(animated);
  if (auto navigation = navigationController()) navigation->navigationBar()->setBarStyle(UIBarStyleBlack);
  if (auto shell = AppDelegate::shared()->tabBarController()) shell->showTabbar();
}

void UserInfoViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView("个人中心页"_ns);
}

void UserInfoViewController::getUserInfo() {
  auto delegate = AppDelegate::shared();
  if (!delegate->isLogin()) {
    if (BGView_) BGView_->haveNotLogin();
    return;
  }
  auto parameters = NSMutableDictionary::dictionary();
  if (auto record = delegate->userInfoDictionary()) {
    if (id userId = record->objectForKey("id"_ns)) parameters->setObject(userId, "id"_ns);
  }
  auto screen = centreSelf();
  ZVTAPIClient::getUserInfoWith(parameters, [screen](const std::shared_ptr<NSDictionary>& record, const std::shared_ptr<NSError>&) {
    hideHud(screen);
    auto header = screen->BGView_;
    if (!header) return;
    if (!record) {
      header->haveNotLogin();
      return;
    }
    header->haveLogin();
    header->fillViewWith(zvt::modelFromRecord<TZUserInfoModel>(record), false);
  });
}

void UserInfoViewController::open(const std::string& screen, bool needsLogin) {
  if (needsLogin && !AppDelegate::shared()->isLogin()) {
    gotoLoginVC();
    return;
  }
  auto made = zvt::makeScreen(screen);
  auto navigation = navigationController();
  if (made && navigation) navigation->pushViewController(made, true);
}

void UserInfoViewController::gotoRebateCoupon() { open("TZRebateCouponViewController", true); }
void UserInfoViewController::gotoSign() { open("ThecalendarViewController", true); }
void UserInfoViewController::gotoSerive() { open("TZServerQQViewController", false); }
void UserInfoViewController::iconAction() { open("TZPersonalViewController", true); }

void UserInfoViewController::gotoShoppingCar() {
  auto page = zvt::makeScreen("TZPublicViewController");
  auto navigation = navigationController();
  if (!page || !navigation) return;
  page->setValueForKey("我的购物车"_ns, "webTitle"_ns);
  page->setValueForKey(zvt::Configuration::taobaoCartURLString(), "webUrl"_ns);
  navigation->pushViewController(page, true);
}

void UserInfoViewController::gotoRegister() {
  auto registration = zvt::makeScreen("TZRegisterViewController");
  auto navigation = navigationController();
  if (!registration || !navigation) return;
  navigation->presentViewController(UINavigationController::initWithRootViewController(registration), true);
}

// --- table ------------------------------------------------------------------------------------------

NSInteger UserInfoViewController::numberOfSectionsInTableView(const std::shared_ptr<UITableView>&) {
  return static_cast<NSInteger>(sectionArray_.size());
}

NSInteger UserInfoViewController::tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, NSInteger section) {
  return static_cast<NSInteger>(sectionArray_.at(static_cast<size_t>(section)).size());
}

std::shared_ptr<UITableViewCell> UserInfoViewController::tableViewCellForRowAtIndexPath(
    const std::shared_ptr<UITableView>& tableView, const std::shared_ptr<NSIndexPath>& indexPath) {
  const MenuRow& row = sectionArray_.at(static_cast<size_t>(indexPath->section())).at(static_cast<size_t>(indexPath->row()));
  auto cell = tableView->dequeueReusableCellWithIdentifier(NSString::stringWithUTF8String(kCellIdentifier), indexPath);
  cell->setAccessoryType(UITableViewCellAccessoryDisclosureIndicator);
  cell->setSelectionStyle(UITableViewCellSelectionStyleGray);
  cell->textLabel()->setFont(UIFont::systemFontOfSize(16));
  cell->textLabel()->setTextColor(UIColor::colorWithRed(51 / 255.0, 51 / 255.0, 51 / 255.0, 1));
  cell->textLabel()->setText(NSString::stringWithUTF8String(row.title));
  cell->imageView()->setImage(UIImage::imageNamed(NSString::stringWithUTF8String(row.icon)));
  return cell;
}

CGFloat UserInfoViewController::tableViewHeightForRowAtIndexPath(const std::shared_ptr<UITableView>&,
                                                                 const std::shared_ptr<NSIndexPath>&) {
  return 45;
}

CGFloat UserInfoViewController::tableViewHeightForHeaderInSection(const std::shared_ptr<UITableView>&, NSInteger) {
  return 10;
}

CGFloat UserInfoViewController::tableViewHeightForFooterInSection(const std::shared_ptr<UITableView>&, NSInteger) {
  return 0.01;
}

std::shared_ptr<UIView> UserInfoViewController::tableViewViewForHeaderInSection(const std::shared_ptr<UITableView>&,
                                                                                NSInteger) {
  auto header = UIView::initWithFrame(CGRectMake(0, 0, shorterSide(), 10));
  header->setBackgroundColor(UIColor::clearColor());
  return header;
}

std::shared_ptr<UIView> UserInfoViewController::tableViewViewForFooterInSection(const std::shared_ptr<UITableView>&,
                                                                                NSInteger) {
  auto footer = UIView::initWithFrame(CGRectZero);
  footer->setBackgroundColor(UIColor::clearColor());
  return footer;
}

void UserInfoViewController::tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                                              const std::shared_ptr<NSIndexPath>& indexPath) {
  tableView->deselectRowAtIndexPath(indexPath, true);
  const MenuRow& row = sectionArray_.at(static_cast<size_t>(indexPath->section())).at(static_cast<size_t>(indexPath->row()));
  open(row.screen, row.needsLogin);
}

void UserInfoViewController::scrollViewDidScroll(const std::shared_ptr<UIScrollView>& scrollView) {
  if (!scrollView || scrollView != tableView_) return;
  const CGFloat y = scrollView->contentOffset().y;
  const CGFloat h = headerHeight();
  if (y < -h && BGImageView_) {
    const CGFloat x = (y + h) / 2;
    BGImageView_->setFrame(CGRectMake(x, y, shorterSide() + 2 * std::fabs(x), -y));
  }
  CGFloat alpha = (y + h) / (h / 2);
  if (alpha >= 1) alpha = 0.99;
  if (auto navigation = navigationController()) {
    navigation->navigationBar()->setBackgroundImage(
        ZVTPublicTools::imageWithColor(UIColor::colorWithRed(1.0, 110 / 255.0, 40 / 255.0, alpha)), UIBarMetricsDefault);
  }
}

void UserInfoViewController::alertViewClickedButtonAtIndex(const std::shared_ptr<UIAlertView>&, NSInteger buttonIndex) {
  if (buttonIndex != 1) return;
  // The telephone address goes to the system, which places the call.
  auto address = NSURL::URLWithString(
      NSString::stringWithUTF8String("tel://" + zvt::Configuration::values().customerServiceTelephone));
  if (address) UIApplication::sharedApplication()->openURL(address);
}
