#pragma once
// The phone registration form: mobile number, SMS code with "获取验证码" and its 60-second
// count-down, password, "注 册", and the Taobao partner button under "合作账号注册". It checks
// only that the three fields hold text (ruleRegister) and reports every button through myBlock;
// the registration screen tells them apart by tag:
//
//   0 "获取验证码"   1 "注 册"   2 Taobao
//
// The screen starts the count-down once the service has sent a code and ends it after a
// registration (or a refusal of the code). The form lives in a scroll view whose bottom stays
// keyBoardH above the form's bottom.

#include <memory>

#include "app/screens/account/SmsCountDown.h"
#include "app/ui/ParentsViewController.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITextField.h"

class TZRegisterView : public ParentView {
 public:
  static std::shared_ptr<TZRegisterView> make() { return makeView<TZRegisterView>(CGRectZero); }
  void setUpWithFrame(CGRect frame) override;

  std::shared_ptr<UITextField> phoneTextField() const { return phoneTextField_; }
  std::shared_ptr<UITextField> verticalTextField() const { return verticalTextField_; }
  std::shared_ptr<UITextField> passwordTextField() const { return passwordTextField_; }
  std::shared_ptr<UIButton> verticalButton() const { return verticalButton_; }
  std::shared_ptr<UIButton> registerButton() const { return registerButton_; }
  std::shared_ptr<UIButton> taobaoButton() const { return taobaoButton_; }
  std::shared_ptr<UIScrollView> bgScrollView() const { return bgScrollView_; }
  std::shared_ptr<UIView> contentView() const { return contentView_; }
  std::shared_ptr<UIView> bgView() const { return bgView_; }

  double keyBoardH() const { return keyBoardH_; }
  // Stores the height and lays the scroll view out again at once.
  void setKeyBoardH(double height);

  // YES when the three fields hold text; otherwise the alert "请输入手机号", "请输入验证码" or
  // "请输入密码" (in that order) without title, and NO. Only emptiness counts.
  bool ruleRegister();
  void startCountDown();
  void endCountDown();
  // The count-down's timer; nil before the first count-down.
  dispatch_source_t mytimer() const { return countDown_->timer(); }
  const std::shared_ptr<zvt::account::SmsCountDown>& countDown() const { return countDown_; }

  void buttonClick(const std::shared_ptr<UIButton>& sender);
  void updateConstraints() override;

 private:
  void createUI();

  std::shared_ptr<UITextField> phoneTextField_;
  std::shared_ptr<UITextField> verticalTextField_;
  std::shared_ptr<UITextField> passwordTextField_;
  std::shared_ptr<UIButton> verticalButton_;
  std::shared_ptr<UIButton> registerButton_;
  std::shared_ptr<UIButton> taobaoButton_;
  std::shared_ptr<UIScrollView> bgScrollView_;
  std::shared_ptr<UIView> contentView_;
  std::shared_ptr<UIView> bgView_;
  std::shared_ptr<zvt::account::SmsCountDown> countDown_;
  double keyBoardH_ = 0;
};

namespace zvt::account {
// An SMS code button as the forms show it: "获取验证码" in the 14-point system font, orange in
// the normal state and RGB 153 in the selected state, a 1-point orange border, corner radius 4.
std::shared_ptr<UIButton> makeSmsCodeButton();
// The code row of a phone form's icon-row box (the row `rowTop` down, `rowHeight` high): a new
// code button (tag 0) 15 in from the box's right, 8 below and above the row's edges, 110 wide,
// and `codeField` from `alignedWith`'s left edge to 5 short of the button. Returns the button;
// the caller adds its target.
std::shared_ptr<UIButton> addSmsCodeRow(const std::shared_ptr<UIView>& box, CGFloat rowTop, CGFloat rowHeight,
                                        const std::shared_ptr<UITextField>& codeField,
                                        const std::shared_ptr<UIView>& alignedWith);
// The partner section at the bottom of a registration form: the caption between two lines and
// the Taobao button 31 points above the content's bottom. Returns the button.
std::shared_ptr<UIButton> addPartnerSection(const std::shared_ptr<UIView>& content, const char* caption);
}  // namespace zvt::account
