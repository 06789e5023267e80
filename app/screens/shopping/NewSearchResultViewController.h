#pragma once
// The service's own search over Taobao goods: a keyword, an optional price range and Tmall-only
// filter and one of four orders go to the search script; the goods come back with their
// rebates in a one-column list that pages on pull-up and reloads on pull-down; a failure covers
// it with the no-network view, whose retry asks the same page again (and nothing while the
// search is on its way). The search bar in the navigation bar searches again; while it is
// edited a panel of hot keywords covers the list.

#include <memory>

#include "app/screens/shopping/SearchResultView.h"
#include "app/ui/ParentsViewController.h"
#include "app/ui/SharedViews.h"
#include "platform/foundation/NSArray.h"
#include "platform/uikit/UISearchBar.h"

class NewSearchResultViewController : public ParentsViewController,
                                      public UISearchBarDelegate,
                                      public UICollectionViewDataSource,
                                      public UICollectionViewDelegateFlowLayout {
 public:
  NewSearchResultViewController();

  const std::shared_ptr<NSString>& keyword() const { return keyword_; }
  void setKeyword(const std::shared_ptr<NSString>& keyword) { keyword_ = keyword; }
  bool isFromSearch() const { return isFromSearch_; }
  void setIsFromSearch(bool value) { isFromSearch_ = value; }
  id valueForKey(const std::shared_ptr<NSString>& key) const override;
  void setValueForKey(const id& value, const std::shared_ptr<NSString>& key) override;

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void initDatas();
  void configNavigationbar();
  void createUI();
  void hearderRefresh();
  void footerRefresh();
  void searchProduct();
  void searchActionWithKey(const std::shared_ptr<NSString>& keyword);
  void buttonClick(const id& sender);
  void getHotKeyword();
  void gotoDetailWithModel(const std::shared_ptr<TZSearchResultModel>& model);
  void initErrorView();

  bool searchBarShouldBeginEditing(const std::shared_ptr<UISearchBar>& searchBar) override;
  void searchBarSearchButtonClicked(const std::shared_ptr<UISearchBar>& searchBar) override;
  void scrollViewWillBeginDragging(const std::shared_ptr<UIScrollView>& scrollView) override;
  NSInteger collectionViewNumberOfItemsInSection(const std::shared_ptr<UICollectionView>& collectionView,
                                                 NSInteger section) override;
  std::shared_ptr<UICollectionViewCell> collectionViewCellForItemAtIndexPath(
      const std::shared_ptr<UICollectionView>& collectionView, const std::shared_ptr<NSIndexPath>& indexPath) override;
  void collectionViewDidSelectItemAtIndexPath(const std::shared_ptr<UICollectionView>& collectionView,
                                              const std::shared_ptr<NSIndexPath>& indexPath) override;

  const std::shared_ptr<SearchResultView>& searchResultView() const { return searchResultView_; }
  const std::shared_ptr<UISearchBar>& searchBar() const { return searchBar_; }
  const std::shared_ptr<NSMutableArray>& datasArray() const { return datasArray_; }
  const std::shared_ptr<TZNoMessageTipView>& noMessageTipView() const { return noMessageTipView_; }
  NSInteger pageNum() const { return pageNum_; }
  NSInteger sort() const { return sort_; }
  // The latest search request is on its way.
  bool isLoading() const { return answeredSerial_ != requestSerial_; }

 private:
  std::shared_ptr<NSString> keyword_;
  bool isFromSearch_ = false;
  std::shared_ptr<NSMutableArray> datasArray_;
  std::shared_ptr<NSMutableArray> hotKeymArray_;
  NSInteger pageNum_ = 0;
  NSInteger sort_ = 0;
  NSInteger mallItem_ = 0;
  bool chooseRegion_ = false;
  std::shared_ptr<UISearchBar> searchBar_;
  std::shared_ptr<SearchResultView> searchResultView_;
  std::shared_ptr<TZNoMessageTipView> noMessageTipView_;
  // Each search request's number: a reply of a request that a newer one has replaced is
  // dropped, so an older keyword's rows never replace a newer keyword's.
  uint64_t requestSerial_ = 0;
  uint64_t answeredSerial_ = 0;  // the latest request whose reply has come
};
