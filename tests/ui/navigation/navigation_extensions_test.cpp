// The full-screen back swipe and the per-screen bar looks, through the device on a shown
// window: which pans pop, the bar hidden per screen, and two differently styled bars sliding
// with their own screens (in pictures taken mid-way).

#include <gtest/gtest.h>

#include "platform/graphics/CGBitmapContext.h"
#include "platform/uikit/Snapshot.h"
#include "tests/platform/uikit/ControllerTestSupport.h"
#include "ui/navigation/UINavigationController+BSFullscreenPopGesture.h"
#include "ui/navigation/UINavigationController+NBNavigationBarTransition.h"

namespace {

using namespace zvt::uitest;

// A screen of one colour that puts its own look on the bar as it is about to appear, the way
// the application's screens style the bar (white or the theme).
class StyledScreen : public UIViewController {
 public:
  std::shared_ptr<UIColor> colour;
  bool white = false;
  bool hidesBarItself = false;

  static std::shared_ptr<StyledScreen> make(std::shared_ptr<UIColor> colour, bool white) {
    auto screen = std::make_shared<StyledScreen>();
    screen->colour = std::move(colour);
    screen->white = white;
    return screen;
  }
  void viewDidLoad() override {
    UIViewController::viewDidLoad();
    view()->setBackgroundColor(colour);
  }
  void viewWillAppear(bool animated) override {
    UIViewController::viewWillAppear(animated);
    auto bar = navigationController()->navigationBar();
    if (white) {
      bar->setBackgroundImage(whiteImage(), UIBarMetricsDefault);
      bar->setBarTintColor(nullptr);
    } else {
      bar->setBackgroundImage(nullptr, UIBarMetricsDefault);
      bar->setBarTintColor(theme());
    }
    if (hidesBarItself) navigationController()->setNavigationBarHidden(true, animated);
  }
  static std::shared_ptr<UIColor> theme() { return UIColor::colorWithRed(1, 85 / 255.0, 20 / 255.0, 1); }
  static std::shared_ptr<UIImage> whiteImage() {
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(4, 4), true, 1);
    UIColor::whiteColor()->setFill();
    CGContextFillRect(UIGraphicsGetCurrentContext(), CGRectMake(0, 0, 4, 4));
    auto image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    return image;
  }
};

class NavigationTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { zvt::ui::installNavigationExtensions(); }

  ControllerScreen screen;
  std::shared_ptr<StyledScreen> a = StyledScreen::make(UIColor::redColor(), false);
  std::shared_ptr<StyledScreen> b = StyledScreen::make(UIColor::blueColor(), true);
  std::shared_ptr<UINavigationController> nav = UINavigationController::initWithRootViewController(a);

  // A pan by hand at 60 moves a second; `release` lifts the finger.
  zvt::ui::Device::Finger pan(CGPoint from, CGPoint to, NSTimeInterval duration, bool release = true) {
    auto& device = screen.device();
    auto finger = device.touchDown(from);
    const int steps = std::max(2, static_cast<int>(duration * 60));
    for (int i = 1; i <= steps; ++i) {
      const CGFloat t = static_cast<CGFloat>(i) / steps;
      device.wait(duration / steps);
      device.touchMove(finger, CGPointMake(from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t));
    }
    if (release) {
      device.touchUp(finger);
      device.wait(UINavigationController::kTransitionDuration);
    }
    return finger;
  }
};

// Where a screen's left edge is on screen as shown (its presentation, mid-animation), in
// points from the window's left.
CGFloat shownLeftEdge(const std::shared_ptr<UIViewController>& screen) {
  auto view = screen->view();
  const auto shown = view->layer()->presentationProperties();
  const CGFloat inSuperview = shown.position.x - shown.bounds.size.width * shown.anchorPoint.x;
  return view->superview()->convertPointToView(CGPointMake(inSuperview, 0), nullptr).x;
}

// The colour of the screen's picture at a point (in points), as 0xRRGGBB.
uint32_t colourAt(const std::shared_ptr<UIImage>& picture, CGFloat x, CGFloat y) {
  auto image = picture->CGImage();
  auto context = CGBitmapContextCreate(nullptr, 1, 1, 8, 4, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast);
  const CGFloat s = picture->scale();
  CGContextDrawImage(context,
                     CGRectMake(-x * s, y * s + 1 - static_cast<CGFloat>(image->height()), static_cast<CGFloat>(image->width()),
                                static_cast<CGFloat>(image->height())),
                     image);
  auto p = static_cast<const uint8_t*>(CGBitmapContextGetData(context));
  return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
}

TEST_F(NavigationTest, ARightPanAnywhereOnAPushedScreenPopsIt) {
  struct Case {
    const char* what;
    bool pushed;
    bool disabled;
    CGPoint from, to;
    size_t stacked;
    NSTimeInterval duration;
  } cases[] = {
      {"right from the middle", true, false, {160, 300}, {310, 300}, 1, 0.3},
      {"right, not far enough", true, false, {160, 300}, {200, 300}, 2, 0.3},
      // Slowly (far below the fling speed): only past half the width completes.
      {"slowly to 41% of the width", true, false, {100, 300}, {231, 300}, 2, 2.0},
      {"slowly to 55% of the width", true, false, {100, 300}, {276, 300}, 1, 2.0},
      {"left from the middle", true, false, {200, 300}, {40, 300}, 2, 0.3},
      {"on the root screen", false, false, {160, 300}, {310, 300}, 1, 0.3},
      {"where the screen forbids it", true, true, {160, 300}, {310, 300}, 2, 0.3},
  };
  screen.show(nav);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    nav->setViewControllers({a}, false);
    screen.device().settle();
    if (c.pushed) {
      nav->pushViewController(b, false);
      screen.device().settle();
    }
    setBs_interactivePopDisabled(b, c.disabled);
    pan(c.from, c.to, c.duration);
    EXPECT_EQ(nav->viewControllers().size(), c.stacked);
    EXPECT_FALSE(nav->isTransitioning());
    EXPECT_EQ(nav->topViewController()->view()->frame().origin.x, 0);
  }
  // The swipe replaced the edge pan.
  EXPECT_FALSE(nav->interactivePopGestureRecognizer()->isEnabled());
  EXPECT_EQ(bs_fullscreenPopGestureRecognizer(nav)->view(), nav->view());
}

TEST_F(NavigationTest, ASwipeDuringATransitionDoesNotBegin) {
  screen.show(nav);
  nav->pushViewController(b, true);
  EXPECT_TRUE(nav->isTransitioning());
  auto recognizer = bs_fullscreenPopGestureRecognizer(nav);
  EXPECT_FALSE(recognizer->delegate()->gestureRecognizerShouldBegin(recognizer));
  screen.device().wait(UINavigationController::kTransitionDuration);
  EXPECT_EQ(nav->topViewController(), b);
}

TEST_F(NavigationTest, EachScreenShowsOrHidesTheBarAsItAppears) {
  screen.show(nav);
  auto c = StyledScreen::make(UIColor::greenColor(), true);
  setBs_prefersNavigationBarHidden(b, true);
  const struct {
    const char* step;
    std::function<void()> run;
    bool hidden;
  } steps[] = {
      {"push a screen that prefers no bar", [&] { nav->pushViewController(b, true); }, true},
      {"push one with the default", [&] { nav->pushViewController(c, true); }, false},
      {"back to the one without", [&] { nav->popViewControllerAnimated(true); }, true},
      {"back to the root", [&] { nav->popToRootViewControllerAnimated(true); }, false},
      {"a screen that hides the bar in its own will-appear",
       [&] {
         c->hidesBarItself = true;
         nav->pushViewController(c, true);
       },
       true},
  };
  for (const auto& step : steps) {
    step.run();
    screen.device().wait(UINavigationController::kTransitionDuration);
    EXPECT_EQ(nav->isNavigationBarHidden(), step.hidden) << step.step;
  }
  setBs_viewControllerBasedNavigationBarAppearanceEnabled(nav, false);
  EXPECT_FALSE(bs_viewControllerBasedNavigationBarAppearanceEnabled(nav));
}

TEST_F(NavigationTest, TwoBarLooksSlideWithTheirScreens) {
  constexpr uint32_t kWhite = 0xFFFFFF, kTheme = 0xFF5514, kRed = 0xFF0000, kBlue = 0x0000FF;
  screen.show(nav);
  auto bar = nav->navigationBar();
  EXPECT_TRUE(bar->barTintColor()->isEqual(StyledScreen::theme()));

  // Half way through the push: the theme bar over the red screen on the left, the white one
  // over the blue screen coming in from the right; the real bar's background hidden.
  nav->pushViewController(b, true);
  screen.device().wait(UINavigationController::kTransitionDuration / 2);
  auto mid = zvt::ui::screenSnapshot();
  EXPECT_TRUE(bar->backgroundView()->isHidden());
  ASSERT_TRUE(nb_transitionNavigationBar(a) && nb_transitionNavigationBar(b));
  const CGFloat edge = shownLeftEdge(b);
  ASSERT_GT(edge, 60);
  ASSERT_LT(edge, 260);
  EXPECT_EQ(colourAt(mid, edge / 2, 26), kTheme);
  EXPECT_EQ(colourAt(mid, edge / 2, 300), kRed);
  EXPECT_EQ(colourAt(mid, (edge + 320) / 2, 26), kWhite);
  EXPECT_EQ(colourAt(mid, (edge + 320) / 2, 300), kBlue);

  // Over: the real bar has the white look, shown again; the pushed screen's copy is gone.
  screen.device().wait(UINavigationController::kTransitionDuration);
  EXPECT_FALSE(bar->backgroundView()->isHidden());
  EXPECT_FALSE(nb_transitionNavigationBar(b));
  EXPECT_TRUE(bar->backgroundImageForBarMetrics(UIBarMetricsDefault));
  EXPECT_EQ(colourAt(zvt::ui::screenSnapshot(), 160, 26), kWhite);

  // A swipe half way back: both screens with their own bars in the picture.
  auto finger = pan({100, 300}, {260, 300}, 0.5, false);
  auto swiping = zvt::ui::screenSnapshot();
  const CGFloat swipeEdge = shownLeftEdge(b);
  ASSERT_GT(swipeEdge, 60);
  ASSERT_LT(swipeEdge, 260);
  EXPECT_EQ(colourAt(swiping, swipeEdge / 2, 26), kTheme);
  EXPECT_EQ(colourAt(swiping, 2, 60), kTheme) << "the returning screen's bar reaches its left edge";
  EXPECT_EQ(colourAt(swiping, swipeEdge / 2, 300), kRed);
  EXPECT_EQ(colourAt(swiping, (swipeEdge + 320) / 2, 26), kWhite);
  EXPECT_EQ(colourAt(swiping, (swipeEdge + 320) / 2, 300), kBlue);
  screen.device().touchUp(finger);
  screen.device().wait(UINavigationController::kTransitionDuration);

  // The pop ended on the theme screen with the theme look.
  EXPECT_EQ(nav->topViewController(), a);
  EXPECT_TRUE(bar->barTintColor() && bar->barTintColor()->isEqual(StyledScreen::theme()));
  EXPECT_FALSE(bar->backgroundImageForBarMetrics(UIBarMetricsDefault));
  EXPECT_FALSE(bar->backgroundView()->isHidden());
  EXPECT_FALSE(nb_transitionNavigationBar(a));
  EXPECT_EQ(colourAt(zvt::ui::screenSnapshot(), 160, 26), kTheme);
}

}  // namespace

namespace {

// The white bar is opaque, the theme bar is not: a white-bar screen pushed from a theme-bar one
// lies below its bar, and it lies there from the first frame of the push. Its top strip shows
// right below the bar as it slides in, not hidden under the bar until it jumps down at the end.
TEST_F(NavigationTest, AWhiteBarScreenSlidesInBelowItsBarFromTheFirstFrame) {
  constexpr uint32_t kWhite = 0xFFFFFF, kGreen = 0x00FF00, kBlue = 0x0000FF;
  screen.show(nav);
  auto strip = UIView::initWithFrame(CGRectMake(0, 0, 320, 10));
  strip->setBackgroundColor(UIColor::greenColor());
  b->view()->addSubview(strip);
  const CGRect belowTheBar{{0, 64}, {320, 416}};

  nav->pushViewController(b, true);
  double waited = 0;
  // The first frame, and half way.
  for (double at : {1.0 / 60, UINavigationController::kTransitionDuration / 2}) {
    SCOPED_TRACE(at);
    screen.device().wait(at - waited);
    waited = at;
    ASSERT_TRUE(nav->isTransitioning());
    const auto shown = b->view()->layer()->presentationLayer()->frame();
    EXPECT_EQ(shown.origin.y, belowTheBar.origin.y);
    EXPECT_EQ(shown.size, belowTheBar.size);
    const CGFloat edge = shownLeftEdge(b);
    ASSERT_LT(edge, 320);
    auto picture = zvt::ui::screenSnapshot();
    const CGFloat x = (edge + 320) / 2;
    EXPECT_EQ(colourAt(picture, x, 40), kWhite) << "the white bar over the incoming screen";
    EXPECT_EQ(colourAt(picture, x, 69), kGreen) << "the strip right below it";
    EXPECT_EQ(colourAt(picture, x, 200), kBlue);
  }
  screen.device().wait(UINavigationController::kTransitionDuration);
  EXPECT_FALSE(nav->isTransitioning());
  EXPECT_EQ(b->view()->frame(), belowTheBar);
  EXPECT_EQ(colourAt(zvt::ui::screenSnapshot(), 160, 69), kGreen);
}

}  // namespace

namespace {

// Whether the swipe begins shows while the finger is still down: a pop that began runs its
// transition under the finger (one that began on a move to the left would be cancelled at the
// end and leave the same stack behind).
TEST_F(NavigationTest, OnlyAMoveToTheRightBeginsTheSwipe) {
  const struct {
    const char* what;
    CGPoint from, to;
    bool begins;
  } cases[] = {
      {"to the right", {160, 300}, {230, 300}, true},
      {"to the right and down", {160, 200}, {200, 320}, true},
      {"to the left", {200, 300}, {130, 300}, false},
      {"to the left from near the left edge", {60, 300}, {10, 300}, false},
      {"straight down", {160, 200}, {160, 320}, false},
      {"up and a little to the left", {160, 300}, {150, 180}, false},
  };
  screen.show(nav);
  auto recognizer = bs_fullscreenPopGestureRecognizer(nav);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    nav->setViewControllers({a}, false);
    nav->pushViewController(b, false);
    screen.device().settle();
    auto finger = pan(c.from, c.to, 0.3, false);
    EXPECT_EQ(nav->isTransitioning(), c.begins);
    EXPECT_EQ(b->isMovingFromParentViewController(), c.begins);
    EXPECT_EQ(recognizer->state() == UIGestureRecognizerStateChanged, c.begins);
    screen.device().touchUp(finger);
    screen.device().wait(UINavigationController::kTransitionDuration);
    EXPECT_FALSE(nav->isTransitioning());
  }
}

}  // namespace
