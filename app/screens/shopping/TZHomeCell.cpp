#include "app/screens/shopping/TZHomeCell.h"

#include "app/screens/shopping/ProductCellParts.h"
#include "platform/text/UIFont.h"
#include "ui/layout/LCAdditions.h"

using namespace zvt::shopping;

void TZHomeCell::createUI() {
  auto cell = contentView();
  fanTextLabel = addBadgeLabel();
  fanTextLabel->setText("返"_ns);
  lc_makeConstraints(fanTextLabel, [&](const auto& make) {
    make->width()->height()->lc_equalTo(16);
    make->centerX()->equalTo(cell)->offset(10);
    make->top()->equalTo(lc_bottom(productTitleLabel))->offset(3);
  });

  addPriceLabel();
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

void TZHomeCell::showRebate(const TZProductModel& product) {
  promotionPriceLabel->setText(
      NSString::stringWithFormat("%.2f", static_cast<double>(static_cast<float>(floatValueOf(product.fan_string)))));
}
