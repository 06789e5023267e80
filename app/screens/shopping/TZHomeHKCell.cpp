#include "app/screens/shopping/TZHomeHKCell.h"

#include "app/screens/shopping/ProductCellParts.h"
#include "ui/layout/LCAdditions.h"

using namespace zvt::shopping;

namespace {
constexpr CGFloat kBadgeHeight = 16;
}  // namespace

void TZHomeHKCell::createUI() {
  auto cell = contentView();
  addPriceLabel();
  // The price line is as tall as the badge centred on it: the system face's CJK line (about
  // 19 points at 13) would put the badge lower than the number cell's and past the cell's end,
  // since title, price and their gaps must share the 46 points below the picture.
  lc_makeConstraints(priceLabel, [&](const auto& make) {
    make->left()->equalTo(cell);
    make->top()->equalTo(lc_bottom(productTitleLabel))->offset(5);
    make->width()->equalTo(cell)->multipliedBy(0.5);
    make->height()->lc_equalTo(kBadgeHeight);
  });

  fan_stringLabel = addBadgeLabel();
  lc_makeConstraints(fan_stringLabel, [&](const auto& make) {
    make->left()->equalTo(lc_right(priceLabel))->offset(5);
    make->centerY()->equalTo(priceLabel);
    make->width()->lc_equalTo(44);
    make->height()->lc_equalTo(kBadgeHeight);
  });
}

void TZHomeHKCell::showRebate(const TZProductModel& product) {
  fan_stringLabel->setText(displayTextOf(product.fan_string));
}
