#pragma once
// "验证手机号" ("验证手机页" in analytics): a logged-in user binds a mobile number to the account
// with an SMS code. Opened with plain init by the personal information (no number yet, phone
// registration) and the withdrawal screen. The code button starts the count-down before it
// asks (m=get_binding_phoneNumber_code); a refusal ends it and shows the service's text. "完 成"
// sends m=binding_phoneNumber {"phoneNumber", "verifyCode", "uid"} and, on success, shows
// "绑定成功" for 2 s and pops; the opener's refresh then shows the number. Only the number's
// emptiness is checked on the device.
//
// The finish button is lit (orange, taking touches) while the number has 11 characters and the
// code holds text, and dark otherwise, from creation on; the number takes at most 11, and an
// edit the cap refuses leaves the button as it was. One binding at a time: while one is on its
// way "完 成" sends nothing; a refusal or a failed connection lets the next one go, a success
// none (the tip's end pops the screen, only while it is still the one shown).

#include <memory>

#include "app/screens/account/TZVertialPhoneView.h"
#include "app/ui/ParentsViewController.h"
#include "platform/uikit/UITextField.h"

class TZVerticalPhoneViewController : public ParentsViewController, public UITextFieldDelegate {
 public:
  static std::shared_ptr<TZVerticalPhoneViewController> make() { return std::make_shared<TZVerticalPhoneViewController>(); }

  std::shared_ptr<TZVertialPhoneView> verticalPhoneView() const { return verticalPhoneView_; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void createUI();
  void buttonClick(const std::shared_ptr<UIButton>& sender);

  // --- UITextFieldDelegate
  bool textFieldShouldChangeCharactersInRange(const std::shared_ptr<UITextField>& textField, NSRange range,
                                              const std::shared_ptr<NSString>& string) override;
  bool textFieldShouldClear(const std::shared_ptr<UITextField>& textField) override;

 private:
  std::shared_ptr<TZVerticalPhoneViewController> phoneSelf() {
    return std::static_pointer_cast<TZVerticalPhoneViewController>(controllerSelf());
  }
  void requestCode();
  void bindPhone();

  std::shared_ptr<TZVertialPhoneView> verticalPhoneView_;
  bool binding_ = false;
};
