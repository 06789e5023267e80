#pragma once
// The root of the first tab: the configured header over the grid of recommended products,
// paged from the service. It fetches the configuration (caching the header's five lists and
// copying the other values into the application delegate), shows the first-run guide, the
// network placeholder with its retry, the back-to-top button and, on the second appearance of
// a day, the advert of one product. Products open the product page; header items go through
// the item router, big categories to the product store.

#include <memory>

#include "app/models/TZProductModel.h"
#include "app/screens/shopping/HeadReusableView.h"
#include "app/screens/shopping/HomePageView.h"
#include "app/ui/ParentsViewController.h"
#include "app/ui/SharedViews.h"
#include "platform/foundation/NSArray.h"
#include "platform/uikit/UICollectionView.h"
#include "platform/uikit/UIPageControl.h"
#include "platform/uikit/UISearchBar.h"

class HomeViewController : public ParentsViewController,
                           public UICollectionViewDataSource,
                           public UICollectionViewDelegateFlowLayout,
                           public UISearchBarDelegate,
                           public OrvakAdRollDelegate,
                           public SmallClassViewDelegate,
                           public BigClassViewDelegate,
                           public ActivityViewDelegate,
                           public SmallActivityViewDelegate {
 public:
  HomeViewController();

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void loadConfig();
  void loadProducts();
  // Pull-down and retry: page 1 with a fresh configuration.
  void headerAction();
  // Pull-up: the next page.
  void footerAction();
  void failureLoad();
  void initErrorView();
  void turnToTop();
  void gotoSearch();
  void gotoSignIn();
  void goToDetailView(const std::shared_ptr<TZProductModel>& model);
  void gotoTheTaobaoDetailViewWithModel(const std::shared_ptr<TZProductModel>& model);
  // The guide's start button.
  void firstpressed();
  void adShowWithGoods(const std::shared_ptr<NSDictionary>& goods);
  // The stored "ADShowTime" against today at 00:00: 1 later, -1 earlier, 0 the same day or none.
  int compareDate() const;

  // --- grid
  NSInteger collectionViewNumberOfItemsInSection(const std::shared_ptr<UICollectionView>& collectionView,
                                                 NSInteger section) override;
  std::shared_ptr<UICollectionViewCell> collectionViewCellForItemAtIndexPath(
      const std::shared_ptr<UICollectionView>& collectionView, const std::shared_ptr<NSIndexPath>& indexPath) override;
  std::shared_ptr<UICollectionReusableView> collectionViewViewForSupplementaryElementOfKind(
      const std::shared_ptr<UICollectionView>& collectionView, const std::shared_ptr<NSString>& kind,
      const std::shared_ptr<NSIndexPath>& indexPath) override;
  CGSize collectionViewLayoutReferenceSizeForHeaderInSection(const std::shared_ptr<UICollectionView>& collectionView,
                                                             const std::shared_ptr<UICollectionViewLayout>& layout,
                                                             NSInteger section) override;
  void collectionViewDidSelectItemAtIndexPath(const std::shared_ptr<UICollectionView>& collectionView,
                                              const std::shared_ptr<NSIndexPath>& indexPath) override;
  void scrollViewDidScroll(const std::shared_ptr<UIScrollView>& scrollView) override;

  // --- search bar: opens the search page and never takes the keyboard
  bool searchBarShouldBeginEditing(const std::shared_ptr<UISearchBar>& searchBar) override;

  // --- header
  void didClick(const std::shared_ptr<NSDictionary>& entry) override;
  void currentPage(int page, int total) override;
  void smallClassViewClick(const std::shared_ptr<TZHeaderInfoModel>& item) override;
  void bigClassViewClick(const std::shared_ptr<TZHeaderInfoModel>& item) override;
  void activityViewClick(const std::shared_ptr<TZHeaderInfoModel>& item) override;
  void smallActivityViewClick(const std::shared_ptr<TZHeaderInfoModel>& item) override;

  // --- state, for tests
  int enterNum() const { return enterNum_; }
  int pageNumber() const { return pageNumber_; }
  std::shared_ptr<NSMutableArray> totalProductArray() const { return totalProductArray_; }
  std::shared_ptr<HomePageView> homePageView() const { return homePageView_; }
  std::shared_ptr<HeadReusableView> headerView() const { return headerView_; }
  std::shared_ptr<UIPageControl> pageControl() const { return pageControl_; }
  std::shared_ptr<TZTopButton> topBtn() const { return topBtn_; }
  std::shared_ptr<TZNoMessageTipView> noMessageTipView() const { return noMessageTipView_; }
  std::shared_ptr<UISearchBar> searchBar() const { return searchBar_; }

 private:
  std::shared_ptr<HomeViewController> homeSelf() {
    return std::static_pointer_cast<HomeViewController>(controllerSelf());
  }
  void initDatas();
  void configNavigationbar();
  void createUI();
  void createTopBtn();
  // The configuration reply, on the main queue.
  void applyConfig(const std::shared_ptr<NSDictionary>& reply);
  void openProduct(const std::shared_ptr<TZProductModel>& model);

  int enterNum_ = 1;
  int pageNumber_ = 1;
  int ps_ = 12;
  // Counts the pull-downs: a page asked for before the last one belongs to a list that has
  // started again, and its reply is dropped.
  int refreshGeneration_ = 0;
  // A first page asked for by a pull-down or the placeholder's retry has not come back yet.
  bool firstPageOnItsWay_ = false;
  double headerH_ = 0;
  std::shared_ptr<NSMutableArray> totalProductArray_;
  std::shared_ptr<HomePageView> homePageView_;
  std::shared_ptr<HeadReusableView> headerView_;
  std::shared_ptr<UIPageControl> pageControl_;
  std::shared_ptr<TZTopButton> topBtn_;
  std::shared_ptr<TZNoMessageTipView> noMessageTipView_;
  std::shared_ptr<UISearchBar> searchBar_;
};
