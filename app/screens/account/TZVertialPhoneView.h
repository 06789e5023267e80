#pragma once
// The phone verification form: the mobile number, the SMS code with "获取验证码" and its 60-second
// count-down, "完 成", and under it the note "验证后手机号也可用于登录". Laid out as the reset form
// (zvt::account::makeCodeForm), with the number in the upper row and the code with its button
// in the lower one. Buttons report through myBlock: tag 0 the code button, tag 1 the finish
// button, which starts grey and taking no touches until the screen lights it. The form checks
// and sends nothing itself.

#include <memory>

#include "app/screens/account/SmsCountDown.h"
#include "app/ui/ParentsViewController.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITextField.h"

class TZVertialPhoneView : public ParentView {
 public:
  static std::shared_ptr<TZVertialPhoneView> make() { return makeView<TZVertialPhoneView>(CGRectZero); }
  void setUpWithFrame(CGRect frame) override;

  std::shared_ptr<UITextField> phoneTextField() const { return phoneTextField_; }
  std::shared_ptr<UITextField> verticalTextField() const { return verticalTextField_; }
  std::shared_ptr<UIButton> finishButton() const { return finishButton_; }
  std::shared_ptr<UIButton> verticalButton() const { return verticalButton_; }
  std::shared_ptr<UIScrollView> bgScrollView() const { return bgScrollView_; }
  std::shared_ptr<UIView> contentView() const { return contentView_; }
  std::shared_ptr<UIView> bgView() const { return bgView_; }

  // The shared count-down (SmsCountDown.h): a second start cancels the first.
  void startCountDown() { countDown_->start(self()); }
  void endCountDown() { countDown_->end(); }
  dispatch_source_t mytimer() const { return countDown_->timer(); }

  void buttonClick(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }

 private:
  void createUI();

  std::shared_ptr<UITextField> phoneTextField_;
  std::shared_ptr<UITextField> verticalTextField_;
  std::shared_ptr<UIButton> finishButton_;
  std::shared_ptr<UIButton> verticalButton_;
  std::shared_ptr<UIScrollView> bgScrollView_;
  std::shared_ptr<UIView> contentView_;
  std::shared_ptr<UIView> bgView_;
  std::shared_ptr<zvt::account::SmsCountDown> countDown_;
};
