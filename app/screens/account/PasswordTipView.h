#pragma once
// The overlay that says which password the Alipay binding and the withdrawal forms ask for (the
// login password of the user's own account) and what to do when it is forgotten. The screen
// that shows it creates it with its own view's bounds and adds it on top of that view, so the
// navigation bar above stays usable; the overlay takes every touch in its frame and only its
// "知道了" button closes it. Fixed text, no state of its own; myBlock is never run.

#include <memory>

#include "app/ui/ParentsViewController.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UILabel.h"

class PasswordTipView : public ParentView {
 public:
  static std::shared_ptr<PasswordTipView> initWithFrame(CGRect frame) { return makeView<PasswordTipView>(frame); }
  void setUpWithFrame(CGRect frame) override;

  void buttonClick();

  // The parts, for the screens' tests.
  std::shared_ptr<UIView> cardView() const { return card_; }
  std::shared_ptr<UILabel> firstParagraph() const { return first_; }
  std::shared_ptr<UILabel> secondParagraph() const { return second_; }
  std::shared_ptr<UIButton> closeButton() const { return button_; }

 private:
  void createUI();

  std::shared_ptr<UIView> card_;
  std::shared_ptr<UILabel> first_;
  std::shared_ptr<UILabel> second_;
  std::shared_ptr<UIButton> button_;
};
