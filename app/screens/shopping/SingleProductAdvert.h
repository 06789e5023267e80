#pragma once
// The advert of one product (the nib "TZSingleProductView"): over a dark background, a white
// panel with the product's picture and name and a band with the price to pay, the list price
// and the rebate; a close button under the panel. A tap on the panel closes the advert and
// opens the product through myBlock; the background and the close button only close it. The
// home screen's advert remembers the day it was closed ("ADShowTime"), the push advert not.
// It shows only once its picture has loaded (fetched afresh each time); a picture that does not
// load means no advert.

#include <memory>

#include "app/ui/SharedViews.h"
#include "platform/uikit/UIGestureRecognizer.h"

namespace zvt::shopping {

class SingleProductAdvert : public TZSingleProductView {
 public:
  // The recognisers of the background and the panel.
  void awakeFromNib() override;
  // Keeps the record and fills the texts; nil changes nothing.
  void setProductDic(const std::shared_ptr<NSDictionary>& value) override;
  void showSingleProductWithCurrentVC(const std::shared_ptr<UIViewController>& controller,
                                      std::function<void()> adBlock) override;

  void bgClick();
  void closeClick(const std::shared_ptr<UIButton>& sender);
  void contentClick(const std::shared_ptr<UITapGestureRecognizer>& recognizer);
  // Takes the advert away; the home screen's also stores today (at 00:00) under "ADShowTime".
  void saveADShowDate();

  // Outlets (weak, as the nib's are).
  std::shared_ptr<UIView> bgView() const { return bgView_.lock(); }
  std::shared_ptr<UIView> contentView() const { return contentView_.lock(); }
  std::shared_ptr<UIImageView> productImageView() const { return productImageView_.lock(); }
  std::shared_ptr<UILabel> productTitleLabel() const { return productTitleLabel_.lock(); }
  std::shared_ptr<UILabel> priceLabel() const { return priceLabel_.lock(); }
  std::shared_ptr<UILabel> originalPriceLabel() const { return originalPriceLabel_.lock(); }
  std::shared_ptr<UILabel> huikouPriceLabel() const { return huikouPriceLabel_.lock(); }

  // Registers the nib "TZSingleProductView" with this look.
  static void registerNib();

 private:
  std::weak_ptr<UIView> bgView_;
  std::weak_ptr<UIView> contentView_;
  std::weak_ptr<UIImageView> productImageView_;
  std::weak_ptr<UILabel> productTitleLabel_;
  std::weak_ptr<UILabel> priceLabel_;
  std::weak_ptr<UILabel> originalPriceLabel_;
  std::weak_ptr<UILabel> huikouPriceLabel_;
  std::function<void()> adBlock_;
};

}  // namespace zvt::shopping
