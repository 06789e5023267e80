#include "app/screens/rewards/TZWebWallViewController.h"

#include <cctype>

#include "analytics/StatAgent.h"
#include "app/core/AppDelegate.h"
#include "app/core/Configuration.h"
#include "app/screens/rewards/HelpViewController.h"
#include "app/screens/rewards/RewardsScreenParts.h"
#include "app/ui/UIKitCategories.h"
#include "app/ui/UIViewController+NavItem.h"
#include "app/utilities/NSData+Base64.h"
#include "app/utilities/ZVTPublicTools.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UINavigationController.h"

namespace {

// The logged-in user's id as text, or "" when nobody is logged in.
std::string loggedInUserId() {
  auto delegate = AppDelegate::shared();
  if (!delegate || !delegate->isLogin() || !delegate->userInfoDictionary()) return "";
  id value = delegate->userInfoDictionary()->objectForKey("id"_ns);
  if (auto text = zvt::as<NSString>(value)) return text->utf8();
  if (auto number = zvt::as<NSNumber>(value)) return number->stringValue()->utf8();
  return "";
}

std::shared_ptr<NSData> bytesOf(const std::string& text) { return NSData::dataWithBytes(text.data(), text.size()); }

}  // namespace

std::string TZWebWallViewController::urlencode(const std::string& text) {
  static const char* const hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

TZWebWallViewController::TZWebWallViewController() {
  // A token without a user would name nobody: the wall then loads nothing.
  const std::string user = loggedInUserId();
  if (user.empty()) return;
  const std::string userBase64 = base64EncodedString(bytesOf(user))->utf8();
  const std::string emptyBase64 = base64EncodedString(NSData::data())->utf8();
  const std::string plain = ZVTPublicTools::getTheRandomStringWithTheCharNumber(16)->utf8() + userBase64 + "&" + emptyBase64;
  auto cipher = AES128EncryptWithKey(bytesOf(plain), NSString::stringWithUTF8String(kWallKey));
  if (!cipher) return;
  const std::string token = std::string(kPublisherId) + base64EncodedString(cipher)->utf8();
  webWallUrl_ = NSURL::URLWithString(
      NSString::stringWithUTF8String(zvt::Configuration::offerWallPageURLString()->utf8() + "mt=1&ht=0&r=" + urlencode(token)));
}

void TZWebWallViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  setTitle("Kirvo任务"_ns);
  zvt::rewards::hideTabbar();
  zvt::rewards::configPopItem(controllerSelf());

  const auto accent = zvt::actionColor();
  rulesButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
  rulesButton_->setFrame(CGRectMake(0, 0, 58, 25));
  rulesButton_->setTitle("规则"_ns, UIControlStateNormal);
  rulesButton_->titleLabel()->setFont(UIFont::systemFontOfSize(15));
  rulesButton_->setTitleColor(accent, UIControlStateNormal);
  configLayerWithBorderWidth(rulesButton_, 1.0, 2.0, accent);
  rulesButton_->addTarget(self(), &TZWebWallViewController::buttonClick, UIControlEventTouchUpInside);
  navigationItem()->setRightBarButtonItem(UIBarButtonItem::initWithCustomView(rulesButton_));

  webView_ = UIWebView::initWithFrame(CGRectMake(0, 0, zvt::rewards::shorterSide(), zvt::rewards::longerSide() - 15));
  webView_->setDelegate(std::static_pointer_cast<TZWebWallViewController>(controllerSelf()));
  view()->addSubview(webView_);
  if (webWallUrl_) webView_->loadRequest(NSURLRequest::requestWithURL(webWallUrl_));
}

void TZWebWallViewController::buttonClick(const std::shared_ptr<UIButton>&) {
  auto rules = TZHelpDetailViewController::make();
  rules->helpTitle = "赚积分规则"_ns;
  rules->helpUrl = zvt::Configuration::URLStringWithPath("/wap/help-ios-ads.html");
  if (auto navigation = navigationController()) navigation->pushViewController(rules, true);
}

void TZWebWallViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  zvt::rewards::whiteBar(controllerSelf());
  StatAgent::beginLogPageView("赚积分"_ns);
}

void TZWebWallViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  configDefaultNavigationBarStyle(controllerSelf());
  StatAgent::endLogPageView("赚积分"_ns);
}
