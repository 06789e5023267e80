// The login session against the local service: what a login installs (defaults, cookie sent
// on the next request, push alias and the registration id upload), the automatic login's two
// branches and their notifications, and what the registrations store for the next start.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>

#include "app/api/APIClient.h"
#include "app/api/ZVTAPIClient.h"
#include "app/api/ZVTLoginSession.h"
#include "app/core/AppDelegate.h"
#include "app/core/Configuration.h"
#include "app/utilities/ZVTPublicTools.h"
#include "platform/foundation/Foundation.h"
#include "platform/network/NSHTTPCookie.h"
#include "platform/network/NSURL.h"
#include "push/PushService.h"
#include "tests/support/MainLoop.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/TempHome.h"

namespace {

using zvt::test::runMainLoopUntil;
using zvt::test::ServiceProcess;

std::string text(const id& value) { return value ? value->description()->utf8() : "(nil)"; }

class LoginSessionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { service_ = std::make_unique<ServiceProcess>(); }
  static void TearDownTestSuite() { service_.reset(); }

  void SetUp() override {
    service_->reset(true);
    home_ = std::make_unique<zvt::test::TempHome>();
    config_ = std::make_unique<zvt::ConfigurationScope>();
    zvt::Configuration::setServerRoot(service_->rootURL());
    AppDelegate::setShared(nullptr);
    zvt::push::shutdownClient();
    NSHTTPCookieStorage::sharedHTTPCookieStorage()->removeAllCookies();
    ZVTLoginSession::setHooks(ZVTLoginSession::defaultHooks());
    zvt::clearShownRedpackets();
    observers_.push_back(zvt::observe(NSNotificationCenter::defaultCenter(), "remote"_ns, nullptr, nullptr,
                                      [this](const auto&) { posts_.push_back("remote"); }));
    observers_.push_back(zvt::observe(NSNotificationCenter::defaultCenter(), "login"_ns, nullptr, nullptr,
                                      [this](const auto&) { posts_.push_back("login"); }));
  }

  void TearDown() override {
    zvt::test::drainMainLoop();
    observers_.clear();
    zvt::push::shutdownClient();
    NSHTTPCookieStorage::sharedHTTPCookieStorage()->removeAllCookies();
    AppDelegate::setShared(nullptr);
    config_.reset();
    home_.reset();
  }

  bool login(const char* user, const char* password) {
    int calls = 0;
    bool ok = false;
    ZVTAPIClient::loginWith(NSDictionary::make({{"userName"_ns, NSString::stringWithUTF8String(user)},
                                                {"password"_ns, NSString::stringWithUTF8String(password)}}),
                            [&](bool success, const std::shared_ptr<NSString>&) {
                              ok = success;
                              ++calls;
                            });
    EXPECT_TRUE(runMainLoopUntil([&] { return calls > 0; }, 15));
    return ok;
  }

  std::vector<std::string> siteCookieValues() {
    std::vector<std::string> values;
    auto cookies = NSHTTPCookieStorage::sharedHTTPCookieStorage()->cookiesForURL(
        NSURL::URLWithString(zvt::Configuration::serverRoot()));
    for (const id& cookie : *cookies) values.push_back(std::static_pointer_cast<NSHTTPCookie>(cookie)->valueText());
    return values;
  }

  // Stores what a previous run left behind.
  static void storeSession(bool isLogin, const std::shared_ptr<NSDictionary>& loginInfo) {
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->setBool(isLogin, "isLogin"_ns);
    defaults->setObject(loginInfo, "loginInfo"_ns);
  }

  // Runs autoLogin and waits until the service has answered the operation (or a moment when
  // nothing is expected to be sent).
  void runAutoLogin(const std::string& op, bool expectRequest = true) {
    service_->clearLog();
    ZVTAPIClient::autoLogin();
    if (!expectRequest) {
      runMainLoopUntil([] { return false; }, 0.3);
      return;
    }
    ASSERT_TRUE(runMainLoopUntil([&] { return service_->requestCount(op) > 0; }, 15));
    // The completion follows the reply on the main loop.
    runMainLoopUntil([] { return false; }, 0.3);
  }

  static std::unique_ptr<ServiceProcess> service_;
  std::unique_ptr<zvt::test::TempHome> home_;
  std::unique_ptr<zvt::ConfigurationScope> config_;
  std::vector<zvt::ObserverToken> observers_;
  std::vector<std::string> posts_;
};

std::unique_ptr<ServiceProcess> LoginSessionTest::service_;

TEST_F(LoginSessionTest, PasswordLoginInstallsTheWholeSession) {
  // The device token has arrived: the delegate holds the registration id.
  PushService::registerDeviceToken(NSData::dataWithBytes("\x0a\x0b\x0c", 3));
  auto registrationID = PushService::registrationID();
  AppDelegate::shared()->setPushRegisterID(registrationID);

  ASSERT_TRUE(login(zvt::test::kServiceTestUserName, zvt::test::kServiceTestUserPassword));
  auto delegate = AppDelegate::shared();
  EXPECT_TRUE(delegate->isLogin());
  EXPECT_EQ(text(delegate->userInfoDictionary()->objectForKey("id"_ns)), "10001");

  auto defaults = NSUserDefaults::standardUserDefaults();
  EXPECT_TRUE(defaults->boolForKey("isLogin"_ns));
  auto loginInfo = defaults->dictionaryForKey("loginInfo"_ns);
  ASSERT_TRUE(loginInfo);
  EXPECT_EQ(loginInfo->count(), 2u);
  EXPECT_EQ(text(loginInfo->objectForKey("userName"_ns)), "zvttest");
  EXPECT_EQ(text(loginInfo->objectForKey("password"_ns)), "zvt123456");
  auto info = defaults->stringForKey("info"_ns);
  ASSERT_TRUE(info);
  EXPECT_GT(info->length(), 0u);
  struct stat fileInfo {};
  ASSERT_EQ(::stat(defaults->persistentStorePath()->UTF8String(), &fileInfo), 0);
  EXPECT_EQ(fileInfo.st_mode & 0777, 0600u);

  // The cookie of the reply is in the store and is what the next request carries.
  auto cookieDic = delegate->cookieDic();
  ASSERT_TRUE(cookieDic);
  auto firstValue = text(cookieDic->objectForKey("value"_ns));
  EXPECT_EQ(siteCookieValues(), std::vector<std::string>{firstValue});

  // The alias is the user id; its answer uploads the registration id.
  ASSERT_TRUE(runMainLoopUntil([&] { return service_->requestCount("up_push_id") > 0; }, 15));
  ASSERT_TRUE(runMainLoopUntil([] { return zvt::urlConnectionLoadsInFlight() == 0; }, 15));  // the upload's reply ends it
  EXPECT_EQ(text(zvt::push::clientState().alias), "10001");
  auto upload = service_->requestLog("up_push_id");
  EXPECT_NE(upload.find("\"pushId\":\"" + registrationID->utf8() + "\""), std::string::npos) << upload;
  EXPECT_NE(upload.find("\"uid\""), std::string::npos) << upload;
  EXPECT_NE(upload.find("ZVTSESSID=" + firstValue), std::string::npos) << upload;
  EXPECT_NE(upload.find("\"session_user\":\"10001\""), std::string::npos) << upload;

  // A second login replaces the first session's cookie.
  ASSERT_TRUE(login(zvt::test::kServiceOtherUserName, zvt::test::kServiceOtherUserPassword));
  auto secondValue = text(delegate->cookieDic()->objectForKey("value"_ns));
  EXPECT_NE(secondValue, firstValue);
  EXPECT_EQ(siteCookieValues(), std::vector<std::string>{secondValue});
  EXPECT_EQ(text(zvt::push::clientState().alias), "10003");
  // The second user's upload, under the second cookie.
  ASSERT_TRUE(runMainLoopUntil([&] { return service_->requestCount("up_push_id") == 2; }, 15));
  ASSERT_TRUE(runMainLoopUntil([] { return zvt::urlConnectionLoadsInFlight() == 0; }, 15));
  EXPECT_NE(service_->requestLog("up_push_id").find("ZVTSESSID=" + secondValue), std::string::npos);
}

TEST_F(LoginSessionTest, FailedLoginResetsOnlyTheRunningSession) {
  ASSERT_TRUE(login(zvt::test::kServiceTestUserName, zvt::test::kServiceTestUserPassword));
  auto cookie = AppDelegate::shared()->cookieDic();
  EXPECT_FALSE(login(zvt::test::kServiceTestUserName, "wrong-password"));
  auto delegate = AppDelegate::shared();
  EXPECT_FALSE(delegate->isLogin());
  EXPECT_FALSE(delegate->userInfoDictionary());
  EXPECT_EQ(text(zvt::push::clientState().alias), "");
  // The stored state and the cookie stay for the next automatic login.
  EXPECT_TRUE(NSUserDefaults::standardUserDefaults()->boolForKey("isLogin"_ns));
  EXPECT_TRUE(zvt::objectsEqual(delegate->cookieDic(), cookie));
  EXPECT_EQ(siteCookieValues().size(), 1u);
}

TEST_F(LoginSessionTest, AReplyWithoutADecodableRecordInstallsNothing) {
  service_->script(zvt::test::ScriptedReply{.op = "login", .undecipherable = true});
  EXPECT_FALSE(login(zvt::test::kServiceTestUserName, zvt::test::kServiceTestUserPassword));
  auto delegate = AppDelegate::shared();
  EXPECT_FALSE(delegate->isLogin());
  EXPECT_FALSE(delegate->userInfoDictionary());
  EXPECT_FALSE(delegate->cookieDic());
  auto defaults = NSUserDefaults::standardUserDefaults();
  EXPECT_FALSE(defaults->objectForKey("isLogin"_ns));
  EXPECT_FALSE(defaults->objectForKey("loginInfo"_ns));
  EXPECT_FALSE(defaults->objectForKey("info"_ns));
}

TEST_F(LoginSessionTest, AutoLoginSendsNothingWithoutAStoredLogin) {
  storeSession(false, NSDictionary::make({{"userName"_ns, "zvttest"_ns}, {"password"_ns, "zvt123456"_ns}}));
  runAutoLogin("", false);
  EXPECT_EQ(service_->requestCount(), 0);

  storeSession(true, NSDictionary::make({{"userName"_ns, "zvttest"_ns}}));  // no password
  runAutoLogin("", false);
  EXPECT_EQ(service_->requestCount(), 0);
  EXPECT_TRUE(posts_.empty());
}

TEST_F(LoginSessionTest, AutoLoginPasswordBranch) {
  storeSession(true, NSDictionary::make({{"userName"_ns, "zvttest"_ns}, {"password"_ns, "zvt123456"_ns}}));
  runAutoLogin("login");
  EXPECT_EQ(posts_, std::vector<std::string>{"login"});
  EXPECT_TRUE(AppDelegate::shared()->isLogin());

  // A launch payload still waiting: "remote" first, then "login".
  posts_.clear();
  AppDelegate::shared()->setRemoteNotification(NSDictionary::make({{"content_type"_ns, "2"_ns}}));
  runAutoLogin("login");
  EXPECT_EQ(posts_, (std::vector<std::string>{"remote", "login"}));

  // A refusal deletes the root's cookies and posts nothing.
  posts_.clear();
  ZVTPublicTools::setCookieWith(NSDictionary::make({{"var"_ns, "other"_ns}, {"value"_ns, "x"_ns}, {"domain"_ns, "127.0.0.1"_ns}}));
  ASSERT_FALSE(siteCookieValues().empty());
  service_->script(zvt::test::ScriptedReply{.op = "login", .code = 202, .msg = "no"});
  runAutoLogin("login");
  EXPECT_TRUE(posts_.empty());
  EXPECT_TRUE(siteCookieValues().empty());
  EXPECT_FALSE(AppDelegate::shared()->isLogin());
  EXPECT_TRUE(NSUserDefaults::standardUserDefaults()->boolForKey("isLogin"_ns));
}

TEST_F(LoginSessionTest, AutoLoginPartnerBranch) {
  auto stored = NSDictionary::make({{"web"_ns, NSString::stringWithUTF8String(zvt::test::kServicePartnerWeb)},
                                    {"webId"_ns, NSString::stringWithUTF8String(zvt::test::kServicePartnerWebId)},
                                    {"userName"_ns, "ignored"_ns}, {"password"_ns, "ignored"_ns}});
  storeSession(true, stored);
  runAutoLogin("OAuth_login");
  EXPECT_EQ(service_->requestCount("login"), 0);
  EXPECT_EQ(posts_, std::vector<std::string>{"login"});
  EXPECT_EQ(text(AppDelegate::shared()->userInfoDictionary()->objectForKey("id"_ns)), "10002");
  auto fields = service_->requestLog("OAuth_login");
  EXPECT_EQ(fields.find("ignored"), std::string::npos) << fields;

  // Replies that install no session: no "login", and the root's cookies go like in the
  // password branch. A refusal also resets the running session; a first-login reply (the
  // partner account is still to be registered) leaves it as it was.
  struct Case {
    const char* what;
    zvt::test::ScriptedReply reply;
    bool stillLoggedIn;
  };
  const Case cases[] = {
      {"refusal", {.op = "OAuth_login", .code = 202, .msg = "no"}, false},
      {"first login", {.op = "OAuth_login", .code = 101, .extraJSON = R"({"firstLogin": 1})"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    storeSession(true, stored);
    runAutoLogin("OAuth_login");  // a session to start from
    ASSERT_TRUE(AppDelegate::shared()->isLogin());
    ASSERT_FALSE(siteCookieValues().empty());
    auto record = AppDelegate::shared()->userInfoDictionary();
    auto loginInfo = NSUserDefaults::standardUserDefaults()->dictionaryForKey("loginInfo"_ns);
    posts_.clear();
    service_->script(c.reply);
    runAutoLogin("OAuth_login");
    EXPECT_TRUE(posts_.empty());
    EXPECT_TRUE(siteCookieValues().empty());
    EXPECT_EQ(AppDelegate::shared()->isLogin(), c.stillLoggedIn);
    if (c.stillLoggedIn) {
      EXPECT_EQ(AppDelegate::shared()->userInfoDictionary(), record);
    }
    EXPECT_TRUE(NSUserDefaults::standardUserDefaults()->dictionaryForKey("loginInfo"_ns)->isEqual(loginInfo));
  }
}

TEST_F(LoginSessionTest, RegistrationsStoreWhatTheNextStartReplays) {
  int calls = 0;
  ZVTAPIClient::registerWith(NSDictionary::make({{"userName"_ns, "new@example.com"_ns}, {"password"_ns, "secret12"_ns}}),
                             [&](bool ok, const std::shared_ptr<NSString>& message) {
                               EXPECT_TRUE(ok) << text(message);
                               ++calls;
                             });
  ASSERT_TRUE(runMainLoopUntil([&] { return calls > 0; }, 15));
  auto defaults = NSUserDefaults::standardUserDefaults();
  auto loginInfo = defaults->dictionaryForKey("loginInfo"_ns);
  EXPECT_EQ(text(loginInfo->objectForKey("userName"_ns)), "new@example.com");
  EXPECT_EQ(text(loginInfo->objectForKey("password"_ns)), "secret12");
  EXPECT_TRUE(defaults->boolForKey("isLogin"_ns));
  ASSERT_EQ(zvt::shownRedpackets().size(), 1u);  // recorded: no screen draws it yet
  EXPECT_NE(zvt::shownRedpackets()[0].find("Velmo+"), std::string::npos);
  EXPECT_NE(zvt::shownRedpackets()[0].find("集分宝"), std::string::npos);
  EXPECT_EQ(siteCookieValues().size(), 1u);

  // The JSON client's phone registration bound to a partner account.
  const std::string phone = "13912345678";
  calls = 0;
  APIClient::getVerificationCodeWithParameter(NSDictionary::make({{"phoneNumber"_ns, NSString::stringWithUTF8String(phone)}}),
                                              [&](bool, const std::shared_ptr<NSString>&) { ++calls; });
  ASSERT_TRUE(runMainLoopUntil([&] { return calls > 0; }, 15));
  auto sms = service_->latestSmsCode(phone, "register");
  ASSERT_FALSE(sms.empty());
  calls = 0;
  bool ok = false;
  APIClient::registerWithParameter(
      NSDictionary::make({{"phoneNumber"_ns, NSString::stringWithUTF8String(phone)},
                          {"verifyCode"_ns, NSString::stringWithUTF8String(sms)},
                          {"password"_ns, "secret12"_ns}, {"web"_ns, "qq"_ns}, {"webId"_ns, "QQ-NEW"_ns}}),
      [&](bool success, NSInteger, const std::shared_ptr<NSString>&) {
        ok = success;
        ++calls;
      });
  ASSERT_TRUE(runMainLoopUntil([&] { return calls > 0; }, 15));
  ASSERT_TRUE(ok);
  loginInfo = defaults->dictionaryForKey("loginInfo"_ns);
  EXPECT_EQ(text(loginInfo->objectForKey("userName"_ns)), phone);
  EXPECT_EQ(text(loginInfo->objectForKey("password"_ns)), "secret12");
  EXPECT_EQ(text(loginInfo->objectForKey("web"_ns)), "qq");
  EXPECT_EQ(text(loginInfo->objectForKey("webId"_ns)), "QQ-NEW");
  EXPECT_EQ(zvt::shownRedpackets().size(), 2u);
  EXPECT_EQ(siteCookieValues().size(), 1u);  // the e-mail account's cookie is gone

  // The next start takes the partner branch.
  runAutoLogin("OAuth_login");
  EXPECT_EQ(service_->requestCount("login"), 0);
  EXPECT_EQ(posts_, std::vector<std::string>{"login"});
}

TEST_F(LoginSessionTest, WelcomeTextCarriesBothBalances) {
  ZVTSessionInstall install;
  install.operation = ZVTSessionOperation::registration;
  install.record = NSDictionary::make({{"id"_ns, 7_n}, {"jifen"_ns, "12"_ns}, {"jifenbao"_ns, 3_n}});
  install.loginInfo = NSDictionary::make({{"userName"_ns, "u"_ns}, {"password"_ns, "p"_ns}});
  install.welcomeRedpacket = true;
  ZVTLoginSession::install(install);
  EXPECT_EQ(zvt::shownRedpackets(), std::vector<std::string>{"12Velmo+3集分宝"});
  EXPECT_EQ(text(zvt::push::clientState().alias), "7");
}

// A partner login or registration whose reply carries a value the stored login cannot hold (a
// null inside an object, where a flag or a name belongs) installs the session without that
// value; the next start replays the new user's credentials, never the previous user's.
TEST_F(LoginSessionTest, AnIllTypedReplyValueNeverLeavesTheStoredLoginHalfWritten) {
  const auto web = NSString::stringWithUTF8String(zvt::test::kServicePartnerWeb);
  const auto webId = NSString::stringWithUTF8String(zvt::test::kServicePartnerWebId);
  struct Case {
    const char* what;
    zvt::test::ScriptedReply reply;
    std::function<void(int&)> start;
  };
  const Case cases[] = {
      {"partner login, its first-login flag",
       {.op = "OAuth_login", .extraJSON = R"({"firstLogin": {"qq": null}})"},
       [&](int& calls) {
         ZVTAPIClient::loginThirdWith(NSDictionary::make({{"web"_ns, web}, {"webId"_ns, webId}}),
                                      [&calls](const std::shared_ptr<NSDictionary>&, const std::shared_ptr<NSError>&) { ++calls; });
       }},
      {"partner registration, the account name",
       {.op = "register", .iface = "enciphered", .code = 101, .dataJSON = R"({"id": "10002", "ddusername": {"nick": null}})"},
       [&](int& calls) {
         ZVTAPIClient::registerWith(NSDictionary::make({{"userName"_ns, "qqnew"_ns}, {"password"_ns, "secret12"_ns},
                                                        {"web"_ns, web}, {"webId"_ns, webId}, {"newVer"_ns, "yes"_ns}}),
                                    [&calls](bool, const std::shared_ptr<NSString>&) { ++calls; });
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // The previous user logged out: the name and password stay stored, not replayed.
    storeSession(false, NSDictionary::make({{"userName"_ns, NSString::stringWithUTF8String(zvt::test::kServiceOtherUserName)},
                                            {"password"_ns, NSString::stringWithUTF8String(zvt::test::kServiceOtherUserPassword)}}));
    service_->script(c.reply);
    int calls = 0;
    c.start(calls);
    bool threw = false;
    try {
      runMainLoopUntil([&] { return calls > 0; }, 15);
    } catch (const std::exception&) {
      threw = true;  // in the application: the end of the process, halfway through the install
    }
    EXPECT_FALSE(threw) << "the reply's value crashed the login";
    auto defaults = NSUserDefaults::standardUserDefaults();
    auto loginInfo = defaults->dictionaryForKey("loginInfo"_ns);
    ASSERT_TRUE(loginInfo);
    // Whatever happened, the stored flag never stands over the previous user's credentials.
    if (defaults->boolForKey("isLogin"_ns)) {
      EXPECT_NE(text(loginInfo->objectForKey("userName"_ns)), zvt::test::kServiceOtherUserName);
    }
    if (threw) continue;
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(AppDelegate::shared()->isLogin());
    EXPECT_TRUE(defaults->boolForKey("isLogin"_ns));
    EXPECT_EQ(text(loginInfo->objectForKey("web"_ns)), zvt::test::kServicePartnerWeb);
    EXPECT_EQ(text(loginInfo->objectForKey("webId"_ns)), zvt::test::kServicePartnerWebId);
    EXPECT_EQ(loginInfo->objectForKey("password"_ns), nullptr);
    EXPECT_NE(text(loginInfo->objectForKey("userName"_ns)), zvt::test::kServiceOtherUserName);
    EXPECT_EQ(loginInfo->objectForKey("first"_ns), nullptr);
  }
}

}  // namespace
