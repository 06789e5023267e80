#pragma once
// The phone form of the partner binding: a note on why, then mobile number, SMS code with
// "获取验证码" and its 60-second count-down, a password to set, and "完 成" (grey and taking no
// touches until the binding screen lights it). Buttons report through myBlock: tag 0 the code
// button, tag 1 the finish button. It checks and sends nothing itself.

#include <memory>

#include "app/screens/account/SmsCountDown.h"
#include "app/ui/ParentsViewController.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITextField.h"

class TZBindingPhoneView : public ParentView {
 public:
  static std::shared_ptr<TZBindingPhoneView> make() { return makeView<TZBindingPhoneView>(CGRectZero); }
  void setUpWithFrame(CGRect frame) override;

  std::shared_ptr<UITextField> phoneTextField() const { return phoneTextField_; }
  std::shared_ptr<UITextField> verticalTextField() const { return verticalTextField_; }
  std::shared_ptr<UITextField> passwordTextField() const { return passwordTextField_; }
  std::shared_ptr<UIButton> verticalButton() const { return verticalButton_; }
  std::shared_ptr<UIButton> finishedButton() const { return finishedButton_; }
  std::shared_ptr<UIScrollView> bgScrollView() const { return bgScrollView_; }
  std::shared_ptr<UIView> contentView() const { return contentView_; }
  std::shared_ptr<UIView> bgView() const { return bgView_; }

  double keyBoardH() const { return keyBoardH_; }
  void setKeyBoardH(double height);

  void startCountDown() { countDown_->start(self()); }
  void endCountDown() { countDown_->end(); }
  dispatch_source_t mytimer() const { return countDown_->timer(); }

  void buttonClick(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }
  void updateConstraints() override;

 private:
  void createUI();

  std::shared_ptr<UITextField> phoneTextField_;
  std::shared_ptr<UITextField> verticalTextField_;
  std::shared_ptr<UITextField> passwordTextField_;
  std::shared_ptr<UIButton> verticalButton_;
  std::shared_ptr<UIButton> finishedButton_;
  std::shared_ptr<UIScrollView> bgScrollView_;
  std::shared_ptr<UIView> contentView_;
  std::shared_ptr<UIView> bgView_;
  std::shared_ptr<zvt::account::SmsCountDown> countDown_;
  double keyBoardH_ = 0;
};

// The e-mail form of the partner binding: e-mail and password rows and "完 成" (tag 0), which
// the binding screen lights while both fields hold text.
class TZBindingEmailView : public ParentView {
 public:
  static std::shared_ptr<TZBindingEmailView> make() { return makeView<TZBindingEmailView>(CGRectZero); }
  void setUpWithFrame(CGRect frame) override;

  std::shared_ptr<UITextField> emailTextField() const { return emailTextField_; }
  std::shared_ptr<UITextField> passwordTextField() const { return passwordTextField_; }
  std::shared_ptr<UIButton> finishButton() const { return finishButton_; }
  std::shared_ptr<UIScrollView> bgScrollView() const { return bgScrollView_; }
  std::shared_ptr<UIView> contentView() const { return contentView_; }
  std::shared_ptr<UIView> bgView() const { return bgView_; }

  void buttonClick(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }

 private:
  std::shared_ptr<UITextField> emailTextField_;
  std::shared_ptr<UITextField> passwordTextField_;
  std::shared_ptr<UIButton> finishButton_;
  std::shared_ptr<UIScrollView> bgScrollView_;
  std::shared_ptr<UIView> contentView_;
  std::shared_ptr<UIView> bgView_;
};
