#pragma once
// The third tab ("淘宝回扣"): a keyword field and the service's hot keywords; a search opens
// Taobao's affiliate search page with the service's pid and the user's id, so that orders placed
// there earn the user a rebate. The second button opens the rebate tutorial.

#include <memory>

#include "app/ui/ParentsViewController.h"
#include "platform/foundation/NSArray.h"
#include "platform/uikit/NSLayoutConstraint.h"
#include "platform/uikit/UICollectionView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITextField.h"

// One hot keyword: a rounded white pill with the word centred.
class TZSearchCollectionViewCell : public UICollectionViewCell {
 public:
  void setUpWithFrame(CGRect frame) override;
  void createUI();
  const std::shared_ptr<NSString>& hotKey() const { return hotKey_; }
  // nil is ignored.
  void setHotKey(const std::shared_ptr<NSString>& hotKey);
  const std::shared_ptr<UILabel>& hotLabel() const { return hotLabel_; }

 private:
  std::shared_ptr<NSString> hotKey_;
  std::shared_ptr<UILabel> hotLabel_;
};

// The tab's content, from its nib: the field, the hot-keyword grid, the search button (tag 1)
// and the tutorial button (tag 2), which report through myBlock.
class TZSearchView : public ParentView {
 public:
  std::shared_ptr<UITextField> searchTextField() const { return searchTextField_.lock(); }
  std::shared_ptr<UICollectionView> searchCollectionView() const { return searchCollectionView_.lock(); }
  std::shared_ptr<UIScrollView> bgScrollView() const { return bgScrollView_.lock(); }
  std::shared_ptr<NSLayoutConstraint> bgScrollViewBottomConstraint() const { return bgScrollViewBottomConstraint_.lock(); }
  std::shared_ptr<NSLayoutConstraint> contentViewConstraintH() const { return contentViewConstraintH_.lock(); }
  // Outlets, connected by the nib.
  void setOutlets(const std::shared_ptr<UITextField>& field, const std::shared_ptr<UICollectionView>& grid,
                  const std::shared_ptr<UIScrollView>& scroll, const std::shared_ptr<NSLayoutConstraint>& bottom,
                  const std::shared_ptr<NSLayoutConstraint>& contentHeight, const std::shared_ptr<UIView>& content);

  void awakeFromNib() override;
  // Short screens (the longer side at most 568) scroll: bottom 0, content 100 taller; taller
  // ones keep clear of the bars (−64 − 49 − 8: the view is the screen's height and lies under
  // the navigation bar) and keep the nib's content height.
  void updateConstraints() override;
  void layoutSubviews() override;

  void searchClick(const std::shared_ptr<UIButton>& sender);
  void courseClick(const std::shared_ptr<UIButton>& sender);

 private:
  std::weak_ptr<UITextField> searchTextField_;
  std::weak_ptr<UICollectionView> searchCollectionView_;
  std::weak_ptr<UIScrollView> bgScrollView_;
  std::weak_ptr<NSLayoutConstraint> bgScrollViewBottomConstraint_;
  std::weak_ptr<NSLayoutConstraint> contentViewConstraintH_;
  std::weak_ptr<UIView> contentView_;
};

class TZNewSearchViewController : public ParentsViewController,
                                  public UICollectionViewDataSource,
                                  public UICollectionViewDelegateFlowLayout,
                                  public UITextFieldDelegate {
 public:
  TZNewSearchViewController();

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void createUI();
  void getHotKeyword();
  void buttonAction(const id& sender);
  void keyboardHide();
  void goToTheSearchResultProductViewWithTheQueryString(const std::shared_ptr<NSString>& keyword);
  void gotoS8(const std::shared_ptr<NSString>& keyword, const std::shared_ptr<NSString>& pid);

  bool textFieldShouldReturn(const std::shared_ptr<UITextField>& textField) override;
  NSInteger collectionViewNumberOfItemsInSection(const std::shared_ptr<UICollectionView>& collectionView,
                                                 NSInteger section) override;
  std::shared_ptr<UICollectionViewCell> collectionViewCellForItemAtIndexPath(
      const std::shared_ptr<UICollectionView>& collectionView, const std::shared_ptr<NSIndexPath>& indexPath) override;
  void collectionViewDidSelectItemAtIndexPath(const std::shared_ptr<UICollectionView>& collectionView,
                                              const std::shared_ptr<NSIndexPath>& indexPath) override;

  // For tests and the closing note: what the screen holds.
  const std::shared_ptr<TZSearchView>& searchView() const { return searchView_; }
  const std::shared_ptr<NSMutableArray>& dataArray() const { return dataArray_; }
  const std::shared_ptr<NSString>& pidStr() const { return pidStr_; }

 private:
  // The search of the field's text; the button logs "RebateSearch", Return does not.
  void searchFieldText(bool logEvent);

  std::shared_ptr<TZSearchView> searchView_;
  std::shared_ptr<NSMutableArray> dataArray_;
  std::shared_ptr<NSString> pidStr_;
  // A search asked for while the configuration is on its way waits for it: a tap repeated
  // meanwhile neither asks again nor opens a second page; the last keyword asked for is searched.
  bool configurationFetching_ = false;
  std::shared_ptr<NSString> pendingKeyword_;
};
