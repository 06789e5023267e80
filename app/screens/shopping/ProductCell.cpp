#include "app/screens/shopping/ProductCell.h"

#include "app/screens/shopping/ProductCellParts.h"
#include "platform/text/UIFont.h"
#include "ui/images/UIImageView+RemoteImage.h"
#include "ui/layout/LCAdditions.h"

namespace zvt::shopping {

void ProductCell::setUpWithFrame(CGRect frame) {
  UICollectionViewCell::setUpWithFrame(frame);
  setBackgroundColor(UIColor::whiteColor());
  createPictureAndTitle();
  createUI();
}

// The picture filling the cell but its 46 lowest points, the new mark at its top left
// (22.5 x 14.5), the sold-out mark at its centre (78 x 78), both hidden, and the grey centred
// title 5 points below it.
void ProductCell::createPictureAndTitle() {
  auto cell = contentView();
  auto picture = productImageView = UIImageView::make();
  cell->addSubview(picture);
  lc_makeConstraints(picture, [&](const auto& make) {
    make->left()->right()->top()->equalTo(cell);
    make->bottom()->equalTo(cell)->offset(-46);
  });
  zvt_new_Icon = UIImageView::initWithImage(UIImage::imageNamed("newProductIcon"_ns));
  zvt_new_Icon->setHidden(true);
  picture->addSubview(zvt_new_Icon);
  lc_makeConstraints(zvt_new_Icon, [&](const auto& make) {
    make->left()->top()->equalTo(picture);
    make->width()->lc_equalTo(22.5);
    make->height()->lc_equalTo(14.5);
  });
  soldOutIcon = UIImageView::initWithImage(UIImage::imageNamed("soldOut"_ns));
  soldOutIcon->setHidden(true);
  picture->addSubview(soldOutIcon);
  lc_makeConstraints(soldOutIcon, [&](const auto& make) {
    make->center()->equalTo(picture);
    make->width()->height()->lc_equalTo(78);
  });
  auto title = productTitleLabel = UILabel::make();
  title->setFont(UIFont::systemFontOfSize(13));
  title->setTextColor(rgb(153, 153, 153));
  title->setTextAlignment(NSTextAlignmentCenter);
  cell->addSubview(title);
  lc_makeConstraints(title, [&](const auto& make) {
    make->left()->right()->equalTo(cell);
    make->top()->equalTo(lc_bottom(picture))->offset(5);
  });
}

std::shared_ptr<UILabel> ProductCell::addPriceLabel() {
  priceLabel = UILabel::make();
  priceLabel->setFont(UIFont::boldSystemFontOfSize(13));
  priceLabel->setTextAlignment(NSTextAlignmentRight);
  contentView()->addSubview(priceLabel);
  return priceLabel;
}

std::shared_ptr<UILabel> ProductCell::addBadgeLabel() {
  auto badge = UILabel::make();
  badge->setFont(UIFont::boldSystemFontOfSize(13));
  badge->setTextColor(UIColor::whiteColor());
  badge->setBackgroundColor(accentOrange());
  badge->setTextAlignment(NSTextAlignmentCenter);
  badge->layer()->setCornerRadius(2);
  badge->setClipsToBounds(true);
  contentView()->addSubview(badge);
  return badge;
}

// Picture (the 300 x 300 variant, placeholder "placeholder_HomeProduct"), title, price, the two
// marks, then the rebate.
void ProductCell::setProductModel(const std::shared_ptr<TZProductModel>& productModel) {
  if (!productModel) return;
  productModel_ = productModel;
  const auto& product = *productModel;
  wi_setImageWithURL(productImageView, productPictureURL(product.pic_url),
                     UIImage::imageNamed("placeholder_HomeProduct"_ns));
  productTitleLabel->setText(displayTextOf(product.title));
  priceLabel->setText(priceText(product.promotion_price));
  zvt_new_Icon->setHidden(integerValueOf(product.is_new) == 0);
  soldOutIcon->setHidden(integerValueOf(product.is_sold_out) == 0);
  showRebate(product);
}

}  // namespace zvt::shopping
