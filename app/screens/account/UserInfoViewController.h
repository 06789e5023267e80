#pragma once
// The personal centre, root of the fifth tab ("我的", analytics page "个人中心页"): the user's
// header over a grouped menu to the money, order, message, help and settings screens, the
// customer-service and check-in bar buttons and the Taobao shopping cart. Every appearance and
// the notifications "login" and "logout" refresh the header (getUserInfo: logged out, the
// logged-out header and no request; logged in, the user's record from the service); "toLogin"
// presents the login screen. Entries marked in the menu table need a logged-in user: without
// one they open the login screen instead (the login gate).
//
// The header and its background picture lie above the table's content (inset 0.645 W) and
// scroll with it; pulled further down the picture grows around its centre, and the bar turns
// from clear to orange as the header scrolls away (alpha at most 0.99, so the bar stays
// translucent and the screen keeps its place under it).

#include <memory>
#include <string>
#include <vector>

#include "app/screens/account/TZPersonalHeaderView.h"
#include "app/ui/ParentsViewController.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UITableView.h"

class UserInfoViewController : public ParentsViewController,
                               public UITableViewDataSource,
                               public UITableViewDelegate,
                               public UIAlertViewDelegate {
 public:
  // One row of the menu: its icon, title, the screen it pushes and whether it needs a login.
  struct MenuRow {
    std::string icon;
    std::string title;
    std::string screen;
    bool needsLogin;
  };

  // init: the menu (initDatas).
  UserInfoViewController();
  static std::shared_ptr<UserInfoViewController> make() { return std::make_shared<UserInfoViewController>(); }

  const std::vector<std::vector<MenuRow>>& sectionArray() const { return sectionArray_; }
  std::shared_ptr<UITableView> tableView() const { return tableView_; }
  std::shared_ptr<TZPersonalHeaderView> headerView() const { return BGView_; }
  std::shared_ptr<UIImageView> backgroundImageView() const { return BGImageView_; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;
  UIStatusBarStyle preferredStatusBarStyle() const override { return UIStatusBarStyleLightContent; }

  void getUserInfo();
  void gotoRebateCoupon();
  void gotoSign();
  void gotoSerive();
  void iconAction();
  void gotoShoppingCar();
  void gotoRegister();

  // --- table
  NSInteger numberOfSectionsInTableView(const std::shared_ptr<UITableView>& tableView) override;
  NSInteger tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>& tableView, NSInteger section) override;
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                                                  const std::shared_ptr<NSIndexPath>& indexPath) override;
  CGFloat tableViewHeightForRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                           const std::shared_ptr<NSIndexPath>& indexPath) override;
  CGFloat tableViewHeightForHeaderInSection(const std::shared_ptr<UITableView>& tableView, NSInteger section) override;
  CGFloat tableViewHeightForFooterInSection(const std::shared_ptr<UITableView>& tableView, NSInteger section) override;
  std::shared_ptr<UIView> tableViewViewForHeaderInSection(const std::shared_ptr<UITableView>& tableView,
                                                          NSInteger section) override;
  std::shared_ptr<UIView> tableViewViewForFooterInSection(const std::shared_ptr<UITableView>& tableView,
                                                          NSInteger section) override;
  void tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                        const std::shared_ptr<NSIndexPath>& indexPath) override;
  void scrollViewDidScroll(const std::shared_ptr<UIScrollView>& scrollView) override;

  // --- as an alert's delegate: button 1 dials customer service
  void alertViewClickedButtonAtIndex(const std::shared_ptr<UIAlertView>& alertView, NSInteger buttonIndex) override;

 private:
  std::shared_ptr<UserInfoViewController> centreSelf() {
    return std::static_pointer_cast<UserInfoViewController>(controllerSelf());
  }
  void initDatas();
  void createUI();
  // Pushes the screen made by name (with the given properties), or the login screen first when
  // it needs a login that is missing.
  void open(const std::string& screen, bool needsLogin);
  CGFloat headerHeight() const;

  std::vector<std::vector<MenuRow>> sectionArray_;
  std::shared_ptr<UITableView> tableView_;
  std::shared_ptr<TZPersonalHeaderView> BGView_;
  std::shared_ptr<UIImageView> BGImageView_;
};
