#pragma once
// The home grid's cell for a product whose rebate is a number: picture with the new and
// sold-out marks, title, price, the "返" badge and the rebate amount.

#include "app/screens/shopping/ProductCell.h"

class TZHomeCell : public zvt::shopping::ProductCell {
 public:
  std::shared_ptr<UILabel> fanTextLabel;
  std::shared_ptr<UILabel> promotionPriceLabel;

 protected:
  void createUI() override;
  void showRebate(const TZProductModel& product) override;
};
