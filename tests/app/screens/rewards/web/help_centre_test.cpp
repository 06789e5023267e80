// The help centre through the device against the local service, under a private X display:
// the four help pages, the telephone alert, the rows it pushes, and the customer-service chat.

#include <gtest/gtest.h>

#include "app/screens/rewards/FeedbackViewController.h"
#include "app/screens/rewards/HelpViewController.h"
#include "app/screens/rewards/RewardsScreens.h"
#include "app/screens/rewards/TZServerQQViewController.h"
#include "foundation/json/JSONDecoder.h"
#include "platform/uikit/UIApplication.h"
#include "tests/app/core/ShellTestSupport.h"
#include "tests/support/ui/XvfbDisplay.h"
#include "ui/hud/POProgressHUD.h"

namespace zvt::test {
namespace {

class HelpCentreTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    ZVT_REQUIRE_DISPLAY();
    registerRewardsScreens();
    launch();
    opened_ = UIApplication::sharedApplication()->openedURLs().size();
  }

  std::shared_ptr<UINavigationController> homeStack() const {
    return std::dynamic_pointer_cast<UINavigationController>(delegate_->tabBarController()->viewControllers().front());
  }

  // Pushed on the home tab as the personal centre pushes it.
  std::shared_ptr<HelpViewController> open() {
    homeStack()->pushViewController(makeScreen("HelpViewController"), true);
    device().wait(1);
    return std::dynamic_pointer_cast<HelpViewController>(topScreen());
  }

  // The addresses handed to the system since the test began.
  std::vector<std::string> opened() const {
    std::vector<std::string> out;
    auto all = UIApplication::sharedApplication()->openedURLs();
    for (size_t i = opened_; i < all.size(); ++i) out.push_back(all[i]->absoluteString()->utf8());
    return out;
  }

  static bool spinnerShows() {
    for (const auto& hud : device().viewsOfClass<POProgressHUD>()) {
      if (hud->mode() == POProgressHUDModeIndeterminate && !hud->isHidden()) return true;
    }
    return false;
  }

  size_t pageRequests(const std::string& path) const {
    auto log = std::dynamic_pointer_cast<NSArray>(objectFromJSONString(*NSString::stringWithUTF8String(service_->requestLog(path, "page"))));
    return log ? log->count() : 0;
  }

  size_t opened_ = 0;
};

TEST_F(HelpCentreTest, TheFourTopicsOpenTheirPagesWithTheSpinnerUntilTheyFinish) {
  auto help = open();
  ASSERT_TRUE(help);
  writeScreenPicture("help-centre");
  const char* const titles[] = {"新手一分钟", "购物问题", "账号问题", "提现问题"};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(titles[i]);
    const std::string path = "/wap/help-" + std::to_string(i + 1) + ".php";
    // The page is held back a moment, so the spinner can be seen while it loads.
    service_->script(ScriptedReply{.op = path, .iface = "page", .delayMs = 600});
    ASSERT_TRUE(device().tapText(titles[i]));
    device().wait(0.6);
    auto page = std::dynamic_pointer_cast<TZHelpDetailViewController>(topScreen());
    ASSERT_TRUE(page);
    EXPECT_EQ(page->title()->utf8(), titles[i]);
    EXPECT_EQ(page->helpUrl->utf8(), service_->rootURL() + path);
    EXPECT_TRUE(waitFor([&] { return spinnerShows(); }, 5)) << "the spinner while the page loads";
    ASSERT_TRUE(waitFor([&] { return !page->webView()->isLoading() && pageRequests(path) == 1; }, 20));
    device().wait(1);
    EXPECT_FALSE(spinnerShows());
    auto shown = page->webView()->stringByEvaluatingJavaScriptFromString("document.getElementById('title').textContent"_ns);
    EXPECT_EQ(shown ? shown->utf8() : "", titles[i]);
    if (i == 0) {
      waitFor([] { return false; }, 0.5);
      device().wait(0.5);
      writeScreenPicture("help-page");
    }
    homeStack()->popViewControllerAnimated(false);
    device().wait(0.5);
  }
}

TEST_F(HelpCentreTest, ADroppedPageKeepsTheFailureOnScreen) {
  auto help = open();
  ASSERT_TRUE(help);
  // Every go is cut: the engine sends a load cut on a kept-alive connection again, once for
  // each idle connection it holds and then over a new one.
  service_->script(ScriptedReply{.op = "/wap/help-2.php", .iface = "page", .drop = true, .sticky = true});
  ASSERT_TRUE(device().tapText("购物问题"));
  device().wait(0.6);
  auto page = std::dynamic_pointer_cast<TZHelpDetailViewController>(topScreen());
  ASSERT_TRUE(page);
  ASSERT_TRUE(waitFor([] { return device().viewWithText("加载失败") != nullptr; }, 20));
  const size_t asked = pageRequests("/wap/help-2.php");
  device().wait(10);
  waitFor([] { return false; }, 1);
  EXPECT_TRUE(device().viewWithText("加载失败"));
  EXPECT_FALSE(page->webView()->isLoading());
  EXPECT_EQ(pageRequests("/wap/help-2.php"), asked) << "no further load";
  writeScreenPicture("help-page-failed");
}

TEST_F(HelpCentreTest, ThePhoneRowAsksAndDialsOnce) {
  const std::string number = Configuration::values().customerServiceTelephone;
  ASSERT_TRUE(open());
  ASSERT_TRUE(device().tapText(number));
  device().wait(0.5);
  EXPECT_TRUE(device().viewWithText("拨打客服电话"));
  EXPECT_TRUE(device().viewWithText(number + " （免长途费）"));
  ASSERT_TRUE(device().tapText("取消"));
  device().wait(0.5);
  EXPECT_TRUE(opened().empty());
  ASSERT_TRUE(device().tapText(number));
  device().wait(0.5);
  ASSERT_TRUE(device().tapText("拨打"));
  device().wait(0.5);
  EXPECT_EQ(opened(), std::vector<std::string>{"tel://" + number});
  EXPECT_EQ(ui::AlertPresenter::shared().count(), 0u);
}

TEST_F(HelpCentreTest, RowsPushTheirScreensAndStayUnselected) {
  struct Case {
    const char* tapped;
    const char* pushed;
  };
  const Case cases[] = {{"意见反馈", "FeedbackViewController"}, {"回扣教程", "CourseViewController"}, {"QQ在线客服", "TZServerQQViewController"}};
  auto help = open();
  ASSERT_TRUE(help);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tapped);
    ASSERT_TRUE(device().tapText(c.tapped));
    device().wait(1);
    EXPECT_EQ(topClass(), c.pushed);
    homeStack()->popViewControllerAnimated(false);
    device().wait(0.5);
    EXPECT_EQ(help->tableView()->indexPathForSelectedRow(), nullptr);
  }
}

TEST_F(HelpCentreTest, EveryChatTapHandsTheQQAddressToTheSystem) {
  ASSERT_TRUE(open());
  ASSERT_TRUE(device().tapText("QQ在线客服"));
  device().wait(1);
  auto chat = std::dynamic_pointer_cast<TZServerQQViewController>(topScreen());
  ASSERT_TRUE(chat);
  EXPECT_EQ(chat->title()->utf8(), "Zavelto客服");
  writeScreenPicture("customer-service");
  const std::string address = "mqq://im/chat?chat_type=wpa&uin=" + Configuration::values().customerServiceQQ + "&version=1&src_type=web";
  for (int tap = 1; tap <= 3; ++tap) {
    ASSERT_TRUE(device().tapText("QQ交谈"));
    ASSERT_TRUE(waitFor([&] { return opened().size() == static_cast<size_t>(tap); }, 10));
    device().wait(0.5);
  }
  EXPECT_EQ(opened(), std::vector<std::string>(3, address));
  EXPECT_EQ(topScreen(), chat);
  EXPECT_EQ(ui::AlertPresenter::shared().count(), 0u);
}

}  // namespace
}  // namespace zvt::test
