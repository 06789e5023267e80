#include <gtest/gtest.h>

#include "app/core/AppDelegate.h"
#include "app/core/Configuration.h"
#include "foundation/json/JSONDecoder.h"
#include "platform/foundation/Foundation.h"

namespace {

TEST(Configuration, PathsJoinWithExactlyOneSlash) {
  zvt::ConfigurationScope scope;
  zvt::Configuration::setServerRoot("http://127.0.0.1:9/");
  EXPECT_EQ(zvt::Configuration::serverRoot()->utf8(), "http://127.0.0.1:9");
  EXPECT_EQ(zvt::Configuration::URLStringWithPath("api/client.php?m=get_time")->utf8(),
            "http://127.0.0.1:9/api/client.php?m=get_time");
  EXPECT_EQ(zvt::Configuration::URLStringWithPath("/index.php?mod=phone_api&act=login")->utf8(),
            "http://127.0.0.1:9/index.php?mod=phone_api&act=login");
  EXPECT_EQ(zvt::Configuration::URLStringWithPath("http://other/x")->utf8(), "http://other/x");
  zvt::Configuration::setServerRoot("http://host/base//");
  EXPECT_EQ(zvt::Configuration::URLStringWithPath("//api/x")->utf8(), "http://host/base/api/x");
  EXPECT_EQ(zvt::Configuration::appStoreLookupURLString()->utf8().rfind("http://host/base/lookup?id=", 0), 0u);
}

TEST(Configuration, CommandLineOverridesAndRefusesBadValues) {
  zvt::ConfigurationScope scope;
  std::string message;
  ASSERT_TRUE(zvt::Configuration::applyArguments(
      {"zavelto", "--server-root", "http://10.0.0.1:81/", "--request-timeout=2.5", "--other", "x",
       "--analytics-app-key=0123456789abcdef01234567", "--app-store-lookup", "http://s/lookup?country=cn"},
      &message))
      << message;
  EXPECT_EQ(zvt::Configuration::serverRoot()->utf8(), "http://10.0.0.1:81");
  EXPECT_DOUBLE_EQ(zvt::Configuration::requestTimeout(), 2.5);
  EXPECT_DOUBLE_EQ(zvt::Configuration::uploadTimeout(), 10.0);
  EXPECT_EQ(zvt::Configuration::analyticsAppKey()->utf8(), "0123456789abcdef01234567");
  EXPECT_EQ(zvt::Configuration::appStoreLookupURLString()->utf8().rfind("http://s/lookup?country=cn&id=", 0), 0u);

  EXPECT_FALSE(zvt::Configuration::applyArguments({"--request-timeout", "-1"}, &message));
  EXPECT_FALSE(zvt::Configuration::applyArguments({"--server-root", "ftp://x"}, &message));
  EXPECT_FALSE(zvt::Configuration::applyArguments({"--upload-timeout"}, &message));
  // A refused command line changes nothing.
  EXPECT_EQ(zvt::Configuration::serverRoot()->utf8(), "http://10.0.0.1:81");
}

TEST(Configuration, SearchAddressesFollowTheRootUnlessGiven) {
  zvt::ConfigurationScope scope;
  zvt::Configuration::setServerRoot("http://127.0.0.1:9/");
  EXPECT_EQ(zvt::Configuration::affiliateSearchURLString()->utf8(), "http://127.0.0.1:9/search.html?");
  EXPECT_EQ(zvt::Configuration::suggestionRoot()->utf8(), "http://127.0.0.1:9");
  EXPECT_NE(zvt::Configuration::defaultAffiliatePid()->utf8(), "") << "a search always has a pid";
  std::string message;
  ASSERT_TRUE(zvt::Configuration::applyArguments({"--affiliate-search=http://ai/s.html?a=1", "--suggestion-root",
                                                  "http://sug/", "--default-pid", "mm_1_2_3"},
                                                 &message))
      << message;
  EXPECT_EQ(zvt::Configuration::affiliateSearchURLString()->utf8(), "http://ai/s.html?a=1&")
      << "parameters are appended after the address's own query";
  EXPECT_EQ(zvt::Configuration::suggestionRoot()->utf8(), "http://sug");
  EXPECT_EQ(zvt::Configuration::defaultAffiliatePid()->utf8(), "mm_1_2_3");
  EXPECT_FALSE(zvt::Configuration::applyArguments({"--suggestion-root", "sug"}, &message));
  EXPECT_FALSE(zvt::Configuration::applyArguments({"--default-pid="}, &message));
}

TEST(Configuration, TheOfferWallFollowsTheRootUnlessGiven) {
  zvt::ConfigurationScope scope;
  zvt::Configuration::setServerRoot("http://127.0.0.1:9/");
  EXPECT_EQ(zvt::Configuration::offerWallPageURLString()->utf8(), "http://127.0.0.1:9/wx/ios/lists.html?");
  std::string message;
  ASSERT_TRUE(zvt::Configuration::applyArguments({"--offer-wall-root=http://wall.example/", "--service-qq", "12345678"}, &message))
      << message;
  EXPECT_EQ(zvt::Configuration::offerWallPageURLString()->utf8(), "http://wall.example/wx/ios/lists.html?");
  EXPECT_EQ(zvt::Configuration::values().customerServiceQQ, "12345678");
  EXPECT_FALSE(zvt::Configuration::applyArguments({"--offer-wall-root", "wall.example"}, &message));
  EXPECT_FALSE(zvt::Configuration::applyArguments({"--service-qq=8000a"}, &message));
  EXPECT_EQ(zvt::Configuration::values().customerServiceQQ, "12345678");
}

TEST(AppDelegate, SharedStateStartsEmptyAndKeepsAWritableRecord) {
  AppDelegate::setShared(nullptr);
  auto delegate = AppDelegate::shared();
  EXPECT_EQ(delegate, AppDelegate::shared());
  EXPECT_FALSE(delegate->isLogin());
  EXPECT_EQ(delegate->userInfoDictionary(), nullptr);
  EXPECT_EQ(delegate->cookieDic(), nullptr);

  // A decoded record is immutable; the delegate keeps a copy the screens can write into.
  auto record = zvt::as<NSDictionary>(objectFromJSONString(*NSString::stringWithUTF8String(R"({"id":"1","jifen":"5"})")));
  ASSERT_TRUE(record);
  delegate->setUserInfoDictionary(record);
  delegate->userInfoDictionary()->setObject("15"_ns, "jifen"_ns);
  EXPECT_EQ(zvt::as<NSString>(delegate->userInfoDictionary()->objectForKey("jifen"_ns))->utf8(), "15");
  EXPECT_EQ(zvt::as<NSString>(record->objectForKey("jifen"_ns))->utf8(), "5");
  delegate->setUserInfoDictionary(nullptr);
  EXPECT_EQ(delegate->userInfoDictionary(), nullptr);
  AppDelegate::setShared(nullptr);
  EXPECT_NE(AppDelegate::shared(), delegate);
}

}  // namespace
