// The failure views' "点击重试" of the paged lists, through the device against the local service:
// with a later page failed and its retry held at the service, further taps on the retry (while
// the loading overlay, where there is one, fades in, and after) send nothing, and once the
// reply comes the list holds each page once.

#include "app/screens/rewards/TZMessageViewController.h"
#include "app/screens/shopping/NewSearchResultViewController.h"
#include "tests/app/screens/rewards/MoneyTestSupport.h"
#include "ui/refresh/PRRefreshFooter.h"

namespace zvt::test {
namespace {

class ListRetriesTest : public MoneyTest {
 protected:
  // Pushes the screen on the home tab and waits for its first page of `op`.
  void open(const std::shared_ptr<UIViewController>& screen, const std::string& op) {
    const int asked = service_->requestCount(op);
    homeStack()->pushViewController(screen, true);
    device().wait(1);
    EXPECT_TRUE(waitForRequests(op, asked + 1));
    settleRequests();
    device().wait(0.5);
  }
  static NSInteger rowsOf(const std::shared_ptr<UIScrollView>& list) {
    if (auto table = std::dynamic_pointer_cast<UITableView>(list)) return table->numberOfRowsInSection(0);
    if (auto grid = std::dynamic_pointer_cast<UICollectionView>(list)) return grid->numberOfItemsInSection(0);
    return -1;
  }
};

TEST_F(ListRetriesTest, ARetryOnItsWaySendsNothingMoreAndItsPageComesOnce) {
  launchLoggedIn();
  const std::string kSearch = "/api/search_tbk_v3.php";
  struct Retry {
    const char* name;
    std::string op;
    std::function<std::shared_ptr<UIScrollView>()> open;  // the list, its first page shown
    ScriptedReply failure;                                 // of page 2
    std::string retried;                                   // the fields of the page the retry asks
    NSInteger rows;                                        // after the retry
  };
  const std::vector<Retry> retries = {
      {"site messages", "msg",
       [&] {
         auto screen = std::dynamic_pointer_cast<TZMessageViewController>(makeScreen("TZMessageViewController"));
         open(screen, "msg");
         return std::static_pointer_cast<UIScrollView>(screen->messageTabelView());
       },
       ScriptedReply{.op = "msg", .iface = "enciphered", .fieldsJSON = R"({"number": "2"})", .code = 201, .msg = "失败"},
       R"({"number": "2"})", 20},
      {"asset records", "getUserDetailed",
       [&] {
         openMenu();
         return std::static_pointer_cast<UIScrollView>(openList("收入明细")->tableView());
       },
       ScriptedReply{.op = "getUserDetailed", .fieldsJSON = R"({"number": "2", "do": "in"})", .code = 201},
       R"({"number": "2", "do": "in"})", 20},
      // The store's retry starts its kind again from page 1, which clears the rows as it goes.
      {"exchange store", "exchange_goods",
       [&] { return std::static_pointer_cast<UIScrollView>(openStore()->tableView()); },
       ScriptedReply{.op = "exchange_goods", .iface = "enciphered", .fieldsJSON = R"({"number": "2"})", .code = 222,
                     .msg = "网络错误"},
       R"({"number": "1"})", 10},
      {"own search results", kSearch,
       [&] {
         auto screen = std::make_shared<NewSearchResultViewController>();
         screen->setKeyword("连衣裙"_ns);
         open(screen, kSearch);
         return std::static_pointer_cast<UIScrollView>(screen->searchResultView()->searchResultCollectionView());
       },
       ScriptedReply{.op = kSearch, .fieldsJSON = R"({"page": "2"})", .httpStatus = 500}, R"({"page": "2"})", 20},
  };
  for (const Retry& r : retries) {
    SCOPED_TRACE(r.name);
    auto list = r.open();
    ASSERT_EQ(rowsOf(list), 10);
    service_->script(r.failure);
    ASSERT_TRUE(pullUpList(list, r.op));
    ASSERT_TRUE(device().viewWithText("点击重试"));

    service_->script(ScriptedReply{.op = r.op, .fieldsJSON = r.retried, .hold = "retry"});
    const int asked = service_->requestCount(r.op);
    ASSERT_TRUE(device().tapText("点击重试"));
    ASSERT_TRUE(waitForRequests(r.op, asked + 1));
    // Tapped again at once (an overlay still fading in lets the tap through) and after a while.
    device().tapText("点击重试");
    device().wait(0.5);
    device().tapText("点击重试");
    waitFor([&] { return service_->requestCount(r.op) > asked + 1; }, 1);
    EXPECT_EQ(service_->requestCount(r.op), asked + 1) << "nothing more sent while the retry is on its way";

    service_->release("retry");
    settleRequests();
    device().wait(0.5);
    EXPECT_FALSE(device().viewWithText("点击重试"));
    EXPECT_EQ(rowsOf(list), r.rows) << "each page once";
    homeStack()->popToRootViewControllerAnimated(false);
    device().wait(0.5);
  }
}

}  // namespace
}  // namespace zvt::test
