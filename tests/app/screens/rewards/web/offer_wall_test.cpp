// The offer wall through the device against the local service playing the provider, under a
// private X display: opened from the earn-money grid's "Kirvo任务" by a logged-in user, the
// provider deciphering the address's token to the user, two screens' tokens, the rules page, and
// no wall without a user.

#include <gtest/gtest.h>

#include <regex>

#include "app/screens/rewards/HelpViewController.h"
#include "app/screens/rewards/TZMakeMoneyViewController.h"
#include "app/screens/rewards/TZWebWallViewController.h"
#include "tests/app/screens/rewards/web/RewardsWebTestSupport.h"

namespace zvt::test {
namespace {

constexpr const char* kWallPage = "/wx/ios/lists.html";

class OfferWallTest : public RewardsWebTest {
 protected:
  void SetUp() override {
    RewardsWebTest::SetUp();
    if (IsSkipped()) return;
    launch();
  }

  // The grid pushed on the home tab, then its "Kirvo任务".
  std::shared_ptr<UIViewController> openFromGrid() {
    homeStack()->pushViewController(makeScreen("TZMakeMoneyViewController"), true);
    device().wait(1);
    if (!device().tapText("Kirvo任务")) return nullptr;
    device().wait(1);
    return topScreen();
  }

  // The "r" of a wall address, as it stands in the address.
  static std::string tokenOf(const std::shared_ptr<TZWebWallViewController>& wall) {
    const std::string address = wall->webWallUrl()->absoluteString()->utf8();
    const auto at = address.find("&r=");
    return at == std::string::npos ? "" : address.substr(at + 3);
  }
};

TEST_F(OfferWallTest, TheProviderReadsTheUserFromTheToken) {
  ASSERT_TRUE(logInDemoUser());
  auto wall = std::dynamic_pointer_cast<TZWebWallViewController>(openFromGrid());
  ASSERT_TRUE(wall);
  EXPECT_EQ(wall->title()->utf8(), "Kirvo任务");
  const std::string address = wall->webWallUrl()->absoluteString()->utf8();
  const std::string page = service_->rootURL() + kWallPage + "?mt=1&ht=0&r=";
  ASSERT_EQ(address.rfind(page, 0), 0u) << address;
  ASSERT_TRUE(waitForPage(wall->webView(), kWallPage));
  device().wait(1);
  // The provider names the user it read in its markup; the page speaks to the user.
  EXPECT_EQ(mark(wall->webView(), "user", "user"), kServiceTestUserId);
  EXPECT_EQ(text(wall->webView(), "user").find(kServiceTestUserId), std::string::npos);
  EXPECT_EQ(lastPageValue(kWallPage, "target"), address.substr(service_->rootURL().size()));
  // The provider deciphered 16 characters of [0-9A-Za-z], the Base64 of the id and "&".
  const std::string prefix = lastPageValue(kWallPage, "notes.prefix");
  EXPECT_TRUE(std::regex_match(prefix, std::regex("[0-9A-Za-z]{16}"))) << prefix;
  EXPECT_EQ(lastPageValue(kWallPage, "notes.user"), kServiceTestUserId);
  EXPECT_EQ(wall->webView()->frame(), CGRectMake(0, 0, 375, 667 - 15));
  EXPECT_TRUE(delegate_->tabBarController()->tabbarView()->isHidden());
  waitForPaint(wall->webView());
  writeScreenPicture("offer-wall");

  // "规则": the rules page under its title.
  ASSERT_TRUE(device().tapView(wall->rulesButton()));
  device().wait(1);
  auto rules = std::dynamic_pointer_cast<TZHelpDetailViewController>(topScreen());
  ASSERT_TRUE(rules);
  EXPECT_EQ(rules->title()->utf8(), "赚积分规则");
  EXPECT_EQ(rules->helpUrl->utf8(), service_->rootURL() + "/wap/help-ios-ads.html");
  ASSERT_TRUE(waitForPage(rules->webView(), "/wap/help-ios-ads.html"));
  EXPECT_EQ(text(rules->webView(), "title"), "赚积分规则");
}

TEST_F(OfferWallTest, EveryScreenHasATokenOfItsOwnWithTheSamePublisherAndQuery) {
  ASSERT_TRUE(logInDemoUser());
  auto first = TZWebWallViewController::make(), second = TZWebWallViewController::make();
  ASSERT_TRUE(first->webWallUrl() && second->webWallUrl());
  const std::string a = tokenOf(first), b = tokenOf(second);
  EXPECT_NE(a, b) << "the random prefix";
  EXPECT_EQ(a.substr(0, 16), TZWebWallViewController::kPublisherId);
  EXPECT_EQ(b.substr(0, 16), TZWebWallViewController::kPublisherId);
  for (const std::string& token : {a, b}) {
    SCOPED_TRACE(token);
    EXPECT_EQ(token.find_first_of("+/="), std::string::npos) << "escaped";
    EXPECT_NE(token.find("%"), std::string::npos);
  }
  const auto query = [](const std::shared_ptr<TZWebWallViewController>& wall) {
    const std::string address = wall->webWallUrl()->absoluteString()->utf8();
    return address.substr(0, address.find("&r=") + 3);
  };
  EXPECT_EQ(query(first), query(second));
}

TEST_F(OfferWallTest, WithoutAUserNothingLoads) {
  // The grid's item asks for a login instead.
  auto shown = openFromGrid();
  EXPECT_EQ(shown->className(), "TZMakeMoneyViewController");
  ASSERT_TRUE(presented());
  EXPECT_EQ(std::dynamic_pointer_cast<UINavigationController>(presented())->viewControllers().front()->className(),
            "TZLoginViewController");
  presented()->dismissViewControllerAnimated(false);
  device().wait(1);
  // A wall made anyway builds no token and loads nothing.
  auto wall = TZWebWallViewController::make();
  EXPECT_FALSE(wall->webWallUrl());
  homeStack()->pushViewController(wall, true);
  device().wait(1);
  waitFor([] { return false; }, 1);
  EXPECT_FALSE(wall->webView()->isLoading());
  EXPECT_EQ(pageRequests(kWallPage), 0u);
}

TEST_F(OfferWallTest, AForeignTokenGetsTheErrorPage) {
  for (const std::string& r : {std::string(""), std::string("e07c29d4a1f5b83cAAAA"), std::string("0000000000000000abc")}) {
    SCOPED_TRACE(r);
    auto reply = service_->request("GET", std::string(kWallPage) + "?mt=1&ht=0&r=" + r);
    EXPECT_EQ(reply.status, 400);
    EXPECT_NE(reply.body.find("任务加载失败"), std::string::npos);
  }
}

}  // namespace
}  // namespace zvt::test
