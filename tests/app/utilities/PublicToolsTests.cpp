// Cookies of the site in the shared store, random strings and the red-packet hand-over.
#include <gtest/gtest.h>

#include <set>

#include "app/utilities/ZVTPublicTools.h"
#include "platform/foundation/Foundation.h"
#include "platform/network/NSURL.h"

namespace {

std::shared_ptr<NSDictionary> cookieDic(const char* value, const char* domain = "127.0.0.1") {
  return NSDictionary::make({{"var"_ns, "ZVTSESSID"_ns},
                             {"value"_ns, NSString::stringWithUTF8String(value)},
                             {"domain"_ns, NSString::stringWithUTF8String(domain)}});
}

std::vector<std::string> cookieValuesFor(const char* url) {
  std::vector<std::string> values;
  auto cookies = NSHTTPCookieStorage::sharedHTTPCookieStorage()->cookiesForURL(NSURL::URLWithString(url));
  for (const id& cookie : *cookies) values.push_back(std::static_pointer_cast<NSHTTPCookie>(cookie)->valueText());
  return values;
}

class CookieTest : public ::testing::Test {
 protected:
  void SetUp() override { NSHTTPCookieStorage::sharedHTTPCookieStorage()->removeAllCookies(); }
  void TearDown() override { NSHTTPCookieStorage::sharedHTTPCookieStorage()->removeAllCookies(); }
};

TEST_F(CookieTest, CookieIsMadeFromTheSessionDictionary) {
  auto cookie = ZVTPublicTools::getCookieWith(cookieDic("abc"));
  ASSERT_TRUE(cookie);
  EXPECT_EQ(cookie->nameText(), "ZVTSESSID");
  EXPECT_EQ(cookie->valueText(), "abc");
  EXPECT_EQ(cookie->domainText(), "127.0.0.1");
  EXPECT_EQ(cookie->pathText(), "/");
  EXPECT_EQ(cookie->version(), 0u);
  EXPECT_FALSE(ZVTPublicTools::getCookieWith(nullptr));
  // A number as value is written as its text.
  auto numeric = ZVTPublicTools::getCookieWith(
      NSDictionary::make({{"var"_ns, "n"_ns}, {"value"_ns, 42_n}, {"domain"_ns, "127.0.0.1"_ns}}));
  ASSERT_TRUE(numeric);
  EXPECT_EQ(numeric->valueText(), "42");
}

TEST_F(CookieTest, SetDeleteAndDeleteEverythingOfARoot) {
  ZVTPublicTools::setCookieWith(cookieDic("first"));
  EXPECT_EQ(cookieValuesFor("http://127.0.0.1:8880/api"), std::vector<std::string>{"first"});
  ZVTPublicTools::setCookieWith(nullptr);  // changes nothing
  ZVTPublicTools::deleteCookieWith(nullptr);
  EXPECT_EQ(cookieValuesFor("http://127.0.0.1:8880/api").size(), 1u);

  // Deleting by dictionary matches name, domain and path, not the value.
  ZVTPublicTools::deleteCookieWith(cookieDic("other value"));
  EXPECT_TRUE(cookieValuesFor("http://127.0.0.1:8880/").empty());

  ZVTPublicTools::setCookieWith(cookieDic("a"));
  ZVTPublicTools::setCookieWith(
      NSDictionary::make({{"var"_ns, "other"_ns}, {"value"_ns, "b"_ns}, {"domain"_ns, "127.0.0.1"_ns}}));
  ZVTPublicTools::setCookieWith(cookieDic("keep", "example.com"));
  ZVTPublicTools::deleteCookiewith("http://127.0.0.1:8880"_ns);
  EXPECT_TRUE(cookieValuesFor("http://127.0.0.1:8880/").empty());
  EXPECT_EQ(cookieValuesFor("http://example.com/"), std::vector<std::string>{"keep"});
  ZVTPublicTools::deleteCookiewith(nullptr);
}

TEST(RandomStringTest, LengthsAndAlphabets) {
  EXPECT_EQ(ZVTPublicTools::getTheRandomStringWithTheCharNumber(0)->utf8(), "");
  EXPECT_EQ(ZVTPublicTools::getTheRandomStringWithTheCharNumber(-3)->utf8(), "");
  EXPECT_EQ(ZVTPublicTools::getTheRandomStringWithTheNumber(-1)->utf8(), "");
  EXPECT_EQ(ZVTPublicTools::getTheRandomStringWithTheCharNumber(32)->length(), 32u);

  std::set<char> seen;
  for (int i = 0; i < 200; ++i) {
    auto drawn = ZVTPublicTools::getTheRandomStringWithTheCharNumber(32);
    for (char c : drawn->utf8()) {
      ASSERT_TRUE(std::isalnum(static_cast<unsigned char>(c))) << c;
      seen.insert(c);
    }
  }
  EXPECT_EQ(seen.size(), 62u);  // every entry, "z" and "0" included
  EXPECT_TRUE(seen.count('z') && seen.count('0') && seen.count('Z'));

  std::set<char> digits;
  for (int i = 0; i < 100; ++i) {
    auto drawn = ZVTPublicTools::getTheRandomStringWithTheNumber(10);
    for (char c : drawn->utf8()) digits.insert(c);
  }
  EXPECT_EQ(digits, (std::set<char>{'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'}));
}

TEST(RedpacketTest, RecordedUntilAPresenterIsInstalled) {
  zvt::clearShownRedpackets();
  EXPECT_FALSE(ZVTPublicTools::getCurrentVC());
  showRedpacket(ZVTPublicTools::getCurrentVC(), "5Velmo+10集分宝"_ns);
  EXPECT_EQ(zvt::shownRedpackets(), std::vector<std::string>{"5Velmo+10集分宝"});

  auto screen = NSString::stringWithUTF8String("screen");
  id shownOn;
  zvt::setCurrentViewControllerProvider([screen] { return screen; });
  zvt::setRedpacketPresenter([&](const id& controller, const std::shared_ptr<NSString>&) { shownOn = controller; });
  showRedpacket(ZVTPublicTools::getCurrentVC(), "x"_ns);
  EXPECT_EQ(shownOn, screen);
  EXPECT_EQ(zvt::shownRedpackets().size(), 1u);
  zvt::setRedpacketPresenter(nullptr);
  zvt::setCurrentViewControllerProvider(nullptr);
  zvt::clearShownRedpackets();
}

TEST(RedpacketTest, OnlyTheNewestTextsAreKept) {
  zvt::clearShownRedpackets();
  const size_t shown = zvt::kRecordedRedpacketLimit * 3;
  for (size_t i = 0; i < shown; ++i) showRedpacket(nullptr, NSString::stringWithFormat("%ldVelmo", long(i)));
  auto kept = zvt::shownRedpackets();
  ASSERT_EQ(kept.size(), zvt::kRecordedRedpacketLimit);
  EXPECT_EQ(kept.front(), std::to_string(shown - zvt::kRecordedRedpacketLimit) + "Velmo");
  EXPECT_EQ(kept.back(), std::to_string(shown - 1) + "Velmo");
  zvt::clearShownRedpackets();
}

}  // namespace
