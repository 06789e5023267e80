#pragma once
// The retrieval screen ("找回密码", analytics page "找回密码页") the login screen's "忘记密码?"
// pushes. By e-mail it sends act=get_pwd with {"email"}: the service mails the reset message and
// names the mailbox's web address, which the system opens once the tip "邮件已经发送" has shown
// for 2.0 s (a reply without an address shows the tip and opens nothing; a refusal shows the
// client's message). By phone it sends m=get_forgot_pwd_code with {"phoneNumber"} and, once the
// code is on its way, pushes the reset screen with the number the field holds then. Nothing is
// checked before sending; the service judges the texts.
//
// In phone mode the field takes at most 11 characters (a longer edit, a paste included, is
// refused whole) and the button takes touches exactly while the number has 11; the clear
// button greys it. In e-mail mode every edit is taken and the button stays orange.
//
// One request at a time, in either mode: while one is on its way a tap sends nothing; its reply,
// whatever it is, lets the next one go.

#include <memory>

#include "app/screens/account/TZRetrievePasswordView.h"
#include "app/ui/ParentsViewController.h"
#include "platform/uikit/UITextField.h"

class TZRetrievePasswordViewController : public ParentsViewController, public UITextFieldDelegate {
 public:
  static std::shared_ptr<TZRetrievePasswordViewController> make() {
    return std::make_shared<TZRetrievePasswordViewController>();
  }

  std::shared_ptr<TZRetrievePasswordView> retrievePasswordView() const { return retrievePasswordView_; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void createUI();
  void senderAction(const id& sender);

  // --- UITextFieldDelegate
  bool textFieldShouldChangeCharactersInRange(const std::shared_ptr<UITextField>& textField, NSRange range,
                                              const std::shared_ptr<NSString>& string) override;
  bool textFieldShouldClear(const std::shared_ptr<UITextField>& textField) override;

 private:
  std::shared_ptr<TZRetrievePasswordViewController> retrieveSelf() {
    return std::static_pointer_cast<TZRetrievePasswordViewController>(controllerSelf());
  }
  bool inPhoneMode() const;
  void sendMail();
  void requestPhoneCode();

  std::shared_ptr<TZRetrievePasswordView> retrievePasswordView_;
  bool requesting_ = false;
};
