#pragma once
// The home grid's cell for a product whose rebate is a number: picture with the new and
// sold-out marks, title, price, the "返" badge and the rebate amount.

#include <memory>

#include "app/models/TZProductModel.h"
#include "platform/uikit/UICollectionViewCell.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"

class TZHomeCell : public UICollectionViewCell {
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
  std::shared_ptr<UILabel> fanTextLabel;
  std::shared_ptr<UILabel> promotionPriceLabel;

 private:
  void createUI();
  std::shared_ptr<TZProductModel> productModel_;
};
