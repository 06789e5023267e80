#include "app/screens/rewards/HowToUseAlibabaMoneyViewController.h"

#include "analytics/StatAgent.h"
#include "app/screens/rewards/ExchangeScreens.h"
#include "app/screens/rewards/MoneyScreenParts.h"
#include "app/screens/rewards/RewardsScreenParts.h"

namespace {
constexpr const char* kPageName = "集分宝用法页";
}

void HowToUseAlibabaMoneyViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  setTitle("集分宝"_ns);
  view()->setBackgroundColor(UIColor::whiteColor());
  zvt::rewards::configPopItem(controllerSelf());
  const CGSize screen = zvt::exchange::portraitScreen();
  scrollView_ = UIScrollView::initWithFrame(CGRectMake(0, 0, screen.width, screen.height - 20));
  scrollView_->setBackgroundColor(UIColor::clearColor());
  scrollView_->setShowsVerticalScrollIndicator(false);
  auto picture = UIImage::imageNamed("alipay_course"_ns);
  const CGSize size = picture ? picture->size() : CGSizeZero;
  // The picture fills the width and keeps its aspect ratio.
  const CGFloat height = size.width > 0 ? screen.width * size.height / size.width : 0;
  courseView_ = UIImageView::initWithFrame(CGRectMake(0, 0, screen.width, height));
  courseView_->setImage(picture);
  scrollView_->setContentSize(courseView_->frame().size);
  scrollView_->addSubview(courseView_);
  view()->addSubview(scrollView_);
}

void HowToUseAlibabaMoneyViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  zvt::rewards::appearWithWhiteBar(controllerSelf(), NSString::stringWithUTF8String(kPageName), true);
}

void HowToUseAlibabaMoneyViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView(NSString::stringWithUTF8String(kPageName));
}
