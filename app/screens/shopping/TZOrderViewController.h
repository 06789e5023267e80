#pragma once
// The rebate orders screen: the Taobao and partner-mall orders the service recorded for the
// logged-in user, in two lists chosen by the segmented control in the bar ("淘宝订单",
// "商城订单"), each paged through the enciphered order operation (pull down for page 1, pull up
// for the next) with its own rows, page and last-page mark. A Taobao row opens the product
// page; its coupon button opens the coupon picker below it (the coupons the service offers for
// that order), and a tile spends that coupon after a confirmation.
//
// Replies land in the list they were asked for; only the list on screen is redrawn. A coupon
// reply for a row that was forgotten meanwhile (lists switched, list refreshed) is dropped.
// A used coupon is written into the order's model, so the row shows it however it is drawn.

#include <array>
#include <memory>

#include "app/screens/shopping/TZStoreOrderCell.h"
#include "app/screens/shopping/TZTaobaoOrderCell.h"
#include "app/ui/PageRequests.h"
#include "app/ui/ParentsViewController.h"
#include "app/ui/SharedViews.h"
#include "platform/foundation/NSArray.h"
#include "platform/uikit/UISegmentedControl.h"
#include "platform/uikit/UITableView.h"

class TZOrderViewController : public ParentsViewController, public UITableViewDataSource, public UITableViewDelegate {
 public:
  TZOrderViewController();

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void createUI();
  void segmentAction(const std::shared_ptr<UISegmentedControl>& sender);
  void headerRefresh();
  void footerRefresh();
  void getOrder();
  // YES: the failure view ("点击重试"); NO: the empty view of the list shown.
  void createTipViewWith(bool failure);
  void gotoShopping();

  // The coupon flow, from the blocks of the Taobao rows.
  void openTheRebateCouponCell(const std::shared_ptr<TZTaobaoOrderCell>& cell, const std::shared_ptr<UIButton>& button);
  void usereabteCouponAtView(const std::shared_ptr<UIView>& tile, const std::shared_ptr<TZTaobaoOrderCell>& cell);

  // --- table
  NSInteger tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>& tableView, NSInteger section) override;
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                                                  const std::shared_ptr<NSIndexPath>& indexPath) override;
  CGFloat tableViewHeightForRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                           const std::shared_ptr<NSIndexPath>& indexPath) override;
  void tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                        const std::shared_ptr<NSIndexPath>& indexPath) override;

  // What a person could also read off the screen, for tests.
  std::shared_ptr<UITableView> tableView() const { return tableView_; }
  std::shared_ptr<UISegmentedControl> segmentedControl() const { return segmentedControl_; }
  NSInteger index() const { return index_; }
  std::shared_ptr<NSMutableArray> taobaoArray() const { return lists_[0]; }
  std::shared_ptr<NSMutableArray> storeArray() const { return lists_[1]; }
  std::shared_ptr<NSString> pageText(NSInteger list) const { return pageArray_[list]; }
  std::shared_ptr<NSString> lastPageMark(NSInteger list) const { return lastPageArray_[list]; }
  std::shared_ptr<TZTaobaoOrderCell> openRebateCell() const { return openRebateCell_; }
  std::shared_ptr<NSIndexPath> openRebateCellIndexPath() const { return openRebateCellIndexPath_; }
  std::shared_ptr<NSMutableArray> couponsArray() const { return couponsArray_; }
  std::shared_ptr<TZNoMessageTipView> noMessageTipView() const { return noMessageTipView_; }
  // A page of either list is on its way.
  bool isLoading() const { return requests_[0].loading() || requests_[1].loading(); }

  // Height of a Taobao row whose picker shows `coupons` coupons on a screen `width` wide.
  static CGFloat openRowHeight(NSUInteger coupons, CGFloat width);

 private:
  std::shared_ptr<TZOrderViewController> screenSelf() {
    return std::static_pointer_cast<TZOrderViewController>(controllerSelf());
  }
  // The reply to request `serial` of list `list` (0 Taobao, 1 mall), which asked for `page`.
  void ordersArrived(NSInteger list, NSInteger page, int serial, const std::shared_ptr<NSArray>& models, const id& end,
                     const std::shared_ptr<NSString>& message);
  void endRefreshingUnlessLoading();
  void removeTipView();
  // Forgets the open row; `reload` draws it closed again first.
  void forgetOpenRow(bool reload);
  bool isOpenRow(NSInteger row) const;
  // The row of the Taobao order with this record id, or -1.
  NSInteger rowOfOrder(const id& orderID) const;
  void couponsArrived(const std::shared_ptr<TZTaobaoOrderCell>& cell, bool success, const id& coupons,
                      const std::shared_ptr<NSString>& message);
  void couponUsed(const id& orderID, const id& award);

  std::array<std::shared_ptr<NSMutableArray>, 2> lists_;
  std::array<std::shared_ptr<NSString>, 2> pageArray_;
  std::array<std::shared_ptr<NSString>, 2> lastPageArray_;
  // The list's last page request failed: its page text names a page not shown yet, which the
  // next pull-up asks for again (the failure view that would retry it goes with a switch).
  std::array<bool, 2> pageFailed_{false, false};
  // Each list's requests in the order they went: a reply is judged by the page it asked for,
  // never by the page the list has reached meanwhile. A page asked for before the list's latest
  // first page is dropped when it comes, as the list has started again.
  std::array<zvt::ui::PageRequests, 2> requests_;
  // The list's latest first-page request while its reply is still awaited (0: none): a later
  // page that comes before it would follow rows that first page is about to replace.
  std::array<int, 2> firstPageAwaited_{0, 0};
  NSInteger index_ = 0;
  std::shared_ptr<NSString> type_;
  std::shared_ptr<UISegmentedControl> segmentedControl_;
  std::shared_ptr<UITableView> tableView_;
  std::shared_ptr<TZNoMessageTipView> noMessageTipView_;

  std::shared_ptr<TZTaobaoOrderCell> openRebateCell_;
  std::shared_ptr<NSIndexPath> openRebateCellIndexPath_;
  std::shared_ptr<NSMutableArray> couponsArray_;
};
