#pragma once
// The partner-mall screen "商城回扣": the fourth tab's root and, pushed (isPush), the target of
// the home screen's mall item and of push messages. Categories and the malls of each category
// come from two hand-signed requests; a mall opens the product page on the service's mall
// redirect so that purchases there earn a rebate. The content (ThirdProductView) is a strip
// of category tabs, a drop-down list of all categories when there are more than three, and
// a pager with one grid of malls per category.
//
// Each grid shows its own category's list. A mall reply lands in the category it was asked
// for and replaces that list; no second request for a category goes out while one runs. A
// category load that fails while the network was up shows the no-network placeholder, whose
// retry asks again.

#include <memory>
#include <vector>

#include "app/ui/ParentsViewController.h"
#include "app/ui/SharedViews.h"
#include "platform/foundation/NSArray.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UICollectionView.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIScrollView.h"

// A mall in a grid: its logo and its highest rebate.
class ThirdCollectionViewCell : public UICollectionViewCell {
 public:
  void setUpWithFrame(CGRect frame) override;
  // A mall record: the logo from "img", "最高回扣:" followed by "fan" in the rebate colour.
  void fillCellWith(const id& record);

  const std::shared_ptr<UIImageView>& imageView() const { return imageView_; }
  const std::shared_ptr<UILabel>& nameLabel() const { return nameLabel_; }

 private:
  std::shared_ptr<UIImageView> imageView_;
  std::shared_ptr<UILabel> nameLabel_;
};

// The mall screen's content. Categories are [cid, title] arrays; button and grid tags are
// category indexes (grids 1000 + i). A chosen tab or list entry is reported through myBlock
// after the view has moved the underline, the strip and the pages.
class ThirdProductView : public ParentView {
 public:
  void setUpWithFrame(CGRect frame) override;
  void createScrollViewButton(const std::shared_ptr<NSArray>& categories);
  void createUIWithArray(const std::shared_ptr<NSArray>& categories);
  void createListViewButton(const std::shared_ptr<NSArray>& categories);

  void scrollButtonClick(const std::shared_ptr<UIButton>& sender);
  void listViewButtonClick(const std::shared_ptr<UIButton>& sender);
  void openList();
  // The list closed: shade and list hidden, strip shown, the arrow turned back and deselected.
  void closeList();
  // Selects category `index` in the strip and the list.
  void selectButtons(NSInteger index);
  // The width of one tab: (W - 40) / 3 with four or more categories, else W / 3.
  CGFloat tabWidth() const;

  std::shared_ptr<UIScrollView> listScrollView;
  std::vector<std::shared_ptr<UIButton>> scrollViewButtonArray;
  std::shared_ptr<UIView> lineView;
  std::shared_ptr<UIScrollView> backScrollView;
  std::vector<std::shared_ptr<UICollectionView>> collectionViewArray;
  std::shared_ptr<UIView> listView;
  std::vector<std::shared_ptr<UIButton>> listViewButtonArray;
  std::shared_ptr<UIButton> arrowButton;
  std::shared_ptr<UIView> shadowView;

 private:
  std::shared_ptr<ThirdProductView> viewSelf() { return std::static_pointer_cast<ThirdProductView>(shared_from_this()); }
  // Underline (and, with four or more tabs, the strip) to the tab, in 0.5 s.
  void moveToTab(NSInteger tag, bool moveStrip);

  NSInteger count_ = 0;
};

class ThirdProductStoreViewController : public ParentsViewController,
                                        public UICollectionViewDataSource,
                                        public UICollectionViewDelegateFlowLayout {
 public:
  ThirdProductStoreViewController();

  // --- set by the opener (key-value coded as "isPush")
  bool isPush() const { return isPush_; }
  void setIsPush(bool value) { isPush_ = value; }

  static const zvt::KVCClass* classTable();
  const zvt::KVCClass* kvcClass() const override { return classTable(); }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  // The categories (accessServiceType 0) or the selected category's malls (1).
  void loadStore();
  void createUI();
  void buttonClick(const std::shared_ptr<UIButton>& sender);
  void shadowViewClick();
  void refreshAction();
  void goToTheThirdPartyStore();
  void cancelTheTips();

  // --- grids and pager
  NSInteger collectionViewNumberOfItemsInSection(const std::shared_ptr<UICollectionView>& collectionView,
                                                 NSInteger section) override;
  std::shared_ptr<UICollectionViewCell> collectionViewCellForItemAtIndexPath(
      const std::shared_ptr<UICollectionView>& collectionView, const std::shared_ptr<NSIndexPath>& indexPath) override;
  void collectionViewDidSelectItemAtIndexPath(const std::shared_ptr<UICollectionView>& collectionView,
                                              const std::shared_ptr<NSIndexPath>& indexPath) override;
  void scrollViewDidEndDecelerating(const std::shared_ptr<UIScrollView>& scrollView) override;
  void scrollViewDidScroll(const std::shared_ptr<UIScrollView>& scrollView) override;

  // --- state, for tests and the benchmark
  NSInteger indexTag() const { return indexTag_; }
  std::shared_ptr<NSString> cidStr() const { return cidStr_; }
  NSInteger accessServiceType() const { return accessServiceType_; }
  std::shared_ptr<NSArray> allSortTypeArray() const { return allSortTypeArray_; }
  std::shared_ptr<NSMutableArray> mallsOf(NSInteger index) const;
  bool isLoading(NSInteger index) const;
  std::shared_ptr<ThirdProductView> thirdProductView() const { return thirdProductView_; }
  std::shared_ptr<UIView> titleView() const { return titleView_; }
  std::shared_ptr<UIButton> courseButton() const { return courseButton_; }
  std::shared_ptr<UIView> tipsView() const { return tipsView_; }
  std::shared_ptr<TZNoMessageTipView> noMessageTipView() const { return noMessageTipView_; }
  // Selects category `index` as a tab or the list does (after the view moved), for tests that
  // reach the late-reply defences the loading overlay keeps people from.
  void selectCategory(NSInteger index);

 private:
  std::shared_ptr<ThirdProductStoreViewController> storeSelf() {
    return std::static_pointer_cast<ThirdProductStoreViewController>(controllerSelf());
  }
  void initDatas();
  void initTheHeadView();
  void initTheWrongView();
  void createGui();
  void gotoSearch();
  void gotoCourse();
  // The signed request after get_time; `category` is the index asked for (-1: the categories).
  void requestAfterTime(const id& time, NSInteger category);
  void categoriesArrived(const id& data);
  void categoriesFailed();
  void mallsArrived(NSInteger category, const id& data);
  std::shared_ptr<UICollectionView> gridAt(NSInteger index) const;
  // The category a grid shows (its tag less 1000), -1 for another scroll view.
  NSInteger categoryOf(const std::shared_ptr<UIScrollView>& scrollView) const;

  bool isPush_ = false;

  std::shared_ptr<NSArray> allSortTypeArray_;
  std::vector<std::shared_ptr<NSMutableArray>> allArray_;
  std::vector<bool> loading_;
  NSInteger indexTag_ = 0;
  std::shared_ptr<NSString> cidStr_;
  NSInteger accessServiceType_ = 0;
  NSInteger selectIndex_ = 0;
  // The categories' request is on its way.
  bool categoriesRequested_ = false;
  std::shared_ptr<ThirdProductView> thirdProductView_;
  std::shared_ptr<UIView> titleView_;
  std::shared_ptr<UIButton> courseButton_;
  std::shared_ptr<UIView> tipsView_;
  std::shared_ptr<TZNoMessageTipView> noMessageTipView_;
};
