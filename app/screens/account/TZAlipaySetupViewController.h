#pragma once
// "收款支付宝": the Alipay account withdrawals are paid to, its holder's certified name and, as
// the only confirmation, the user's login password (sent as typed, judged by the service alone).
// Opened with plain init by the personal information and the withdrawal screens. On success
// m=update_alipay has replaced the session's user record and the screen pops without a word;
// a refusal shows the service's text and keeps the input. The question mark lays a
// PasswordTipView over the screen's view. It logs no analytics page. One binding at a time:
// while one is on its way "完成" neither checks nor sends; a refusal or a failed connection lets
// the next one go, a success none (the screen pops, only while it is still the one shown).

#include <memory>

#include "app/screens/account/TZAlipaySetupView.h"
#include "app/ui/ParentsViewController.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UITextField.h"

class TZAlipaySetupViewController : public ParentsViewController, public UITextFieldDelegate {
 public:
  static std::shared_ptr<TZAlipaySetupViewController> make() { return std::make_shared<TZAlipaySetupViewController>(); }

  std::shared_ptr<TZAlipaySetupView> alipaySetupView() const { return alipaySetupView_; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;

  void configUI();
  void missionComplete();
  void keyboardWillShow(const std::shared_ptr<NSNotification>& notification);
  void keyboardWillHide(const std::shared_ptr<NSNotification>& notification);

 private:
  std::shared_ptr<TZAlipaySetupViewController> alipaySelf() {
    return std::static_pointer_cast<TZAlipaySetupViewController>(controllerSelf());
  }

  std::shared_ptr<TZAlipaySetupView> alipaySetupView_;
  bool saving_ = false;
};
