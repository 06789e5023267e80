#include "app/screens/shopping/TZHomeHKCell.h"

#include "app/screens/shopping/ProductCellParts.h"
#include "platform/text/UIFont.h"
#include "ui/layout/LCAdditions.h"

using namespace zvt::shopping;

void TZHomeHKCell::setUpWithFrame(CGRect frame) {
  UICollectionViewCell::setUpWithFrame(frame);
  setBackgroundColor(UIColor::whiteColor());
  createUI();
}

void TZHomeHKCell::createUI() {
  auto cell = contentView();
  buildPictureAndTitle(cell, productImageView, zvt_new_Icon, soldOutIcon, productTitleLabel);

  priceLabel = UILabel::make();
  priceLabel->setFont(UIFont::boldSystemFontOfSize(13));
  priceLabel->setTextAlignment(NSTextAlignmentRight);
  cell->addSubview(priceLabel);
  lc_makeConstraints(priceLabel, [&](const auto& make) {
    make->left()->equalTo(cell);
    make->top()->equalTo(lc_bottom(productTitleLabel))->offset(5);
    make->width()->equalTo(cell)->multipliedBy(0.5);
  });

  fan_stringLabel = UILabel::make();
  fan_stringLabel->setFont(UIFont::boldSystemFontOfSize(13));
  fan_stringLabel->setTextColor(UIColor::whiteColor());
  fan_stringLabel->setBackgroundColor(accentOrange());
  fan_stringLabel->setTextAlignment(NSTextAlignmentCenter);
  fan_stringLabel->layer()->setCornerRadius(2);
  fan_stringLabel->setClipsToBounds(true);
  cell->addSubview(fan_stringLabel);
  lc_makeConstraints(fan_stringLabel, [&](const auto& make) {
    make->left()->equalTo(lc_right(priceLabel))->offset(5);
    make->centerY()->equalTo(priceLabel);
    make->width()->lc_equalTo(44);
    make->height()->lc_equalTo(16);
  });
}

void TZHomeHKCell::setProductModel(const std::shared_ptr<TZProductModel>& productModel) {
  if (!productModel) return;
  productModel_ = productModel;
  fillPictureAndTitle(*productModel, productImageView, zvt_new_Icon, soldOutIcon, productTitleLabel, priceLabel);
  fan_stringLabel->setText(displayTextOf(productModel->fan_string));
}
