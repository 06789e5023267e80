#include "app/core/AppDelegate.h"

#include "analytics/StatAgent.h"
#include "app/api/ZVTAPIClient.h"
#include "app/core/Configuration.h"
#include "app/ui/ScreenRegistry.h"
#include "app/ui/SharedViews.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIAlertView+TapBlocks.h"
#include "app/ui/UIKitCategories.h"
#include "app/utilities/ZVTPublicTools.h"
#include "foundation/http/NWNetworkReachabilityManager.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UINavigationController.h"
#include "push/PushService.h"

namespace {

std::shared_ptr<AppDelegate>& sharedDelegate() {
  static std::shared_ptr<AppDelegate> delegate;
  return delegate;
}

// A payload's values, read as the router trusts them: a dictionary only where one belongs.
std::shared_ptr<NSDictionary> dictionaryValue(const std::shared_ptr<NSDictionary>& from, const char* key) {
  return from ? std::dynamic_pointer_cast<NSDictionary>(from->objectForKey(NSString::stringWithUTF8String(key))) : nullptr;
}

std::shared_ptr<NSString> textValue(const std::shared_ptr<NSDictionary>& from, const char* key) {
  return from ? std::dynamic_pointer_cast<NSString>(from->objectForKey(NSString::stringWithUTF8String(key))) : nullptr;
}

// An integer as Objective-C's integerValue reads it from a text or a number; anything else
// (missing, null, a dictionary) is 0.
NSInteger integerValue(const id& value) {
  if (auto text = std::dynamic_pointer_cast<NSString>(value)) return text->integerValue();
  if (auto number = std::dynamic_pointer_cast<NSNumber>(value)) return number->integerValue();
  return 0;
}

std::shared_ptr<UIViewController> currentScreen() {
  return std::dynamic_pointer_cast<UIViewController>(ZVTPublicTools::getCurrentVC());
}

void pushScreen(const std::shared_ptr<UIViewController>& screen) {
  auto current = currentScreen();
  auto navigation = current ? current->navigationController() : nullptr;
  if (navigation && screen) navigation->pushViewController(screen, true);
}

}  // namespace

std::shared_ptr<AppDelegate> AppDelegate::shared() {
  auto& delegate = sharedDelegate();
  if (!delegate) delegate = std::make_shared<AppDelegate>();
  return delegate;
}

void AppDelegate::setShared(const std::shared_ptr<AppDelegate>& delegate) { sharedDelegate() = delegate; }

void AppDelegate::setUserInfoDictionary(const std::shared_ptr<NSDictionary>& value) {
  userInfoDictionary_ = value ? value->mutableCopy() : nullptr;
}

// --- launch and life cycle --------------------------------------------------------------------------

bool AppDelegate::applicationDidFinishLaunchingWithOptions(const std::shared_ptr<UIApplication>& /*application*/,
                                                           const std::shared_ptr<NSDictionary>& options) {
  setShared(delegateSelf());
  zvt::registerSharedViewNibs();
  // The current screen is the top of the selected tab's navigation stack.
  std::weak_ptr<AppDelegate> weakSelf = delegateSelf();
  zvt::setCurrentViewControllerProvider([weakSelf]() -> id {
    auto delegate = weakSelf.lock();
    auto shell = delegate ? delegate->tabBarController() : nullptr;
    auto navigation = shell ? std::dynamic_pointer_cast<UINavigationController>(shell->selectedViewController()) : nullptr;
    return navigation ? navigation->topViewController() : nullptr;
  });

  window_ = UIWindow::initWithFrame(UIScreen::mainScreen()->bounds());
  tabBarController_ = TabBarController::make();
  window_->setRootViewController(tabBarController_);
  window_->makeKeyAndVisible();
  initTheNetWork();
  initAnalytics();
  setRemoteNotification(options ? std::dynamic_pointer_cast<NSDictionary>(options->objectForKey(PSLaunchOptionsRemoteNotificationKey))
                                : nullptr);
  if (remoteNotification()) {
    NSNotificationCenter::defaultCenter()->addObserver(
        self(),
        [weakSelf](const std::shared_ptr<NSNotification>&) {
          if (auto delegate = weakSelf.lock()) delegate->getPushInfo();
        },
        "remote"_ns, nullptr);
  }
  getPushInfo();
  dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0), [weakSelf, options] {
    if (auto delegate = weakSelf.lock()) delegate->initPush(options);
  });
  return true;
}

void AppDelegate::applicationWillResignActive(const std::shared_ptr<UIApplication>& /*application*/) {
  auto center = NSNotificationCenter::defaultCenter();
  center->removeObserver(self(), SAOnlineConfigUpdatedNotification, nullptr);
  center->removeObserver(self(), "remote"_ns, nullptr);
}

void AppDelegate::applicationDidEnterBackground(const std::shared_ptr<UIApplication>& /*application*/) {
  StatAgent::updateOnlineConfig();
}

void AppDelegate::applicationWillEnterForeground(const std::shared_ptr<UIApplication>& /*application*/) {}

void AppDelegate::applicationDidBecomeActive(const std::shared_ptr<UIApplication>& application) {
  PushService::resetBadge();
  application->setApplicationIconBadgeNumber(0);
}

void AppDelegate::applicationWillTerminate(const std::shared_ptr<UIApplication>& /*application*/) {}

void AppDelegate::applicationDidRegisterForRemoteNotificationsWithDeviceToken(
    const std::shared_ptr<UIApplication>& /*application*/, const std::shared_ptr<NSData>& deviceToken) {
  PushService::registerDeviceToken(deviceToken);
  setPushRegisterID(PushService::registrationID());
}

void AppDelegate::applicationDidReceiveRemoteNotification(const std::shared_ptr<UIApplication>& /*application*/,
                                                          const std::shared_ptr<NSDictionary>& userInfo) {
  if (!userInfo) return;
  isAppOn_ = true;
  getTokenMessageWithUserInfo(userInfo);
}

void AppDelegate::applicationDidReceiveLocalNotification(const std::shared_ptr<UIApplication>& application,
                                                         const std::shared_ptr<UILocalNotification>& notification) {
  if (NSUserDefaults::standardUserDefaults()->integerForKey("isRemind"_ns) != 1) return;
  UIAlertView::initWithTitle(notification ? notification->alertBody() : nullptr, nullptr, nullptr, "确定"_ns)->show();
  application->setApplicationIconBadgeNumber(0);
}

bool AppDelegate::applicationOpenURL(const std::shared_ptr<UIApplication>& /*application*/,
                                     const std::shared_ptr<NSURL>& url, const std::shared_ptr<NSString>& /*sourceApplication*/,
                                     const id& /*annotation*/) {
  auto scheme = url ? url->scheme() : nullptr;
  return scheme && scheme->isEqualToString("tzzvt");
}

void AppDelegate::onlineConfigCallBack(const std::shared_ptr<NSNotification>& /*notification*/) {}

// --- start-up steps ---------------------------------------------------------------------------------

void AppDelegate::initTheNetWork() {
  setIsConnectNetwork(true);
  auto manager = NWNetworkReachabilityManager::sharedManager();
  std::weak_ptr<AppDelegate> weakSelf = delegateSelf();
  manager->setReachabilityStatusChangeBlock([weakSelf](NWNetworkReachabilityStatus status) {
    auto delegate = weakSelf.lock();
    if (!delegate) return;
    switch (status) {
      case NWNetworkReachabilityStatusUnknown:
      case NWNetworkReachabilityStatusNotReachable:
        delegate->setIsConnectNetwork(false);
        delegate->setIsLogin(false);
        PushService::setAlias(NSString::string(), nullptr, delegate);
        NSNotificationCenter::defaultCenter()->postNotificationName("logout"_ns, delegate);
        UIAlertView::initWithTitle("温馨提醒"_ns, "当前没有网络，请检查您的网络"_ns, nullptr, "确定"_ns)->show();
        break;
      case NWNetworkReachabilityStatusReachableViaWWAN:
      case NWNetworkReachabilityStatusReachableViaWiFi:
        delegate->setIsConnectNetwork(true);
        ZVTAPIClient::autoLogin();
        break;
    }
  });
  manager->startMonitoring();
}

void AppDelegate::initAnalytics() {
  StatAgent::startWithAppkey(zvt::Configuration::analyticsAppKey(), BATCH, NSString::string());
  StatAgent::updateOnlineConfig();
  auto bundle = NSBundle::mainBundle();
  StatAgent::setAppVersion(bundle ? std::dynamic_pointer_cast<NSString>(
                                        bundle->objectForInfoDictionaryKey("CFBundleShortVersionString"_ns))
                                  : nullptr);
  StatAgent::getConfigParams();
  StatAgent::setCrashReportEnabled(true);
  std::weak_ptr<AppDelegate> weakSelf = delegateSelf();
  NSNotificationCenter::defaultCenter()->addObserver(
      self(),
      [weakSelf](const std::shared_ptr<NSNotification>& notification) {
        if (auto delegate = weakSelf.lock()) delegate->onlineConfigCallBack(notification);
      },
      SAOnlineConfigUpdatedNotification, nullptr);
}

void AppDelegate::initPush(const std::shared_ptr<NSDictionary>& launchOptions) {
  PushService::registerForRemoteNotificationTypes(7, nullptr);
  PushService::setupWithOption(launchOptions);
}

// --- push routing -----------------------------------------------------------------------------------

void AppDelegate::getPushInfo() {
  auto payload = remoteNotification();
  if (!payload) return;
  isAppOn_ = false;
  getTokenMessageWithUserInfo(payload);
}

void AppDelegate::getTokenMessageWithUserInfo(const std::shared_ptr<NSDictionary>& payload) {
  if (!payload) return;
  auto alert = dictionaryValue(payload, "aps") ? dictionaryValue(payload, "aps")->objectForKey("alert"_ns) : nullptr;
  id kind = payload->objectForKey("content_type"_ns);
  auto kindText = std::dynamic_pointer_cast<NSString>(kind);
  if (kindText && kindText->isEqualToString("goodAds")) {
    auto good = dictionaryValue(payload, "good");
    if (good && integerValue(good->objectForKey("is_Show"_ns)) == 1) {
      auto advert = loadFromNib<TZSingleProductView>();
      if (advert) {
        advert->setIsSaveTime(false);
        advert->setProductDic(good);
        auto current = currentScreen();
        advert->showSingleProductWithCurrentVC(current ? current->tabBarController() : nullptr, nullptr);
        std::weak_ptr<AppDelegate> weakSelf = delegateSelf();
        advert->setMyBlock([weakSelf, good](const id&) {
          if (auto delegate = weakSelf.lock()) delegate->gotoProductWithInfo(good);
        });
      }
    }
    setRemoteNotification(nullptr);
  } else {
    type_ = integerValue(kind);
    auto link = textValue(payload, "link");
    auto linkName = textValue(payload, "link_name");
    auto isShare = textValue(payload, "isShare");
    if (isAppOn_) {
      ZVTPublicTools::playSound();
      if (type_ != 0) {
        // The alert routes by its own payload, whatever arrives meanwhile.
        const NSInteger code = type_;
        std::weak_ptr<AppDelegate> weakSelf = delegateSelf();
        // A payload without an alert text asks with an empty message, never "(null)".
        auto message = alert ? NSString::stringWithFormat("%@", alert) : ""_ns;
        showWithTitle(nullptr, message, "取消"_ns, {"去看看"_ns},
                      [weakSelf, code, link, linkName, isShare](const std::shared_ptr<UIAlertView>&, NSInteger index) {
                        auto delegate = weakSelf.lock();
                        if (!delegate) return;
                        if (index == 1) {
                          delegate->skipWithCode(code, link, linkName, isShare);
                        } else {
                          delegate->setRemoteNotification(nullptr);
                        }
                      });
      } else {
        setRemoteNotification(nullptr);
        showWithTitle(nullptr, std::dynamic_pointer_cast<NSString>(alert));
      }
    } else {
      skipWithLink(link, linkName, isShare);
    }
  }
  PushService::handleRemoteNotification(payload);
  PushService::resetBadge();
}

void AppDelegate::skipWithLink(const std::shared_ptr<NSString>& link, const std::shared_ptr<NSString>& linkName,
                               const std::shared_ptr<NSString>& isShare) {
  skipWithCode(type_, link, linkName, isShare);
}

void AppDelegate::skipWithCode(NSInteger code, const std::shared_ptr<NSString>& link,
                               const std::shared_ptr<NSString>& linkName, const std::shared_ptr<NSString>& isShare) {
  struct Route {
    const char* screen;
    bool login;
  };
  std::shared_ptr<UIViewController> screen;
  auto open = [&](const Route& route) -> bool {
    if (route.login && !isLogin()) return false;
    screen = zvt::makeScreen(route.screen);
    return screen != nullptr;
  };
  auto productStore = [&](NSInteger bigSortType) {
    if (!open({"ProductStoreViewController", false})) return false;
    screen->setValueForKey(NSNumber::numberWithInteger(0), "smallSortType"_ns);
    screen->setValueForKey(NSNumber::numberWithInteger(bigSortType), "bigSortType"_ns);
    screen->setValueForKey(NSNumber::numberWithBool(true), "isPush"_ns);
    return true;
  };
  bool opened = false;
  switch (code) {
    case 1:
      if ((opened = open({"TZAssetsViewController", true}))) {
        screen->setValueForKey("out"_ns, "flag"_ns);
        screen->setValueForKey("提现明细"_ns, "assetsTitle"_ns);
      }
      break;
    case 2: opened = open({"TZOrderViewController", true}); break;
    case 3: opened = open({"TZMessageViewController", true}); break;
    case 4:
      if ((opened = open({"ActivityZoneViewController", false}))) {
        screen->setValueForKey(link, "activityZoneUrl"_ns);
        screen->setValueForKey(linkName, "activityZoneName"_ns);
        screen->setValueForKey(isShare, "isShare"_ns);
      }
      break;
    case 6: opened = open({"TZStrollViewController", false}); break;
    case 7: opened = open({"TZExchangeViewController", true}); break;
    case 8: opened = open({"ThecalendarViewController", true}); break;
    case 9: opened = open({"InviteFriendsViewController", true}); break;
    case 10:
      if (tabBarController_) tabBarController_->setSelectedWithIndex(2);
      setRemoteNotification(nullptr);
      return;
    case 11: opened = productStore(1); break;
    case 12: opened = productStore(4); break;
    case 13: opened = productStore(3); break;
    case 14:
      if ((opened = open({"ThirdProductStoreViewController", false}))) {
        screen->setValueForKey(NSNumber::numberWithBool(true), "isPush"_ns);
      }
      break;
    default: break;  // 5, 0, negative and unknown codes open nothing
  }
  if (!opened) return;
  pushScreen(screen);
  setRemoteNotification(nullptr);
}

void AppDelegate::gotoProductWithInfo(const std::shared_ptr<NSDictionary>& info) {
  auto screen = zvt::makeScreen("WebDetailViewController");
  if (!screen) return;
  screen->setValueForKey(info ? info->objectForKey("id"_ns) : nullptr, "goodsId"_ns);
  screen->setValueForKey(info ? info->objectForKey("iid"_ns) : nullptr, "taoBao_goodsId"_ns);
  screen->setValueForKey(NSNumber::numberWithBool(true), "isProductPush"_ns);
  pushScreen(screen);
}
