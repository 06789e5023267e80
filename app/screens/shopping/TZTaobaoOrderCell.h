#pragma once
// One Taobao rebate order of the orders screen: a card with the order number, the item's
// picture, title and price, the rebate in 集分宝 and the payment time, and the coupon button
// with the coupon picker that opens below the card. The row talks to no server: it reports a
// tap on the button and a tap on a coupon tile through its two blocks, and the screen decides.
//
// Made from the nib "TZTaobaoOrderCell" (zvt::shopping::registerTaobaoOrderCellNib). The row
// fills itself from its model in layoutSubviews; the coupon button takes one of four states:
// a coupon just used (isUseCoupon), a coupon used earlier (can_useCoupon 0 with an award), no
// button (both 0), or "使用回扣券" with the picker showing `coupons` two tiles a line.

#include <functional>
#include <memory>

#include "app/models/TZTaobaoOrderModel.h"
#include "app/ui/ParentsViewController.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSIndexPath.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINib.h"

class TZTaobaoOrderCell : public ParentTableViewCell {
 public:
  // The card's top and the picker's: rows are this high while the picker is closed.
  static constexpr CGFloat kRowHeight = 192;

  // Nib outlets (weak, as the nib's are).
  std::shared_ptr<UIView> bgView() const { return bgView_.lock(); }
  std::shared_ptr<UILabel> orderNumLabel() const { return orderNumLabel_.lock(); }
  std::shared_ptr<UIImageView> iconImageView() const { return iconImageView_.lock(); }
  std::shared_ptr<UILabel> orderTitleLabel() const { return orderTitleLabel_.lock(); }
  std::shared_ptr<UILabel> priceLabel() const { return priceLabel_.lock(); }
  std::shared_ptr<UILabel> jifenbaoLabel() const { return jifenbaoLabel_.lock(); }
  std::shared_ptr<UILabel> timeLabel() const { return timeLabel_.lock(); }
  std::shared_ptr<UIButton> rebateBtn() const { return rebateBtn_.lock(); }

  std::shared_ptr<TZTaobaoOrderModel> taobaoOrderModel() const { return taobaoOrderModel_; }
  // A nil model is ignored; otherwise the row lays itself out at once.
  void setTaobaoOrderModel(const std::shared_ptr<TZTaobaoOrderModel>& model);
  std::shared_ptr<NSIndexPath> indexPath() const { return indexPath_; }
  void setIndexPath(const std::shared_ptr<NSIndexPath>& indexPath) { indexPath_ = indexPath; }
  bool isOpenRebate() const { return isOpenRebate_; }
  void setIsOpenRebate(bool open) { isOpenRebate_ = open; }
  bool isUseCoupon() const { return isUseCoupon_; }
  void setIsUseCoupon(bool used) { isUseCoupon_ = used; }
  std::shared_ptr<NSString> couponAward() const { return couponAward_; }
  void setCouponAward(const std::shared_ptr<NSString>& award) { couponAward_ = award ? award->copy() : nullptr; }
  // Coupon records ({"id", "type"}); nil: the picker shows none.
  std::shared_ptr<NSArray> coupons() const { return coupons_; }
  void setCoupons(const std::shared_ptr<NSArray>& coupons) { coupons_ = coupons; }
  std::shared_ptr<UIView> rebateView() const { return rebateView_; }
  CGFloat rebateView_H() const { return rebateView_H_; }

  using RebateBlock = std::function<void(const std::shared_ptr<UIButton>& button)>;
  using RebateCouponBlock = std::function<void(const std::shared_ptr<UIView>& tile)>;
  void setRebateBlock(RebateBlock block) { rebateBlock_ = std::move(block); }
  void setRebateCouponBlock(RebateCouponBlock block) { rebateCouponBlock_ = std::move(block); }

  void awakeFromNib() override;
  void layoutSubviews() override;
  void setSelected(bool selected, bool animated) override;
  using UITableViewCell::setSelected;

  // The coupon button's action: the block with the sender (nothing without one).
  void useRebateCoupon(const std::shared_ptr<UIButton>& sender);
  // A tile's tap: the block with the tile.
  void useOfRebateCoupon(const std::shared_ptr<UIGestureRecognizer>& recognizer);
  // The coupon button's look: an attributed title drawn wholly in the action colour (the colour
  // argument unused) or a plain one in `color`; with border: 1 point of the action colour,
  // radius 4; without: none.
  void setTitle(const std::shared_ptr<NSString>& title, bool isAttribute, const std::shared_ptr<UIColor>& color,
                bool isBorder);

  // The nib's objects: the row with its outlets connected.
  static std::vector<id> makeFromNib(zvt::ui::NibBuilder& nib);

 private:
  void showCouponTiles(const std::shared_ptr<UIView>& picker);

  std::weak_ptr<UIView> bgView_;
  std::weak_ptr<UILabel> orderNumLabel_;
  std::weak_ptr<UIImageView> iconImageView_;
  std::weak_ptr<UILabel> orderTitleLabel_;
  std::weak_ptr<UILabel> priceLabel_;
  std::weak_ptr<UILabel> jifenbaoLabel_;
  std::weak_ptr<UILabel> timeLabel_;
  std::weak_ptr<UIButton> rebateBtn_;

  std::shared_ptr<TZTaobaoOrderModel> taobaoOrderModel_;
  std::shared_ptr<NSIndexPath> indexPath_;
  bool isOpenRebate_ = false;
  bool isUseCoupon_ = false;
  std::shared_ptr<NSString> couponAward_;
  std::shared_ptr<NSArray> coupons_;
  std::shared_ptr<UIView> rebateView_;
  CGFloat rebateView_H_ = 0;
  RebateBlock rebateBlock_;
  RebateCouponBlock rebateCouponBlock_;
};

namespace zvt::shopping {
// Registers the nib "TZTaobaoOrderCell" (the screen registers it for its table).
void registerTaobaoOrderCellNib();
// "%@" of a server value as a row shows it: a text as it is, a number written out, anything
// else (absent, a list) the empty text, so that no label shows "(null)".
std::shared_ptr<NSString> orderText(const id& value);
// `format` (one "%@") with the value, the value's characters from `location` coloured in the
// action colour and set in the bold 13-point system font.
std::shared_ptr<NSAttributedString> amountText(const char* format, const id& value, NSUInteger location);
}  // namespace zvt::shopping
