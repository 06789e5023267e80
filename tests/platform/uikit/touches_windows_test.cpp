#include <gtest/gtest.h>

#include "platform/foundation/NSNotificationCenter.h"
#include "tests/platform/uikit/UIKitTestSupport.h"

using namespace zvt::uitest;

namespace {

TEST(UIKitTouches, SeveralFingers) {
  Screen screen;
  Log log;
  auto view = screen.add<TouchView>({{0, 0}, {320, 480}});
  view->name = "view";
  view->log = &log;
  auto target = std::make_shared<Target>(&log);
  target->name = "two";
  auto twoFingers = UIGestureRecognizer::make<UITapGestureRecognizer>(target, &Target::gesture);
  twoFingers->setNumberOfTouchesRequired(2);
  twoFingers->setCancelsTouchesInView(false);
  view->addGestureRecognizer(twoFingers);
  auto& device = screen.device();

  auto fingers = device.touchDown({{100, 100}, {140, 100}});
  EXPECT_EQ(device.fingersDown(), 2u);
  EXPECT_EQ(twoFingers->numberOfTouches(), 2u);
  CGPoint middle = twoFingers->locationInView(view);
  EXPECT_EQ(middle, CGPointMake(120, 100)) << "the centroid";
  device.touchUp(fingers);
  EXPECT_EQ(log.joined(), "view.began two.ended view.ended") << "one touch for a view without multiple touch";
  log.clear();
  view->setMultipleTouchEnabled(true);
  fingers = device.touchDown({{100, 100}, {140, 100}});
  device.touchUp(fingers[0]);
  device.touchUp(fingers[1]);
  EXPECT_EQ(log.joined(), "view.began view.began two.ended view.ended view.ended");
  log.clear();
  device.tap({100, 100});
  EXPECT_EQ(log.joined(), "view.began view.ended") << "one finger is not enough";
}

TEST(UIKitTouches, RecognisersThatStopMidGesture) {
  struct Case {
    const char* what;
    std::function<void(UIView&, UIGestureRecognizer&)> stop;
  } cases[] = {
      {"disabled", [](UIView&, UIGestureRecognizer& r) { r.setEnabled(false); }},
      {"taken off the view",
       [](UIView& v, UIGestureRecognizer& r) {
         v.removeGestureRecognizer(std::static_pointer_cast<UIGestureRecognizer>(r.self()));
       }},
  };
  for (const auto& c : cases) {
    Screen screen;
    Log log;
    auto view = screen.add({{0, 0}, {320, 480}});
    auto target = std::make_shared<Target>(&log);
    target->name = "pan";
    auto pan = UIGestureRecognizer::make<UIPanGestureRecognizer>(target, &Target::gesture);
    view->addGestureRecognizer(pan);
    auto& device = screen.device();
    auto finger = device.touchDown({100, 100});
    device.touchMove(finger, {100, 150});
    c.stop(*view, *pan);
    device.touchMove(finger, {100, 200});
    device.touchUp(finger);
    EXPECT_EQ(log.joined(), "pan.began pan.cancelled") << c.what;
    EXPECT_EQ(pan->state(), UIGestureRecognizerStatePossible) << c.what;
  }
}

TEST(UIKitWindows, KeyWindowVisibilityAndNotifications) {
  Screen screen;
  Log log;
  auto center = NSNotificationCenter::defaultCenter();
  std::vector<id> tokens;
  for (const zvt::StaticString* name : {&UIWindowDidBecomeKeyNotification, &UIWindowDidResignKeyNotification,
                                         &UIWindowDidBecomeVisibleNotification, &UIWindowDidBecomeHiddenNotification}) {
    std::string text = name->c_str();
    tokens.push_back(center->addObserverForName(*name, nullptr, nullptr, [&log, text](const auto& n) {
      log.add(text.substr(8, text.size() - 8 - 12) + (std::dynamic_pointer_cast<UIWindow>(n->object()) ? "" : "?"));
    }));
  }
  auto overlay = UIWindow::make();
  EXPECT_TRUE(overlay->isHidden()) << "windows start hidden";
  overlay->makeKeyAndVisible();
  EXPECT_EQ(log.joined(), "DidBecomeVisible DidResignKey DidBecomeKey");
  EXPECT_TRUE(overlay->isKeyWindow());
  EXPECT_FALSE(screen.window->isKeyWindow());
  EXPECT_EQ(UIApplication::sharedApplication()->keyWindow(), overlay);
  log.clear();
  overlay->setHidden(true);
  EXPECT_EQ(log.joined(), "DidResignKey DidBecomeHidden");
  EXPECT_FALSE(UIApplication::sharedApplication()->keyWindow());
  screen.window->makeKeyWindow();
  EXPECT_EQ(overlay->nextResponder(), UIApplication::sharedApplication());
  overlay.reset();
  for (const auto& w : UIApplication::sharedApplication()->windows()) EXPECT_EQ(w, screen.window) << "held weakly";
  for (auto& token : tokens) center->removeObserver(token);
}

TEST(UIKitFirstResponder, WhoMayBecomeAndResign) {
  Screen screen;
  struct Field : UIView {
    bool keep = false;
    bool canBecomeFirstResponder() const override { return true; }
    bool canResignFirstResponder() const override { return !keep; }
  };
  auto a = screen.add<Field>({{0, 0}, {10, 10}});
  auto b = screen.add<Field>({{0, 20}, {10, 10}});
  auto plain = screen.add({{0, 40}, {10, 10}});
  EXPECT_FALSE(plain->becomeFirstResponder()) << "a plain view cannot";
  EXPECT_TRUE(a->becomeFirstResponder());
  a->keep = true;
  EXPECT_FALSE(b->becomeFirstResponder()) << "the current one will not resign";
  EXPECT_FALSE(screen.window->endEditing(false));
  EXPECT_TRUE(screen.window->endEditing(true)) << "forced";
  EXPECT_TRUE(b->becomeFirstResponder());
  b->setHidden(true);
  EXPECT_FALSE(b->isFirstResponder()) << "hidden";
}

}  // namespace
