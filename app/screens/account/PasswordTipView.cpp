#include "app/screens/account/PasswordTipView.h"

#include <algorithm>
#include <cmath>

#include "app/utilities/ZVTPublicTools.h"
#include "platform/graphics/UIScreen.h"
#include "platform/text/UIFont.h"

namespace {

std::shared_ptr<UILabel> makeLabel(CGRect frame, const std::shared_ptr<NSString>& text) {
  auto label = UILabel::initWithFrame(frame);
  label->setFont(UIFont::systemFontOfSize(14));
  label->setText(text);
  return label;
}

}  // namespace

void PasswordTipView::setUpWithFrame(CGRect frame) {
  ParentView::setUpWithFrame(frame);
  createUI();
}

void PasswordTipView::createUI() {
  const CGSize screen = UIScreen::mainScreen()->bounds().size;
  const CGFloat width = 0.9 * std::min(screen.width, screen.height);
  // The paragraphs wrap beside their markers: the card less 10 on each side, the marker and
  // the gap after it, in whole points.
  const auto textWidth = static_cast<NSInteger>(std::floor(width - 40));

  auto backdrop = UIView::initWithFrame(bounds());
  backdrop->setBackgroundColor(UIColor::blackColor());
  backdrop->setAlpha(0.5);
  addSubview(backdrop);

  card_ = UIView::initWithFrame(CGRectZero);
  card_->setBackgroundColor(UIColor::whiteColor());
  card_->layer()->setCornerRadius(5);
  card_->layer()->setMasksToBounds(true);
  addSubview(card_);

  auto firstMarker = makeLabel(CGRectMake(10, 20, 15, 15), "①"_ns);
  card_->addSubview(firstMarker);
  first_ = makeLabel(CGRectMake(CGRectGetMaxX(firstMarker->frame()) + 5, firstMarker->frame().origin.y, 0, 0),
                     NSString::stringWithFormat("%@\n%@", "应该填入密码是什么？"_ns,
                                                "填入的密码是您用于登录Zavelto账号的密码，一般在注册时您已设定"_ns));
  ZVTPublicTools::getSizeByLabel(first_, textWidth);
  card_->addSubview(first_);

  auto secondMarker = makeLabel(CGRectMake(10, CGRectGetMaxY(first_->frame()) + 10, 15, 15), "②"_ns);
  card_->addSubview(secondMarker);
  second_ = makeLabel(CGRectMake(30, secondMarker->frame().origin.y, 0, 0),
                      NSString::stringWithFormat("%@\n%@\n%@", "忘记密码该怎么办？"_ns,
                                                 "方法一：在【设置】中点击退出，然后进入【登录】页面 - 点击【忘记密码？】按操作找回"_ns,
                                                 "方法二：联系客服帮您快速解决"_ns));
  ZVTPublicTools::getSizeByLabel(second_, textWidth);
  card_->addSubview(second_);

  const CGFloat paragraphsBottom = CGRectGetMaxY(second_->frame());
  card_->setFrame(CGRectMake(0, 0, width, paragraphsBottom + 70));
  card_->setCenter(backdrop->center());

  auto line = UIView::initWithFrame(CGRectMake(10, paragraphsBottom + 20, width - 20, 1));
  line->setBackgroundColor(UIColor::grayColor()->colorWithAlphaComponent(0.2));
  card_->addSubview(line);

  button_ = UIButton::buttonWithType(UIButtonTypeCustom);
  const CGFloat buttonTop = CGRectGetMaxY(line->frame());
  button_->setFrame(CGRectMake(0, buttonTop, width, card_->frame().size.height - buttonTop));
  button_->setTitle("知道了"_ns, UIControlStateNormal);
  button_->titleLabel()->setFont(UIFont::systemFontOfSize(16));
  button_->setTitleColor(UIColor::orangeColor(), UIControlStateNormal);
  button_->addTarget(self(), &PasswordTipView::buttonClick, UIControlEventTouchUpInside);
  card_->addSubview(button_);
}

void PasswordTipView::buttonClick() { removeFromSuperview(); }
