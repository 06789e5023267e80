#pragma once
// The binding screen ("绑定手机页" in analytics) a first QQ or Taobao login pushes on the login
// stack with the partner login information (userInfo: "web", "webId", "first", "newVer"). The
// service's registration mode picks the form: "2" the phone form ("验证手机": an SMS code, then
// m=register with "web" and "webId"), anything else or none the e-mail form ("完成注册":
// act=register with "newVer", "web", "webId", "userName" and "password"). A success has
// installed the session and shown the red packet; the screen dismisses the whole login stack.
// Its back item pops, leaving the user logged out.
//
// "完 成" is lit exactly while the fields its form needs hold text (phone: number and code;
// e-mail: address and password), after every edit, paste and clear. One registration at a
// time: while one is on its way a tap sends nothing; a refusal or a failed connection lets the
// next one go, a success none (the dismissal happens only while the screen is the one shown).

#include <memory>

#include "app/screens/account/TZBindingPhoneView.h"
#include "app/ui/ParentsViewController.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UITextField.h"

class TZBindingViewController : public ParentsViewController, public UITextFieldDelegate {
 public:
  static std::shared_ptr<TZBindingViewController> make() { return std::make_shared<TZBindingViewController>(); }

  std::shared_ptr<NSDictionary> userInfo() const { return userInfo_; }
  void setUserInfo(const std::shared_ptr<NSDictionary>& value) { userInfo_ = value; }
  std::shared_ptr<TZBindingPhoneView> bindingPhoneView() const { return bindingPhoneView_; }
  std::shared_ptr<TZBindingEmailView> bindingEmailView() const { return bindingEmailView_; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void configUI();
  void buttonAction(const std::shared_ptr<UIButton>& sender);
  void phoneRegister();
  void emailRegister();
  void keyboardWillShow(const std::shared_ptr<NSNotification>& notification);
  void keyboardWillHide(const std::shared_ptr<NSNotification>& notification);

  // --- UITextFieldDelegate
  bool textFieldShouldChangeCharactersInRange(const std::shared_ptr<UITextField>& textField, NSRange range,
                                              const std::shared_ptr<NSString>& string) override;
  bool textFieldShouldClear(const std::shared_ptr<UITextField>& textField) override;

  static const zvt::KVCClass* classTable();
  const zvt::KVCClass* kvcClass() const override { return classTable(); }

 private:
  std::shared_ptr<TZBindingViewController> bindingSelf() {
    return std::static_pointer_cast<TZBindingViewController>(controllerSelf());
  }
  id partnerValue(const char* key) const;
  // Lights the finish button by the texts as they stand once `edited` has its range replaced.
  void lightFinishButton(const std::shared_ptr<UITextField>& edited, NSRange range, const std::shared_ptr<NSString>& string);

  std::shared_ptr<NSDictionary> userInfo_;
  std::shared_ptr<TZBindingPhoneView> bindingPhoneView_;
  std::shared_ptr<TZBindingEmailView> bindingEmailView_;
  std::shared_ptr<bool> codeRequestPending_ = std::make_shared<bool>(false);
  bool registering_ = false;
};
