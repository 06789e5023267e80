#include "app/screens/account/TZModifyView.h"

#include "app/screens/account/AccountForm.h"
#include "app/screens/account/TZRegisterView.h"
#include "ui/layout/LCAdditions.h"
#include "ui/layout/LCConstraintMaker.h"

namespace zvt::account {

namespace {
constexpr CGFloat kRowHeight = 51;
constexpr CGFloat kInset = 15;
constexpr CGFloat kIconSide = 18;
}  // namespace

CodeFormParts makeCodeForm(const std::shared_ptr<UIView>& form, const CodeFormRow& upper, const CodeFormRow& lower) {
  CodeFormParts parts;
  auto scroll = makeFormScroll(form, formContentHeight());
  parts.scrollView = scroll.scrollView;
  parts.contentView = scroll.contentView;
  auto content = parts.contentView;

  // The box draws the icons and the line; the fields and the button are placed here, since
  // their right ends depend on the button.
  parts.box = makeIconRowBox({{upper.icon, nullptr}, {lower.icon, nullptr}}, kRowHeight);
  auto box = parts.box;
  content->addSubview(box);
  lc_makeConstraints(box, [&](const auto& make) {
    make->top()->equalTo(content)->offset(10);
    make->left()->right()->equalTo(content);
    make->height()->lc_equalTo(iconRowBoxHeight(2, kRowHeight));
  });

  parts.verticalButton = makeSmsCodeButton();
  parts.verticalButton->setTag(0);
  const CGFloat tops[2] = {0, kRowHeight + 0.5};
  const CodeFormRow* rows[2] = {&upper, &lower};
  for (int i = 0; i < 2; ++i) {
    if (!rows[i]->codeButton) continue;
    box->addSubview(parts.verticalButton);
    lc_makeConstraints(parts.verticalButton, [&](const auto& make) {
      make->right()->equalTo(box)->offset(-kInset);
      make->top()->equalTo(box)->offset(tops[i] + (kRowHeight - 35) / 2);
      make->width()->lc_equalTo(110);
      make->height()->lc_equalTo(35);
    });
    break;
  }
  for (int i = 0; i < 2; ++i) {
    auto field = rows[i]->field;
    if (!field) continue;
    box->addSubview(field);
    lc_makeConstraints(field, [&](const auto& make) {
      make->left()->equalTo(box)->offset(kInset + kIconSide + 10);
      if (rows[i]->codeButton) {
        make->right()->equalTo(lc_left(parts.verticalButton))->offset(-5);
      } else {
        make->right()->equalTo(box)->offset(-5);
      }
      make->top()->equalTo(box)->offset(tops[i]);
      make->height()->lc_equalTo(kRowHeight);
    });
  }

  parts.finishButton = makeMainButton("完 成"_ns);
  parts.finishButton->setTag(1);
  // Grey takes no touches, from the start as in every later grey state.
  setMainButtonEnabled(parts.finishButton, false);
  content->addSubview(parts.finishButton);
  lc_makeConstraints(parts.finishButton, [&](const auto& make) {
    make->top()->equalTo(lc_bottom(box))->offset(15);
    make->left()->equalTo(content)->offset(kInset);
    make->right()->equalTo(content)->offset(-kInset);
    make->height()->lc_equalTo(45);
  });
  return parts;
}

}  // namespace zvt::account

void TZModifyView::setUpWithFrame(CGRect frame) {
  ParentView::setUpWithFrame(frame);
  setBackgroundColor(zvt::screenBackgroundColor());
  createUI();
}

void TZModifyView::createUI() {
  verticalTextField_ = zvt::account::makeFormField("输入短信验证码"_ns, UIKeyboardTypeNumberPad);
  passwordTextField_ = zvt::account::makeFormField("设定6~20位密码"_ns, UIKeyboardTypeDefault, true);

  auto parts = zvt::account::makeCodeForm(std::static_pointer_cast<UIView>(self()),
                                          {"loginVertical", verticalTextField_, true},
                                          {"loginPassword", passwordTextField_, false});
  bgScrollView_ = parts.scrollView;
  contentView_ = parts.contentView;
  bgView_ = parts.box;
  verticalButton_ = parts.verticalButton;
  finishButton_ = parts.finishButton;
  for (const auto& button : {verticalButton_, finishButton_})
    button->addTarget(self(), &TZModifyView::buttonClick, UIControlEventTouchUpInside);
  countDown_ = zvt::account::SmsCountDown::make(verticalButton_);
}
