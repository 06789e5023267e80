#pragma once
// Tools of the screens and the session code that need no screen of their own: the site cookie
// in the shared cookie store, random strings, and the hand-over of the welcome red packet to
// the current screen. All on the main thread.
//
// The cookie dictionary is the session's cookieDic: "var" (name), "value", "domain"; the
// cookie made from it always has the path "/" and version "0".

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSString.h"
#include "platform/network/NSHTTPCookie.h"

class ZVTPublicTools : public NSObject {
 public:
  // nil for a nil dictionary or one the cookie cannot be made from.
  static std::shared_ptr<NSHTTPCookie> getCookieWith(const std::shared_ptr<NSDictionary>& cookieDic);
  static void setCookieWith(const std::shared_ptr<NSDictionary>& cookieDic);
  // Deletes the cookie of the dictionary (same name, domain and path).
  static void deleteCookieWith(const std::shared_ptr<NSDictionary>& cookieDic);
  // Deletes every cookie the store holds for the URL.
  static void deleteCookiewith(const std::shared_ptr<NSString>& urlString);

  // n characters of "0"-"9", "A"-"Z", "a"-"z" (each equally likely); "" for n < 1.
  static std::shared_ptr<NSString> getTheRandomStringWithTheCharNumber(NSInteger n);
  // n decimal digits; "" for n < 1.
  static std::shared_ptr<NSString> getTheRandomStringWithTheNumber(NSInteger n);

  // The top screen of the selected tab. Screens are not part of this layer: until the
  // interface layer installs its answer (zvt::setCurrentViewControllerProvider) this is nil.
  static id getCurrentVC();
};

// -[UIViewController(showRedpacket) showRedpacket:] as a free function: the red-packet view
// over `controller` with the reward text. It draws through the presenter the interface layer
// installs; without one the text is only recorded (zvt::shownRedpackets).
void showRedpacket(const id& controller, const std::shared_ptr<NSString>& text);

namespace zvt {

void setCurrentViewControllerProvider(std::function<id()> provider);
void setRedpacketPresenter(std::function<void(const id& controller, const std::shared_ptr<NSString>& text)> presenter);
// The newest texts handed to showRedpacket while no presenter was installed (at most
// kRecordedRedpacketLimit), oldest first.
inline constexpr size_t kRecordedRedpacketLimit = 32;
std::vector<std::string> shownRedpackets();
void clearShownRedpackets();

}  // namespace zvt
