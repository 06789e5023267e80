#include "app/screens/shopping/TZStoreOrderCell.h"

#include <algorithm>

#include "app/screens/shopping/ProductCellParts.h"
#include "app/screens/shopping/TZTaobaoOrderCell.h"
#include "app/ui/UIKitCategories.h"
#include "platform/graphics/UIScreen.h"
#include "platform/text/UIFont.h"
#include "ui/images/UIImageView+RemoteImage.h"

using namespace zvt::shopping;

void TZStoreOrderCell::setStoreOrderModel(const std::shared_ptr<TZStoreOrderModel>& model) {
  if (!model) return;
  storeOrderModel_ = model;
  setNeedsLayout();
  layoutIfNeeded();
}

void TZStoreOrderCell::awakeFromNib() {
  configLayerWithBorderWidth(bgView(), 1.0, 4.0, rgb(222, 222, 222));
  setBackgroundColor(rgb(242, 242, 242));
  contentView()->setBackgroundColor(rgb(242, 242, 242));
}

void TZStoreOrderCell::setSelected(bool selected, bool animated) {
  ParentTableViewCell::setSelected(selected, animated);
  setSelectionStyle(UITableViewCellSelectionStyleNone);
}

void TZStoreOrderCell::layoutSubviews() {
  ParentTableViewCell::layoutSubviews();
  setUserInteractionEnabled(false);
  auto model = storeOrderModel_;
  if (!model) return;
  if (auto icon = iconImageView()) {
    auto picture = displayTextOf(model->img);
    wi_setImageWithURL(icon, picture ? NSURL::URLWithString(picture) : nullptr,
                       UIImage::imageNamed("placeholder_StoreOrder"_ns));
  }
  if (auto label = orderNumLabel()) label->setText(orderText(model->order_code));
  if (auto label = priceLabel()) label->setText(NSString::stringWithFormat("￥%@", orderText(model->item_price)));
  if (auto label = velmoLabel()) label->setAttributedText(amountText("%@Velmo", model->jifen, 0));
  if (auto label = moneyLabel()) label->setAttributedText(amountText("回扣收入%@元", model->fxje, 4));
  if (auto label = statusLabel()) label->setText(orderText(model->status));
  if (auto label = timeLabel()) label->setText(orderText(model->order_time));
  if (auto label = numberLabel()) label->setText(NSString::stringWithFormat("数量x%@", orderText(model->item_count)));
}

std::vector<id> TZStoreOrderCell::makeFromNib(zvt::ui::NibBuilder& nib) {
  CGRect screen = UIScreen::mainScreen()->bounds();
  const CGFloat width = std::min(screen.size.width, screen.size.height);
  auto cell = nib.view<TZStoreOrderCell>(CGRectMake(0, 0, width, TZTaobaoOrderCell::kRowHeight));
  const CGFloat cardWidth = width - 20;
  auto card = nib.view<UIView>(CGRectMake(10, 10, cardWidth, TZTaobaoOrderCell::kRowHeight - 15));
  card->setBackgroundColor(UIColor::whiteColor());
  card->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
  cell->contentView()->addSubview(card);

  auto label = [&](CGRect frame, CGFloat size, double grey, UIViewAutoresizing mask) {
    auto made = nib.view<UILabel>(frame);
    made->setFont(UIFont::systemFontOfSize(size));
    made->setTextColor(rgb(grey, grey, grey));
    made->setAutoresizingMask(mask);
    card->addSubview(made);
    return made;
  };
  auto line = [&](CGFloat y) {
    auto made = nib.view<UIView>(CGRectMake(0, y, cardWidth, 0.5));
    made->setBackgroundColor(rgb(222, 222, 222));
    made->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    card->addSubview(made);
  };
  const auto fixed = UIViewAutoresizingNone;
  const auto flexible = UIViewAutoresizingFlexibleWidth;
  const auto right = UIViewAutoresizingFlexibleLeftMargin;

  label(CGRectMake(10, 0, 58, 36), 13, 153, fixed)->setText("订单号："_ns);
  auto number = label(CGRectMake(68, 0, cardWidth - 158, 36), 13, 51, flexible);
  auto status = label(CGRectMake(cardWidth - 90, 0, 80, 36), 13, 51, right);
  status->setTextAlignment(NSTextAlignmentRight);
  status->setTextColor(accentOrange());
  line(36);

  auto icon = nib.view<UIImageView>(CGRectMake(10, 66, 100, 40));
  icon->setContentMode(UIViewContentModeScaleAspectFit);
  card->addSubview(icon);
  auto price = label(CGRectMake(120, 46, cardWidth - 200, 24), 15, 51, flexible);
  auto count = label(CGRectMake(cardWidth - 80, 46, 70, 24), 13, 153, right);
  count->setTextAlignment(NSTextAlignmentRight);
  auto velmo = label(CGRectMake(120, 74, cardWidth - 130, 20), 13, 102, flexible);
  auto money = label(CGRectMake(120, 98, cardWidth - 130, 20), 13, 102, flexible);
  line(136);
  auto time = label(CGRectMake(10, 137, cardWidth - 20, 40), 12, 153, flexible);

  cell->bgView_ = card;
  cell->orderNumLabel_ = number;
  cell->priceLabel_ = price;
  cell->velmoLabel_ = velmo;
  cell->moneyLabel_ = money;
  cell->statusLabel_ = status;
  cell->timeLabel_ = time;
  cell->numberLabel_ = count;
  cell->iconImageView_ = icon;
  return {cell};
}

void zvt::shopping::registerStoreOrderCellNib() {
  zvt::ui::registerNibFactory("TZStoreOrderCell", &TZStoreOrderCell::makeFromNib);
}
