#pragma once
// The retrieval form: "邮箱找回" / "手机号找回" on a segmented control, the hint, one field with its
// icon and the button. `type` holds the mode, "1" e-mail (the first) or "2" phone; every switch
// empties the field and dresses field, icon and button for the mode: e-mail gives the e-mail
// keyboard, "输入已注册邮箱" and an orange "发送邮件到邮箱" taking touches; phone gives the phone
// pad, "输入已注册手机号" and a grey "下一步" taking none until the screen has a full number.
// The button reports through myBlock; the form sends nothing itself.

#include <memory>

#include "app/ui/ParentsViewController.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UISegmentedControl.h"
#include "platform/uikit/UITextField.h"

class TZRetrievePasswordView : public ParentView {
 public:
  static std::shared_ptr<TZRetrievePasswordView> make() { return makeView<TZRetrievePasswordView>(CGRectZero); }
  void setUpWithFrame(CGRect frame) override;

  std::shared_ptr<NSString> type() const { return type_; }
  void setType(const std::shared_ptr<NSString>& value) { type_ = value; }
  std::shared_ptr<UISegmentedControl> segmentedControl() const { return segmentedControl_; }
  std::shared_ptr<UIImageView> retrieveImageView() const { return retrieveImageView_; }
  std::shared_ptr<UITextField> retrieveTextField() const { return retrieveTextField_; }
  std::shared_ptr<UIButton> nextButton() const { return nextButton_; }
  std::shared_ptr<UIScrollView> bgScrollView() const { return bgScrollView_; }
  std::shared_ptr<UIView> contentView() const { return contentView_; }
  std::shared_ptr<UIView> bgView() const { return bgView_; }

  void segmentAction(const std::shared_ptr<UISegmentedControl>& sender);
  void buttonClick(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }

 private:
  void createUI();

  std::shared_ptr<NSString> type_;
  std::shared_ptr<UISegmentedControl> segmentedControl_;
  std::shared_ptr<UIImageView> retrieveImageView_;
  std::shared_ptr<UITextField> retrieveTextField_;
  std::shared_ptr<UIButton> nextButton_;
  std::shared_ptr<UIScrollView> bgScrollView_;
  std::shared_ptr<UIView> contentView_;
  std::shared_ptr<UIView> bgView_;
};
