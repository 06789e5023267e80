#include "app/screens/rewards/PointsProductDetailViewController.h"

#include <algorithm>
#include <cmath>

#include "analytics/StatAgent.h"
#include "app/api/ZaveltoURLConnect.h"
#include "app/core/AppDelegate.h"
#include "app/screens/rewards/ExchangeScreens.h"
#include "app/screens/rewards/WithDrawViewController.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIAlertView+TapBlocks.h"
#include "app/ui/UIViewController+NavItem.h"
#include "app/utilities/ZVTPublicTools.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSNumber.h"
#include "platform/graphics/UIImage.h"
#include "platform/network/NSURL.h"
#include "platform/network/NSURLRequest.h"
#include "platform/text/NSAttributedString.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UINavigationController.h"

using namespace zvt::exchange;

namespace {

const auto kPageName = "兑换详情页"_ns;

std::shared_ptr<UILabel> label(CGRect frame, CGFloat fontSize) {
  auto made = UILabel::initWithFrame(frame);
  made->setFont(UIFont::systemFontOfSize(fontSize));
  return made;
}

double secondsOf(const std::shared_ptr<NSDictionary>& record, const char* key) {
  if (!record) return 0;
  id value = record->objectForKey(NSString::stringWithUTF8String(key));
  if (auto number = std::dynamic_pointer_cast<NSNumber>(value)) return number->doubleValue();
  if (auto text = std::dynamic_pointer_cast<NSString>(value)) return text->doubleValue();
  return 0;
}

}  // namespace

// --- The view -----------------------------------------------------------------------------

void PointsProductDetailView::setUpWithFrame(CGRect frame) {
  ParentView::setUpWithFrame(frame);
  const CGFloat W = frame.size.width, H = frame.size.height;
  scrollerView_ = UIScrollView::initWithFrame(CGRectMake(10, 0, W - 20, H));
  scrollerView_->setShowsVerticalScrollIndicator(false);
  scrollerView_->setBackgroundColor(rgb(242, 242, 242));
  addSubview(scrollerView_);

  backgroundView_ = UIImageView::initWithFrame(CGRectMake(0, 5, W - 20, W));
  backgroundView_->setImage(UIImage::imageNamed("pointStoreBackground"_ns));
  backgroundView_->setUserInteractionEnabled(true);
  scrollerView_->addSubview(backgroundView_);

  pointProductImage_ = UIImageView::initWithFrame(CGRectMake(10, 5, W - 40, W - 40));
  pointProductImage_->setContentMode(UIViewContentModeScaleAspectFit);
  backgroundView_->addSubview(pointProductImage_);

  nameLabel_ = label(CGRectMake(10, CGRectGetMaxY(pointProductImage_->frame()) + 10, W - 20, 20), 16);
  nameLabel_->setTextColor(rgb(51, 51, 51));
  backgroundView_->addSubview(nameLabel_);
  zaveltoMoneyLabel_ = label(CGRectZero, 15);
  aLiBaBaMoneyLabel_ = label(CGRectZero, 15);
  storeNumberLabel_ = label(CGRectZero, 15);
  lastTimeLabel_ = label(CGRectZero, 15);
}

std::shared_ptr<NSString> PointsProductDetailView::timeLeftText(double endSeconds, double now) {
  const double left = std::trunc(endSeconds - now);
  if (left < 0) return nullptr;
  const auto t = static_cast<long long>(left);
  return NSString::stringWithFormat("仅剩%2d天%2d小时%2d分钟%2d秒", static_cast<int>(t / 86400),
                                    static_cast<int>(t % 86400 / 3600), static_cast<int>(t % 3600 / 60),
                                    static_cast<int>(t % 60));
}

void PointsProductDetailView::importProduct(const std::shared_ptr<NSDictionary>& record) {
  const CGFloat W = bounds().size.width;
  // The picture: shown once it has come; nothing on a failure.
  if (auto address = textOf(record, "img")) {
    if (auto url = NSURL::URLWithString(address)) {
      std::weak_ptr<UIImageView> weakPicture = pointProductImage_;
      ZaveltoURLConnect::accessServerWithRequest(
          NSURLRequest::requestWithURL(url),
          [weakPicture](const std::shared_ptr<NSData>& data, const std::shared_ptr<NSString>&,
                        const std::shared_ptr<NSError>& error) {
            if (error) return;
            dispatch_async(dispatch_get_main_queue(), [weakPicture, data] {
              if (auto picture = weakPicture.lock()) picture->setImage(data ? UIImage::imageWithData(data) : nullptr);
            });
          });
    }
  }

  auto title = textOf(record, "title");
  nameLabel_->setText(title ? title : NSString::string());
  ZVTPublicTools::getSizeByLabel(nameLabel_, static_cast<NSInteger>(W - 20));

  const CGFloat priceY = CGRectGetMaxY(nameLabel_->frame()) + 10;
  // The captions are 40 and 50 points wide, or as wide as their text where that is wider.
  auto caption = [&](const char* text, CGFloat x, CGFloat width) {
    auto made = label(CGRectMake(x, priceY, width, 20), 14);
    made->setText(NSString::stringWithUTF8String(text));
    made->setFrame(CGRectMake(x, priceY, std::max(width, std::ceil(made->sizeThatFits(CGSizeMake(200, 20)).width)), 20));
    backgroundView_->addSubview(made);
    return CGRectGetMaxX(made->frame());
  };
  const CGFloat velmoRight = caption("Velmo:", 10, 40);
  zaveltoMoneyLabel_->setFrame(CGRectMake(velmoRight, priceY, 100, 20));
  auto jifen = textOf(record, "jifen");
  zaveltoMoneyLabel_->setText(jifen ? jifen : NSString::string());
  zaveltoMoneyLabel_->setTextColor(priceOrange());
  backgroundView_->addSubview(zaveltoMoneyLabel_);
  const CGFloat jifenbaoRight = caption("集分宝:", velmoRight + 100, 50);
  aLiBaBaMoneyLabel_->setFrame(CGRectMake(jifenbaoRight, priceY, 100, 20));
  aLiBaBaMoneyLabel_->setText(NSString::stringWithFormat("%d", static_cast<int>(integerOf(record, "jifenbao"))));
  aLiBaBaMoneyLabel_->setTextColor(priceOrange());
  backgroundView_->addSubview(aLiBaBaMoneyLabel_);

  storeNumberLabel_->setFrame(CGRectMake(10, priceY + 20 + 10, 180, 20));
  auto stock = NSString::stringWithFormat("剩余库存:%d件", static_cast<int>(integerOf(record, "num")));
  auto stockText = NSMutableAttributedString::initWithString(stock);
  stockText->addAttribute(NSFontAttributeName, UIFont::systemFontOfSize(15), NSMakeRange(0, stock->length()));
  // The figure runs from the sixth character up to the closing "件".
  stockText->addAttribute(NSForegroundColorAttributeName, priceOrange(), NSMakeRange(5, stock->length() - 6));
  storeNumberLabel_->setAttributedText(stockText);
  backgroundView_->addSubview(storeNumberLabel_);

  lastTimeLabel_->setFrame(CGRectMake(5, CGRectGetMaxY(storeNumberLabel_->frame()) + 10, W - 10, 20));
  lastTimeLabel_->setTextAlignment(NSTextAlignmentCenter);
  lastTimeLabel_->setTextColor(UIColor::grayColor());
  lastTimeLabel_->setText(timeLeftText(secondsOf(record, "edate"), Clock::now()));
  backgroundView_->addSubview(lastTimeLabel_);

  // The card is as wide as the scrolling area it lies in.
  const CGFloat cardWidth = scrollerView_->bounds().size.width;
  const CGFloat half = cardWidth / 2;
  const CGFloat buttonY = CGRectGetMaxY(lastTimeLabel_->frame()) + 20;
  struct Button {
    NSInteger tag;
    const char* normal;
    const char* highlighted;
    CGFloat x;
  };
  for (const Button& b : {Button{kVelmoTag, "zaveltoMoneyBtn_normal", "zaveltoMoneyBtn_highlight", (half - 102) / 2},
                          Button{kJifenbaoTag, "alibabaMoneyBtn_normal", "alibabaMoneyBtn_highlight", half + (half - 102) / 2}}) {
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(b.x, buttonY, 102, 34));
    button->setTag(b.tag);
    button->setBackgroundImage(UIImage::imageNamed(NSString::stringWithUTF8String(b.normal)), UIControlStateNormal);
    button->setBackgroundImage(UIImage::imageNamed(NSString::stringWithUTF8String(b.highlighted)), UIControlStateHighlighted);
    button->setAccessibilityIdentifier(b.tag == kVelmoTag ? "exchangeByVelmo"_ns : "exchangeByJifenbao"_ns);
    button->addTarget(self(), &PointsProductDetailView::withDrawAction, UIControlEventTouchUpInside);
    backgroundView_->addSubview(button);
  }
  backgroundView_->setFrame(CGRectMake(0, 5, cardWidth, buttonY + 34 + 25));
  scrollerView_->setContentSize(CGSizeMake(W - 20, backgroundView_->frame().size.height + 10));
}

void PointsProductDetailView::withDrawAction(const std::shared_ptr<UIButton>& sender) {
  auto controller = delegate();
  auto app = AppDelegate::shared();
  if (!sender || !controller) return;
  if (!app || !app->isLogin()) {
    std::weak_ptr<PointsProductDetailViewController> weakController = controller;
    showWithTitle(nullptr, "请先登录"_ns, "确定"_ns, {}, [weakController](const std::shared_ptr<UIAlertView>&, NSInteger) {
      if (auto screen = weakController.lock()) screen->gotoLoginVC();
    });
    return;
  }
  auto form = WithDrawViewController::make();
  if (sender->tag() == kJifenbaoTag) {
    jifenNumber_ = static_cast<int32_t>(integerOf(infoDictionary_, "jifenbao"));
    if (jifenNumber_ == 0) {
      showWithTitle(nullptr, "此物品不支持集分宝兑换，抱歉"_ns);
      return;
    }
    form->withDrawtype = 1;
  } else if (sender->tag() == kVelmoTag) {
    jifenNumber_ = static_cast<int32_t>(integerOf(infoDictionary_, "jifen"));
    if (jifenNumber_ == 0) {
      showWithTitle(nullptr, "此物品不支持Velmo兑换，抱歉"_ns);
      return;
    }
    form->withDrawtype = 2;
  } else {
    return;
  }
  form->jifenNumber = jifenNumber_;
  form->productId = static_cast<int32_t>(integerOf(infoDictionary_, "id"));
  form->productType = controller->productType();
  ZVTPublicTools::createBackItemWithTitle(nullptr, nullptr, controller);
  if (auto navigation = controller->navigationController()) navigation->pushViewController(form, true);
}

void PointsProductDetailView::dismissController() {
  if (auto controller = delegate()) controller->dismissViewControllerAnimated(true, nullptr);
}

// --- The screen ---------------------------------------------------------------------------

void PointsProductDetailViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  setTitle("兑换详情"_ns);
  std::weak_ptr<UIViewController> weakSelf = controllerSelf();
  configNavigationLeftItemWith(controllerSelf(), UIImage::imageNamed("grayReturn"_ns), [weakSelf] {
    if (auto screen = weakSelf.lock(); screen && screen->navigationController()) {
      screen->navigationController()->popViewControllerAnimated(true);
    }
  });
  const CGSize screen = portraitScreen();
  detailView_ = UIView::makeView<PointsProductDetailView>(CGRectMake(0, 0, screen.width, screen.height - 20));
  detailView_->setDelegate(std::static_pointer_cast<PointsProductDetailViewController>(controllerSelf()));
  detailView_->setInfoDictionary(infoDic_);
  detailView_->importProduct(infoDic_);
  view()->addSubview(detailView_);
}

void PointsProductDetailViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  if (auto bar = navigationController() ? navigationController()->navigationBar() : nullptr) {
    bar->setBarStyle(UIBarStyleDefault);
  }
  configWhiteNavigationBarStyle(controllerSelf());
  if (auto app = AppDelegate::shared(); app && app->tabBarController()) app->tabBarController()->hiddenTabbar();
  StatAgent::beginLogPageView(kPageName);
}

void PointsProductDetailViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView(kPageName);
}
