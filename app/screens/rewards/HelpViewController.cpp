#include "app/screens/rewards/HelpViewController.h"

#include <algorithm>

#include "analytics/StatAgent.h"
#include "app/core/AppDelegate.h"
#include "app/core/Configuration.h"
#include "app/screens/rewards/FeedbackViewController.h"
#include "app/screens/rewards/RewardsScreenParts.h"
#include "app/screens/rewards/TZServerQQViewController.h"
#include "app/ui/ScreenRegistry.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIAlertView+TapBlocks.h"
#include "app/ui/UIKitCategories.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/graphics/UIScreen.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationController.h"
#include "ui/hud/POProgressHUD.h"

namespace {

using zvt::rewards::configPopItem;
using zvt::rewards::longerSide;
using zvt::rewards::shorterSide;
using zvt::rewards::whiteBar;

const auto kCellIdentifier = "cellID";

}  // namespace

// --- HelpViewController

const std::vector<HelpViewController::Topic>& HelpViewController::topics() {
  static const std::vector<Topic> table = {
      {"新手一分钟", "/wap/help-1.php"},
      {"购物问题", "/wap/help-2.php"},
      {"账号问题", "/wap/help-3.php"},
      {"提现问题", "/wap/help-4.php"},
  };
  return table;
}

HelpViewController::HelpViewController() { initDatas(); }

void HelpViewController::initDatas() {
  firstSectionIconArray_ = {"freebackCellBtn.png", "courseCellBtn.png"};
  firstSectionTitleArray_ = {"意见反馈", "回扣教程"};
}

void HelpViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  setTitle("帮助中心"_ns);
  configPopItem(controllerSelf());
  createUI();
}

void HelpViewController::createUI() {
  const CGFloat width = shorterSide();
  tableView_ = UITableView::initWithFrame(CGRectMake(0, 0, width, longerSide() - 20), UITableViewStyleGrouped);
  tableView_->setDataSource(std::static_pointer_cast<UITableViewDataSource>(helpSelf()));
  tableView_->setDelegate(std::static_pointer_cast<UITableViewDelegate>(helpSelf()));
  tableView_->setShowsVerticalScrollIndicator(false);
  tableView_->setShowsHorizontalScrollIndicator(false);
  tableView_->setBackgroundColor(zvt::screenBackgroundColor());
  tableView_->setSeparatorColor(UIColor::colorWithRed(226 / 255.0, 226 / 255.0, 226 / 255.0, 1));
  tableView_->registerClass<UITableViewCell>(NSString::stringWithUTF8String(kCellIdentifier));
  view()->addSubview(tableView_);

  serverView_ = loadFromNib<TZServerView>();
  hepCentreView_ = loadFromNib<TZHelpCentreView>();
  tableView_->setTableHeaderView(serverView_);
  tableView_->setTableFooterView(hepCentreView_);
  std::weak_ptr<HelpViewController> weakSelf = helpSelf();
  if (hepCentreView_) {
    hepCentreView_->setMyBlock([weakSelf](const id& sender) {
      if (auto screen = weakSelf.lock()) screen->viewClick(sender);
    });
  }
  if (serverView_) {
    serverView_->setMyBlock([weakSelf](const id& sender) {
      if (auto screen = weakSelf.lock()) screen->serverClick(sender);
    });
  }
}

void HelpViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  whiteBar(controllerSelf());
  StatAgent::beginLogPageView("帮助中心页"_ns);
  zvt::rewards::hideTabbar();
}

void HelpViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView("帮助中心页"_ns);
}

void HelpViewController::push(const std::shared_ptr<UIViewController>& screen) {
  auto navigation = navigationController();
  if (screen && navigation) navigation->pushViewController(screen, true);
}

void HelpViewController::viewClick(const id& sender) {
  auto view = std::dynamic_pointer_cast<UIView>(sender);
  if (!view || view->tag() < 0 || view->tag() >= static_cast<NSInteger>(topics().size())) return;
  const Topic& topic = topics()[static_cast<size_t>(view->tag())];
  auto page = TZHelpDetailViewController::make();
  page->helpTitle = NSString::stringWithUTF8String(topic.title);
  page->helpUrl = zvt::Configuration::URLStringWithPath(topic.path);
  push(page);
}

void HelpViewController::serverClick(const id& sender) {
  auto view = std::dynamic_pointer_cast<UIView>(sender);
  if (view && view->tag() == 1) {
    const std::string number = zvt::Configuration::values().customerServiceTelephone;
    showWithTitle("拨打客服电话"_ns, NSString::stringWithUTF8String(number + " （免长途费）"), "取消"_ns, {"拨打"_ns},
                  [number](const std::shared_ptr<UIAlertView>&, NSInteger buttonIndex) {
                    if (buttonIndex != 1) return;
                    // The system places the call; the screen never learns whether it did.
                    if (auto address = NSURL::URLWithString(NSString::stringWithUTF8String("tel://" + number))) {
                      UIApplication::sharedApplication()->openURL(address);
                    }
                  });
    return;
  }
  push(TZServerQQViewController::make());
}

NSInteger HelpViewController::numberOfSectionsInTableView(const std::shared_ptr<UITableView>&) {
  return static_cast<NSInteger>(firstSectionIconArray_.size());
}

NSInteger HelpViewController::tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, NSInteger) { return 1; }

std::shared_ptr<UITableViewCell> HelpViewController::tableViewCellForRowAtIndexPath(
    const std::shared_ptr<UITableView>& tableView, const std::shared_ptr<NSIndexPath>& indexPath) {
  const auto section = static_cast<size_t>(indexPath->section());
  auto cell = tableView->dequeueReusableCellWithIdentifier(NSString::stringWithUTF8String(kCellIdentifier), indexPath);
  cell->imageView()->setImage(UIImage::imageNamed(NSString::stringWithUTF8String(firstSectionIconArray_.at(section))));
  cell->textLabel()->setText(NSString::stringWithUTF8String(firstSectionTitleArray_.at(section)));
  cell->textLabel()->setFont(UIFont::systemFontOfSize(16));
  cell->textLabel()->setTextColor(UIColor::colorWithRed(5 / 255.0, 22 / 255.0, 21 / 255.0, 1));
  cell->setAccessoryType(UITableViewCellAccessoryDisclosureIndicator);
  cell->setSelectionStyle(UITableViewCellSelectionStyleGray);
  return cell;
}

CGFloat HelpViewController::tableViewHeightForRowAtIndexPath(const std::shared_ptr<UITableView>&,
                                                             const std::shared_ptr<NSIndexPath>&) {
  return 46;
}

CGFloat HelpViewController::tableViewHeightForHeaderInSection(const std::shared_ptr<UITableView>&, NSInteger section) {
  return section == 0 ? 0.01 : 10;
}

CGFloat HelpViewController::tableViewHeightForFooterInSection(const std::shared_ptr<UITableView>&, NSInteger) { return 0.01; }

void HelpViewController::tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                                          const std::shared_ptr<NSIndexPath>& indexPath) {
  tableView->deselectRowAtIndexPath(indexPath, true);
  if (indexPath->section() == 0) {
    push(FeedbackViewController::make());
  } else if (indexPath->section() == 1) {
    push(zvt::makeScreen("CourseViewController"));
  }
}

// --- TZHelpDetailViewController

void TZHelpDetailViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  setTitle(helpTitle);
  configPopItem(controllerSelf());
  webView_ = UIWebView::initWithFrame(CGRectMake(0, 0, shorterSide(), longerSide() - 20));
  webView_->setDelegate(std::static_pointer_cast<TZHelpDetailViewController>(controllerSelf()));
  view()->addSubview(webView_);
  if (auto address = helpUrl ? NSURL::URLWithString(helpUrl) : nullptr) {
    webView_->loadRequest(NSURLRequest::requestWithURL(address));
  }
}

void TZHelpDetailViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  whiteBar(controllerSelf());
  StatAgent::beginLogPageView("常见问题页"_ns);
}

void TZHelpDetailViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView("常见问题页"_ns);
}

void TZHelpDetailViewController::webViewDidStartLoad(const std::shared_ptr<UIWebView>&) { showLoadingHud(controllerSelf()); }

void TZHelpDetailViewController::webViewDidFinishLoad(const std::shared_ptr<UIWebView>&) { hideHud(controllerSelf()); }

void TZHelpDetailViewController::webViewDidFailLoadWithError(const std::shared_ptr<UIWebView>&, const std::shared_ptr<NSError>&) {
  showAlwaysTipHudWithText(controllerSelf(), "加载失败"_ns);
}
