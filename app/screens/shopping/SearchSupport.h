#pragma once
// What the search screens share: query values escaped one by one, the affiliate search page's
// address, the service's search configuration read once per screen, rows read by position, and
// the pages a search opens (made by class name: the web pages are built elsewhere).

#include <functional>
#include <memory>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIViewController.h"

namespace zvt::search {

// The text percent-escaped as one URL query value in UTF-8: everything but letters, digits and
// "-._~" is escaped, so "&", "=", "#", "+" and "%" of a keyword stay inside its value.
std::shared_ptr<NSString> escapedQueryValue(const std::shared_ptr<NSString>& text);

// The configured affiliate search page followed by "pid=…&q=…" and, when `unid` is given,
// "&unid=…", each value escaped on its own (nil values as "").
std::shared_ptr<NSString> affiliateSearchAddress(const std::shared_ptr<NSString>& pid,
                                                 const std::shared_ptr<NSString>& keyword,
                                                 const std::shared_ptr<NSString>& unid);

// A server value as text: a text as it is, a number written out, nil for anything else.
std::shared_ptr<NSString> textOf(const id& value);
// The same, with "" for nil.
std::shared_ptr<NSString> textOrEmpty(const id& value);

// Element `index` of a row that must be an array: nil when the row is no array, "" when the
// element is missing or neither a text nor a number.
std::shared_ptr<NSString> rowText(const id& row, NSUInteger index);

// The service's search configuration as the search screens read it.
struct SearchConfiguration {
  std::shared_ptr<NSString> pid;     // the reply's "pid" text, else the built-in default pid
  std::shared_ptr<NSString> method;  // "search_mothed" as decimal text; "0" when missing; "1" after a failure
};
// GET "api/client.php?m=get_ios_config" without parameters; the completion runs once on the
// main queue with what the screens keep, whether the request succeeded or not.
void fetchSearchConfiguration(std::function<void(const SearchConfiguration& configuration)> completion);

// The user id for "unid": the "id" of the delegate's user record as text, "0" without one.
std::shared_ptr<NSString> userIdOrZero();

// Pushes the affiliate search page (class "SearchResultViewController") with the keyword as
// titleString and the address as urlString; a white view first when asked.
void pushAffiliatePage(const std::shared_ptr<UIViewController>& from, const std::shared_ptr<NSString>& keyword,
                       const std::shared_ptr<NSString>& address, bool whiteBackground);
// Pushes the product page (class "WebDetailViewController") of a mall: goodsId = the mall's id,
// isStorePush YES, titleString = its name.
void pushMallPage(const std::shared_ptr<UIViewController>& from, const std::shared_ptr<NSString>& mallId,
                  const std::shared_ptr<NSString>& name);

// The main screen's shorter and longer sides.
CGFloat screenWidth();
CGFloat screenHeight();

// Registers the nibs of the search screens (TZSearchView, TZSearchTipView, TZChooseRegionView,
// TZSearchResultCell).
void registerSearchNibs();
void registerTaobaoTabNib();
void registerSearchTipNib();
void registerResultNibs();

}  // namespace zvt::search
