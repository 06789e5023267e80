#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSTimeZone.h"
#include "platform/uikit/UITextInput.h"
#include "tests/platform/uikit/UIKitTestSupport.h"

using namespace zvt::uitest;

namespace {

struct Events : UIResponder {
  Log* log;
  void down() { log->add("down"); }
  void repeat() { log->add("repeat"); }
  void dragInside() { note("dragInside"); }
  void dragOutside() { note("dragOutside"); }
  void enter() { log->add("enter"); }
  void exit() { log->add("exit"); }
  void upInside() { log->add("upInside"); }
  void upOutside() { log->add("upOutside"); }
  void cancel() { log->add("cancel"); }
  void note(const char* what) {
    if (log->lines.empty() || log->lines.back() != what) log->add(what);
  }
};

std::shared_ptr<Events> listen(const std::shared_ptr<UIControl>& control, Log* log) {
  auto e = std::make_shared<Events>();
  e->log = log;
  control->addTarget(e, &Events::down, UIControlEventTouchDown);
  control->addTarget(e, &Events::repeat, UIControlEventTouchDownRepeat);
  control->addTarget(e, &Events::dragInside, UIControlEventTouchDragInside);
  control->addTarget(e, &Events::dragOutside, UIControlEventTouchDragOutside);
  control->addTarget(e, &Events::enter, UIControlEventTouchDragEnter);
  control->addTarget(e, &Events::exit, UIControlEventTouchDragExit);
  control->addTarget(e, &Events::upInside, UIControlEventTouchUpInside);
  control->addTarget(e, &Events::upOutside, UIControlEventTouchUpOutside);
  control->addTarget(e, &Events::cancel, UIControlEventTouchCancel);
  return e;
}

TEST(UIKitControl, TrackingSendsTheTouchEvents) {
  using zvt::ui::Device;
  struct Case {
    const char* what;
    std::function<void(Device&)> touch;
    const char* want;
  } cases[] = {
      {"a tap", [](Device& d) { d.tap({50, 50}); }, "down upInside"},
      {"a double tap", [](Device& d) { d.tap({50, 50}, 2); }, "down upInside down repeat upInside"},
      {"out past the slop and up", [](Device& d) { d.drag({50, 50}, {50, 300}, 0.2); },
       "down dragInside exit dragOutside upOutside"},
      {"a little outside still counts as inside", [](Device& d) { d.drag({50, 50}, {50, 150}, 0.1); },
       "down dragInside upInside"},
      {"out and back", [](Device& d) {
         auto f = d.touchDown({50, 50});
         d.touchMove(f, {50, 300});
         d.touchMove(f, {50, 60});
         d.touchUp(f);
       }, "down exit dragOutside enter dragInside upInside"},
      {"taken away", [](Device& d) {
         d.touchDown({50, 50});
         d.touchCancelAll();
       }, "down cancel"},
  };
  for (const auto& c : cases) {
    Screen screen;
    Log log;
    auto control = screen.add<UIControl>({{0, 0}, {100, 100}});
    auto events = listen(control, &log);
    c.touch(screen.device());
    EXPECT_EQ(log.joined(), c.want) << c.what;
    EXPECT_FALSE(control->isHighlighted()) << c.what;
    EXPECT_FALSE(control->isTracking()) << c.what;
  }
}

TEST(UIKitControl, TargetsDisabledControlsAndTheResponderChain) {
  Screen screen;
  Log log;
  auto holder = screen.add<TouchView>({{0, 0}, {200, 200}});
  holder->name = "holder";
  holder->log = &log;
  auto control = screen.add<UIControl>({{0, 0}, {100, 100}}, holder);
  auto events = listen(control, &log);
  control->setEnabled(false);
  screen.device().tap({50, 50});
  EXPECT_EQ(log.joined(), "holder.began holder.ended") << "a disabled control passes its touches on";
  EXPECT_EQ(control->state(), UIControlStateDisabled);
  control->setEnabled(true);
  log.clear();

  // A nil target: the first responder's chain, or the sender's when there is none.
  struct Controller : zvt::ui::ViewDelegate, Target {
    using Target::Target;
    std::shared_ptr<UIResponder> responderForView() override { return std::static_pointer_cast<UIResponder>(self()); }
  };
  auto controller = std::make_shared<Controller>(&log);
  controller->name = "controller";
  controller->next = screen.window;
  holder->setViewDelegate(controller);
  control->addTarget(nullptr, &Target::pressed, UIControlEventTouchUpInside);
  control->removeTarget(events, nullptr, UIControlEventAllEvents);
  EXPECT_TRUE(control->allTargets().empty());
  screen.device().tap({50, 50});
  EXPECT_EQ(log.joined(), "controller.pressed") << "the action goes up from the control to its controller";
  log.clear();
  auto app = UIApplication::sharedApplication();
  EXPECT_FALSE(app->sendAction(&Target::tapped, nullptr, nullptr, nullptr)) << "no first responder, no sender";
  struct Field : UIView {
    bool canBecomeFirstResponder() const override { return true; }
  };
  auto field = screen.add<Field>({{0, 300}, {100, 30}}, holder);
  ASSERT_TRUE(field->becomeFirstResponder());
  EXPECT_TRUE(app->sendAction(&Target::tapped, nullptr, nullptr, nullptr));
  EXPECT_EQ(log.joined(), "controller.tapped") << "from the first responder up";
  EXPECT_TRUE(app->sendAction(&UIResponder::resignFirstResponder, nullptr, nullptr, nullptr));
  EXPECT_FALSE(field->isFirstResponder()) << "the usual way to put the keyboard away";
  auto other = std::make_shared<Target>(&log);
  other->name = "other";
  EXPECT_TRUE(app->sendAction(&Target::pressed, other, control, nullptr));
  EXPECT_EQ(log.lines.back(), "other.pressed");
  EXPECT_FALSE(app->sendAction(&Target::pressed, field, control, nullptr)) << "a target that does not respond";
  EXPECT_TRUE(SEL(&Target::pressed) == SEL(&Target::pressed));
  EXPECT_FALSE(SEL(&Target::pressed) == SEL(&Target::tapped));
}

struct Delegate : UIApplicationDelegate {
  Log* log;
  bool applicationDidFinishLaunchingWithOptions(const std::shared_ptr<UIApplication>&,
                                                const std::shared_ptr<NSDictionary>&) override {
    log->add("didFinishLaunching");
    return true;
  }
  void applicationDidBecomeActive(const std::shared_ptr<UIApplication>&) override { log->add("didBecomeActive"); }
  void applicationWillResignActive(const std::shared_ptr<UIApplication>&) override { log->add("willResignActive"); }
  void applicationDidEnterBackground(const std::shared_ptr<UIApplication>&) override { log->add("didEnterBackground"); }
  void applicationWillEnterForeground(const std::shared_ptr<UIApplication>&) override { log->add("willEnterForeground"); }
  void applicationWillTerminate(const std::shared_ptr<UIApplication>&) override { log->add("willTerminate"); }
  bool applicationOpenURL(const std::shared_ptr<UIApplication>&, const std::shared_ptr<NSURL>& url,
                          const std::shared_ptr<NSString>&, const id&) override {
    return url->scheme()->utf8() == "tzzvt";
  }
};

TEST(UIKitApplication, LifeCycleUrlsAndIgnoredEvents) {
  auto app = UIApplication::sharedApplication();
  Log log;
  auto delegate = std::make_shared<Delegate>();
  delegate->log = &log;
  app->setDelegate(delegate);
  auto observer = NSNotificationCenter::defaultCenter()->addObserverForName(
      UIApplicationDidEnterBackgroundNotification, nullptr, nullptr, [&](const auto&) { log.add("(notified)"); });
  struct Case {
    std::function<void()> step;
    const char* want;
    UIApplicationState state;
  } cases[] = {
      {[&] { EXPECT_TRUE(app->launchWithOptions(nullptr)); }, "didFinishLaunching didBecomeActive", UIApplicationStateActive},
      {[&] { app->enterBackground(); }, "willResignActive didEnterBackground (notified)", UIApplicationStateBackground},
      {[&] { app->enterForeground(); }, "willEnterForeground didBecomeActive", UIApplicationStateActive},
      {[&] { app->terminate(); }, "willTerminate", UIApplicationStateActive},
  };
  for (const auto& c : cases) {
    log.clear();
    c.step();
    EXPECT_EQ(log.joined(), c.want);
    EXPECT_EQ(app->applicationState(), c.state);
  }
  NSNotificationCenter::defaultCenter()->removeObserver(observer);
  EXPECT_TRUE(app->openURLFromApplication(NSURL::URLWithString(NSString::stringWithUTF8String("tzzvt://x")), nullptr));
  EXPECT_FALSE(app->openURLFromApplication(NSURL::URLWithString(NSString::stringWithUTF8String("TZZVT://x")), nullptr));
  app->setDelegate(nullptr);

  size_t before = app->openedURLs().size();
  EXPECT_TRUE(app->openURL(NSURL::URLWithString(NSString::stringWithUTF8String("https://example.com/"))));
  EXPECT_FALSE(app->openURL(NSURL::URLWithString(NSString::stringWithUTF8String("mqq://im/chat"))));
  EXPECT_EQ(app->openedURLs().size(), before + 2) << "both recorded";

  Screen screen;
  Log taps;
  auto button = screen.add<ButtonLike>({{0, 0}, {100, 100}});
  auto target = std::make_shared<Target>(&taps);
  button->addTarget(target, &Target::pressed, UIControlEventTouchUpInside);
  app->beginIgnoringInteractionEvents();
  screen.device().tap({50, 50});
  app->endIgnoringInteractionEvents();
  EXPECT_EQ(taps.joined(), "");
  screen.device().tap({50, 50});
  EXPECT_EQ(taps.joined(), "target.pressed");
}

struct NotifiedDelegate : UIApplicationDelegate {
  Log log;
  void applicationDidReceiveLocalNotification(const std::shared_ptr<UIApplication>&,
                                              const std::shared_ptr<UILocalNotification>& n) override {
    log.add(n->alertBody()->utf8());
  }
};

// The daily 09:00 reminder of the check-in screen and one-off notifications, on a virtual
// clock that starts at 2026-01-01 00:00 UTC (08:00 in Beijing).
TEST(UIKitApplication, LocalNotificationsComeDueOnTheWallClock) {
  auto app = UIApplication::sharedApplication();
  auto beijing = NSTimeZone::timeZoneForSecondsFromGMT(8 * 3600);
  auto notification = [&](const char* body, NSTimeInterval fireAt, NSCalendarUnit repeat) {
    auto n = UILocalNotification::make();
    n->setAlertBody(NSString::stringWithUTF8String(body));
    n->setFireDate(NSDate::dateWithTimeIntervalSince1970(fireAt));
    n->setTimeZone(beijing);
    n->setRepeatInterval(repeat);
    n->setApplicationIconBadgeNumber(1);
    n->setUserInfo(NSDictionary::dictionaryWithObject(NSString::stringWithUTF8String(body),
                                                      NSString::stringWithUTF8String("key")));
    return n;
  };
  constexpr NSTimeInterval start = VirtualClock::kDefaultWallStart;
  constexpr NSTimeInterval nineInBeijing2000 = 946688400;  // 2000-01-01 09:00 +08:00
  struct Step {
    NSTimeInterval advance;
    const char* received;  // everything received so far
    size_t pending;
  };
  struct Case {
    const char* what;
    std::function<void()> schedule;
    bool active;
    std::vector<Step> steps;
    NSInteger badge;
  } cases[] = {
      {"a daily reminder set for a day long past comes at once (a timer's moment later), then at every 09:00",
       [&] { app->scheduleLocalNotification(notification("sign", nineInBeijing2000, NSCalendarUnitDay)); }, true,
       {{0.001, "sign", 1}, {3599, "sign", 1}, {1, "sign sign", 1}, {86400, "sign sign sign", 1}}, 0},
      {"a one-off in ten seconds comes once and is gone",
       [&] { app->scheduleLocalNotification(notification("once", start + 10, 0)); }, true,
       {{9.9, "", 1}, {0.1, "once", 0}, {100, "once", 0}}, 0},
      {"several come soonest first",
       [&] {
         app->scheduleLocalNotification(notification("late", start + 20, 0));
         app->scheduleLocalNotification(notification("early", start + 5, 0));
       },
       true, {{30, "early late", 0}}, 0},
      {"cancelled through a copy from the schedule, only the one tagged",
       [&] {
         app->scheduleLocalNotification(notification("keep", start + 5, 0));
         app->scheduleLocalNotification(notification("drop", start + 10, NSCalendarUnitDay));
         for (const auto& n : app->scheduledLocalNotifications())
           if (n->userInfo()->objectForKey(NSString::stringWithUTF8String("key"))->description()->utf8() == "drop") {
             app->cancelLocalNotification(n);
             break;
           }
       },
       true, {{0, "", 1}, {30, "keep", 0}}, 0},
      {"changing the object after scheduling changes nothing scheduled",
       [&] {
         auto n = notification("first", start + 5, 0);
         app->scheduleLocalNotification(n);
         n->setAlertBody(NSString::stringWithUTF8String("changed"));
       },
       true, {{5, "first", 0}}, 0},
      {"in the background the badge shows and the delegate hears nothing",
       [&] { app->scheduleLocalNotification(notification("away", start + 5, 0)); }, false, {{5, "", 0}}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    zvt::test::VirtualClockScope clock;
    auto delegate = std::make_shared<NotifiedDelegate>();
    app->setDelegate(delegate);
    app->setApplicationIconBadgeNumber(0);
    if (c.active)
      app->enterForeground();
    else
      app->enterBackground();
    c.schedule();
    for (const auto& step : c.steps) {
      clock.advanceBy(step.advance);
      EXPECT_EQ(delegate->log.joined(), step.received) << "after " << step.advance;
      EXPECT_EQ(app->scheduledLocalNotifications().size(), step.pending) << "after " << step.advance;
    }
    EXPECT_EQ(app->applicationIconBadgeNumber(), c.badge);
    app->cancelAllLocalNotifications();
    app->enterForeground();
    app->setDelegate(nullptr);
  }
  auto one = notification("one", start, 0);
  auto copy = std::static_pointer_cast<UILocalNotification>(one->copy());
  EXPECT_FALSE(one->isEqual(copy)) << "unscheduled objects are equal only to themselves";
  app->scheduleLocalNotification(one);
  EXPECT_TRUE(one->isEqual(app->scheduledLocalNotifications().front()));
  app->cancelLocalNotification(copy);
  EXPECT_EQ(app->scheduledLocalNotifications().size(), 1u) << "a copy made before scheduling stands for nothing";
  app->cancelLocalNotification(one);
  EXPECT_TRUE(app->scheduledLocalNotifications().empty());
}

class KeyInputView : public UIView, public UIKeyInput {
 public:
  std::vector<std::string> inserted;
  int deletes = 0;
  bool canBecomeFirstResponder() const override { return true; }
  bool hasText() const override { return !inserted.empty(); }
  void insertText(const std::shared_ptr<NSString>& text) override { inserted.push_back(text->utf8()); }
  void deleteBackward() override { ++deletes; }
};

TEST(UIKitDevice, TypingAndScreens) {
  Screen screen;
  auto& device = screen.device();
  EXPECT_FALSE(device.typeText("1")) << "no first responder";
  auto field = screen.add<KeyInputView>({{0, 0}, {100, 30}});
  ASSERT_TRUE(field->becomeFirstResponder());
  EXPECT_TRUE(device.typeText("138登录😀"));
  EXPECT_EQ(field->inserted, (std::vector<std::string>{"1", "3", "8", "登", "录", "😀"})) << "one character at a time";
  EXPECT_TRUE(device.paste("8000"));
  EXPECT_EQ(field->inserted.back(), "8000") << "a paste is one insertion";
  EXPECT_TRUE(device.pressReturn());
  EXPECT_EQ(field->inserted.back(), "\n");
  EXPECT_TRUE(device.pressDelete());
  EXPECT_EQ(field->deletes, 1);

  struct Case {
    const char* name;
    bool ok;
    CGSize points;
    CGFloat scale;
  } cases[] = {{"320x480", true, {320, 480}, 2}, {"320x568", true, {320, 568}, 2}, {"414x736", true, {414, 736}, 3},
               {"375x667@3", true, {375, 667}, 3}, {"1024x768", false, {}, 0},      {"375x667@4", false, {}, 0}};
  for (const auto& c : cases) {
    zvt::ui::Device::useScreen(zvt::ui::kScreen375x667);
    EXPECT_EQ(zvt::ui::Device::useScreenNamed(c.name), c.ok) << c.name;
    if (!c.ok) continue;
    EXPECT_EQ(UIScreen::mainScreen()->bounds().size, c.points) << c.name;
    EXPECT_EQ(UIScreen::mainScreen()->scale(), c.scale) << c.name;
  }
  setenv("ZVT_SCREEN", "320x568", 1);
  EXPECT_TRUE(zvt::ui::Device::useScreenFromEnvironment());
  EXPECT_EQ(UIScreen::mainScreen()->bounds().size, CGSizeMake(320, 568));
  unsetenv("ZVT_SCREEN");
  EXPECT_EQ(UIWindow::make()->bounds().size, CGSizeMake(320, 568)) << "windows fill the screen";
}

}  // namespace
