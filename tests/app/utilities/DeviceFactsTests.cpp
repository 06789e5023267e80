// Validators as tables, the model and screen tables, and the device facts read from the real
// interfaces.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>
#include <set>

#include "app/utilities/ZVTFunction.h"
#include "platform/foundation/Foundation.h"
#include "platform/graphics/UIScreen.h"
#include "platform/sysconfig/FakeReachabilitySource.h"
#include "platform/uikit/UIApplication.h"
#include "tests/support/MainLoop.h"

namespace {

struct Case {
  const char* text;
  bool valid;
};

void expectTable(bool (*validator)(const std::shared_ptr<NSString>&), std::initializer_list<Case> cases) {
  for (const auto& c : cases) {
    EXPECT_EQ(validator(NSString::stringWithUTF8String(c.text)), c.valid) << '"' << c.text << '"';
  }
  EXPECT_FALSE(validator(nullptr));
}

TEST(ValidatorTest, Mobile) {
  expectTable(&ZVTFunction::validateMobile, {
      {"13800138000", true}, {"14712345678", true}, {"15012345678", true}, {"18912345678", true},
      {"16012345678", false},   // 16 is not a mobile prefix here
      {"1|012345678", false},   // the bracket does not admit "|"
      {"138001380001", false},  // 12 digits
      {"1380013800", false}, {"23800138000", false}, {" 13800138000", false}, {"", false},
      {"1380013800a", false},
  });
}

TEST(ValidatorTest, QQNumber) {
  expectTable(&ZVTFunction::validateQQNumber, {
      {"10001", true}, {"123456789012", true}, {"1234", false}, {"1234567890123", false},
      {"012345", false}, {"12345a", false},
  });
}

TEST(ValidatorTest, Email) {
  expectTable(&ZVTFunction::validateEmail, {
      {"zvttest@example.com", true}, {"a.b%c+d-e@mail.example.cn", true}, {"x@y.info", true},
      {"x@y.museum", false}, {"x@y.c", false}, {"no-at.example.com", false}, {"a@b@c.com", false},
      {"a b@c.com", false}, {"zvttest@example.com ", false},
  });
}

TEST(ValidatorTest, NicknameInTheCJKRange) {
  expectTable(&ZVTFunction::validateNickname, {
      {"张小三", true}, {"一二三四五六七八", true}, {"龥一丁", true},
      {"张三", false}, {"一二三四五六七八九", false}, {"张小3", false}, {"abc", false},
      {"张小ａ", false}, {"𠀀张三", false},  // outside U+4E00..U+9FA5
  });
}

TEST(ValidatorTest, UserNameAndPassword) {
  for (auto validator : {&ZVTFunction::validateUserName, &ZVTFunction::validatePassword}) {
    expectTable(validator, {
        {"zvttest", true}, {"abc123", true}, {"A1b2C3d4E5f6G7h8I9j0", true},
        {"abc12", false}, {"A1b2C3d4E5f6G7h8I9j0k", false}, {"abc_123", false}, {"张三abcdef", false},
    });
  }
}

TEST(DeviceTableTest, ModelNamesAndScreens) {
  EXPECT_EQ(zvt::deviceTypeForMachine("iPhone7,2"_ns)->utf8(), "iPhone_6");
  EXPECT_EQ(zvt::deviceTypeForMachine("iPhone5,4"_ns)->utf8(), "iPhone_5C");
  EXPECT_EQ(zvt::deviceTypeForMachine("iPad2,5"_ns)->utf8(), "iPod_Mini");
  EXPECT_EQ(zvt::deviceTypeForMachine("x86_64"_ns)->utf8(), "x86_64");

  zvt::setMachineIdentifier("iPhone7,1");
  EXPECT_EQ(ZVTFunction::getDeviceVersion()->utf8(), "iPhone7,1");
  EXPECT_EQ(ZVTFunction::getDeviceType()->utf8(), "iPhone_6+");
  zvt::setMachineIdentifier("");
  EXPECT_GT(ZVTFunction::getDeviceVersion()->length(), 0u);

  EXPECT_EQ(zvt::screenTypeForLongerSide(480), 0);
  EXPECT_EQ(zvt::screenTypeForLongerSide(568), 1);
  EXPECT_EQ(zvt::screenTypeForLongerSide(667), 2);
  EXPECT_EQ(zvt::screenTypeForLongerSide(736), 3);
  EXPECT_EQ(zvt::screenTypeForLongerSide(640), 3);
  EXPECT_EQ(zvt::screenTypeForLongerSide(1024), 4);
  EXPECT_EQ(zvt::screenTypeForLongerSide(812), 5);
  EXPECT_EQ(zvt::screenFrameForType(3), CGRectMake(0, 0, 360, 640));
  EXPECT_EQ(zvt::screenFrameForType(5), CGRectMake(0, 0, 1024, 1024));

  auto screen = UIScreen::mainScreen();
  CGRect saved = screen->bounds();
  screen->setBounds(CGRectMake(0, 0, 414, 736));
  EXPECT_EQ(ZVTFunction::getCurrentScreenType(), 3);
  EXPECT_EQ(ZVTFunction::getCurrentScreenFrame(), CGRectMake(0, 0, 360, 640));
  screen->setBounds(saved);
}

TEST(DeviceFactsTest, KeyboardHeightByScreenAndOrientation) {
  const struct {
    double width, height;
    UIInterfaceOrientation orientation;
    CGFloat keyboard;
  } cases[] = {
      {320, 480, UIInterfaceOrientationPortrait, 216},        {320, 568, UIInterfaceOrientationLandscapeLeft, 162},
      {375, 667, UIInterfaceOrientationPortrait, 254},        {375, 667, UIInterfaceOrientationLandscapeRight, 188},
      {414, 736, UIInterfaceOrientationPortraitUpsideDown, 365}, {360, 640, UIInterfaceOrientationLandscapeLeft, 270},
      {768, 1024, UIInterfaceOrientationPortrait, 264},       {1024, 768, UIInterfaceOrientationLandscapeLeft, 352},
      {375, 812, UIInterfaceOrientationPortrait, 0},          {375, 812, UIInterfaceOrientationLandscapeLeft, 0},
      // An orientation not yet known counts as landscape.
      {375, 667, UIInterfaceOrientationUnknown, 188},
  };
  auto screen = UIScreen::mainScreen();
  auto application = UIApplication::sharedApplication();
  const CGRect saved = screen->bounds();
  for (const auto& c : cases) {
    screen->setBounds(CGRectMake(0, 0, c.width, c.height));
    application->setStatusBarOrientation(c.orientation);
    EXPECT_EQ(ZVTFunction::heightFromKeyboard(), c.keyboard) << c.width << " x " << c.height << ", " << c.orientation;
  }
  screen->setBounds(saved);
  application->setStatusBarOrientation(UIInterfaceOrientationPortrait);
}

TEST(DeviceFactsTest, ConnectedToTheNetworkOnlyWhenReachableWithoutAConnectionFirst) {
  auto source = zvt::FakeReachabilitySource::install();
  const struct {
    SCNetworkReachabilityFlags flags;
    bool connected;
  } cases[] = {
      {0, false},
      {kSCNetworkReachabilityFlagsReachable, true},
      {kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsWWAN, true},
      {kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsConnectionRequired, false},
      {kSCNetworkReachabilityFlagsConnectionRequired, false},
  };
  for (const auto& c : cases) {
    source->setFlags(c.flags);
    EXPECT_EQ(ZVTFunction::connectedToNetWork(), c.connected) << c.flags;
  }
  // Flags that cannot be read: not connected, and the reason printed.
  source->setFlags(kSCNetworkReachabilityFlagsReachable);
  source->setFlagsReadable(false);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(ZVTFunction::connectedToNetWork());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error.Count not recover network reachability flags\n");
  zvt::FakeReachabilitySource::uninstall();
}

TEST(DeviceFactsTest, TimeStampUUIDAndDate) {
  zvt::test::VirtualClockScope clock(1767225600.123);
  EXPECT_EQ(ZVTFunction::getTimeStamp()->utf8(), "1767225600123");
  auto a = ZVTFunction::getUUID();
  auto b = ZVTFunction::getUUID();
  EXPECT_FALSE(a->isEqual(b));
  EXPECT_TRUE(std::regex_match(a->utf8(), std::regex("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}")));
  EXPECT_TRUE(std::regex_match(ZVTFunction::getTimeDate()->utf8(), std::regex(R"(\d{4}-\d{2}-\d{2}_\d{2}:\d{2})")));
}

TEST(DeviceFactsTest, AddressesComeFromTheRealInterfaces) {
  // The loopback interface always exists and carries an all-zero link-level address.
  zvt::setMACInterfaceName("lo");
  auto mac = ZVTFunction::getMacaddress();
  ASSERT_TRUE(mac);
  EXPECT_EQ(mac->utf8(), "00:00:00:00:00:00");
  zvt::setMACInterfaceName("zvt-no-such0");
  testing::internal::CaptureStdout();
  EXPECT_FALSE(ZVTFunction::getMacaddress());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: if_nametoindex error/n");
  zvt::setMACInterfaceName("");

  std::set<std::string> upIPv4;
  size_t upCount = 0;
  struct ifaddrs* list = nullptr;
  ASSERT_EQ(getifaddrs(&list), 0);
  std::set<std::string> names;
  for (auto* entry = list; entry; entry = entry->ifa_next) {
    if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET || !(entry->ifa_flags & IFF_UP)) continue;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(entry->ifa_addr)->sin_addr, text, sizeof text);
    upIPv4.insert(text);
    if (names.insert(entry->ifa_name).second) upCount++;
  }
  freeifaddrs(list);
  auto found = ZVTFunction::getIPAddress();
  if (upCount < 2) {
    EXPECT_FALSE(found);
  } else {
    ASSERT_TRUE(found);
    EXPECT_TRUE(upIPv4.count(found->utf8())) << found->utf8();
  }
}

// In a network namespace of its own a process sees only a loopback interface that is down:
// no address, and no "(null)" text either.
TEST(DeviceFacts, WithoutTwoInterfacesUpThereIsNoAddress) {
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (unshare(CLONE_NEWNET) != 0) _exit(77);
    _exit(ZVTFunction::getIPAddress() == nullptr ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no network namespaces here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
