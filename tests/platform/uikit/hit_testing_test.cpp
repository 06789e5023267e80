#include <gtest/gtest.h>

#include <numbers>

#include "tests/platform/uikit/UIKitTestSupport.h"

using namespace zvt::uitest;

namespace {

class LabelLike : public UIView {
 public:
  std::shared_ptr<NSString> text;
  std::vector<std::shared_ptr<NSString>> visibleTexts() const override {
    return text ? std::vector<std::shared_ptr<NSString>>{text} : std::vector<std::shared_ptr<NSString>>{};
  }
};

// A superview that lets touches reach subviews outside its bounds.
class Generous : public UIView {
 public:
  bool pointInside(CGPoint point, const std::shared_ptr<UIEvent>& event) const override {
    if (UIView::pointInside(point, event)) return true;
    for (const auto& sub : subviews())
      if (CGRectContainsPoint(sub->frame(), point)) return true;
    return false;
  }
};

TEST(UIKitHitTesting, ATapReachesWhatAPersonWouldTouch) {
  struct Case {
    const char* what;
    std::function<void(Screen&, const std::shared_ptr<ButtonLike>&)> cover;
    bool reaches;
  } cases[] = {
      {"nothing over the button", [](Screen&, const auto&) {}, true},
      {"a transparent full-screen view that takes no interaction",
       [](Screen& s, const auto&) {
         auto overlay = s.add({{0, 0}, {320, 480}});
         overlay->setBackgroundColor(UIColor::clearColor());
         overlay->setUserInteractionEnabled(false);
       },
       true},
      {"an overlay that takes interaction", [](Screen& s, const auto&) { s.add({{0, 0}, {320, 480}}); }, false},
      {"an overlay at alpha 0.005", [](Screen& s, const auto&) { s.add({{0, 0}, {320, 480}})->setAlpha(0.005); }, true},
      {"a hidden overlay", [](Screen& s, const auto&) { s.add({{0, 0}, {320, 480}})->setHidden(true); }, true},
      {"a hidden button", [](Screen&, const auto& b) { b->setHidden(true); }, false},
      {"a button at alpha 0.005", [](Screen&, const auto& b) { b->setAlpha(0.005); }, false},
      {"an overlay behind the button", [](Screen& s, const auto&) {
         s.window->insertSubview(UIView::initWithFrame({{0, 0}, {320, 480}}), 0);
       }, true},
  };
  for (const auto& c : cases) {
    Screen screen;
    Log log;
    auto target = std::make_shared<Target>(&log);
    auto button = screen.add<ButtonLike>({{100, 100}, {80, 40}});
    button->addTarget(target, &Target::pressed, UIControlEventTouchUpInside);
    c.cover(screen, button);
    screen.device().tap({140, 120});
    EXPECT_EQ(log.joined() == "target.pressed", c.reaches) << c.what << ": " << log.joined();
    EXPECT_EQ(screen.device().tapView(button) && !button->isHidden() && button->alpha() > 0.01, c.reaches) << c.what;
  }
}

TEST(UIKitHitTesting, AButtonInsideAContainerAPersonCannotSeeOrTouchGetsNoTap) {
  struct Case {
    const char* what;
    std::function<void(UIView&)> container;
    bool reaches;
  } cases[] = {
      {"a plain container", [](UIView&) {}, true},
      {"a hidden container", [](UIView& c) { c.setHidden(true); }, false},
      {"a container that takes no interaction", [](UIView& c) { c.setUserInteractionEnabled(false); }, false},
      {"a container at alpha 0.01", [](UIView& c) { c.setAlpha(0.01); }, false},
      {"a container at alpha 0.005", [](UIView& c) { c.setAlpha(0.005); }, false},
      {"a container at alpha 0.02", [](UIView& c) { c.setAlpha(0.02); }, true},
  };
  for (const auto& c : cases) {
    Screen screen;
    Log log;
    auto target = std::make_shared<Target>(&log);
    auto outer = screen.add({{50, 50}, {200, 200}});
    auto inner = screen.add({{10, 10}, {180, 180}}, outer);
    auto button = screen.add<ButtonLike>({{50, 50}, {80, 40}}, inner);
    button->addTarget(target, &Target::pressed, UIControlEventTouchUpInside);
    c.container(*outer);
    // A finger at the button's place, whatever the finder thinks of it.
    screen.device().tap({150, 130});
    EXPECT_EQ(log.joined() == "target.pressed", c.reaches) << c.what << ": " << log.joined();
    // The finder sees what can be touched, by the same rule (interaction aside: a view that
    // takes no touches is still seen).
    const bool seen = c.reaches || std::string(c.what).find("interaction") != std::string::npos;
    EXPECT_EQ(screen.device().isVisible(button), seen) << c.what;
  }
}

TEST(UIKitHitTesting, BoundsClippingAndTransforms) {
  Screen screen;
  auto parent = screen.add({{0, 0}, {100, 100}});
  auto outside = screen.add({{120, 0}, {50, 50}}, parent);
  EXPECT_EQ(screen.window->hitTest({130, 10}, nullptr), screen.window) << "outside its superview: not hit";
  auto generous = screen.add<Generous>({{0, 200}, {100, 100}});
  auto reached = screen.add({{120, 0}, {50, 50}}, generous);
  EXPECT_EQ(screen.window->hitTest({130, 210}, nullptr), reached) << "unless the superview says so";

  // A 100 x 20 bar turned a quarter around its centre (150, 150) covers 140...160 x 100...200.
  auto bar = screen.add({{100, 140}, {100, 20}});
  bar->setTransform(CGAffineTransformMakeRotation(std::numbers::pi / 2));
  struct Probe {
    CGPoint point;
    bool hit;
  } probes[] = {{{150, 105}, true}, {{150, 195}, true}, {{105, 150}, false}, {{195, 150}, false}};
  for (const auto& p : probes)
    EXPECT_EQ(screen.window->hitTest(p.point, nullptr) == bar, p.hit) << p.point.x << "," << p.point.y;
  bar->setTransform(CGAffineTransformMakeScale(0.5, 0.5));  // 125...175 x 145...155
  EXPECT_EQ(screen.window->hitTest({170, 150}, nullptr), bar);
  EXPECT_NE(screen.window->hitTest({180, 150}, nullptr), bar);
  CGPoint inBar = bar->convertPointFromView({170, 150}, nullptr);
  EXPECT_DOUBLE_EQ(inBar.x, 90);
  EXPECT_DOUBLE_EQ(inBar.y, 10);
  EXPECT_EQ(bar->convertRectToView(bar->bounds(), nullptr), CGRectMake(125, 145, 50, 10));
}

TEST(UIKitDeviceFinding, VisibleTextAndWhatCountsAsOnScreen) {
  Screen screen;
  auto make = [&](const char* text, CGRect frame, const std::shared_ptr<UIView>& parent) {
    auto label = screen.add<LabelLike>(frame, parent);
    label->text = NSString::stringWithUTF8String(text);
    return label;
  };
  auto clip = screen.add({{0, 0}, {100, 100}});
  clip->setClipsToBounds(true);
  auto faded = screen.add({{0, 200}, {100, 100}});
  faded->setAlpha(0.01);
  auto hidden = screen.add({{0, 300}, {100, 100}});
  hidden->setHidden(true);
  struct Case {
    const char* text;
    CGRect frame;
    std::shared_ptr<UIView> parent;
    bool visible;
  } cases[] = {
      {"登录", {{10, 10}, {50, 20}}, clip, true},
      {"clipped away", {{120, 10}, {50, 20}}, clip, false},
      {"half clipped", {{80, 10}, {50, 20}}, clip, true},
      {"off screen", {{400, 10}, {50, 20}}, screen.window, false},
      {"faded parent", {{10, 10}, {50, 20}}, faded, false},
      {"hidden parent", {{10, 10}, {50, 20}}, hidden, false},
      {"zero size", {{10, 450}, {0, 20}}, screen.window, false},
  };
  for (const auto& c : cases) make(c.text, c.frame, c.parent);
  auto& device = screen.device();
  for (const auto& c : cases) EXPECT_EQ(device.viewWithText(c.text) != nullptr, c.visible) << c.text;
  EXPECT_EQ(Screen::device().visibleRect(device.viewWithText("half clipped")), CGRectMake(80, 10, 20, 20));
  auto front = make("登录", {{200, 10}, {50, 20}}, screen.window);
  ASSERT_EQ(device.viewsWithText("登录").size(), 2u);
  EXPECT_EQ(device.viewsWithText("登录").front(), front) << "front-most first";
  front->setAccessibilityIdentifier(NSString::stringWithUTF8String("login"));
  EXPECT_EQ(device.viewWithAccessibilityIdentifier("login"), front);
  EXPECT_EQ(device.viewsOfClass<LabelLike>().size(), 3u);
  EXPECT_EQ(device.viewsContainingText("clipped").size(), 1u);

  // Windows stack by level: an alert-level window covers the key window.
  auto alert = UIWindow::make();
  alert->setWindowLevel(UIWindowLevelAlert);
  alert->setHidden(false);
  EXPECT_FALSE(device.tapView(front)) << "covered by the alert window";
  EXPECT_TRUE(screen.window->isKeyWindow());
  auto windows = UIApplication::sharedApplication()->windows();
  EXPECT_EQ(windows.back(), alert);
}

}  // namespace
