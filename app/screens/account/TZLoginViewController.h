#pragma once
// The login screen ("登录", analytics page "登录页"): hosts TZLoginView, logs in through
// ZVTAPIClient::loginWith and closes its presented stack on success. Opened by the login gate
// (gotoLoginVC: the root of a new navigation controller, presented) or pushed by the
// registration screen with isFromRegister, when its back item and its register button pop it
// instead of dismissing.
//
// Tags of the form: 0 ruleLogin, then loginAction; 1 pushes TZRetrievePasswordViewController;
// 2 pushes TZRegisterViewController with isFromLogin (or pops when isFromRegister); 3 nothing;
// 4 pushes QQWebViewController; 5 pushes TaoBaoWebViewLoginController; others nothing. Return in
// the account field moves to the password field; return in the password field logs in at once,
// without ruleLogin. The screen posts no notification: the screens that show the session
// refresh themselves when they appear.
//
// One login at a time: while one is on its way a tap on "登 录" (or return in the password
// field) neither checks nor sends; a refusal or a failed connection lets the next one go, a
// success none (the dismissal happens only while the screen is the one shown).

#include <memory>

#include "app/screens/account/TZLoginView.h"
#include "app/ui/ParentsViewController.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UITextField.h"

class TZLoginViewController : public ParentsViewController, public UITextFieldDelegate {
 public:
  static std::shared_ptr<TZLoginViewController> make() { return std::make_shared<TZLoginViewController>(); }

  bool isFromRegister() const { return isFromRegister_; }
  void setIsFromRegister(bool value) { isFromRegister_ = value; }
  std::shared_ptr<TZLoginView> loginView() const { return loginView_; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void createUI();
  void buttonClick(const std::shared_ptr<UIButton>& sender);
  void loginAction();
  void keyboardWillShow(const std::shared_ptr<NSNotification>& notification);
  void keyboardWillHide(const std::shared_ptr<NSNotification>& notification);

  // --- UITextFieldDelegate
  bool textFieldShouldReturn(const std::shared_ptr<UITextField>& textField) override;

  static const zvt::KVCClass* classTable();
  const zvt::KVCClass* kvcClass() const override { return classTable(); }

 private:
  std::shared_ptr<TZLoginViewController> loginSelf() {
    return std::static_pointer_cast<TZLoginViewController>(controllerSelf());
  }
  // The way back: pop when pushed by the registration screen, else dismiss the presented stack.
  void leave();
  void pushScreen(const char* name);

  bool isFromRegister_ = false;
  bool loggingIn_ = false;
  std::shared_ptr<TZLoginView> loginView_;
};
