#pragma once
// The rebate coupon page ("回扣券"): the service's page "/wap/coupon.php" in a web view that
// fills the screen, knowing the user only by the site cookie that went with the request. The page
// drives three native actions through functions installed once in its JavaScript context:
// "callOrder" pushes the rebate orders, "callSearch" leaves this stack at its root and shows the
// Taobao rebate tab, "upLogin" presents the login screen. Each holds the screen weakly, so once it
// is gone a call does nothing. Every load the page starts shows the spinner until it finishes; a
// failed one shows "加载失败，请检查您的网络是否正常" for 1.5 s and the refresh item tries again.
// Pushed by the personal centre for a logged-in user.

#include <memory>

#include "app/ui/ParentsViewController.h"
#include "platform/webkit/UIWebView.h"

class TZRebateCouponViewController : public ParentsViewController, public UIWebViewDelegate {
 public:
  static std::shared_ptr<TZRebateCouponViewController> make() { return std::make_shared<TZRebateCouponViewController>(); }

  std::shared_ptr<UIWebView> mainView() const { return mainView_; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  // The back item "grayReturn" and the refresh item "refreshBtn".
  void configBackItem();
  // Title, web view, the page's three functions, then the page.
  void loadTheRebateCoupon();
  void gotoOrder();
  void gotoSearch();

  bool webViewShouldStartLoadWithRequest(const std::shared_ptr<UIWebView>& webView, const std::shared_ptr<NSURLRequest>& request,
                                         UIWebViewNavigationType navigationType) override;
  void webViewDidFinishLoad(const std::shared_ptr<UIWebView>& webView) override;
  void webViewDidFailLoadWithError(const std::shared_ptr<UIWebView>& webView, const std::shared_ptr<NSError>& error) override;

 private:
  std::shared_ptr<TZRebateCouponViewController> couponSelf() {
    return std::static_pointer_cast<TZRebateCouponViewController>(controllerSelf());
  }
  std::shared_ptr<UIWebView> mainView_;
};
