#pragma once
// The history of invited friends ("历史邀请明细"): each friend's name, the reward earned through
// them (whole yuan) and their registration time, twelve a page (see InvitePagedList), under
// the column titles, on alternating white and grey rows.

#include <memory>

#include "app/screens/rewards/InvitePagedList.h"
#include "app/ui/ParentsViewController.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UITableView.h"

// The content view: the column titles (shown as the table's section header) and the table.
class HistoryWardView : public ParentView {
 public:
  static std::shared_ptr<HistoryWardView> initWithFrame(CGRect frame) { return makeView<HistoryWardView>(frame); }
  void setUpWithFrame(CGRect frame) override;
  std::shared_ptr<UIView> headerView() const { return headerView_; }
  std::shared_ptr<UITableView> historyWardTableView() const { return historyWardTableView_; }

 private:
  std::shared_ptr<NSArray> labelTitleArray_;
  std::shared_ptr<UIView> headerView_;
  std::shared_ptr<UITableView> historyWardTableView_;
};

// An even row (white): "people", the integer value of "award" (0 when missing or no number),
// "regTime"; three columns laid out once from the cell's first frame.
class HistoryTableViewCell : public UITableViewCell {
 public:
  void setUpWithStyle(UITableViewCellStyle style, const std::shared_ptr<NSString>& reuseIdentifier) override;
  void fillCellWithDictionary(const std::shared_ptr<NSDictionary>& record);
  std::shared_ptr<UILabel> nameLabel() const { return nameLabel_; }
  std::shared_ptr<UILabel> wardNumLabel() const { return wardNumLabel_; }
  std::shared_ptr<UILabel> dateWardLabel() const { return dateWardLabel_; }

 private:
  std::shared_ptr<UILabel> nameLabel_, wardNumLabel_, dateWardLabel_;
};

// An odd row: the same on RGB 243, 243, 243.
class GrayHistoryWardTableViewCell : public HistoryTableViewCell {
 public:
  void setUpWithStyle(UITableViewCellStyle style, const std::shared_ptr<NSString>& reuseIdentifier) override;
};

class HistoryInviteViewController : public ParentsViewController,
                                    public UITableViewDataSource,
                                    public UITableViewDelegate {
 public:
  static std::shared_ptr<HistoryInviteViewController> make();
  std::string className() const override { return "HistoryInviteViewController"; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void createUI();
  void headerAction();
  void footerAction();
  void loadHistoryInviteFriendsDatas();
  void failureLoad();

  NSInteger num() const { return list_->number(); }
  std::shared_ptr<NSMutableArray> datasArray() const { return list_->rows(); }
  std::shared_ptr<HistoryWardView> historyWardView() const { return historyWardView_; }

  NSInteger tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>& tableView, NSInteger section) override;
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                                                  const std::shared_ptr<NSIndexPath>& indexPath) override;
  CGFloat tableViewHeightForRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                           const std::shared_ptr<NSIndexPath>& indexPath) override;
  CGFloat tableViewHeightForHeaderInSection(const std::shared_ptr<UITableView>& tableView, NSInteger section) override;
  std::shared_ptr<UIView> tableViewViewForHeaderInSection(const std::shared_ptr<UITableView>& tableView,
                                                          NSInteger section) override;
  std::shared_ptr<UIView> tableViewViewForFooterInSection(const std::shared_ptr<UITableView>& tableView,
                                                          NSInteger section) override;

 private:
  std::shared_ptr<HistoryInviteViewController> historySelf() {
    return std::static_pointer_cast<HistoryInviteViewController>(controllerSelf());
  }

  std::shared_ptr<zvt::invites::InvitePagedList> list_ =
      std::make_shared<zvt::invites::InvitePagedList>("old_invite_info", 12);
  std::shared_ptr<HistoryWardView> historyWardView_;
};
