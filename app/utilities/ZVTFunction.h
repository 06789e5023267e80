#pragma once
// Device and environment facts and the input validators of the account forms.
//
// The machine identifier is the device's model code ("iPhone7,2"); on this platform it is
// what zvt::setMachineIdentifier or $ZVT_HW_MACHINE says, else the kernel's machine name.
// The MAC address is read from the interface named by zvt::setMACInterfaceName (default
// "en0", the device's Wi-Fi); the IP address scan reads the real interfaces.
//
// Validators match the whole text against an ICU regular expression; nil never matches.

#include <memory>
#include <string>

#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSString.h"

class ZVTFunction : public NSObject {
 public:
  // Whole milliseconds since 1970, as text.
  static std::shared_ptr<NSString> getTimeStamp();
  static std::shared_ptr<NSString> getDeviceVersion();
  // The model name of the machine identifier ("iPhone_6"), or the identifier itself.
  static std::shared_ptr<NSString> getDeviceType();
  // "AA:BB:CC:DD:EE:FF", or nil with a line on standard output.
  static std::shared_ptr<NSString> getMacaddress();
  // A new upper-case UUID text at every call.
  static std::shared_ptr<NSString> getUUID();
  // The IPv4 address of the second interface that is up; nil with fewer than two or when the
  // interfaces cannot be listed.
  static std::shared_ptr<NSString> getIPAddress();
  // 0-5 by the longer side of the main screen in points.
  static NSInteger getCurrentScreenType();
  static CGRect getCurrentScreenFrame();
  // The current local time, "yyyy-MM-dd_HH:mm".
  // YES when the network is reachable without a connection being set up first (the default
  // route's flags); NO with a line on standard output when the flags cannot be read.
  static bool connectedToNetWork();
  static std::shared_ptr<NSString> getTimeDate();
  static std::shared_ptr<NSDictionary> getProjectInfoPlist();
  // The keyboard's height in points for the screen class and the status bar's orientation
  // (portrait or upside down, else landscape); 0 for screens of no known class.
  static CGFloat heightFromKeyboard();

  static bool validateEmail(const std::shared_ptr<NSString>& email);
  static bool validateMobile(const std::shared_ptr<NSString>& mobile);
  static bool validateUserName(const std::shared_ptr<NSString>& name);
  static bool validatePassword(const std::shared_ptr<NSString>& passWord);
  static bool validateNickname(const std::shared_ptr<NSString>& nickname);
  static bool validateQQNumber(const std::shared_ptr<NSString>& number);
};

namespace zvt {

// The machine-identifier table of getDeviceType (identifier -> model name).
std::shared_ptr<NSString> deviceTypeForMachine(const std::shared_ptr<NSString>& machine);
// "" restores the default (environment, then the kernel's machine name).
void setMachineIdentifier(std::string identifier);
void setMACInterfaceName(std::string name);
// Screen class of a longer side in points: 480 -> 0, 568 -> 1, 667 -> 2, 736 or 640 -> 3,
// 1024 -> 4, other -> 5.
NSInteger screenTypeForLongerSide(double points);
CGRect screenFrameForType(NSInteger type);
// The keyboard height of heightFromKeyboard for a screen class and orientation.
CGFloat keyboardHeightForScreenType(NSInteger type, bool portrait);
// Whole-text match of an ICU pattern; NO for nil text or a bad pattern.
bool matchesWholeText(const std::shared_ptr<NSString>& text, std::string_view pattern);

}  // namespace zvt
