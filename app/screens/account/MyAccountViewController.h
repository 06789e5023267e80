#pragma once
// The settings screen ("设置", analytics page "设置页"), pushed by the personal centre for a
// logged-in user: personal information, change password, rate the application, clear the image
// cache (with the disk cache's size, "%.2fM") and about, over the logout button "退 出".
//
// The logout is local: after "真的要退出？" / "确定" the session ends on the device
// (ZVTLoginSession::logout: cookie, flags, record, stored "isLogin", alias; "loginInfo" and
// "info" stay) and the screen pops; nothing is sent and nothing is posted.

#include <memory>
#include <string>
#include <vector>

#include "app/ui/ParentsViewController.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UITableView.h"

class MyAccountViewController : public ParentsViewController, public UITableViewDataSource, public UITableViewDelegate {
 public:
  // init: the two tables of icons and titles (initDatas).
  MyAccountViewController();
  static std::shared_ptr<MyAccountViewController> make() { return std::make_shared<MyAccountViewController>(); }

  const std::vector<std::vector<std::string>>& iconArray() const { return iconArray_; }
  const std::vector<std::vector<std::string>>& titleArray() const { return titleArray_; }
  std::shared_ptr<UITableView> tableView() const { return tableView_; }
  std::shared_ptr<UILabel> crashLabel() const { return crashLabel_; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void logout();

  // --- table
  NSInteger numberOfSectionsInTableView(const std::shared_ptr<UITableView>& tableView) override;
  NSInteger tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>& tableView, NSInteger section) override;
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                                                  const std::shared_ptr<NSIndexPath>& indexPath) override;
  void tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                        const std::shared_ptr<NSIndexPath>& indexPath) override;

 private:
  std::shared_ptr<MyAccountViewController> settingsSelf() {
    return std::static_pointer_cast<MyAccountViewController>(controllerSelf());
  }
  void initDatas();
  void createUI();
  void push(const std::shared_ptr<UIViewController>& screen);
  void askToClearCache();

  std::vector<std::vector<std::string>> iconArray_;
  std::vector<std::vector<std::string>> titleArray_;
  std::shared_ptr<UITableView> tableView_;
  std::shared_ptr<UILabel> crashLabel_;
};

