#pragma once
// The curated product store: the second tab's root and, pushed, the target of the home
// screen's big categories and of routed links. Twelve categories of products side by side in a
// pager (the switcher BabyProductsView), one sort type for all of them chosen from the title,
// lists fetched page by page from the service as each category is first shown.
//
// Each grid shows its own category's list. A reply lands in the category (and page) that asked
// for it, and is dropped when the sort type has changed since or when its grid has been pulled
// down after it was asked for; a sort change empties and reloads all twelve grids. A failed page
// is asked for again by the next pull-up; the error view and its retry come only for a failure
// of the category on screen.

#include <memory>
#include <vector>

#include "app/screens/shopping/BabyProductsView.h"
#include "app/ui/PageRequests.h"
#include "app/ui/ParentsViewController.h"
#include "app/ui/SharedViews.h"
#include "platform/foundation/NSArray.h"
#include "platform/uikit/UICollectionView.h"
#include "platform/uikit/UIImageView.h"

class ProductStoreViewController : public ParentsViewController,
                                   public UICollectionViewDataSource,
                                   public UICollectionViewDelegateFlowLayout {
 public:
  ProductStoreViewController();

  // --- set by the opener (key-value coded as "isPush", "smallSortType", "bigSortType")
  bool isPush() const { return isPush_; }
  void setIsPush(bool value) { isPush_ = value; }
  // The category shown first, as its "cid".
  NSInteger smallSortType() const { return smallSortType_; }
  void setSmallSortType(NSInteger value) { smallSortType_ = value; }
  // The sort type sent as "type": 0, 1, 3 or 4.
  NSInteger bigSortType() const { return bigSortType_; }
  void setBigSortType(NSInteger value) { bigSortType_ = value; }

  static const zvt::KVCClass* classTable();
  const zvt::KVCClass* kvcClass() const override { return classTable(); }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void loadProductsWithPage(int page);
  // The selected category's refresh and next page.
  void headerAction();
  void footerAction();
  // The same for the category of a grid: each grid's controls load their own category, so an
  // early load of a grid that is not selected still lands in it (and ends its refreshing).
  void loadProductsWithPage(int page, NSInteger category);
  void headerAction(NSInteger category);
  void footerAction(NSInteger category);
  void failureLoad();
  void createErrorView();
  void wrongAction();
  void buttonClick(const std::shared_ptr<UIButton>& sender);
  void bigButtonClick(const std::shared_ptr<UIButton>& sender);
  void openTheBigSortTypeList();
  void turnToTop();
  void gotoTaoBaoWith(const id& goodsId, const id& taoBaoGoodsId);

  // --- grids and pager
  NSInteger collectionViewNumberOfItemsInSection(const std::shared_ptr<UICollectionView>& collectionView,
                                                 NSInteger section) override;
  std::shared_ptr<UICollectionViewCell> collectionViewCellForItemAtIndexPath(
      const std::shared_ptr<UICollectionView>& collectionView, const std::shared_ptr<NSIndexPath>& indexPath) override;
  void collectionViewDidSelectItemAtIndexPath(const std::shared_ptr<UICollectionView>& collectionView,
                                              const std::shared_ptr<NSIndexPath>& indexPath) override;
  void scrollViewDidEndDecelerating(const std::shared_ptr<UIScrollView>& scrollView) override;
  void scrollViewDidScroll(const std::shared_ptr<UIScrollView>& scrollView) override;

  // --- state, for tests
  NSInteger indexTag() const { return indexTag_; }
  bool isSelected() const { return isSelected_; }
  std::shared_ptr<NSMutableArray> productsOf(NSInteger index) const { return totalproductsArray_[static_cast<size_t>(index)]; }
  std::shared_ptr<NSString> pageOf(NSInteger index) const { return pageNumberArray_[static_cast<size_t>(index)]; }
  std::shared_ptr<BabyProductsView> babyProductsView() const { return babyProductsView_; }
  std::shared_ptr<UIButton> hederButton() const { return hederButton_; }
  std::shared_ptr<UIImageView> bigSortTypeArrowImageView() const { return bigSortTypeArrowImageView_; }
  std::shared_ptr<TZTopButton> topBtn() const { return topBtn_; }
  std::shared_ptr<TZNoMessageTipView> noMessageTipView() const { return noMessageTipView_; }
  CGRect lowRect() const { return lowRect_; }
  CGRect highRect() const { return highRect_; }
  // The "cid" texts in category order.
  static const std::vector<const char*>& cidArray();

 private:
  std::shared_ptr<ProductStoreViewController> storeSelf() {
    return std::static_pointer_cast<ProductStoreViewController>(controllerSelf());
  }
  void initData();
  void createHeaderUI();
  void createUI();
  void postRequest();
  // The title and its arrow for a sort title.
  void showSortTitle(const std::shared_ptr<NSString>& title);
  std::shared_ptr<UICollectionView> gridAt(NSInteger index) const;
  // The category a grid shows (its tag less 10000), -1 for another scroll view.
  NSInteger categoryOf(const std::shared_ptr<UIScrollView>& scrollView) const;
  void selectCategory(NSInteger index);

  bool isPush_ = false;
  NSInteger smallSortType_ = 0;
  NSInteger bigSortType_ = 0;

  int ps_ = 12;
  NSInteger indexTag_ = 0;
  std::vector<std::shared_ptr<NSString>> pageNumberArray_;
  // Each category's requests: a later page asked for before the grid's last pull-down is
  // dropped when it comes.
  std::vector<zvt::ui::PageRequests> requests_ = std::vector<zvt::ui::PageRequests>(12);
  std::vector<std::shared_ptr<NSMutableArray>> totalproductsArray_;
  std::vector<std::shared_ptr<NSString>> headerButtonTitleArray_;
  std::shared_ptr<UIButton> hederButton_;
  std::shared_ptr<UIImageView> bigSortTypeArrowImageView_;
  bool isSelected_ = false;
  // Counts the sort changes; a reply of an earlier count is dropped.
  int sortGeneration_ = 0;
  std::shared_ptr<BabyProductsView> babyProductsView_;
  std::shared_ptr<TZTopButton> topBtn_;
  CGRect lowRect_{};
  CGRect highRect_{};
  std::shared_ptr<TZNoMessageTipView> noMessageTipView_;
};
