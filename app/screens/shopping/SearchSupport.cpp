#include "app/screens/shopping/SearchSupport.h"

#include <algorithm>

#include "app/api/APIClient.h"
#include "app/core/AppDelegate.h"
#include "app/core/Configuration.h"
#include "app/ui/ScreenRegistry.h"
#include "platform/foundation/NSCharacterSet.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSNumber.h"
#include "platform/graphics/UIColor.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UINavigationController.h"

using zvt::as;

namespace zvt::search {

std::shared_ptr<NSString> escapedQueryValue(const std::shared_ptr<NSString>& text) {
  if (!text) return NSString::string();
  static const auto allowed = NSCharacterSet::characterSetWithCharactersInString(
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~"_ns);
  auto escaped = text->stringByAddingPercentEncodingWithAllowedCharacters(allowed);
  return escaped ? escaped : NSString::string();
}

std::shared_ptr<NSString> affiliateSearchAddress(const std::shared_ptr<NSString>& pid,
                                                 const std::shared_ptr<NSString>& keyword,
                                                 const std::shared_ptr<NSString>& unid) {
  auto address = NSString::stringWithFormat("%@pid=%@&q=%@", Configuration::affiliateSearchURLString(),
                                            escapedQueryValue(pid), escapedQueryValue(keyword));
  if (!unid) return address;
  return NSString::stringWithFormat("%@&unid=%@", address, escapedQueryValue(unid));
}

std::shared_ptr<NSString> textOf(const id& value) {
  if (auto text = as<NSString>(value)) return text;
  if (auto number = as<NSNumber>(value)) return number->stringValue();
  return nullptr;
}

std::shared_ptr<NSString> textOrEmpty(const id& value) {
  auto text = textOf(value);
  return text ? text : NSString::string();
}

std::shared_ptr<NSString> rowText(const id& row, NSUInteger index) {
  auto array = as<NSArray>(row);
  if (!array) return nullptr;
  return index < array->count() ? textOrEmpty(array->objectAtIndex(index)) : NSString::string();
}

void fetchSearchConfiguration(std::function<void(const SearchConfiguration& configuration)> completion) {
  APIClient::GET("api/client.php?m=get_ios_config"_ns, nullptr,
                 [completion = std::move(completion)](bool success, const id& result, const std::shared_ptr<NSError>&) {
                   SearchConfiguration configuration;
                   auto reply = as<NSDictionary>(result);
                   if (success && reply) {
                     // A value of the wrong kind counts as absent.
                     configuration.pid = as<NSString>(reply->objectForKey("pid"_ns));
                     id method = reply->objectForKey("search_mothed"_ns);
                     NSInteger code = 0;
                     if (auto number = as<NSNumber>(method)) code = number->intValue();
                     if (auto text = as<NSString>(method)) code = text->intValue();
                     configuration.method = NSString::stringWithFormat("%d", static_cast<int>(code));
                   } else {
                     configuration.method = "1"_ns;
                   }
                   if (!configuration.pid) configuration.pid = Configuration::defaultAffiliatePid();
                   if (completion) completion(configuration);
                 });
}

std::shared_ptr<NSString> userIdOrZero() {
  auto delegate = AppDelegate::shared();
  auto record = delegate ? delegate->userInfoDictionary() : nullptr;
  auto id_ = record ? textOf(record->objectForKey("id"_ns)) : nullptr;
  return id_ ? id_ : "0"_ns;
}

void pushAffiliatePage(const std::shared_ptr<UIViewController>& from, const std::shared_ptr<NSString>& keyword,
                       const std::shared_ptr<NSString>& address, bool whiteBackground) {
  auto navigation = from ? from->navigationController() : nullptr;
  auto page = makeScreen("SearchResultViewController");
  if (!navigation || !page) return;
  page->setValueForKey(keyword ? keyword : NSString::string(), "titleString"_ns);
  page->setValueForKey(address, "urlString"_ns);
  if (whiteBackground) page->view()->setBackgroundColor(UIColor::whiteColor());
  navigation->pushViewController(page, true);
}

void pushMallPage(const std::shared_ptr<UIViewController>& from, const std::shared_ptr<NSString>& mallId,
                  const std::shared_ptr<NSString>& name) {
  auto navigation = from ? from->navigationController() : nullptr;
  auto page = makeScreen("WebDetailViewController");
  if (!navigation || !page) return;
  page->setValueForKey(mallId ? mallId : NSString::string(), "goodsId"_ns);
  page->setValueForKey(NSNumber::numberWithBool(true), "isStorePush"_ns);
  page->setValueForKey(name ? name : NSString::string(), "titleString"_ns);
  navigation->pushViewController(page, true);
}

void registerSearchNibs() {
  registerTaobaoTabNib();
  registerSearchTipNib();
  registerResultNibs();
}

CGFloat screenWidth() {
  CGSize size = UIScreen::mainScreen()->bounds().size;
  return std::min(size.width, size.height);
}

CGFloat screenHeight() {
  CGSize size = UIScreen::mainScreen()->bounds().size;
  return std::max(size.width, size.height);
}

}  // namespace zvt::search
