#pragma once
// The application's plain web page: one address under a given title, with back and close items.
// On the cart page ("我的购物车") it shows, until the user declines it for good, the cart tips:
// goods put into the Taobao cart without the service's search earn no rebate.

#include <memory>

#include "app/screens/shopping/WebScreenParts.h"
#include "platform/foundation/NSKeyValueCoding.h"
#include "platform/uikit/UIButton.h"

// The cart tips overlay: a dimmed screen with the yellow panel, its picture, title, text and the
// buttons "不再提示" (tag 1) and "知道啦" (tag 2). A tap removes the overlay, then hands the
// button to myBlock.
class TZShoppingCarTips : public ParentView {
 public:
  void setUpWithFrame(CGRect frame) override;
  void createUI();
  void buttonClick(const std::shared_ptr<UIButton>& sender);

  // The panel (for tests of the placement).
  const std::shared_ptr<UIView>& panel() const { return panel_; }

 private:
  std::shared_ptr<UIView> panel_;
};

class TZPublicViewController : public zvt::shopping::BackAndCloseWebScreen {
 public:
  std::shared_ptr<NSString> webTitle;  // title and analytics page; "我的购物车" marks the cart
  std::shared_ptr<NSString> webUrl;    // the address to show

  static const zvt::KVCClass* classTable();
  const zvt::KVCClass* kvcClass() const override { return classTable(); }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void loadWebView();
  // The cart tips over the whole window, unless the user chose "不再提示" before.
  void showTips();
  void tipClick(const std::shared_ptr<UIButton>& sender);

  void webViewDidStartLoad(const std::shared_ptr<UIWebView>& webView) override;
  void webViewDidFinishLoad(const std::shared_ptr<UIWebView>& webView) override;
  void webViewDidFailLoadWithError(const std::shared_ptr<UIWebView>& webView,
                                   const std::shared_ptr<NSError>& error) override;

 private:
  bool isCartPage() const;
};
