#include "app/screens/account/TZVertialPhoneView.h"

#include "app/screens/account/AccountForm.h"
#include "app/screens/account/TZModifyView.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UILabel.h"
#include "ui/layout/LCAdditions.h"
#include "ui/layout/LCConstraintMaker.h"

void TZVertialPhoneView::setUpWithFrame(CGRect frame) {
  ParentView::setUpWithFrame(frame);
  setBackgroundColor(zvt::screenBackgroundColor());
  createUI();
}

void TZVertialPhoneView::createUI() {
  phoneTextField_ = UITextField::make();
  zvt::account::styleFormField(phoneTextField_, "输入手机号"_ns);
  phoneTextField_->setKeyboardType(UIKeyboardTypePhonePad);
  verticalTextField_ = UITextField::make();
  zvt::account::styleFormField(verticalTextField_, "输入验证码"_ns);
  verticalTextField_->setKeyboardType(UIKeyboardTypeNumberPad);
  auto parts = zvt::account::makeCodeForm(std::static_pointer_cast<UIView>(self()), {"loginPhone", phoneTextField_, false},
                                          {"loginVertical", verticalTextField_, true});
  bgScrollView_ = parts.scrollView;
  contentView_ = parts.contentView;
  bgView_ = parts.box;
  verticalButton_ = parts.verticalButton;
  finishButton_ = parts.finishButton;
  for (const auto& button : {verticalButton_, finishButton_})
    button->addTarget(self(), &TZVertialPhoneView::buttonClick, UIControlEventTouchUpInside);

  auto note = UILabel::initWithFrame(CGRectZero);
  note->setText("验证后手机号也可用于登录"_ns);
  note->setTextColor(UIColor::grayColor());
  note->setFont(UIFont::systemFontOfSize(14));
  contentView_->addSubview(note);
  lc_makeConstraints(note, [&](const auto& make) {
    make->top()->equalTo(lc_bottom(finishButton_))->offset(15);
    make->left()->right()->equalTo(finishButton_);
  });
  countDown_ = zvt::account::SmsCountDown::make(verticalButton_);
}
