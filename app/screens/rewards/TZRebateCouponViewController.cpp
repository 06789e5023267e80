#include "app/screens/rewards/TZRebateCouponViewController.h"

#include "analytics/StatAgent.h"
#include "app/core/AppDelegate.h"
#include "app/core/Configuration.h"
#include "app/screens/rewards/RewardsScreenParts.h"
#include "app/ui/ScreenRegistry.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/webkit/JSContext.h"
#include "ui/hud/POProgressHUD.h"

namespace {

// The Taobao rebate search: the shell's third tab.
constexpr NSUInteger kSearchTab = 2;

}  // namespace

void TZRebateCouponViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  configBackItem();
  loadTheRebateCoupon();
}

void TZRebateCouponViewController::configBackItem() {
  zvt::rewards::configPopItem(controllerSelf());
  std::weak_ptr<TZRebateCouponViewController> weakSelf = couponSelf();
  configNavigationRightItemWith(controllerSelf(), UIImage::imageNamed("refreshBtn"_ns), [weakSelf] {
    if (auto screen = weakSelf.lock(); screen && screen->mainView_) screen->mainView_->reload();
  });
}

void TZRebateCouponViewController::loadTheRebateCoupon() {
  setTitle("回扣券"_ns);
  // The white bar set on appearing is opaque: the page starts below it, whatever the bar of the
  // screen that pushed this one, and the web view follows the view's size.
  setEdgesForExtendedLayout(UIRectEdgeNone);
  mainView_ = UIWebView::initWithFrame(view()->bounds());
  mainView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  mainView_->setDelegate(couponSelf());
  view()->addSubview(mainView_);

  // Installed once, on the context before the first load; the page calls them by these names.
  if (auto context = mainView_->javaScriptContext()) {
    std::weak_ptr<TZRebateCouponViewController> weakSelf = couponSelf();
    context->setObjectForKeyedSubscript(
        [weakSelf] {
          if (auto screen = weakSelf.lock()) screen->gotoOrder();
        },
        "callOrder"_ns);
    context->setObjectForKeyedSubscript(
        [weakSelf] {
          if (auto screen = weakSelf.lock()) screen->gotoSearch();
        },
        "callSearch"_ns);
    context->setObjectForKeyedSubscript(
        [weakSelf] {
          if (auto screen = weakSelf.lock()) screen->gotoLoginVC();
        },
        "upLogin"_ns);
  }

  if (auto address = NSURL::URLWithString(zvt::Configuration::URLStringWithPath("/wap/coupon.php"))) {
    mainView_->loadRequest(NSURLRequest::requestWithURL(address));
  }
}

void TZRebateCouponViewController::gotoOrder() {
  auto navigation = navigationController();
  auto orders = zvt::makeScreen("TZOrderViewController");
  if (navigation && orders) navigation->pushViewController(orders, true);
}

void TZRebateCouponViewController::gotoSearch() {
  if (auto navigation = navigationController()) navigation->popToRootViewControllerAnimated(false);
  auto delegate = AppDelegate::shared();
  if (auto shell = delegate ? delegate->tabBarController() : nullptr) shell->setSelectedWithIndex(kSearchTab);
}

void TZRebateCouponViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  zvt::rewards::hideTabbar();
  zvt::rewards::whiteBar(controllerSelf());
  StatAgent::beginLogPageView(title());
}

void TZRebateCouponViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView(title());
}

bool TZRebateCouponViewController::webViewShouldStartLoadWithRequest(const std::shared_ptr<UIWebView>&,
                                                                     const std::shared_ptr<NSURLRequest>&, UIWebViewNavigationType) {
  showLoadingHud(controllerSelf());
  return true;
}

void TZRebateCouponViewController::webViewDidFinishLoad(const std::shared_ptr<UIWebView>&) { hideHud(controllerSelf()); }

void TZRebateCouponViewController::webViewDidFailLoadWithError(const std::shared_ptr<UIWebView>&, const std::shared_ptr<NSError>&) {
  showTipHudWithText(controllerSelf(), "加载失败，请检查您的网络是否正常"_ns, 1.5, nullptr);
}
