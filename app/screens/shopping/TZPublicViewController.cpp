#include "app/screens/shopping/TZPublicViewController.h"

#include <algorithm>
#include <cmath>

#include "analytics/StatAgent.h"
#include "app/core/AppDelegate.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/graphics/UIScreen.h"
#include "ui/hud/POProgressHUD.h"

namespace {

const zvt::StaticString kCartTitle{"我的购物车"};
const zvt::StaticString kTipsDeclinedKey{"isShoppingCarTipPopUp"};
const zvt::StaticString kTipsText{
    "       未通过Zavelto搜索放入购物车的商品，需要复制商品标题在Zavelto搜索后，打开商品详情页，再回到购物车下单才有回扣哦~"};

constexpr NSInteger kNeverAgainTag = 1;
constexpr NSInteger kUnderstoodTag = 2;

std::shared_ptr<UIColor> panelYellow() { return UIColor::colorWithRed(253 / 255.0, 219 / 255.0, 47 / 255.0, 1); }

}  // namespace

void TZShoppingCarTips::setUpWithFrame(CGRect frame) {
  ParentView::setUpWithFrame(frame);
  createUI();
}

void TZShoppingCarTips::createUI() {
  const CGRect bounds = this->bounds();
  auto dimming = UIView::initWithFrame(bounds);
  dimming->setBackgroundColor(UIColor::colorWithWhite(0, 0.5));
  addSubview(dimming);

  const CGFloat width = 288, height = 217;
  panel_ = UIView::initWithFrame(
      CGRectMake((bounds.size.width - width) / 2, (bounds.size.height - height) / 2, width, height));
  panel_->setBackgroundColor(panelYellow());
  panel_->layer()->setCornerRadius(8);
  panel_->layer()->setMasksToBounds(true);
  addSubview(panel_);

  const CGFloat pictureHeight = 41.5;
  auto picture = UIImageView::initWithFrame(CGRectMake(0, 0, 80, pictureHeight));
  picture->setImage(UIImage::imageNamed("shoppingCarTip"_ns));
  panel_->addSubview(picture);
  auto title = UILabel::initWithFrame(CGRectMake(width - 200, 0, 200, pictureHeight));
  title->setText("小教程"_ns);
  title->setTextAlignment(NSTextAlignmentCenter);
  title->setTextColor(UIColor::grayColor());
  title->setFont(UIFont::systemFontOfSize(22));
  panel_->addSubview(title);

  auto area = UIView::initWithFrame(CGRectMake(0, pictureHeight, width, height - pictureHeight));
  area->setBackgroundColor(UIColor::whiteColor());
  panel_->addSubview(area);
  auto text = UILabel::initWithFrame(CGRectMake(20, 5, width - 40, 85));
  text->setText(kTipsText);
  text->setFont(UIFont::systemFontOfSize(16));
  text->setTextColor(UIColor::grayColor());
  text->setNumberOfLines(0);
  // 85 points hold the text's four lines in the device's font; where the lines need more, the
  // label grows into the gap above the buttons rather than cut the sentence short.
  const CGFloat needed = std::ceil(text->sizeThatFits(CGSizeMake(width - 40, 10000)).height);
  if (needed > 85) text->setFrame(CGRectMake(20, 5, width - 40, needed));
  area->addSubview(text);

  const CGFloat buttonTop = std::max<CGFloat>(CGRectGetMaxY(text->frame()) + 10, 5 + 85 + 15);
  auto makeButton = [&](const char* titleText, NSInteger tag, CGFloat x) {
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(x, buttonTop, 110, 40));
    button->setTitle(NSString::stringWithUTF8String(titleText), UIControlStateNormal);
    button->setTitleColor(UIColor::grayColor(), UIControlStateNormal);
    button->setTag(tag);
    button->layer()->setCornerRadius(20);
    button->layer()->setMasksToBounds(true);
    button->addTarget(viewSelf(), SEL(&TZShoppingCarTips::buttonClick), UIControlEventTouchUpInside);
    area->addSubview(button);
    return button;
  };
  auto never = makeButton("不再提示", kNeverAgainTag, CGRectGetMinX(text->frame()));
  never->layer()->setBorderColor(UIColor::grayColor()->CGColor());
  never->layer()->setBorderWidth(0.5);
  auto understood = makeButton("知道啦", kUnderstoodTag, CGRectGetMaxX(text->frame()) - 110);
  understood->setBackgroundColor(panelYellow());
}

void TZShoppingCarTips::buttonClick(const std::shared_ptr<UIButton>& sender) {
  // The overlay may go with its superview: keep it until the block has run.
  auto keep = viewSelf();
  removeFromSuperview();
  callMyBlock(sender);
}

const zvt::KVCClass* TZPublicViewController::classTable() {
  static const zvt::KVCClass table = zvt::KVCClass::Builder<TZPublicViewController>()
                                         .property("webTitle", &TZPublicViewController::webTitle)
                                         .property("webUrl", &TZPublicViewController::webUrl)
                                         .build();
  return &table;
}

bool TZPublicViewController::isCartPage() const { return webTitle && webTitle->isEqualToString(kCartTitle); }

void TZPublicViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  setTitle(webTitle ? webTitle : NSString::stringWithUTF8String("浏览网页"));
  if (auto delegate = AppDelegate::shared()) {
    if (auto shell = delegate->tabBarController()) shell->hiddenTabbar();
  }
  configBackItem();
  if (isCartPage()) showTips();
  if (webUrl) loadWebView();
}

void TZPublicViewController::loadWebView() {
  makeWebView();
  if (auto url = NSURL::URLWithString(webUrl)) customWebView_->loadRequest(NSURLRequest::requestWithURL(url));
}

void TZPublicViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  if (auto navigation = navigationController()) navigation->navigationBar()->setBarStyle(UIBarStyleDefault);
  configWhiteNavigationBarStyle(controllerSelf());
  if (webTitle) StatAgent::beginLogPageView(webTitle);
}

void TZPublicViewController::viewDidAppear(bool animated) { ParentsViewController::viewDidAppear(animated); }

void TZPublicViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  // The cart page leaves the white bar in place.
  if (!isCartPage()) configDefaultNavigationBarStyle(controllerSelf());
  if (webTitle) StatAgent::endLogPageView(webTitle);
}

void TZPublicViewController::showTips() {
  if (NSUserDefaults::standardUserDefaults()->boolForKey(kTipsDeclinedKey)) return;
  auto delegate = AppDelegate::shared();
  auto shell = delegate ? delegate->tabBarController() : nullptr;
  if (!shell) return;
  const CGSize screen = UIScreen::mainScreen()->bounds().size;
  auto tips = UIView::makeView<TZShoppingCarTips>(
      CGRectMake(0, 0, std::min(screen.width, screen.height), std::max(screen.width, screen.height)));
  std::weak_ptr<TZPublicViewController> weakSelf = std::static_pointer_cast<TZPublicViewController>(controllerSelf());
  tips->setMyBlock([weakSelf](const id& sender) {
    if (auto screen = weakSelf.lock()) screen->tipClick(zvt::as<UIButton>(sender));
  });
  shell->view()->addSubview(tips);
}

void TZPublicViewController::tipClick(const std::shared_ptr<UIButton>& sender) {
  if (!sender || sender->tag() != kNeverAgainTag) return;
  auto defaults = NSUserDefaults::standardUserDefaults();
  defaults->setBool(true, kTipsDeclinedKey);
  defaults->synchronize();
}

void TZPublicViewController::webViewDidStartLoad(const std::shared_ptr<UIWebView>&) { showLoadingHud(controllerSelf()); }

void TZPublicViewController::webViewDidFinishLoad(const std::shared_ptr<UIWebView>&) { hideHud(controllerSelf()); }

void TZPublicViewController::webViewDidFailLoadWithError(const std::shared_ptr<UIWebView>&, const std::shared_ptr<NSError>&) {
  showAlwaysTipHudWithText(controllerSelf(), "加载失败"_ns);
}
