#include "app/screens/shopping/TZTaobaoOrderCell.h"

#include <algorithm>

#include "app/screens/shopping/ProductCellParts.h"
#include "app/ui/UIKitCategories.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSNumber.h"
#include "platform/graphics/UIScreen.h"
#include "platform/text/UIFont.h"
#include "ui/images/UIImageView+RemoteImage.h"
#include "ui/layout/LCAdditions.h"

using namespace zvt::shopping;

namespace zvt::shopping {

std::shared_ptr<NSString> orderText(const id& value) {
  auto text = displayTextOf(value);
  return text ? text : NSString::string();
}

std::shared_ptr<NSAttributedString> amountText(const char* format, const id& value, NSUInteger location) {
  auto amount = orderText(value);
  auto text = NSString::stringWithFormat(format, amount);
  auto attributes = NSDictionary::make({{NSForegroundColorAttributeName, accentOrange()},
                                        {NSFontAttributeName, UIFont::boldSystemFontOfSize(13)}});
  return createStrWithString(text, attributes, NSMakeRange(location, amount->length()));
}

}  // namespace zvt::shopping

namespace {

CGFloat shorterScreenSide() {
  CGRect bounds = UIScreen::mainScreen()->bounds();
  return std::min(bounds.size.width, bounds.size.height);
}

std::shared_ptr<UIColor> textGrey(double level) { return rgb(level, level, level); }

}  // namespace

void TZTaobaoOrderCell::setTaobaoOrderModel(const std::shared_ptr<TZTaobaoOrderModel>& model) {
  if (!model) return;
  taobaoOrderModel_ = model;
  setNeedsLayout();
  layoutIfNeeded();
}

void TZTaobaoOrderCell::awakeFromNib() {
  configLayerWithBorderWidth(bgView(), 1.0, 4.0, rgb(222, 222, 222));
  setBackgroundColor(rgb(242, 242, 242));
  contentView()->setBackgroundColor(rgb(242, 242, 242));
}

void TZTaobaoOrderCell::setSelected(bool selected, bool animated) {
  ParentTableViewCell::setSelected(selected, animated);
  setSelectionStyle(UITableViewCellSelectionStyleNone);
}

void TZTaobaoOrderCell::useRebateCoupon(const std::shared_ptr<UIButton>& sender) {
  if (!sender) return;
  if (auto block = rebateBlock_) block(sender);
}

void TZTaobaoOrderCell::useOfRebateCoupon(const std::shared_ptr<UIGestureRecognizer>& recognizer) {
  auto tile = recognizer ? recognizer->view() : nullptr;
  if (!tile) return;
  if (auto block = rebateCouponBlock_) block(tile);
}

void TZTaobaoOrderCell::setTitle(const std::shared_ptr<NSString>& title, bool isAttribute,
                                 const std::shared_ptr<UIColor>& color, bool isBorder) {
  auto button = rebateBtn();
  if (!button) return;
  if (isAttribute) {
    auto text = title ? title : NSString::string();
    button->setAttributedTitle(
        createStrWithString(text, NSDictionary::make({{NSForegroundColorAttributeName, accentOrange()}}),
                            NSMakeRange(0, text->length())),
        UIControlStateNormal);
  } else {
    button->setAttributedTitle(nullptr, UIControlStateNormal);
    button->setTitle(title, UIControlStateNormal);
    button->setTitleColor(color, UIControlStateNormal);
  }
  button->layer()->setMasksToBounds(true);
  if (isBorder) {
    configLayerWithBorderWidth(button, 1.0, 4.0, accentOrange());
  } else {
    configLayerWithBorderWidth(button, 0, 0, nullptr);
  }
}

void TZTaobaoOrderCell::layoutSubviews() {
  ParentTableViewCell::layoutSubviews();
  auto model = taobaoOrderModel_;
  if (!model) return;
  if (auto card = bgView()) card->setClipsToBounds(true);

  if (auto label = orderNumLabel()) label->setText(orderText(model->trade_id));
  if (auto icon = iconImageView()) {
    auto picture = displayTextOf(model->pic_url);
    wi_setImageWithURL(icon, picture ? NSURL::URLWithString(picture) : nullptr,
                       UIImage::imageNamed("placeholder_StoreOrder"_ns));
  }
  if (auto label = orderTitleLabel()) label->setText(orderText(model->item_title));
  if (auto label = priceLabel()) label->setText(orderText(model->pay_price));
  if (auto label = jifenbaoLabel()) label->setAttributedText(amountText("回扣%@集分宝", model->jifenbao, 2));
  if (auto label = timeLabel()) label->setText(orderText(model->pay_time));

  // A new picker each time: the old one leaves the row, so a row laid out again holds one.
  if (rebateView_) rebateView_->removeFromSuperview();
  auto picker = UIView::initWithFrame(CGRectZero);
  picker->setBackgroundColor(UIColor::whiteColor());
  picker->setUserInteractionEnabled(true);
  configLayerWithBorderWidth(picker, 0.5, 4.0, rgb(222, 222, 222));
  rebateView_ = picker;
  rebateView_H_ = 0;
  contentView()->addSubview(picker);

  auto button = rebateBtn();
  const NSInteger canUse = integerValueOf(model->can_useCoupon);
  const NSInteger award = integerValueOf(model->coupon_award);
  if (isUseCoupon_) {
    if (button) {
      button->setHidden(false);
      button->setAttributedTitle(nullptr, UIControlStateNormal);
      button->setTitle(NSString::stringWithFormat("额外+%@个", orderText(couponAward_)), UIControlStateNormal);
      button->setTitleColor(accentOrange(), UIControlStateNormal);
      button->layer()->setBorderWidth(0);
      button->layer()->setBorderColor(UIColor::clearColor()->CGColor());
      button->setUserInteractionEnabled(false);
    }
    picker->setHidden(true);
  } else if (canUse == 0 && award != 0) {
    if (button) {
      button->setHidden(false);
      setTitle(NSString::stringWithFormat("额外+%@个", orderText(model->coupon_award)), true, nullptr, false);
      button->setUserInteractionEnabled(false);
    }
    picker->setHidden(true);
  } else if (canUse == 0) {
    if (button) button->setHidden(true);
    picker->setHidden(true);
  } else {
    if (button) {
      button->setHidden(false);
      setTitle("使用回扣券"_ns, true, nullptr, true);
      button->setUserInteractionEnabled(true);
    }
    picker->setHidden(false);
    if (coupons_) showCouponTiles(picker);
  }
}

void TZTaobaoOrderCell::showCouponTiles(const std::shared_ptr<UIView>& picker) {
  const CGFloat d = (shorterScreenSide() - 46) / 2;
  CGFloat bottom = 0;
  NSUInteger i = 0;
  for (const id& item : *coupons_) {
    auto coupon = zvt::as<NSDictionary>(item);
    const CGRect frame = CGRectMake(10 + static_cast<CGFloat>(i % 2) * (d + 10),
                                    15 + static_cast<CGFloat>(i / 2) * (d / 2 + 15), d, d / 2);
    ++i;
    auto tile = UIImageView::initWithFrame(frame);
    tile->setTag(coupon ? integerValueOf(coupon->objectForKey("id"_ns)) : 0);
    const NSInteger type = coupon ? integerValueOf(coupon->objectForKey("type"_ns)) : 0;
    if (type == 1) {
      tile->setImage(UIImage::imageNamed("coupon1"_ns));
    } else if (type == 2 || type == 3) {
      tile->setImage(UIImage::imageNamed("coupon2"_ns));
    }
    tile->setUserInteractionEnabled(true);
    tile->addGestureRecognizer(UITapGestureRecognizer::initWithTarget(self(), &TZTaobaoOrderCell::useOfRebateCoupon));
    picker->addSubview(tile);
    bottom = CGRectGetMaxY(frame);
  }
  rebateView_H_ = bottom + 15;
  auto content = contentView();
  const CGFloat height = rebateView_H_;
  lc_makeConstraints(picker, [&](const auto& make) {
    make->top()->equalTo(content)->offset(kRowHeight);
    make->leading()->equalTo(content)->offset(0);
    make->trailing()->equalTo(content)->offset(0);
    make->height()->lc_equalTo(height);
  });
}

// --- the nib ----------------------------------------------------------------------------------------

std::vector<id> TZTaobaoOrderCell::makeFromNib(zvt::ui::NibBuilder& nib) {
  const CGFloat width = shorterScreenSide();
  auto cell = nib.view<TZTaobaoOrderCell>(CGRectMake(0, 0, width, kRowHeight));
  auto content = cell->contentView();
  const UIViewAutoresizing flexibleWidth = UIViewAutoresizingFlexibleWidth;
  const UIViewAutoresizing pinnedRight = UIViewAutoresizingFlexibleLeftMargin;

  // The card: 10 points in from the sides, its top 10 points down; the picker opens below it.
  const CGFloat cardWidth = width - 20;
  auto card = nib.view<UIView>(CGRectMake(10, 10, cardWidth, kRowHeight - 15));
  card->setBackgroundColor(UIColor::whiteColor());
  card->setAutoresizingMask(flexibleWidth);
  content->addSubview(card);

  auto label = [&](CGRect frame, CGFloat size, double grey) {
    auto made = nib.view<UILabel>(frame);
    made->setFont(UIFont::systemFontOfSize(size));
    made->setTextColor(textGrey(grey));
    card->addSubview(made);
    return made;
  };
  auto line = [&](CGFloat y) {
    auto made = nib.view<UIView>(CGRectMake(0, y, cardWidth, 0.5));
    made->setBackgroundColor(rgb(222, 222, 222));
    made->setAutoresizingMask(flexibleWidth);
    card->addSubview(made);
  };

  auto caption = label(CGRectMake(10, 0, 58, 36), 13, 153);
  caption->setText("订单号："_ns);
  auto number = label(CGRectMake(68, 0, cardWidth - 78, 36), 13, 51);
  number->setAutoresizingMask(flexibleWidth);
  line(36);

  auto icon = nib.view<UIImageView>(CGRectMake(10, 46, 80, 80));
  icon->setContentMode(UIViewContentModeScaleAspectFill);
  icon->setClipsToBounds(true);
  card->addSubview(icon);
  auto title = label(CGRectMake(100, 44, cardWidth - 110, 40), 14, 51);
  title->setNumberOfLines(2);
  title->setAutoresizingMask(flexibleWidth);
  auto priceCaption = label(CGRectMake(100, 86, 40, 20), 13, 153);
  priceCaption->setText("实付："_ns);
  auto price = label(CGRectMake(140, 86, cardWidth - 150, 20), 13, 51);
  price->setAutoresizingMask(flexibleWidth);
  auto jifenbao = label(CGRectMake(100, 108, cardWidth - 110, 20), 13, 102);
  jifenbao->setAutoresizingMask(flexibleWidth);
  line(136);

  auto time = label(CGRectMake(10, 137, cardWidth - 120, 40), 12, 153);
  time->setAutoresizingMask(flexibleWidth);
  auto button = nib.view<UIButton>(CGRectMake(cardWidth - 100, 143, 90, 28));
  button->titleLabel()->setFont(UIFont::systemFontOfSize(13));
  button->setAutoresizingMask(pinnedRight);
  button->addTarget(cell, &TZTaobaoOrderCell::useRebateCoupon, UIControlEventTouchUpInside);
  card->addSubview(button);

  cell->bgView_ = card;
  cell->orderNumLabel_ = number;
  cell->iconImageView_ = icon;
  cell->orderTitleLabel_ = title;
  cell->priceLabel_ = price;
  cell->jifenbaoLabel_ = jifenbao;
  cell->timeLabel_ = time;
  cell->rebateBtn_ = button;
  return {cell};
}

void zvt::shopping::registerTaobaoOrderCellNib() {
  zvt::ui::registerNibFactory("TZTaobaoOrderCell", &TZTaobaoOrderCell::makeFromNib);
}
