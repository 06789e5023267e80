#include <gtest/gtest.h>

#include "tests/platform/uikit/UIKitTestSupport.h"

using namespace zvt::uitest;

namespace {

struct Delegate : UIGestureRecognizerDelegate {
  bool begin = true, receive = true, together = false;
  bool gestureRecognizerShouldBegin(const std::shared_ptr<UIGestureRecognizer>&) override { return begin; }
  bool gestureRecognizerShouldReceiveTouch(const std::shared_ptr<UIGestureRecognizer>&,
                                           const std::shared_ptr<UITouch>&) override {
    return receive;
  }
  bool gestureRecognizerShouldRecognizeSimultaneouslyWithGestureRecognizer(
      const std::shared_ptr<UIGestureRecognizer>&, const std::shared_ptr<UIGestureRecognizer>&) override {
    return together;
  }
};

template <class R>
std::shared_ptr<R> recognizer(const std::shared_ptr<Target>& target, const char* name, Log* log,
                              const std::shared_ptr<UIView>& view) {
  auto r = UIGestureRecognizer::make<R>(target, &Target::gesture);
  target->name = name;
  (void)log;
  view->addGestureRecognizer(r);
  return r;
}

TEST(UIKitGestures, TapRecogniserBesideViewsAndControls) {
  struct Case {
    const char* what;
    bool cancels;
    const char* child;  // "view", "button" (its action is a tap), "control"
    const char* want;
  } cases[] = {
      {"a view, cancelling its touches", true, "view", "child.began tap.ended child.cancelled"},
      {"a view, leaving its touches", false, "view", "child.began tap.ended child.ended"},
      {"a button keeps its tap", true, "button", "child.down child.up"},
      {"a plain control loses the touch", true, "control", "child.down tap.ended child.cancel"},
      {"a plain control beside the recogniser", false, "control", "child.down tap.ended child.up"},
  };
  for (const auto& c : cases) {
    Screen screen;
    Log log;
    auto container = screen.add({{0, 0}, {320, 480}});
    auto tapTarget = std::make_shared<Target>(&log);
    auto tap = recognizer<UITapGestureRecognizer>(tapTarget, "tap", &log, container);
    tap->setCancelsTouchesInView(c.cancels);
    struct ControlTarget : UIResponder {
      Log* log;
      void down() { log->add("child.down"); }
      void up() { log->add("child.up"); }
      void cancel() { log->add("child.cancel"); }
    };
    auto controlTarget = std::make_shared<ControlTarget>();
    controlTarget->log = &log;
    if (std::string(c.child) == "view") {
      auto child = screen.add<TouchView>({{100, 100}, {80, 40}}, container);
      child->name = "child";
      child->log = &log;
    } else {
      auto control = screen.add<ButtonLike>({{100, 100}, {80, 40}}, container);
      control->tapsFirst = std::string(c.child) == "button";
      control->addTarget(controlTarget, &ControlTarget::down, UIControlEventTouchDown);
      control->addTarget(controlTarget, &ControlTarget::up, UIControlEventTouchUpInside);
      control->addTarget(controlTarget, &ControlTarget::cancel, UIControlEventTouchCancel);
    }
    screen.device().tap({140, 120});
    EXPECT_EQ(log.joined(), c.want) << c.what;
    EXPECT_EQ(tap->state(), UIGestureRecognizerStatePossible) << "reset after the gesture";
  }
}

TEST(UIKitGestures, PanWaitsForTheSwipeToFail) {
  struct Case {
    const char* what;
    CGPoint to;
    double seconds;
    const char* want;
  } cases[] = {
      {"a quick stroke is a swipe", {200, 100}, 0.1, "swipe.ended"},
      {"a slow drag is a pan once the swipe gives up", {200, 100}, 1.0, "pan.began pan.changed pan.ended"},
      {"a quick stroke the wrong way is a pan", {0, 100}, 0.1, "pan.began pan.changed pan.ended"},
  };
  for (const auto& c : cases) {
    Screen screen;
    Log log;
    auto view = screen.add({{0, 0}, {320, 480}});
    auto panTarget = std::make_shared<Target>(&log);
    auto swipeTarget = std::make_shared<Target>(&log);
    auto pan = recognizer<UIPanGestureRecognizer>(panTarget, "pan", &log, view);
    auto swipe = recognizer<UISwipeGestureRecognizer>(swipeTarget, "swipe", &log, view);
    pan->requireGestureRecognizerToFail(swipe);
    screen.device().drag({100, 100}, c.to, c.seconds);
    // Repeated changes fold into one word for the comparison.
    std::string folded;
    for (const auto& line : log.lines)
      if (folded.size() < line.size() || folded.compare(folded.size() - line.size(), line.size(), line) != 0)
        folded += (folded.empty() ? "" : " ") + line;
    EXPECT_EQ(folded, c.want) << c.what;
  }
}

TEST(UIKitGestures, DoubleTapWithASingleTapThatWaitsForIt) {
  for (int taps : {1, 2, 3}) {
    Screen screen;
    Log log;
    auto view = screen.add({{0, 0}, {320, 480}});
    auto singleTarget = std::make_shared<Target>(&log);
    auto doubleTarget = std::make_shared<Target>(&log);
    auto single = recognizer<UITapGestureRecognizer>(singleTarget, "single", &log, view);
    auto twice = recognizer<UITapGestureRecognizer>(doubleTarget, "double", &log, view);
    twice->setNumberOfTapsRequired(2);
    single->requireGestureRecognizerToFail(twice);
    screen.device().tap({100, 100}, taps);
    EXPECT_EQ(log.joined(), taps == 1 ? "" : "double.ended") << taps << " taps, before the wait";
    screen.device().wait(0.35);
    const char* want = taps == 1 ? "single.ended" : taps == 2 ? "double.ended" : "double.ended single.ended";
    EXPECT_EQ(log.joined(), want) << taps << " taps";
  }
}

TEST(UIKitGestures, LongPressOnTheClock) {
  Screen screen;
  Log log;
  auto view = screen.add({{0, 0}, {320, 480}});
  auto target = std::make_shared<Target>(&log);
  auto press = recognizer<UILongPressGestureRecognizer>(target, "press", &log, view);
  auto& device = screen.device();
  auto finger = device.touchDown({100, 100});
  device.wait(0.49);
  EXPECT_EQ(log.joined(), "");
  device.wait(0.01);
  EXPECT_EQ(log.joined(), "press.began") << "at 0.5 s";
  device.touchMove(finger, {130, 100});
  device.touchUp(finger);
  EXPECT_EQ(log.joined(), "press.began press.changed press.ended");
  log.clear();
  finger = device.touchDown({100, 100});
  device.wait(0.2);
  device.touchMove(finger, {115, 100});  // beyond the allowable movement
  device.wait(0.5);
  device.touchUp(finger);
  EXPECT_EQ(log.joined(), "") << "moved too early";
  device.longPress({100, 100}, 0.3);
  EXPECT_EQ(log.joined(), "") << "too short";
}

TEST(UIKitGestures, PanTranslationAndVelocity) {
  Screen screen;
  Log log;
  auto view = screen.add({{0, 0}, {320, 480}});
  struct PanTarget : NSObject {
    CGPoint translation{}, velocity{};
    std::shared_ptr<UIView> in;
    void moved(const std::shared_ptr<UIPanGestureRecognizer>& pan) {
      translation = pan->translationInView(in);
      velocity = pan->velocityInView(in);
    }
  };
  auto target = std::make_shared<PanTarget>();
  auto rotated = screen.add({{0, 0}, {100, 100}}, view);
  rotated->setTransform(CGAffineTransformMakeScale(2, 2));
  target->in = view;
  auto pan = UIGestureRecognizer::make<UIPanGestureRecognizer>(target, &PanTarget::moved);
  view->addGestureRecognizer(pan);
  screen.device().drag({50, 100}, {150, 160}, 0.1);
  EXPECT_NEAR(target->translation.x, 100, 1e-9);
  EXPECT_NEAR(target->translation.y, 60, 1e-9);
  EXPECT_NEAR(target->velocity.x, 1000, 1) << "100 points in 100 ms";
  EXPECT_NEAR(target->velocity.y, 600, 1);
  target->in = rotated;
  screen.device().drag({50, 100}, {150, 100}, 0.2);
  EXPECT_NEAR(target->translation.x, 50, 1e-9) << "in a view scaled twice";
  EXPECT_NEAR(target->velocity.x, 250, 1);
}

TEST(UIKitGestures, DelegateAnswersAndDelayedTouches) {
  struct Case {
    const char* what;
    std::function<void(Delegate&, UIGestureRecognizer&)> setUp;
    const char* want;
  } cases[] = {
      {"recognised", [](Delegate&, UIGestureRecognizer&) {}, "view.began tap.ended view.cancelled"},
      {"refused to begin", [](Delegate& d, UIGestureRecognizer&) { d.begin = false; }, "view.began view.ended"},
      {"not given the touch", [](Delegate& d, UIGestureRecognizer&) { d.receive = false; }, "view.began view.ended"},
      {"delaying the begin", [](Delegate&, UIGestureRecognizer& r) { r.setDelaysTouchesBegan(true); }, "tap.ended"},
      {"not delaying the end", [](Delegate&, UIGestureRecognizer& r) { r.setDelaysTouchesEnded(false); },
       "view.began tap.ended view.cancelled"},
  };
  for (const auto& c : cases) {
    Screen screen;
    Log log;
    auto view = screen.add<TouchView>({{0, 0}, {320, 480}});
    view->name = "view";
    view->log = &log;
    auto target = std::make_shared<Target>(&log);
    auto tap = recognizer<UITapGestureRecognizer>(target, "tap", &log, view);
    auto delegate = std::make_shared<Delegate>();
    tap->setDelegate(delegate);
    c.setUp(*delegate, *tap);
    screen.device().tap({100, 100});
    EXPECT_EQ(log.joined(), c.want) << c.what;
  }
  // Two pans in one tree: the inner one wins unless they may go together.
  for (bool together : {false, true}) {
    Screen screen;
    Log log;
    auto outer = screen.add({{0, 0}, {320, 480}});
    auto inner = screen.add({{0, 0}, {320, 480}}, outer);
    auto outerTarget = std::make_shared<Target>(&log), innerTarget = std::make_shared<Target>(&log);
    auto outerPan = recognizer<UIPanGestureRecognizer>(outerTarget, "outer", &log, outer);
    auto innerPan = recognizer<UIPanGestureRecognizer>(innerTarget, "inner", &log, inner);
    auto delegate = std::make_shared<Delegate>();
    delegate->together = together;
    innerPan->setDelegate(delegate);
    screen.device().drag({100, 100}, {100, 200}, 0.1);
    bool outerBegan = std::find(log.lines.begin(), log.lines.end(), "outer.began") != log.lines.end();
    EXPECT_EQ(log.lines.front(), "inner.began");
    EXPECT_EQ(outerBegan, together);
  }
}

}  // namespace

namespace {

// A continuous recogniser a test drives: each move reports Changed and lifting Ended, as a
// subclass that never says Began itself.
class Sliding : public UIGestureRecognizer {
 public:
  using UIGestureRecognizer::UIGestureRecognizer;
  void touchesMoved(const std::shared_ptr<NSSet>&, const std::shared_ptr<UIEvent>&) override {
    setState(UIGestureRecognizerStateChanged);
  }
  void touchesEnded(const std::shared_ptr<NSSet>&, const std::shared_ptr<UIEvent>&) override {
    setState(state() == UIGestureRecognizerStatePossible ? UIGestureRecognizerStateFailed : UIGestureRecognizerStateEnded);
  }
};

TEST(UIKitGestures, AContinuousRecogniserBeginsBeforeItChangesAndFailsWhatItExcludesAtOnce) {
  Screen screen;
  Log log;
  auto container = screen.add({{0, 0}, {320, 480}});
  auto child = screen.add({{50, 50}, {200, 200}}, container);
  auto slideTarget = std::make_shared<Target>(&log);
  auto slide = recognizer<Sliding>(slideTarget, "slide", &log, child);
  // Another on the ancestor, sharing the touch, that would recognise on lifting.
  auto tapTarget = std::make_shared<Target>(&log);
  auto tap = recognizer<UITapGestureRecognizer>(tapTarget, "tap", &log, container);

  auto& device = screen.device();
  auto finger = device.touchDown({100, 100});
  EXPECT_EQ(tap->state(), UIGestureRecognizerStatePossible);
  device.touchMove(finger, {104, 100});
  EXPECT_EQ(slide->state(), UIGestureRecognizerStateBegan) << "the first change from Possible is a beginning";
  EXPECT_EQ(tap->state(), UIGestureRecognizerStateFailed) << "excluded as soon as the slide is recognised";
  device.touchMove(finger, {110, 100});
  EXPECT_EQ(slide->state(), UIGestureRecognizerStateChanged);
  device.touchUp(finger);
  EXPECT_EQ(log.joined(), "slide.began slide.changed slide.ended");
  EXPECT_EQ(slide->state(), UIGestureRecognizerStatePossible) << "reset after the gesture";
}

}  // namespace
