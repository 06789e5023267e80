// Views on the screen, checked by the pixels of their pictures: what layers, drawRect: and the
// status bar draw, where transforms and clips put it, pictures taken mid-animation, and the live
// screen redrawing only what changed.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <numbers>

#include "platform/foundation/Dispatch.h"
#include "platform/graphics/CGGradient.h"
#include "platform/graphics/UIBezierPath.h"
#include "platform/graphics/UIColor.h"
#include "platform/uikit/ScreenRenderer.h"
#include "platform/uikit/Snapshot.h"
#include "platform/uikit/StatusBar.h"
#include "platform/uikit/UIAlertView.h"
#include "tests/platform/graphics/Canvas.h"
#include "tests/platform/uikit/UIKitTestSupport.h"

using zvt::test::kBlack;
using zvt::test::kBlue;
using zvt::test::kClear;
using zvt::test::kGreen;
using zvt::test::kRed;
using zvt::test::kWhite;
using zvt::test::near;
using zvt::test::RGBA;
using zvt::uitest::Screen;

namespace {

// The device pixels of a picture (drawn into a canvas of the host's layout, whatever layout the
// image came in).
struct Picture {
  explicit Picture(const std::shared_ptr<UIImage>& image)
      : width(static_cast<int>(image->CGImage()->width())), height(static_cast<int>(image->CGImage()->height())),
        canvas(std::make_unique<zvt::test::Canvas>(width, height)) {
    image->drawInRect(CGRectMake(0, 0, width, height));
  }
  RGBA at(int x, int y) const { return canvas->at(x, y); }
  RGBA at(double x, double y, double scale) const {
    return at(static_cast<int>(std::floor(x * scale)), static_cast<int>(std::floor(y * scale)));
  }
  int width, height;
  std::unique_ptr<zvt::test::Canvas> canvas;
};

// A view that draws through a function and counts its drawings.
class DrawingView : public UIView {
 public:
  std::function<void(CGRect)> draw;
  int drawn = 0;
  void drawRect(CGRect rect) override {
    ++drawn;
    if (draw) draw(rect);
  }
};

}  // namespace

TEST(Rendering, ViewsShowTheirLayersLook) {
  // Each case: one 40 x 40 view at (20, 60) on a white window at scale 2, and device pixels
  // (counted from the view's top left) with their colours.
  struct Case {
    const char* what;
    std::function<void(UIView&)> style;
    std::vector<std::pair<std::pair<int, int>, RGBA>> expect;
  } cases[] = {
      {"corner radius 10 with masksToBounds leaves the corner transparent (the window shows)",
       [](UIView& v) {
         v.setBackgroundColor(UIColor::redColor());
         v.layer()->setCornerRadius(10);
         v.setClipsToBounds(true);
       },
       {{{1, 1}, kWhite}, {{40, 40}, kRed}, {{0, 40}, kRed}}},
      {"a 2-point black border at scale 2 covers exactly 4 device pixels",
       [](UIView& v) {
         v.setBackgroundColor(UIColor::whiteColor());
         v.layer()->setBorderWidth(2);
         v.layer()->setBorderColor(UIColor::blackColor()->CGColor());
       },
       {{{0, 40}, kBlack}, {{3, 40}, kBlack}, {{4, 40}, kWhite}, {{76, 40}, kBlack}, {{75, 40}, kWhite},
        {{40, 3}, kBlack}, {{40, 4}, kWhite}}},
      {"alpha 0.5 over white blends", [](UIView& v) {
         v.setBackgroundColor(UIColor::blueColor());
         v.setAlpha(0.5);
       },
       {{{40, 40}, RGBA{128, 128, 255, 255}}}},
      {"a clipped subview does not draw outside its superview", [](UIView& v) {
         v.setBackgroundColor(UIColor::greenColor());
         v.setClipsToBounds(true);
         auto child = UIView::initWithFrame(CGRectMake(20, 20, 60, 60));
         child->setBackgroundColor(UIColor::redColor());
         v.addSubview(child);
       },
       {{{60, 60}, kRed}, {{20, 20}, kGreen}, {{84, 60}, kWhite}, {{60, 84}, kWhite}}},
  };
  for (const auto& c : cases) {
    Screen screen;
    screen.window->setBackgroundColor(UIColor::whiteColor());
    auto view = screen.add(CGRectMake(20, 60, 40, 40));
    c.style(*view);
    screen.device().settle();
    Picture picture(zvt::ui::snapshot(screen.window));
    ASSERT_EQ(picture.width, 640) << c.what;
    for (const auto& [point, color] : c.expect) {
      RGBA seen = picture.at(40 + point.first, 120 + point.second);
      EXPECT_TRUE(near(seen, color, 1)) << c.what << " at " << point.first << ", " << point.second << ": " << seen;
    }
  }
}

TEST(Rendering, ARotatedViewLandsWhereConvertRectSays) {
  Screen screen;
  screen.window->setBackgroundColor(UIColor::whiteColor());
  auto view = screen.add(CGRectMake(100, 100, 80, 40));
  view->setBackgroundColor(UIColor::blueColor());
  auto mark = screen.add(CGRectMake(0, 0, 10, 10), view);
  mark->setBackgroundColor(UIColor::redColor());
  view->setTransform(CGAffineTransformMakeRotation(std::numbers::pi / 2));
  screen.device().settle();
  CGRect where = mark->convertRectToView(mark->bounds(), nullptr);
  EXPECT_NEAR(where.origin.x, 150, 1e-9);
  EXPECT_NEAR(where.origin.y, 80, 1e-9);
  Picture picture(zvt::ui::snapshot(screen.window));
  EXPECT_EQ(picture.at(CGRectGetMidX(where), CGRectGetMidY(where), 2), kRed);
  // The turned view covers 120 .. 160 x 80 .. 160 and no longer 100 .. 180 x 100 .. 140.
  EXPECT_EQ(picture.at(125.0, 150.0, 2), kBlue);
  EXPECT_EQ(picture.at(105.0, 120.0, 2), kWhite);
  EXPECT_EQ(picture.at(175.0, 120.0, 2), kWhite);
}

TEST(Rendering, DrawRectIsKeptUntilSetNeedsDisplay) {
  // A resizable image's caps, a gradient's ends and a progress ring at 0.25, drawn by views.
  Screen screen;
  screen.window->setBackgroundColor(UIColor::whiteColor());
  auto capsImage = [] {
    zvt::test::Canvas canvas(9, 9);
    canvas.fill(CGRectMake(0, 0, 9, 9), 0, 1, 0);
    canvas.fill(CGRectMake(3, 3, 3, 3), 1, 0, 0);
    return UIImage::imageWithCGImage(CGBitmapContextCreateImage(canvas.context))
        ->resizableImageWithCapInsets(UIEdgeInsetsMake(3, 3, 3, 3), UIImageResizingModeStretch);
  }();
  auto stretched = screen.add<DrawingView>(CGRectMake(0, 20, 60, 30));
  stretched->draw = [&](CGRect) { capsImage->drawInRect(stretched->bounds()); };
  auto gradient = screen.add<DrawingView>(CGRectMake(0, 60, 100, 20));
  gradient->draw = [](CGRect) {
    CGFloat components[] = {1, 0, 0, 1, 0, 0, 1, 1};
    CGFloat locations[] = {0, 1};
    auto g = CGGradientCreateWithColorComponents(CGColorSpaceCreateDeviceRGB(), components, locations, 2);
    CGContextDrawLinearGradient(UIGraphicsGetCurrentContext(), g, CGPointMake(0, 0), CGPointMake(100, 0), 0);
  };
  double progress = 0.25;
  auto ring = screen.add<DrawingView>(CGRectMake(100, 100, 40, 40));
  ring->setBackgroundColor(UIColor::clearColor());
  ring->draw = [&](CGRect) {
    // The ring of the round progress view: a full background circle, then the progress arc
    // clockwise from twelve o'clock.
    const double w = 2, radius = (40 - w) / 2, start = -std::numbers::pi / 2;
    auto back = UIBezierPath::bezierPathWithArcCenter(CGPointMake(20, 20), radius, start, start + 2 * std::numbers::pi, true);
    back->setLineWidth(w);
    UIColor::blueColor()->setStroke();
    back->stroke();
    auto arc = UIBezierPath::bezierPathWithArcCenter(CGPointMake(20, 20), radius, start,
                                                     start + 2 * std::numbers::pi * progress, true);
    arc->setLineWidth(w);
    arc->setLineCapStyle(kCGLineCapSquare);
    UIColor::redColor()->setStroke();
    arc->stroke();
  };
  screen.device().settle();
  auto onRing = [](const Picture& p, double degrees) {
    const double a = degrees * std::numbers::pi / 180;
    return p.at(120 + 19 * std::sin(a), 120 - 19 * std::cos(a), 2);
  };
  {
    Picture picture(zvt::ui::snapshot(screen.window));
    EXPECT_EQ(picture.at(2, 70), kGreen) << "left cap";
    EXPECT_EQ(picture.at(5, 70), kGreen) << "left cap, 3 points wide at scale 2";
    EXPECT_EQ(picture.at(7, 70), kRed) << "stretched middle";
    EXPECT_EQ(picture.at(112, 70), kRed);
    EXPECT_EQ(picture.at(114, 70), kGreen) << "right cap";
    EXPECT_TRUE(near(picture.at(0, 140), kRed, 6)) << picture.at(0, 140);
    EXPECT_TRUE(near(picture.at(199, 140), kBlue, 6)) << picture.at(199, 140);
    for (double degrees : {10.0, 45.0, 80.0}) EXPECT_EQ(onRing(picture, degrees), kRed) << degrees;
    for (double degrees : {100.0, 180.0, 270.0, 350.0}) EXPECT_EQ(onRing(picture, degrees), kBlue) << degrees;
  }
  EXPECT_EQ(ring->drawn, 1);
  screen.device().settle();
  zvt::ui::snapshot(screen.window);
  EXPECT_EQ(ring->drawn, 1) << "the backing store is kept";
  progress = 0.75;
  ring->setNeedsDisplay();
  screen.device().settle();
  EXPECT_EQ(ring->drawn, 2);
  Picture picture(zvt::ui::snapshot(screen.window));
  for (double degrees : {100.0, 180.0, 260.0}) EXPECT_EQ(onRing(picture, degrees), kRed) << degrees;
  EXPECT_EQ(onRing(picture, 300), kBlue);
}

TEST(Rendering, TheStatusBarShowsTimeAndBatteryInItsStyle) {
  struct Case {
    UIStatusBarStyle style;
    bool hidden;
    std::shared_ptr<UIColor> background;
    bool darkInk, lightInk;
  } cases[] = {
      {UIStatusBarStyleDefault, false, UIColor::whiteColor(), true, false},
      {UIStatusBarStyleLightContent, false, UIColor::blackColor(), false, true},
      {UIStatusBarStyleDefault, true, UIColor::whiteColor(), false, false},
  };
  auto app = UIApplication::sharedApplication();
  for (const auto& c : cases) {
    Screen screen;
    screen.window->setBackgroundColor(c.background);
    app->setStatusBarStyle(c.style);
    app->setStatusBarHidden(c.hidden);
    screen.device().settle();
    Picture picture(zvt::ui::screenSnapshot());
    // Count the ink of the time (the middle fifth) and of the battery (the right end).
    auto ink = [&](double x0, double x1) {
      int dark = 0, light = 0;
      for (int y = 0; y < 40; ++y)
        for (int x = static_cast<int>(x0 * 2); x < static_cast<int>(x1 * 2); ++x) {
          RGBA p = picture.at(x, y);
          dark += p.r < 100, light += p.r > 155;
        }
      return std::pair{dark, light};
    };
    for (auto [from, to] : {std::pair{130.0, 190.0}, std::pair{280.0, 320.0}}) {
      auto [dark, light] = ink(from, to);
      if (c.darkInk) {
        EXPECT_GT(dark, 20) << c.style << " " << from;
      }
      if (c.lightInk) {
        EXPECT_GT(light, 20) << c.style << " " << from;
      }
      if (!c.darkInk && c.background == UIColor::whiteColor()) {
        EXPECT_EQ(dark, 0) << "hidden " << from;
      }
    }
    EXPECT_EQ(picture.at(10, 80), c.background == UIColor::whiteColor() ? kWhite : kBlack) << "below the bar";
    app->setStatusBarHidden(false);
    app->setStatusBarStyle(UIStatusBarStyleDefault);
  }
  for (double t : {0.0, 1767225600.0, 1767225600.0 + 13 * 3600 + 7 * 60}) {
    auto text = zvt::ui::StatusBarLayer::timeText(t);
    EXPECT_TRUE(text.size() == 4 || text.size() == 5) << text;
    EXPECT_EQ(text[text.size() - 3], ':') << text;
  }
}

TEST(Rendering, AnAlertDimsTheStatusBarWithTheScreen) {
  Screen screen;
  auto app = UIApplication::sharedApplication();
  screen.window->setBackgroundColor(UIColor::blackColor());
  app->setStatusBarStyle(UIStatusBarStyleLightContent);
  screen.device().settle();
  // The brightest ink of the time (white on black), in the bar's middle fifth.
  auto brightestInk = [&] {
    Picture picture(zvt::ui::screenSnapshot());
    int brightest = 0;
    for (int y = 0; y < 40; ++y)
      for (int x = 260; x < 380; ++x) brightest = std::max(brightest, int{picture.at(x, y).r});
    return brightest;
  };
  EXPECT_GT(brightestInk(), 240) << "white ink without an alert";
  auto alert = UIAlertView::initWithTitle(NSString::stringWithUTF8String("提示"), nullptr, nullptr,
                                          NSString::stringWithUTF8String("确定"));
  alert->show();
  screen.device().wait(1);
  // The alert's window lies above the status bar: its dimming (black at 0.4) covers the ink.
  EXPECT_LT(brightestInk(), 170) << "the ink is dimmed with the rest of the screen";
  alert->dismissWithClickedButtonIndex(0, false);
  screen.device().wait(1);
  EXPECT_GT(brightestInk(), 240);
  app->setStatusBarStyle(UIStatusBarStyleDefault);
}

TEST(Rendering, APictureMidAnimationShowsItHalfWay) {
  Screen screen;
  screen.window->setBackgroundColor(UIColor::whiteColor());
  auto view = screen.add(CGRectMake(0, 100, 40, 40));
  view->setBackgroundColor(UIColor::redColor());
  screen.device().settle();
  UIView::animateWithDuration(1, 0, UIViewAnimationOptionCurveLinear, [&] { view->setFrame(CGRectMake(200, 100, 40, 40)); },
                              nullptr);
  screen.device().wait(0.5);
  Picture half(zvt::ui::screenSnapshot());
  EXPECT_EQ(half.at(120.0, 120.0, 2), kRed) << "half way: 100 .. 140";
  EXPECT_EQ(half.at(20.0, 120.0, 2), kWhite);
  EXPECT_EQ(half.at(220.0, 120.0, 2), kWhite) << "not yet at the model's frame";
  screen.device().wait(0.6);
  Picture end(zvt::ui::screenSnapshot());
  EXPECT_EQ(end.at(220.0, 120.0, 2), kRed);
}

TEST(Rendering, ATransitionOnTheLiveScreenCrossesOver) {
  Screen screen;
  auto& renderer = zvt::ui::ScreenRenderer::shared();
  renderer.setLive(true);
  screen.window->setBackgroundColor(UIColor::whiteColor());
  auto panel = screen.add(CGRectMake(0, 100, 320, 100));
  panel->setBackgroundColor(UIColor::redColor());
  screen.device().settle();
  UIView::transitionWithView(panel, 1, UIViewAnimationOptionTransitionCrossDissolve | UIViewAnimationOptionCurveLinear,
                             [&] { panel->setBackgroundColor(UIColor::blueColor()); }, nullptr);
  screen.device().wait(0.5);
  Picture half(zvt::ui::screenSnapshot());
  EXPECT_TRUE(near(half.at(160.0, 150.0, 2), RGBA{128, 0, 127, 255}, 3)) << half.at(160.0, 150.0, 2);
  screen.device().wait(0.6);
  EXPECT_EQ(Picture(zvt::ui::screenSnapshot()).at(160.0, 150.0, 2), kBlue);
  renderer.setLive(false);
}

TEST(Rendering, TheLiveScreenRedrawsOnlyWhatChanged) {
  Screen screen;
  auto& renderer = zvt::ui::ScreenRenderer::shared();
  std::vector<zvt::ca::PixelRect> frames;
  renderer.setFrameSink([&](const std::vector<zvt::ca::PixelRect>& rects) {
    frames.insert(frames.end(), rects.begin(), rects.end());
  });
  renderer.setLive(true);
  std::vector<std::shared_ptr<UIView>> cells;
  for (int i = 0; i < 20; ++i) {
    auto cell = screen.add(CGRectMake(10 + (i % 2) * 150, 30 + (i / 2) * 44, 140, 40));
    cell->setBackgroundColor(UIColor::lightGrayColor());
    screen.add(CGRectMake(5, 5, 30, 30), cell)->setBackgroundColor(UIColor::orangeColor());
    cells.push_back(cell);
  }
  screen.device().settle();
  frames.clear();
  UIView::performWithoutAnimation([&] { cells[7]->subviews()[0]->setBackgroundColor(UIColor::blueColor()); });
  screen.device().settle();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], (zvt::ca::PixelRect{(160 + 5) * 2, (30 + 3 * 44 + 5) * 2, 60, 60}));
  EXPECT_EQ(renderer.lastDrawnLayerCount(), 3u) << "the window, the cell and the square";
  frames.clear();
  screen.device().settle();
  EXPECT_TRUE(frames.empty()) << "nothing changed, nothing drawn";
  renderer.setFrameSink(nullptr);
  renderer.setLive(false);
}

TEST(Rendering, AnIdleTurnOfTheLiveScreenDrawsNothingAndAChangeIsDrawnAtTheNext) {
  Screen screen;
  auto& renderer = zvt::ui::ScreenRenderer::shared();
  renderer.setLive(true);
  std::vector<std::shared_ptr<UIView>> cells;
  for (int i = 0; i < 250; ++i) {
    auto cell = screen.add(CGRectMake((i % 10) * 32, 20 + (i / 10) * 18, 30, 16));
    cell->setBackgroundColor(UIColor::lightGrayColor());
    screen.add(CGRectMake(2, 2, 10, 10), cell)->setBackgroundColor(UIColor::orangeColor());
    cells.push_back(cell);
  }
  screen.device().settle();
  // A turn of the run loop that changes nothing (woken by a block that does nothing).
  auto idleTurns = [&](int n) {
    for (int i = 0; i < n; ++i) {
      bool ran = false;
      dispatch_async(dispatch_get_main_queue(), [&] { ran = true; });
      zvt::test::runMainLoopUntil([&] { return ran; }, 5);
      zvt::test::runMainLoopUntil([] { return false; }, 0.01);
    }
  };
  // A layer made and coloured beforehand: adding it is the step's only change.
  auto bare = CALayer::layer();
  bare->setFrame(CGRectMake(0, 0, 6, 6));
  bare->setBackgroundColor(CGColorCreateGenericRGB(0, 1, 0, 1));
  idleTurns(1);
  std::shared_ptr<UIWindow> other;
  struct Step {
    const char* what;
    std::function<void()> change;
    bool draws;
  } steps[] = {
      {"nothing", [] {}, false},
      {"a colour", [&] { UIView::performWithoutAnimation([&] { cells[7]->setBackgroundColor(UIColor::blueColor()); }); }, true},
      {"nothing again", [] {}, false},
      {"a bare layer added", [&] { cells[3]->layer()->addSublayer(bare); }, true},
      {"a bare layer removed", [&] { bare->removeFromSuperlayer(); }, true},
      {"a window shown", [&] {
         other = UIWindow::make();
         other->setFrame(CGRectMake(0, 400, 40, 40));
         other->setBackgroundColor(UIColor::redColor());
         other->setHidden(false);
       }, true},
      {"the window hidden", [&] { other->setHidden(true); }, true},
      {"still nothing", [] {}, false},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.what);
    const uint64_t frames = renderer.frameCount() + renderer.unchangedFrameCount();
    const uint64_t drawn = renderer.frameCount();
    const uint64_t unchanged = renderer.unchangedFrameCount();
    s.change();
    idleTurns(3);
    EXPECT_GT(renderer.frameCount() + renderer.unchangedFrameCount(), frames) << "the turns came";
    if (s.draws) {
      EXPECT_EQ(renderer.frameCount(), drawn + 1) << "drawn once, at the next turn";
    } else {
      EXPECT_EQ(renderer.frameCount(), drawn) << "nothing drawn";
      EXPECT_GE(renderer.unchangedFrameCount(), unchanged + 3) << "no frame walked the tree";
    }
  }
  renderer.setLive(false);
}

TEST(Rendering, TheClockOfAnIdleLiveScreenTurnsWithTheMinute) {
  Screen screen;  // the virtual clock starts on a minute
  const NSTimeInterval start = Clock::now();
  auto& renderer = zvt::ui::ScreenRenderer::shared();
  std::vector<std::pair<zvt::ca::PixelRect, NSTimeInterval>> frames;
  renderer.setFrameSink([&](const std::vector<zvt::ca::PixelRect>& rects) {
    for (const auto& r : rects) frames.emplace_back(r, Clock::now());
  });
  renderer.setLive(true);
  screen.device().settle();
  frames.clear();
  // Time alone passes: nothing else wakes the run loop.
  screen.clock.advanceBy(90);
  ASSERT_FALSE(frames.empty()) << "the minute turned on an idle screen";
  for (const auto& [r, when] : frames) {
    EXPECT_LE(r.y + r.height, 40) << "only the status bar changed";
    EXPECT_NEAR(when - start, 60, 0.01) << "drawn as the minute turned";
  }
  renderer.setFrameSink(nullptr);
  renderer.setLive(false);
}

TEST(Rendering, PicturesRoundTripThroughPNGAndLeaveTheViewsPlace) {
  Screen screen;
  auto view = screen.add(CGRectMake(33, 44, 30, 20));
  view->setBackgroundColor(UIColor::colorWithRed(0.2, 0.4, 0.6, 1));
  view->setTransform(CGAffineTransformMakeScale(2, 2));
  auto inner = screen.add(CGRectMake(5, 5, 10, 10), view);
  inner->setBackgroundColor(UIColor::colorWithRed(1, 0.5, 0, 0.5));
  screen.device().settle();
  auto image = zvt::ui::snapshot(view);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->size().width, 30);
  EXPECT_EQ(image->scale(), 2);
  auto png = zvt::ui::snapshotPNG(view);
  auto decoded = UIImage::imageWithData(png, 2);
  ASSERT_TRUE(decoded);
  Picture a(image), b(decoded);
  for (int y = 0; y < 40; y += 3)
    for (int x = 0; x < 60; x += 3) {
      // PNG keeps straight alpha: a translucent pixel comes back within rounding.
      EXPECT_TRUE(near(a.at(x, y), b.at(x, y), 1)) << x << ", " << y << ": " << a.at(x, y) << " " << b.at(x, y);
    }
  EXPECT_EQ(a.at(2, 2), (RGBA{51, 102, 153, 255}));
  EXPECT_FALSE(zvt::ui::snapshot(nullptr));
  std::shared_ptr<NSError> error;
  EXPECT_FALSE(zvt::ui::writeSnapshot(UIView::make(), "/tmp/zvt-nothing.png", &error));
  EXPECT_TRUE(error);
}

// ---- a failed screen test leaves the picture of its screen (run in a second process, which
// fails on purpose)

TEST(ScreenPicturesChild, DISABLED_FailsWithAGreenScreen) {
  Screen screen;
  screen.window->setBackgroundColor(UIColor::greenColor());
  screen.device().settle();
  ADD_FAILURE() << "on purpose";
}

TEST(ScreenPictures, AFailedScreenTestLeavesThePictureOfItsScreenWhereItsLogSays) {
  char self[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
  const std::string folder = testing::TempDir() + "zvt-screen-pictures-" + std::to_string(getpid());
  const std::string command = "ZVT_TEST_PICTURES='" + folder + "' ASAN_OPTIONS=detect_leaks=0 '" + self +
                              "' --gtest_also_run_disabled_tests --gtest_filter=ScreenPicturesChild.* 2>&1";
  FILE* child = popen(command.c_str(), "r");
  ASSERT_TRUE(child);
  std::string output;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, child)) > 0;) output.append(buffer, n);
  EXPECT_NE(pclose(child), 0) << "the child's test failed";
  const std::string path = folder + "/ScreenPicturesChild.DISABLED_FailsWithAGreenScreen.png";
  EXPECT_NE(output.find("screen picture: " + path), std::string::npos) << output;
  auto image = UIImage::imageWithContentsOfFile(NSString::stringWithUTF8String(path.c_str()));
  ASSERT_TRUE(image) << path;
  Picture picture(image);
  EXPECT_EQ(picture.width, 640);
  EXPECT_EQ(picture.at(320, 480), kGreen) << "the screen as the test left it";
  std::remove(path.c_str());
  rmdir(folder.c_str());
}
