#pragma once
// The search page other screens push: goods mode (isSearchPush, from the home and stroll
// screens) suggests keywords from Taobao's suggestion service while the user types and routes a
// search by the service's "search_mothed" to the own results or to the affiliate page; store
// mode (isStorePush, from the mall store) suggests malls and lists them all on search.

#include <memory>

#include "app/ui/ParentsViewController.h"
#include "platform/foundation/NSArray.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UISearchBar.h"
#include "platform/uikit/UITableView.h"

// One suggestion: the word on the left, the approximate count on the right.
class SearchTableViewCell : public ParentTableViewCell {
 public:
  void setUpWithStyle(UITableViewCellStyle style, const std::shared_ptr<NSString>& reuseIdentifier) override;
  const std::shared_ptr<UILabel>& titleLabel() const { return titleLabel_; }
  const std::shared_ptr<UILabel>& detailLabel() const { return detailLabel_; }
  // A row never stays shown as selected.
  void setSelected(bool selected, bool animated) override;

 private:
  std::shared_ptr<UILabel> titleLabel_;
  std::shared_ptr<UILabel> detailLabel_;
};

// The goods mode's tip under the bar, from its nib; its button opens the tutorial.
class TZSearchTipView : public ParentView {
 public:
  void buttonClick(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }
};

class SearchViewController : public ParentsViewController,
                             public UISearchBarDelegate,
                             public UITableViewDataSource,
                             public UITableViewDelegate {
 public:
  bool isSearchPush() const { return isSearchPush_; }
  void setIsSearchPush(bool value) { isSearchPush_ = value; }
  bool isStorePush() const { return isStorePush_; }
  void setIsStorePush(bool value) { isStorePush_ = value; }
  id valueForKey(const std::shared_ptr<NSString>& key) const override;
  void setValueForKey(const id& value, const std::shared_ptr<NSString>& key) override;

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void searchbox();
  void initCourseView();
  void gotoCourse();
  void gotoTheSearchWebViewWithTheString(const std::shared_ptr<NSString>& mallId, const std::shared_ptr<NSString>& name);
  void gotoNewSearchResultController(const std::shared_ptr<NSString>& keyword);
  void gotoS8(const std::shared_ptr<NSString>& keyword, const std::shared_ptr<NSString>& pid);
  void goToTheSearchResultProductViewWithTheQueryString(const std::shared_ptr<NSString>& keyword);

  void searchBarTextDidChange(const std::shared_ptr<UISearchBar>& searchBar, const std::shared_ptr<NSString>& searchText) override;
  void searchBarSearchButtonClicked(const std::shared_ptr<UISearchBar>& searchBar) override;
  NSInteger tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>& tableView, NSInteger section) override;
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                                                  const std::shared_ptr<NSIndexPath>& indexPath) override;
  void tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                        const std::shared_ptr<NSIndexPath>& indexPath) override;
  void scrollViewWillBeginDragging(const std::shared_ptr<UIScrollView>& scrollView) override;

  const std::shared_ptr<UISearchBar>& searchBar() const { return searchBar_; }
  const std::shared_ptr<UITableView>& searchTableView() const { return searchTableView_; }
  const std::shared_ptr<NSArray>& resultArray() const { return resultArray_; }

 private:
  bool storeMode() const { return isStorePush_; }

  bool isSearchPush_ = false;
  bool isStorePush_ = false;
  std::shared_ptr<UISearchBar> searchBar_;
  std::shared_ptr<UITableView> searchTableView_;
  std::shared_ptr<NSArray> resultArray_;
  std::shared_ptr<NSString> pidStr_;
  std::shared_ptr<NSString> searchMothed_;
  // A search asked for while the configuration is on its way waits for it: a tap repeated
  // meanwhile neither asks again nor opens a second page; the last keyword asked for is searched.
  bool configurationFetching_ = false;
  std::shared_ptr<NSString> pendingKeyword_;
  std::shared_ptr<NSString> s8Str_;
  bool keyboardPending_ = false;
};
