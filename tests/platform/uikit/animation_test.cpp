#include <gtest/gtest.h>

#include "tests/platform/uikit/UIKitTestSupport.h"

using namespace zvt::uitest;

namespace {

struct Finished {
  std::vector<std::string> calls;
  std::function<void(bool)> record(std::string name) {
    return [this, name](bool finished) { calls.push_back(name + (finished ? " YES" : " NO")); };
  }
  std::string joined() const {
    std::string out;
    for (const auto& c : calls) out += (out.empty() ? "" : ", ") + c;
    return out;
  }
};

TEST(UIKitAnimation, ModelAtOnceCompletionAtTheEnd) {
  Screen screen;
  auto view = screen.add({{0, 0}, {100, 100}});
  Finished done;
  UIView::animateWithDuration(0.3, [&] {
    view->setAlpha(0);
    view->setFrame({{100, 0}, {100, 100}});
  }, done.record("move"));
  EXPECT_EQ(view->alpha(), 0) << "the model changes at once";
  EXPECT_EQ(view->frame().origin.x, 100);
  screen.clock.advanceBy(0.15);
  auto shown = view->layer()->presentationProperties();
  EXPECT_GT(shown.opacity, 0);
  EXPECT_LT(shown.opacity, 1);
  EXPECT_GT(shown.position.x, 50);
  EXPECT_LT(shown.position.x, 150);
  EXPECT_EQ(done.joined(), "");
  screen.clock.advanceBy(0.15);
  EXPECT_EQ(done.joined(), "move YES") << "at the duration on the virtual clock";
  EXPECT_FALSE(view->layer()->hasAnimations());
}

TEST(UIKitAnimation, ALaterAnimationOfTheSamePropertyCutsTheFirst) {
  Screen screen;
  auto view = screen.add({{0, 0}, {100, 100}});
  Finished done;
  UIView::animateWithDuration(1, [&] { view->setAlpha(0); }, done.record("first"));
  screen.clock.advanceBy(0.25);
  UIView::animateWithDuration(0.5, 0, UIViewAnimationOptionBeginFromCurrentState, [&] { view->setAlpha(1); },
                              done.record("second"));
  EXPECT_NEAR(view->layer()->presentationProperties().opacity, 1 - CAMediaTimingFunction::functionWithName(
                                                                       kCAMediaTimingFunctionEaseInEaseOut)->evaluate(0.25),
              1e-9)
      << "from where the first one had got to";
  screen.device().settle();
  EXPECT_EQ(done.joined(), "first NO") << "replaced, told on the next turn";
  screen.clock.advanceBy(0.5);
  EXPECT_EQ(done.joined(), "first NO, second YES") << "the second finishes before the first would have";
}

TEST(UIKitAnimation, NestedBlocksAndDisabledAnimations) {
  Screen screen;
  auto a = screen.add({{0, 0}, {10, 10}});
  auto b = screen.add({{0, 0}, {10, 10}});
  auto c = screen.add({{0, 0}, {10, 10}});
  Finished done;
  UIView::animateWithDuration(0.5, [&] {
    a->setAlpha(0.5);
    UIView::animateWithDuration(2, [&] { b->setAlpha(0.5); }, done.record("inherits"));
    UIView::animateWithDuration(2, 0, UIViewAnimationOptionOverrideInheritedDuration, [&] { c->setAlpha(0.5); },
                                done.record("overrides"));
  }, done.record("outer"));
  screen.clock.advanceBy(0.5);
  EXPECT_EQ(done.joined(), "outer YES, inherits YES") << "an inner block takes the outer duration";
  screen.clock.advanceBy(1.5);
  EXPECT_EQ(done.calls.back(), "overrides YES");

  done.calls.clear();
  UIView::setAnimationsEnabled(false);
  UIView::animateWithDuration(1, [&] { a->setAlpha(1); }, done.record("disabled"));
  UIView::setAnimationsEnabled(true);
  UIView::animateWithDuration(1, [&] { UIView::performWithoutAnimation([&] { b->setAlpha(1); }); },
                              done.record("without"));
  UIView::animateWithDuration(0, [&] { c->setAlpha(1); }, done.record("zero"));
  UIView::animateWithDuration(1, [] {}, done.record("nothing changed"));
  EXPECT_FALSE(a->layer()->hasAnimations() || b->layer()->hasAnimations() || c->layer()->hasAnimations());
  EXPECT_EQ(done.joined(), "") << "completions wait for the next turn";
  screen.device().settle();
  EXPECT_EQ(done.joined(), "disabled YES, without YES, zero YES, nothing changed YES");
}

TEST(UIKitAnimation, DelaySpringTransitionAndTheBeginCommitForm) {
  Screen screen;
  auto view = screen.add({{0, 0}, {100, 100}});
  Finished done;
  UIView::animateWithDuration(0.2, 0.3, UIViewAnimationOptionCurveLinear, [&] { view->setCenter({150, 50}); },
                              done.record("delayed"));
  screen.clock.advanceBy(0.2);
  EXPECT_EQ(view->layer()->presentationProperties().position.x, 50) << "waits at the start during the delay";
  screen.clock.advanceBy(0.2);
  EXPECT_NEAR(view->layer()->presentationProperties().position.x, 100, 1e-6);
  screen.clock.advanceBy(0.1);
  EXPECT_EQ(done.joined(), "delayed YES");

  UIView::animateWithDuration(0.6, 0, 0.3, 0, UIViewAnimationOptionCurveEaseInOut, [&] { view->setCenter({50, 50}); },
                              done.record("spring"));
  CGFloat lowest = 1000;
  for (int i = 0; i < 12; ++i) {
    screen.clock.advanceBy(0.05);
    lowest = std::min(lowest, view->layer()->presentationProperties().position.x);
  }
  EXPECT_LT(lowest, 50) << "a loose spring overshoots";
  EXPECT_EQ(done.calls.back(), "spring YES");

  UIView::transitionWithView(view, 0.4, UIViewAnimationOptionTransitionFlipFromLeft, [&] { view->setAlpha(0.3); },
                             done.record("flip"));
  EXPECT_EQ(view->alpha(), 0.3);
  EXPECT_FALSE(view->layer()->animationForKey(NSString::stringWithUTF8String("opacity"))) << "shown by the transition";
  auto transition = std::dynamic_pointer_cast<CATransition>(
      view->layer()->animationForKey(NSString::stringWithUTF8String("transition")));
  ASSERT_TRUE(transition);
  EXPECT_EQ(transition->type()->utf8(), "flip");
  EXPECT_EQ(transition->subtype()->utf8(), "fromLeft");
  screen.clock.advanceBy(0.4);
  EXPECT_EQ(done.calls.back(), "flip YES");

  struct Delegate : NSObject {
    std::string log;
    void stopped(const std::shared_ptr<NSString>& name, const std::shared_ptr<NSNumber>& finished, void* context) {
      log = name->utf8() + (finished->boolValue() ? " finished " : " cut ") + static_cast<const char*>(context);
    }
  };
  auto delegate = std::make_shared<Delegate>();
  static const char context[] = "ctx";
  UIView::beginAnimations(NSString::stringWithUTF8String("hide"), const_cast<char*>(context));
  UIView::setAnimationDuration(0.3);
  UIView::setAnimationDelegate(delegate);
  UIView::setAnimationDidStopSelector(&Delegate::stopped);
  view->setAlpha(0.02);
  UIView::commitAnimations();
  screen.clock.advanceBy(0.29);
  EXPECT_EQ(delegate->log, "");
  screen.clock.advanceBy(0.01);
  EXPECT_EQ(delegate->log, "hide finished ctx");
}

TEST(UIKitAnimation, AnimatingViewsTakeNoTouchesUnlessAllowed) {
  for (bool allow : {false, true}) {
    Screen screen;
    Log log;
    auto button = screen.add<ButtonLike>({{0, 0}, {100, 100}});
    auto target = std::make_shared<Target>(&log);
    button->addTarget(target, &Target::pressed, UIControlEventTouchUpInside);
    UIView::animateWithDuration(1, 0, allow ? UIViewAnimationOptionAllowUserInteraction : UIViewAnimationOptionCurveEaseInOut,
                                [&] { button->setAlpha(0.5); }, nullptr);
    screen.device().tap({50, 50});
    EXPECT_EQ(log.joined(), allow ? "target.pressed" : "") << allow;
    screen.device().wait(1);
    screen.device().tap({50, 50});
    EXPECT_EQ(log.lines.size(), allow ? 2u : 1u) << "after the animation";
  }
}

}  // namespace
