#include "app/screens/shopping/TZHomeHKCell.h"

#include "app/screens/shopping/ProductCellParts.h"
#include "ui/layout/LCAdditions.h"

using namespace zvt::shopping;

void TZHomeHKCell::createUI() {
  auto cell = contentView();
  addPriceLabel();
  lc_makeConstraints(priceLabel, [&](const auto& make) {
    make->left()->equalTo(cell);
    make->top()->equalTo(lc_bottom(productTitleLabel))->offset(5);
    make->width()->equalTo(cell)->multipliedBy(0.5);
  });

  fan_stringLabel = addBadgeLabel();
  lc_makeConstraints(fan_stringLabel, [&](const auto& make) {
    make->left()->equalTo(lc_right(priceLabel))->offset(5);
    make->centerY()->equalTo(priceLabel);
    make->width()->lc_equalTo(44);
    make->height()->lc_equalTo(16);
  });
}

void TZHomeHKCell::showRebate(const TZProductModel& product) {
  fan_stringLabel->setText(displayTextOf(product.fan_string));
}
