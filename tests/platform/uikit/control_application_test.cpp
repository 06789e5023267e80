#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/foundation/NSNotificationCenter.h"
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
