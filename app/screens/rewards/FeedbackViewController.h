#pragma once
// The feedback screen ("意见反馈", analytics page "意见反馈页"): any user, logged in or not, sends
// a free text ("id" the user's, "6" without a user). Success thanks the user for 2 s and pops the
// screen (only while it is still the one shown); a failure shows its text in an alert and keeps
// what was typed. One suggestion at a time: while one is on its way "提交意见" sends nothing; a
// refusal or a failed connection lets the next one go, a success none.
//
// The box starts with the prompt "请填写您宝贵的建议", which is cleared when the user taps into
// it; text the user has typed survives leaving the box and tapping back into it.

#include <memory>

#include "app/ui/ParentsViewController.h"
#include "platform/uikit/NSLayoutConstraint.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITextView.h"

class FeedBackView : public ParentView {
 public:
  static std::shared_ptr<FeedBackView> initWithFrame(CGRect frame);

  std::shared_ptr<UIScrollView> bgScrollView() const { return bgScrollView_; }
  std::shared_ptr<UIView> contentView() const { return contentView_; }
  std::shared_ptr<UITextView> feedbackTextView() const { return feedbackTextView_; }
  std::shared_ptr<UIButton> submitButton() const { return submitButton_; }

  // The keyboard is up, and its height (0 otherwise): the scroll view's bottom stays above it.
  bool isUpdateConstraints = false;
  CGFloat keyboardH = 0;

  void updateConstraints() override;
  void submitAction(const std::shared_ptr<UIButton>& sender);

  // The prompt the box starts with.
  static std::shared_ptr<NSString> prompt();

 private:
  void createUI();

  std::shared_ptr<UIScrollView> bgScrollView_;
  std::shared_ptr<UIView> contentView_;
  std::shared_ptr<UITextView> feedbackTextView_;
  std::shared_ptr<UIButton> submitButton_;
  std::shared_ptr<NSLayoutConstraint> bottomConstraint_;
};

class FeedbackViewController : public ParentsViewController, public UITextViewDelegate {
 public:
  static std::shared_ptr<FeedbackViewController> make() { return std::make_shared<FeedbackViewController>(); }

  std::shared_ptr<FeedBackView> feedbackView() const { return feedbackView_; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void submitFeedBack();
  // Whether the box's text may be sent: not empty and not the prompt.
  bool ruleForSendMessage() const;

  void keyboardWillShow(const std::shared_ptr<NSNotification>& notification);
  void keyboardWillHide(const std::shared_ptr<NSNotification>& notification);
  bool textViewShouldBeginEditing(const std::shared_ptr<UITextView>& textView) override;

 private:
  void createUI();
  void setKeyboardHeight(bool up, CGFloat height);

  std::shared_ptr<FeedBackView> feedbackView_;
  bool submitting_ = false;
};
