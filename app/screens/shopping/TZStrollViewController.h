#pragma once
// The browse screen "逛逛": a search box, a column of big categories and, beside it, the
// keyword tiles of the selected category. A tile searches its word with a rebate, in the
// application's own results or on the affiliate search page, as the service's configuration
// says. The categories come from the service's "get_search_cat" once, when the screen loads.

#include <memory>

#include "app/models/TZStrollModel.h"
#include "app/ui/ParentsViewController.h"
#include "platform/foundation/NSArray.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UICollectionView.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIScrollView.h"

// A tile picture with a light border and rounded corners (kept with the screen's family; no
// screen shows it).
class TZStrollImageView : public UIImageView {
 public:
  void setUpWithFrame(CGRect frame) override;
  void createUI();
};

// One keyword tile: the picture above, the word below.
class TZStrollCell : public UICollectionViewCell {
 public:
  void setUpWithFrame(CGRect frame) override;
  void fillCellWith(const std::shared_ptr<TZStrollModel>& model);

  const std::shared_ptr<UIImageView>& imageView() const { return imageView_; }
  const std::shared_ptr<UILabel>& label() const { return label_; }

 private:
  std::shared_ptr<UIImageView> imageView_;
  std::shared_ptr<UILabel> label_;
};

// The screen's content. A tap on the search box runs searchblock; a tap on a big category
// selects it and reports the button (tag = the category's index) through myBlock.
class TZStrollView : public ParentView {
 public:
  void setUpWithFrame(CGRect frame) override;
  void createUI();
  // One button per entry of the "searchCat" list, titled with its "catName"; the first selected.
  void fillViewWithArray(const std::shared_ptr<NSArray>& categories);
  void searchButtonClick(const std::shared_ptr<UIButton>& sender);
  void buttonClick(const std::shared_ptr<UIButton>& sender);

  std::function<void()> searchblock;

  const std::shared_ptr<UIScrollView>& bgScrollView() const { return bgScrollView_; }
  const std::shared_ptr<UIButton>& searchButton() const { return searchButton_; }
  const std::shared_ptr<UIScrollView>& bigCategoryScrollView() const { return bigCategoryScrollView_; }
  const std::shared_ptr<UICollectionView>& littleCategoryCollectionView() const { return littleCategoryCollectionView_; }
  const std::shared_ptr<NSMutableArray>& containerArray() const { return containerArray_; }
  const std::shared_ptr<UIView>& orLine() const { return orLine_; }

 private:
  std::shared_ptr<UIScrollView> bgScrollView_;
  std::shared_ptr<UIButton> searchButton_;
  std::shared_ptr<UIScrollView> bigCategoryScrollView_;
  std::shared_ptr<UICollectionView> littleCategoryCollectionView_;
  std::shared_ptr<NSMutableArray> containerArray_;
  std::shared_ptr<UIView> lineView_;
  std::shared_ptr<UIView> orLine_;
};

class TZStrollViewController : public ParentsViewController,
                               public UICollectionViewDataSource,
                               public UICollectionViewDelegateFlowLayout {
 public:
  TZStrollViewController();

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void createUI();
  void loadDatas();
  void gotoSearch();
  void buttonAction(const id& sender);
  void goToTheSearchResultProductViewWithTheQueryString(const std::shared_ptr<NSString>& keyword);
  void gotoSearchResultWith(const std::shared_ptr<NSString>& keyword);
  void gotoS8(const std::shared_ptr<NSString>& keyword, const std::shared_ptr<NSString>& pid);

  NSInteger collectionViewNumberOfItemsInSection(const std::shared_ptr<UICollectionView>& collectionView,
                                                 NSInteger section) override;
  std::shared_ptr<UICollectionViewCell> collectionViewCellForItemAtIndexPath(
      const std::shared_ptr<UICollectionView>& collectionView, const std::shared_ptr<NSIndexPath>& indexPath) override;
  void collectionViewDidSelectItemAtIndexPath(const std::shared_ptr<UICollectionView>& collectionView,
                                              const std::shared_ptr<NSIndexPath>& indexPath) override;

  // What the screen holds, for its tests.
  const std::shared_ptr<TZStrollView>& strollView() const { return strollView_; }
  const std::shared_ptr<NSMutableArray>& allDataArray() const { return allDataArray_; }
  const std::shared_ptr<NSMutableArray>& dataArray() const { return dataArray_; }
  const std::shared_ptr<NSString>& searchMothed() const { return searchMothed_; }
  const std::shared_ptr<NSString>& pidStr() const { return pidStr_; }

 private:
  std::shared_ptr<TZStrollView> strollView_;
  std::shared_ptr<NSMutableArray> allDataArray_;
  std::shared_ptr<NSMutableArray> dataArray_;
  std::shared_ptr<NSString> searchMothed_;
  std::shared_ptr<NSString> pidStr_;
  // A search asked for while the configuration is on its way waits for it: a tap repeated
  // meanwhile neither asks again nor opens a second page; the last keyword asked for is searched.
  bool configurationFetching_ = false;
  std::shared_ptr<NSString> pendingKeyword_;
};
