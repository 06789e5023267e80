#include "app/utilities/ZVTPublicTools.h"

#include <mutex>
#include <random>

#include "platform/foundation/NSArray.h"
#include "platform/network/NSURL.h"

namespace {

struct UIHooks {
  std::mutex mutex;
  std::function<id()> currentViewController;
  std::function<void(const id&, const std::shared_ptr<NSString>&)> redpacketPresenter;
  std::vector<std::string> recordedRedpackets;
};

UIHooks& uiHooks() {
  static UIHooks* hooks = new UIHooks;
  return *hooks;
}

std::shared_ptr<NSString> randomString(NSInteger n, std::string_view table) {
  if (n < 1) return NSString::string();
  thread_local std::mt19937 generator{std::random_device{}()};
  std::uniform_int_distribution<size_t> index(0, table.size() - 1);
  std::string text;
  text.reserve(static_cast<size_t>(n));
  for (NSInteger i = 0; i < n; ++i) text.push_back(table[index(generator)]);
  return NSString::stringWithUTF8String(text);
}

}  // namespace

std::shared_ptr<NSHTTPCookie> ZVTPublicTools::getCookieWith(const std::shared_ptr<NSDictionary>& cookieDic) {
  if (!cookieDic) return nullptr;
  auto properties = NSMutableDictionary::dictionary();
  auto put = [&](const char* from, const std::shared_ptr<NSString>& to) {
    if (id value = cookieDic->objectForKey(NSString::stringWithUTF8String(from))) {
      properties->setObject(NSString::stringWithFormat("%@", value), to);
    }
  };
  put("var", NSHTTPCookieName);
  put("value", NSHTTPCookieValue);
  put("domain", NSHTTPCookieDomain);
  properties->setObject("/"_ns, NSHTTPCookiePath);
  properties->setObject("0"_ns, NSHTTPCookieVersion);
  return NSHTTPCookie::cookieWithProperties(properties);
}

void ZVTPublicTools::setCookieWith(const std::shared_ptr<NSDictionary>& cookieDic) {
  if (auto cookie = getCookieWith(cookieDic)) NSHTTPCookieStorage::sharedHTTPCookieStorage()->setCookie(cookie);
}

void ZVTPublicTools::deleteCookieWith(const std::shared_ptr<NSDictionary>& cookieDic) {
  if (auto cookie = getCookieWith(cookieDic)) NSHTTPCookieStorage::sharedHTTPCookieStorage()->deleteCookie(cookie);
}

void ZVTPublicTools::deleteCookiewith(const std::shared_ptr<NSString>& urlString) {
  if (!urlString) return;
  auto url = NSURL::URLWithString(urlString);
  if (!url) return;
  auto storage = NSHTTPCookieStorage::sharedHTTPCookieStorage();
  auto cookies = storage->cookiesForURL(url);
  if (!cookies) return;
  for (const id& cookie : *cookies) storage->deleteCookie(std::static_pointer_cast<NSHTTPCookie>(cookie));
}

std::shared_ptr<NSString> ZVTPublicTools::getTheRandomStringWithTheCharNumber(NSInteger n) {
  return randomString(n, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
}

std::shared_ptr<NSString> ZVTPublicTools::getTheRandomStringWithTheNumber(NSInteger n) {
  return randomString(n, "0123456789");
}

id ZVTPublicTools::getCurrentVC() {
  std::function<id()> provider;
  {
    std::lock_guard lock(uiHooks().mutex);
    provider = uiHooks().currentViewController;
  }
  return provider ? provider() : nullptr;
}

void showRedpacket(const id& controller, const std::shared_ptr<NSString>& text) {
  std::function<void(const id&, const std::shared_ptr<NSString>&)> presenter;
  {
    std::lock_guard lock(uiHooks().mutex);
    presenter = uiHooks().redpacketPresenter;
    if (!presenter) {
      auto& recorded = uiHooks().recordedRedpackets;
      if (recorded.size() >= zvt::kRecordedRedpacketLimit) recorded.erase(recorded.begin());
      recorded.push_back(text ? text->utf8() : "");
    }
  }
  if (presenter) presenter(controller, text);
}

namespace zvt {

void setCurrentViewControllerProvider(std::function<id()> provider) {
  std::lock_guard lock(uiHooks().mutex);
  uiHooks().currentViewController = std::move(provider);
}

void setRedpacketPresenter(std::function<void(const id&, const std::shared_ptr<NSString>&)> presenter) {
  std::lock_guard lock(uiHooks().mutex);
  uiHooks().redpacketPresenter = std::move(presenter);
}

std::vector<std::string> shownRedpackets() {
  std::lock_guard lock(uiHooks().mutex);
  return uiHooks().recordedRedpackets;
}

void clearShownRedpackets() {
  std::lock_guard lock(uiHooks().mutex);
  uiHooks().recordedRedpackets.clear();
}

}  // namespace zvt
