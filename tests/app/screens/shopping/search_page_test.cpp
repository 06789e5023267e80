// The search page through the device against the local service: suggestions while typing
// (goods and store mode), routing by the service's search method, the affiliate address with
// and without a user, the events and the alert, and the mall results it opens.

#include "app/screens/shopping/NewSearchResultViewController.h"
#include "platform/network/NSURLConnection.h"
#include "app/screens/shopping/SearchViewController.h"
#include "app/screens/shopping/StoreSearchResultViewController.h"
#include "platform/text/NSAttributedString.h"
#include "app/screens/shopping/ProductCellParts.h"
#include "app/screens/shopping/SearchSupport.h"
#include "tests/app/screens/shopping/SearchTestSupport.h"

using zvt::as;
using zvt::test::runMainLoopUntil;

namespace {

using zvt::test::ScriptedReply;
using zvt::test::SearchScreenTest;

class SearchPageTest : public SearchScreenTest {
 protected:
  // The search page as the home screen (goods) or the mall store (store mode) opens it.
  std::shared_ptr<SearchViewController> openPage(bool storeMode = false) {
    if (!delegate_) launchOnQuietTab();
    auto page = std::dynamic_pointer_cast<SearchViewController>(
        pushScreen("SearchViewController", {{storeMode ? "isStorePush" : "isSearchPush", NSNumber::numberWithBool(true)}}));
    EXPECT_TRUE(page);
    return page;
  }
  // Types one character at a time, as a person does.
  void type(const std::vector<std::string>& characters) {
    for (auto& c : characters) {
      ASSERT_TRUE(device().paste(c)) << c;
      device().wait(0.05);
    }
  }
  // The suggestion rows shown: (title, detail).
  std::vector<std::pair<std::string, std::string>> rows(const std::shared_ptr<SearchViewController>& page) {
    std::vector<std::pair<std::string, std::string>> out;
    for (auto& cell : page->searchTableView()->visibleCells()) {
      auto row = std::dynamic_pointer_cast<SearchTableViewCell>(cell);
      if (!row) continue;
      auto text = [](const std::shared_ptr<UILabel>& l) { return l->text() ? l->text()->utf8() : ""; };
      out.emplace_back(text(row->titleLabel()), text(row->detailLabel()));
    }
    return out;
  }
  // The suggestion service's own answer for a text.
  std::vector<std::pair<std::string, std::string>> served(const std::string& q) {
    auto body = service_->request("GET", "/sug?code=utf-8&extras=1&q=" +
                                             zvt::search::escapedQueryValue(NSString::stringWithUTF8String(q))->utf8())
                    .body;
    std::vector<std::pair<std::string, std::string>> out;
    auto reply = as<NSDictionary>(objectFromJSONString(*NSString::stringWithUTF8String(body)));
    for (auto& row : *as<NSArray>(reply->objectForKey("result"_ns))) {
      auto pair = as<NSArray>(row);
      out.emplace_back(as<NSString>(pair->objectAtIndex(0))->utf8(),
                       "大约：" + as<NSString>(pair->objectAtIndex(1))->utf8() + "件");
    }
    return out;
  }
  void searchButton() {
    ASSERT_TRUE(device().pressReturn());
    device().wait(0.2);
  }
  std::shared_ptr<UIViewController> awaitTop(const std::string& name) {
    settleUntil([&] { return topClass() == name; });
    return topClass() == name ? topScreen() : nullptr;
  }
};

TEST_F(SearchPageTest, GoodsSuggestionsFollowTheTextInTheBar) {
  auto page = openPage();
  ASSERT_TRUE(page);
  EXPECT_TRUE(page->searchBar()->isFirstResponder()) << "the keyboard opens with the page";
  EXPECT_TRUE(device().viewWithText("不会拿回扣？看看教程")) << "the tip under the bar";
  picture("SearchPage.tip");
  service_->clearLog();
  type({"连"});
  ASSERT_TRUE(settleUntil([&] { return !rows(page).empty(); }));
  // The reply for "连衣" comes last of all: the table still shows the last text's words. Each
  // keystroke's request goes out on a connection of its own, so the next key waits until the
  // service has seen the one before: the service then sees them in the order typed, and the
  // held reply is the one for "连衣".
  service_->script(ScriptedReply{.op = "/sug", .hold = "连衣"});
  type({"衣"});
  ASSERT_TRUE(settleUntil([&] { return count("/sug") == 2; }));
  type({"裙"});
  ASSERT_TRUE(settleUntil([&] { return count("/sug") == 3; }));
  std::vector<std::string> asked;
  for (auto& fields : logged("/sug")) {
    EXPECT_EQ(fields["code"], "utf-8");
    EXPECT_EQ(fields["extras"], "1");
    asked.push_back(fields["q"]);
  }
  EXPECT_EQ(asked, (std::vector<std::string>{"连", "连衣", "连衣裙"}));
  auto expected = served("连衣裙");
  ASSERT_TRUE(settleUntil([&] { return rows(page) == expected; }));
  // The held reply let go, and in (a connection ends after its reply has been handed on), and
  // whatever it set off on the main queue run.
  service_->release("连衣");
  ASSERT_TRUE(settleUntil([] { return zvt::urlConnectionLoadsInFlight() == 0; }));
  device().wait(0.5);
  EXPECT_EQ(rows(page), expected) << "the late reply for an older text is not shown";
  EXPECT_FALSE(page->searchTableView()->isHidden());
  picture("SearchPage.suggestions");

  // Dragging the table closes the keyboard.
  device().dragView(page->searchTableView(), CGPointMake(0, -60), 0.3);
  device().wait(0.5);
  EXPECT_FALSE(page->searchBar()->isFirstResponder());

  // Clearing hides the table at once and asks nothing.
  ASSERT_TRUE(device().tapView(page->searchBar()));
  device().wait(0.3);
  service_->clearLog();
  ASSERT_TRUE(device().tapView(page->searchBar()->searchField()->clearButton()));
  device().wait(0.5);
  EXPECT_TRUE(page->searchTableView()->isHidden());
  ASSERT_TRUE(settleUntil([] { return zvt::urlConnectionLoadsInFlight() == 0; }));
  EXPECT_EQ(count("/sug"), 0u);
}

TEST_F(SearchPageTest, AReplyForAClearedBarIsDropped) {
  auto page = openPage();
  ASSERT_TRUE(page);
  service_->script(ScriptedReply{.op = "/sug", .hold = "连"});
  type({"连"});
  ASSERT_TRUE(device().tapView(page->searchBar()->searchField()->clearButton()));
  ASSERT_TRUE(settleUntil([&] { return count("/sug") == 1; }));
  service_->release("连");
  ASSERT_TRUE(settleUntil([] { return zvt::urlConnectionLoadsInFlight() == 0; }));
  device().wait(0.5);
  EXPECT_TRUE(page->searchTableView()->isHidden());
  EXPECT_EQ(page->resultArray()->count(), 0u) << "the held list is unchanged";
}

TEST_F(SearchPageTest, SearchMethodRoutesTheKeyword) {
  struct Case {
    const char* name;
    ScriptedReply script;
    bool scripted;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"method 1", {}, false, "NewSearchResultViewController"},
      {"method 2", ScriptedReply{.op = "get_ios_config", .extraJSON = R"({"search_mothed": 2})"}, true,
       "SearchResultViewController"},
      {"method 0", ScriptedReply{.op = "get_ios_config", .extraJSON = R"({"search_mothed": "0"})"}, true,
       "SearchResultViewController"},
      {"no method", ScriptedReply{.op = "get_ios_config", .code = 101, .extraJSON = R"({"pid": "mm_10001_0_0"})"}, true,
       "SearchResultViewController"},
      {"configuration 500", ScriptedReply{.op = "get_ios_config", .httpStatus = 500}, true,
       "NewSearchResultViewController"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto page = openPage();
    ASSERT_TRUE(page);
    if (c.scripted) service_->script(c.script);
    type({"保温杯"});
    searchButton();
    auto opened = awaitTop(c.expected);
    ASSERT_TRUE(opened) << topClass();
    if (c.expected == "NewSearchResultViewController") {
      EXPECT_EQ(value(opened, "keyword"), "保温杯");
      EXPECT_EQ(value(opened, "isFromSearch"), "1");
    } else {
      EXPECT_EQ(value(opened, "titleString"), "保温杯");
    }
    navigation()->popToRootViewControllerAnimated(false);
    device().wait(0.5);
  }
}

TEST_F(SearchPageTest, AffiliateAddressCarriesTheUserOnlyWhenLoggedIn) {
  launchOnQuietTab();
  service_->script(ScriptedReply{.op = "get_ios_config", .extraJSON = R"({"search_mothed": "2"})", .sticky = true});
  struct Case {
    const char* name;
    int user;  // 0 logged out, 1 with id, 2 a record without id
    std::string unid;
  };
  for (const Case& c : {Case{"logged out", 0, "(none)"}, Case{"logged in", 1, zvt::test::kServiceTestUserId},
                        Case{"record without id", 2, "0"}}) {
    SCOPED_TRACE(c.name);
    if (c.user == 1) logIn();
    if (c.user == 2) {
      delegate_->setIsLogin(true);
      delegate_->setUserInfoDictionary(NSDictionary::make({{"ddusername"_ns, "someone"_ns}}));
    }
    auto page = openPage();
    ASSERT_TRUE(page);
    type({"a&pid=x"});
    searchButton();
    auto opened = awaitTop("SearchResultViewController");
    ASSERT_TRUE(opened);
    auto address = value(opened, "urlString");
    auto request = service_->request("GET", address.substr(zvt::Configuration::serverRoot()->length()));
    ASSERT_EQ(request.status, 200);
    auto asked = last("/search.html");
    EXPECT_EQ(asked["q"], "a&pid=x");
    EXPECT_EQ(asked["pid"], "mm_10001_0_0");
    EXPECT_EQ(asked.count("unid") ? asked["unid"] : "(none)", c.unid) << address;
    navigation()->popToRootViewControllerAnimated(false);
    device().wait(0.5);
  }
}

TEST_F(SearchPageTest, HomeSearchIsLoggedTwiceWhenTheConfigurationComesFirst) {
  auto page = openPage();
  ASSERT_TRUE(page);
  const size_t before = eventCount("HomeSearch");
  const size_t configurations = count("get_ios_config");
  searchButton();
  EXPECT_TRUE(device().viewWithText("请输入你要搜的宝贝名字")) << "the empty bar's alert";
  ASSERT_TRUE(device().tapText("确定"));
  device().wait(0.5);
  EXPECT_EQ(topScreen(), page);
  EXPECT_EQ(eventCount("HomeSearch"), before);
  ASSERT_TRUE(device().tapView(page->searchBar()));
  type({"零食"});
  searchButton();
  ASSERT_TRUE(awaitTop("NewSearchResultViewController"));
  EXPECT_EQ(eventCount("HomeSearch"), before + 2);
  navigation()->popViewControllerAnimated(false);
  device().wait(0.5);
  ASSERT_TRUE(device().tapView(page->searchBar()));
  searchButton();
  ASSERT_TRUE(awaitTop("NewSearchResultViewController"));
  EXPECT_EQ(eventCount("HomeSearch"), before + 3);
  EXPECT_EQ(count("get_ios_config"), configurations + 1) << "fetched once for the page";
  // A suggestion row searches its word.
  navigation()->popViewControllerAnimated(false);
  device().wait(0.5);
  ASSERT_TRUE(device().tapView(page->searchBar()));
  ASSERT_TRUE(device().tapView(page->searchBar()->searchField()->clearButton()));
  type({"茶"});
  ASSERT_TRUE(settleUntil([&] { return device().viewWithText("茶叶") != nullptr; }));
  ASSERT_TRUE(device().tapText("茶叶"));
  auto results = awaitTop("NewSearchResultViewController");
  ASSERT_TRUE(results);
  EXPECT_EQ(value(results, "keyword"), "茶叶");
}

TEST_F(SearchPageTest, StoreModeListsMallsAndOpensThem) {
  auto page = openPage(true);
  ASSERT_TRUE(page);
  EXPECT_EQ(page->searchBar()->placeholder()->utf8(), "搜商城名称,购物就可拿回扣");
  service_->clearLog();
  type({"京东"});
  ASSERT_TRUE(settleUntil([&] { return device().viewWithText("京东商城") != nullptr; }));
  EXPECT_EQ(last("search_m")["q"], "京东");
  EXPECT_EQ(page->searchTableView()->numberOfRowsInSection(0), 1);
  picture("SearchPage.stores");
  ASSERT_TRUE(device().tapText("京东商城"));
  auto mall = awaitTop("WebDetailViewController");
  ASSERT_TRUE(mall);
  EXPECT_EQ(value(mall, "goodsId"), "60");
  EXPECT_EQ(value(mall, "isStorePush"), "1");
  EXPECT_EQ(value(mall, "titleString"), "京东商城");
  navigation()->popToRootViewControllerAnimated(false);
  device().wait(0.5);

  page = openPage(true);
  type({"没", "有"});
  ASSERT_TRUE(settleUntil([&] { return device().viewWithText("对不起，暂时没有您所要的内容") != nullptr; }));
  EXPECT_EQ(page->searchTableView()->numberOfRowsInSection(0), 1);
  EXPECT_FALSE(page->searchTableView()->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0))->isUserInteractionEnabled());
  searchButton();
  auto results = std::dynamic_pointer_cast<StoreSearchResultViewController>(awaitTop("StoreSearchResultViewController"));
  ASSERT_TRUE(results);
  EXPECT_TRUE(device().viewWithText("暂未搜到该商城，去逛逛其它商城吧"));
  EXPECT_FALSE(zvt::ui::Device::isVisible(results->searchStoreResultView()));
  picture("StoreResults.empty");
}

TEST_F(SearchPageTest, MallResultsShowEveryMallWithItsRebate) {
  auto page = openPage(true);
  ASSERT_TRUE(page);
  type({"品"});
  ASSERT_TRUE(settleUntil([&] { return page->resultArray() && page->resultArray()->count() >= 2; }));
  auto expected = page->resultArray();
  searchButton();
  auto results = std::dynamic_pointer_cast<StoreSearchResultViewController>(awaitTop("StoreSearchResultViewController"));
  ASSERT_TRUE(results);
  EXPECT_EQ(results->title()->utf8(), "搜索结果");
  EXPECT_FALSE(device().viewWithText("暂未搜到该商城，去逛逛其它商城吧"));
  auto grid = results->searchStoreResultView()->searchCollectionView();
  ASSERT_EQ(grid->numberOfItemsInSection(0), static_cast<NSInteger>(expected->count()));
  const CGFloat W = zvt::search::screenWidth();
  auto cell = std::dynamic_pointer_cast<StoreCollectionViewCell>(grid->cellForItemAtIndexPath(NSIndexPath::indexPathForItem(0, 0)));
  ASSERT_TRUE(cell);
  EXPECT_NEAR(cell->frame().size.width, (W - 10) / 3, 0.01);
  auto rebate = zvt::search::rowText(expected->objectAtIndex(0), 3)->utf8();
  auto label = cell->nameLabel();
  EXPECT_EQ(label->text()->utf8(), "最高回扣:" + rebate);
  auto colour = as<UIColor>(label->attributedText()->attribute(NSForegroundColorAttributeName, 5, nullptr));
  ASSERT_TRUE(colour);
  EXPECT_TRUE(colour->isEqual(zvt::shopping::rgb(255, 100, 0)));
  runMainLoopUntil([] { return false; }, 1.0);  // the logos arrive
  device().wait(0.5);
  picture("StoreResults.malls");
  ASSERT_TRUE(device().tapView(cell));
  auto mall = awaitTop("WebDetailViewController");
  ASSERT_TRUE(mall);
  EXPECT_EQ(value(mall, "goodsId"), zvt::search::rowText(expected->objectAtIndex(0), 1)->utf8());
  EXPECT_EQ(value(mall, "titleString"), zvt::search::rowText(expected->objectAtIndex(0), 0)->utf8());
  EXPECT_EQ(pageCount("商城搜索结果页"), 1u) << "covered by the mall's page: the view ended";
}

TEST_F(SearchPageTest, MallEntriesOfTheWrongShapeDoNotStopTheResults) {
  auto page = openPage(true);
  ASSERT_TRUE(page);
  service_->script(ScriptedReply{
      .op = "search_m", .code = 101,
      .extraJSON = R"({"result": [["当当网", "63"], "不是一行", ["京东商城", "60", "", "3%"], [7]]})"});
  type({"网"});
  ASSERT_TRUE(settleUntil([&] { return device().viewWithText("当当网") != nullptr; }));
  searchButton();
  auto results = std::dynamic_pointer_cast<StoreSearchResultViewController>(awaitTop("StoreSearchResultViewController"));
  ASSERT_TRUE(results);
  auto grid = results->searchStoreResultView()->searchCollectionView();
  EXPECT_EQ(grid->numberOfItemsInSection(0), 3);
  EXPECT_TRUE(device().viewWithText("最高回扣:")) << "a short entry shows no rebate";
  EXPECT_TRUE(device().viewWithText("最高回扣:3%"));
}

TEST_F(SearchPageTest, PageViewsBeginAndEndWithAppearance) {
  auto page = openPage();
  ASSERT_TRUE(page);
  const size_t before = pageCount("搜索页");
  type({"零食"});
  searchButton();
  ASSERT_TRUE(awaitTop("NewSearchResultViewController"));
  EXPECT_EQ(pageCount("搜索页"), before + 1) << "covered: the view ended";
  navigation()->popViewControllerAnimated(false);
  device().wait(0.5);
  EXPECT_EQ(pageCount("自建搜索结果页"), 1u);
  navigation()->popViewControllerAnimated(false);
  device().wait(0.5);
  EXPECT_EQ(pageCount("搜索页"), before + 2);
}

TEST_F(SearchPageTest, ASuggestionTappedAgainWhileTheConfigurationIsOnItsWayOpensOnePage) {
  auto page = openPage();
  ASSERT_TRUE(page);
  ASSERT_TRUE(device().tapView(page->searchBar()));
  type({"茶"});
  ASSERT_TRUE(settleUntil([&] { return device().viewWithText("茶叶") != nullptr; }));
  // A slow network: the first tap shows nothing for a while, so the person taps again.
  service_->script(ScriptedReply{.op = "get_ios_config", .delayMs = 800});
  const size_t before = count("get_ios_config");
  const size_t depth = navigation()->viewControllers().size();
  ASSERT_TRUE(device().tapText("茶叶"));
  device().wait(0.3);
  ASSERT_TRUE(device().tapText("茶叶"));
  ASSERT_TRUE(awaitTop("NewSearchResultViewController"));
  settleUntil([] { return false; }, 1.5);
  EXPECT_EQ(navigation()->viewControllers().size(), depth + 1) << "one page, not one per tap";
  EXPECT_EQ(count("get_ios_config") - before, 1u);
  EXPECT_EQ(value(topScreen(), "keyword"), "茶叶");
}

}  // namespace
