#pragma once
// The asset records: the menu of three record kinds (MyAssetsViewController, "资产明细") and
// the paged list of one kind (TZAssetsViewController: `flag` "in", "out" or "refund" is sent
// as "do", `assetsTitle` is its title; both by key-value coding, as the push router sets them).
// The list loads page 1 as it is built (the header starts refreshing), pull-down asks for page
// 1 again and pull-up for the next; a failed load puts the no-network tip with "点击重试" over
// the rows (its retry sends nothing while a page is on its way), an empty list its empty tip.
// An income or refund row opens the record page (DetailViewController) with its content;
// withdrawal rows take no touches.

#include <memory>
#include <string>
#include <vector>

#include "app/ui/PageRequests.h"
#include "app/screens/rewards/AssetCells.h"
#include "app/ui/ParentsViewController.h"
#include "app/ui/SharedViews.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSKeyValueCoding.h"
#include "platform/uikit/UITableView.h"

class MyAssetsViewController : public ParentsViewController, public UITableViewDataSource, public UITableViewDelegate {
 public:
  static std::shared_ptr<MyAssetsViewController> make();

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;
  void createUI();

  NSInteger tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>& tableView, NSInteger section) override;
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                                                  const std::shared_ptr<NSIndexPath>& indexPath) override;
  CGFloat tableViewHeightForHeaderInSection(const std::shared_ptr<UITableView>& tableView, NSInteger section) override;
  void tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                        const std::shared_ptr<NSIndexPath>& indexPath) override;

  std::shared_ptr<UITableView> tableView() const { return tableView_; }
  const std::vector<std::string>& firstSectionIconArray() const { return firstSectionIconArray_; }
  const std::vector<std::string>& firstSectionTitleArray() const { return firstSectionTitleArray_; }

 private:
  std::vector<std::string> firstSectionIconArray_;
  std::vector<std::string> firstSectionTitleArray_;
  std::shared_ptr<UITableView> tableView_;
};

class TZAssetsViewController : public ParentsViewController, public UITableViewDataSource, public UITableViewDelegate {
 public:
  static std::shared_ptr<TZAssetsViewController> make() { return std::make_shared<TZAssetsViewController>(); }
  TZAssetsViewController();

  static const zvt::KVCClass* classTable();
  const zvt::KVCClass* kvcClass() const override { return classTable(); }

  std::shared_ptr<NSString> flag() const { return flag_; }
  void setFlag(const std::shared_ptr<NSString>& flag) { flag_ = flag; }
  std::shared_ptr<NSString> assetsTitle() const { return assetsTitle_; }
  void setAssetsTitle(const std::shared_ptr<NSString>& title) { assetsTitle_ = title; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;
  void createUI();
  void headerRefresh();
  void footerRefresh();
  void getAssets();
  // YES: the failed-load tip with "点击重试"; NO: the empty-list tip.
  void createTipViewWith(bool failure);

  NSInteger tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>& tableView, NSInteger section) override;
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                                                  const std::shared_ptr<NSIndexPath>& indexPath) override;
  CGFloat tableViewHeightForRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                           const std::shared_ptr<NSIndexPath>& indexPath) override;
  void tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                        const std::shared_ptr<NSIndexPath>& indexPath) override;

  // What a person could also read off the screen, for tests.
  std::shared_ptr<UITableView> tableView() const { return tableView_; }
  std::shared_ptr<NSMutableArray> dataAray() const { return dataAray_; }
  NSInteger page() const { return page_; }
  std::shared_ptr<TZNoMessageTipView> noMessageTipView() const { return noMessageTipView_; }
  // A page is on its way.
  bool isLoading() const { return requests_.loading(); }

 private:
  std::shared_ptr<TZAssetsViewController> screenSelf() {
    return std::static_pointer_cast<TZAssetsViewController>(controllerSelf());
  }
  bool isWithdrawals() const { return flag_ && flag_->isEqualToString("out"); }
  // The reply to the request numbered `serial`, which asked for `page`.
  void assetsArrived(const std::shared_ptr<NSArray>& models, const id& end, const std::shared_ptr<NSString>& message,
                     NSInteger page, int serial);

  std::shared_ptr<NSString> flag_;
  std::shared_ptr<NSString> assetsTitle_;
  std::shared_ptr<NSMutableArray> dataAray_;
  NSInteger page_ = 1;
  zvt::ui::PageRequests requests_;
  std::shared_ptr<UITableView> tableView_;
  std::shared_ptr<TZNoMessageTipView> noMessageTipView_;
};
