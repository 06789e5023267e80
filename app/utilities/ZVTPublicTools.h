#pragma once
// Tools of the screens and the session code: the site cookie in the shared cookie store, random
// strings, label sizing, the back bar item, the current screen, the notification sound, one-point
// colour images, the ask-for-review prompt, and the hand-over of the welcome red packet to the
// current screen. All on the main thread.
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

class UILabel;
class UIViewController;
class UIImage;
class UIColor;

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

  // The top screen of the selected tab: the last controller of the selected navigation stack
  // of the delegate's shell (the launch installs that answer with
  // zvt::setCurrentViewControllerProvider; nil before).
  static id getCurrentVC();

  // Makes the label multi-line (word wrapping) and sizes its frame to its text within the
  // width, origin kept.
  static void getSizeByLabel(const std::shared_ptr<UILabel>& label, NSInteger width);
  // The controller's back item: the title ("" for nil) over the named image ("" for nil) as the
  // back-button background; the navigation bar in the default style with a white tint.
  static void createBackItemWithTitle(const std::shared_ptr<NSString>& title, const std::shared_ptr<NSString>& imageName,
                                      const std::shared_ptr<UIViewController>& controller);
  // Plays the bundle's "sound.wav" as a system sound, or vibrates when the file is missing.
  static void playSound();
  // A 1 x 1 point image of the colour.
  static std::shared_ptr<UIImage> imageWithColor(const std::shared_ptr<UIColor>& color);

  // The review prompt over the delegate's evaluateDic ("open", "tips", "timeInterval") and the
  // user defaults "isHaveEvaluated", "saveDate", "saveTime": gotoComment schedules the alert
  // (a one-shot timer of 0 s on the run loop's clock) when it is due; timerFired shows it
  // (the message is the timer's user info, here its argument); saveTime stores the next date
  // (now + days) and clears the settings for this run.
  static void gotoComment();
  static void timerFired(const std::shared_ptr<NSString>& userInfo);
  static void saveTime(const std::shared_ptr<NSString>& days);
  // The App Store review page of this application ("itms-apps", the configured host and store
  // identifier): what the review prompt and the settings' "去评价" open.
  static std::shared_ptr<NSURL> reviewPageURL();
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
