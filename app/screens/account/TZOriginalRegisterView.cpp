#include "app/screens/account/TZOriginalRegisterView.h"

#include <cstdlib>
#include <mutex>

#include "app/screens/account/AccountForm.h"
#include "app/screens/account/TZRegisterView.h"
#include "app/ui/UIAlertView+TapBlocks.h"
#include "app/ui/UIKitCategories.h"
#include "app/utilities/ZVTFunction.h"
#include "platform/graphics/UIImage.h"
#include "platform/text/NSStringDrawing.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINib.h"
#include "ui/layout/LCAdditions.h"
#include "ui/layout/LCConstraintMaker.h"

namespace zvt::account {

namespace {
std::mutex randomMutex;
RandomSource& randomSource() {
  static RandomSource source;
  return source;
}
}  // namespace

void setAuthCodeRandom(RandomSource source) {
  std::lock_guard<std::mutex> lock(randomMutex);
  randomSource() = std::move(source);
}

uint32_t authCodeRandom(AuthCodeRandomUse use) {
  RandomSource source;
  {
    std::lock_guard<std::mutex> lock(randomMutex);
    source = randomSource();
  }
  return source ? source(use) : arc4random();
}

}  // namespace zvt::account

namespace {

using zvt::account::AuthCodeRandomUse;
uint32_t randomColour() { return zvt::account::authCodeRandom(AuthCodeRandomUse::colour); }
uint32_t randomOffset() { return zvt::account::authCodeRandom(AuthCodeRandomUse::offset); }

// A random opaque colour, each channel a random byte over 256.
std::shared_ptr<UIColor> randomColor() {
  const CGFloat red = (randomColour() & 255) / 256.0;
  const CGFloat green = (randomColour() & 255) / 256.0;
  const CGFloat blue = (randomColour() & 255) / 256.0;
  return UIColor::colorWithRed(red, green, blue, 1);
}

// A whole-number range of at least 1, so that a narrow, short or empty rectangle neither
// divides by zero nor wraps around to a huge unsigned range.
uint32_t rangeOf(CGFloat extent) {
  if (!(extent >= 1)) return 1;
  return static_cast<uint32_t>(std::min<CGFloat>(extent, 4294967295.0));
}

constexpr CGFloat kRowHeight = 45;

}  // namespace

// --- TZGetAuthCodeView

void TZGetAuthCodeView::awakeFromNib() {
  UIView::awakeFromNib();
  addGestureRecognizer(UITapGestureRecognizer::initWithTarget(self(), &TZGetAuthCodeView::tapped));
  setBackgroundColor(randomColor());
  layer()->setMasksToBounds(true);
  layer()->setCornerRadius(5);
  std::vector<id> characters;
  for (char c = '0'; c <= '9'; ++c) characters.push_back(NSString::stringWithUTF8String(std::string(1, c)));
  for (char c = 'A'; c <= 'Z'; ++c) characters.push_back(NSString::stringWithUTF8String(std::string(1, c)));
  for (char c = 'a'; c <= 'z'; ++c) characters.push_back(NSString::stringWithUTF8String(std::string(1, c)));
  dataArray_ = NSArray::arrayWithObjects(characters);
  getAuthCode();
}

void TZGetAuthCodeView::getAuthCode() {
  std::string code;
  const NSUInteger count = dataArray_ ? dataArray_->count() : 0;
  for (int i = 0; i < 4 && count > 0; ++i) {
    auto entry = std::dynamic_pointer_cast<NSString>(dataArray_->objectAtIndex(
        zvt::account::authCodeRandom(AuthCodeRandomUse::character) % count));
    if (entry) code += entry->utf8();
  }
  authCodeStr_ = NSString::stringWithUTF8String(code);
  setNeedsDisplay();
}

void TZGetAuthCodeView::touchesBegan(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) {
  UIView::touchesBegan(touches, event);
  getAuthCode();
}

void TZGetAuthCodeView::drawRect(CGRect rect) {
  UIView::drawRect(rect);
  // A new background on every redraw, painted here rather than set as the view's colour (which
  // would ask for yet another redraw).
  auto context = UIGraphicsGetCurrentContext();
  auto background = randomColor();
  if (context) {
    CGContextSetFillColorWithColor(context, background->CGColor());
    CGContextFillRect(context, rect);
    CGContextSetFillColorWithColor(context, UIColor::blackColor()->CGColor());  // the characters
  }
  auto text = authCodeStr_ ? authCodeStr_ : ""_ns;
  const CGSize reference = sizeWithFont("A"_ns, UIFont::systemFontOfSize(18));
  const NSUInteger length = text->length();
  if (length > 0) {
    const CGFloat width = rect.size.width / static_cast<CGFloat>(length);
    const uint32_t rangeX = rangeOf(width - reference.width);
    const uint32_t rangeY = rangeOf(rect.size.height - reference.height);
    for (NSUInteger i = 0; i < length; ++i) {
      const CGFloat x = (randomOffset() % rangeX) + static_cast<CGFloat>(i) * width;
      const CGFloat y = randomOffset() % rangeY;
      auto character = text->substringWithRange(NSMakeRange(i, 1));
      drawAtPoint(character, CGPointMake(rect.origin.x + x, rect.origin.y + y),
                  UIFont::systemFontOfSize(15 + (randomOffset() % 5)));
    }
  }
  if (!context) return;
  CGContextSetLineWidth(context, 0.5);
  const uint32_t rangeW = rangeOf(rect.size.width);
  const uint32_t rangeH = rangeOf(rect.size.height);
  for (int i = 0; i < 4; ++i) {
    CGContextSetStrokeColorWithColor(context, randomColor()->CGColor());
    const CGFloat x0 = randomOffset() % rangeW, y0 = randomOffset() % rangeH;
    const CGFloat x1 = randomOffset() % rangeW, y1 = randomOffset() % rangeH;
    CGContextMoveToPoint(context, rect.origin.x + x0, rect.origin.y + y0);
    CGContextAddLineToPoint(context, rect.origin.x + x1, rect.origin.y + y1);
    CGContextStrokePath(context);
  }
}

// --- TZOriginalRegisterView

void TZOriginalRegisterView::awakeFromNib() {
  ParentView::awakeFromNib();
  keyBoardH_ = 0;
  zvt::account::setMainButtonEnabled(registerButton(), false);
  if (auto box = bgView()) configLayerWithBorderWidth(box, 1, 0, zvt::account::separatorColor());
}

bool TZOriginalRegisterView::ruleRegist() {
  auto alert = [](const char* text) {
    showWithTitle(nullptr, NSString::stringWithUTF8String(text));
    return false;
  };
  if (!ZVTFunction::validateEmail(emailTextField()->text())) return alert("邮箱格式不对");
  const NSUInteger password = passwordTextField()->text()->length();
  const NSUInteger again = againPasswordTextField()->text()->length();
  if (password < 6 || password > 20 || again < 6 || again > 20) return alert("密码长度不符合标准");
  if (!againPasswordTextField()->text()->isEqualToString(passwordTextField()->text())) return alert("确认密码不对");
  auto code = authCodeView();
  if (!code || verticalTextField()->text()->caseInsensitiveCompare(code->authCodeStr()) != NSOrderedSame) {
    if (code) code->getAuthCode();
    return alert("验证码不对");
  }
  return true;
}

void TZOriginalRegisterView::updateConstraints() {
  zvt::account::followKeyboard(bgScrollView(), std::static_pointer_cast<UIView>(self()), keyBoardH_);
  ParentView::updateConstraints();
}

namespace zvt::account {

void registerOriginalRegisterNib() {
  zvt::ui::registerNibFactory("TZOriginalRegisterView", [](zvt::ui::NibBuilder& nib) -> std::vector<id> {
    auto form = nib.view<TZOriginalRegisterView>(CGRectMake(0, 0, 320, 504));
    form->setBackgroundColor(zvt::screenBackgroundColor());
    auto scroll = makeFormScroll(form, formContentHeight());
    auto content = scroll.contentView;
    form->bgScrollView_ = scroll.scrollView;

    auto field = [&](const char* placeholder, bool secure) {
      auto made = nib.view<UITextField>(CGRectZero);
      styleFormField(made, NSString::stringWithUTF8String(placeholder));
      made->setSecureTextEntry(secure);
      return made;
    };
    auto email = field("请输入邮箱地址", false);
    email->setKeyboardType(UIKeyboardTypeEmailAddress);
    auto password = field("设定6~20位密码", true);
    auto again = field("再次输入密码", true);
    auto vertical = field("输入右侧验证码", false);
    auto box = makeIconRowBox(
        {{"loginEmail", email}, {"loginPassword", password}, {"loginPassword", again}, {"loginVertical", nullptr}},
        kRowHeight);
    content->addSubview(box);
    lc_makeConstraints(box, [&](const auto& make) {
      make->top()->equalTo(content)->offset(10);
      make->left()->right()->equalTo(content);
      make->height()->lc_equalTo(iconRowBoxHeight(4, kRowHeight));
    });
    const CGFloat lastTop = 3 * (kRowHeight + 0.5);
    auto code = nib.view<TZGetAuthCodeView>(CGRectMake(0, 0, 80, 31));
    box->addSubview(code);
    lc_makeConstraints(code, [&](const auto& make) {
      make->right()->equalTo(box)->offset(-15);
      make->top()->equalTo(box)->offset(lastTop + 7);
      make->width()->lc_equalTo(80);
      make->height()->lc_equalTo(kRowHeight - 14);
    });
    box->addSubview(vertical);
    lc_makeConstraints(vertical, [&](const auto& make) {
      make->left()->equalTo(email);
      make->right()->equalTo(lc_left(code))->offset(-5);
      make->top()->equalTo(box)->offset(lastTop);
      make->height()->lc_equalTo(kRowHeight);
    });

    auto registerButton = makeMainButton("注 册"_ns);
    registerButton->setTag(1);
    registerButton->addTarget(form, &TZOriginalRegisterView::registerButtonClick, UIControlEventTouchUpInside);
    content->addSubview(registerButton);
    lc_makeConstraints(registerButton, [&](const auto& make) {
      make->top()->equalTo(lc_bottom(box))->offset(15);
      make->left()->equalTo(content)->offset(15);
      make->right()->equalTo(content)->offset(-15);
      make->height()->lc_equalTo(45);
    });
    auto haveAccount = UIButton::buttonWithType(UIButtonTypeCustom);
    haveAccount->setTitle("已有账号？去登录"_ns, UIControlStateNormal);
    haveAccount->titleLabel()->setFont(UIFont::systemFontOfSize(13));
    haveAccount->setTitleColor(zvt::actionColor(), UIControlStateNormal);
    haveAccount->setContentHorizontalAlignment(UIControlContentHorizontalAlignmentRight);
    haveAccount->setTag(2);
    haveAccount->addTarget(form, &TZOriginalRegisterView::haveAccountButtonClick, UIControlEventTouchUpInside);
    content->addSubview(haveAccount);
    lc_makeConstraints(haveAccount, [&](const auto& make) {
      make->top()->equalTo(lc_bottom(registerButton))->offset(8);
      make->right()->equalTo(registerButton);
      make->width()->lc_equalTo(140);
      make->height()->lc_equalTo(30);
    });

    // The partner buttons under their caption: Sina, QQ, Taobao.
    auto caption = UILabel::initWithFrame(CGRectZero);
    caption->setText("合作账号登录"_ns);
    caption->setFont(UIFont::systemFontOfSize(13));
    caption->setTextColor(placeholderTextColor());
    caption->setTextAlignment(NSTextAlignmentCenter);
    content->addSubview(caption);
    lc_makeConstraints(caption, [&](const auto& make) {
      make->centerX()->equalTo(content);
      make->bottom()->equalTo(content)->offset(-100);
      make->width()->lc_equalTo(100);
      make->height()->lc_equalTo(20);
    });
    for (int side : {-1, 1}) {
      auto line = UIView::initWithFrame(CGRectZero);
      line->setBackgroundColor(separatorColor());
      content->addSubview(line);
      lc_makeConstraints(line, [&](const auto& make) {
        make->centerY()->equalTo(caption);
        make->height()->lc_equalTo(0.5);
        if (side < 0) {
          make->left()->equalTo(content)->offset(15);
          make->right()->equalTo(lc_left(caption));
        } else {
          make->left()->equalTo(lc_right(caption));
          make->right()->equalTo(content)->offset(-15);
        }
      });
    }
    struct Partner {
      const char* image;
      NSInteger tag;
      void (TZOriginalRegisterView::*action)(const std::shared_ptr<UIButton>&);
      CGFloat offset;
    };
    for (const Partner& partner : {Partner{"sinaLogin", 3, &TZOriginalRegisterView::sinaButtonClick, -80},
                                   Partner{"QQLogin", 4, &TZOriginalRegisterView::QQButtonClick, 0},
                                   Partner{"taobaoLogin", 5, &TZOriginalRegisterView::tbButtonClick, 80}}) {
      auto button = UIButton::buttonWithType(UIButtonTypeCustom);
      button->setImage(UIImage::imageNamed(NSString::stringWithUTF8String(partner.image)), UIControlStateNormal);
      button->setTag(partner.tag);
      button->addTarget(form, partner.action, UIControlEventTouchUpInside);
      content->addSubview(button);
      lc_makeConstraints(button, [&](const auto& make) {
        make->top()->equalTo(lc_bottom(caption))->offset(20);
        make->centerX()->equalTo(content)->offset(partner.offset);
        make->width()->height()->lc_equalTo(50);
      });
    }

    form->emailTextField_ = email;
    form->passwordTextField_ = password;
    form->againPasswordTextField_ = again;
    form->verticalTextField_ = vertical;
    form->registerButton_ = registerButton;
    form->authCodeView_ = code;
    form->bgView_ = box;
    return {form};
  });
}

}  // namespace zvt::account
