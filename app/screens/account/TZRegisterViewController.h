#pragma once
// The registration screen ("注 册", analytics page "注册页"). The service's registration mode
// (the delegate's regMethod when the view loads) picks the form: "1" the e-mail form
// (TZOriginalRegisterView, act=register with "userName" and "password"), anything else, or none,
// the phone form (TZRegisterView: an SMS code with its count-down, then m=register). A success
// has installed the session and shown the red packet before the screen's completion runs; the
// screen then dismisses the presented stack it lives on.
//
// Opened presented from the personal centre, or pushed from the login screen with isFromLogin:
// then its back item and the e-mail form's "have an account" pop instead of stacking another
// login screen (which the login screen mirrors with isFromRegister).
//
// One code request at a time: a tap on the code button while a request is out is ignored, so a
// double tap never starts two count-downs. One registration at a time likewise: while one is on
// its way "注 册" (or return in the last field) neither checks nor sends; a refusal or a failed
// connection lets the next one go, a success none (the dismissal happens only while the screen
// is the one shown).

#include <memory>

#include "app/screens/account/TZOriginalRegisterView.h"
#include "app/screens/account/TZRegisterView.h"
#include "app/ui/ParentsViewController.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UITextField.h"

class TZRegisterViewController : public ParentsViewController, public UITextFieldDelegate {
 public:
  static std::shared_ptr<TZRegisterViewController> make() { return std::make_shared<TZRegisterViewController>(); }

  bool isFromLogin() const { return isFromLogin_; }
  void setIsFromLogin(bool value) { isFromLogin_ = value; }
  std::shared_ptr<TZRegisterView> registerView() const { return registerView_; }
  std::shared_ptr<TZOriginalRegisterView> originalRegisterView() const { return originalRegisterView_; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void configUI();
  void buttonAction(const std::shared_ptr<UIButton>& sender);
  void registerAction();
  void keyboardWillShow(const std::shared_ptr<NSNotification>& notification);
  void keyboardWillHide(const std::shared_ptr<NSNotification>& notification);

  // --- UITextFieldDelegate
  bool textFieldShouldChangeCharactersInRange(const std::shared_ptr<UITextField>& textField, NSRange range,
                                              const std::shared_ptr<NSString>& string) override;
  bool textFieldShouldClear(const std::shared_ptr<UITextField>& textField) override;
  bool textFieldShouldReturn(const std::shared_ptr<UITextField>& textField) override;

  static const zvt::KVCClass* classTable();
  const zvt::KVCClass* kvcClass() const override { return classTable(); }

 private:
  std::shared_ptr<TZRegisterViewController> registerSelf() {
    return std::static_pointer_cast<TZRegisterViewController>(controllerSelf());
  }
  void requestCode();
  void pushScreen(const char* name, bool fromRegister = false);
  void leave();
  void setKeyboardHeight(double height);

  bool isFromLogin_ = false;
  bool registering_ = false;
  std::shared_ptr<bool> codeRequestPending_ = std::make_shared<bool>(false);
  std::shared_ptr<TZRegisterView> registerView_;
  std::shared_ptr<TZOriginalRegisterView> originalRegisterView_;
};
