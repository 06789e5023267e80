#pragma once
// The malls a mall-name search found ("搜索结果"): a three-column grid of logos with each
// mall's highest rebate, or a hint when nothing was found; a mall opens through the service's
// mall redirect on the product page.

#include <memory>

#include "app/ui/ParentsViewController.h"
#include "platform/foundation/NSArray.h"
#include "platform/uikit/UICollectionView.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"

class StoreCollectionViewCell : public UICollectionViewCell {
 public:
  void setUpWithFrame(CGRect frame) override;
  // Entry: [name, id, logo address, highest rebate], read by position.
  void fillCellWith(const id& entry);
  const std::shared_ptr<UIImageView>& imageView() const { return imageView_; }
  const std::shared_ptr<UILabel>& nameLabel() const { return nameLabel_; }

 private:
  std::shared_ptr<UIImageView> imageView_;
  std::shared_ptr<UILabel> nameLabel_;
};

class SearchStoreResultView : public ParentView {
 public:
  void setUpWithFrame(CGRect frame) override;
  void createUI();
  const std::shared_ptr<UICollectionView>& searchCollectionView() const { return searchCollectionView_; }

 private:
  std::shared_ptr<UICollectionView> searchCollectionView_;
};

class StoreSearchResultViewController : public ParentsViewController,
                                        public UICollectionViewDataSource,
                                        public UICollectionViewDelegateFlowLayout {
 public:
  const std::shared_ptr<NSArray>& storeArray() const { return storeArray_; }
  // Entries that are no arrays are left out: the grid reads each entry by position.
  void setStoreArray(const std::shared_ptr<NSArray>& array);
  id valueForKey(const std::shared_ptr<NSString>& key) const override;
  void setValueForKey(const id& value, const std::shared_ptr<NSString>& key) override;

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;
  void goToTheThirdPartyStore(NSInteger index);
  void dismissController();

  NSInteger collectionViewNumberOfItemsInSection(const std::shared_ptr<UICollectionView>& collectionView,
                                                 NSInteger section) override;
  std::shared_ptr<UICollectionViewCell> collectionViewCellForItemAtIndexPath(
      const std::shared_ptr<UICollectionView>& collectionView, const std::shared_ptr<NSIndexPath>& indexPath) override;
  void collectionViewDidSelectItemAtIndexPath(const std::shared_ptr<UICollectionView>& collectionView,
                                              const std::shared_ptr<NSIndexPath>& indexPath) override;

  const std::shared_ptr<SearchStoreResultView>& searchStoreResultView() const { return searchStoreResultView_; }
  const std::shared_ptr<UILabel>& tipLabel() const { return tipLabel_; }
  NSInteger selectIndex() const { return selectIndex_; }

 private:
  std::shared_ptr<NSArray> storeArray_;
  std::shared_ptr<SearchStoreResultView> searchStoreResultView_;
  std::shared_ptr<UILabel> tipLabel_;
  NSInteger selectIndex_ = 0;
};
