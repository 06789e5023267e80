#include "app/screens/account/TZPersonalHeaderView.h"

#include <algorithm>

#include "app/ui/UIKitCategories.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"
#include "platform/text/NSAttributedString.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UINib.h"
#include "ui/images/UIImageView+RemoteImage.h"
#include "ui/images/WIImageCache.h"

namespace zvt::account {

std::shared_ptr<NSString> balanceText(const id& value) {
  if (auto text = std::dynamic_pointer_cast<NSString>(value)) return text;
  if (auto number = std::dynamic_pointer_cast<NSNumber>(value)) return number->description();
  return NSString::string();
}

long integerBalance(const id& value) {
  if (!value || std::dynamic_pointer_cast<NSNull>(value)) return 0;
  return static_cast<long>(NSString::stringWithFormat("%@", value)->integerValue());
}

}  // namespace zvt::account

namespace {

std::shared_ptr<UIColor> balanceColor() { return UIColor::colorWithRed(1.0, 145 / 255.0, 56 / 255.0, 1); }

// The value on the first line, coloured and bold, over its caption in the label's grey; the
// label keeps its font and centring for the caption.
void showBalance(const std::shared_ptr<UILabel>& label, const std::shared_ptr<NSString>& value, const char* caption) {
  if (!label) return;
  label->setTextColor(UIColor::grayColor());
  auto text = NSString::stringWithFormat("%@\n%s", value, caption);
  auto shown = createStrWithString(
      text, NSDictionary::make({{NSForegroundColorAttributeName, label->textColor()}, {NSFontAttributeName, label->font()}}),
      NSMakeRange(0, text->length()));
  shown->addAttributes(NSDictionary::make({{NSForegroundColorAttributeName, balanceColor()},
                                           {NSFontAttributeName, UIFont::boldSystemFontOfSize(20)}}),
                       NSMakeRange(0, value->length()));
  label->setAttributedText(shown);
  label->setTextAlignment(NSTextAlignmentCenter);
}

std::shared_ptr<UIButton> outlinedButton(zvt::ui::NibBuilder& nib, const char* title) {
  auto button = nib.view<UIButton>(CGRectMake(0, 0, 80, 30));
  button->setTitle(NSString::stringWithUTF8String(title), UIControlStateNormal);
  button->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
  button->titleLabel()->setFont(UIFont::systemFontOfSize(14));
  return button;
}

}  // namespace

void TZPersonalHeaderView::awakeFromNib() {
  ParentView::awakeFromNib();
  for (const auto& label : {userMoneyLabel(), userJiFenBaoLabel(), userVelmoLabel()}) {
    if (label) label->setText(nullptr);
  }
  if (auto panel = noLoginView()) panel->setBackgroundColor(UIColor::clearColor());
  if (auto coupon = couponBtn()) coupon->setHidden(true);
  if (auto avatar = userIconImageView()) {
    avatar->setUserInteractionEnabled(true);
    avatar->addGestureRecognizer(UITapGestureRecognizer::initWithTarget(self(), &TZPersonalHeaderView::iconTapAction));
  }
}

void TZPersonalHeaderView::layoutSubviews() {
  ParentView::layoutSubviews();
  const CGRect bounds = this->bounds();
  const CGFloat width = bounds.size.width;
  const CGFloat height = bounds.size.height;
  // The balances along the bottom; the avatar and the name centred in what is left below the
  // status bar, the cart and coupon buttons beside the avatar.
  const CGFloat infoHeight = 56;
  const CGFloat infoTop = height - infoHeight;
  const CGFloat nameHeight = 22;
  const CGFloat room = infoTop - 20;
  const CGFloat side = std::clamp(room - nameHeight - 24, CGFloat(40), CGFloat(72));
  const CGFloat avatarTop = 20 + (room - side - nameHeight - 6) / 2;
  const CGRect avatar = CGRectMake((width - side) / 2, avatarTop, side, side);
  if (auto ring = userIconBGView()) ring->setFrame(CGRectInset(avatar, -3, -3));
  if (auto image = userIconImageView()) image->setFrame(avatar);
  if (auto name = userNameLabel()) name->setFrame(CGRectMake(15, CGRectGetMaxY(avatar) + 6, width - 30, nameHeight));
  if (auto info = infoBGView()) {
    info->setFrame(CGRectMake(0, infoTop, width, infoHeight));
    const CGFloat third = width / 3;
    NSInteger column = 0;
    for (const auto& label : {userMoneyLabel(), userJiFenBaoLabel(), userVelmoLabel()}) {
      if (label) label->setFrame(CGRectMake(third * static_cast<CGFloat>(column), 4, third, infoHeight - 8));
      ++column;
    }
  }
  if (auto panel = noLoginView()) {
    panel->setFrame(CGRectMake(0, CGRectGetMaxY(avatar) + 14, width, 34));
    if (auto login = loginButton()) login->setFrame(CGRectMake(width / 2 - 90, 2, 80, 30));
    if (auto reg = registerButton()) reg->setFrame(CGRectMake(width / 2 + 10, 2, 80, 30));
  }
  const CGFloat beside = CGRectGetMidY(avatar) - 14;
  if (auto cart = shoppingCarButton()) cart->setFrame(CGRectMake(width - 15 - 72, beside, 72, 28));
  if (auto coupon = couponBtn()) coupon->setFrame(CGRectMake(15, beside, 72, 28));

  for (const auto& button : {loginButton(), registerButton()}) {
    if (!button) continue;
    configLayerWithBorderWidth(button, 1.0, button->frame().size.height / 2, UIColor::whiteColor());
  }
  for (const std::shared_ptr<UIView>& round : {std::static_pointer_cast<UIView>(userIconImageView()), userIconBGView()}) {
    if (!round) continue;
    round->layer()->setCornerRadius(round->frame().size.height / 2);
    round->setClipsToBounds(true);
  }
}

void TZPersonalHeaderView::haveLogin() {
  if (auto panel = noLoginView()) panel->setHidden(true);
  if (auto info = infoBGView()) info->setHidden(false);
  if (auto name = userNameLabel()) name->setHidden(false);
  if (auto cart = shoppingCarButton()) cart->setHidden(false);
}

void TZPersonalHeaderView::haveNotLogin() {
  if (auto avatar = userIconImageView()) avatar->setImage(UIImage::imageNamed("userIcon"_ns));
  if (auto info = infoBGView()) info->setHidden(true);
  if (auto name = userNameLabel()) name->setHidden(true);
  if (auto cart = shoppingCarButton()) cart->setHidden(true);
  if (auto coupon = couponBtn()) coupon->setHidden(true);
  if (auto panel = noLoginView()) panel->setHidden(false);
}

void TZPersonalHeaderView::loadAvatar(const std::shared_ptr<NSString>& address) {
  auto avatar = userIconImageView();
  if (!avatar) return;
  wi_setImageWithURL(avatar, address ? NSURL::URLWithString(address) : nullptr, UIImage::imageNamed("userIcon"_ns));
}

void TZPersonalHeaderView::fillViewWith(const std::shared_ptr<TZUserInfoModel>& model, bool refreshAvatar) {
  if (!model) return;
  auto address = std::dynamic_pointer_cast<NSString>(model->avatar);
  if (refreshAvatar && address) {
    std::weak_ptr<TZPersonalHeaderView> weakSelf = std::static_pointer_cast<TZPersonalHeaderView>(self());
    WIImageCache::sharedImageCache()->removeImageForKeyWithCompletion(address, [weakSelf, address] {
      if (auto header = weakSelf.lock()) header->loadAvatar(address);
    });
  } else {
    loadAvatar(address);
  }
  if (auto name = userNameLabel()) name->setText(zvt::account::balanceText(model->ddusername));
  showBalance(userMoneyLabel(), zvt::account::balanceText(model->money), "余额");
  showBalance(userJiFenBaoLabel(), NSString::stringWithFormat("%ld", zvt::account::integerBalance(model->jifenbao)), "集分宝");
  showBalance(userVelmoLabel(), zvt::account::balanceText(model->jifen), "Velmo");
  auto coupon = std::dynamic_pointer_cast<NSNumber>(model->show_coupon);
  if (auto button = couponBtn()) button->setHidden(!(coupon && coupon->doubleValue() == 1));
}

void TZPersonalHeaderView::registerAction(const std::shared_ptr<UIButton>&) { run(registerBlock_); }
void TZPersonalHeaderView::loginAction(const std::shared_ptr<UIButton>&) { run(loginBlock_); }
void TZPersonalHeaderView::shopping(const std::shared_ptr<UIButton>&) { run(shoppingCarBlock_); }
void TZPersonalHeaderView::couponAction(const std::shared_ptr<UIButton>&) { run(couponBlock_); }
void TZPersonalHeaderView::iconTapAction() { run(iconBlock_); }

void TZPersonalHeaderView::registerNib() {
  zvt::ui::registerNibFactory("TZPersonalHeaderView", [](zvt::ui::NibBuilder& nib) -> std::vector<id> {
    auto header = nib.view<TZPersonalHeaderView>(CGRectMake(0, 0, 375, 242));
    header->setBackgroundColor(UIColor::clearColor());

    auto ring = nib.view<UIView>(CGRectZero);
    ring->setBackgroundColor(UIColor::colorWithWhite(1, 0.45));
    auto avatar = nib.view<UIImageView>(CGRectZero);
    avatar->setContentMode(UIViewContentModeScaleAspectFill);
    avatar->setAccessibilityIdentifier("userIcon"_ns);
    auto name = nib.view<UILabel>(CGRectZero);
    name->setFont(UIFont::boldSystemFontOfSize(16));
    name->setTextColor(UIColor::whiteColor());
    name->setTextAlignment(NSTextAlignmentCenter);

    auto cart = nib.view<UIButton>(CGRectZero);
    cart->setTitle("购物车"_ns, UIControlStateNormal);
    auto coupon = nib.view<UIButton>(CGRectZero);
    coupon->setTitle("回扣券"_ns, UIControlStateNormal);
    for (const auto& button : {cart, coupon}) {
      button->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
      button->titleLabel()->setFont(UIFont::systemFontOfSize(13));
      button->setBackgroundColor(UIColor::colorWithWhite(0, 0.18));
      configLayerWithBorderWidth(button, 0, 14, nullptr);
    }

    auto info = nib.view<UIView>(CGRectZero);
    info->setBackgroundColor(UIColor::colorWithWhite(1, 0.94));
    std::vector<std::shared_ptr<UILabel>> balances;
    for (int i = 0; i < 3; ++i) {
      auto label = nib.view<UILabel>(CGRectZero);
      label->setNumberOfLines(0);
      label->setTextAlignment(NSTextAlignmentCenter);
      label->setFont(UIFont::systemFontOfSize(13));
      info->addSubview(label);
      balances.push_back(label);
    }

    auto panel = nib.view<UIView>(CGRectZero);
    auto login = outlinedButton(nib, "登录");
    auto reg = outlinedButton(nib, "注册");
    panel->addSubview(login);
    panel->addSubview(reg);

    for (const std::shared_ptr<UIView>& part : {ring, std::static_pointer_cast<UIView>(avatar), std::static_pointer_cast<UIView>(name),
                                                 std::static_pointer_cast<UIView>(cart), std::static_pointer_cast<UIView>(coupon), info, panel}) {
      header->addSubview(part);
    }
    login->addTarget(header, &TZPersonalHeaderView::loginAction, UIControlEventTouchUpInside);
    reg->addTarget(header, &TZPersonalHeaderView::registerAction, UIControlEventTouchUpInside);
    cart->addTarget(header, &TZPersonalHeaderView::shopping, UIControlEventTouchUpInside);
    coupon->addTarget(header, &TZPersonalHeaderView::couponAction, UIControlEventTouchUpInside);

    header->userIconBGView_ = ring;
    header->userIconImageView_ = avatar;
    header->userNameLabel_ = name;
    header->shoppingCarButton_ = cart;
    header->infoBGView_ = info;
    header->userMoneyLabel_ = balances[0];
    header->userJiFenBaoLabel_ = balances[1];
    header->userVelmoLabel_ = balances[2];
    header->noLoginView_ = panel;
    header->loginButton_ = login;
    header->registerButton_ = reg;
    header->couponBtn_ = coupon;
    return {header};
  });
}
