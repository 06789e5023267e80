// The progress overlay and the screens' overlay calls, on the virtual clock and in pixels.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>

#include "platform/foundation/NSThread.h"
#include "platform/text/NSAttributedString.h"
#include "platform/text/NSStringDrawing.h"
#include "platform/uikit/Snapshot.h"
#include "platform/uikit/UIViewController.h"
#include "tests/platform/graphics/Canvas.h"
#include "tests/platform/uikit/ControllerTestSupport.h"
#include "tests/platform/uikit/UIKitTestSupport.h"
#include "ui/hud/POProgressHUD.h"
#include "ui/hud/POProgressViews.h"

namespace {

using zvt::test::Canvas;
using zvt::test::RGBA;
using zvt::uitest::Screen;

std::shared_ptr<NSString> ns(const char* s) { return NSString::stringWithUTF8String(s); }
std::string text(const std::shared_ptr<NSString>& s) { return s ? s->utf8() : ""; }

class ProgressHUD : public ::testing::Test {
 protected:
  Screen screen;
  std::shared_ptr<UIView> parent = screen.add(CGRectMake(0, 0, 320, 480));
  void wait(double seconds) { screen.device().wait(seconds); }
  size_t overlays() { return POProgressHUD::allHUDsForView(parent).size(); }
};

TEST_F(ProgressHUD, MinimumShowTimeHoldsAnEarlyHideUntilItHasPassed) {
  auto hud = POProgressHUD::showHUDAddedTo(parent, true);
  hud->setMinShowTime(1.0);
  wait(0.2);
  EXPECT_TRUE(POProgressHUD::hideHUDForView(parent, true));
  // (time, model alpha, still a subview)
  struct Step {
    double at;
    double alpha;
    bool present;
  } steps[] = {{0.99, 1.0, true}, {1.0, 0.02, true}, {1.29, 0.02, true}, {1.31, 0.0, false}};
  double now = 0.2;
  for (const auto& s : steps) {
    wait(s.at - now);
    now = s.at;
    SCOPED_TRACE(s.at);
    EXPECT_NEAR(hud->alpha(), s.alpha, 1e-9);
    EXPECT_EQ(hud->superview() != nullptr, s.present);
    // While it fades it is still the view's overlay.
    if (s.present) {
      EXPECT_EQ(POProgressHUD::HUDForView(parent), hud);
    }
  }
}

TEST_F(ProgressHUD, GraceTimeHidesATaskThatEndsBeforeIt) {
  auto hud = POProgressHUD::initWithView(parent);
  parent->addSubview(hud);
  hud->setGraceTime(0.5);
  std::atomic<int> ran{0}, completed{0};
  hud->showAnimated(true, [&] { ++ran; }, [&] { ++completed; });
  ASSERT_TRUE(zvt::test::runMainLoopUntil([&] { return !hud->taskInProgress(); }));
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(completed, 1);
  for (int i = 0; i < 8; ++i) {
    wait(0.1);
    EXPECT_EQ(hud->alpha(), 0.0) << "visible at step " << i;
  }
  // A grace timer without any task never shows the overlay either.
  auto idle = POProgressHUD::initWithView(parent);
  parent->addSubview(idle);
  idle->setGraceTime(0.5);
  idle->show(false);
  wait(1.0);
  EXPECT_EQ(idle->alpha(), 0.0);
}

class Worker : public NSObject {
 public:
  std::atomic<bool> offMain{false};
  id received;
  void work(const std::shared_ptr<NSObject>& object) {
    offMain = !NSThread::isMainThread();
    received = object;
  }
};

class Watcher : public POProgressHUDDelegate {
 public:
  std::vector<std::string>* log = nullptr;
  void hudWasHidden(const std::shared_ptr<POProgressHUD>&) override { log->push_back("delegate"); }
};

TEST_F(ProgressHUD, TasksRunOffTheMainThreadAndTheEndIsReportedInOrder) {
  auto hud = POProgressHUD::showHUDAddedTo(parent, false);
  auto worker = std::make_shared<Worker>();
  std::vector<std::string> log;
  auto watcher = std::make_shared<Watcher>();
  watcher->log = &log;
  hud->setDelegate(watcher);
  hud->setCompletionBlock([&] { log.push_back("completion"); });
  hud->showWhileExecuting(SEL(&Worker::work), worker, ns("payload"), false);
  ASSERT_TRUE(zvt::test::runMainLoopUntil([&] { return hud->superview() == nullptr; }));
  EXPECT_TRUE(worker->offMain);
  EXPECT_TRUE(zvt::objectsEqual(worker->received, ns("payload")));
  EXPECT_EQ(log, (std::vector<std::string>{"completion", "delegate"}));
  EXPECT_FALSE(hud->completionBlock()) << "run once, then cleared";
}

TEST_F(ProgressHUD, ADelayedHideIsCancelledByANewShow) {
  auto hud = POProgressHUD::initWithView(parent);
  parent->addSubview(hud);
  hud->show(false);
  hud->hide(false, 0.5);
  wait(0.2);
  hud->show(false);
  wait(1.0);
  EXPECT_EQ(hud->alpha(), 1.0);
  hud->hide(false, 0.5);
  wait(0.6);
  EXPECT_EQ(hud->alpha(), 0.0);
}

TEST_F(ProgressHUD, TheBoxIsItsContentPlusTheMargins) {
  auto bold16 = UIFont::boldSystemFontOfSize(16);
  auto measured = [&](const char* text) {
    return sizeWithAttributes(ns(text), NSDictionary::dictionaryWithObject(bold16, NSFontAttributeName));
  };
  CGSize label = measured("正在加载");
  struct Case {
    const char* name;
    CGSize parent;
    std::function<void(POProgressHUD&)> set;
    CGSize box;
    CGFloat labelWidth;
  } cases[] = {
      {"text only", {320, 480}, [](POProgressHUD& h) { h.setLabelText(ns("正在加载")); },
       {label.width + 40, label.height + 40}, label.width},
      {"nothing at all", {320, 480}, [](POProgressHUD&) {}, {40, 40}, 0},
      {"square where it fits", {320, 480},
       [](POProgressHUD& h) {
         h.setLabelText(ns("正在加载"));
         h.setSquare(true);
       },
       {label.width + 40, label.width + 40}, label.width},
      {"minimum size", {320, 480}, [](POProgressHUD& h) { h.setMinSize(CGSizeMake(100, 120)); }, {100, 120}, 0},
      // A parent narrower than four margins leaves no room for the label: its width is zero,
      // never negative, and the box is the margins alone across.
      {"parent smaller than the margins", {60, 60}, [](POProgressHUD& h) { h.setLabelText(ns("正在加载")); },
       {40, label.height + 40}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto host = screen.add(CGRectMake(0, 0, c.parent.width, c.parent.height));
    auto hud = POProgressHUD::showHUDAddedTo(host, false);
    hud->setMode(POProgressHUDModeText);
    c.set(*hud);
    hud->layoutIfNeeded();
    EXPECT_NEAR(hud->size().width, c.box.width, 1e-6);
    EXPECT_NEAR(hud->size().height, c.box.height, 1e-6);
    EXPECT_NEAR(hud->label()->frame().size.width, c.labelWidth, 1e-6);
    EXPECT_GE(hud->detailsLabel()->frame().size.width, 0);
    EXPECT_GE(hud->detailsLabel()->frame().size.height, 0);
    host->removeFromSuperview();
  }
}

TEST_F(ProgressHUD, IndicatorsFollowTheModeAndProgress) {
  auto hud = POProgressHUD::showHUDAddedTo(parent, false);
  struct Case {
    NSInteger mode;
    const char* kind;
  } cases[] = {{POProgressHUDModeIndeterminate, "UIActivityIndicatorView"},
               {POProgressHUDModeDeterminate, "PORoundProgressView"},
               {POProgressHUDModeAnnularDeterminate, "PORoundProgressView"},
               {POProgressHUDModeDeterminateHorizontalBar, "POBarProgressView"},
               {POProgressHUDModeText, ""}};
  for (const auto& c : cases) {
    hud->setMode(c.mode);
    EXPECT_EQ(hud->indicator() ? hud->indicator()->className() : "", c.kind) << c.mode;
  }
  hud->setMode(POProgressHUDModeAnnularDeterminate);
  hud->setProgress(0.4f);
  auto round = zvt::as<PORoundProgressView>(hud->indicator());
  EXPECT_TRUE(round->isAnnular());
  EXPECT_FLOAT_EQ(round->progress(), 0.4f);
  // Set from another thread, the change reaches the indicator through the main thread.
  NSThread::detachNewThreadWithBlock([hud] { hud->setProgress(0.9f); });
  ASSERT_TRUE(zvt::test::runMainLoopUntil([&] { return round->progress() > 0.8f; }));
}

// Device pixels of a 37-point ring at scale 2, read at 45 degrees past twelve o'clock (inside
// the quarter shown) and at 225 degrees (background only).
TEST_F(ProgressHUD, RingShowsItsQuarterInPixels) {
  auto ring = PORoundProgressView::make();
  ring->setAnnular(true);
  ring->setProgress(0.25f);
  parent->addSubview(ring);
  screen.device().settle();
  auto image = zvt::ui::snapshot(ring);
  ASSERT_TRUE(image);
  int w = static_cast<int>(image->CGImage()->width());
  Canvas canvas(w, w);
  image->drawInRect(CGRectMake(0, 0, w, w));
  double centre = 18.5, radius = 17.5, scale = w / 37.0;
  auto at = [&](double degrees) {
    double a = degrees * M_PI / 180;
    return canvas.at(static_cast<int>((centre + radius * std::sin(a)) * scale),
                     static_cast<int>((centre - radius * std::cos(a)) * scale));
  };
  EXPECT_GT(at(45).a, 200) << at(45);
  EXPECT_LT(at(225).a, 60) << at(225);
  EXPECT_GT(at(225).a, 0) << at(225);
  EXPECT_LT(at(135).a, 60) << "the quarter ends at three o'clock";
}

// The drawn indicators in pixels: (view, progress, point in points, alpha range).
TEST_F(ProgressHUD, IndicatorsDrawTheirFraction) {
  auto pie = PORoundProgressView::make();
  auto bar = POBarProgressView::make();
  struct Case {
    const char* name;
    std::shared_ptr<UIView> view;
    float progress;
    CGPoint at;
    int minAlpha, maxAlpha;
  } cases[] = {
      {"empty pie: only the faint background inside", pie, 0.0f, {18.5, 26}, 10, 60},
      {"full pie: the whole disc", pie, 1.0f, {18.5, 26}, 240, 255},
      {"half pie: the right half", pie, 0.5f, {26, 18.5}, 240, 255},
      {"half pie: not the left half", pie, 0.5f, {11, 18.5}, 10, 60},
      {"bar half full: filled at a quarter", bar, 0.5f, {30, 10}, 240, 255},
      {"bar half full: empty at three quarters", bar, 0.5f, {90, 10}, 0, 10},
      {"bar over full: filled near its end", bar, 1.5f, {112, 10}, 240, 255},
      {"bar over full: nothing beyond the outline", bar, 1.5f, {119.6, 10}, 0, 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    parent->addSubview(c.view);
    if (auto p = std::dynamic_pointer_cast<zvt::hud::ProgressShowing>(c.view)) p->setProgress(c.progress);
    screen.device().settle();
    auto image = zvt::ui::snapshot(c.view);
    ASSERT_TRUE(image);
    int w = static_cast<int>(image->CGImage()->width()), h = static_cast<int>(image->CGImage()->height());
    double scale = w / c.view->bounds().size.width;
    Canvas canvas(w, h);
    image->drawInRect(CGRectMake(0, 0, w, h));
    RGBA pixel = canvas.at(static_cast<int>(c.at.x * scale), static_cast<int>(c.at.y * scale));
    EXPECT_GE(pixel.a, c.minAlpha) << pixel;
    EXPECT_LE(pixel.a, c.maxAlpha) << pixel;
  }
}

TEST_F(ProgressHUD, ALabelSetWhileShownResizesTheBoxAtTheNextLayout) {
  auto hud = POProgressHUD::showHUDAddedTo(parent, false);
  hud->setMode(POProgressHUDModeText);
  screen.device().settle();
  EXPECT_EQ(hud->size(), CGSizeMake(40, 40));
  hud->setLabelText(ns("请稍候"));
  hud->setDetailsLabelText(ns("正在为您查询返利信息，这可能需要一点时间，请不要离开本页面"));
  screen.device().settle();
  EXPECT_EQ(text(hud->label()->text()), "请稍候");
  EXPECT_GT(hud->size().width, 40);
  // The details wrap within the width left by four margins.
  EXPECT_LE(hud->detailsLabel()->frame().size.width, 320 - 80);
  EXPECT_GT(hud->detailsLabel()->frame().size.height, hud->label()->frame().size.height);
  EXPECT_NEAR(hud->size().height,
              hud->label()->frame().size.height + 4 + hud->detailsLabel()->frame().size.height + 40, 1e-6);
}

class HUDScreen : public ::testing::Test {
 protected:
  zvt::uitest::ControllerScreen screen;
  std::shared_ptr<UIViewController> controller = UIViewController::make();
  void SetUp() override { screen.show(controller); }
  void wait(double seconds) { screen.device().wait(seconds); }
  std::vector<std::shared_ptr<POProgressHUD>> overlays() { return POProgressHUD::allHUDsForView(controller->view()); }
};

TEST_F(HUDScreen, TipShowsForTwoSecondsThenFades) {
  showTipHudWithText(controller, ns("已复制到剪贴板"));
  wait(1.99);
  ASSERT_EQ(overlays().size(), 1u);
  EXPECT_EQ(overlays()[0]->alpha(), 1.0);
  EXPECT_TRUE(screen.device().viewWithText("已复制到剪贴板"));
  wait(0.32);
  EXPECT_TRUE(overlays().empty());
}

TEST_F(HUDScreen, LoadingTwiceLeavesOneOverlay) {
  showLoadingHud(controller);
  showLoadingHud(controller);
  wait(0.31);
  ASSERT_EQ(overlays().size(), 1u);
  EXPECT_EQ(overlays()[0]->mode(), POProgressHUDModeIndeterminate);
  hideHud(controller);
  hideHud(controller);
  wait(0.31);
  EXPECT_TRUE(overlays().empty());
}

TEST_F(HUDScreen, DurationsAndCompletions) {
  int completions = 0;
  showAlwaysTipHudWithText(controller, ns("加载失败"));
  wait(5);
  EXPECT_EQ(overlays().size(), 1u) << "stays until hidden";
  showTipHudWithText(controller, ns("x"), 0.0, [&] { ++completions; });
  showTipHudWithText(controller, ns("y"), -1.0, [&] { ++completions; });
  showTipHudWithText(controller, ns("z"), 1.0, [&] { ++completions; });
  wait(1.31);
  EXPECT_EQ(completions, 1) << "only a positive duration completes";
}

// The tip's delayed step hides the tip it showed. A loading overlay shown meanwhile belongs to
// a request still running and stays up; the tip's completion still runs.
TEST_F(HUDScreen, ATipDoesNotHideTheLoadingOverlayThatFollowedIt) {
  bool completed = false;
  showTipHudWithText(controller, ns("已收藏"), 1.5, [&] { completed = true; });
  wait(1.0);
  showLoadingHud(controller);
  auto spinner = POProgressHUD::HUDForView(controller->view());
  wait(0.51);
  EXPECT_TRUE(completed);
  wait(0.5);
  ASSERT_EQ(overlays().size(), 1u);
  EXPECT_EQ(overlays()[0], spinner);
  EXPECT_EQ(spinner->alpha(), 1.0);
}

TEST_F(HUDScreen, PictureOfATipOverAScreen) {
  auto view = controller->view();
  view->setBackgroundColor(UIColor::whiteColor());
  for (int i = 0; i < 8; ++i) {
    auto row = UILabel::initWithFrame(CGRectMake(16, 30 + i * 50, 288, 40));
    row->setText(NSString::stringWithFormat("第 %d 件商品 返利 %d.50 元", i + 1, i + 3));
    view->addSubview(row);
  }
  // What a person sees: a dark box centred on the screen, its white text inside it, the list
  // around it as it was.
  auto expectBoxOverTheList = [&](const char* what) {
    SCOPED_TRACE(what);
    ASSERT_EQ(overlays().size(), 1u);
    auto hud = overlays()[0];
    auto picture = zvt::ui::screenSnapshot();
    ASSERT_TRUE(picture);
    const CGFloat scale = picture->scale();
    const CGSize screenSize = picture->size();
    Canvas canvas(screenSize.width, screenSize.height, scale, true);
    picture->drawInRect(CGRectMake(0, 0, screenSize.width, screenSize.height));
    auto pixel = [&](CGFloat x, CGFloat y) { return canvas.at(static_cast<int>(x * scale), static_cast<int>(y * scale)); };
    auto dark = [](const RGBA& p) { return p.r < 90 && p.g < 90 && p.b < 90; };
    auto light = [](const RGBA& p) { return p.r > 230 && p.g > 230 && p.b > 230; };
    const CGRect hudRect = hud->convertRectToView(hud->bounds(), nullptr);
    const CGSize box = hud->size();
    const CGRect boxRect = CGRectMake(CGRectGetMidX(hudRect) - box.width / 2, CGRectGetMidY(hudRect) - box.height / 2,
                                      box.width, box.height);
    EXPECT_NEAR(CGRectGetMidX(boxRect), screenSize.width / 2, 1);
    ASSERT_GT(box.width, 30);
    ASSERT_LT(box.width, screenSize.width - 40);
    // Inside the box along its edges (clear of the rounded corners): the box's dark grey.
    const CGFloat r = 10;
    for (CGPoint p : {CGPointMake(CGRectGetMidX(boxRect), CGRectGetMinY(boxRect) + 2),
                      CGPointMake(CGRectGetMidX(boxRect), CGRectGetMaxY(boxRect) - 2),
                      CGPointMake(CGRectGetMinX(boxRect) + 2, CGRectGetMinY(boxRect) + r + 2),
                      CGPointMake(CGRectGetMaxX(boxRect) - 2, CGRectGetMaxY(boxRect) - r - 2)}) {
      EXPECT_TRUE(dark(pixel(p.x, p.y))) << p.x << "," << p.y << " " << pixel(p.x, p.y);
    }
    // Beside it, right of the list's texts: the white page.
    EXPECT_TRUE(light(pixel(screenSize.width - 6, CGRectGetMidY(boxRect)))) << pixel(screenSize.width - 6, CGRectGetMidY(boxRect));
    EXPECT_TRUE(light(pixel(CGRectGetMaxX(boxRect) + 4, CGRectGetMinY(boxRect) + r + 2)));
  };

  showTipHudWithText(controller, ns("网络不给力，请稍后再试"));
  wait(0.5);
  EXPECT_NE(zvt::test::writeScreenPicture("hud-tip-over-screen"), "");
  {
    auto label = screen.device().viewWithText("网络不给力，请稍后再试");
    ASSERT_TRUE(label);
    const CGRect textRect = screen.device().visibleRect(label);
    auto picture = zvt::ui::screenSnapshot();
    ASSERT_TRUE(picture);
    auto hud = overlays().at(0);
    const CGRect hudRect = hud->convertRectToView(hud->bounds(), nullptr);
    const CGRect boxRect = CGRectMake(CGRectGetMidX(hudRect) - hud->size().width / 2,
                                      CGRectGetMidY(hudRect) - hud->size().height / 2, hud->size().width, hud->size().height);
    EXPECT_TRUE(CGRectContainsRect(boxRect, textRect)) << "the text lies inside its box";
    // The text is drawn: white strokes in its rectangle, over the box's grey.
    const CGFloat scale = picture->scale();
    Canvas canvas(picture->size().width, picture->size().height, scale, true);
    picture->drawInRect(CGRectMake(0, 0, picture->size().width, picture->size().height));
    size_t bright = 0, dark = 0;
    for (int y = static_cast<int>(textRect.origin.y * scale); y < static_cast<int>(CGRectGetMaxY(textRect) * scale); ++y) {
      for (int x = static_cast<int>(textRect.origin.x * scale); x < static_cast<int>(CGRectGetMaxX(textRect) * scale); ++x) {
        RGBA p = canvas.at(x, y);
        if (p.r > 200 && p.g > 200 && p.b > 200) ++bright;
        if (p.r < 90 && p.g < 90 && p.b < 90) ++dark;
      }
    }
    const double area = textRect.size.width * textRect.size.height * scale * scale;
    EXPECT_GT(bright, area * 0.05) << "white text";
    EXPECT_GT(dark, area * 0.3) << "on the box's grey";
  }
  expectBoxOverTheList("tip");
  hideHud(controller);
  showLoadingHud(controller);
  wait(0.5);
  EXPECT_NE(zvt::test::writeScreenPicture("hud-loading-over-screen"), "");
  expectBoxOverTheList("loading");
  // A text given while it shows widens the box, drawn anew around it.
  overlays().at(0)->setLabelText(ns("正在加载商城，请稍候"));
  wait(0.1);
  EXPECT_GT(overlays().at(0)->size().width, 150);
  expectBoxOverTheList("loading with a text");
  hideHud(controller);
  wait(0.5);
  EXPECT_TRUE(overlays().empty());

  // Dimmed, the shade darkens the whole screen towards its corners around the box.
  auto dimmed = POProgressHUD::initWithView(view);
  dimmed->setDimBackground(true);
  dimmed->setLabelText(ns("请稍候"));
  view->addSubview(dimmed);
  dimmed->show(false);
  wait(0.1);
  auto picture = zvt::ui::screenSnapshot();
  ASSERT_TRUE(picture);
  const CGFloat scale = picture->scale();
  Canvas canvas(picture->size().width, picture->size().height, scale, true);
  picture->drawInRect(CGRectMake(0, 0, picture->size().width, picture->size().height));
  const CGRect hudRect = dimmed->convertRectToView(dimmed->bounds(), nullptr);
  for (CGPoint corner : {CGPointMake(CGRectGetMaxX(hudRect) - 3, CGRectGetMinY(hudRect) + 3),
                         CGPointMake(CGRectGetMaxX(hudRect) - 3, CGRectGetMaxY(hudRect) - 3)}) {
    RGBA p = canvas.at(static_cast<int>(corner.x * scale), static_cast<int>(corner.y * scale));
    EXPECT_LT(p.r, 110) << corner.x << "," << corner.y << " " << p;
  }
  // Inside the box's top edge, above its text: the box's grey over the shade's clear middle.
  const CGFloat boxTop = CGRectGetMidY(hudRect) - dimmed->size().height / 2;
  RGBA edge = canvas.at(static_cast<int>(CGRectGetMidX(hudRect) * scale), static_cast<int>((boxTop + 2) * scale));
  EXPECT_LT(edge.r, 90) << edge;
  EXPECT_GT(edge.r, 20) << edge;
}

}  // namespace
