// A screen with a white bar pushed from the home screen's theme bar, as a person opens it: the
// new screen lies where it stays from the first frame of the slide (the white bar is opaque, so
// the screen lies below it, where the home screen's content runs on under its bar).

#include <gtest/gtest.h>

#include "app/screens/shopping/TZOrderViewController.h"
#include "tests/app/screens/shopping/HomeScreenTestSupport.h"

namespace {

using zvt::test::HomeScreenTest;

class HomePush : public HomeScreenTest {};

TEST_F(HomePush, AWhiteBarScreenSlidesInWhereItStays) {
  skipGuide();
  storeCredentials();
  launchHome();
  ASSERT_TRUE(delegate_->isLogin());
  auto navigation = home()->navigationController();
  const CGRect homeFrame = home()->view()->frame();

  // The icon of "返利订单", the seventh item (an icon and its name per item).
  ASSERT_TRUE(device().tapView(home()->headerView()->smallClassView->subviews()[12]));
  device().settle();
  auto orders = std::dynamic_pointer_cast<TZOrderViewController>(navigation->topViewController());
  ASSERT_TRUE(orders) << topClass();
  ASSERT_TRUE(navigation->isTransitioning());
  device().wait(1.0 / 60);  // the first frame of the slide
  const CGRect first = orders->view()->frame();
  const CGRect shownFirst = orders->view()->layer()->presentationLayer()->frame();
  EXPECT_GT(shownFirst.origin.x, 0) << "still coming in from the right";
  EXPECT_EQ(home()->view()->frame().origin.y, homeFrame.origin.y) << "the home screen stays where it was";
  device().wait(UINavigationController::kTransitionDuration / 2);
  zvt::test::writeScreenPicture("home-push-white-bar-mid-slide");

  device().wait(UINavigationController::kTransitionDuration);
  ASSERT_FALSE(navigation->isTransitioning());
  const CGRect below{{0, 64}, {320, 504}};  // below the opaque white bar, above the hidden tab bar
  EXPECT_EQ(first.origin.y, below.origin.y);
  EXPECT_EQ(first.size, below.size);
  EXPECT_EQ(shownFirst.origin.y, below.origin.y);
  EXPECT_EQ(shownFirst.size, below.size);
  EXPECT_EQ(orders->view()->frame(), below);
  EXPECT_EQ(orders->view()->layer()->presentationLayer()->frame(), below);
  zvt::test::writeScreenPicture("home-push-white-bar-over");
}

}  // namespace
