// The partner web logins through the device, under a private X server, against the service's
// stand-in partner pages: the authorize request, the consent page, the callback's "webId"
// cookie, the one partner login however many loads finish, the known account's login and the
// first login's binding screen, and refusals that keep the page.

#include "app/core/Configuration.h"
#include "app/screens/account/PartnerWebLogin.h"
#include "app/screens/account/TZBindingViewController.h"
#include "app/screens/account/TZRegisterViewController.h"
#include "app/ui/ScreenRegistry.h"
#include "app/screens/rewards/RewardsScreens.h"
#include "platform/network/NSHTTPCookie.h"
#include "tests/app/screens/account/AccountTestSupport.h"
#include "tests/support/ui/XvfbDisplay.h"

namespace {

using zvt::test::AccountScreenTest;

class PartnerLoginTest : public AccountScreenTest {
 protected:
  void SetUp() override {
    AccountScreenTest::SetUp();
    ZVT_REQUIRE_DISPLAY();
    zvt::registerRewardsScreens();
  }
  static std::string js(const std::shared_ptr<UIWebView>& web, const std::string& script) {
    auto answer = web->stringByEvaluatingJavaScriptFromString(NSString::stringWithUTF8String(script));
    return answer ? answer->utf8() : "";
  }
  static bool waitForPage(const std::shared_ptr<UIWebView>& web, const std::string& path) {
    return waitFor([&] { return !web->isLoading() && js(web, "location.pathname") == path; }, 20);
  }
  // Taps the consent page's button with the device.
  static void tapConsent(const std::shared_ptr<UIWebView>& web) {
    const std::string box = "(function(){var b=document.getElementById('consent').getBoundingClientRect();";
    const double x = std::stod(js(web, box + "return b.left+b.width/2})()"));
    const double y = std::stod(js(web, box + "return b.top+b.height/2})()"));
    device().tap(web->convertPointToView(CGPointMake(x, y), nullptr));
  }
  // Opens the login screen and taps a partner button (4 QQ, 5 Taobao).
  std::shared_ptr<PartnerWebLoginController> openPartner(NSInteger tag) {
    if (!openLoginThroughGate()) return nullptr;
    auto button = presentedLogin()->loginView()->viewWithTag(tag);
    if (!button || !device().tapView(button)) return nullptr;
    device().wait(1);
    return std::dynamic_pointer_cast<PartnerWebLoginController>(presentedStack()->topViewController());
  }
  static void plantWebId(const std::string& value) {
    NSHTTPCookieStorage::sharedHTTPCookieStorage()->setCookie(NSHTTPCookie::cookieWithProperties(NSDictionary::make(
        {{NSHTTPCookieName, "webId"_ns},
         {NSHTTPCookieValue, NSString::stringWithUTF8String(value)},
         {NSHTTPCookieDomain, "127.0.0.1"_ns},
         {NSHTTPCookiePath, "/"_ns}})));
  }
  std::string encodedRoot() const {
    return "http%3A%2F%2F127.0.0.1%3A" + std::to_string(service_->port()) + "%2Findex.php%3Fmod%3Dapi%26act%3D";
  }
};

TEST_F(PartnerLoginTest, QQLogsTheKnownAccountInOnceAndClosesTheLoginStack) {
  launch();
  plantWebId("STALE-OPENID");
  service_->script(zvt::test::ScriptedReply{.op = "OAuth_login", .delayMs = 1500});
  auto screen = openPartner(4);
  ASSERT_TRUE(screen);
  EXPECT_TRUE(std::dynamic_pointer_cast<QQWebViewController>(screen));
  EXPECT_TRUE(device().viewWithText("QQ授权与登录"));
  ASSERT_TRUE(waitForPage(screen->webView(), "/oauth2.0/authorize"));
  EXPECT_EQ(js(screen->webView(), "document.getElementById('title').textContent"), "QQ授权登录");
  auto pages = logOf("/oauth2.0/authorize");
  ASSERT_EQ(pages->count(), 1u);
  EXPECT_EQ(at(pages->objectAtIndex(0), "target"),
            "/oauth2.0/authorize?response_type=code&client_id=734915&redirect_uri=" + encodedRoot() +
                "qqAppLogin&state=c41e7a09f35b2d8e6a10b97c4f2d58e3");
  EXPECT_EQ(at(pages->objectAtIndex(0), "headers.Cookie"), "(nil)") << "the stale webId was deleted";
  zvt::test::runMainLoopUntil([] { return false; }, 0.5);
  EXPECT_EQ(service_->requestCount("OAuth_login"), 0) << "the consent page's load sends nothing";
  device().wait(0.5);
  zvt::test::writeScreenPicture("partner-qq-consent");

  tapConsent(screen->webView());
  ASSERT_TRUE(waitForPage(screen->webView(), "/partner/done.html"))
      << "the second page finishes before the reply; shown: " << js(screen->webView(), "location.href") << " "
      << service_->requestLog("/index.php").substr(0, 400);
  ASSERT_TRUE(waitFor([&] { return delegate_->isLogin(); }));
  device().wait(1);
  EXPECT_EQ(service_->requestCount("OAuth_login"), 1) << "one partner login however many loads finished";
  auto sent = logOf("OAuth_login")->objectAtIndex(0);
  EXPECT_EQ(at(sent, "fields.web"), "qq");
  EXPECT_EQ(at(sent, "fields.webId"), "QQ-OPENID-0001");
  auto loginInfo = NSUserDefaults::standardUserDefaults()->dictionaryForKey("loginInfo"_ns);
  ASSERT_TRUE(loginInfo);
  EXPECT_EQ(at(loginInfo, "web"), "qq");
  EXPECT_EQ(at(loginInfo, "webId"), "QQ-OPENID-0001");
  EXPECT_EQ(at(loginInfo, "userName"), "qq_10002");
  EXPECT_NE(at(loginInfo, "first"), "(nil)");
  EXPECT_FALSE(presentedStack()) << "the whole login stack is dismissed";
  EXPECT_TRUE(pageLogged("QQ登录页"));
}

TEST_F(PartnerLoginTest, TaobaoFirstLoginPushesTheBindingScreenStillLoggedOut) {
  launch();
  auto screen = openPartner(5);
  ASSERT_TRUE(screen);
  EXPECT_TRUE(std::dynamic_pointer_cast<TaoBaoWebViewLoginController>(screen));
  ASSERT_TRUE(waitForPage(screen->webView(), "/authorize"));
  auto pages = logOf("/authorize");
  ASSERT_EQ(pages->count(), 1u);
  EXPECT_EQ(at(pages->objectAtIndex(0), "target"),
            "/authorize?response_type=code&client_id=" + zvt::Configuration::values().taobaoOAuthClientId +
                "&redirect_uri=" + encodedRoot() + "tbAppLogin&view=wap");
  EXPECT_EQ(js(screen->webView(), "document.getElementById('title').textContent"), "淘宝授权登录");
  tapConsent(screen->webView());
  ASSERT_TRUE(waitFor([&] { return std::dynamic_pointer_cast<TZBindingViewController>(presentedStack()->topViewController()) != nullptr; }));
  device().wait(1);
  auto binding = std::dynamic_pointer_cast<TZBindingViewController>(presentedStack()->topViewController());
  auto info = binding->userInfo();
  EXPECT_EQ(at(info, "web"), "tb");
  EXPECT_EQ(at(info, "webId"), "TB-OPENID-0001");
  EXPECT_EQ(at(info, "first"), "1");
  EXPECT_EQ(at(info, "newVer"), "yes");
  EXPECT_FALSE(delegate_->isLogin());
  EXPECT_EQ(presentedStack()->viewControllers().size(), 3u) << "login, Taobao, binding";
  EXPECT_TRUE(pageLogged("淘宝登录页"));
}

TEST_F(PartnerLoginTest, ARefusalKeepsThePageShowsNothingAndStaysLoggedOut) {
  launch();
  service_->request("POST", "/__test/partner", R"({"consent": false})", "application/json");
  // A refusal: the page stays, nothing shows, still logged out. Every finished load sends the
  // partner login again while the cookie holds, and the engine may finish the callback page
  // after the first refusal has come: each of them is refused.
  service_->script(zvt::test::ScriptedReply{.op = "OAuth_login", .code = 202, .msg = "不支持的登录方式", .sticky = true});
  auto screen = openPartner(5);
  ASSERT_TRUE(screen);
  ASSERT_TRUE(waitForPage(screen->webView(), "/partner/done.html")) << "authorize redirected at once";
  ASSERT_TRUE(waitFor([&] { return service_->requestCount("OAuth_login") >= 1; }));
  zvt::test::runMainLoopUntil([] { return false; }, 1);
  device().wait(1);
  ASSERT_TRUE(presentedStack()) << "a refusal is no success: the stack stays";
  EXPECT_EQ(presentedStack()->topViewController(), screen);
  EXPECT_FALSE(device().viewWithText("不支持的登录方式")) << "no alert";
  EXPECT_FALSE(delegate_->isLogin());

}

TEST_F(PartnerLoginTest, FromARegistrationTheCentrePresentedAReplyWithoutFirstLoginClosesThatStack) {
  launch();
  service_->request("POST", "/__test/partner", R"({"consent": false})", "application/json");
  // A known account whose reply carries no "firstLogin" at all.
  service_->script(zvt::test::ScriptedReply{
      .op = "OAuth_login", .code = 101, .dataJSON = R"({"id":"10002","ddusername":"qq_10002","jifen":"300","jifenbao":"50"})",
      .encipher = true});
  delegate_->setRegMethod(nullptr);
  auto registration = zvt::makeScreen("TZRegisterViewController");
  ASSERT_TRUE(registration);
  topScreen()->navigationController()->presentViewController(UINavigationController::initWithRootViewController(registration),
                                                              true);
  device().wait(1);
  auto form = std::dynamic_pointer_cast<TZRegisterViewController>(registration)->registerView();
  ASSERT_TRUE(form);
  ASSERT_TRUE(device().tapView(form->taobaoButton()));
  device().wait(1);
  auto screen = std::dynamic_pointer_cast<TaoBaoWebViewLoginController>(presentedStack()->topViewController());
  ASSERT_TRUE(screen);
  ASSERT_TRUE(waitFor([&] { return delegate_->isLogin(); }));
  device().wait(1);
  EXPECT_FALSE(presentedStack()) << "the registration's stack closed";
  EXPECT_EQ(service_->requestCount("OAuth_login"), 1);
  EXPECT_EQ(at(NSUserDefaults::standardUserDefaults()->dictionaryForKey("loginInfo"_ns), "userName"), "qq_10002");
}

}  // namespace
