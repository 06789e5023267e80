// The stroll screen ("逛逛") through the device against the local service: opened by the home
// item router, its big categories and keyword tiles, a category chosen, the tiles searched by
// the configured method for logged-in and logged-out users, the search box, and the replies
// that leave it empty.

#include <algorithm>
#include <cmath>

#include "app/core/UIViewController+TZSkip.h"
#include "app/models/TZHeaderInfoModel.h"
#include "app/screens/shopping/NewSearchResultViewController.h"
#include "app/screens/shopping/SearchResultView.h"
#include "app/screens/shopping/SearchSupport.h"
#include "app/screens/shopping/TZStrollViewController.h"
#include "app/ui/TabBarController.h"
#include "tests/app/screens/shopping/SearchTestSupport.h"

using zvt::as;

namespace {

using zvt::test::ScriptedReply;
using zvt::test::SearchScreenTest;

class StrollScreenTest : public SearchScreenTest {
 protected:
  void SetUp() override {
    SearchScreenTest::SetUp();
    zvt::ui::Device::useScreen(zvt::ui::kScreen375x667);
  }

  // The home screen's item with in-app code 10, as the home screen's blocks open it (from a
  // quiet tab: the home screen lists products and shows its first-run guide).
  std::shared_ptr<TZStrollViewController> openFromHome(bool waitForTiles = true) {
    launchOnQuietTab();
    auto item = std::make_shared<TZHeaderInfoModel>();
    item->local = "1"_ns;
    item->link = "10"_ns;
    clickAction(topScreen(), item);
    device().wait(1);
    auto screen = std::dynamic_pointer_cast<TZStrollViewController>(topScreen());
    EXPECT_TRUE(screen) << topClass();
    if (screen && waitForTiles) settleUntil([&] { return screen->dataArray()->count() > 0; });
    return screen;
  }
  static std::vector<std::string> tileNames(const std::shared_ptr<TZStrollViewController>& screen) {
    std::vector<std::string> names;
    for (const id& item : *screen->dataArray()) names.push_back(zvt::search::textOrEmpty(as<TZStrollModel>(item)->name)->utf8());
    return names;
  }
  // The service's own big categories: their names and the words of each.
  std::vector<std::pair<std::string, std::vector<std::string>>> serviceCategories() const {
    auto reply = service_->request("GET", "/api/client.php?m=get_search_cat");
    auto decoded = as<NSDictionary>(objectFromJSONString(*NSString::stringWithUTF8String(reply.body)));
    std::vector<std::pair<std::string, std::vector<std::string>>> out;
    auto list = decoded ? as<NSArray>(decoded->objectForKey("searchCat"_ns)) : nullptr;
    if (!list) return out;
    for (const id& entry : *list) {
      auto category = as<NSDictionary>(entry);
      std::vector<std::string> words;
      for (const id& son : *as<NSArray>(category->objectForKey("catSon"_ns)))
        words.push_back(as<NSString>(as<NSDictionary>(son)->objectForKey("name"_ns))->utf8());
      out.emplace_back(as<NSString>(category->objectForKey("catName"_ns))->utf8(), words);
    }
    return out;
  }
  static CGFloat titleSize(const std::shared_ptr<TZStrollViewController>& screen, NSUInteger index) {
    return as<UIButton>(screen->strollView()->containerArray()->objectAtIndex(index))->titleLabel()->font()->pointSize();
  }
  // Taps the tile with the word and waits for the page it opens.
  std::shared_ptr<UIViewController> tapTile(const std::shared_ptr<TZStrollViewController>& screen, const std::string& word) {
    EXPECT_TRUE(device().tapText(word)) << word;
    settleUntil([&] { return topScreen() != screen; });
    return topScreen() != screen ? topScreen() : nullptr;
  }
  void back() {
    navigation()->popViewControllerAnimated(false);
    device().wait(0.5);
  }
};

TEST_F(StrollScreenTest, OpensOnTheFirstCategoryAndAnotherSwapsTheTiles) {
  auto screen = openFromHome();
  ASSERT_TRUE(screen);
  const CGFloat W = UIScreen::mainScreen()->bounds().size.width;
  EXPECT_EQ(screen->title()->utf8(), "逛逛");
  // The whole grid is in view, from below the bar down to the screen's bottom.
  auto grid = screen->strollView()->littleCategoryCollectionView();
  const CGRect onScreen = grid->convertRectToView(grid->bounds(), nullptr);
  EXPECT_GE(onScreen.origin.y, 64);
  EXPECT_NEAR(CGRectGetMaxY(onScreen), UIScreen::mainScreen()->bounds().size.height, 0.5);
  EXPECT_EQ(eventCount("Stroll"), 1u);
  if (auto shell = zvt::shellOf(screen)) {
    EXPECT_TRUE(shell->tabbarView()->isHidden());
  }

  // One plain GET without a signature.
  auto log = as<NSArray>(objectFromJSONString(*NSString::stringWithUTF8String(service_->requestLog("get_search_cat"))));
  ASSERT_TRUE(log);
  ASSERT_EQ(log->count(), 1u);
  auto entry = as<NSDictionary>(log->objectAtIndex(0));
  EXPECT_EQ(as<NSString>(entry->objectForKey("method"_ns))->utf8(), "GET");
  EXPECT_EQ(last("get_search_cat").count("code"), 0u) << "unsigned";

  EXPECT_EQ(count("get_search_cat"), 1u);
  auto expected = serviceCategories();
  ASSERT_GE(expected.size(), 3u);
  ASSERT_EQ(screen->strollView()->containerArray()->count(), expected.size());
  for (auto& [name, words] : expected) EXPECT_TRUE(device().viewWithText(name)) << name;
  EXPECT_EQ(tileNames(screen), expected[0].second);
  for (auto& word : expected[0].second) EXPECT_TRUE(device().viewWithText(word)) << word;
  EXPECT_EQ(titleSize(screen, 0), 16);
  EXPECT_EQ(titleSize(screen, 1), 13);
  EXPECT_NEAR(screen->strollView()->bigCategoryScrollView()->contentSize().height, expected.size() * W * 0.16, 0.01);
  settleUntil([] { return false; }, 1);  // the tiles' pictures
  picture("Stroll.first");

  ASSERT_TRUE(device().tapText(expected[2].first));
  device().wait(0.25);
  const CGFloat halfway = screen->strollView()->orLine()->layer()->presentationLayer()->frame().origin.y;
  EXPECT_GT(halfway, 0);
  EXPECT_LT(halfway, 2 * W * 0.16) << "the marker moves over half a second";
  device().wait(0.35);
  EXPECT_EQ(tileNames(screen), expected[2].second);
  for (auto& word : expected[2].second) EXPECT_TRUE(device().viewWithText(word)) << word;
  EXPECT_NEAR(screen->strollView()->orLine()->frame().origin.y, 2 * W * 0.16, 0.01);
  EXPECT_EQ(titleSize(screen, 2), 15);
  EXPECT_EQ(titleSize(screen, 0), 13);
  EXPECT_EQ(titleSize(screen, 1), 13);
  EXPECT_TRUE(as<UIButton>(screen->strollView()->containerArray()->objectAtIndex(2))->isSelected());
  EXPECT_FALSE(as<UIButton>(screen->strollView()->containerArray()->objectAtIndex(0))->isSelected());
  EXPECT_EQ(count("get_search_cat"), 2u) << "a category is shown from what came at the start (and the test's own call)";
  settleUntil([] { return false; }, 1);
  picture("Stroll.third");

  back();
  EXPECT_EQ(pageCount("逛逛页"), 1u);
}

TEST_F(StrollScreenTest, ATilesResultsAreGoodsOfItsCategory) {
  auto screen = openFromHome();
  ASSERT_TRUE(screen);
  struct Case {
    const char* category;
    std::vector<std::string> kind;  // every good of the category holds one of these
  };
  const Case cases[] = {{"数码", {"耳机", "手机壳"}}, {"男装", {"牛仔裤"}}};
  for (const Case& c : cases) {
    ASSERT_TRUE(device().tapText(c.category));
    device().wait(0.6);
    const auto words = tileNames(screen);
    ASSERT_GE(words.size(), 2u);
    for (const std::string& word : {words[1], words.back()}) {
      SCOPED_TRACE(std::string(c.category) + " → " + word);
      auto results = std::dynamic_pointer_cast<NewSearchResultViewController>(tapTile(screen, word));
      ASSERT_TRUE(results);
      ASSERT_TRUE(settleUntil([&] { return results->datasArray()->count() > 0; }));
      device().wait(0.5);
      size_t shown = 0;
      for (const auto& visible : results->searchResultView()->searchResultCollectionView()->visibleCells()) {
        auto cell = std::dynamic_pointer_cast<TZSearchResultCell>(visible);
        if (!cell) continue;
        const std::string title = cell->productTitleLabel()->text()->utf8();
        EXPECT_TRUE(std::ranges::any_of(c.kind, [&](const std::string& w) { return title.find(w) != std::string::npos; }))
            << title;
        ++shown;
      }
      EXPECT_GT(shown, 0u);
      back();
    }
  }
}

TEST_F(StrollScreenTest, APushMessageWithRouteSixOpensItPopulated) {
  launchOnQuietTab();
  UIApplication::sharedApplication()->receiveRemoteNotification(
      as<NSDictionary>(objectFromJSONString(*NSString::stringWithUTF8String(R"({"aps":{"alert":"去逛逛"},"content_type":"6"})"))));
  device().wait(1);
  ASSERT_TRUE(device().tapText("去看看"));
  device().wait(1);
  auto screen = std::dynamic_pointer_cast<TZStrollViewController>(topScreen());
  ASSERT_TRUE(screen) << topClass();
  ASSERT_TRUE(settleUntil([&] { return screen->dataArray()->count() > 0; }));
  EXPECT_TRUE(device().viewWithText(tileNames(screen).front()));
  EXPECT_TRUE(device().tapView(screen->strollView()->searchButton()));
  settleUntil([&] { return topClass() == "SearchViewController"; });
  EXPECT_EQ(topClass(), "SearchViewController") << "the search box takes taps after a push route too";
}

TEST_F(StrollScreenTest, TilesSearchByTheConfiguredMethod) {
  struct Case {
    const char* name;
    std::string extra;  // merged into the configuration reply
    int status;
    bool loggedIn;
    const char* opens;
    const char* unid;
  };
  const std::vector<Case> cases = {
      {"method 1", "", 0, false, "NewSearchResultViewController", ""},
      {"method 2, logged in", R"({"search_mothed":"2"})", 0, true, "SearchResultViewController", "10001"},
      {"method 0, logged in", R"({"search_mothed":0})", 0, true, "SearchResultViewController", "10001"},
      {"method 2, logged out", R"({"search_mothed":"2"})", 0, false, "SearchResultViewController", "0"},
      {"configuration fails", "", 500, true, "NewSearchResultViewController", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    service_->clearLog();  // each launch waits for the home screen's own configuration read
    auto screen = openFromHome();
    ASSERT_TRUE(screen);
    if (c.loggedIn) logIn();
    if (!c.extra.empty()) service_->script(ScriptedReply{.op = "get_ios_config", .extraJSON = c.extra});
    if (c.status) service_->script(ScriptedReply{.op = "get_ios_config", .httpStatus = c.status});
    const size_t before = count("get_ios_config");
    const auto words = tileNames(screen);
    ASSERT_GE(words.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
      auto page = tapTile(screen, words[i]);
      ASSERT_TRUE(page);
      EXPECT_EQ(page->className(), c.opens);
      if (std::string(c.opens) == "NewSearchResultViewController") {
        EXPECT_EQ(value(page, "keyword"), words[i]);
      } else {
        EXPECT_EQ(value(page, "titleString"), words[i]);
        auto address = NSString::stringWithUTF8String(value(page, "urlString"));
        auto expected = zvt::search::affiliateSearchAddress("mm_10001_0_0"_ns, NSString::stringWithUTF8String(words[i]),
                                                             NSString::stringWithUTF8String(c.unid));
        EXPECT_EQ(address->utf8(), expected->utf8());
      }
      back();
    }
    EXPECT_EQ(count("get_ios_config") - before, 1u) << "the configuration is read once per screen";
    navigation()->popToRootViewControllerAnimated(false);
    delegate_->setIsLogin(false);
    delegate_->setUserInfoDictionary(nullptr);
    device().wait(0.5);
  }
}

TEST_F(StrollScreenTest, TheSearchBoxOpensTheSearchPageForGoods) {
  auto screen = openFromHome();
  ASSERT_TRUE(screen);
  ASSERT_TRUE(device().tapText("输入商品关键字"));
  settleUntil([&] { return topClass() == "SearchViewController"; });
  ASSERT_EQ(topClass(), "SearchViewController");
  EXPECT_EQ(value(topScreen(), "isSearchPush"), "1");
}

TEST_F(StrollScreenTest, RepliesWithoutCategoriesLeaveTheScreenEmpty) {
  struct Case {
    const char* name;
    ScriptedReply script;
    size_t buttons;
    std::vector<size_t> tiles;  // per category, after choosing it
  };
  const std::vector<Case> cases = {
      {"status 500", ScriptedReply{.op = "get_search_cat", .httpStatus = 500}, 0, {}},
      {"null list", ScriptedReply{.op = "get_search_cat", .extraJSON = R"({"searchCat":null})"}, 0, {}},
      {"empty list", ScriptedReply{.op = "get_search_cat", .extraJSON = R"({"searchCat":[]})"}, 0, {}},
      {"values of the wrong kind",
       ScriptedReply{.op = "get_search_cat",
                     .extraJSON = R"({"searchCat":[{"catName":"甲","catSon":"x"},7,)"
                                  R"({"catName":"丙","catSon":[1,"y",{"name":"连衣裙","img":3}]}]})"},
       3,
       {0, 0, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    service_->clearLog();
    service_->script(c.script);
    auto screen = openFromHome(false);
    ASSERT_TRUE(screen);
    settleUntil([&] { return count("get_search_cat") > 0; });
    settleUntil([] { return false; }, 0.5);
    EXPECT_EQ(screen->strollView()->containerArray()->count(), c.buttons);
    EXPECT_EQ(screen->strollView()->littleCategoryCollectionView()->numberOfItemsInSection(0), c.tiles.empty() ? 0 : static_cast<NSInteger>(c.tiles[0]));
    for (size_t i = 1; i < c.tiles.size(); ++i) {
      ASSERT_TRUE(device().tapView(as<UIButton>(screen->strollView()->containerArray()->objectAtIndex(i))));
      device().wait(0.6);
      EXPECT_EQ(screen->dataArray()->count(), c.tiles[i]) << i;
    }
    if (c.buttons == 0) picture("Stroll.empty");
    navigation()->popToRootViewControllerAnimated(false);
    device().wait(0.5);
  }
}

TEST_F(StrollScreenTest, ATileTappedAgainWhileTheConfigurationIsOnItsWayOpensOnePage) {
  auto screen = openFromHome();
  ASSERT_TRUE(screen);
  const auto words = tileNames(screen);
  ASSERT_GE(words.size(), 1u);
  // A slow network: the first tap shows nothing for a while, so the person taps again.
  service_->script(ScriptedReply{.op = "get_ios_config", .delayMs = 800});
  const size_t before = count("get_ios_config");
  const size_t depth = navigation()->viewControllers().size();
  ASSERT_TRUE(device().tapText(words[0]));
  device().wait(0.3);
  ASSERT_TRUE(device().tapText(words[0]));
  settleUntil([&] { return topScreen() != screen; });
  settleUntil([] { return false; }, 1.5);
  EXPECT_EQ(navigation()->viewControllers().size(), depth + 1) << "one page, not one per tap";
  EXPECT_EQ(count("get_ios_config") - before, 1u);
}

}  // namespace
