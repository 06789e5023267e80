#include "app/screens/rewards/DetailViewController.h"

#include "analytics/StatAgent.h"
#include "app/screens/rewards/ExchangeScreens.h"
#include "app/screens/rewards/MoneyScreenParts.h"
#include "app/screens/rewards/RewardsScreenParts.h"

namespace {
constexpr const char* kPageName = "明细详细情况页";
}

const zvt::KVCClass* DetailViewController::classTable() {
  static const zvt::KVCClass table = zvt::KVCClass::Builder<DetailViewController>()
                                         .property("content", &DetailViewController::content, &DetailViewController::setContent)
                                         .build();
  return &table;
}

void DetailViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  setTitle("详细情况"_ns);
  zvt::rewards::configPopItem(controllerSelf());
  const CGSize screen = zvt::exchange::portraitScreen();
  webView_ = UIWebView::initWithFrame(CGRectMake(0, 0, screen.width, screen.height - 20));
  view()->addSubview(webView_);
  // A record without content shows an empty page rather than nothing loaded at all.
  webView_->loadHTMLString(content_ ? content_ : ""_ns, nullptr);
}

void DetailViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  zvt::rewards::appearWithWhiteBar(controllerSelf(), NSString::stringWithUTF8String(kPageName), true);
}

void DetailViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView(NSString::stringWithUTF8String(kPageName));
}
