#include "app/utilities/ZVTFunction.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <unicode/uregex.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <vector>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/graphics/UIScreen.h"
#include "platform/sysconfig/SCNetworkReachability.h"
#include "platform/uikit/UIApplication.h"

namespace zvt {
namespace {

struct DeviceSettings {
  std::mutex mutex;
  std::string machine;
  std::string macInterface = "en0";
};

DeviceSettings& settings() {
  static DeviceSettings* shared = new DeviceSettings;
  return *shared;
}

// The interface tables of the IP address scan; cleared at every scan.
constexpr size_t kMaxInterfaces = 32;
struct InterfaceTables {
  std::mutex mutex;
  std::vector<std::string> names, addressTexts, hardwareAddresses;
  std::vector<in_addr> addresses;
};

InterfaceTables& interfaceTables() {
  static InterfaceTables* shared = new InterfaceTables;
  return *shared;
}

}  // namespace

std::string hardwareText(const unsigned char* p) {
  char text[18];
  std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", p[0], p[1], p[2], p[3], p[4], p[5]);
  return text;
}

std::shared_ptr<NSString> deviceTypeForMachine(const std::shared_ptr<NSString>& machine) {
  static const std::pair<const char*, const char*> kModels[] = {
      {"iPhone1,1", "iPhone"},        {"iPhone1,2", "iPhone_3G"},      {"iPhone2,1", "iPhone_3GS"},
      {"iPhone3,1", "iPhone_4"},      {"iPhone4,1", "iPhone_4S"},      {"iPhone5,1", "iPhone_5"},
      {"iPhone5,2", "iPhone_5"},      {"iPhone5,3", "iPhone_5C"},      {"iPhone5,4", "iPhone_5C"},
      {"iPhone6,1", "iPhone_5s"},     {"iPhone6,2", "iPhone_5s"},      {"iPhone7,2", "iPhone_6"},
      {"iPhone7,1", "iPhone_6+"},     {"iPod4,1", "iPod_touch_4"},     {"iPad3,2", "iPad_3_3G"},
      {"iPad3,1", "iPad_3_WiFi"},     {"iPad2,2", "iPad_2_3G"},        {"iPad2,1", "iPad_2_WiFi"},
      {"iPod5,1", "iPod_touch_5"},    {"iPad2,5", "iPod_Mini"},
  };
  if (!machine) return nullptr;
  for (const auto& [identifier, name] : kModels) {
    if (machine->utf8() == identifier) return NSString::stringWithUTF8String(name);
  }
  return machine;
}

void setMachineIdentifier(std::string identifier) {
  std::lock_guard lock(settings().mutex);
  settings().machine = std::move(identifier);
}

void setMACInterfaceName(std::string name) {
  std::lock_guard lock(settings().mutex);
  settings().macInterface = name.empty() ? "en0" : std::move(name);
}

NSInteger screenTypeForLongerSide(double points) {
  long side = std::lround(points);
  switch (side) {
    case 480: return 0;
    case 568: return 1;
    case 667: return 2;
    case 736:
    case 640: return 3;
    case 1024: return 4;
    default: return 5;
  }
}

CGRect screenFrameForType(NSInteger type) {
  switch (type) {
    case 0: return CGRectMake(0, 0, 320, 480);
    case 1: return CGRectMake(0, 0, 320, 568);
    case 2: return CGRectMake(0, 0, 375, 667);
    case 3: return CGRectMake(0, 0, 360, 640);
    case 4: return CGRectMake(0, 0, 768, 1024);
    default: return CGRectMake(0, 0, 1024, 1024);
  }
}

CGFloat keyboardHeightForScreenType(NSInteger type, bool portrait) {
  switch (type) {
    case 0:
    case 1: return portrait ? 216 : 162;
    case 2: return portrait ? 254 : 188;
    case 3: return portrait ? 365 : 270;
    case 4: return portrait ? 264 : 352;
    default: return 0;
  }
}

bool matchesWholeText(const std::shared_ptr<NSString>& text, std::string_view pattern) {
  if (!text) return false;
  UErrorCode status = U_ZERO_ERROR;
  UParseError parseError{};
  std::u16string pattern16;
  int32_t length = 0;
  u_strFromUTF8(nullptr, 0, &length, pattern.data(), static_cast<int32_t>(pattern.size()), &status);
  status = U_ZERO_ERROR;
  pattern16.resize(static_cast<size_t>(length));
  u_strFromUTF8(pattern16.data(), length, nullptr, pattern.data(), static_cast<int32_t>(pattern.size()), &status);
  if (U_FAILURE(status)) return false;
  URegularExpression* regex = uregex_open(pattern16.data(), length, 0, &parseError, &status);
  if (U_FAILURE(status)) return false;
  const std::string& utf8 = text->utf8();
  UText* utext = utext_openUTF8(nullptr, utf8.data(), static_cast<int64_t>(utf8.size()), &status);
  bool matched = false;
  if (U_SUCCESS(status)) {
    uregex_setUText(regex, utext, &status);
    // uregex_matches: the pattern must match the whole input, as a MATCHES predicate does.
    matched = U_SUCCESS(status) && uregex_matches(regex, 0, &status) && U_SUCCESS(status);
  }
  uregex_close(regex);
  if (utext) utext_close(utext);
  return matched;
}

}  // namespace zvt

std::shared_ptr<NSString> ZVTFunction::getTimeStamp() {
  // Seconds written with "%f" and cut before the ".": whole milliseconds.
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%f", Clock::now() * 1000.0);
  std::string text = buffer;
  return NSString::stringWithUTF8String(text.substr(0, text.find('.')));
}

std::shared_ptr<NSString> ZVTFunction::getDeviceVersion() {
  {
    std::lock_guard lock(zvt::settings().mutex);
    if (!zvt::settings().machine.empty()) return NSString::stringWithUTF8String(zvt::settings().machine);
  }
  if (const char* env = std::getenv("ZVT_HW_MACHINE"); env && *env) return NSString::stringWithUTF8String(env);
  struct utsname name {};
  if (uname(&name) != 0) return nullptr;
  return NSString::stringWithUTF8String(name.machine);
}

std::shared_ptr<NSString> ZVTFunction::getDeviceType() { return zvt::deviceTypeForMachine(getDeviceVersion()); }

std::shared_ptr<NSString> ZVTFunction::getMacaddress() {
  std::string interface;
  {
    std::lock_guard lock(zvt::settings().mutex);
    interface = zvt::settings().macInterface;
  }
  if (if_nametoindex(interface.c_str()) == 0) {
    std::printf("Error: if_nametoindex error/n");
    std::fflush(stdout);
    return nullptr;
  }
  struct ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) {
    std::printf("Error: sysctl, take 1/n");
    std::fflush(stdout);
    return nullptr;
  }
  std::shared_ptr<NSString> result;
  for (auto* entry = list; entry; entry = entry->ifa_next) {
    if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_PACKET || interface != entry->ifa_name) continue;
    const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
    if (link->sll_halen < 6) continue;
    const unsigned char* p = link->sll_addr;
    result = NSString::stringWithUTF8String(zvt::hardwareText(p));
    break;
  }
  freeifaddrs(list);
  if (!result) {
    std::printf("Error: sysctl, take 2");
    std::fflush(stdout);
  }
  return result;
}

std::shared_ptr<NSString> ZVTFunction::getUUID() {
  thread_local std::mt19937_64 generator{std::random_device{}()};
  unsigned char bytes[16];
  for (size_t i = 0; i < sizeof bytes; i += 8) {
    uint64_t word = generator();
    std::memcpy(bytes + i, &word, 8);
  }
  bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0f) | 0x40);  // version 4
  bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3f) | 0x80);  // RFC 4122 variant
  std::string text;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back('-');
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned>(bytes[i]));
    text += pair;
  }
  return NSString::stringWithUTF8String(text);
}

std::shared_ptr<NSString> ZVTFunction::getIPAddress() {
  auto& tables = zvt::interfaceTables();
  std::lock_guard lock(tables.mutex);
  tables.names.clear();
  tables.addressTexts.clear();
  tables.hardwareAddresses.clear();
  tables.addresses.clear();

  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    std::perror("socket failed");
    return nullptr;
  }
  alignas(struct ifreq) char buffer[4000];
  struct ifconf conf {};
  conf.ifc_len = sizeof buffer;
  conf.ifc_buf = buffer;
  if (ioctl(fd, SIOCGIFCONF, &conf) < 0) {
    std::perror("ioctl error");
    ::close(fd);
    return nullptr;
  }
  std::string previous;
  size_t count = static_cast<size_t>(conf.ifc_len) / sizeof(struct ifreq);
  auto* requests = reinterpret_cast<struct ifreq*>(buffer);
  for (size_t i = 0; i < count && tables.names.size() < zvt::kMaxInterfaces; ++i) {
    struct ifreq& request = requests[i];
    if (request.ifr_addr.sa_family != AF_INET) continue;
    std::string name(request.ifr_name, strnlen(request.ifr_name, IFNAMSIZ));
    if (auto colon = name.find(':'); colon != std::string::npos) name.resize(colon);  // aliases
    if (name == previous) continue;
    previous = name;
    struct ifreq flags {};
    std::memcpy(flags.ifr_name, request.ifr_name, IFNAMSIZ);
    if (ioctl(fd, SIOCGIFFLAGS, &flags) < 0 || !(flags.ifr_flags & IFF_UP)) continue;
    in_addr address = reinterpret_cast<const sockaddr_in*>(&request.ifr_addr)->sin_addr;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    tables.names.push_back(name);
    tables.addressTexts.push_back(text);
    tables.addresses.push_back(address);
    tables.hardwareAddresses.emplace_back();
  }
  // The link-level addresses of the recorded interfaces.
  for (size_t i = 0; i < tables.names.size(); ++i) {
    struct ifreq request {};
    std::strncpy(request.ifr_name, tables.names[i].c_str(), IFNAMSIZ - 1);
    if (ioctl(fd, SIOCGIFHWADDR, &request) < 0 || !tables.hardwareAddresses[i].empty()) continue;
    const auto* p = reinterpret_cast<const unsigned char*>(request.ifr_hwaddr.sa_data);
    tables.hardwareAddresses[i] = zvt::hardwareText(p);
  }
  ::close(fd);
  // Fewer than two interfaces up: no address (never the text "(null)" a nil C string prints as).
  if (tables.addressTexts.size() < 2) return nullptr;
  return NSString::stringWithUTF8String(tables.addressTexts[1]);
}

NSInteger ZVTFunction::getCurrentScreenType() {
  CGRect bounds = UIScreen::mainScreen()->bounds();
  return zvt::screenTypeForLongerSide(std::max(bounds.size.width, bounds.size.height));
}

CGRect ZVTFunction::getCurrentScreenFrame() { return zvt::screenFrameForType(getCurrentScreenType()); }

bool ZVTFunction::connectedToNetWork() {
  sockaddr_in zeroAddress{};
  zeroAddress.sin_family = AF_INET;
  auto target = SCNetworkReachabilityCreateWithAddress(reinterpret_cast<const sockaddr*>(&zeroAddress));
  SCNetworkReachabilityFlags flags = 0;
  if (!target || !SCNetworkReachabilityGetFlags(target, &flags)) {
    std::printf("Error.Count not recover network reachability flags\n");
    std::fflush(stdout);
    return false;
  }
  const bool reachable = flags & kSCNetworkReachabilityFlagsReachable;
  const bool needsConnection = flags & kSCNetworkReachabilityFlagsConnectionRequired;
  return reachable && !needsConnection;
}

CGFloat ZVTFunction::heightFromKeyboard() {
  const UIInterfaceOrientation orientation = UIApplication::sharedApplication()->statusBarOrientation();
  const bool portrait =
      orientation == UIInterfaceOrientationPortrait || orientation == UIInterfaceOrientationPortraitUpsideDown;
  return zvt::keyboardHeightForScreenType(getCurrentScreenType(), portrait);
}

std::shared_ptr<NSString> ZVTFunction::getTimeDate() {
  auto formatter = NSDateFormatter::make();
  formatter->setDateFormat("yyyy-MM-dd_HH:mm"_ns);
  return formatter->stringFromDate(NSDate::date());
}

std::shared_ptr<NSDictionary> ZVTFunction::getProjectInfoPlist() { return NSBundle::mainBundle()->infoDictionary(); }

bool ZVTFunction::validateEmail(const std::shared_ptr<NSString>& email) {
  return zvt::matchesWholeText(email, "[A-Z0-9a-z._%+-]+@[A-Za-z0-9.-]+\\.[A-Za-z]{2,4}");
}

bool ZVTFunction::validateMobile(const std::shared_ptr<NSString>& mobile) {
  return zvt::matchesWholeText(mobile, "^1[3458][0-9]\\d{8}$");
}

bool ZVTFunction::validateUserName(const std::shared_ptr<NSString>& name) {
  return zvt::matchesWholeText(name, "^[A-Za-z0-9]{6,20}+$");
}

bool ZVTFunction::validatePassword(const std::shared_ptr<NSString>& passWord) {
  return zvt::matchesWholeText(passWord, "^[a-zA-Z0-9]{6,20}+$");
}

bool ZVTFunction::validateNickname(const std::shared_ptr<NSString>& nickname) {
  return zvt::matchesWholeText(nickname, "^[一-龥]{3,8}$");
}

bool ZVTFunction::validateQQNumber(const std::shared_ptr<NSString>& number) {
  return zvt::matchesWholeText(number, "[1-9][0-9]{4,11}");
}
