#pragma once
// Taobao's mobile affiliate search page for a keyword, in a web view. The search screens build
// the address (pid, keyword, the user's id) and push this screen with it; the page's own links
// all go through, so that orders placed from it are credited to the user.

#include <memory>

#include "platform/foundation/NSKeyValueCoding.h"
#include "platform/uikit/UIViewController.h"
#include "platform/webkit/UIWebView.h"

class SearchResultViewController : public UIViewController, public UIWebViewDelegate {
 public:
  std::shared_ptr<NSString> titleString;  // the keyword; kept, not shown
  std::shared_ptr<NSString> urlString;    // the complete, escaped page address

  static const zvt::KVCClass* classTable();
  const zvt::KVCClass* kvcClass() const override { return classTable(); }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  // The left item: one page back, or the screen popped when the page has no history.
  void dissmissController();
  // "关闭": the screen popped.
  void closeView();

  void webViewDidStartLoad(const std::shared_ptr<UIWebView>& webView) override;
  void webViewDidFinishLoad(const std::shared_ptr<UIWebView>& webView) override;
  void webViewDidFailLoadWithError(const std::shared_ptr<UIWebView>& webView,
                                   const std::shared_ptr<NSError>& error) override;

  const std::shared_ptr<UIWebView>& webView() const { return webView_; }

 private:
  std::shared_ptr<UIWebView> webView_;
};
