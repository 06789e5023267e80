#include "app/screens/shopping/ActivityZoneViewController.h"

#include "analytics/StatAgent.h"
#include "app/core/AppDelegate.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/uikit/UINavigationController.h"
#include "ui/hud/POProgressHUD.h"

const zvt::KVCClass* ActivityZoneViewController::classTable() {
  static const zvt::KVCClass table = zvt::KVCClass::Builder<ActivityZoneViewController>()
                                         .property("activityZoneUrl", &ActivityZoneViewController::activityZoneUrl)
                                         .property("activityZoneName", &ActivityZoneViewController::activityZoneName)
                                         .property("isShare", &ActivityZoneViewController::isShare)
                                         .property("infoModel", &ActivityZoneViewController::infoModel)
                                         .build();
  return &table;
}

std::string ActivityZoneViewController::addressWithWebViewMark(const std::string& address) {
  const auto hash = address.find('#');
  const std::string base = address.substr(0, hash);
  const std::string fragment = hash == std::string::npos ? "" : address.substr(hash);
  return base + (base.find('?') == std::string::npos ? "?wv=1" : "&wv=1") + fragment;
}

void ActivityZoneViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  initNavigationBar();
  loadWebView();
}

void ActivityZoneViewController::initNavigationBar() {
  setTitle(activityZoneName ? activityZoneName : NSString::stringWithUTF8String("浏览网页"));
  configBackItem();
}

void ActivityZoneViewController::loadWebView() {
  makeWebView();
  auto context = customWebView_->javaScriptContext();
  std::weak_ptr<ActivityZoneViewController> weakSelf = std::static_pointer_cast<ActivityZoneViewController>(controllerSelf());
  if (context) {
    context->setObjectForKeyedSubscript(
        [weakSelf] {
          if (auto screen = weakSelf.lock()) screen->gotoLoginVC();
        },
        "upLogin"_ns);
  }
  if (activityZoneUrl) httpUrl_ = NSURL::URLWithString(addressWithWebViewMark(activityZoneUrl->utf8()));
}

void ActivityZoneViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  if (auto navigation = navigationController()) navigation->navigationBar()->setBarStyle(UIBarStyleDefault);
  configWhiteNavigationBarStyle(controllerSelf());
  if (activityZoneName) StatAgent::beginLogPageView(activityZoneName);
  if (auto delegate = AppDelegate::shared()) {
    if (auto shell = delegate->tabBarController()) shell->hiddenTabbar();
  }
  // An address that forms no URL leaves the page empty.
  if (httpUrl_) customWebView_->loadRequest(NSURLRequest::requestWithURL(httpUrl_));
}

void ActivityZoneViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  if (activityZoneName) StatAgent::endLogPageView(activityZoneName);
}

void ActivityZoneViewController::webViewDidStartLoad(const std::shared_ptr<UIWebView>&) { showLoadingHud(controllerSelf()); }

void ActivityZoneViewController::webViewDidFinishLoad(const std::shared_ptr<UIWebView>&) { hideHud(controllerSelf()); }

void ActivityZoneViewController::webViewDidFailLoadWithError(const std::shared_ptr<UIWebView>&, const std::shared_ptr<NSError>&) {
  showTipHudWithText(controllerSelf(), "加载失败"_ns);
}
