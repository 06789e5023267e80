#include "app/screens/account/TZRegisterView.h"

#include "app/screens/account/AccountForm.h"
#include "app/ui/UIAlertView+TapBlocks.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UILabel.h"
#include "ui/layout/LCAdditions.h"
#include "ui/layout/LCConstraintMaker.h"

namespace {
constexpr CGFloat kRowHeight = 51;
}  // namespace

namespace zvt::account {

std::shared_ptr<UIButton> makeSmsCodeButton() {
  auto button = UIButton::buttonWithType(UIButtonTypeCustom);
  button->setTitle("获取验证码"_ns, UIControlStateNormal);
  button->titleLabel()->setFont(UIFont::systemFontOfSize(14));
  button->setTitleColor(zvt::actionColor(), UIControlStateNormal);
  button->setTitleColor(placeholderTextColor(), UIControlStateSelected);
  button->layer()->setBorderWidth(1);
  button->layer()->setBorderColor(zvt::actionColor()->CGColor());
  button->layer()->setCornerRadius(4);
  return button;
}

std::shared_ptr<UIButton> addSmsCodeRow(const std::shared_ptr<UIView>& box, CGFloat rowTop, CGFloat rowHeight,
                                        const std::shared_ptr<UITextField>& codeField,
                                        const std::shared_ptr<UIView>& alignedWith) {
  auto button = makeSmsCodeButton();
  button->setTag(0);
  box->addSubview(button);
  lc_makeConstraints(button, [&](const auto& make) {
    make->right()->equalTo(box)->offset(-15);
    make->top()->equalTo(box)->offset(rowTop + 8);
    make->height()->lc_equalTo(rowHeight - 16);
    make->width()->lc_equalTo(110);
  });
  box->addSubview(codeField);
  lc_makeConstraints(codeField, [&](const auto& make) {
    make->left()->equalTo(alignedWith);
    make->right()->equalTo(lc_left(button))->offset(-5);
    make->top()->equalTo(box)->offset(rowTop);
    make->height()->lc_equalTo(rowHeight);
  });
  return button;
}

std::shared_ptr<UIButton> addPartnerSection(const std::shared_ptr<UIView>& content, const char* caption) {
  auto taobao = UIButton::buttonWithType(UIButtonTypeCustom);
  auto image = UIImage::imageNamed("taobaoLogin"_ns);
  taobao->setImage(image, UIControlStateNormal);
  const CGSize size = image ? image->size() : CGSizeMake(50, 50);
  content->addSubview(taobao);
  lc_makeConstraints(taobao, [&](const auto& make) {
    make->centerX()->equalTo(content);
    make->bottom()->equalTo(content)->offset(-31);
    make->width()->lc_equalTo(size.width);
    make->height()->lc_equalTo(size.height);
  });
  auto label = UILabel::initWithFrame(CGRectZero);
  label->setText(NSString::stringWithUTF8String(caption));
  label->setFont(UIFont::systemFontOfSize(13));
  label->setTextColor(placeholderTextColor());
  label->setTextAlignment(NSTextAlignmentCenter);
  content->addSubview(label);
  lc_makeConstraints(label, [&](const auto& make) {
    make->centerX()->equalTo(content);
    make->bottom()->equalTo(lc_top(taobao))->offset(-25);
    make->width()->lc_equalTo(100);
    make->height()->lc_equalTo(20);
  });
  for (int side : {-1, 1}) {
    auto line = UIView::initWithFrame(CGRectZero);
    line->setBackgroundColor(separatorColor());
    content->addSubview(line);
    lc_makeConstraints(line, [&](const auto& make) {
      make->centerY()->equalTo(label);
      make->height()->lc_equalTo(1);
      if (side < 0) {
        make->left()->equalTo(content)->offset(40);
        make->right()->equalTo(lc_left(label))->offset(-5);
      } else {
        make->left()->equalTo(lc_right(label))->offset(5);
        make->right()->equalTo(content)->offset(-40);
      }
    });
  }
  return taobao;
}

}  // namespace zvt::account

void TZRegisterView::setUpWithFrame(CGRect frame) {
  ParentView::setUpWithFrame(frame);
  setBackgroundColor(zvt::screenBackgroundColor());
  keyBoardH_ = 0;
  createUI();
}

void TZRegisterView::createUI() {
  auto form = std::static_pointer_cast<UIView>(self());
  auto scroll = zvt::account::makeFormScroll(form, zvt::account::formContentHeight());
  bgScrollView_ = scroll.scrollView;
  contentView_ = scroll.contentView;
  auto content = contentView_;

  phoneTextField_ = zvt::account::makeFormField("输入您的手机号"_ns, UIKeyboardTypePhonePad);
  verticalTextField_ = zvt::account::makeFormField("输入短信验证码"_ns, UIKeyboardTypeNumberPad);
  passwordTextField_ = zvt::account::makeFormField("设定6~20位密码"_ns, UIKeyboardTypeDefault, true);
  // The code row's field shares its row with the code button, so the box gets no field there.
  bgView_ = zvt::account::makeIconRowBox(
      {{"loginPhone", phoneTextField_}, {"loginVertical", nullptr}, {"loginPassword", passwordTextField_}}, kRowHeight);
  content->addSubview(bgView_);
  lc_makeConstraints(bgView_, [&](const auto& make) {
    make->top()->equalTo(content)->offset(10);
    make->left()->right()->equalTo(content);
    make->height()->lc_equalTo(zvt::account::iconRowBoxHeight(3, kRowHeight));
  });

  verticalButton_ = zvt::account::addSmsCodeRow(bgView_, kRowHeight + 0.5, kRowHeight, verticalTextField_, phoneTextField_);
  verticalButton_->addTarget(self(), &TZRegisterView::buttonClick, UIControlEventTouchUpInside);

  registerButton_ = zvt::account::makeMainButton("注 册"_ns);
  registerButton_->setTag(1);
  registerButton_->addTarget(self(), &TZRegisterView::buttonClick, UIControlEventTouchUpInside);
  content->addSubview(registerButton_);
  lc_makeConstraints(registerButton_, [&](const auto& make) {
    make->top()->equalTo(lc_bottom(bgView_))->offset(15);
    make->left()->equalTo(content)->offset(15);
    make->right()->equalTo(content)->offset(-15);
    make->height()->lc_equalTo(45);
  });

  taobaoButton_ = zvt::account::addPartnerSection(content, "合作账号注册");
  taobaoButton_->setTag(2);
  taobaoButton_->addTarget(self(), &TZRegisterView::buttonClick, UIControlEventTouchUpInside);

  countDown_ = zvt::account::SmsCountDown::make(verticalButton_);
}

void TZRegisterView::setKeyBoardH(double height) {
  keyBoardH_ = height;
  setNeedsUpdateConstraints();
  updateConstraintsIfNeeded();
}

bool TZRegisterView::ruleRegister() {
  struct Rule {
    std::shared_ptr<UITextField> field;
    const char* alert;
  };
  for (const Rule& rule : {Rule{phoneTextField_, "请输入手机号"}, Rule{verticalTextField_, "请输入验证码"},
                           Rule{passwordTextField_, "请输入密码"}}) {
    if (rule.field->text()->length() == 0) {
      showWithTitle(nullptr, NSString::stringWithUTF8String(rule.alert));
      return false;
    }
  }
  return true;
}

void TZRegisterView::startCountDown() { countDown_->start(self()); }

void TZRegisterView::endCountDown() { countDown_->end(); }

void TZRegisterView::buttonClick(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }

void TZRegisterView::updateConstraints() {
  zvt::account::followKeyboard(bgScrollView_, std::static_pointer_cast<UIView>(self()), keyBoardH_);
  ParentView::updateConstraints();
}
