#pragma once
// The points product detail ("兑换详情"): the product's picture, name, Velmo and 集分宝 prices,
// stock and time left, with a button per currency that opens the order form. Logged out, a
// button asks to log in ("请先登录", then the login screen); a product without a price in the
// chosen currency is refused with an alert.

#include <memory>

#include "app/ui/ParentsViewController.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIScrollView.h"

class PointsProductDetailViewController;

class PointsProductDetailView : public ParentView {
 public:
  static constexpr NSInteger kJifenbaoTag = 1;  // the right button, 集分宝
  static constexpr NSInteger kVelmoTag = 2;     // the left button, Velmo

  // initWithFrame: the empty view.
  void setUpWithFrame(CGRect frame) override;
  // Fills the view from the record and starts the picture load.
  void importProduct(const std::shared_ptr<NSDictionary>& record);
  void withDrawAction(const std::shared_ptr<UIButton>& sender);
  void dismissController();

  std::shared_ptr<PointsProductDetailViewController> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<PointsProductDetailViewController>& controller) { delegate_ = controller; }
  std::shared_ptr<NSDictionary> infoDictionary() const { return infoDictionary_; }
  void setInfoDictionary(const std::shared_ptr<NSDictionary>& record) { infoDictionary_ = record; }
  int32_t jifenNumber() const { return jifenNumber_; }

  std::shared_ptr<UIScrollView> scrollerView() const { return scrollerView_; }
  std::shared_ptr<UIImageView> backgroundView() const { return backgroundView_; }
  std::shared_ptr<UIImageView> pointProductImage() const { return pointProductImage_; }
  std::shared_ptr<UILabel> nameLabel() const { return nameLabel_; }
  std::shared_ptr<UILabel> zaveltoMoneyLabel() const { return zaveltoMoneyLabel_; }
  std::shared_ptr<UILabel> aLiBaBaMoneyLabel() const { return aLiBaBaMoneyLabel_; }
  std::shared_ptr<UILabel> storeNumberLabel() const { return storeNumberLabel_; }
  std::shared_ptr<UILabel> lastTimeLabel() const { return lastTimeLabel_; }

  // "仅剩%2d天%2d小时%2d分钟%2d秒" for the whole seconds from now to `endSeconds` (since 1970);
  // nil once the offer has ended.
  static std::shared_ptr<NSString> timeLeftText(double endSeconds, double now);

 private:
  std::weak_ptr<PointsProductDetailViewController> delegate_;
  std::shared_ptr<NSDictionary> infoDictionary_;
  int32_t jifenNumber_ = 0;
  std::shared_ptr<UIScrollView> scrollerView_;
  std::shared_ptr<UIImageView> backgroundView_;
  std::shared_ptr<UIImageView> pointProductImage_;
  std::shared_ptr<UILabel> nameLabel_;
  std::shared_ptr<UILabel> zaveltoMoneyLabel_;
  std::shared_ptr<UILabel> aLiBaBaMoneyLabel_;
  std::shared_ptr<UILabel> storeNumberLabel_;
  std::shared_ptr<UILabel> lastTimeLabel_;
};

class PointsProductDetailViewController : public ParentsViewController {
 public:
  static std::shared_ptr<PointsProductDetailViewController> make() {
    return std::make_shared<PointsProductDetailViewController>();
  }
  std::string className() const override { return "PointsProductDetailViewController"; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  std::shared_ptr<NSDictionary> infoDic() const { return infoDic_; }
  void setInfoDic(const std::shared_ptr<NSDictionary>& record) { infoDic_ = record; }
  NSInteger productType() const { return productType_; }
  void setProductType(NSInteger type) { productType_ = type; }
  std::shared_ptr<PointsProductDetailView> detailView() const { return detailView_; }

 private:
  std::shared_ptr<NSDictionary> infoDic_;
  NSInteger productType_ = 0;
  std::shared_ptr<PointsProductDetailView> detailView_;
};
