#include "app/screens/shopping/TZHomeCell.h"

#include "app/screens/shopping/ProductCellParts.h"
#include "platform/text/UIFont.h"
#include "ui/images/UIImageView+RemoteImage.h"
#include "ui/layout/LCAdditions.h"

using namespace zvt::shopping;

namespace zvt::shopping {

// The picture with its two marks, and the title under it: the same in both product cells.
void buildPictureAndTitle(const std::shared_ptr<UIView>& cell, std::shared_ptr<UIImageView>& picture,
                          std::shared_ptr<UIImageView>& newIcon, std::shared_ptr<UIImageView>& soldOutIcon,
                          std::shared_ptr<UILabel>& title) {
  picture = UIImageView::make();
  cell->addSubview(picture);
  lc_makeConstraints(picture, [&](const auto& make) {
    make->left()->right()->top()->equalTo(cell);
    make->bottom()->equalTo(cell)->offset(-46);
  });
  newIcon = UIImageView::initWithImage(UIImage::imageNamed("newProductIcon"_ns));
  newIcon->setHidden(true);
  picture->addSubview(newIcon);
  lc_makeConstraints(newIcon, [&](const auto& make) {
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
  title = UILabel::make();
  title->setFont(UIFont::systemFontOfSize(13));
  title->setTextColor(rgb(153, 153, 153));
  title->setTextAlignment(NSTextAlignmentCenter);
  cell->addSubview(title);
  lc_makeConstraints(title, [&](const auto& make) {
    make->left()->right()->equalTo(cell);
    make->top()->equalTo(lc_bottom(picture))->offset(5);
  });
}

void fillPictureAndTitle(const TZProductModel& product, const std::shared_ptr<UIImageView>& picture,
                         const std::shared_ptr<UIImageView>& newIcon, const std::shared_ptr<UIImageView>& soldOutIcon,
                         const std::shared_ptr<UILabel>& title, const std::shared_ptr<UILabel>& price) {
  wi_setImageWithURL(picture, productPictureURL(product.pic_url), UIImage::imageNamed("placeholder_HomeProduct"_ns));
  title->setText(displayTextOf(product.title));
  price->setText(priceText(product.promotion_price));
  newIcon->setHidden(integerValueOf(product.is_new) == 0);
  soldOutIcon->setHidden(integerValueOf(product.is_sold_out) == 0);
}

}  // namespace zvt::shopping

void TZHomeCell::setUpWithFrame(CGRect frame) {
  UICollectionViewCell::setUpWithFrame(frame);
  setBackgroundColor(UIColor::whiteColor());
  createUI();
}

void TZHomeCell::createUI() {
  auto cell = contentView();
  buildPictureAndTitle(cell, productImageView, zvt_new_Icon, soldOutIcon, productTitleLabel);

  fanTextLabel = UILabel::make();
  fanTextLabel->setText("返"_ns);
  fanTextLabel->setFont(UIFont::boldSystemFontOfSize(13));
  fanTextLabel->setTextColor(UIColor::whiteColor());
  fanTextLabel->setBackgroundColor(accentOrange());
  fanTextLabel->setTextAlignment(NSTextAlignmentCenter);
  fanTextLabel->layer()->setCornerRadius(2);
  fanTextLabel->setClipsToBounds(true);
  cell->addSubview(fanTextLabel);
  lc_makeConstraints(fanTextLabel, [&](const auto& make) {
    make->width()->height()->lc_equalTo(16);
    make->centerX()->equalTo(cell)->offset(10);
    make->top()->equalTo(lc_bottom(productTitleLabel))->offset(3);
  });

  priceLabel = UILabel::make();
  priceLabel->setFont(UIFont::boldSystemFontOfSize(13));
  priceLabel->setTextAlignment(NSTextAlignmentRight);
  cell->addSubview(priceLabel);
  lc_makeConstraints(priceLabel, [&](const auto& make) {
    make->left()->equalTo(cell);
    make->right()->equalTo(lc_left(fanTextLabel))->offset(-5);
    make->centerY()->equalTo(fanTextLabel);
  });

  promotionPriceLabel = UILabel::make();
  promotionPriceLabel->setFont(UIFont::boldSystemFontOfSize(12));
  promotionPriceLabel->setTextColor(accentOrange());
  cell->addSubview(promotionPriceLabel);
  lc_makeConstraints(promotionPriceLabel, [&](const auto& make) {
    make->left()->equalTo(lc_right(fanTextLabel))->offset(5);
    make->right()->equalTo(cell);
    make->centerY()->equalTo(fanTextLabel);
  });
}

void TZHomeCell::setProductModel(const std::shared_ptr<TZProductModel>& productModel) {
  if (!productModel) return;
  productModel_ = productModel;
  fillPictureAndTitle(*productModel, productImageView, zvt_new_Icon, soldOutIcon, productTitleLabel, priceLabel);
  promotionPriceLabel->setText(
      NSString::stringWithFormat("%.2f", static_cast<double>(static_cast<float>(floatValueOf(productModel->fan_string)))));
}
