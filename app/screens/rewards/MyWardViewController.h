#pragma once
// The reward records ("我的奖励"): the opener's totals in a header over the records, ten a
// page (see InvitePagedList), on alternating white and grey rows; the header's button opens
// the history of invited friends.

#include <memory>

#include "app/screens/rewards/InvitePagedList.h"
#include "app/ui/ParentsViewController.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UITableView.h"

// The header: the "mywardtop" picture with the money, the strip with the count and the
// history button (reported through myBlock), and the column titles.
class HeaderWardView : public ParentView {
 public:
  static std::shared_ptr<HeaderWardView> initWithFrame(CGRect frame) { return makeView<HeaderWardView>(frame); }
  void setUpWithFrame(CGRect frame) override;
  // "<money>元" and "您共成功邀请好友<persons>人" with the count and "人" in red.
  void updatas(const std::shared_ptr<NSString>& money, const std::shared_ptr<NSString>& persons);
  void buttonClick(const std::shared_ptr<UIButton>& sender);

  std::shared_ptr<UILabel> moneyLabel() const { return moneyLabel_; }
  std::shared_ptr<UILabel> inviteFriends() const { return inviteFriends_; }
  std::shared_ptr<UIButton> lookDetail() const { return lookDetail_; }
  std::shared_ptr<UIView> backView() const { return backView_; }
  std::shared_ptr<UIView> listBackView() const { return listBackView_; }

 private:
  std::shared_ptr<NSArray> labelTitleArray_;
  std::shared_ptr<UILabel> moneyLabel_, inviteFriends_;
  std::shared_ptr<UIButton> lookDetail_;
  std::shared_ptr<UIView> backView_, listBackView_;
};

// The content view: the grouped table on the pale yellow of the page.
class MyWard : public ParentView {
 public:
  static std::shared_ptr<MyWard> initWithFrame(CGRect frame) { return makeView<MyWard>(frame); }
  void setUpWithFrame(CGRect frame) override;
  std::shared_ptr<UITableView> wardTableView() const { return wardTableView_; }

 private:
  std::shared_ptr<UITableView> wardTableView_;
};

// An even row (white): "people", "type", "num" and "time" of a record in four columns laid
// out once from the cell's first frame.
class WardTableViewCell : public UITableViewCell {
 public:
  void setUpWithStyle(UITableViewCellStyle style, const std::shared_ptr<NSString>& reuseIdentifier) override;
  void fillCellWithDictionary(const std::shared_ptr<NSDictionary>& record);
  std::shared_ptr<UILabel> nameLabel() const { return nameLabel_; }
  std::shared_ptr<UILabel> typeLabel() const { return typeLabel_; }
  std::shared_ptr<UILabel> wardNumLabel() const { return wardNumLabel_; }
  std::shared_ptr<UILabel> dateWardLabel() const { return dateWardLabel_; }

 private:
  std::shared_ptr<UILabel> nameLabel_, typeLabel_, wardNumLabel_, dateWardLabel_;
};

// An odd row: the same on RGB 243, 243, 243.
class GrayWardTableViewCell : public WardTableViewCell {
 public:
  void setUpWithStyle(UITableViewCellStyle style, const std::shared_ptr<NSString>& reuseIdentifier) override;
};

class MyWardViewController : public ParentsViewController, public UITableViewDataSource, public UITableViewDelegate {
 public:
  static std::shared_ptr<MyWardViewController> make();
  std::string className() const override { return "MyWardViewController"; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void createUI();
  void headerAction();
  void footerAction();
  void loadInviteFriendsDatas();
  void failureLoad();
  // Pushes the history of invited friends.
  void buttonClick(const id& sender);

  std::shared_ptr<NSString> personNum() const { return personNum_; }
  void setPersonNum(const std::shared_ptr<NSString>& value) { personNum_ = value; }
  std::shared_ptr<NSString> money() const { return money_; }
  void setMoney(const std::shared_ptr<NSString>& value) { money_ = value; }
  NSInteger pageNum() const { return list_->number(); }
  std::shared_ptr<NSMutableArray> dataArray() const { return list_->rows(); }
  std::shared_ptr<HeaderWardView> headerView() const { return headerView_; }
  std::shared_ptr<MyWard> myWardView() const { return myWardView_; }

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
  std::shared_ptr<MyWardViewController> wardSelf() {
    return std::static_pointer_cast<MyWardViewController>(controllerSelf());
  }

  std::shared_ptr<NSString> personNum_, money_;
  std::shared_ptr<zvt::invites::InvitePagedList> list_ =
      std::make_shared<zvt::invites::InvitePagedList>("invite_info", 10);
  std::shared_ptr<HeaderWardView> headerView_;
  std::shared_ptr<MyWard> myWardView_;
};
