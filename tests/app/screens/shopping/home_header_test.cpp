// The home header on a 320-point screen: the blocks each configuration builds and where, the
// height it reports and remembers, a rebuild from the cache database, and taps reaching the
// home screen's delegate calls.

#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>

#include "app/screens/shopping/HeadReusableView.h"
#include "app/storage/TZDBManager.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSUserDefaults.h"
#include "tests/app/screens/shopping/ShoppingTestSupport.h"
#include "tests/platform/uikit/UIKitTestSupport.h"
#include "tests/support/MainLoop.h"

namespace {

using zvt::as;
using zvt::uitest::Screen;

std::shared_ptr<NSArray> items(const std::string& kind, int n) {
  std::vector<id> list;
  for (int i = 0; i < n; ++i) {
    auto item = std::make_shared<TZHeaderInfoModel>();
    item->name = NSString::stringWithUTF8String(kind + std::to_string(i));
    item->pic = NSString::stringWithUTF8String(zvt::test::serviceURL("/images/" + kind + std::to_string(i) + ".png"));
    item->icon = NSString::stringWithUTF8String(zvt::test::serviceURL("/images/icon_" + kind + std::to_string(i) + ".png"));
    item->link = NSString::stringWithUTF8String(std::to_string(i));
    list.push_back(item);
  }
  return NSArray::arrayWithObjects(list);
}

struct Lists {
  int banner = 0, nav = 0, middle = 0, block = 0, fixed = 0;
};

std::shared_ptr<NSDictionary> dictionaryOf(const Lists& l) {
  auto d = NSMutableDictionary::dictionary();
  for (auto [key, n] : {std::pair{"banner", l.banner}, {"nav", l.nav}, {"middleBanner", l.middle},
                        {"blockBanner", l.block}, {"fixedBanner", l.fixed}}) {
    if (n) d->setObject(items(key, n), NSString::stringWithUTF8String(key));
  }
  return d;
}

// The frame to ten significant digits, "none" for a block not in the header.
std::string frameText(const std::shared_ptr<UIView>& view) {
  if (!view || !view->superview()) return "none";
  CGRect f = view->frame();
  std::ostringstream out;
  out << std::setprecision(10) << "{{" << f.origin.x << ", " << f.origin.y << "}, {" << f.size.width << ", "
      << f.size.height << "}}";
  return out.str();
}

class Taps : public SmallClassViewDelegate, public BigClassViewDelegate, public ActivityViewDelegate,
             public SmallActivityViewDelegate {
 public:
  std::vector<std::string> names;
  void note(const std::shared_ptr<TZHeaderInfoModel>& item) { names.push_back(as<NSString>(item->name)->utf8()); }
  void smallClassViewClick(const std::shared_ptr<TZHeaderInfoModel>& item) override { note(item); }
  void bigClassViewClick(const std::shared_ptr<TZHeaderInfoModel>& item) override { note(item); }
  void activityViewClick(const std::shared_ptr<TZHeaderInfoModel>& item) override { note(item); }
  void smallActivityViewClick(const std::shared_ptr<TZHeaderInfoModel>& item) override { note(item); }
};

class HomeHeader : public ::testing::Test {
 protected:
  void SetUp() override {
    zvt::setMainBundlePath(ZVT_BUNDLE_ROOT);
    // The cache database of the home this test runs in (a test before it may have used another).
    TZDBManager::sharedInstance()->creatDatabase();
    header = screen.add<HeadReusableView>(CGRectMake(0, 20, 320, 460));
  }
  void TearDown() override {
    // No picture is left loading.
    header->updateUIWithDictionary(NSDictionary::dictionary());
    Screen::device().wait(1);
  }
  std::string storedHeight() const {
    return as<NSString>(NSUserDefaults::standardUserDefaults()->objectForKey("HomeHeaderH"_ns))->utf8();
  }
  Screen screen;
  std::shared_ptr<HeadReusableView> header;
};

TEST_F(HomeHeader, BlocksStackAsTheirListsSay) {
  struct Case {
    const char* what;
    Lists lists;
    const char *banner, *nav, *middle, *block, *fixed;
    double height;
  };
  const Case cases[] = {
      {"nothing", {}, "none", "none", "none", "none", "none", 0},
      {"five categories, no banner", {.nav = 5}, "none", "{{0, 122.5}, {320, 170}}", "none", "none", "none", 292.5},
      {"three tiles", {.block = 3}, "none", "none", "none", "{{0, 10}, {320, 151}}", "none", 161},
      {"two big categories", {.fixed = 2}, "none", "none", "none", "none", "{{0, 10}, {320, 183}}", 193},
      {"everything",
       {2, 4, 1, 2, 3},
       "{{0, 0}, {320, 122.5}}",
       "{{0, 122.5}, {320, 85}}",
       "{{0, 217.5}, {320, 99.84}}",
       "{{0, 327.34}, {320, 75}}",
       "{{0, 412.34}, {320, 183}}",
       595.34},
      {"no activities: the tiles move up", {2, 4, 0, 2, 3}, "{{0, 0}, {320, 122.5}}", "{{0, 122.5}, {320, 85}}", "none",
       "{{0, 217.5}, {320, 75}}", "{{0, 302.5}, {320, 183}}", 485.5},
      // A rebuild with no list leaves no block and no height (not the previous one).
      {"then nothing", {}, "none", "none", "none", "none", "none", 0},
  };
  for (const auto& c : cases) {
    header->updateUIWithDictionary(dictionaryOf(c.lists));
    EXPECT_EQ(frameText(header->adRollView), c.banner) << c.what;
    EXPECT_EQ(frameText(header->smallClassView), c.nav) << c.what;
    EXPECT_EQ(frameText(header->activityView), c.middle) << c.what;
    EXPECT_EQ(frameText(header->smallActivityView), c.block) << c.what;
    EXPECT_EQ(frameText(header->bigClassView), c.fixed) << c.what;
    EXPECT_NEAR(header->headHeight(), c.height, 1e-3) << c.what;
    EXPECT_NEAR(std::stod(storedHeight()), c.height, 1e-3) << c.what;
  }
  EXPECT_EQ(storedHeight(), "0.000000");
}

TEST_F(HomeHeader, ListsOfTheWrongKindCountAsAbsent) {
  auto d = NSMutableDictionary::dictionary();
  d->setObject(NSNull::null(), "banner"_ns);
  d->setObject(NSDictionary::dictionary(), "nav"_ns);
  d->setObject(NSString::stringWithUTF8String("x"), "fixedBanner"_ns);
  d->setObject(items("blockBanner", 1), "blockBanner"_ns);
  header->updateUIWithDictionary(d);
  EXPECT_FALSE(header->adRollView);
  EXPECT_FALSE(header->smallClassView);
  EXPECT_FALSE(header->bigClassView);
  EXPECT_EQ(frameText(header->smallActivityView), "{{0, 10}, {320, 75}}");
}

TEST_F(HomeHeader, BuildsFromTheCacheAndRoutesTaps) {
  auto manager = TZDBManager::sharedInstance();
  auto model = std::make_shared<TZHeaderInfoModel>();
  for (auto [suffix, key, n] : {std::tuple{"_banner", "banner", 2}, {"_nav", "nav", 4}, {"_middleBanner", "middleBanner", 1},
                                {"_blockBanner", "blockBanner", 2}, {"_fixedBanner", "fixedBanner", 3}}) {
    ASSERT_TRUE(manager->replaceList(model, NSString::stringWithUTF8String(suffix), items(key, n)));
  }
  auto cached = screen.add<HeadReusableView>(CGRectMake(0, 20, 320, 460));
  header->removeFromSuperview();
  header = cached;
  EXPECT_EQ(frameText(header->bigClassView), "{{0, 412.34}, {320, 183}}");
  EXPECT_NEAR(std::stod(storedHeight()), 595.34, 1e-3);

  auto taps = std::make_shared<Taps>();
  header->smallClassView->smallClassViewDelegate = taps;
  header->bigClassView->bigClassViewDelegate = taps;
  header->activityView->activityViewDelegate = taps;
  header->smallActivityView->smallActivityViewDelegate = taps;
  Screen::device().settle();
  EXPECT_TRUE(Screen::device().tapView(header->smallClassView->subviews()[4]));  // icon of the third
  EXPECT_TRUE(Screen::device().tapView(header->activityView->subviews().front()));
  EXPECT_TRUE(Screen::device().tapView(header->smallActivityView->subviews().back()));
  EXPECT_TRUE(Screen::device().tapView(header->bigClassView->subviews()[1]));
  EXPECT_EQ(taps->names, (std::vector<std::string>{"nav2", "middleBanner0", "blockBanner1", "fixedBanner1"}));
  zvt::test::writeScreenPicture("home_header");
}

}  // namespace
