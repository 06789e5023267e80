#include "app/screens/account/PartnerWebLogin.h"

#include "analytics/StatAgent.h"
#include "app/api/ZVTAPIClient.h"
#include "app/core/Configuration.h"
#include "app/ui/ScreenRegistry.h"
#include "app/ui/UIViewController+NavItem.h"
#include "app/utilities/ZVTPublicTools.h"
#include "platform/foundation/NSKeyValueCoding.h"
#include "platform/graphics/UIScreen.h"
#include "platform/network/NSHTTPCookie.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationController.h"

namespace {

// Percent-encodes everything but the unreserved characters.
std::string percentEncoded(const std::string& text) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 15]);
    }
  }
  return out;
}

std::string serviceRoot() { return zvt::Configuration::values().serverRoot; }

}  // namespace

std::string PartnerWebLoginController::encodedCallback(const char* act) {
  return percentEncoded(serviceRoot() + "/index.php?mod=api&act=" + act);
}

void PartnerWebLoginController::initDatas(const std::string& authorizeURL) {
  partnerId_ = ""_ns;
  ZVTPublicTools::deleteCookiewith(NSString::stringWithUTF8String(serviceRoot() + "/"));
  request_ = NSURLRequest::requestWithURL(NSURL::URLWithString(NSString::stringWithUTF8String(authorizeURL)));
}

void PartnerWebLoginController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  setTitle(NSString::stringWithUTF8String(partner_.title));
  std::weak_ptr<PartnerWebLoginController> weakSelf = webSelf();
  configNavigationLeftItemWith(controllerSelf(), UIImage::imageNamed("grayReturn"_ns), [weakSelf] {
    auto screen = weakSelf.lock();
    auto navigation = screen ? screen->navigationController() : nullptr;
    if (navigation) navigation->popViewControllerAnimated(true);
  });
  createUI();
}

void PartnerWebLoginController::createUI() {
  const CGSize size = UIScreen::mainScreen()->bounds().size;
  webView_ = UIWebView::initWithFrame(
      CGRectMake(0, 0, std::min(size.width, size.height), std::max(size.width, size.height) - 64));
  webView_->setDelegate(webSelf());
  view()->addSubview(webView_);
  if (request_) webView_->loadRequest(request_);
}

void PartnerWebLoginController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  if (auto navigation = navigationController()) navigation->navigationBar()->setBarStyle(UIBarStyleDefault);
  configWhiteNavigationBarStyle(controllerSelf());
  StatAgent::beginLogPageView(NSString::stringWithUTF8String(partner_.page));
}

void PartnerWebLoginController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView(NSString::stringWithUTF8String(partner_.page));
}

void PartnerWebLoginController::webViewDidFinishLoad(const std::shared_ptr<UIWebView>&) { refreshData(); }

void PartnerWebLoginController::refreshData() {
  auto cookies = NSHTTPCookieStorage::sharedHTTPCookieStorage()->cookiesForURL(
      NSURL::URLWithString(NSString::stringWithUTF8String(serviceRoot() + "/")));
  for (NSUInteger i = 0; cookies && i < cookies->count(); ++i) {
    auto cookie = std::dynamic_pointer_cast<NSHTTPCookie>(cookies->objectAtIndex(i));
    if (cookie && cookie->name()->isEqualToString("webId"_ns)) partnerId_ = cookie->value();
  }
  if (!partnerId_ || partnerId_->length() == 0 || loginPending_ || loggedIn_) return;
  loginPending_ = true;
  auto parameters = NSDictionary::make(
      {{"web"_ns, NSString::stringWithUTF8String(partner_.web)}, {"webId"_ns, partnerId_}});
  // The completion keeps the screen until the reply has come.
  auto screen = webSelf();
  ZVTAPIClient::loginThirdWith(parameters, [screen](const std::shared_ptr<NSDictionary>& loginInfo,
                                                    const std::shared_ptr<NSError>&) {
    screen->loginPending_ = false;
    if (!loginInfo) return;  // refused: the page stays, nothing is shown
    screen->loggedIn_ = true;
    auto first = std::dynamic_pointer_cast<NSNumber>(loginInfo->objectForKey("first"_ns));
    if (first && first->integerValue() == 1) {
      screen->pushToRegistEmailViewForFirstLogin(loginInfo);
    } else {
      screen->dismissViewControllerAnimated(true);
    }
  });
}

void PartnerWebLoginController::pushToRegistEmailViewForFirstLogin(const std::shared_ptr<NSDictionary>& loginInfo) {
  auto binding = zvt::makeScreen("TZBindingViewController");
  auto navigation = navigationController();
  if (!binding || !navigation) return;
  binding->setValueForKey(loginInfo, "userInfo"_ns);
  navigation->pushViewController(binding, true);
}

std::shared_ptr<QQWebViewController> QQWebViewController::make() {
  auto screen = std::make_shared<QQWebViewController>();
  screen->initDatas(zvt::Configuration::oauthRoot(&zvt::ConfigurationValues::qqOAuthRoot) +
                    "/oauth2.0/authorize?response_type=code&client_id=" + kClientId +
                    "&redirect_uri=" + encodedCallback("qqAppLogin") + "&state=" + kState);
  return screen;
}

std::shared_ptr<TaoBaoWebViewLoginController> TaoBaoWebViewLoginController::make() {
  auto screen = std::make_shared<TaoBaoWebViewLoginController>();
  auto values = zvt::Configuration::values();
  screen->initDatas(zvt::Configuration::oauthRoot(&zvt::ConfigurationValues::taobaoOAuthRoot) +
                    "/authorize?response_type=code&client_id=" + values.taobaoOAuthClientId +
                    "&redirect_uri=" + encodedCallback("tbAppLogin") + "&view=wap");
  return screen;
}
