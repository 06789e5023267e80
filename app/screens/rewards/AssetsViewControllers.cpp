#include "app/screens/rewards/AssetsViewControllers.h"

#include <algorithm>

#include "analytics/StatAgent.h"
#include "app/api/ZVTAPIClient.h"
#include "app/screens/rewards/DetailViewController.h"
#include "app/screens/rewards/ExchangeScreens.h"
#include "app/screens/rewards/MoneyScreenParts.h"
#include "app/screens/rewards/RewardsScreenParts.h"
#include "app/ui/UIKitCategories.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSNumber.h"
#include "platform/uikit/UINavigationController.h"
#include "ui/refresh/PRRefreshFooter.h"
#include "ui/refresh/PRRefreshHeader.h"
#include "ui/refresh/PRRefreshList.h"

using zvt::exchange::portraitScreen;
using zvt::exchange::rgb;

namespace {

constexpr const char* kMenuPage = "资产明细页";
constexpr const char* kListPage = "明细页";
constexpr const char* kMenuCell = "myAssetsCellID";
constexpr const char* kWithdrawCell = "TZWithdrawCell";
constexpr const char* kRefundCell = "TZRefundCell";

// The lists the menu's rows open: (flag, title).
constexpr const char* kFlags[] = {"in", "out", "refund"};

}  // namespace

// --- MyAssetsViewController ---------------------------------------------------------------------

std::shared_ptr<MyAssetsViewController> MyAssetsViewController::make() {
  auto screen = std::make_shared<MyAssetsViewController>();
  screen->firstSectionIconArray_ = {"incomeDetailCellBtn_normal@2x.png", "withDrawDetailCellBtn_normal@2x.png",
                                    "cancelDetailCellBtn_normal@2x.png"};
  screen->firstSectionTitleArray_ = {"收入明细", "提现明细", "退款明细"};
  return screen;
}

void MyAssetsViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  setTitle("资产明细"_ns);
  zvt::rewards::configPopItem(controllerSelf());
  createUI();
}

void MyAssetsViewController::createUI() {
  tableView_ = UITableView::initWithFrame(view()->bounds(), UITableViewStyleGrouped);
  tableView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  auto me = std::static_pointer_cast<MyAssetsViewController>(controllerSelf());
  tableView_->setDelegate(std::static_pointer_cast<UITableViewDelegate>(me));
  tableView_->setDataSource(std::static_pointer_cast<UITableViewDataSource>(me));
  tableView_->registerClass<UITableViewCell>(NSString::stringWithUTF8String(kMenuCell));
  tableView_->setBackgroundColor(rgb(242, 242, 242));
  tableView_->setSeparatorStyle(UITableViewCellSeparatorStyleSingleLine);
  tableView_->setTableFooterView(UIView::make());
  view()->addSubview(tableView_);
}

void MyAssetsViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  zvt::rewards::appearWithWhiteBar(controllerSelf(), NSString::stringWithUTF8String(kMenuPage), true);
}

void MyAssetsViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView(NSString::stringWithUTF8String(kMenuPage));
}

NSInteger MyAssetsViewController::tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, NSInteger) {
  return static_cast<NSInteger>(firstSectionTitleArray_.size());
}

std::shared_ptr<UITableViewCell> MyAssetsViewController::tableViewCellForRowAtIndexPath(
    const std::shared_ptr<UITableView>& tableView, const std::shared_ptr<NSIndexPath>& indexPath) {
  auto cell = tableView->dequeueReusableCellWithIdentifier(NSString::stringWithUTF8String(kMenuCell), indexPath);
  const auto row = static_cast<size_t>(indexPath->row());
  if (!cell || row >= firstSectionTitleArray_.size()) return cell;
  cell->imageView()->setImage(UIImage::imageNamed(NSString::stringWithUTF8String(firstSectionIconArray_[row])));
  cell->textLabel()->setText(NSString::stringWithUTF8String(firstSectionTitleArray_[row]));
  cell->setAccessoryType(UITableViewCellAccessoryDisclosureIndicator);
  cell->setSelectionStyle(UITableViewCellSelectionStyleGray);
  return cell;
}

CGFloat MyAssetsViewController::tableViewHeightForHeaderInSection(const std::shared_ptr<UITableView>&, NSInteger) {
  return 15.0;
}

void MyAssetsViewController::tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                                              const std::shared_ptr<NSIndexPath>& indexPath) {
  tableView->deselectRowAtIndexPath(indexPath, true);
  const auto row = static_cast<size_t>(indexPath->row());
  auto navigation = navigationController();
  if (row >= firstSectionTitleArray_.size() || !navigation) return;
  auto list = TZAssetsViewController::make();
  list->setFlag(NSString::stringWithUTF8String(kFlags[row]));
  list->setAssetsTitle(NSString::stringWithUTF8String(firstSectionTitleArray_[row]));
  navigation->pushViewController(list, true);
}

// --- TZAssetsViewController ---------------------------------------------------------------------

TZAssetsViewController::TZAssetsViewController() : dataAray_(NSMutableArray::array()) {}

const zvt::KVCClass* TZAssetsViewController::classTable() {
  static const zvt::KVCClass table =
      zvt::KVCClass::Builder<TZAssetsViewController>()
          .property("flag", &TZAssetsViewController::flag, &TZAssetsViewController::setFlag)
          .property("assetsTitle", &TZAssetsViewController::assetsTitle, &TZAssetsViewController::setAssetsTitle)
          .build();
  return &table;
}

void TZAssetsViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  setTitle(assetsTitle_);
  zvt::rewards::configPopItem(controllerSelf());
  createUI();
}

void TZAssetsViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  // The list leaves the tab bar as its opener had it.
  zvt::rewards::appearWithWhiteBar(controllerSelf(), NSString::stringWithUTF8String(kListPage), false);
}

void TZAssetsViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView(NSString::stringWithUTF8String(kListPage));
}

void TZAssetsViewController::createUI() {
  const CGSize screen = portraitScreen();
  tableView_ = UITableView::initWithFrame(CGRectMake(0, 0, screen.width, screen.height - 20), UITableViewStylePlain);
  tableView_->setBackgroundColor(rgb(242, 242, 242));
  tableView_->setSeparatorStyle(UITableViewCellSeparatorStyleNone);
  tableView_->setTableFooterView(UIView::make());
  auto me = screenSelf();
  tableView_->setDelegate(std::static_pointer_cast<UITableViewDelegate>(me));
  tableView_->setDataSource(std::static_pointer_cast<UITableViewDataSource>(me));
  if (isWithdrawals()) {
    tableView_->registerNib(registerNib<TZWithdrawCell>(), NSString::stringWithUTF8String(kWithdrawCell));
  } else {
    tableView_->registerNib(registerNib<TZRefundCell>(), NSString::stringWithUTF8String(kRefundCell));
  }
  view()->addSubview(tableView_);

  std::weak_ptr<TZAssetsViewController> weak = me;
  pr_attachListRefresh(
      tableView_, [weak] { if (auto screen = weak.lock()) screen->headerRefresh(); },
      [weak] { if (auto screen = weak.lock()) screen->footerRefresh(); });
}

void TZAssetsViewController::headerRefresh() {
  page_ = 1;
  getAssets();
}

void TZAssetsViewController::footerRefresh() {
  page_ += 1;
  getAssets();
}

void TZAssetsViewController::getAssets() {
  auto parameters = NSDictionary::make({{"id"_ns, zvt::money::sessionUserId()},
                                        {"number"_ns, NSString::stringWithFormat("%ld", static_cast<long>(page_))},
                                        {"do"_ns, flag_ ? flag_ : ""_ns}});
  const NSInteger page = page_;
  const int serial = requests_.sent(page);
  auto screen = screenSelf();  // held until the reply has been handled
  ZVTAPIClient::getRefundWith(parameters, [screen, page, serial](const std::shared_ptr<NSArray>& models, const id& end,
                                                                 const std::shared_ptr<NSString>& message) {
    dispatch_async(dispatch_get_main_queue(), [screen, models, end, message, page, serial] {
      screen->assetsArrived(models, end, message, page, serial);
    });
  });
}

void TZAssetsViewController::assetsArrived(const std::shared_ptr<NSArray>& models, const id& end,
                                           const std::shared_ptr<NSString>& message, NSInteger page, int serial) {
  // A later page that was still on its way when the user pulled down is dropped.
  if (requests_.answered(serial)) return;
  auto footer = pr_footer(tableView_);
  auto header = pr_header(tableView_);
  if (message) {
    if (footer) footer->endRefreshing();
    if (header) header->endRefreshing();
    createTipViewWith(true);
    return;
  }
  if (noMessageTipView_) {
    noMessageTipView_->removeFromSuperview();
    noMessageTipView_ = nullptr;
  }
  if (models && models->count() > 0) {
    if (page == 1) dataAray_->removeAllObjects();
    dataAray_->addObjectsFromArray(models);
    tableView_->reloadData();
  }
  if (footer) footer->endRefreshing();
  if (header) header->endRefreshing();
  // Only the number 1 ends the list (a text "1" or a 1.5 does not).
  if (footer && end && end->isEqual(NSNumber::numberWithInt(1))) footer->endRefreshingWithNoMoreData();
  if (dataAray_->count() == 0) createTipViewWith(false);
}

void TZAssetsViewController::createTipViewWith(bool failure) {
  if (!noMessageTipView_) {
    auto tip = loadFromNib<TZNoMessageTipView>();
    if (!tip) return;
    const CGSize screen = portraitScreen();
    tip->setFrame(CGRectMake(0, 0, screen.width, screen.height - 64));
    std::weak_ptr<TZAssetsViewController> weak = screenSelf();
    tip->setRefreshBlock([weak](const id&) {
      auto screen = weak.lock();
      // The tip stays until a reply takes it away: a tap while a page is on its way sends
      // nothing more (the page would be appended twice).
      if (!screen || screen->isLoading()) return;
      screen->getAssets();
    });
    view()->addSubview(tip);
    noMessageTipView_ = tip;
  }
  if (failure) {
    noMessageTipView_->fillViewWithImage(UIImage::imageNamed("noSignal"_ns),
                                         NSAttributedString::initWithString("亲，您的手机网络不顺畅哦~"_ns), "点击重试"_ns, false);
    return;
  }
  const bool refunds = flag_ && flag_->isEqualToString("refund");
  noMessageTipView_->fillViewWithImage(
      UIImage::imageNamed(refunds ? "noRefund"_ns : "noWithdraw"_ns),
      NSAttributedString::initWithString(refunds ? "亲~您当前暂无退款记录"_ns : "亲~您当前暂无提现记录"_ns), nullptr, true);
}

NSInteger TZAssetsViewController::tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, NSInteger) {
  return static_cast<NSInteger>(dataAray_->count());
}

std::shared_ptr<UITableViewCell> TZAssetsViewController::tableViewCellForRowAtIndexPath(
    const std::shared_ptr<UITableView>& tableView, const std::shared_ptr<NSIndexPath>& indexPath) {
  const auto row = static_cast<NSUInteger>(indexPath->row());
  const id model = row < dataAray_->count() ? dataAray_->objectAtIndex(row) : nullptr;
  if (!isWithdrawals()) {
    auto cell = std::dynamic_pointer_cast<TZRefundCell>(
        tableView->dequeueReusableCellWithIdentifier(NSString::stringWithUTF8String(kRefundCell), indexPath));
    if (cell) cell->setRefundModel(zvt::as<TZRefundModel>(model));
    return cell;
  }
  auto cell = std::dynamic_pointer_cast<TZWithdrawCell>(
      tableView->dequeueReusableCellWithIdentifier(NSString::stringWithUTF8String(kWithdrawCell), indexPath));
  if (!cell) return cell;
  cell->setWithdrawModel(zvt::as<TZWithdrawModel>(model));
  cell->setUserInteractionEnabled(false);
  return cell;
}

CGFloat TZAssetsViewController::tableViewHeightForRowAtIndexPath(const std::shared_ptr<UITableView>&,
                                                                 const std::shared_ptr<NSIndexPath>&) {
  return 190.0;
}

void TZAssetsViewController::tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>&,
                                                              const std::shared_ptr<NSIndexPath>& indexPath) {
  const auto row = static_cast<NSUInteger>(indexPath->row());
  auto record = row < dataAray_->count() ? zvt::as<TZRefundModel>(dataAray_->objectAtIndex(row)) : nullptr;
  auto navigation = navigationController();
  if (!record || !navigation) return;
  auto page = DetailViewController::make();
  page->setContent(zvt::as<NSString>(record->content));
  navigation->pushViewController(page, true);
}
