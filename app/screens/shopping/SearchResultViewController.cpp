#include "app/screens/shopping/SearchResultViewController.h"

#include "analytics/StatAgent.h"
#include "app/core/AppDelegate.h"
#include "app/screens/shopping/WebScreenParts.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/uikit/UINavigationController.h"
#include "ui/hud/POProgressHUD.h"

namespace {
const zvt::StaticString kPageName{"爱淘宝页"};
}

const zvt::KVCClass* SearchResultViewController::classTable() {
  static const zvt::KVCClass table = zvt::KVCClass::Builder<SearchResultViewController>()
                                         .property("titleString", &SearchResultViewController::titleString)
                                         .property("urlString", &SearchResultViewController::urlString)
                                         .build();
  return &table;
}

void SearchResultViewController::viewDidLoad() {
  UIViewController::viewDidLoad();
  setTitle("淘宝回扣"_ns);
  setAutomaticallyAdjustsScrollViewInsets(false);
  std::weak_ptr<SearchResultViewController> weakSelf = std::static_pointer_cast<SearchResultViewController>(controllerSelf());
  configNavigationLeftItemWith(controllerSelf(), UIImage::imageNamed("grayReturn"_ns), [weakSelf] {
    if (auto screen = weakSelf.lock()) screen->dissmissController();
  });
  configNavigationItemWith(controllerSelf(), "关闭"_ns, kNavItemRight, UIFont::systemFontOfSize(16), UIColor::darkGrayColor(),
                           [weakSelf] {
                             if (auto screen = weakSelf.lock()) screen->closeView();
                           });
  webView_ = UIWebView::initWithFrame(zvt::shopping::webViewFrame(64));
  webView_->setDelegate(std::static_pointer_cast<SearchResultViewController>(controllerSelf()));
  view()->addSubview(webView_);
  if (auto url = urlString ? NSURL::URLWithString(urlString) : nullptr) webView_->loadRequest(NSURLRequest::requestWithURL(url));
}

void SearchResultViewController::viewWillAppear(bool animated) {
  UIViewController::viewWillAppear(animated);
  StatAgent::beginLogPageView(kPageName);
  if (auto navigation = navigationController()) navigation->navigationBar()->setBarStyle(UIBarStyleDefault);
  configWhiteNavigationBarStyle(controllerSelf());
  if (auto delegate = AppDelegate::shared()) {
    if (auto shell = delegate->tabBarController()) shell->hiddenTabbar();
  }
}

void SearchResultViewController::viewWillDisappear(bool animated) {
  UIViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView(kPageName);
}

void SearchResultViewController::dissmissController() {
  if (webView_ && webView_->canGoBack()) {
    webView_->goBack();
    return;
  }
  closeView();
}

void SearchResultViewController::closeView() {
  if (auto navigation = navigationController()) navigation->popViewControllerAnimated(true);
}

void SearchResultViewController::webViewDidStartLoad(const std::shared_ptr<UIWebView>&) { showLoadingHud(controllerSelf()); }

void SearchResultViewController::webViewDidFinishLoad(const std::shared_ptr<UIWebView>&) { hideHud(controllerSelf()); }

void SearchResultViewController::webViewDidFailLoadWithError(const std::shared_ptr<UIWebView>&, const std::shared_ptr<NSError>&) {
  hideHud(controllerSelf());
}
