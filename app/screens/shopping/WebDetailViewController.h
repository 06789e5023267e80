#pragma once
// The product page: a Taobao or Tmall product, or a partner mall, in a web view, always reached
// through the service's rebate link so that the purchase is credited to the user. A product asks
// the service for its affiliate click link (time stamp, then the signed click-link request) and
// loads it; a mall loads the service's mall redirect with the user's id. A filter keeps the user
// on the page (no download pages of the partners, no links into their applications, no App Store,
// no "about:blank"). A logged-out user sees the page with a bar at the bottom offering the login.
//
// Every failure on the link road is silent: the page stays empty.

#include <memory>
#include <string>

#include "app/ui/ParentsViewController.h"
#include "platform/foundation/NSKeyValueCoding.h"
#include "platform/uikit/UIButton.h"
#include "platform/webkit/UIWebView.h"

class WebDetailViewController : public ParentsViewController, public UIWebViewDelegate {
 public:
  // Set by the opener before the push.
  std::shared_ptr<NSString> goodsId;         // the service's product id, or the mall's id
  std::shared_ptr<NSString> taoBao_goodsId;  // the Taobao item id
  bool isProductPush = false;
  bool isStorePush = false;
  bool isSearchResultPush = false;
  std::shared_ptr<NSString> titleString;  // a mall page's title

  static const zvt::KVCClass* classTable();
  const zvt::KVCClass* kvcClass() const override { return classTable(); }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  // Obtains and loads the page for the flags set.
  void accessData();
  // The left item: one page back, or the screen popped when the page has no history.
  void dissmissController();
  // "关闭": the screen popped.
  void closeView();
  // The login bar's "登录".
  void buttonClick(const std::shared_ptr<UIButton>& sender);

  // The link filter: false for the refused addresses (see the .cpp).
  bool webViewShouldStartLoadWithRequest(const std::shared_ptr<UIWebView>& webView,
                                         const std::shared_ptr<NSURLRequest>& request,
                                         UIWebViewNavigationType navigationType) override;
  void webViewDidStartLoad(const std::shared_ptr<UIWebView>& webView) override;
  void webViewDidFinishLoad(const std::shared_ptr<UIWebView>& webView) override;
  void webViewDidFailLoadWithError(const std::shared_ptr<UIWebView>& webView,
                                   const std::shared_ptr<NSError>& error) override;

  const std::shared_ptr<UIWebView>& webView() const { return webView_; }
  // The login bar; nil when there is none.
  const std::shared_ptr<UIView>& tipsView() const { return tipsView_; }
  // The absolute text of the last request the filter was asked about.
  const std::shared_ptr<NSString>& currentUrl() const { return currentUrl_; }

  // Whether the filter lets the address through (the rules of the filter, without touching
  // currentUrl).
  static bool allowsURLText(const std::string& text);

 private:
  std::shared_ptr<WebDetailViewController> detailSelf() {
    return std::static_pointer_cast<WebDetailViewController>(controllerSelf());
  }
  void requestClickURL();
  void loadClickURL(const id& reply);

  std::shared_ptr<UIWebView> webView_;
  std::shared_ptr<UIView> tipsView_;
  std::shared_ptr<NSString> currentUrl_;
};
