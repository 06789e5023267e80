#pragma once
// The product grids' cell for a product whose rebate comes as a ready-made text: picture with
// the new and sold-out marks, title, price and the rebate text in an orange badge.

#include "app/screens/shopping/ProductCell.h"

class TZHomeHKCell : public zvt::shopping::ProductCell {
 public:
  std::shared_ptr<UILabel> fan_stringLabel;

 protected:
  void createUI() override;
  void showRebate(const TZProductModel& product) override;
};
