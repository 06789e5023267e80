// The third tab ("淘宝回扣") through the device against the local service: the hot keywords,
// the layout on short and tall screens, searches from the field and from a hot keyword, the pid
// fetched once per screen, the escaping of each query value, and the empty-field alert.

#include "app/screens/shopping/TZNewSearchViewController.h"
#include "app/screens/shopping/ProductCellParts.h"
#include "app/screens/shopping/SearchSupport.h"
#include "tests/app/screens/shopping/SearchTestSupport.h"

using zvt::as;
using zvt::test::runMainLoopUntil;

namespace {

using zvt::test::SearchScreenTest;

class TaobaoTabTest : public SearchScreenTest {
 protected:
  std::shared_ptr<TZNewSearchViewController> openTab() {
    launchOnQuietTab();
    EXPECT_TRUE(device().tapText("淘宝回扣"));
    device().wait(0.5);
    auto tab = std::dynamic_pointer_cast<TZNewSearchViewController>(topScreen());
    EXPECT_TRUE(tab) << topClass();
    if (tab) settleUntil([&] { return tab->dataArray()->count() > 0; });
    return tab;
  }
  // Types into the field and presses the search button (or Return).
  void search(const std::shared_ptr<TZNewSearchViewController>& tab, const std::string& text, bool returnKey = false) {
    auto field = tab->searchView()->searchTextField();
    ASSERT_TRUE(device().tapView(field));
    device().wait(0.3);
    if (!text.empty()) {
      ASSERT_TRUE(device().paste(text));
    }
    if (returnKey) {
      ASSERT_TRUE(device().pressReturn());
    } else {
      ASSERT_TRUE(device().tapText("搜索"));
    }
    device().wait(0.2);
  }
  // The affiliate page pushed by the last search: its address's query values, decoded.
  std::map<std::string, std::string> pageQuery(const std::shared_ptr<UIViewController>& page) {
    std::map<std::string, std::string> out;
    auto address = value(page, "urlString");
    auto q = address.find('?');
    if (q == std::string::npos) return out;
    std::string query = address.substr(q + 1);
    size_t start = 0;
    while (start <= query.size()) {
      size_t amp = query.find('&', start);
      std::string item = query.substr(start, amp == std::string::npos ? std::string::npos : amp - start);
      auto eq = item.find('=');
      auto decoded = NSString::stringWithUTF8String(item.substr(eq == std::string::npos ? item.size() : eq + 1))
                         ->stringByRemovingPercentEncoding();
      out[item.substr(0, eq)] = decoded ? decoded->utf8() : "(undecodable)";
      if (amp == std::string::npos) break;
      start = amp + 1;
    }
    return out;
  }
  // Waits for the pushed page; back to the tab afterwards.
  std::shared_ptr<UIViewController> awaitPage() {
    settleUntil([&] { return topClass() == "SearchResultViewController"; });
    return topClass() == "SearchResultViewController" ? topScreen() : nullptr;
  }
  // The hot keywords in the service's order, and the two constraints the screen's size sets
  // (the content height's constant 0 is the nib's own).
  void checkHotKeywordsAndLayout(CGFloat bottom, CGFloat height, const std::string& pictureName) {
    auto tab = openTab();
    ASSERT_TRUE(tab);
    std::vector<std::string> shown;
    for (auto& word : *tab->dataArray()) shown.push_back(as<NSString>(word)->utf8());
    const std::vector<std::string> expected = {"连衣裙", "蓝牙耳机", "保温杯", "零食", "运动鞋",
                                               "防晒霜", "牛仔裤",   "手机壳", "四件套", "茶叶"};
    EXPECT_EQ(shown, expected);
    for (auto& word : expected) EXPECT_TRUE(device().viewWithText(word)) << word << " is on screen";
    EXPECT_EQ(tab->title()->utf8(), "淘宝回扣");
    EXPECT_EQ(tab->searchView()->bgScrollViewBottomConstraint()->constant(), bottom);
    EXPECT_EQ(tab->searchView()->contentViewConstraintH()->constant(), height);
    picture(pictureName);
    EXPECT_TRUE(device().viewWithText("新手教程：怎样拿淘宝回扣？") ||
                device().scrollUntilVisible(tab->searchView()->bgScrollView(), "新手教程：怎样拿淘宝回扣？"))
        << "the tutorial button can be reached";
  }
  void back() {
    navigation()->popToRootViewControllerAnimated(false);
    device().wait(0.5);
  }
};

TEST_F(TaobaoTabTest, HotKeywordsInServerOrderOnAShortScreen) {
  zvt::ui::Device::useScreen(zvt::ui::kScreen320x480);
  checkHotKeywordsAndLayout(0, 100, "TaobaoTab.320x480");
}

TEST_F(TaobaoTabTest, HotKeywordsInServerOrderOnATallScreen) {
  zvt::ui::Device::useScreen(zvt::ui::kScreen375x667);
  checkHotKeywordsAndLayout(-121, 0, "TaobaoTab.375x667");
}

TEST_F(TaobaoTabTest, FirstSearchFetchesThePidOnceThenEveryPageCarriesIt) {
  zvt::ui::Device::useScreen(zvt::ui::kScreen375x667);
  auto tab = openTab();
  ASSERT_TRUE(tab);
  service_->clearLog();
  search(tab, "连衣裙");
  auto page = awaitPage();
  ASSERT_TRUE(page);
  EXPECT_EQ(count("get_ios_config"), 1u);
  auto query = pageQuery(page);
  EXPECT_EQ(query["pid"], "mm_10001_0_0");
  EXPECT_EQ(query["q"], "连衣裙");
  EXPECT_EQ(query["unid"], "0") << "logged out";
  EXPECT_EQ(value(page, "titleString"), "连衣裙");
  EXPECT_EQ(value(page, "urlString").rfind(zvt::Configuration::affiliateSearchURLString()->utf8(), 0), 0u);
  if (!isPlaceholder(page)) {
    // The page itself was asked for with the same values.
    ASSERT_TRUE(settleUntil([&] { return count("/search.html") > 0; }));
    auto asked = last("/search.html");
    EXPECT_EQ(asked["pid"], "mm_10001_0_0");
    EXPECT_EQ(asked["q"], "连衣裙");
    EXPECT_EQ(asked["unid"], "0");
  }
  picture("TaobaoTab.page");
  back();
  search(tab, "保温杯");
  ASSERT_TRUE(awaitPage());
  EXPECT_EQ(count("get_ios_config"), 1u) << "the second search asks no more";
}

TEST_F(TaobaoTabTest, ConfigurationFailureTakesTheDefaultPidForGood) {
  auto tab = openTab();
  ASSERT_TRUE(tab);
  service_->clearLog();
  service_->script(zvt::test::ScriptedReply{.op = "get_ios_config", .httpStatus = 500});
  search(tab, "零食");
  auto page = awaitPage();
  ASSERT_TRUE(page);
  EXPECT_EQ(pageQuery(page)["pid"], zvt::Configuration::defaultAffiliatePid()->utf8());
  EXPECT_NE(zvt::Configuration::defaultAffiliatePid()->utf8(), "mm_10001_0_0");
  back();
  search(tab, "茶叶");
  page = awaitPage();
  ASSERT_TRUE(page);
  EXPECT_EQ(pageQuery(page)["pid"], zvt::Configuration::defaultAffiliatePid()->utf8());
  EXPECT_EQ(count("get_ios_config"), 1u) << "a failed fetch is not repeated";
}

TEST_F(TaobaoTabTest, EachQueryValueArrivesExactlyAsTyped) {
  auto tab = openTab();
  ASSERT_TRUE(tab);
  struct Case {
    std::string keyword;
    bool loggedIn;
    std::string unid;
  };
  const std::vector<Case> cases = {
      {"连衣裙 red", false, "0"}, {"a&pid=x", false, "0"}, {"50%#1+2", true, zvt::test::kServiceTestUserId}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.keyword);
    if (c.loggedIn) logIn();
    auto field = tab->searchView()->searchTextField();
    field->setText(nullptr);
    search(tab, c.keyword);
    auto page = awaitPage();
    ASSERT_TRUE(page);
    auto query = pageQuery(page);
    EXPECT_EQ(query.size(), 3u) << value(page, "urlString");
    EXPECT_EQ(query["q"], c.keyword);
    EXPECT_EQ(query["pid"], "mm_10001_0_0") << "the keyword cannot replace the pid";
    EXPECT_EQ(query["unid"], c.unid);
    // And as the service reads the address the page asks for.
    auto request = service_->request("GET", value(page, "urlString").substr(zvt::Configuration::serverRoot()->length()));
    EXPECT_EQ(request.status, 200);
    auto asked = last("/search.html");
    EXPECT_EQ(asked["q"], c.keyword);
    EXPECT_EQ(asked["pid"], "mm_10001_0_0");
    EXPECT_EQ(asked["unid"], c.unid);
    back();
  }
}

TEST_F(TaobaoTabTest, EmptyFieldAlertsAndOnlyTheButtonLogsRebateSearch) {
  auto tab = openTab();
  ASSERT_TRUE(tab);
  service_->clearLog();
  const size_t events = eventCount("RebateSearch");
  for (bool returnKey : {false, true}) {
    SCOPED_TRACE(returnKey);
    search(tab, "", returnKey);
    EXPECT_EQ(zvt::ui::AlertPresenter::shared().count(), 1u);
    EXPECT_TRUE(device().viewWithText("请输入要搜索的宝贝"));
    ASSERT_TRUE(device().tapText("确定"));
    device().wait(0.5);
    EXPECT_EQ(topScreen(), tab) << "nothing pushed";
  }
  EXPECT_EQ(count("get_ios_config"), 0u) << "no request";
  EXPECT_EQ(eventCount("RebateSearch"), events) << "no event";

  search(tab, "零食", true);
  ASSERT_TRUE(awaitPage());
  EXPECT_EQ(eventCount("RebateSearch"), events) << "Return logs no event";
  back();
  tab->searchView()->searchTextField()->setText(nullptr);
  search(tab, "零食");
  ASSERT_TRUE(awaitPage());
  EXPECT_EQ(eventCount("RebateSearch"), events + 1);
}

TEST_F(TaobaoTabTest, HotKeywordTapWhileEditingReachesTheCellAndLeavesTheField) {
  auto tab = openTab();
  ASSERT_TRUE(tab);
  auto field = tab->searchView()->searchTextField();
  ASSERT_TRUE(device().tapView(field));
  ASSERT_TRUE(device().paste("别的字"));
  device().wait(0.3);
  ASSERT_TRUE(field->isFirstResponder());
  const size_t events = eventCount("TopSearch");
  ASSERT_TRUE(device().tapText("蓝牙耳机"));
  auto page = awaitPage();
  ASSERT_TRUE(page) << "the background tap did not swallow the cell's";
  EXPECT_EQ(pageQuery(page)["q"], "蓝牙耳机");
  EXPECT_EQ(field->text()->utf8(), "别的字");
  EXPECT_EQ(eventCount("TopSearch"), events + 1);
  EXPECT_EQ(pageCount("淘宝回扣页"), 1u) << "the tab's page view ended when the page covered it";
}

TEST_F(TaobaoTabTest, AKeywordTappedAgainWhileThePidIsOnItsWayOpensOnePage) {
  auto tab = openTab();
  ASSERT_TRUE(tab);
  service_->clearLog();
  // A slow network: the first tap shows nothing for a while, so the person taps again.
  service_->script(zvt::test::ScriptedReply{.op = "get_ios_config", .delayMs = 800});
  const size_t depth = navigation()->viewControllers().size();
  ASSERT_TRUE(device().tapText("保温杯"));
  device().wait(0.3);
  ASSERT_TRUE(device().tapText("保温杯"));
  ASSERT_TRUE(awaitPage());
  settleUntil([] { return false; }, 1.5);
  EXPECT_EQ(navigation()->viewControllers().size(), depth + 1) << "one page, not one per tap";
  EXPECT_EQ(count("get_ios_config"), 1u);
}

}  // namespace
