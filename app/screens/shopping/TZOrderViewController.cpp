#include "app/screens/shopping/TZOrderViewController.h"

#include <algorithm>
#include <cmath>

#include "analytics/StatAgent.h"
#include "app/api/APIClient.h"
#include "app/api/ZVTAPIClient.h"
#include "app/core/AppDelegate.h"
#include "app/screens/shopping/ProductCellParts.h"
#include "app/ui/ScreenRegistry.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIAlertView+TapBlocks.h"
#include "app/ui/UIKitCategories.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSNumber.h"
#include "platform/graphics/UIScreen.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UINavigationController.h"
#include "ui/hud/POProgressHUD.h"
#include "ui/refresh/PRRefreshFooter.h"
#include "ui/refresh/PRRefreshHeader.h"
#include "ui/refresh/PRRefreshList.h"

using namespace zvt::shopping;

namespace {

constexpr const char* kPageName = "回扣订单页";
constexpr const char* kTaobaoCell = "TZTaobaoOrderCell";
constexpr const char* kStoreCell = "TZStoreOrderCell";

CGSize screenSides() {
  CGRect bounds = UIScreen::mainScreen()->bounds();
  return CGSizeMake(std::min(bounds.size.width, bounds.size.height), std::max(bounds.size.width, bounds.size.height));
}

// The session's user id as the requests send it (the empty text when logged out).
std::shared_ptr<NSString> sessionUserId() {
  auto delegate = AppDelegate::shared();
  auto record = delegate ? delegate->userInfoDictionary() : nullptr;
  return orderText(record ? record->objectForKey("id"_ns) : nullptr);
}

std::shared_ptr<NSIndexPath> rowPath(NSInteger row) { return NSIndexPath::indexPathForRow(row, 0); }

}  // namespace

TZOrderViewController::TZOrderViewController() {
  lists_ = {NSMutableArray::array(), NSMutableArray::array()};
  pageArray_ = {"1"_ns, "1"_ns};
  lastPageArray_ = {"0"_ns, "0"_ns};
  type_ = "taobao"_ns;
}

CGFloat TZOrderViewController::openRowHeight(NSUInteger coupons, CGFloat width) {
  const auto lines = static_cast<CGFloat>((coupons + 1) / 2);
  return TZTaobaoOrderCell::kRowHeight + 15 + lines * (15 + (width - 46) / 4);
}

// --- appearance -------------------------------------------------------------------------------------

void TZOrderViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  std::weak_ptr<TZOrderViewController> weak = screenSelf();
  configNavigationLeftItemWith(controllerSelf(), UIImage::imageNamed("grayReturn"_ns), [weak] {
    auto screen = weak.lock();
    auto navigation = screen ? screen->navigationController() : nullptr;
    if (navigation) navigation->popViewControllerAnimated(true);
  });
  createUI();
}

void TZOrderViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  if (auto navigation = navigationController()) navigation->navigationBar()->setBarStyle(UIBarStyleDefault);
  configWhiteNavigationBarStyle(controllerSelf());
  auto delegate = AppDelegate::shared();
  if (auto shell = delegate ? delegate->tabBarController() : nullptr) shell->hiddenTabbar();
  StatAgent::beginLogPageView(NSString::stringWithUTF8String(kPageName));
}

void TZOrderViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView(NSString::stringWithUTF8String(kPageName));
}

void TZOrderViewController::createUI() {
  auto accent = accentOrange();

  segmentedControl_ = UISegmentedControl::initWithItems(NSArray::make({"淘宝订单"_ns, "商城订单"_ns}));
  segmentedControl_->setFrame(CGRectMake(0, 0, 165, 27));
  segmentedControl_->layer()->setCornerRadius(2);
  segmentedControl_->layer()->setMasksToBounds(true);
  segmentedControl_->setBackgroundColor(UIColor::whiteColor());
  segmentedControl_->setTintColor(accent);
  segmentedControl_->setTitleTextAttributes(
      NSDictionary::make({{NSForegroundColorAttributeName, accent}, {NSFontAttributeName, UIFont::systemFontOfSize(14)}}),
      UIControlStateNormal);
  segmentedControl_->setSelectedSegmentIndex(0);
  segmentedControl_->addTarget(controllerSelf(), &TZOrderViewController::segmentAction, UIControlEventValueChanged);
  navigationItem()->setTitleView(segmentedControl_);

  // The list fills the screen's view, which lies below the opaque white bar: a table as tall as
  // the screen less the status bar would reach 44 points below the screen, where its last row
  // and the footer's "no more data" could never be seen.
  tableView_ = UITableView::initWithFrame(view()->bounds(), UITableViewStylePlain);
  tableView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  tableView_->setBackgroundColor(rgb(242, 242, 242));
  tableView_->setSeparatorStyle(UITableViewCellSeparatorStyleNone);
  auto me = screenSelf();
  tableView_->setDelegate(std::static_pointer_cast<UITableViewDelegate>(me));
  tableView_->setDataSource(std::static_pointer_cast<UITableViewDataSource>(me));
  tableView_->registerNib(registerNib<TZTaobaoOrderCell>(), NSString::stringWithUTF8String(kTaobaoCell));
  tableView_->registerNib(registerNib<TZStoreOrderCell>(), NSString::stringWithUTF8String(kStoreCell));
  view()->addSubview(tableView_);

  std::weak_ptr<TZOrderViewController> weak = me;
  pr_attachListRefresh(
      tableView_, [weak] { if (auto screen = weak.lock()) screen->headerRefresh(); },
      [weak] { if (auto screen = weak.lock()) screen->footerRefresh(); });
}

// --- lists ------------------------------------------------------------------------------------------

void TZOrderViewController::segmentAction(const std::shared_ptr<UISegmentedControl>& sender) {
  if (!sender) return;
  switch (sender->selectedSegmentIndex()) {
    case 0:
      index_ = 0;
      type_ = "taobao"_ns;
      break;
    case 1:
      index_ = 1;
      type_ = "mall"_ns;
      break;
    default: return;
  }
  // Whatever row was open belongs to the list left behind: a coupon reply still on its way
  // finds it forgotten and is dropped.
  forgetOpenRow(false);
  if (lists_[index_]->count() == 0) {
    // A header still refreshing for the other list would not call back again.
    auto header = pr_header(tableView_);
    if (header && !header->isRefreshing()) {
      header->beginRefreshing();
    } else {
      headerRefresh();
    }
    return;
  }
  if (auto footer = pr_footer(tableView_)) footer->setState(PRRefreshStateIdle);
  tableView_->reloadData();
  if (lastPageArray_[index_]->isEqualToString("1")) {
    if (auto footer = pr_footer(tableView_)) footer->endRefreshingWithNoMoreData();
  }
  removeTipView();
}

void TZOrderViewController::headerRefresh() {
  // The list starts over: a page that failed before is no longer the one to ask for next.
  pageFailed_[index_] = false;
  pageArray_[index_] = "1"_ns;
  forgetOpenRow(false);
  getOrder();
}

void TZOrderViewController::footerRefresh() {
  if (!pageFailed_[index_])
    pageArray_[index_] = NSString::stringWithFormat("%ld", static_cast<long>(pageArray_[index_]->integerValue() + 1));
  getOrder();
}

void TZOrderViewController::getOrder() {
  const NSInteger list = index_;
  const NSInteger page = std::max<NSInteger>(1, pageArray_[list]->integerValue());
  const int serial = requests_[list].sent(page);
  if (page == 1) firstPageAwaited_[list] = serial;
  auto parameters = NSDictionary::make({{"id"_ns, sessionUserId()}, {"number"_ns, pageArray_[list]}, {"do"_ns, type_}});
  auto screen = screenSelf();  // held until the reply has been handled
  ZVTAPIClient::getOrderWith(parameters, [screen, list, page, serial](const std::shared_ptr<NSArray>& models, const id& end,
                                                                      const std::shared_ptr<NSString>& message) {
    dispatch_async(dispatch_get_main_queue(), [screen, list, page, serial, models, end, message] {
      screen->ordersArrived(list, page, serial, models, end, message);
    });
  });
}

void TZOrderViewController::endRefreshingUnlessLoading() {
  // A reply of the other list must not stop the spinner of a page the shown list still waits for.
  if (requests_[index_].loading()) return;
  if (auto header = pr_header(tableView_)) header->endRefreshing();
  if (auto footer = pr_footer(tableView_)) footer->endRefreshing();
}

void TZOrderViewController::ordersArrived(NSInteger list, NSInteger page, int serial, const std::shared_ptr<NSArray>& models,
                                          const id& end, const std::shared_ptr<NSString>& message) {
  const bool shown = list == index_;
  if (requests_[list].answered(serial)) {
    // A page overtaken by a pull-down: the list has started again from its first page.
    endRefreshingUnlessLoading();
    return;
  }
  if (page == 1) {
    if (serial == firstPageAwaited_[list]) firstPageAwaited_[list] = 0;
  } else if (firstPageAwaited_[list] != 0) {
    // Asked for after a pull-down whose first page has not come yet: put after the rows that
    // page replaces, it would show them twice or lose its own. The next pull-up asks again.
    pageArray_[list] = NSString::stringWithFormat("%ld", static_cast<long>(page - 1));
    pageFailed_[list] = false;
    endRefreshingUnlessLoading();
    return;
  }
  pageFailed_[list] = message != nullptr;
  if (message) {
    endRefreshingUnlessLoading();
    if (shown) createTipViewWith(true);
    return;
  }
  if (shown) removeTipView();
  auto rows = lists_[list];
  if (models && models->count() > 0) {
    if (page == 1) {
      rows->removeAllObjects();
      if (list == 0) forgetOpenRow(false);
    }
    rows->addObjectsFromArray(models);
    if (shown) tableView_->reloadData();
  }
  endRefreshingUnlessLoading();
  // Every reply sets the mark: a pull-down that brings the first pages again reopens the list.
  const bool last = integerValueOf(end) == 1;
  lastPageArray_[list] = last ? "1"_ns : "0"_ns;
  if (shown && last && !requests_[list].loading()) {
    if (auto footer = pr_footer(tableView_)) footer->endRefreshingWithNoMoreData();
  }
  if (shown && rows->count() == 0) createTipViewWith(false);
}

void TZOrderViewController::removeTipView() {
  if (!noMessageTipView_) return;
  noMessageTipView_->removeFromSuperview();
  noMessageTipView_ = nullptr;
}

void TZOrderViewController::createTipViewWith(bool failure) {
  if (!noMessageTipView_) {
    auto tip = loadFromNib<TZNoMessageTipView>();
    if (!tip) return;
    const CGSize sides = screenSides();
    tip->setFrame(CGRectMake(0, 0, sides.width, sides.height));
    std::weak_ptr<TZOrderViewController> weak = screenSelf();
    tip->setMyBlock([weak](const id&) {
      if (auto screen = weak.lock()) screen->gotoShopping();
    });
    tip->setRefreshBlock([weak](const id&) {
      auto screen = weak.lock();
      // The failure view stays until a reply takes it away: a tap while the shown list's page
      // is on its way sends nothing more (the page would come twice).
      if (!screen || screen->requests_[screen->index_].loading()) return;
      screen->getOrder();
    });
    view()->addSubview(tip);
    noMessageTipView_ = tip;
  }
  if (failure) {
    noMessageTipView_->fillViewWithImage(UIImage::imageNamed("noSignal"_ns),
                                         NSAttributedString::initWithString("亲，您的手机网络不顺畅哦~"_ns), "点击重试"_ns,
                                         false);
    return;
  }
  auto colour = NSDictionary::make({{NSForegroundColorAttributeName, accentOrange()}});
  auto text = index_ == 0 ? createStrWithString("订单会在您确认收货后24小时内显示"_ns, colour, NSMakeRange(5, 5))
                          : createStrWithString("订单会在您下单后15~20分钟显示"_ns, colour, NSMakeRange(8, 7));
  noMessageTipView_->fillViewWithImage(UIImage::imageNamed("noOrder"_ns), text, "去逛逛"_ns, false);
}

void TZOrderViewController::gotoShopping() {
  const NSUInteger tab = index_ == 0 ? 0 : 3;
  auto keep = screenSelf();  // popping releases the screen
  if (auto navigation = navigationController()) navigation->popToRootViewControllerAnimated(false);
  auto delegate = AppDelegate::shared();
  if (auto shell = delegate ? delegate->tabBarController() : nullptr) shell->setSelectedWithIndex(tab);
}

// --- rows -------------------------------------------------------------------------------------------

NSInteger TZOrderViewController::tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, NSInteger) {
  return static_cast<NSInteger>(lists_[index_]->count());
}

bool TZOrderViewController::isOpenRow(NSInteger row) const {
  return index_ == 0 && openRebateCell_ && openRebateCellIndexPath_ && openRebateCellIndexPath_->row() == row;
}

std::shared_ptr<UITableViewCell> TZOrderViewController::tableViewCellForRowAtIndexPath(
    const std::shared_ptr<UITableView>& tableView, const std::shared_ptr<NSIndexPath>& indexPath) {
  const auto row = static_cast<NSUInteger>(indexPath->row());
  if (index_ == 1) {
    auto cell = std::dynamic_pointer_cast<TZStoreOrderCell>(
        tableView->dequeueReusableCellWithIdentifier(NSString::stringWithUTF8String(kStoreCell), indexPath));
    if (cell && row < lists_[1]->count()) cell->setStoreOrderModel(zvt::as<TZStoreOrderModel>(lists_[1]->objectAtIndex(row)));
    return cell;
  }
  auto cell = std::dynamic_pointer_cast<TZTaobaoOrderCell>(
      tableView->dequeueReusableCellWithIdentifier(NSString::stringWithUTF8String(kTaobaoCell), indexPath));
  if (!cell) return cell;
  if (row < lists_[0]->count()) {
    cell->setIndexPath(indexPath);
    cell->setIsUseCoupon(false);
    if (isOpenRow(indexPath->row())) {
      cell->setIsUseCoupon(openRebateCell_->isUseCoupon());
      cell->setCouponAward(openRebateCell_->couponAward());
      cell->setCoupons(openRebateCell_->isOpenRebate() ? couponsArray_ : nullptr);
    } else {
      // A reused row must not keep the tiles of the row it showed before.
      cell->setCoupons(nullptr);
    }
    cell->setTaobaoOrderModel(zvt::as<TZTaobaoOrderModel>(lists_[0]->objectAtIndex(row)));
  }
  std::weak_ptr<TZOrderViewController> weakScreen = screenSelf();
  std::weak_ptr<TZTaobaoOrderCell> weakCell = cell;
  cell->setRebateBlock([weakScreen, weakCell](const std::shared_ptr<UIButton>& button) {
    auto screen = weakScreen.lock();
    auto tapped = weakCell.lock();
    if (screen && tapped) screen->openTheRebateCouponCell(tapped, button);
  });
  cell->setRebateCouponBlock([weakScreen, weakCell](const std::shared_ptr<UIView>& tile) {
    auto screen = weakScreen.lock();
    auto tapped = weakCell.lock();
    if (screen && tapped) screen->usereabteCouponAtView(tile, tapped);
  });
  return cell;
}

CGFloat TZOrderViewController::tableViewHeightForRowAtIndexPath(const std::shared_ptr<UITableView>&,
                                                                 const std::shared_ptr<NSIndexPath>& indexPath) {
  if (isOpenRow(indexPath->row()) && openRebateCell_->isOpenRebate() && couponsArray_ && couponsArray_->count() > 0)
    return openRowHeight(couponsArray_->count(), screenSides().width);
  return TZTaobaoOrderCell::kRowHeight;
}

void TZOrderViewController::tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>&,
                                                             const std::shared_ptr<NSIndexPath>& indexPath) {
  if (index_ != 0) return;
  const auto row = static_cast<NSUInteger>(indexPath->row());
  auto order = row < lists_[0]->count() ? zvt::as<TZTaobaoOrderModel>(lists_[0]->objectAtIndex(row)) : nullptr;
  auto page = zvt::makeScreen("WebDetailViewController");
  auto navigation = navigationController();
  if (!order || !page || !navigation) return;
  page->setValueForKey(order->num_iid, "taoBao_goodsId"_ns);
  page->setValueForKey(NSNumber::numberWithBool(true), "isProductPush"_ns);
  navigation->pushViewController(page, true);
}

// --- the coupon flow --------------------------------------------------------------------------------

void TZOrderViewController::forgetOpenRow(bool reload) {
  if (!openRebateCell_) {
    openRebateCellIndexPath_ = nullptr;
    return;
  }
  openRebateCell_->setIsOpenRebate(false);
  if (reload && index_ == 0 && openRebateCellIndexPath_ &&
      static_cast<NSUInteger>(openRebateCellIndexPath_->row()) < lists_[0]->count()) {
    tableView_->reloadRowsAtIndexPaths({openRebateCellIndexPath_}, UITableViewRowAnimationFade);
  }
  openRebateCell_ = nullptr;
  openRebateCellIndexPath_ = nullptr;
}

NSInteger TZOrderViewController::rowOfOrder(const id& orderID) const {
  auto wanted = displayTextOf(orderID);
  if (!wanted) return -1;
  NSInteger row = 0;
  for (const id& item : *lists_[0]) {
    auto order = zvt::as<TZTaobaoOrderModel>(item);
    auto text = order ? displayTextOf(order->orderID) : nullptr;
    if (text && text->isEqualToString(wanted)) return row;
    ++row;
  }
  return -1;
}

void TZOrderViewController::openTheRebateCouponCell(const std::shared_ptr<TZTaobaoOrderCell>& cell,
                                                    const std::shared_ptr<UIButton>& /*button*/) {
  if (!cell || !cell->indexPath()) return;
  if (isOpenRow(cell->indexPath()->row()) && openRebateCell_->isOpenRebate()) {
    forgetOpenRow(true);
    return;
  }
  // Another open row closes first, so that it never keeps its tiles at its old height.
  if (openRebateCell_) forgetOpenRow(openRebateCell_->isOpenRebate() && couponsArray_ && couponsArray_->count() > 0);
  couponsArray_ = nullptr;
  showLoadingHud(controllerSelf());
  openRebateCell_ = cell;
  openRebateCellIndexPath_ = cell->indexPath();
  cell->setIsOpenRebate(true);
  auto order = cell->taobaoOrderModel();
  auto parameters =
      NSDictionary::make({{"uid"_ns, sessionUserId()}, {"tradeId"_ns, orderText(order ? order->orderID : nullptr)}});
  auto screen = screenSelf();
  APIClient::getCouponsWithParameter(parameters, [screen, cell](bool success, const id& coupons,
                                                                const std::shared_ptr<NSString>& message) {
    screen->couponsArrived(cell, success, coupons, message);
  });
}

void TZOrderViewController::couponsArrived(const std::shared_ptr<TZTaobaoOrderCell>& cell, bool success,
                                           const id& coupons, const std::shared_ptr<NSString>& message) {
  hideHud(controllerSelf());
  // The row was forgotten meanwhile (lists switched, list refreshed, another row opened).
  if (openRebateCell_ != cell || !openRebateCellIndexPath_) return;
  if (!success) {
    showWithTitle(NSString::string(), message ? message : NSString::string());
    forgetOpenRow(false);
    return;
  }
  // Anything but a list counts as an empty one; rows that are not records are left out.
  auto offered = NSMutableArray::array();
  if (auto list = zvt::as<NSArray>(coupons)) {
    for (const id& item : *list)
      if (zvt::as<NSDictionary>(item)) offered->addObject(item);
  }
  if (offered->count() == 0) {
    showWithTitle(NSString::string(), "当前无可用回扣券"_ns);
    forgetOpenRow(false);
    return;
  }
  couponsArray_ = offered;
  if (static_cast<NSUInteger>(openRebateCellIndexPath_->row()) < lists_[0]->count())
    tableView_->reloadRowsAtIndexPaths({openRebateCellIndexPath_}, UITableViewRowAnimationFade);
}

void TZOrderViewController::usereabteCouponAtView(const std::shared_ptr<UIView>& tile,
                                                  const std::shared_ptr<TZTaobaoOrderCell>& cell) {
  if (!tile || !cell) return;
  const NSInteger couponId = tile->tag();
  auto order = cell->taobaoOrderModel();
  id orderID = order ? order->orderID : nullptr;
  std::weak_ptr<TZOrderViewController> weak = screenSelf();
  showWithTitle(NSString::string(), "确定对此商品订单使用回扣券？"_ns, "取消"_ns, {"确定"_ns},
                [weak, couponId, orderID](const std::shared_ptr<UIAlertView>&, NSInteger buttonIndex) {
                  auto screen = weak.lock();
                  if (!screen || buttonIndex != 1) return;
                  showLoadingHud(screen);
                  auto parameters = NSDictionary::make({{"uid"_ns, sessionUserId()},
                                                        {"couponId"_ns, NSString::stringWithFormat("%ld", static_cast<long>(couponId))},
                                                        {"tradeId"_ns, orderText(orderID)}});
                  APIClient::extraRebateOfOrderWithParameter(
                      parameters, [screen, orderID](bool success, const id& award, const std::shared_ptr<NSString>& message) {
                        if (!success) {
                          showTipHudWithText(screen, message ? message : NSString::string(), 1.5, nullptr);
                          return;
                        }
                        // The order itself records the award at once: however its row is drawn
                        // from now on, it shows the award and no coupon button.
                        const NSInteger row = screen->rowOfOrder(orderID);
                        if (row >= 0) {
                          auto model = zvt::as<TZTaobaoOrderModel>(screen->lists_[0]->objectAtIndex(static_cast<NSUInteger>(row)));
                          model->coupon_award = orderText(award);
                          model->can_useCoupon = NSNumber::numberWithInteger(0);
                        }
                        std::weak_ptr<TZOrderViewController> later = screen;
                        showTipHudWithText(screen, NSString::stringWithFormat("使用成功，获得额外回扣%@集分宝", orderText(award)), 1.5,
                                           [later, orderID, award] {
                                             if (auto shown = later.lock()) shown->couponUsed(orderID, award);
                                           });
                      });
                });
}

void TZOrderViewController::couponUsed(const id& orderID, const id& award) {
  const NSInteger row = rowOfOrder(orderID);
  if (openRebateCell_ && isOpenRow(row)) {
    openRebateCell_->setCouponAward(orderText(award));
    openRebateCell_->setIsUseCoupon(true);
    forgetOpenRow(true);
    return;
  }
  // The picker was closed or the lists switched meanwhile: only the order's row is drawn again.
  if (index_ == 0 && row >= 0) tableView_->reloadRowsAtIndexPaths({rowPath(row)}, UITableViewRowAnimationFade);
}
