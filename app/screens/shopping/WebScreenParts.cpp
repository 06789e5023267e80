#include "app/screens/shopping/WebScreenParts.h"

#include <algorithm>

#include "platform/uikit/UINavigationController.h"
#include "platform/graphics/UIScreen.h"

namespace zvt::shopping {

CGRect webViewFrame(CGFloat less) {
  const CGSize screen = UIScreen::mainScreen()->bounds().size;
  const CGFloat shorter = std::min(screen.width, screen.height);
  const CGFloat longer = std::max(screen.width, screen.height);
  return CGRectMake(0, 0, shorter, longer - less);
}

std::string hostOfURLText(std::string_view text) {
  const auto scheme = text.find("://");
  if (scheme == std::string_view::npos) return "";
  text.remove_prefix(scheme + 3);
  return std::string(text.substr(0, text.find('/')));
}

void BackAndCloseWebScreen::configBackItem() {
  backItem_ = UIBarButtonItem::initWithImage(UIImage::imageNamed("grayReturn"_ns), UIBarButtonItemStyleDone,
                                             controllerSelf(), SEL(&BackAndCloseWebScreen::dismiss));
  backItem_->setTintColor(UIColor::blackColor());
  navigationItem()->setLeftBarButtonItems({backItem_});
}

void BackAndCloseWebScreen::makeWebView() {
  customWebView_ = UIWebView::initWithFrame(webViewFrame(15));
  customWebView_->setDelegate(std::static_pointer_cast<UIWebViewDelegate>(webScreenSelf()));
  view()->addSubview(customWebView_);
}

void BackAndCloseWebScreen::dismiss() {
  if (customWebView_ && customWebView_->canGoBack()) {
    customWebView_->goBack();
    if (!closeItem_) {
      closeItem_ = UIBarButtonItem::initWithTitle("关闭"_ns, UIBarButtonItemStylePlain, controllerSelf(),
                                                  SEL(&BackAndCloseWebScreen::close));
      closeItem_->setTintColor(UIColor::blackColor());
      navigationItem()->setLeftBarButtonItems({backItem_, closeItem_});
    }
    return;
  }
  close();
}

void BackAndCloseWebScreen::close() {
  if (auto navigation = navigationController()) navigation->popViewControllerAnimated(true);
}

}  // namespace zvt::shopping
