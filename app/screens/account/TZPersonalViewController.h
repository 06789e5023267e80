#pragma once
// "个人信息" ("个人信息页面" in analytics): the logged-in user's account as the service holds it, in
// a grouped table: the avatar and the user name, then the phone number, e-mail, Alipay account
// and QQ, the first three masked. Pushed by the personal centre's avatar and the settings' first
// row. Every appearance refreshes the record (act=userInfo&do=my), merged into userInfoModel:
// fields the reply leaves out keep what was shown.
//
// Taps: the avatar row offers the camera (when there is one) and the photo library; the edited
// square goes up as PNG (act=avatar), then the record is refreshed and the new picture fetched
// anew. One picture goes up at a time: while one is on its way the avatar row opens no sheet;
// its reply, whatever it is, lets the next one go. The phone row opens the verification while
// there is no number and the service registers by phone (regMethod "2"); with a number it only
// says that it cannot be changed; with neither it takes no taps. E-mail and QQ open their
// screen with this screen's model; the Alipay row opens the Alipay screen.
//
// Masks: a phone text, or an Alipay account that is a mobile number, shows "****" for its 4th
// to 7th characters once it has 7; an e-mail text, or an Alipay e-mail address, shows "****"
// for the four characters before "@" when there are four. Shorter texts show unmasked.
// A number in the record shows as its digits; null counts as missing.

#include <memory>
#include <string>
#include <vector>

#include "app/models/TZUserInfoModel.h"
#include "app/ui/ParentsViewController.h"
#include "platform/uikit/UIImagePickerController.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UITableView.h"

class TZPersonalViewController : public ParentsViewController,
                                 public UITableViewDataSource,
                                 public UITableViewDelegate,
                                 public UIImagePickerControllerDelegate {
 public:
  // init: initDatas.
  TZPersonalViewController();
  static std::shared_ptr<TZPersonalViewController> make() { return std::make_shared<TZPersonalViewController>(); }

  std::shared_ptr<UITableView> tableView() const { return tableView_; }
  std::shared_ptr<TZUserInfoModel> userInfoModel() const { return userInfoModel_; }
  const std::vector<std::string>& firstSectionArray() const { return sectionArray_[0]; }
  const std::vector<std::string>& secondSectionArray() const { return sectionArray_[1]; }
  const std::vector<std::vector<std::string>>& sectionArray() const { return sectionArray_; }
  std::shared_ptr<UIImageView> userIcon() const { return userIcon_; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void getUserInfo();
  void presentWithSourceType(UIImagePickerControllerSourceType sourceType);

  // The masks, for the tests of their edges.
  static std::shared_ptr<NSString> maskedPhone(const std::shared_ptr<NSString>& text);
  static std::shared_ptr<NSString> maskedEmail(const std::shared_ptr<NSString>& text);

  // --- table
  NSInteger numberOfSectionsInTableView(const std::shared_ptr<UITableView>& tableView) override;
  NSInteger tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>& tableView, NSInteger section) override;
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                                                  const std::shared_ptr<NSIndexPath>& indexPath) override;
  CGFloat tableViewHeightForRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                           const std::shared_ptr<NSIndexPath>& indexPath) override;
  CGFloat tableViewHeightForHeaderInSection(const std::shared_ptr<UITableView>& tableView, NSInteger section) override;
  CGFloat tableViewHeightForFooterInSection(const std::shared_ptr<UITableView>& tableView, NSInteger section) override;
  void tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                        const std::shared_ptr<NSIndexPath>& indexPath) override;

  // --- picker
  void imagePickerControllerDidFinishPickingMediaWithInfo(const std::shared_ptr<UIImagePickerController>& picker,
                                                          const std::shared_ptr<NSDictionary>& info) override;
  void imagePickerControllerDidCancel(const std::shared_ptr<UIImagePickerController>& picker) override;

 private:
  std::shared_ptr<TZPersonalViewController> personalSelf() {
    return std::static_pointer_cast<TZPersonalViewController>(controllerSelf());
  }
  void initDatas();
  void createUI();
  void showAvatarSheet();
  void push(const std::shared_ptr<UIViewController>& screen);
  void configAvatar(const std::shared_ptr<UITableViewCell>& cell);

  std::shared_ptr<UITableView> tableView_;
  std::shared_ptr<TZUserInfoModel> userInfoModel_;
  std::vector<std::vector<std::string>> sectionArray_;
  std::shared_ptr<UIImageView> userIcon_;
  bool uploading_ = false;
};
