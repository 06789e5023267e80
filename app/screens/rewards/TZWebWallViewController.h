#pragma once
// The offer wall ("Kirvo任务", analytics page "赚积分"): the outside provider's task page in a web
// view, told which user it serves by a token in the address: 16 random characters, the Base64 of
// the user id and "&", enciphered (AES-128-CBC under the wall's key and the fixed IV), Base64'd
// behind the publisher id and percent-escaped. The address is made once, in the constructor:
// a new login needs a new screen. Without a logged-in user no token is made and nothing loads.
// The right item "规则" opens the rules page. Pushed by the earn-money grid behind the login gate.

#include <memory>
#include <string>

#include "app/ui/ParentsViewController.h"
#include "platform/uikit/UIButton.h"
#include "platform/webkit/UIWebView.h"

class TZWebWallViewController : public ParentsViewController, public UIWebViewDelegate {
 public:
  // The wall's AES key (its 16 ASCII bytes) and the publisher's id.
  static constexpr const char* kWallKey = "9a41c07e5bd2f836";
  static constexpr const char* kPublisherId = "e07c29d4a1f5b83c";

  // init: webWallUrl for the logged-in user (nil without one).
  TZWebWallViewController();
  static std::shared_ptr<TZWebWallViewController> make() { return std::make_shared<TZWebWallViewController>(); }

  std::shared_ptr<NSURL> webWallUrl() const { return webWallUrl_; }
  std::shared_ptr<UIWebView> webView() const { return webView_; }
  std::shared_ptr<UIButton> rulesButton() const { return rulesButton_; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  // "规则": the rules page "赚积分规则".
  void buttonClick(const std::shared_ptr<UIButton>& sender);

  // Percent escapes in UTF-8 of everything but letters, digits and "-_.~" (so also of
  // "!*'();:@&=+$,/?%#[]").
  static std::string urlencode(const std::string& text);

 private:
  std::shared_ptr<NSURL> webWallUrl_;
  std::shared_ptr<UIWebView> webView_;
  std::shared_ptr<UIButton> rulesButton_;
};
