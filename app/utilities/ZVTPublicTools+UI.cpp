// The members of ZVTPublicTools that work with screens, sounds and the review prompt.

#include <limits>

#include "app/core/AppDelegate.h"
#include "app/core/Configuration.h"
#include "app/ui/UIAlertView+TapBlocks.h"
#include "app/ui/UIViewController+NavItem.h"
#include "app/utilities/ZVTPublicTools.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSTimer.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/text/NSStringDrawing.h"
#include "platform/uikit/AudioServices.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationController.h"

namespace {

std::shared_ptr<NSString> textSetting(const std::shared_ptr<NSDictionary>& settings, const char* key) {
  id value = settings ? settings->objectForKey(NSString::stringWithUTF8String(key)) : nullptr;
  if (!value || zvt::isNullOrNil(value)) return nullptr;
  return NSString::stringWithFormat("%@", value);
}

// The "timeInterval" in force when the prompt is answered; then the review page for index 1.
void promptAnswered(NSInteger buttonIndex) {
  if (auto days = textSetting(AppDelegate::shared()->evaluateDic(), "timeInterval")) ZVTPublicTools::saveTime(days);
  if (buttonIndex != 1) return;
  if (auto url = ZVTPublicTools::reviewPageURL()) UIApplication::sharedApplication()->openURL(url);
  auto defaults = NSUserDefaults::standardUserDefaults();
  defaults->setBool(true, "isHaveEvaluated"_ns);
  defaults->synchronize();
}

}  // namespace

std::shared_ptr<NSURL> ZVTPublicTools::reviewPageURL() {
  const auto values = zvt::Configuration::values();
  return NSURL::URLWithString(NSString::stringWithUTF8String(
      "itms-apps://" + values.appStoreReviewHost +
      "/WebObjects/MZStore.woa/wa/viewContentsUserReviews?type=Purple+Software&id=" + values.appStoreIdentifier));
}

void ZVTPublicTools::getSizeByLabel(const std::shared_ptr<UILabel>& label, NSInteger width) {
  if (!label) return;
  label->setNumberOfLines(0);
  label->setLineBreakMode(NSLineBreakByWordWrapping);
  auto text = label->text() ? label->text() : NSString::string();
  const CGRect measured =
      boundingRectWithSize(text, CGSizeMake(static_cast<CGFloat>(width), std::numeric_limits<CGFloat>::max()), NSStringDrawingUsesLineFragmentOrigin,
                           NSDictionary::make({{NSFontAttributeName, label->font()}}), nullptr);
  CGRect frame = label->frame();
  frame.size = measured.size;
  label->setFrame(frame);
}

void ZVTPublicTools::createBackItemWithTitle(const std::shared_ptr<NSString>& title,
                                             const std::shared_ptr<NSString>& imageName,
                                             const std::shared_ptr<UIViewController>& controller) {
  if (!controller) return;
  auto item = UIBarButtonItem::initWithTitle(title ? title : NSString::string(), UIBarButtonItemStylePlain, nullptr, SEL());
  item->setBackButtonBackgroundImage(UIImage::imageNamed(imageName ? imageName : NSString::string()), UIControlStateNormal,
                                     UIBarMetricsDefault);
  if (auto navigation = controller->navigationController()) {
    navigation->navigationBar()->setBarStyle(UIBarStyleDefault);
    navigation->navigationBar()->setTintColor(UIColor::whiteColor());
  }
  controller->navigationItem()->setBackBarButtonItem(item);
}

void ZVTPublicTools::playSound() {
  auto path = NSBundle::mainBundle() ? NSBundle::mainBundle()->pathForResource("sound"_ns, "wav"_ns) : nullptr;
  SystemSoundID sound = 0;
  if (path && AudioServicesCreateSystemSoundID(NSURL::fileURLWithPath(path), &sound) == 0) {
    AudioServicesPlaySystemSound(sound);
  } else {
    AudioServicesPlaySystemSound(kSystemSoundID_Vibrate);
  }
}

std::shared_ptr<UIImage> ZVTPublicTools::imageWithColor(const std::shared_ptr<UIColor>& color) {
  return ::imageWithColor(color);
}

void ZVTPublicTools::gotoComment() {
  auto defaults = NSUserDefaults::standardUserDefaults();
  if (defaults->boolForKey("isHaveEvaluated"_ns)) return;
  auto settings = AppDelegate::shared()->evaluateDic();
  auto open = textSetting(settings, "open");
  if (!open || open->integerValue() != 1) return;
  auto interval = textSetting(settings, "timeInterval");
  auto saved = defaults->objectForKey("saveDate"_ns);
  bool show = true;
  if (interval && saved && interval->isEqualToString(NSString::stringWithFormat("%@", saved))) {
    auto next = std::dynamic_pointer_cast<NSNumber>(defaults->objectForKey("saveTime"_ns));
    show = !next || next->doubleValue() <= Clock::now();
  }
  if (!show) return;
  auto tips = textSetting(settings, "tips");
  NSTimer::scheduledTimerWithTimeInterval(0, false, [tips](const std::shared_ptr<NSTimer>&) { timerFired(tips); });
}

void ZVTPublicTools::timerFired(const std::shared_ptr<NSString>& userInfo) {
  showWithTitle(NSString::string(), userInfo ? userInfo : "(●'◡'●)ﾉ♥给个好评吧"_ns, "下次吧"_ns, {"鼓励一下"_ns},
                [](const std::shared_ptr<UIAlertView>&, NSInteger buttonIndex) { promptAnswered(buttonIndex); });
}

void ZVTPublicTools::saveTime(const std::shared_ptr<NSString>& days) {
  auto defaults = NSUserDefaults::standardUserDefaults();
  const NSInteger count = days ? days->integerValue() : 0;
  defaults->setObject(NSNumber::numberWithDouble(Clock::now() + static_cast<double>(count) * 86400.0), "saveTime"_ns);
  defaults->setObject(days ? days : NSString::string(), "saveDate"_ns);
  defaults->synchronize();
  AppDelegate::shared()->setEvaluateDic(nullptr);
}
