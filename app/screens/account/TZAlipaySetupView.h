#pragma once
// The Alipay form of "收款支付宝". Its face is chosen once, at creation, from the session's user
// record: while "alipay" is missing, null or empty, the input face (account, the holder's
// certified name, the login password with the question mark, tag 101, and "完成", tag 102);
// otherwise the bound face, the account and name read-only with the note that changes go
// through customer service, and no control that sends anything. Both buttons report through
// myBlock; the form checks and sends nothing itself.
//
// keyBoardH is the keyboard height the form keeps free below its content (its scroll view's
// bottom follows it); at 0 the content stands still, as laid out.

#include <memory>

#include "app/ui/ParentsViewController.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITextField.h"

class TZAlipaySetupView : public ParentView {
 public:
  static std::shared_ptr<TZAlipaySetupView> initWithFrame(CGRect frame) { return makeView<TZAlipaySetupView>(frame); }
  void setUpWithFrame(CGRect frame) override;

  std::shared_ptr<UIView> bgView() const { return bgView_; }
  std::shared_ptr<UITextField> alipayAccount() const { return alipayAccount_; }
  std::shared_ptr<UITextField> alipayRealName() const { return alipayRealName_; }
  // Input face only (nil in the bound face).
  std::shared_ptr<UITextField> password() const { return password_; }
  std::shared_ptr<UIButton> completeButton() const { return completeButton_; }
  std::shared_ptr<UIButton> questionButton() const { return questionButton_; }
  bool isBound() const { return !password_; }

  double keyBoardH() const { return keyBoardH_; }
  void setKeyBoardH(double height);
  void updateConstraints() override;

  void buttonClick(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }
  void passwordAlert(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }

  // The two faces.
  void createUI();
  void createAnotherUI();

 private:
  std::shared_ptr<UIView> bgView_;
  std::shared_ptr<UITextField> alipayAccount_;
  std::shared_ptr<UITextField> alipayRealName_;
  std::shared_ptr<UITextField> password_;
  std::shared_ptr<UIButton> completeButton_;
  std::shared_ptr<UIButton> questionButton_;
  std::shared_ptr<UIScrollView> scrollView_;
  std::shared_ptr<UIView> contentView_;
  double keyBoardH_ = 0;
};
