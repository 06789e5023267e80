#pragma once
// The product store's content under the bar: a strip of twelve category tabs with an orange
// underline, a button at its right end unfolding the full category list, a pager holding one
// product grid per category, the list of the four sort types (opened by the screen's title)
// and a shade behind whichever list is open. The view keeps the controls' looks; the screen
// decides what loads and which tab to highlight.

#include <functional>
#include <memory>
#include <vector>

#include "app/ui/ParentsViewController.h"
#include "platform/foundation/NSArray.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UICollectionView.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIScrollView.h"

class BabyProductsView : public ParentView {
 public:
  using ButtonBlock = std::function<void(const std::shared_ptr<UIButton>& button)>;
  using ShadowBlock = std::function<void(const std::shared_ptr<UITapGestureRecognizer>& gesture)>;

  void setUpWithFrame(CGRect frame) override;

  // Highlights category n in the strip and the list, brings its tab into view and moves the
  // underline under it.
  void scrollViewButtonClick(NSInteger index);
  void scrollViewButtonAction(const std::shared_ptr<UIButton>& sender);
  void listViewbuttonAction(const std::shared_ptr<UIButton>& sender);
  void arrowButtonAction(const std::shared_ptr<UIButton>& sender);
  void bigButtonClick(const std::shared_ptr<UIButton>& sender);
  void shadowViewClick(const std::shared_ptr<UITapGestureRecognizer>& gesture);

  void setBigViewButtonBlock(ButtonBlock block) { bigViewButtonBlock_ = std::move(block); }
  void setShadowViewBlock(ShadowBlock block) { shadowViewBlock_ = std::move(block); }

  // The width of one tab (five show at a time).
  CGFloat tabWidth() const;

  std::vector<std::shared_ptr<NSString>> buttonTitleArray;
  std::vector<std::shared_ptr<NSString>> bigButtonTitleArray;
  std::shared_ptr<UIScrollView> listScrollView;
  std::vector<std::shared_ptr<UIButton>> scrollViewArray;
  std::shared_ptr<UILabel> lineView;
  std::shared_ptr<UIButton> arrowButton;
  std::shared_ptr<UIView> listView;
  std::vector<std::shared_ptr<UIButton>> listViewArray;
  std::shared_ptr<UIScrollView> backScrollView;
  std::shared_ptr<UICollectionView> allProductsCollectionView, girlProductsCollectionView, homeProductsCollectionView,
      boyProductsCollectionView, momProductsCollectionView, shoneProductsCollectionView, prettyProductsCollectionView,
      foodsProductsCollectionView, peishiProductsCollectionView, wentiProductsCollectionView,
      shumaProductsCollectionView, oldmanProductsCollectionView;
  // The twelve grids in category order (index = category index); grid i has tag 10000 + i.
  std::vector<std::shared_ptr<UICollectionView>> collectionArray;
  std::shared_ptr<UIView> bigButtonView;
  std::vector<std::shared_ptr<UIButton>> bigButtonArray;
  std::shared_ptr<UIView> shadowView;

 private:
  void initDatas();
  void createScrollViewButton();
  void createUI();
  void createListButton();
  void createBigButtonView();
  // The arrow button back at rest and unselected.
  void foldArrow();

  ButtonBlock bigViewButtonBlock_;
  ShadowBlock shadowViewBlock_;
};
