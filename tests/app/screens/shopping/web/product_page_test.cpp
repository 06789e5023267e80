// The product page through the launched shell: the rebate link road (time stamp, then the signed
// click link) against the service, the login bar and the reload with the user's id after a login
// begun from it, cookies between the page and the application, the mall redirect, the search
// results' operation, the silent failures, the link filter with a shop page that tries every
// refused address, and no spinner over the shops' login pages.

#include <nlohmann/json.hpp>

#include "app/screens/account/TZLoginView.h"
#include "platform/uikit/UITextField.h"
#include "app/api/ZVTServerProtocol.h"
#include "app/screens/shopping/WebDetailViewController.h"
#include "platform/network/NSHTTPCookie.h"
#include "tests/app/screens/shopping/web/WebScreenTestSupport.h"
#include "ui/hud/POProgressHUD.h"

namespace {

using nlohmann::json;
using zvt::test::WebScreenTest;
using zvt::test::runMainLoopUntil;

std::shared_ptr<NSString> str(const std::string& s) { return NSString::stringWithUTF8String(s); }
id yes() { return NSNumber::numberWithBool(true); }

class ProductPageTest : public WebScreenTest {
 protected:
  std::shared_ptr<WebDetailViewController> openProduct(const char* iid, const char* goodsId, bool fromSearch = false) {
    std::vector<std::pair<const char*, id>> properties = {{"taoBao_goodsId", str(iid)}, {"isProductPush", yes()}};
    if (goodsId) properties.push_back({"goodsId", str(goodsId)});
    if (fromSearch) properties.push_back({"isSearchResultPush", yes()});
    return open<WebDetailViewController>("WebDetailViewController", properties);
  }

  json requests(const char* op) const { return json::parse(service_->requestLog(op)); }
  json lastRequest(const char* op) const {
    json log = requests(op);
    return log.empty() ? json() : log.back();
  }

  // Logs in as the demo user on the login screen shown: name, password, "登录"; the screen
  // goes away once the service has answered.
  void logInOnTheLoginScreen() {
    std::shared_ptr<UITextField> name, password;
    for (const auto& field : device().viewsOfClass<UITextField>()) (field->isSecureTextEntry() ? password : name) = field;
    ASSERT_TRUE(name && password);
    ASSERT_TRUE(device().tapView(name));
    device().wait(0.5);
    name->setText(nullptr);
    ASSERT_TRUE(device().typeText(zvt::test::kServiceTestUserName));
    ASSERT_TRUE(device().tapView(password));
    device().wait(0.5);
    ASSERT_TRUE(device().typeText(zvt::test::kServiceTestUserPassword));
    auto form = device().viewsOfClass<TZLoginView>();
    ASSERT_EQ(form.size(), 1u);
    ASSERT_TRUE(device().tapView(form.front()->loginButton()));
    ASSERT_TRUE(waitFor([&] {
      device().wait(0.1);
      return presented() == nullptr;
    }));
    device().wait(1);
  }

  // The page of every address the filter refuses is no shop's link: the test puts a link to it
  // at the top of the page shown and taps that, as a shopper taps a link.
  static void openTheLinksPage(const std::shared_ptr<UIWebView>& web) {
    js(web, "(function(){var a=document.createElement('a');a.id='links';a.href='/shop/links.html';"
            "a.textContent='店铺链接';document.body.insertBefore(a,document.body.firstChild);})()");
    tapElement(web, "links");
  }

  static std::string cookieNamed(const char* name) {
    auto cookies = NSHTTPCookieStorage::sharedHTTPCookieStorage()->cookies();
    for (NSUInteger i = 0; cookies && i < cookies->count(); ++i) {
      auto cookie = zvt::as<NSHTTPCookie>(cookies->objectAtIndex(i));
      if (cookie && cookie->name()->utf8() == name) return cookie->value()->utf8();
    }
    return "";
  }
};

TEST_F(ProductPageTest, LoggedOutTheBarOffersTheLoginAndAfterItThePageComesBackWithTheUser) {
  launch();
  const std::string iid = "520000000000";
  auto screen = openProduct(iid.c_str(), "1000");
  ASSERT_TRUE(screen);
  auto web = screen->webView();
  ASSERT_TRUE(waitForPage(web, "/item.php"));

  // The road: the time stamp as a form, then the signed click link with the user "0".
  json time = lastRequest("get_time");
  ASSERT_TRUE(time.is_object());
  EXPECT_EQ(time["iface"], "json");
  EXPECT_EQ(time["form"], "form");
  EXPECT_EQ(time["fields"], json({{"code", zvt::timeRequestCode()->utf8()}}));
  json click = lastRequest("click_url");
  ASSERT_TRUE(click.is_object());
  EXPECT_EQ(click["iface"], "enciphered");
  EXPECT_EQ(click["form"], "form");
  EXPECT_EQ(click["signature"], "ok") << "code = MD5(MD5(secret) + time) with the time handed out";
  EXPECT_EQ(click["fields"]["good_iid"], iid);
  EXPECT_EQ(click["fields"]["good_id"], "1000");
  EXPECT_EQ(click["fields"]["uid"], "0");
  EXPECT_LT(time["seq"].get<int>(), click["seq"].get<int>());

  // The page served for the click link, below the bar: the item, credited to nobody, without a
  // session; the page shows the item only.
  EXPECT_EQ(mark(web, "item", "iid") + " " + mark(web, "item", "uid"), iid + " 0");
  EXPECT_EQ(mark(web, "item", "session"), "");
  EXPECT_FALSE(text(web, "title").empty());
  EXPECT_EQ(text(web, "item").find(iid), std::string::npos);
  EXPECT_EQ(screen->title()->utf8(), "商品详情");
  const CGFloat L = longerSide();
  EXPECT_EQ(web->frame().size.height, L - 64 - 50);
  auto bar = device().viewWithText("暂未登录Zavelto，登录后才有回扣哦！");
  ASSERT_TRUE(bar);
  EXPECT_EQ(bar->superview()->frame().origin.y, L - 64 - 50);
  EXPECT_EQ(bar->superview()->frame().size.height, 50);
  EXPECT_EQ(cookieNamed("ZVTSHOP"), "item-" + iid) << "a cookie the page set is in the application's store";
  waitForPaint(web);
  zvt::test::writeScreenPicture("product-page-logged-out");

  // The bar's button presents the login screen in a stack of its own.
  ASSERT_TRUE(device().tapText("登录"));
  device().wait(1);
  auto login = std::dynamic_pointer_cast<UINavigationController>(presented());
  ASSERT_TRUE(login);
  EXPECT_EQ(login->viewControllers().front()->className(), "TZLoginViewController");
  service_->clearLog();
  logInOnTheLoginScreen();

  // Back on the page: no bar, full height, the link asked for again with the user's id, and the
  // login's session cookie sent with the page's request.
  EXPECT_FALSE(screen->tipsView());
  EXPECT_FALSE(device().viewWithText("暂未登录Zavelto，登录后才有回扣哦！"));
  EXPECT_EQ(web->frame().size.height, L - 64);
  ASSERT_TRUE(waitFor([&] { return requests("click_url").size() == 1; }));
  EXPECT_EQ(lastRequest("click_url")["fields"]["uid"], zvt::test::kServiceTestUserId);
  ASSERT_TRUE(waitFor([&] { return !web->isLoading() && mark(web, "item", "uid") == zvt::test::kServiceTestUserId; }));
  EXPECT_EQ(mark(web, "item", "session"), zvt::test::kServiceTestUserId);
  json page = lastRequest("/item.php");
  EXPECT_EQ(page["session_user"], zvt::test::kServiceTestUserId);
  waitForPaint(web);
  zvt::test::writeScreenPicture("product-page-logged-in");
}

TEST_F(ProductPageTest, SearchResultsAskForTheirOwnLinkAndMallsGoThroughTheRedirect) {
  launch();
  auto fromSearch = openProduct("520000007919", nullptr, true);
  ASSERT_TRUE(waitForPage(fromSearch->webView(), "/item.php"));
  EXPECT_EQ(requests("click_url").size(), 0u);
  json click = lastRequest("search_goods_click_url");
  ASSERT_TRUE(click.is_object());
  EXPECT_EQ(click["fields"]["good_id"], "0") << "no goodsId";
  EXPECT_EQ(click["fields"]["good_iid"], "520000007919");
  EXPECT_EQ(click["signature"], "ok");
  homeStack()->popViewControllerAnimated(false);
  device().wait(1);

  service_->clearLog();
  auto mall = open<WebDetailViewController>(
      "WebDetailViewController", {{"goodsId", str("1")}, {"isStorePush", yes()}, {"titleString", str("天猫商城")}});
  ASSERT_TRUE(waitForPage(mall->webView(), "/shop/mall.php"));
  EXPECT_EQ(requests("get_time").size(), 0u) << "a mall is not signed";
  json goMall = lastRequest("go_mall");
  ASSERT_TRUE(goMall.is_object());
  EXPECT_EQ(goMall["method"], "GET");
  EXPECT_EQ(goMall["fields"], json({{"id", "1"}, {"uid", "0"}}));
  EXPECT_EQ(mall->title()->utf8(), "天猫商城");
  // Logged out the mall's page says the rebate takes a login, and records none.
  EXPECT_EQ(mark(mall->webView(), "mall", "uid"), "0");
  EXPECT_NE(text(mall->webView(), "rebate").find("登录Zavelto后购物才有返利"), std::string::npos);
  EXPECT_EQ(text(mall->webView(), "rebate").find("已记录"), std::string::npos);
  homeStack()->popViewControllerAnimated(false);
  device().wait(1);

  // A logged-in user's mall purchase is credited to that user.
  auto record = NSMutableDictionary::dictionary();
  record->setObject(str(zvt::test::kServiceTestUserId), "id"_ns);
  delegate_->setIsLogin(true);
  delegate_->setUserInfoDictionary(record);
  service_->clearLog();
  auto ownMall = open<WebDetailViewController>(
      "WebDetailViewController", {{"goodsId", str("1")}, {"isStorePush", yes()}, {"titleString", str("天猫商城")}});
  ASSERT_TRUE(waitForPage(ownMall->webView(), "/shop/mall.php"));
  goMall = lastRequest("go_mall");
  ASSERT_TRUE(goMall.is_object());
  EXPECT_EQ(goMall["fields"], json({{"id", "1"}, {"uid", zvt::test::kServiceTestUserId}}));
  EXPECT_EQ(mark(ownMall->webView(), "mall", "uid"), zvt::test::kServiceTestUserId);
  EXPECT_NE(text(ownMall->webView(), "rebate").find("本次购物的返利已记录"), std::string::npos);
}

TEST_F(ProductPageTest, FailuresOnTheLinkRoadLeaveThePageEmptyWithoutAWord) {
  launch();
  struct Case {
    const char* what;
    zvt::test::ScriptedReply script;
    size_t clickRequests;
  };
  const std::vector<Case> cases = {
      {"time stamp code 102", {.op = "get_time", .iface = "json", .code = 102, .extraJSON = R"({"time":"1700000000"})"}, 0},
      {"time stamp without time", {.op = "get_time", .iface = "json", .omitTime = true}, 0},
      {"time stamp failed", {.op = "get_time", .iface = "json", .httpStatus = 500}, 0},
      {"click link failed", {.op = "click_url", .httpStatus = 500}, 1},
      {"click link code 102", {.op = "click_url", .code = 102, .msg = "商品已下架"}, 1},
      {"click link without click_url", {.op = "click_url", .code = 101, .dataJSON = "{}"}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    service_->clearLog();
    service_->script(c.script);
    auto screen = openProduct("520000000000", "1000");
    ASSERT_TRUE(waitFor([&] { return requests("get_time").size() == 1 && requests("click_url").size() == c.clickRequests; }));
    device().wait(1);
    runMainLoopUntil([] { return false; }, 0.5);
    EXPECT_FALSE(screen->webView()->request()) << "nothing loaded";
    EXPECT_TRUE(device().viewsOfClass<POProgressHUD>().empty()) << "no tip";
    EXPECT_EQ(requests("click_url").size(), c.clickRequests);
    homeStack()->popViewControllerAnimated(false);
    device().wait(1);
  }
}

TEST_F(ProductPageTest, TheShopsLoginPagesLoadWithoutTheSpinner) {
  launch();
  // The links page's one link to the service under its second name ("localhost") stands in for
  // a shop's login page: that name is made the login host, and the store's host another one.
  const std::string secondName = "localhost:" + std::to_string(service_->port());
  const std::string path = "/cn/app/id1077360584";
  struct Case {
    const char* what;
    std::string zvt::ConfigurationValues::*host;  // made the second name; nil: none is
    bool spinner;
  };
  const Case cases[] = {
      {"Taobao's login page", &zvt::ConfigurationValues::taobaoLoginHost, false},
      {"Tmall's login page", &zvt::ConfigurationValues::tmallLoginHost, false},
      {"another shop's page", nullptr, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto values = zvt::Configuration::values();
    values.appStoreWebHost = "apps.example.invalid";
    values.taobaoLoginHost = "login.example.invalid";
    values.tmallLoginHost = "login.example.invalid";
    if (c.host) values.*c.host = secondName;
    zvt::Configuration::setValues(values);
    auto screen = openProduct("520000000000", "1000");
    auto web = screen->webView();
    ASSERT_TRUE(waitForPage(web, "/item.php"));
    openTheLinksPage(web);
    ASSERT_TRUE(waitForPage(web, "/shop/links.html"));
    device().wait(1);
    ASSERT_TRUE(device().viewsOfClass<POProgressHUD>().empty());
    // The page is held on its way, so that what shows while it loads can be seen.
    service_->script(zvt::test::ScriptedReply{.op = path, .stall = true});
    const int asked = service_->requestCount(path);
    tapElement(web, "store");
    ASSERT_TRUE(waitFor([&] { return service_->requestCount(path) > asked; }));
    device().wait(0.5);
    EXPECT_EQ(!device().viewsOfClass<POProgressHUD>().empty(), c.spinner);
    homeStack()->popToRootViewControllerAnimated(false);
    device().wait(1);
  }
}

TEST(LinkFilter, RefusesTheDownloadPagesAppLinksBlankAndTheStore) {
  zvt::ConfigurationScope scope;
  auto values = zvt::Configuration::values();
  values.serverRoot = "http://127.0.0.1:9";
  values.tmallPagesHost = "tm.example";
  values.partnerPagesHost = "";  // the service's own host
  values.taobaoMobileHost = "m.example";
  values.appStoreWebHost = "store.example";
  zvt::Configuration::setValues(values);
  const struct {
    const char* address;
    bool allowed;
  } cases[] = {
      {"https://tm.example/wow/portal/act/app-download?src=detailupper1", false},
      {"https://tm.example/wow/portal/act/app-download?src=detailupper2", true},
      {"https://tm.example/wow/portal/act/app-download", true},
      {"http://tm.example/wow/portal/act/app-download?src=detailupper1", true},
      {"http://127.0.0.1:9/market/laiwang/tmall/app-download.php?src=detailupper1", false},
      {"http://127.0.0.1:9/market/laiwang/tmall/app-download.php", true},
      {"http://m.example/hd/downLoadAnroidSimple.html", false},
      {"http://m.example/hd/downLoadAnroidSimple.html?from=x&y=1", false},
      {"http://m.example/hd/downLoadAnroidSimple.htm", true},
      {"https://m.example/hd/downLoadAnroidSimple.html", true},
      {"about:blank", false},
      {"about:blank#x", true},
      {"taobao://item.taobao.com/item.htm?id=1", false},
      {"tmall://page.tm/shop", false},
      {"Taobao://item", true},
      {"taobaox://item", true},
      {"https://store.example/cn/app/id1", false},
      {"http://store.example", false},
      {"https://store.example:443/cn/app/id1", true},
      {"https://other.example/store.example/", true},
      {"https://item.taobao.com/item.htm?id=1", true},
      {"mailto:someone@example.com", true},
      {"", true},
  };
  for (const auto& c : cases) EXPECT_EQ(WebDetailViewController::allowsURLText(c.address), c.allowed) << c.address;
}

TEST_F(ProductPageTest, RefusedShopLinksLeaveThePageAndItsHistoryAsTheyWere) {
  launch();
  auto screen = openProduct("520000000000", "1000");
  auto web = screen->webView();
  ASSERT_TRUE(waitForPage(web, "/item.php"));
  EXPECT_EQ(js(web, "document.querySelectorAll('a[href*=\"links.html\"]').length"), "0") << "no shop page offers it";
  openTheLinksPage(web);
  ASSERT_TRUE(waitForPage(web, "/shop/links.html"));
  const std::string links = js(web, "location.href");
  const std::string history = js(web, "history.length");
  service_->clearLog();

  for (const char* id : {"tmall-download", "partner-download", "taobao-download", "taobao-download-query", "blank",
                         "taobao-app", "tmall-app", "store"}) {
    SCOPED_TRACE(id);
    const std::string target = js(web, std::string("document.getElementById('") + id + "').href");
    tapElement(web, id);
    ASSERT_TRUE(waitFor([&] { return screen->currentUrl() && screen->currentUrl()->utf8() == target; }, 10));
    runMainLoopUntil([] { return false; }, 0.3);
    EXPECT_EQ(js(web, "location.href"), links);
    EXPECT_EQ(js(web, "history.length"), history);
  }
  EXPECT_EQ(json::parse(service_->requestLog()).size(), 0u) << "no refused page was asked for";

  // Another shop page loads and enters the history; the back item walks back through it before
  // it leaves the screen, "关闭" leaves at once.
  tapElement(web, "other");
  ASSERT_TRUE(waitForPage(web, "/shop/other.html"));
  EXPECT_EQ(text(web, "other"), "别家店铺的宝贝");
  auto back = screen->navigationItem()->leftBarButtonItems().front();
  for (const char* path : {"/shop/links.html", "/item.php"}) {
    ASSERT_TRUE(tapBarItem(back));
    ASSERT_TRUE(waitForPage(web, path));
    EXPECT_EQ(homeStack()->topViewController(), screen);
  }
  ASSERT_TRUE(tapBarItem(back));
  device().wait(1);
  EXPECT_NE(homeStack()->topViewController(), screen);

  auto again = openProduct("520000000000", "1000");
  ASSERT_TRUE(waitForPage(again->webView(), "/item.php"));
  openTheLinksPage(again->webView());
  ASSERT_TRUE(waitForPage(again->webView(), "/shop/links.html"));
  ASSERT_TRUE(device().tapText("关闭"));
  device().wait(1);
  EXPECT_NE(homeStack()->topViewController(), again);
}

}  // namespace
