#pragma once
// What the web screens of the folder share: the web view's frame under the navigation bar, the
// host of an address as the screens compare it, and the base of the plain web pages whose back
// item walks the page's history and brings up a "关闭" item the first time it does.

#include <memory>
#include <string>
#include <string_view>

#include "app/ui/ParentsViewController.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/webkit/UIWebView.h"

namespace zvt::shopping {

// (0, 0), as wide as the main screen's shorter side and as tall as its longer side less `less`.
CGRect webViewFrame(CGFloat less);

// The part of an address after its first "://" up to the next "/" (the port included); "" for a
// text without "://".
std::string hostOfURLText(std::string_view text);

// A web page screen with the back item "grayReturn" (done style, black) and, once the back item
// has stepped back inside the page, the plain item "关闭" after it.
class BackAndCloseWebScreen : public ParentsViewController, public UIWebViewDelegate {
 public:
  // The back item: one page back when the page has history (adding "关闭" the first time), else
  // the screen is popped.
  void dismiss();
  // "关闭": the screen is popped.
  void close();

  const std::shared_ptr<UIWebView>& customWebView() const { return customWebView_; }
  const std::shared_ptr<UIBarButtonItem>& backItem() const { return backItem_; }
  const std::shared_ptr<UIBarButtonItem>& closeItem() const { return closeItem_; }

 protected:
  // backItem as the only left item.
  void configBackItem();
  // The web view at webViewFrame(15), the screen its delegate, added to the view.
  void makeWebView();
  std::shared_ptr<BackAndCloseWebScreen> webScreenSelf() {
    return std::static_pointer_cast<BackAndCloseWebScreen>(controllerSelf());
  }

  std::shared_ptr<UIWebView> customWebView_;
  std::shared_ptr<UIBarButtonItem> backItem_;
  std::shared_ptr<UIBarButtonItem> closeItem_;
};

}  // namespace zvt::shopping
