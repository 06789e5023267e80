#include "app/screens/rewards/ThecalendarViewController.h"

#include <cmath>

#include "analytics/StatAgent.h"
#include "app/api/ZaveltoURLConnect.h"
#include "app/core/AppDelegate.h"
#include "app/core/Configuration.h"
#include "app/core/UIViewController+TZSkip.h"
#include "app/models/TZHeaderInfoModel.h"
#include "app/screens/rewards/TZADShow.h"
#include "app/ui/ScreenRegistry.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIAlertView+TapBlocks.h"
#include "app/ui/UIViewController+NavItem.h"
#include "app/utilities/TovrelUntiles.h"
#include "foundation/json/JCSerializer.h"
#include "foundation/json/JSONDecoder.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSTimeZone.h"
#include "platform/foundation/NSTimer.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/network/NSURL.h"
#include "platform/network/NSURLRequest.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UILocalNotification.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationController.h"

using zvt::rewards::monthDayText;
using zvt::rewards::portraitScreenSize;

namespace {

const zvt::StaticString kPageName{"签到页面"};
const zvt::StaticString kRemindBody{"亲，快点来签到吧"};

std::shared_ptr<UIColor> rgb(int r, int g, int b) { return UIColor::colorWithRed(r / 255.0, g / 255.0, b / 255.0, 1); }
// Balances, week-day names and the reward label.
std::shared_ptr<UIColor> accentOrange() { return rgb(255, 100, 0); }
std::shared_ptr<UIColor> buttonOrange() { return rgb(255, 110, 40); }
std::shared_ptr<UIColor> doneGrey() { return rgb(200, 200, 200); }
std::shared_ptr<UIFont> helvetica(CGFloat size) { return UIFont::fontWithName("HelveticaNeue"_ns, size); }

// A dictionary's value, nil for a missing key, NSNull or a receiver that is no dictionary.
id valueOf(const id& object, const char* key) {
  auto dict = std::dynamic_pointer_cast<NSDictionary>(object);
  if (!dict) return nullptr;
  id value = dict->objectForKey(NSString::stringWithUTF8String(key));
  return std::dynamic_pointer_cast<NSNull>(value) ? nullptr : value;
}

// integerValue of a number or a text ("12.50" is 12); 0 for anything else.
NSInteger integerOf(const id& value) {
  if (auto text = std::dynamic_pointer_cast<NSString>(value)) return text->integerValue();
  if (auto number = std::dynamic_pointer_cast<NSNumber>(value)) return number->integerValue();
  return 0;
}

std::shared_ptr<NSString> describe(const id& value) { return NSString::stringWithFormat("%@", value); }

std::shared_ptr<NSDictionary> userRecord() { return AppDelegate::shared()->userInfoDictionary(); }

// The enciphered body of the screen's requests: the JSON text of the fields, DES, Base64,
// written as a JSON string literal.
std::shared_ptr<NSData> encipheredBody(const std::shared_ptr<NSDictionary>& fields) {
  auto cipher = TovrelUntiles::encryptUseDES(TovrelUntiles::turnToJSONStringWithObject(fields));
  return JSONData(*(cipher ? cipher : NSString::string()));
}

// A POST of the enciphered interface with the form content type and the platform's own
// time-out: the screen sets none.
std::shared_ptr<NSMutableURLRequest> requestFor(const std::shared_ptr<NSString>& operation,
                                                const std::shared_ptr<NSDictionary>& fields) {
  auto path = "index.php?mod=phone_api&" + (operation ? operation->utf8() : std::string());
  auto request = NSMutableURLRequest::requestWithURL(NSURL::URLWithString(zvt::Configuration::URLStringWithPath(path)));
  request->setHTTPMethod("POST");
  request->setValue("application/x-www-form-urlencoded", "Content-Type");
  request->setHTTPBody(encipheredBody(fields));
  return request;
}

}  // namespace

std::shared_ptr<ThecalendarViewController> ThecalendarViewController::make() {
  return std::make_shared<ThecalendarViewController>();
}

void ThecalendarViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  std::weak_ptr<ThecalendarViewController> weakSelf = calendarSelf();
  configNavigationLeftItemWith(controllerSelf(), UIImage::imageNamed("grayReturn"_ns), [weakSelf] {
    if (auto me = weakSelf.lock()) {
      if (auto navigation = me->navigationController()) navigation->popViewControllerAnimated(true);
    }
  });
  setTitle("签到"_ns);
  const CGSize screen = portraitScreenSize();
  scrollview_ = UIScrollView::initWithFrame(CGRectMake(0, 0, screen.width, screen.height - 20));
  view()->addSubview(scrollview_);
  scoller();
  getTheRewardFromServer();
  calendar();
}

void ThecalendarViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  if (auto navigation = navigationController()) navigation->navigationBar()->setBarStyle(UIBarStyleDefault);
  configWhiteNavigationBarStyle(controllerSelf());
  if (auto tabs = AppDelegate::shared()->tabBarController()) tabs->hiddenTabbar();
  StatAgent::beginLogPageView(kPageName);
}

void ThecalendarViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView(kPageName);
}

void ThecalendarViewController::scoller() {
  const CGFloat W = portraitScreenSize().width;
  auto me = calendarSelf();
  imageView_ = UIImageView::initWithFrame(CGRectMake(0, 0, W, 130));
  imageView_->setImage(UIImage::imageNamed("signInBackground"_ns));
  imageView_->setUserInteractionEnabled(true);
  scrollview_->addSubview(imageView_);

  signInButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
  signInButton_->setTitle("签到"_ns, UIControlStateNormal);
  signInButton_->setTitle("已签到"_ns, UIControlStateSelected);
  signInButton_->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
  signInButton_->setTitleColor(UIColor::whiteColor(), UIControlStateSelected);
  signInButton_->setBackgroundColor(buttonOrange());
  signInButton_->layer()->setCornerRadius(19);
  signInButton_->layer()->setMasksToBounds(true);
  signInButton_->addTarget(me, &ThecalendarViewController::SignIn, UIControlEventTouchUpInside);
  imageView_->addSubview(signInButton_);

  // The promotion button shows unless the configuration's entry is missing or "local" is set.
  auto page = AppDelegate::shared()->signPageDic();
  const bool promotion = page && integerOf(valueOf(page, "local")) == 0;
  if (promotion) {
    signInButton_->setFrame(CGRectMake(W / 4 - 50, 60, 110, 38));
    promotionButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
    promotionButton_->setFrame(CGRectMake(3 * W / 4 - 50, 60, 110, 38));
    promotionButton_->setTitle(std::dynamic_pointer_cast<NSString>(valueOf(page, "name")), UIControlStateNormal);
    promotionButton_->setTitleColor(buttonOrange(), UIControlStateNormal);
    promotionButton_->setBackgroundColor(UIColor::whiteColor());
    promotionButton_->layer()->setBorderWidth(1.0);
    promotionButton_->layer()->setBorderColor(buttonOrange()->CGColor());
    promotionButton_->layer()->setCornerRadius(19);
    promotionButton_->addTarget(me, &ThecalendarViewController::getMoney, UIControlEventTouchUpInside);
    imageView_->addSubview(promotionButton_);
  } else {
    signInButton_->setFrame(CGRectMake((W - 110) / 2, 60, 110, 38));
  }

  reloadTheInfo();

  upView_ = UIView::initWithFrame(CGRectMake(0, 130, W, 30));
  upView_->setBackgroundColor(UIColor::whiteColor());
  scrollview_->addSubview(upView_);
  auto dateLabel = UILabel::initWithFrame(CGRectMake(10, 5, 150, 20));
  auto formatter = NSDateFormatter::make();
  formatter->setDateFormat("yyyy年MM月dd日"_ns);
  formatter->setTimeZone(NSTimeZone::defaultTimeZone());
  dateLabel->setText(formatter->stringFromDate(NSDate::date()));
  dateLabel->setFont(UIFont::systemFontOfSize(14));
  dateLabel->setTextColor(UIColor::grayColor());
  upView_->addSubview(dateLabel);

  remindButton_ = UIButton::buttonWithType(UIButtonTypeSystem);
  remindButton_->setFrame(CGRectMake(W - 46.5, 5, 36, 18));
  const bool reminding = NSUserDefaults::standardUserDefaults()->boolForKey("isRemind"_ns);
  remindButton_->setBackgroundImage(
      UIImage::imageNamed(reminding ? "signInRemindBtn_highlight"_ns : "signInRemindBtn_normal"_ns), UIControlStateNormal);
  remindButton_->setAccessibilityIdentifier("signInRemind"_ns);
  remindButton_->addTarget(me, &ThecalendarViewController::remind, UIControlEventTouchUpInside);
  upView_->addSubview(remindButton_);
  auto remindLabel = UILabel::initWithFrame(CGRectMake(remindButton_->frame().origin.x - 85, 8, 80, 12));
  remindLabel->setText("签到提醒"_ns);
  remindLabel->setTextAlignment(NSTextAlignmentRight);
  remindLabel->setFont(UIFont::systemFontOfSize(14));
  remindLabel->setTextColor(UIColor::grayColor());
  upView_->addSubview(remindLabel);
}

void ThecalendarViewController::reloadTheInfo() {
  auto gregorian = NSCalendar::calendarWithIdentifier(NSCalendarIdentifierGregorian);
  gregorian->setTimeZone(NSTimeZone::defaultTimeZone());
  const NSCalendarUnit units = NSCalendarUnitYear | NSCalendarUnitMonth | NSCalendarUnitDay;
  auto today = gregorian->components(units, NSDate::date());
  currentDay_ = today->day();
  currentMonth_ = today->month();

  // The device's history comes first, whatever the record says, so that a check-in adds to it
  // instead of replacing it.
  auto defaults = NSUserDefaults::standardUserDefaults();
  if (auto stored = std::dynamic_pointer_cast<NSArray>(defaults->objectForKey("signData"_ns)))
    signInDataArray_->addObjectsFromArray(stored);

  if (!defaults->objectForKey("info"_ns)) return;
  const CGFloat W = portraitScreenSize().width;
  auto record = userRecord();

  auto velmoCaption = UILabel::initWithFrame(CGRectMake(10, 15, 40, 20));
  velmoCaption->setText("Velmo:"_ns);
  velmoCaption->setFont(helvetica(13));
  velmoCaption->setTextColor(accentOrange());
  velmoCaption->setBackgroundColor(UIColor::clearColor());
  // The caption's 40 points hold "Velmo:" in the device's Helvetica Neue; a wider stand-in
  // font shrinks to fit instead of cutting the word.
  velmoCaption->setAdjustsFontSizeToFitWidth(true);
  velmoCaption->setMinimumScaleFactor(0.7);
  imageView_->addSubview(velmoCaption);
  zaveltoMoneyLabel_ = UILabel::initWithFrame(CGRectMake(50, 10, 40, 30));
  if (id jifen = valueOf(record, "jifen")) zaveltoMoneyLabel_->setText(describe(jifen));
  zaveltoMoneyLabel_->setFont(helvetica(15));
  zaveltoMoneyLabel_->setTextColor(accentOrange());
  zaveltoMoneyLabel_->setTextAlignment(NSTextAlignmentCenter);
  imageView_->addSubview(zaveltoMoneyLabel_);

  auto jifenbaoCaption = UILabel::initWithFrame(CGRectMake(W / 2 + 40, 15, 50, 20));
  jifenbaoCaption->setText("集分宝:"_ns);
  jifenbaoCaption->setFont(helvetica(13));
  jifenbaoCaption->setTextColor(accentOrange());
  imageView_->addSubview(jifenbaoCaption);
  aLiLiBaBaMoneyLabel_ = UILabel::initWithFrame(CGRectMake(W / 2 + 90, 10, 60, 30));
  if (id jifenbao = valueOf(record, "jifenbao"))
    aLiLiBaBaMoneyLabel_->setText(NSString::stringWithFormat("%d", static_cast<int>(integerOf(jifenbao))));
  aLiLiBaBaMoneyLabel_->setFont(helvetica(15));
  aLiLiBaBaMoneyLabel_->setTextColor(accentOrange());
  aLiLiBaBaMoneyLabel_->setTextAlignment(NSTextAlignmentCenter);
  imageView_->addSubview(aLiLiBaBaMoneyLabel_);

  const NSInteger signtime = integerOf(valueOf(record, "signtime"));
  if (signtime == 0) return;
  // Done only for a check-in on today's date, year included: the same day and month of an
  // earlier year leaves today's check-in open.
  auto last = gregorian->components(units, NSDate::dateWithTimeIntervalSince1970(static_cast<NSTimeInterval>(signtime)));
  if (last->year() != today->year() || last->month() != today->month() || last->day() != today->day()) return;
  setSignInDone();
  storeToday();
}

void ThecalendarViewController::calendar() {
  sampleView_ = CalendarView::make();
  sampleView_->setBackgroundColor(UIColor::whiteColor());
  scrollview_->addSubview(sampleView_);
}

void ThecalendarViewController::storeToday() {
  auto today = monthDayText(currentMonth_, currentDay_);
  if (signInDataArray_->containsObject(today)) return;
  signInDataArray_->addObject(today);
  auto defaults = NSUserDefaults::standardUserDefaults();
  defaults->setObject(signInDataArray_, "signData"_ns);
  defaults->synchronize();
}

void ThecalendarViewController::setSignInDone() {
  signInButton_->setSelected(true);
  signInButton_->setBackgroundColor(doneGrey());
  signInButton_->setUserInteractionEnabled(false);
}

void ThecalendarViewController::showTodayDone() {
  if (sampleView_) {
    for (const auto& subview : sampleView_->subviews()) {
      auto cell = std::dynamic_pointer_cast<DateViewModel>(subview);
      if (!cell || cell->tag() != currentDay_) continue;
      if (!cell->cionIcon()) cell->createCionIcon();
      cell->cionIcon()->setImage(UIImage::imageNamed("cion_highlight"_ns));
    }
  }
  setSignInDone();
}

// --- check-in

void ThecalendarViewController::SignIn() {
  if (signing_) return;
  signing_ = true;
  auto fields = NSMutableDictionary::dictionary();
  if (id user = valueOf(userRecord(), "id")) fields->setObject(user, "id"_ns);
  getRewardFromServerWithType(kSignRequest, "act=sign"_ns, fields);
}

void ThecalendarViewController::getTheRewardFromServer() {
  auto fields = NSMutableDictionary::dictionary();
  if (id user = valueOf(userRecord(), "id")) fields->setObject(user, "id"_ns);
  getRewardFromServerWithType(kShareAwardRequest, "act=shareAwardInfo"_ns, fields);
}

void ThecalendarViewController::getRewardFromServerWithType(NSInteger type, const std::shared_ptr<NSString>& interFaceString,
                                                            const std::shared_ptr<NSDictionary>& postDictionary) {
  auto key = TovrelUntiles::getMD5StrFromString(kZVTSigningSecret);
  auto timeRequest = requestFor("act=get_time"_ns, NSDictionary::make({{"code"_ns, TovrelUntiles::getMD5StrFromString(key)}}));
  auto me = calendarSelf();
  auto fields = postDictionary ? postDictionary->mutableCopy() : NSMutableDictionary::dictionary();
  // Every end of a check-in's exchange, answered or not, lets the button send again.
  auto ended = [me, type] {
    if (type == kSignRequest) me->signing_ = false;
  };
  ZaveltoURLConnect::accessServerWithRequest(
      timeRequest, [me, type, interFaceString, fields, key, ended](const std::shared_ptr<NSData>& data,
                                                                  const std::shared_ptr<NSString>&,
                                                                  const std::shared_ptr<NSError>& error) {
        if (error || !data) return ended();
        id reply = objectFromJSONData(*data);
        if (integerOf(valueOf(reply, "code")) != 101) return ended();
        id payload = nullptr;
        if (id cipher = valueOf(reply, "data")) {
          if (auto plain = TovrelUntiles::decryptUseDES(describe(cipher))) payload = objectFromJSONString(*plain);
        }
        id time = valueOf(payload, "time");
        // Without a time stamp there is nothing to sign with: the exchange ends here.
        if (!time) return ended();
        auto timeText = describe(time);
        fields->setObject(TovrelUntiles::getMD5StrFromString(NSString::stringWithFormat("%@%@", key, timeText)), "code"_ns);
        fields->setObject(timeText, "time"_ns);
        ZaveltoURLConnect::accessServerWithRequest(
            requestFor(interFaceString, fields),
            [me, type, ended](const std::shared_ptr<NSData>&, const std::shared_ptr<NSString>& text,
                              const std::shared_ptr<NSError>& error) {
              ended();
              if (error || !text) return;
              id reply = objectFromJSONString(*text);
              if (type == kSignRequest) me->handleSignReply(reply);
            });
      });
}

void ThecalendarViewController::handleSignReply(const id& reply) {
  auto me = calendarSelf();
  const NSInteger code = integerOf(valueOf(reply, "code"));
  if (code == 251) {
    showWithTitle(nullptr, "您已签到了"_ns);
    dispatch_async(dispatch_get_main_queue(), [me] { me->showTodayDone(); });
    return;
  }
  if (code != 101) return;
  if (auto advert = std::dynamic_pointer_cast<NSDictionary>(valueOf(reply, "popUpAds")); advert && advert->count() > 0)
    showAD(advert);
  auto data = std::dynamic_pointer_cast<NSDictionary>(valueOf(reply, "data"));
  if (data) {
    auto record = userRecord();
    auto updated = record ? record->mutableCopy() : NSMutableDictionary::dictionary();
    if (id jifen = valueOf(data, "jifen")) updated->setObject(jifen, "jifen"_ns);
    if (id jifenbao = valueOf(data, "jifenbao")) updated->setObject(jifenbao, "jifenbao"_ns);
    signInTimeStamp_ = static_cast<NSInteger>(std::floor(NSDate::date()->timeIntervalSince1970()));
    updated->setObject(NSString::stringWithFormat("%ld", static_cast<long>(signInTimeStamp_)), "signtime"_ns);
    AppDelegate::shared()->setUserInfoDictionary(updated);
  }
  storeToday();
  auto shown = data ? data : NSDictionary::dictionary();
  dispatch_async(dispatch_get_main_queue(), [me, shown] {
    me->showTodayDone();
    const NSInteger addJifen = integerOf(valueOf(shown, "addJifen"));
    const NSInteger addJifenbao = integerOf(valueOf(shown, "addJifenbao"));
    if (addJifen == 0 && addJifenbao == 0) return;
    if (me->zaveltoMoneyLabel_)
      me->zaveltoMoneyLabel_->setText(NSString::stringWithFormat("%d", static_cast<int>(integerOf(valueOf(shown, "jifen")))));
    if (me->aLiLiBaBaMoneyLabel_)
      me->aLiLiBaBaMoneyLabel_->setText(
          NSString::stringWithFormat("%d", static_cast<int>(integerOf(valueOf(shown, "jifenbao")))));
    std::shared_ptr<NSString> text;
    if (addJifen == 0) {
      text = NSString::stringWithFormat("+%d集分宝", static_cast<int>(addJifenbao));
    } else if (addJifenbao == 0) {
      text = NSString::stringWithFormat("+%dVelmo", static_cast<int>(addJifen));
    } else {
      text = NSString::stringWithFormat("+%dVelmo +%d集分宝", static_cast<int>(addJifen), static_cast<int>(addJifenbao));
    }
    me->rewardStr_ = text;
    me->addAnimitionWithType(0, text);
  });
}

// --- reward label

void ThecalendarViewController::addAnimitionWithType(NSInteger type, const std::shared_ptr<NSString>& rewardNumber) {
  if (type != 0) return;
  moneyRemarkLabel_ = UILabel::initWithFrame(CGRectMake(80, 30, 160, 20));
  moneyRemarkLabel_->setText(rewardNumber);
  moneyRemarkLabel_->setTextColor(accentOrange());
  moneyRemarkLabel_->setBackgroundColor(UIColor::clearColor());
  moneyRemarkLabel_->setFont(helvetica(15));
  moneyRemarkLabel_->setTextAlignment(NSTextAlignmentCenter);
  scrollview_->addSubview(moneyRemarkLabel_);
  auto me = calendarSelf();
  performAfterDelay(0.2, [me] { me->updateUI(); });
}

void ThecalendarViewController::updateUI() {
  auto label = moneyRemarkLabel_;
  if (!label) return;
  auto me = calendarSelf();
  const CGRect frame = label->frame();
  UIView::animateWithDuration(0.5, [label, frame] { label->setFrame(frame); });
  // That animation changes nothing, which here ends at once; its end is timed on its own
  // duration so that the label rests there for the whole half second before it rises.
  performAfterDelay(0.5, [me, label] {
    UIView::animateWithDuration(
        0.4, 0.5, UIViewAnimationOptionCurveEaseInOut,
        [label] {
          CGRect moved = label->frame();
          moved.origin.y = -30;
          label->setFrame(moved);
        },
        nullptr);
    performAfterDelay(2.0, [me] { me->removeMoneyRemarkLabel(); });
  });
}

void ThecalendarViewController::removeMoneyRemarkLabel() {
  if (moneyRemarkLabel_) moneyRemarkLabel_->removeFromSuperview();
}

// --- promotion, reminder, advert

void ThecalendarViewController::getMoney() {
  auto page = AppDelegate::shared()->signPageDic();
  auto web = zvt::makeScreen("TZPublicViewController");
  auto navigation = navigationController();
  if (!web || !navigation) return;
  web->setValueForKey(valueOf(page, "name"), "webTitle"_ns);
  web->setValueForKey(valueOf(page, "link"), "webUrl"_ns);
  navigation->pushViewController(web, true);
}

void ThecalendarViewController::remind() {
  auto defaults = NSUserDefaults::standardUserDefaults();
  if (!defaults->boolForKey("isRemind"_ns)) {
    remindButton_->setBackgroundImage(UIImage::imageNamed("signInRemindBtn_highlight"_ns), UIControlStateNormal);
    remindSignIn();
    defaults->setBool(true, "isRemind"_ns);
    defaults->synchronize();
    return;
  }
  remindButton_->setBackgroundImage(UIImage::imageNamed("signInRemindBtn_normal"_ns), UIControlStateNormal);
  defaults->setBool(false, "isRemind"_ns);
  defaults->synchronize();
  auto application = UIApplication::sharedApplication();
  for (const auto& notification : application->scheduledLocalNotifications()) {
    id key = valueOf(notification->userInfo(), "key");
    auto text = std::dynamic_pointer_cast<NSString>(key);
    if (text && text->isEqualToString("pushNotification")) {
      application->cancelLocalNotification(notification);
      break;
    }
  }
}

void ThecalendarViewController::remindSignIn() {
  // The next 09:00:00 on the device's wall clock: a fire date in the past would be delivered
  // at once.
  auto zone = NSTimeZone::defaultTimeZone();
  auto gregorian = NSCalendar::calendarWithIdentifier(NSCalendarIdentifierGregorian);
  gregorian->setTimeZone(zone);
  auto now = NSDate::date();
  auto parts = gregorian->components(NSCalendarUnitYear | NSCalendarUnitMonth | NSCalendarUnitDay, now);
  parts->setHour(9);
  parts->setMinute(0);
  parts->setSecond(0);
  auto fire = gregorian->dateFromComponents(parts);
  if (fire && fire->timeIntervalSince1970() <= now->timeIntervalSince1970()) {
    auto oneDay = NSDateComponents::make();
    oneDay->setDay(1);
    fire = gregorian->dateByAddingComponents(oneDay, fire, 0);
  }
  auto notification = UILocalNotification::make();
  notification->setFireDate(fire);
  notification->setTimeZone(zone);
  notification->setRepeatInterval(NSCalendarUnitDay);
  notification->setSoundName(UILocalNotificationDefaultSoundName);
  notification->setAlertBody(kRemindBody);
  notification->setApplicationIconBadgeNumber(1);
  notification->setUserInfo(NSDictionary::make({{"key"_ns, "pushNotification"_ns}}));
  UIApplication::sharedApplication()->scheduleLocalNotification(notification);
}

void ThecalendarViewController::showAD(const std::shared_ptr<NSDictionary>& advert) {
  auto tabs = tabBarController();
  if (!tabs) return;
  const CGSize screen = portraitScreenSize();
  auto show = UIView::makeView<TZADShow>(CGRectMake(0, -screen.height, screen.width, screen.height));
  tabs->view()->addSubview(show);
  show->create(advert);
  UIView::animateWithDuration(0.5, [show, screen] { show->setFrame(CGRectMake(0, 0, screen.width, screen.height)); });
  auto item = zvt::modelFromRecord<TZHeaderInfoModel>(advert);
  std::weak_ptr<ThecalendarViewController> weakSelf = calendarSelf();
  show->setADShowBlock([weakSelf, item] {
    if (auto me = weakSelf.lock()) clickAction(me, item);
  });
}
