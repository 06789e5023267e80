#pragma once
// "信息填写": the account's e-mail address and QQ number, opened from the personal information's
// "邮箱" and "QQ" rows with that screen's model. An e-mail on file (a non-empty text) cannot be
// changed: its field shows it and answers a tap with "已填入的邮箱不可修改", and only the QQ
// number is saved ({"id", "qq"}); without one both are required and saved together
// ({"id", "email", "qq"}). m=update_userinfo replaces the session's record; the screen pops on
// success and shows the service's text on a refusal, keeping the input. Without a user id the
// request goes without one and the service's refusal is shown. It logs no analytics page.
// One save at a time: while one is on its way "完成" neither checks nor sends; a refusal or a
// failed connection lets the next one go, a success none (the screen pops, only while it is
// still the one shown: back tapped meanwhile leaves the screen under alone).

#include <memory>

#include "app/models/TZUserInfoModel.h"
#include "app/screens/account/TZEmailSetupView.h"
#include "app/ui/ParentsViewController.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UITextField.h"

class TZEmailAndQQViewController : public ParentsViewController, public UITextFieldDelegate {
 public:
  static std::shared_ptr<TZEmailAndQQViewController> make() { return std::make_shared<TZEmailAndQQViewController>(); }

  std::shared_ptr<TZUserInfoModel> userInfoModel() const { return userInfoModel_; }
  void setUserInfoModel(const std::shared_ptr<TZUserInfoModel>& model) { userInfoModel_ = model; }
  std::shared_ptr<TZEmailSetupView> emailSetupView() const { return emailSetupView_; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;

  void configUI();
  void missionComplete();
  bool theRuleToSaveInfo();
  void keyboardWillShow(const std::shared_ptr<NSNotification>& notification);
  void keyboardWillHide(const std::shared_ptr<NSNotification>& notification);

  // --- UITextFieldDelegate
  bool textFieldShouldBeginEditing(const std::shared_ptr<UITextField>& textField) override;

 private:
  std::shared_ptr<TZEmailAndQQViewController> emailSelf() {
    return std::static_pointer_cast<TZEmailAndQQViewController>(controllerSelf());
  }
  // The e-mail on file: a non-empty text of the model, else nil.
  std::shared_ptr<NSString> emailOnFile() const;

  std::shared_ptr<TZUserInfoModel> userInfoModel_;
  std::shared_ptr<TZEmailSetupView> emailSetupView_;
  bool saving_ = false;
};
