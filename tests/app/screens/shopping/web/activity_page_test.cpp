// The activity page: the address with wv=1, the "upLogin" bridge presenting the login screen and
// the page fetched again after it, the back item walking the page's history and bringing up
// "关闭", the failure tip; the affiliate search page's title and items.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "app/screens/shopping/ActivityZoneViewController.h"
#include "app/screens/shopping/SearchResultViewController.h"
#include "tests/app/screens/shopping/web/WebScreenTestSupport.h"

namespace {

using nlohmann::json;
using zvt::test::WebScreenTest;
using zvt::test::runMainLoopUntil;

std::shared_ptr<NSString> str(const std::string& s) { return NSString::stringWithUTF8String(s); }

// A loopback port nobody listens on (a free one, so never one the engine refuses outright).
int closedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), length);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

TEST(ActivityAddress, TheWebViewMarkJoinsTheQueryOrStartsIt) {
  const struct {
    const char* address;
    const char* loaded;
  } cases[] = {
      {"http://h/wap/activity.php?id=1", "http://h/wap/activity.php?id=1&wv=1"},
      {"http://h/a?x=1&y=2", "http://h/a?x=1&y=2&wv=1"},
      {"http://h/a", "http://h/a?wv=1"},
      {"http://h/a#top", "http://h/a?wv=1#top"},
      {"http://h/a?x=1#top", "http://h/a?x=1&wv=1#top"},
      {"http://h/a?", "http://h/a?&wv=1"},
  };
  for (const auto& c : cases) EXPECT_EQ(ActivityZoneViewController::addressWithWebViewMark(c.address), c.loaded) << c.address;
}

class ActivityPageTest : public WebScreenTest {
 protected:
  std::shared_ptr<ActivityZoneViewController> openActivity(const std::string& address, const char* name) {
    std::vector<std::pair<const char*, id>> properties = {{"activityZoneUrl", str(address)}, {"isShare", "1"_ns}};
    if (name) properties.push_back({"activityZoneName", str(name)});
    return open<ActivityZoneViewController>("ActivityZoneViewController", properties);
  }
  int pageFetches() const { return service_->requestCount("/wap/activity.php"); }
};

TEST_F(ActivityPageTest, ThePageAsksForTheLoginAndShowsAfreshWhenTheScreenComesBack) {
  launch();
  // Each activity the home screen links to (banners, pictures, the check-in page's promotion)
  // opens as its opener opens it, on a page of the title the link gives the screen.
  const json config = json::parse(service_->request("GET", "/api/client.php?m=get_ios_config").body, nullptr, false);
  size_t activities = 0;
  for (const char* list : {"banner", "middleBanner", "blockBanner", "signPage"}) {
    for (const json& item : config.value(list, json::array())) {
      if (item.value("local", "") != "0") continue;
      const std::string name = item.value("name", "");
      SCOPED_TRACE(name);
      auto shown = openActivity(item.value("link", ""), name.c_str());
      ASSERT_TRUE(waitForPage(shown->customWebView(), "/wap/activity.php"));
      EXPECT_EQ(shown->title()->utf8(), name);
      EXPECT_EQ(js(shown->customWebView(), "document.querySelector('header').textContent"), name);
      homeStack()->popViewControllerAnimated(false);
      device().wait(1);
      ++activities;
    }
  }
  EXPECT_EQ(activities, 5u);
  service_->clearLog();

  auto screen = openActivity(service_->rootURL() + "/wap/activity.php?id=9", "签到攻略");
  auto web = screen->customWebView();
  ASSERT_TRUE(waitForPage(web, "/wap/activity.php"));
  EXPECT_EQ(js(web, "location.search"), "?id=9&wv=1");
  EXPECT_EQ(screen->title()->utf8(), "签到攻略");
  EXPECT_EQ(web->frame().size.height, longerSide() - 15);
  EXPECT_EQ(pageFetches(), 1);
  EXPECT_EQ(screen->navigationItem()->leftBarButtonItems().size(), 1u);
  waitForPaint(web);
  zvt::test::writeScreenPicture("activity-page");

  // The page's own button calls upLogin(): the login screen comes up over the page.
  tapElement(web, "login");
  ASSERT_TRUE(waitFor([&] { return presented() != nullptr; }, 10));
  device().wait(1);
  auto login = std::dynamic_pointer_cast<UINavigationController>(presented());
  ASSERT_TRUE(login);
  EXPECT_EQ(login->viewControllers().front()->className(), "TZLoginViewController");
  login->dismissViewControllerAnimated(true);
  device().wait(1);
  ASSERT_TRUE(waitFor([&] { return pageFetches() == 2 && !web->isLoading(); }));

  // The bridge holds in the page loaded again: a second call presents the login once more.
  tapElement(web, "login");
  ASSERT_TRUE(waitFor([&] { return presented() != nullptr; }, 10));
  device().wait(1);
  presented()->dismissViewControllerAnimated(false);
  device().wait(1);
  ASSERT_TRUE(waitFor([&] { return pageFetches() == 3 && !web->isLoading(); }));

  // Back walks the page's history, adding "关闭" once; without history it leaves.
  tapElement(web, "rules");
  ASSERT_TRUE(waitForPage(web, "/shop/detail.html"));
  ASSERT_TRUE(tapBarItem(screen->backItem()));
  ASSERT_TRUE(waitForPage(web, "/wap/activity.php"));
  ASSERT_EQ(screen->navigationItem()->leftBarButtonItems().size(), 2u);
  EXPECT_EQ(screen->navigationItem()->leftBarButtonItems()[1], screen->closeItem());
  EXPECT_TRUE(device().viewWithText("关闭"));
  EXPECT_EQ(homeStack()->topViewController(), screen);
  ASSERT_TRUE(device().tapText("关闭"));
  device().wait(1);
  EXPECT_NE(homeStack()->topViewController(), screen);
}

TEST_F(ActivityPageTest, APageThatCannotLoadShowsTheTipForTwoSeconds) {
  launch();
  const std::string addresses[] = {
      service_->rootURL() + "/shop/gone.php?id=1",                        // the shop cuts the connection
      "http://127.0.0.1:" + std::to_string(closedPort()) + "/wap/activity.php?id=1",  // nobody listens
  };
  for (const auto& address : addresses) {
    SCOPED_TRACE(address);
    auto screen = openActivity(address, nullptr);
    EXPECT_EQ(screen->title()->utf8(), "浏览网页");
    ASSERT_TRUE(waitFor([&] { return device().viewWithText("加载失败") != nullptr; }));
    device().wait(1.5);
    EXPECT_TRUE(device().viewWithText("加载失败"));
    device().wait(1);
    EXPECT_FALSE(device().viewWithText("加载失败"));
    // A back tap without history leaves.
    ASSERT_TRUE(tapBarItem(screen->backItem()));
    device().wait(1);
    EXPECT_NE(homeStack()->topViewController(), screen);
  }
}

TEST_F(ActivityPageTest, TheAffiliateSearchPageLetsEveryLinkThroughUnderItsOwnTitle) {
  launch();
  const std::string address = service_->rootURL() + "/search.html?pid=mm_1_2_3&q=%E4%BF%9D%E6%B8%A9%E6%9D%AF&unid=0";
  auto screen = open<SearchResultViewController>("SearchResultViewController",
                                                 {{"titleString", str("保温杯")}, {"urlString", str(address)}});
  ASSERT_TRUE(screen);
  auto web = screen->webView();
  ASSERT_TRUE(waitForPage(web, "/search.html"));
  EXPECT_EQ(screen->title()->utf8(), "淘宝回扣");
  EXPECT_EQ(text(web, "query"), "搜索：保温杯");
  EXPECT_EQ(web->frame().size.height, longerSide() - 64);
  // A result opens the shop's page in the same view (nothing is filtered).
  js(web, "document.querySelector('section a').id='first'");
  tapElement(web, "first");
  ASSERT_TRUE(waitForPage(web, "/item.php"));
  EXPECT_EQ(mark(web, "item", "uid"), "0") << "the unid reaches the shop";
  // Back inside the page, then out; "关闭" would have left at once.
  ASSERT_TRUE(tapBarItem(screen->navigationItem()->leftBarButtonItems().front()));
  ASSERT_TRUE(waitForPage(web, "/search.html"));
  EXPECT_EQ(homeStack()->topViewController(), screen);
  ASSERT_TRUE(device().tapText("关闭"));
  device().wait(1);
  EXPECT_NE(homeStack()->topViewController(), screen);
}

}  // namespace
