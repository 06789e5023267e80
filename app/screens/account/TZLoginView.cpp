#include "app/screens/account/TZLoginView.h"

#include "app/screens/account/AccountForm.h"
#include "app/ui/UIAlertView+TapBlocks.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UILabel.h"
#include "ui/layout/LCAdditions.h"
#include "ui/layout/LCConstraintMaker.h"

namespace {

constexpr CGFloat kRowHeight = 51;  // two rows and the line between them: 102.5

std::shared_ptr<UIColor> greyTitleColor() { return UIColor::colorWithRed(102 / 255.0, 102 / 255.0, 102 / 255.0, 1); }

// The stored account name: the "userName" of "loginInfo" when it is a text that is not empty.
std::shared_ptr<NSString> storedUserName() {
  auto loginInfo = NSUserDefaults::standardUserDefaults()->dictionaryForKey("loginInfo"_ns);
  auto name = loginInfo ? std::dynamic_pointer_cast<NSString>(loginInfo->objectForKey("userName"_ns)) : nullptr;
  return name && name->length() > 0 ? name : nullptr;
}

}  // namespace

void TZLoginView::setUpWithFrame(CGRect frame) {
  ParentView::setUpWithFrame(frame);
  setBackgroundColor(zvt::screenBackgroundColor());
  keyboardH_ = 0;
  createUI();
}

std::shared_ptr<UIButton> TZLoginView::createButtonWithImage(const std::shared_ptr<NSString>& imageName, NSInteger tag) {
  auto button = UIButton::buttonWithType(UIButtonTypeCustom);
  button->setImage(UIImage::imageNamed(imageName), UIControlStateNormal);
  button->addTarget(self(), &TZLoginView::buttonClick, UIControlEventTouchUpInside);
  button->setTag(tag);
  return button;
}

std::shared_ptr<UIButton> TZLoginView::textButton(const char* title, NSInteger tag) {
  auto button = UIButton::buttonWithType(UIButtonTypeCustom);
  button->setTitle(NSString::stringWithUTF8String(title), UIControlStateNormal);
  button->addTarget(self(), &TZLoginView::buttonClick, UIControlEventTouchUpInside);
  button->setTag(tag);
  return button;
}

void TZLoginView::createUI() {
  auto form = std::static_pointer_cast<UIView>(self());
  auto scroll = zvt::account::makeFormScroll(form, zvt::account::formContentHeight());
  bgScrollView_ = scroll.scrollView;
  contentView_ = scroll.contentView;
  auto content = contentView_;

  userTextField_ = UITextField::make();
  zvt::account::styleFormField(userTextField_, "邮箱/用户名/手机号"_ns);
  userTextField_->setReturnKeyType(UIReturnKeyNext);
  if (auto name = storedUserName()) userTextField_->setText(name);
  passwordTextField_ = UITextField::make();
  zvt::account::styleFormField(passwordTextField_, "请输入密码(6-20位数字或字母)"_ns);
  passwordTextField_->setSecureTextEntry(true);
  passwordTextField_->setReturnKeyType(UIReturnKeyGo);
  bgView_ = zvt::account::makeIconRowBox({{"loginName", userTextField_}, {"loginPassword", passwordTextField_}}, kRowHeight);
  content->addSubview(bgView_);
  lc_makeConstraints(bgView_, [&](const auto& make) {
    make->top()->equalTo(content)->offset(10);
    make->left()->right()->equalTo(content);
    make->height()->lc_equalTo(zvt::account::iconRowBoxHeight(2, kRowHeight));
  });

  loginButton_ = zvt::account::makeMainButton("登 录"_ns);
  loginButton_->addTarget(self(), &TZLoginView::buttonClick, UIControlEventTouchUpInside);
  loginButton_->setTag(0);
  content->addSubview(loginButton_);
  lc_makeConstraints(loginButton_, [&](const auto& make) {
    make->top()->equalTo(lc_bottom(bgView_))->offset(15);
    make->left()->equalTo(content)->offset(15);
    make->right()->equalTo(content)->offset(-15);
    make->height()->lc_equalTo(45);
  });

  forgetPasswordButton_ = textButton("忘记密码?", 1);
  forgetPasswordButton_->titleLabel()->setFont(UIFont::systemFontOfSize(13));
  forgetPasswordButton_->setTitleColor(greyTitleColor(), UIControlStateNormal);
  forgetPasswordButton_->setContentHorizontalAlignment(UIControlContentHorizontalAlignmentRight);
  content->addSubview(forgetPasswordButton_);
  lc_makeConstraints(forgetPasswordButton_, [&](const auto& make) {
    make->top()->equalTo(lc_bottom(loginButton_))->offset(8);
    make->right()->equalTo(loginButton_);
    make->width()->lc_equalTo(80);
    make->height()->lc_equalTo(30);
  });

  auto registerButton = textButton("10秒快速注册", 2);
  registerButton->titleLabel()->setFont(UIFont::systemFontOfSize(14));
  registerButton->setTitleColor(zvt::actionColor(), UIControlStateNormal);
  registerButton->layer()->setBorderWidth(1);
  registerButton->layer()->setBorderColor(zvt::actionColor()->CGColor());
  registerButton->layer()->setCornerRadius(4);
  content->addSubview(registerButton);
  lc_makeConstraints(registerButton, [&](const auto& make) {
    make->top()->equalTo(lc_bottom(loginButton_))->offset(76);
    make->centerX()->equalTo(content)->offset(33);
    make->width()->lc_equalTo(110);
    make->height()->lc_equalTo(34);
  });
  auto noAccount = UILabel::initWithFrame(CGRectZero);
  noAccount->setText("没有账号？"_ns);
  noAccount->setFont(UIFont::systemFontOfSize(14));
  noAccount->setTextColor(zvt::account::placeholderTextColor());
  noAccount->setTextAlignment(NSTextAlignmentRight);
  content->addSubview(noAccount);
  lc_makeConstraints(noAccount, [&](const auto& make) {
    make->right()->equalTo(lc_left(registerButton))->offset(-5);
    make->centerY()->equalTo(registerButton);
    make->width()->lc_equalTo(80);
    make->height()->lc_equalTo(20);
  });

  // The partner logins near the bottom, under their caption between two grey lines.
  auto partners = UILabel::initWithFrame(CGRectZero);
  partners->setText("合作账号登录"_ns);
  partners->setFont(UIFont::systemFontOfSize(13));
  partners->setTextColor(zvt::account::placeholderTextColor());
  partners->setTextAlignment(NSTextAlignmentCenter);
  content->addSubview(partners);
  lc_makeConstraints(partners, [&](const auto& make) {
    make->centerX()->equalTo(content);
    make->bottom()->equalTo(content)->offset(-120);
    make->width()->lc_equalTo(100);
    make->height()->lc_equalTo(20);
  });
  for (int side : {-1, 1}) {
    auto line = UIView::initWithFrame(CGRectZero);
    line->setBackgroundColor(zvt::account::separatorColor());
    content->addSubview(line);
    lc_makeConstraints(line, [&](const auto& make) {
      make->centerY()->equalTo(partners);
      make->height()->lc_equalTo(0.5);
      if (side < 0) {
        make->left()->equalTo(content)->offset(15);
        make->right()->equalTo(lc_left(partners));
      } else {
        make->left()->equalTo(lc_right(partners));
        make->right()->equalTo(content)->offset(-15);
      }
    });
  }
  auto sina = createButtonWithImage("sinaLogin"_ns, 3);
  sina->setHidden(true);
  auto qq = createButtonWithImage("QQLogin"_ns, 4);
  auto taobao = createButtonWithImage("taobaoLogin"_ns, 5);
  struct Placed {
    std::shared_ptr<UIButton> button;
    CGFloat centerOffset;
  };
  for (const Placed& placed : {Placed{sina, 0}, Placed{qq, -60}, Placed{taobao, 60}}) {
    content->addSubview(placed.button);
    lc_makeConstraints(placed.button, [&](const auto& make) {
      make->top()->equalTo(lc_bottom(partners))->offset(20);
      make->centerX()->equalTo(content)->offset(placed.centerOffset);
      make->width()->height()->lc_equalTo(50);
    });
  }
}

bool TZLoginView::ruleLogin() {
  if (userTextField_->text()->length() == 0) {
    showWithTitle(nullptr, "请输入账号"_ns);
    return false;
  }
  if (passwordTextField_->text()->length() == 0) {
    showWithTitle(nullptr, "请输入密码"_ns);
    return false;
  }
  return true;
}

void TZLoginView::buttonClick(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }

void TZLoginView::updateConstraints() {
  zvt::account::followKeyboard(bgScrollView_, std::static_pointer_cast<UIView>(self()), keyboardH_);
  ParentView::updateConstraints();
}
