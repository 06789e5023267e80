// The rebate tutorial and the about page through the device: the two segments with their
// pictures at the screen's width, the scroll offset kept across a switch, the openers' segment,
// and the about picture's scrolling range.

#include <gtest/gtest.h>

#include "app/core/UIViewController+TZSkip.h"
#include "app/models/TZHeaderInfoModel.h"
#include "app/screens/rewards/CourseViewController.h"
#include "app/screens/rewards/RewardsScreens.h"
#include "platform/graphics/UIScreen.h"
#include "tests/app/core/ShellTestSupport.h"

namespace zvt::test {
namespace {

class CourseTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    registerRewardsScreens();
    launch();
  }

  std::shared_ptr<UINavigationController> homeStack() const {
    return std::dynamic_pointer_cast<UINavigationController>(delegate_->tabBarController()->viewControllers().front());
  }
  // Made by name with the segment set, as the mall list's tutorial button does, and pushed.
  std::shared_ptr<CourseViewController> open(const id& selectedIndex) {
    auto screen = makeScreen("CourseViewController");
    if (selectedIndex) screen->setValueForKey(selectedIndex, "selectedIndex"_ns);
    homeStack()->pushViewController(screen, true);
    device().wait(1);
    return std::dynamic_pointer_cast<CourseViewController>(topScreen());
  }

  static CGFloat width() {
    const CGSize size = UIScreen::mainScreen()->bounds().size;
    return std::min(size.width, size.height);
  }
  // The picture's height at the screen's width.
  static CGFloat scaledHeight(const char* name) {
    const CGSize size = UIImage::imageNamed(NSString::stringWithUTF8String(name))->size();
    return size.height / size.width * width();
  }
  static void expectShows(const std::shared_ptr<CourseViewController>& screen, const char* picture, NSInteger segment) {
    EXPECT_EQ(screen->segmentControl()->selectedSegmentIndex(), segment);
    EXPECT_EQ(screen->courseImageView()->image(), UIImage::imageNamed(NSString::stringWithUTF8String(picture)));
    EXPECT_EQ(screen->courseImageView()->frame().size.height, scaledHeight(picture));
    EXPECT_EQ(screen->bgscrollView()->contentSize().height, scaledHeight(picture));
    EXPECT_EQ(screen->bgscrollView()->contentSize().width, width());
  }
};

TEST_F(CourseTest, TheOpenersSegmentPicksThePicture) {
  struct Case {
    const char* name;
    id selectedIndex;
    const char* picture;
    NSInteger segment;
  };
  const Case cases[] = {
      {"default", nullptr, "courseTaobao", 0},
      {"the malls", NSNumber::numberWithInteger(1), "courseStore", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto screen = open(c.selectedIndex);
    ASSERT_TRUE(screen);
    expectShows(screen, c.picture, c.segment);
    writeScreenPicture(std::string("course-") + c.picture);
    homeStack()->popToRootViewControllerAnimated(false);
    device().wait(0.5);
  }
  // The two pictures are both taller than the screen, and not of one height.
  EXPECT_GT(scaledHeight("courseTaobao"), UIScreen::mainScreen()->bounds().size.height);
  EXPECT_GT(scaledHeight("courseStore"), UIScreen::mainScreen()->bounds().size.height);
  EXPECT_NE(scaledHeight("courseTaobao"), scaledHeight("courseStore"));
}

TEST_F(CourseTest, SwitchingKeepsTheScrollOffsetAndRecomputesTheContent) {
  auto screen = open(NSNumber::numberWithInteger(1));
  ASSERT_TRUE(screen);
  auto scroll = screen->bgscrollView();
  device().dragView(scroll, CGPointMake(0, -300), 0.5);
  device().waitUntilStill(scroll);
  const CGFloat offset = scroll->contentOffset().y;
  ASSERT_GT(offset, 100);
  ASSERT_TRUE(device().tapText("淘宝回扣教程"));
  device().wait(0.5);
  expectShows(screen, "courseTaobao", 0);
  EXPECT_EQ(scroll->contentOffset().y, offset);
  ASSERT_TRUE(device().tapText("商城回扣教程"));
  device().wait(0.5);
  expectShows(screen, "courseStore", 1);
  EXPECT_EQ(scroll->contentOffset().y, offset);
}

TEST_F(CourseTest, InAppCodeNineOpensTheTaobaoSegment) {
  auto item = modelFromRecord<TZHeaderInfoModel>(NSDictionary::make({{"local"_ns, "1"_ns}, {"link"_ns, "9"_ns}}));
  clickAction(topScreen(), item);
  device().wait(1);
  auto screen = std::dynamic_pointer_cast<CourseViewController>(topScreen());
  ASSERT_TRUE(screen) << topClass();
  expectShows(screen, "courseTaobao", 0);
}

TEST_F(CourseTest, TheAboutPagesRangeEnds49PointsShortOfThePicture) {
  homeStack()->pushViewController(makeScreen("AboutZaveltoViewController"), true);
  device().wait(1);
  auto about = std::dynamic_pointer_cast<AboutZaveltoViewController>(topScreen());
  ASSERT_TRUE(about) << topClass();
  const CGFloat height = UIImage::imageNamed("aboutZavelto"_ns)->size().height;
  EXPECT_EQ(about->imageView()->frame().size.height, height);
  EXPECT_EQ(about->scrollView()->contentSize().height, height - 49);
  EXPECT_EQ(about->title()->utf8(), "关于Zavelto");
  writeScreenPicture("about");
}

}  // namespace
}  // namespace zvt::test
