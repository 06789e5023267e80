#pragma once
// What the two product cells of the grids have in common: a white cell with the picture, its new
// and sold-out marks, the title and the price, filled from a product; each cell adds and fills
// its own way of showing the rebate.

#include <memory>

#include "app/models/TZProductModel.h"
#include "platform/uikit/UICollectionViewCell.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"

namespace zvt::shopping {

class ProductCell : public UICollectionViewCell {
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

 protected:
  // The rebate's views, made after the picture and the title; the price label among them.
  virtual void createUI() = 0;
  virtual void showRebate(const TZProductModel& product) = 0;
  // The bold 13-point right-aligned price label, added to the content view.
  std::shared_ptr<UILabel> addPriceLabel();
  // White bold 13-point centred text on the accent orange, corners of 2, added to the content view.
  std::shared_ptr<UILabel> addBadgeLabel();

 private:
  void createPictureAndTitle();
  std::shared_ptr<TZProductModel> productModel_;
};

}  // namespace zvt::shopping
