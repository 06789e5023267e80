#pragma once
// The help centre ("帮助中心", analytics page "帮助中心页"): customer service by QQ and telephone
// (TZServerView over the list), the rows "意见反馈" and "回扣教程", and the four help topics
// (TZHelpCentreView under it), each a page of the service's site in TZHelpDetailViewController.
// Pushed by the personal centre; no login needed.

#include <memory>
#include <string>
#include <vector>

#include "app/screens/rewards/HelpCentreViews.h"
#include "app/ui/ParentsViewController.h"
#include "platform/uikit/UITableView.h"
#include "platform/webkit/UIWebView.h"

class HelpViewController : public ParentsViewController, public UITableViewDataSource, public UITableViewDelegate {
 public:
  // init: the two rows' icons and titles (initDatas).
  HelpViewController();
  static std::shared_ptr<HelpViewController> make() { return std::make_shared<HelpViewController>(); }

  const std::vector<std::string>& firstSectionIconArray() const { return firstSectionIconArray_; }
  const std::vector<std::string>& firstSectionTitleArray() const { return firstSectionTitleArray_; }
  std::shared_ptr<UITableView> tableView() const { return tableView_; }
  std::shared_ptr<TZServerView> serverView() const { return serverView_; }
  std::shared_ptr<TZHelpCentreView> hepCentreView() const { return hepCentreView_; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  // A help topic (tag 0 to 3) opens its page.
  void viewClick(const id& sender);
  // The telephone row (tag 1) asks before dialling; the QQ row opens the chat page.
  void serverClick(const id& sender);

  // --- table
  NSInteger numberOfSectionsInTableView(const std::shared_ptr<UITableView>& tableView) override;
  NSInteger tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>& tableView, NSInteger section) override;
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                                                  const std::shared_ptr<NSIndexPath>& indexPath) override;
  CGFloat tableViewHeightForRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                           const std::shared_ptr<NSIndexPath>& indexPath) override;
  CGFloat tableViewHeightForHeaderInSection(const std::shared_ptr<UITableView>& tableView, NSInteger section) override;
  CGFloat tableViewHeightForFooterInSection(const std::shared_ptr<UITableView>& tableView, NSInteger section) override;
  void tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                        const std::shared_ptr<NSIndexPath>& indexPath) override;

  // The topics' titles and page paths, by tag.
  struct Topic {
    const char* title;
    const char* path;
  };
  static const std::vector<Topic>& topics();

 private:
  std::shared_ptr<HelpViewController> helpSelf() { return std::static_pointer_cast<HelpViewController>(controllerSelf()); }
  void initDatas();
  void createUI();
  void push(const std::shared_ptr<UIViewController>& screen);

  std::vector<std::string> firstSectionIconArray_;
  std::vector<std::string> firstSectionTitleArray_;
  std::shared_ptr<UITableView> tableView_;
  std::shared_ptr<TZServerView> serverView_;
  std::shared_ptr<TZHelpCentreView> hepCentreView_;
};

// One page of the service's site under a title (analytics page "常见问题页"): the spinner while a
// load runs, "加载失败" kept on screen after a failed one. Used by the help topics and by the offer
// wall's rules.
class TZHelpDetailViewController : public ParentsViewController, public UIWebViewDelegate {
 public:
  static std::shared_ptr<TZHelpDetailViewController> make() { return std::make_shared<TZHelpDetailViewController>(); }

  // Set before the push; read once when the view loads.
  std::shared_ptr<NSString> helpTitle;
  std::shared_ptr<NSString> helpUrl;

  std::shared_ptr<UIWebView> webView() const { return webView_; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void webViewDidStartLoad(const std::shared_ptr<UIWebView>& webView) override;
  void webViewDidFinishLoad(const std::shared_ptr<UIWebView>& webView) override;
  void webViewDidFailLoadWithError(const std::shared_ptr<UIWebView>& webView, const std::shared_ptr<NSError>& error) override;

 private:
  std::shared_ptr<UIWebView> webView_;
};
