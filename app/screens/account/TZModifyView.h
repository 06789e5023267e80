#pragma once
// The password-reset form: the SMS code with "获取验证码" and its 60-second count-down, a new
// password, and "完 成". Buttons report through myBlock: tag 0 the code button, tag 1 the
// finish button, which starts grey and taking no touches (the reset screen lights it while
// both fields hold text). The form checks nothing and sends nothing itself; the password's
// "6~20" is a hint, the service judges it.
//
// Its layout (two 51-point rows in a white box 10 below the top, the code button 110 x 35 in
// its row, the 45-point finish button 15 under the box) is the design of every form that
// takes an SMS code for a number already known or typed beside it: zvt::account::makeCodeForm
// builds it, and the phone verification form is built by it too.

#include <memory>
#include <string>

#include "app/screens/account/SmsCountDown.h"
#include "app/ui/ParentsViewController.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITextField.h"

namespace zvt::account {

// One row of a code form: its 18 x 18 icon and its field; the row holding the code button has
// the field end 5 short of the button, the other row 5 short of the box's right edge.
struct CodeFormRow {
  std::string icon;
  std::shared_ptr<UITextField> field;
  bool codeButton = false;
};

struct CodeFormParts {
  std::shared_ptr<UIScrollView> scrollView;  // fills the form
  std::shared_ptr<UIView> contentView;       // the longer screen side less 64 high
  std::shared_ptr<UIView> box;               // the white box of the two rows
  std::shared_ptr<UIButton> verticalButton;  // "获取验证码", tag 0
  std::shared_ptr<UIButton> finishButton;    // "完 成", tag 1, grey and taking no touches
};

// Builds the code form's parts into `form`: the scroll view and its content, the box 10 below
// the content's top with `upper` and `lower` parted by a 0.5-point line that runs 15 from both
// sides, the code button (its right edge on the line's right end, centred in its row) and the
// finish button 15 under the box, 15 from both sides. The caller adds the buttons' targets.
CodeFormParts makeCodeForm(const std::shared_ptr<UIView>& form, const CodeFormRow& upper, const CodeFormRow& lower);

}  // namespace zvt::account

class TZModifyView : public ParentView {
 public:
  static std::shared_ptr<TZModifyView> make() { return makeView<TZModifyView>(CGRectZero); }
  void setUpWithFrame(CGRect frame) override;

  std::shared_ptr<UIScrollView> bgScrollView() const { return bgScrollView_; }
  std::shared_ptr<UIView> contentView() const { return contentView_; }
  std::shared_ptr<UIView> bgView() const { return bgView_; }
  std::shared_ptr<UITextField> verticalTextField() const { return verticalTextField_; }
  std::shared_ptr<UITextField> passwordTextField() const { return passwordTextField_; }
  std::shared_ptr<UIButton> verticalButton() const { return verticalButton_; }
  std::shared_ptr<UIButton> finishButton() const { return finishButton_; }

  // The count-down of the code button (SmsCountDown.h): a new one cancels a running one; the
  // timer keeps the form until the count ends.
  void startCountDown() { countDown_->start(self()); }
  void endCountDown() { countDown_->end(); }
  // The running count-down's timer, or the last one; nil before the first.
  dispatch_source_t mytimer() const { return countDown_->timer(); }
  const std::shared_ptr<zvt::account::SmsCountDown>& countDown() const { return countDown_; }

  void buttonClick(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }

 private:
  void createUI();

  std::shared_ptr<UIScrollView> bgScrollView_;
  std::shared_ptr<UIView> contentView_;
  std::shared_ptr<UIView> bgView_;
  std::shared_ptr<UITextField> verticalTextField_;
  std::shared_ptr<UITextField> passwordTextField_;
  std::shared_ptr<UIButton> verticalButton_;
  std::shared_ptr<UIButton> finishButton_;
  std::shared_ptr<zvt::account::SmsCountDown> countDown_;
};
