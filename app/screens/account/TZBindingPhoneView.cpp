#include "app/screens/account/TZBindingPhoneView.h"

#include "app/screens/account/AccountForm.h"
#include "app/screens/account/TZRegisterView.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UILabel.h"
#include "ui/layout/LCAdditions.h"
#include "ui/layout/LCConstraintMaker.h"

namespace {
constexpr CGFloat kRowHeight = 51;
constexpr CGFloat kNoteHeight = 50;
}  // namespace

void TZBindingPhoneView::setUpWithFrame(CGRect frame) {
  ParentView::setUpWithFrame(frame);
  setBackgroundColor(zvt::screenBackgroundColor());
  keyBoardH_ = 0;
  createUI();
}

void TZBindingPhoneView::createUI() {
  auto form = std::static_pointer_cast<UIView>(self());
  auto scroll = zvt::account::makeFormScroll(form, zvt::account::formContentHeight());
  bgScrollView_ = scroll.scrollView;
  contentView_ = scroll.contentView;
  auto content = contentView_;

  auto note = UILabel::initWithFrame(CGRectZero);
  note->setText("    为了资金安全，请绑定手机号，设置提现密码"_ns);
  note->setFont(UIFont::systemFontOfSize(14));
  note->setTextColor(zvt::account::placeholderTextColor());
  content->addSubview(note);
  lc_makeConstraints(note, [&](const auto& make) {
    make->top()->left()->right()->equalTo(content);
    make->height()->lc_equalTo(kNoteHeight);
  });

  phoneTextField_ = zvt::account::makeFormField("输入您的手机号"_ns, UIKeyboardTypePhonePad);
  verticalTextField_ = zvt::account::makeFormField("输入短信验证码"_ns, UIKeyboardTypeNumberPad);
  passwordTextField_ = zvt::account::makeFormField("设定6~20位密码"_ns, UIKeyboardTypeDefault, true);
  bgView_ = zvt::account::makeIconRowBox(
      {{"loginPhone", phoneTextField_}, {"loginVertical", nullptr}, {"loginPassword", passwordTextField_}}, kRowHeight);
  content->addSubview(bgView_);
  lc_makeConstraints(bgView_, [&](const auto& make) {
    make->top()->equalTo(lc_bottom(note));
    make->left()->right()->equalTo(content);
    make->height()->lc_equalTo(zvt::account::iconRowBoxHeight(3, kRowHeight));
  });

  verticalButton_ = zvt::account::addSmsCodeRow(bgView_, kRowHeight + 0.5, kRowHeight, verticalTextField_, phoneTextField_);
  verticalButton_->addTarget(self(), &TZBindingPhoneView::buttonClick, UIControlEventTouchUpInside);

  finishedButton_ = zvt::account::makeMainButton("完 成"_ns);
  finishedButton_->setTag(1);
  finishedButton_->addTarget(self(), &TZBindingPhoneView::buttonClick, UIControlEventTouchUpInside);
  zvt::account::setMainButtonEnabled(finishedButton_, false);
  content->addSubview(finishedButton_);
  lc_makeConstraints(finishedButton_, [&](const auto& make) {
    make->top()->equalTo(lc_bottom(bgView_))->offset(15);
    make->left()->equalTo(content)->offset(15);
    make->right()->equalTo(content)->offset(-15);
    make->height()->lc_equalTo(45);
  });

  countDown_ = zvt::account::SmsCountDown::make(verticalButton_);
}

void TZBindingPhoneView::setKeyBoardH(double height) {
  keyBoardH_ = height;
  setNeedsUpdateConstraints();
  updateConstraintsIfNeeded();
}

void TZBindingPhoneView::updateConstraints() {
  zvt::account::followKeyboard(bgScrollView_, std::static_pointer_cast<UIView>(self()), keyBoardH_);
  ParentView::updateConstraints();
}

void TZBindingEmailView::setUpWithFrame(CGRect frame) {
  ParentView::setUpWithFrame(frame);
  setBackgroundColor(zvt::screenBackgroundColor());
  auto form = std::static_pointer_cast<UIView>(self());
  auto scroll = zvt::account::makeFormScroll(form, zvt::account::formContentHeight());
  bgScrollView_ = scroll.scrollView;
  contentView_ = scroll.contentView;
  auto content = contentView_;
  emailTextField_ = zvt::account::makeFormField("输入邮箱"_ns, UIKeyboardTypeEmailAddress);
  passwordTextField_ = zvt::account::makeFormField("请设定密码(用于金额提现)"_ns, UIKeyboardTypeDefault, true);
  bgView_ = zvt::account::makeIconRowBox({{"loginEmail", emailTextField_}, {"loginPassword", passwordTextField_}}, kRowHeight);
  content->addSubview(bgView_);
  lc_makeConstraints(bgView_, [&](const auto& make) {
    make->top()->equalTo(content)->offset(10);
    make->left()->right()->equalTo(content);
    make->height()->lc_equalTo(zvt::account::iconRowBoxHeight(2, kRowHeight));
  });
  finishButton_ = zvt::account::makeMainButton("完 成"_ns);
  finishButton_->setTag(0);
  finishButton_->addTarget(self(), &TZBindingEmailView::buttonClick, UIControlEventTouchUpInside);
  // Grey takes no touches, from the start as in every later grey state.
  zvt::account::setMainButtonEnabled(finishButton_, false);
  content->addSubview(finishButton_);
  lc_makeConstraints(finishButton_, [&](const auto& make) {
    make->top()->equalTo(lc_bottom(bgView_))->offset(15);
    make->left()->equalTo(content)->offset(15);
    make->right()->equalTo(content)->offset(-15);
    make->height()->lc_equalTo(45);
  });
}
