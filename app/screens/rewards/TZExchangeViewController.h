#pragma once
// The exchange store ("兑换商城"): the goods of one kind page by page under a header with the
// check-in poster and three tabs (coupons, virtual goods, physical goods); a row opens the
// product's detail. The first page is asked for at once (no pull-down animation); a pull-down
// asks page 1 again, a pull-up the next page. A network-type failure (reply codes 111, 222,
// 201, or no connection) shows the no-network placeholder with its retry (page 1 of the kind,
// nothing while a page is on its way); any other failure the kind's two-second tip. A failed
// pull-up steps back, so the next one asks the same page; a page asked for before the latest
// page 1 (pull-down, tab, retry) is dropped when it comes.

#include <memory>

#include "app/screens/rewards/PointsProductTableViewCell.h"
#include "app/ui/PageRequests.h"
#include "app/ui/ParentsViewController.h"
#include "app/ui/SharedViews.h"
#include "platform/foundation/NSArray.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UITableView.h"

// The table's header, from its nib: the poster and the tab bar picture with three clear
// buttons over it (tags 0, 1, 2); each button reports itself through myBlock.
class TZExchangeCentreView : public ParentView {
 public:
  std::shared_ptr<UIButton> firstSort() const { return firstSort_.lock(); }
  std::shared_ptr<UIButton> secondSort() const { return secondSort_.lock(); }
  std::shared_ptr<UIButton> thirdSort() const { return thirdSort_.lock(); }
  std::shared_ptr<UIImageView> buttonImageView() const { return buttonImageView_.lock(); }
  std::shared_ptr<UIImageView> posterImageView() const { return posterImageView_.lock(); }
  void setOutlets(const std::shared_ptr<UIButton>& first, const std::shared_ptr<UIButton>& second,
                  const std::shared_ptr<UIButton>& third, const std::shared_ptr<UIImageView>& tabs,
                  const std::shared_ptr<UIImageView>& poster);

  // Tags the buttons 0, 1, 2 and clears their backgrounds.
  void awakeFromNib() override;
  void leftAction(const std::shared_ptr<UIButton>& sender);
  void middleAction(const std::shared_ptr<UIButton>& sender);
  void rightAction(const std::shared_ptr<UIButton>& sender);
  void tapClick(const id& sender);

 private:
  std::weak_ptr<UIButton> firstSort_, secondSort_, thirdSort_;
  std::weak_ptr<UIImageView> buttonImageView_, posterImageView_;
};

class TZExchangeViewController : public ParentsViewController,
                                 public UITableViewDataSource,
                                 public UITableViewDelegate {
 public:
  static std::shared_ptr<TZExchangeViewController> make() { return std::make_shared<TZExchangeViewController>(); }
  std::string className() const override { return "TZExchangeViewController"; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void createUI();
  // Loads page pageNumber of kind type (the argument is not used).
  void getDatasWithType(NSInteger type);
  void headerAction();
  void footerAction();
  // A tab: the sender's tag 0, 1, 2 chooses kind 2, 3, 1.
  void clickButton(const id& sender);
  void gotoSign();
  void initTheWrongView();

  std::shared_ptr<UITableView> tableView() const { return tableView_; }
  std::shared_ptr<NSMutableArray> dataArray() const { return dataArray_; }
  std::shared_ptr<TZExchangeCentreView> exchangeCentreView() const { return exchangeCentreView_; }
  NSInteger type() const { return type_; }
  int32_t pageNumber() const { return pageNumber_; }
  std::shared_ptr<TZNoMessageTipView> tipView() const { return tipView_; }
  // A page is on its way.
  bool isLoading() const { return requests_.loading(); }

  // The table.
  NSInteger tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>& tableView, NSInteger section) override;
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                                                  const std::shared_ptr<NSIndexPath>& indexPath) override;
  CGFloat tableViewHeightForRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                           const std::shared_ptr<NSIndexPath>& indexPath) override;
  void tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                        const std::shared_ptr<NSIndexPath>& indexPath) override;

 private:
  std::shared_ptr<TZExchangeViewController> exchangeSelf() {
    return std::static_pointer_cast<TZExchangeViewController>(controllerSelf());
  }
  std::shared_ptr<PointsProductTableViewCell> filledCell(const std::shared_ptr<UITableView>& tableView,
                                                         const std::shared_ptr<NSIndexPath>& indexPath);
  // The reply to the request numbered `serial`.
  void pageLoaded(bool success, const std::shared_ptr<NSArray>& list, const id& info, int serial);

  std::shared_ptr<UITableView> tableView_;
  std::shared_ptr<NSMutableArray> dataArray_ = NSMutableArray::array();
  std::shared_ptr<TZExchangeCentreView> exchangeCentreView_;
  NSInteger type_ = 2;
  int32_t pageNumber_ = 1;
  // A page 1 (pull-down, tab, retry) clears the rows as it goes: a reply to a request sent
  // before it belongs to the rows cleared, and is dropped.
  zvt::ui::PageRequests requests_;
  std::shared_ptr<TZNoMessageTipView> tipView_;
};
