#pragma once
// The e-mail and QQ form of "信息填写": two captioned rows in a white box and "完成" (tag 0)
// below, which reports through myBlock. The screen checks and sends; the form holds no logic.
// keyBoardH is only kept: the form stays where it is whatever the keyboard does.

#include <memory>

#include "app/ui/ParentsViewController.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UITextField.h"

class TZEmailSetupView : public ParentView {
 public:
  static std::shared_ptr<TZEmailSetupView> initWithFrame(CGRect frame) { return makeView<TZEmailSetupView>(frame); }
  void setUpWithFrame(CGRect frame) override;

  std::shared_ptr<UITextField> emailTextField() const { return emailTextField_; }
  std::shared_ptr<UITextField> QQTextField() const { return QQTextField_; }
  std::shared_ptr<UIButton> completeButton() const { return completeButton_; }
  std::shared_ptr<UIView> bgView() const { return bgView_; }
  double keyBoardH() const { return keyBoardH_; }
  void setKeyBoardH(double height) { keyBoardH_ = height; }

  void buttonClick(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }

 private:
  void createUI();

  std::shared_ptr<UITextField> emailTextField_;
  std::shared_ptr<UITextField> QQTextField_;
  std::shared_ptr<UIButton> completeButton_;
  std::shared_ptr<UIView> bgView_;
  double keyBoardH_ = 0;
};
