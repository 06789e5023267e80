#pragma once
// The reset screen ("重置密码", analytics page "重置密码页"), the second step of retrieval by
// phone: the retrieval screen pushes it once the service has texted a code to `phone`, so its
// form's count-down starts as the form is built. The code button (tag 0) counts down again and
// asks m=get_forgot_pwd_code for a new code; a refusal ends the count-down at once and shows
// the client's message. "完 成" (tag 1) sends m=forgot_pwd_reset with the number, the code and
// the password as typed; a success shows "密码重置成功" and pops to the root of the stack (the
// login screen), a refusal shows the message and keeps the fields.
//
// "完 成" is orange and takes touches exactly while both fields, with the edit applied, hold
// text; a clear button greys it. One reset at a time: while one is on its way "完 成" sends
// nothing; a refusal or a failed connection lets the next one go, a success none (the pop to the
// root happens only while the screen is the one shown).

#include <memory>

#include "app/screens/account/TZModifyView.h"
#include "app/ui/ParentsViewController.h"
#include "platform/uikit/UITextField.h"

class TZModifyViewController : public ParentsViewController, public UITextFieldDelegate {
 public:
  static std::shared_ptr<TZModifyViewController> make() { return std::make_shared<TZModifyViewController>(); }

  std::shared_ptr<NSString> phone() const { return phone_; }
  void setPhone(const std::shared_ptr<NSString>& value) { phone_ = value; }
  std::shared_ptr<TZModifyView> modifyView() const { return modifyView_; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void createUI();
  void buttonClick(const std::shared_ptr<UIButton>& sender);

  // --- UITextFieldDelegate
  bool textFieldShouldChangeCharactersInRange(const std::shared_ptr<UITextField>& textField, NSRange range,
                                              const std::shared_ptr<NSString>& string) override;
  bool textFieldShouldClear(const std::shared_ptr<UITextField>& textField) override;

  static const zvt::KVCClass* classTable();
  const zvt::KVCClass* kvcClass() const override { return classTable(); }

 private:
  std::shared_ptr<TZModifyViewController> modifySelf() {
    return std::static_pointer_cast<TZModifyViewController>(controllerSelf());
  }
  void requestCode();
  void reset();

  std::shared_ptr<NSString> phone_;
  std::shared_ptr<TZModifyView> modifyView_;
  bool resetting_ = false;
};
