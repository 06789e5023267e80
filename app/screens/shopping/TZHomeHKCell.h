#pragma once
// The product grids' cell for a product whose rebate comes as a ready-made text: picture with
// the new and sold-out marks, title, price and the rebate text in an orange badge.

#include <memory>

#include "app/models/TZProductModel.h"
#include "platform/uikit/UICollectionViewCell.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"

class TZHomeHKCell : public UICollectionViewCell {
 public:
  void setUpWithFrame(CGRect frame) override;

  std::shared_ptr<TZProductModel> productModel() const { return productModel_; }
  // Keeps the product and fills the cell; nil changes nothing.
  void setProductModel(const std::shared_ptr<TZProductModel>& productModel);

  std::shared_ptr<UIImageView> productImageView;
  std::shared_ptr<UIImageView> zvt_new_Icon;
  std::shared_ptr<UIImageView> soldOutIcon;
  std::shared_ptr<UILabel> productTitleLabel;
  std::shared_ptr<UILabel> priceLabel;
  std::shared_ptr<UILabel> fan_stringLabel;

 private:
  void createUI();
  std::shared_ptr<TZProductModel> productModel_;
};
