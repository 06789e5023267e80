#include "app/screens/account/MyAccountViewController.h"

#include <algorithm>

#include "analytics/StatAgent.h"
#include "app/api/ZVTLoginSession.h"
#include "app/screens/account/TZChangePasswordViewController.h"
#include "app/core/AppDelegate.h"
#include "app/ui/ScreenRegistry.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIAlertView+TapBlocks.h"
#include "app/ui/UIKitCategories.h"
#include "app/ui/UIViewController+NavItem.h"
#include "app/utilities/ZVTPublicTools.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationController.h"
#include "ui/images/WIImageCache.h"

namespace {

CGFloat shorterSide() {
  const CGSize size = UIScreen::mainScreen()->bounds().size;
  return std::min(size.width, size.height);
}
CGFloat longerSide() {
  const CGSize size = UIScreen::mainScreen()->bounds().size;
  return std::max(size.width, size.height);
}

const auto kCellIdentifier = "TimeLineCell";

}  // namespace

MyAccountViewController::MyAccountViewController() { initDatas(); }

void MyAccountViewController::initDatas() {
  iconArray_ = {{"userInfoCellBtn_normal", "changePasswordCelBtn_normal"},
                {"evaluate_normal", "clearCache_normal", "aboutZaveltoCellBtn_normal"}};
  titleArray_ = {{"个人信息", "修改密码"}, {"去评价", "清除缓存", "关于Zavelto"}};
}

void MyAccountViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  setTitle("设置"_ns);
  std::weak_ptr<MyAccountViewController> weakSelf = settingsSelf();
  configNavigationLeftItemWith(controllerSelf(), UIImage::imageNamed("grayReturn"_ns), [weakSelf] {
    auto screen = weakSelf.lock();
    if (!screen) return;
    if (auto navigation = screen->navigationController()) navigation->popViewControllerAnimated(true);
  });
  createUI();
}

void MyAccountViewController::createUI() {
  const CGFloat width = shorterSide();
  crashLabel_ = UILabel::initWithFrame(CGRectMake(width - 120, 10, 100, 22));
  crashLabel_->setTextAlignment(NSTextAlignmentCenter);
  crashLabel_->setFont(UIFont::systemFontOfSize(15));
  crashLabel_->setTextColor(UIColor::colorWithRed(1.0, 100 / 255.0, 0, 1));

  tableView_ = UITableView::initWithFrame(CGRectMake(0, -20, width, longerSide() + 20), UITableViewStyleGrouped);
  tableView_->setSectionHeaderHeight(0);
  // The device keeps 35 points above a grouped table's first section even with a header height of
  // 0; the frame's 20 points above the view take part of that margin away, as they did there.
  tableView_->setTableHeaderView(UIView::initWithFrame(CGRectMake(0, 0, width, 35)));
  tableView_->setDataSource(std::static_pointer_cast<UITableViewDataSource>(settingsSelf()));
  tableView_->setDelegate(std::static_pointer_cast<UITableViewDelegate>(settingsSelf()));
  tableView_->setBackgroundColor(zvt::screenBackgroundColor());
  tableView_->setSeparatorStyle(UITableViewCellSeparatorStyleSingleLine);
  tableView_->setSeparatorInset(UIEdgeInsetsMake(0, 15, 0, 15));
  tableView_->registerClass<UITableViewCell>(NSString::stringWithUTF8String(kCellIdentifier));
  view()->addSubview(tableView_);

  auto footer = UIView::initWithFrame(CGRectMake(0, 0, width, 40));
  auto logoutButton = UIButton::buttonWithType(UIButtonTypeCustom);
  logoutButton->setFrame(CGRectMake(15, 0, width - 30, 40));
  logoutButton->layer()->setCornerRadius(4);
  logoutButton->setBackgroundColor(zvt::actionColor());
  logoutButton->setTitle("退 出"_ns, UIControlStateNormal);
  logoutButton->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
  logoutButton->addTarget(self(), &MyAccountViewController::logout, UIControlEventTouchUpInside);
  footer->addSubview(logoutButton);
  tableView_->setTableFooterView(footer);
}

void MyAccountViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  if (auto navigation = navigationController()) navigation->navigationBar()->setBarStyle(UIBarStyleDefault);
  configWhiteNavigationBarStyle(controllerSelf());
  StatAgent::beginLogPageView("设置页"_ns);
  if (auto shell = AppDelegate::shared()->tabBarController()) shell->hiddenTabbar();
}

void MyAccountViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView("设置页"_ns);
}

NSInteger MyAccountViewController::numberOfSectionsInTableView(const std::shared_ptr<UITableView>&) {
  return static_cast<NSInteger>(iconArray_.size());
}

NSInteger MyAccountViewController::tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, NSInteger section) {
  return static_cast<NSInteger>(iconArray_.at(static_cast<size_t>(section)).size());
}

std::shared_ptr<UITableViewCell> MyAccountViewController::tableViewCellForRowAtIndexPath(
    const std::shared_ptr<UITableView>& tableView, const std::shared_ptr<NSIndexPath>& indexPath) {
  const auto section = static_cast<size_t>(indexPath->section());
  const auto row = static_cast<size_t>(indexPath->row());
  auto cell = tableView->dequeueReusableCellWithIdentifier(NSString::stringWithUTF8String(kCellIdentifier), indexPath);
  cell->setAccessoryType(UITableViewCellAccessoryDisclosureIndicator);
  cell->setSelectionStyle(UITableViewCellSelectionStyleGray);
  cell->imageView()->setImage(UIImage::imageNamed(NSString::stringWithUTF8String(iconArray_.at(section).at(row))));
  cell->textLabel()->setText(NSString::stringWithUTF8String(titleArray_.at(section).at(row)));
  cell->textLabel()->setFont(UIFont::systemFontOfSize(16));
  cell->textLabel()->setTextColor(UIColor::colorWithRed(51 / 255.0, 51 / 255.0, 51 / 255.0, 1));
  if (section == 1 && row == 1) {
    // The size of the image cache on disk, read each time the row is drawn.
    const double megabytes = static_cast<double>(WIImageCache::sharedImageCache()->getSize()) / 1024 / 1024;
    crashLabel_->setText(NSString::stringWithFormat("%.2fM", megabytes));
    cell->contentView()->addSubview(crashLabel_);
  } else if (crashLabel_->superview() && crashLabel_->isDescendantOfView(cell)) {
    // A reused cell that showed the size before.
    crashLabel_->removeFromSuperview();
  }
  return cell;
}

void MyAccountViewController::push(const std::shared_ptr<UIViewController>& screen) {
  auto navigation = navigationController();
  if (screen && navigation) navigation->pushViewController(screen, true);
}

void MyAccountViewController::tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                                               const std::shared_ptr<NSIndexPath>& indexPath) {
  tableView->deselectRowAtIndexPath(indexPath, true);
  switch (indexPath->section() * 10 + indexPath->row()) {
    case 0:
      push(zvt::makeScreen("TZPersonalViewController"));
      break;
    case 1:
      push(createFromStoryboard<TZChangePasswordViewController>());
      break;
    case 10:
      if (auto url = ZVTPublicTools::reviewPageURL()) UIApplication::sharedApplication()->openURL(url);
      break;
    case 11:
      askToClearCache();
      break;
    case 12:
      push(zvt::makeScreen("AboutZaveltoViewController"));
      break;
    default:
      break;
  }
}

void MyAccountViewController::askToClearCache() {
  std::weak_ptr<MyAccountViewController> weakSelf = settingsSelf();
  showWithTitle(nullptr, "确定要清除缓存吗？"_ns, "取消"_ns, {"确定"_ns},
                [weakSelf](const std::shared_ptr<UIAlertView>&, NSInteger buttonIndex) {
                  if (buttonIndex != 1) return;
                  auto cache = WIImageCache::sharedImageCache();
                  cache->clearMemory();
                  cache->clearDisk();
                  if (auto screen = weakSelf.lock()) screen->tableView_->reloadData();
                });
}

void MyAccountViewController::logout() {
  std::weak_ptr<MyAccountViewController> weakSelf = settingsSelf();
  showWithTitle(nullptr, "真的要退出？"_ns, "取消"_ns, {"确定"_ns},
                [weakSelf](const std::shared_ptr<UIAlertView>&, NSInteger buttonIndex) {
                  if (buttonIndex != 1) return;
                  ZVTLoginSession::logout();
                  auto screen = weakSelf.lock();
                  if (!screen) return;
                  if (auto navigation = screen->navigationController()) navigation->popViewControllerAnimated(true);
                });
}
