#pragma once
// The own search results' content: the header of three orders and the filter, the one-column
// result grid, the price and Tmall filter panel (TZChooseRegionView) over a dimmed backdrop, the
// hot-keyword panel while the bar is edited, and the empty-result tip. Each result is a
// TZSearchResultCell.

#include <memory>
#include <vector>

#include "app/models/TZSearchResultModel.h"
#include "app/ui/ParentsViewController.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UICollectionView.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UITextField.h"

// The filter panel, from its nib: the price range, the Tmall-only button and the confirm button
// (tag 2).
class TZChooseRegionView : public ParentView {
 public:
  std::shared_ptr<UITextField> lowPriceTextField() const { return lowPriceTextField_.lock(); }
  std::shared_ptr<UITextField> highPriceTextField() const { return highPriceTextField_.lock(); }
  std::shared_ptr<UIButton> tmallButton() const { return tmallButton_.lock(); }
  void setOutlets(const std::shared_ptr<UITextField>& low, const std::shared_ptr<UITextField>& high,
                  const std::shared_ptr<UIButton>& tmall);

  void sureButtonClick(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }
  // Toggles the Tmall choice; its border follows.
  void tamllButtonClick(const std::shared_ptr<UIButton>& sender);
  void layoutSubviews() override;

 private:
  std::weak_ptr<UITextField> lowPriceTextField_;
  std::weak_ptr<UITextField> highPriceTextField_;
  std::weak_ptr<UIButton> tmallButton_;
};

// One result, from its nib.
class TZSearchResultCell : public UICollectionViewCell {
 public:
  std::shared_ptr<UIImageView> productIconImageView() const { return productIconImageView_.lock(); }
  std::shared_ptr<UILabel> productTitleLabel() const { return productTitleLabel_.lock(); }
  std::shared_ptr<UILabel> areaLabel() const { return areaLabel_.lock(); }
  std::shared_ptr<UILabel> storeNameLabel() const { return storeNameLabel_.lock(); }
  std::shared_ptr<UILabel> priceLabel() const { return priceLabel_.lock(); }
  std::shared_ptr<UILabel> rebateLabel() const { return rebateLabel_.lock(); }
  std::shared_ptr<UILabel> fanLabel() const { return fanLabel_.lock(); }
  std::shared_ptr<UIImageView> tmalliconImageView() const { return tmalliconImageView_.lock(); }
  std::shared_ptr<UILabel> salesVolumeLabel() const { return salesVolumeLabel_.lock(); }
  struct Outlets {
    std::shared_ptr<UIImageView> icon;
    std::shared_ptr<UILabel> title, area, store, price, rebate, fan;
    std::shared_ptr<UIImageView> tmall;
    std::shared_ptr<UILabel> sales;
  };
  void setOutlets(const Outlets& outlets);

  const std::shared_ptr<TZSearchResultModel>& model() const { return model_; }
  // nil is ignored.
  void setModel(const std::shared_ptr<TZSearchResultModel>& model);

 private:
  std::weak_ptr<UIImageView> productIconImageView_;
  std::weak_ptr<UILabel> productTitleLabel_, areaLabel_, storeNameLabel_, priceLabel_, rebateLabel_, fanLabel_;
  std::weak_ptr<UIImageView> tmalliconImageView_;
  std::weak_ptr<UILabel> salesVolumeLabel_;
  std::shared_ptr<TZSearchResultModel> model_;
};

class SearchResultView : public ParentView {
 public:
  void setUpWithFrame(CGRect frame) override;
  void createUI();

  const std::vector<std::shared_ptr<NSString>>& buttonTitleArray() const { return buttonTitleArray_; }
  const std::shared_ptr<UIView>& headView() const { return headView_; }
  const std::shared_ptr<UICollectionView>& searchResultCollectionView() const { return searchResultCollectionView_; }
  const std::shared_ptr<UIImageView>& chooseRegionImageView() const { return chooseRegionImageView_; }
  const std::shared_ptr<TZChooseRegionView>& chooseRegionView() const { return chooseRegionView_; }
  const std::shared_ptr<UIView>& grayBGview() const { return grayBGview_; }
  const std::shared_ptr<UIView>& hotView() const { return hotView_; }
  const std::shared_ptr<UICollectionView>& hotCollectionView() const { return hotCollectionView_; }
  const std::shared_ptr<UILabel>& tipLabel() const { return tipLabel_; }
  // The header button of the tag (30000 to 30003), nil for another.
  std::shared_ptr<UIButton> headerButton(NSInteger tag) const;

  void buttonClick(const std::shared_ptr<UIButton>& sender);
  void chooseBtnClick(const id& sender);
  void tapClick();
  void hiddenChooseRegionView();
  void clearChooseRegionView();
  void createHotView();
  void showTipsWithChooseRegion(bool chooseRegion);
  void hiddenTips();

 private:
  void placeTriangle(bool selected);

  std::vector<std::shared_ptr<NSString>> buttonTitleArray_;
  std::shared_ptr<UIView> headView_;
  std::vector<std::shared_ptr<UIButton>> headerButtons_;
  std::shared_ptr<UICollectionView> searchResultCollectionView_;
  std::shared_ptr<UIImageView> chooseRegionImageView_;
  std::shared_ptr<TZChooseRegionView> chooseRegionView_;
  std::shared_ptr<UIView> grayBGview_;
  std::shared_ptr<UIView> hotView_;
  std::shared_ptr<UICollectionView> hotCollectionView_;
  std::shared_ptr<UILabel> tipLabel_;
};
