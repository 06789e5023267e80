// The home content view: the product grid's geometry, and the first-run guide on a 480-point
// screen (its "3_5" pictures, the start button on the last page) or none once entered.

#include <gtest/gtest.h>

#include "app/screens/shopping/HomePageView.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UIImageView.h"
#include "tests/platform/uikit/UIKitTestSupport.h"

namespace {

using zvt::uitest::Screen;

class HomePage : public ::testing::Test {
 protected:
  void SetUp() override { zvt::setMainBundlePath(ZVT_BUNDLE_ROOT); }
  void TearDown() override { NSUserDefaults::standardUserDefaults()->removeObjectForKey("isBeforeEnter"_ns); }
  Screen screen;
};

TEST_F(HomePage, GridTakesTheViewWithTwoColumns) {
  NSUserDefaults::standardUserDefaults()->setBool(true, "isBeforeEnter"_ns);
  auto view = screen.add<HomePageView>(CGRectMake(0, 64, 320, 367));
  EXPECT_FALSE(view->guideScrollView);
  auto grid = view->homePageCollectionView;
  EXPECT_EQ(grid->frame(), CGRectMake(0, 0, 320, 367));
  auto layout = std::dynamic_pointer_cast<UICollectionViewFlowLayout>(grid->collectionViewLayout());
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->itemSize(), CGSizeMake(151, 199));
  EXPECT_EQ(layout->sectionInset().left, 6);
  EXPECT_EQ(layout->sectionInset().right, 6);
  EXPECT_EQ(layout->minimumInteritemSpacing(), 5);
  EXPECT_EQ(layout->minimumLineSpacing(), 6);
}

TEST_F(HomePage, FirstRunGuideOnAShortScreen) {
  auto view = screen.add<HomePageView>(CGRectMake(0, 0, 320, 480));
  auto guide = view->guideScrollView;
  ASSERT_TRUE(guide);
  screen.window->addSubview(guide);
  EXPECT_EQ(guide->frame(), CGRectMake(0, 0, 320, 480));
  EXPECT_EQ(guide->contentSize(), CGSizeMake(1280, 480));
  const char* const names[] = {"guideFirst3_5", "guideSecond3_5", "guideThird3_5", "guideFourth3_5"};
  std::shared_ptr<UIButton> start;
  for (size_t i = 0; i < 4; ++i) {
    auto page = std::dynamic_pointer_cast<UIImageView>(guide->subviews()[i]);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->frame(), CGRectMake(320.0 * i, 0, 320, 480));
    EXPECT_EQ(page->image(), UIImage::imageNamed(NSString::stringWithUTF8String(names[i]))) << names[i];
    if (!page->subviews().empty()) start = std::dynamic_pointer_cast<UIButton>(page->subviews().front());
  }
  ASSERT_TRUE(start);
  EXPECT_EQ(start->superview(), guide->subviews()[3]);
  EXPECT_EQ(start->frame(), CGRectMake(95, 408 - 18, 130, 36));
  int started = 0;
  view->setMyBlock([&](const id& sender) { started += sender == start; });
  for (int page = 0; page < 3; ++page) Screen::device().swipePage(guide, +1);
  EXPECT_EQ(guide->contentOffset().x, 960);
  Screen::device().settle();
  zvt::test::writeScreenPicture("home_guide_last_page");
  EXPECT_TRUE(Screen::device().tapView(start));
  EXPECT_EQ(started, 1);
}

}  // namespace
