#pragma once
// One partner-mall rebate order of the orders screen: a card with the order number and its
// status, the mall's logo, the price and quantity, the Velmo points and the rebate money, and
// the order time. The row takes no touches at all (a mall order opens nothing).
//
// Made from the nib "TZStoreOrderCell" (zvt::shopping::registerStoreOrderCellNib); it fills
// itself from its model in layoutSubviews.

#include <memory>

#include "app/models/TZStoreOrderModel.h"
#include "app/ui/ParentsViewController.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINib.h"

class TZStoreOrderCell : public ParentTableViewCell {
 public:
  // Nib outlets (weak, as the nib's are).
  std::shared_ptr<UIView> bgView() const { return bgView_.lock(); }
  std::shared_ptr<UILabel> orderNumLabel() const { return orderNumLabel_.lock(); }
  std::shared_ptr<UILabel> priceLabel() const { return priceLabel_.lock(); }
  std::shared_ptr<UILabel> velmoLabel() const { return velmoLabel_.lock(); }
  std::shared_ptr<UILabel> moneyLabel() const { return moneyLabel_.lock(); }
  std::shared_ptr<UILabel> statusLabel() const { return statusLabel_.lock(); }
  std::shared_ptr<UILabel> timeLabel() const { return timeLabel_.lock(); }
  std::shared_ptr<UILabel> numberLabel() const { return numberLabel_.lock(); }
  std::shared_ptr<UIImageView> iconImageView() const { return iconImageView_.lock(); }

  std::shared_ptr<TZStoreOrderModel> storeOrderModel() const { return storeOrderModel_; }
  // A nil model is ignored; otherwise the row lays itself out at once.
  void setStoreOrderModel(const std::shared_ptr<TZStoreOrderModel>& model);

  void awakeFromNib() override;
  void layoutSubviews() override;
  void setSelected(bool selected, bool animated) override;
  using UITableViewCell::setSelected;

  static std::vector<id> makeFromNib(zvt::ui::NibBuilder& nib);

 private:
  std::weak_ptr<UIView> bgView_;
  std::weak_ptr<UILabel> orderNumLabel_;
  std::weak_ptr<UILabel> priceLabel_;
  std::weak_ptr<UILabel> velmoLabel_;
  std::weak_ptr<UILabel> moneyLabel_;
  std::weak_ptr<UILabel> statusLabel_;
  std::weak_ptr<UILabel> timeLabel_;
  std::weak_ptr<UILabel> numberLabel_;
  std::weak_ptr<UIImageView> iconImageView_;
  std::shared_ptr<TZStoreOrderModel> storeOrderModel_;
};

namespace zvt::shopping {
// Registers the nib "TZStoreOrderCell".
void registerStoreOrderCellNib();
}  // namespace zvt::shopping
