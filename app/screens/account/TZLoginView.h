#pragma once
// The password login form: the account (user name, e-mail or phone number) and password rows,
// "登 录", the ways to password retrieval and registration and the partner logins. It checks
// only that both fields hold text (ruleLogin) and reports every button through myBlock; its
// login screen tells the buttons apart by tag:
//
//   0 "登 录"   1 "忘记密码?"   2 "10秒快速注册"   3 "sinaLogin" (hidden)   4 "QQLogin"   5 "taobaoLogin"
//
// The form lives in a scroll view whose bottom stays keyboardH above the form's bottom
// (updateConstraints), so the shown keyboard never hides a field. The account field starts
// with the "userName" of the stored "loginInfo" when that is a text that is not empty; the
// password is never filled in.

#include <memory>

#include "app/ui/ParentsViewController.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITextField.h"

class TZLoginView : public ParentView {
 public:
  // init: grey background (242), keyboardH 0, the form built.
  static std::shared_ptr<TZLoginView> make() { return makeView<TZLoginView>(CGRectZero); }
  void setUpWithFrame(CGRect frame) override;

  std::shared_ptr<UITextField> userTextField() const { return userTextField_; }
  std::shared_ptr<UITextField> passwordTextField() const { return passwordTextField_; }
  std::shared_ptr<UIButton> loginButton() const { return loginButton_; }
  std::shared_ptr<UIButton> forgetPasswordButton() const { return forgetPasswordButton_; }
  std::shared_ptr<UIScrollView> bgScrollView() const { return bgScrollView_; }
  std::shared_ptr<UIView> contentView() const { return contentView_; }
  std::shared_ptr<UIView> bgView() const { return bgView_; }

  CGFloat keyboardH() const { return keyboardH_; }
  void setKeyboardH(CGFloat height) { keyboardH_ = height; }

  // YES when both fields hold text; otherwise the alert "请输入账号" (checked first) or
  // "请输入密码" without title, and NO. No trimming, no length rule.
  bool ruleLogin();
  // A custom button with the named image, this form's buttonClick and the tag.
  std::shared_ptr<UIButton> createButtonWithImage(const std::shared_ptr<NSString>& imageName, NSInteger tag);
  void buttonClick(const std::shared_ptr<UIButton>& sender);
  void updateConstraints() override;

 private:
  void createUI();
  std::shared_ptr<UIButton> textButton(const char* title, NSInteger tag);

  std::shared_ptr<UITextField> userTextField_;
  std::shared_ptr<UITextField> passwordTextField_;
  std::shared_ptr<UIButton> loginButton_;
  std::shared_ptr<UIButton> forgetPasswordButton_;
  std::shared_ptr<UIScrollView> bgScrollView_;
  std::shared_ptr<UIView> contentView_;
  std::shared_ptr<UIView> bgView_;
  CGFloat keyboardH_ = 0;
};
