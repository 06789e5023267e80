#include "app/screens/rewards/TZServerQQViewController.h"

#include "analytics/StatAgent.h"
#include "app/core/AppDelegate.h"
#include "app/core/Configuration.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIKitCategories.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationController.h"

std::string TZServerQQViewController::chatAddress(const std::string& number) {
  return "mqq://im/chat?chat_type=wpa&uin=" + number + "&version=1&src_type=web";
}

void TZServerQQViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  setTitle("Zavelto客服"_ns);
  std::weak_ptr<UIViewController> weakSelf = controllerSelf();
  configNavigationLeftItemWith(controllerSelf(), UIImage::imageNamed("grayReturn"_ns), [weakSelf] {
    auto screen = weakSelf.lock();
    if (!screen) return;
    if (auto navigation = screen->navigationController()) navigation->popViewControllerAnimated(true);
  });
  serverView_ = loadFromNib<TZZVTServerView>();
  if (!serverView_) return;
  setView(serverView_);
  std::weak_ptr<TZServerQQViewController> weakScreen = std::static_pointer_cast<TZServerQQViewController>(controllerSelf());
  serverView_->setMyBlock([weakScreen](const id&) {
    if (auto screen = weakScreen.lock()) screen->openTheQQ();
  });
}

void TZServerQQViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  if (auto navigation = navigationController()) navigation->navigationBar()->setBarStyle(UIBarStyleDefault);
  configWhiteNavigationBarStyle(controllerSelf());
  if (auto delegate = AppDelegate::shared()) {
    if (auto shell = delegate->tabBarController()) shell->hiddenTabbar();
  }
  StatAgent::beginLogPageView("Zavelto客服页"_ns);
}

void TZServerQQViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView("Zavelto客服页"_ns);
}

void TZServerQQViewController::openTheQQ() {
  auto address = NSURL::URLWithString(NSString::stringWithUTF8String(chatAddress(zvt::Configuration::values().customerServiceQQ)));
  if (!address) return;
  // The web view hands the "mqq" address to the system, which opens QQ on the chat; it stays
  // until the screen goes.
  auto web = UIWebView::initWithFrame(CGRectZero);
  web->setDelegate(std::static_pointer_cast<TZServerQQViewController>(controllerSelf()));
  web->loadRequest(NSURLRequest::requestWithURL(address));
  view()->addSubview(web);
}
