#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSValue.h"
#include "platform/graphics/UIImage.h"
#include "platform/quartzcore/CALayer.h"
#include "tests/support/MainLoop.h"

using zvt::test::VirtualClockScope;

namespace {

constexpr double kPi = std::numbers::pi;

std::shared_ptr<NSString> S(const char* text) { return NSString::stringWithUTF8String(text); }
id N(double value) { return NSNumber::numberWithDouble(value); }

struct Recorder : CAAnimationDelegate {
  std::vector<std::string> events;
  std::string name;
  explicit Recorder(std::string n) : name(std::move(n)) {}
  void animationDidStart(const std::shared_ptr<CAAnimation>&) override { events.push_back(name + " start"); }
  void animationDidStop(const std::shared_ptr<CAAnimation>&, bool finished) override {
    events.push_back(name + (finished ? " done" : " cut"));
  }
};

std::shared_ptr<CABasicAnimation> basic(const char* keyPath, id from, id to, double duration) {
  auto a = CABasicAnimation::animationWithKeyPath(S(keyPath));
  a->setFromValue(from);
  a->setToValue(to);
  a->setDuration(duration);
  return a;
}

TEST(QuartzTransform, CompositionInversionAndTheAffinePart) {
  const CATransform3D r = CATransform3DMakeRotation(kPi / 2, 0, 0, 1);
  EXPECT_EQ(CATransform3DGetAffineTransform(r), CGAffineTransformMakeRotation(kPi / 2));
  struct Case {
    const char* what;
    CATransform3D t;
    CGPoint in, out;
  } cases[] = {
      {"translate then scale", CATransform3DConcat(CATransform3DMakeTranslation(1, 2, 0), CATransform3DMakeScale(2, 3, 1)),
       {1, 1}, {4, 9}},
      {"scale applied before the translation", CATransform3DScale(CATransform3DMakeTranslation(1, 2, 0), 2, 3, 1),
       {1, 1}, {3, 5}},
      {"quarter turn", r, {1, 0}, {0, 1}},
      {"inverse of a turn and a move", CATransform3DInvert(CATransform3DTranslate(r, 5, 0, 0)), {0, 5}, {0, 0}},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(CATransform3DIsAffine(c.t)) << c.what;
    CGPoint p = CGPointApplyAffineTransform(c.in, CATransform3DGetAffineTransform(c.t));
    EXPECT_NEAR(p.x, c.out.x, 1e-12) << c.what;
    EXPECT_NEAR(p.y, c.out.y, 1e-12) << c.what;
  }
  auto tilt = CATransform3DMakeRotation(0.3, 1, 0, 0);
  EXPECT_FALSE(CATransform3DIsAffine(tilt));
  auto back = CATransform3DConcat(tilt, CATransform3DInvert(tilt));
  EXPECT_NEAR(back.m22, 1, 1e-12);
  EXPECT_NEAR(back.m23, 0, 1e-12);
  EXPECT_EQ(CATransform3DValue(valueWithCATransform3D(r)), r);
  EXPECT_TRUE(CATransform3DIsIdentity(CATransform3DValue(NSValue::valueWithCGPoint({1, 2}))));
}

TEST(QuartzTiming, NamedCurves) {
  struct Case {
    const char* name;
    double at, want;
  } cases[] = {
      {"linear", 0.3, 0.3},       {"easeInEaseOut", 0.5, 0.5}, {"easeIn", 0.0, 0.0},
      {"easeOut", 1.0, 1.0},      {"default", 1.0, 1.0},
  };
  for (const auto& c : cases)
    EXPECT_NEAR(CAMediaTimingFunction::functionWithName(S(c.name))->evaluate(c.at), c.want, 1e-6) << c.name;
  auto in = CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseIn);
  auto out = CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseOut);
  double previous = 0;
  for (int i = 1; i < 10; ++i) {
    double t = i / 10.0;
    EXPECT_LT(in->evaluate(t), t) << "ease in starts slow";
    EXPECT_GT(out->evaluate(t), t) << "ease out starts fast";
    EXPECT_NEAR(in->evaluate(t), 1 - out->evaluate(1 - t), 1e-6) << "the two are mirror images";
    EXPECT_GT(in->evaluate(t), previous);
    previous = in->evaluate(t);
  }
  EXPECT_FALSE(CAMediaTimingFunction::functionWithName(S("bounce")));
  float point[2];
  in->getControlPointAtIndex(1, point);
  EXPECT_FLOAT_EQ(point[0], 0.42f);
}

TEST(QuartzAnimation, ProgressOverTimeWithFillRepeatAndReverse) {
  struct Case {
    const char* what;
    std::function<void(CAAnimation&)> setUp;
    double at;
    std::optional<double> want;
  } cases[] = {
      {"half way", [](CAAnimation&) {}, 0.5, 0.5},
      {"before the start without fill", [](CAAnimation&) {}, -0.1, std::nullopt},
      {"before the start filling backwards", [](CAAnimation& a) { a.setFillMode(kCAFillModeBackwards); }, -0.1, 0.0},
      {"after the end without fill", [](CAAnimation&) {}, 1.0, std::nullopt},
      {"after the end filling forwards", [](CAAnimation& a) { a.setFillMode(kCAFillModeForwards); }, 3.0, 1.0},
      {"second pass", [](CAAnimation& a) { a.setRepeatCount(2); }, 1.25, 0.25},
      {"on the way back", [](CAAnimation& a) { a.setAutoreverses(true); }, 1.25, 0.75},
      {"double speed", [](CAAnimation& a) { a.setSpeed(2); }, 0.25, 0.5},
      {"time offset", [](CAAnimation& a) { a.setTimeOffset(0.5); }, 0.25, 0.75},
  };
  for (const auto& c : cases) {
    CAAnimation a;
    a.setDuration(1);
    c.setUp(a);
    auto got = a.progressAt(c.at);
    ASSERT_EQ(got.has_value(), c.want.has_value()) << c.what;
    if (got) {
      EXPECT_NEAR(*got, *c.want, 1e-9) << c.what;
    }
  }
  CAAnimation endless;
  endless.setRepeatCount(HUGE_VALF);
  EXPECT_TRUE(std::isinf(endless.activeDuration()));
  EXPECT_DOUBLE_EQ(CAAnimation().effectiveDuration(), 0.25);
}

TEST(QuartzAnimation, PresentationShowsAnimationsAtTheClockAndTheModelStays) {
  VirtualClockScope clock;
  auto layer = CALayer::layer();
  layer->setOpacity(1);
  layer->setPosition({10, 20});
  layer->setBounds({{0, 0}, {100, 50}});
  layer->addAnimation(basic("opacity", N(0), N(1), 1), S("fade"));
  layer->addAnimation(basic("position.x", N(0), N(100), 2), nullptr);
  auto spin = CABasicAnimation::animationWithKeyPath(S("transform.rotation.z"));
  spin->setFromValue(N(0));
  spin->setToValue(N(kPi));
  spin->setDuration(1);
  layer->addAnimation(spin, S("spin"));
  auto grow = basic("bounds.size.width", nullptr, N(200), 1);  // from the value below
  layer->addAnimation(grow, S("grow"));
  clock.advanceBy(0.5);
  auto p = layer->presentationProperties();
  EXPECT_DOUBLE_EQ(p.opacity, 0.5);
  EXPECT_DOUBLE_EQ(p.position.x, 25);
  EXPECT_DOUBLE_EQ(p.position.y, 20) << "the other part of the point is the model's";
  EXPECT_NEAR(zvt::ca::decompose(CATransform3DGetAffineTransform(p.transform)).angle, kPi / 2, 1e-9);
  EXPECT_DOUBLE_EQ(p.bounds.size.width, 150);
  EXPECT_DOUBLE_EQ(layer->opacity(), 1) << "the model does not move";
  EXPECT_DOUBLE_EQ(layer->presentationLayer()->opacity(), 0.5);
  EXPECT_EQ(layer->presentationLayer()->modelLayer(), layer);
  EXPECT_EQ(layer->animationKeys().size(), 4u);
  clock.advanceBy(0.5);
  zvt::test::drainMainLoop();
  EXPECT_EQ(layer->animationKeys().size(), 1u) << "finished animations leave the layer";
  EXPECT_TRUE(layer->animationForKey(S("animation-1")));
  clock.advanceBy(1);
  EXPECT_FALSE(layer->hasAnimations());
  EXPECT_EQ(zvt::ca::runningAnimationCount(), 0u);
}

TEST(QuartzAnimation, DelegatesHearOfTheEndOrOfTheReplacement) {
  VirtualClockScope clock;
  auto layer = CALayer::layer();
  auto first = std::make_shared<Recorder>("first");
  auto second = std::make_shared<Recorder>("second");
  auto a = basic("opacity", N(0), N(1), 1);
  a->setDelegate(first);
  layer->addAnimation(a, S("opacity"));
  zvt::test::drainMainLoop();
  EXPECT_EQ(first->events, std::vector<std::string>{"first start"});
  clock.advanceBy(0.4);
  auto b = basic("opacity", N(1), N(0), 1);
  b->setDelegate(second);
  layer->addAnimation(b, S("opacity"));
  EXPECT_EQ(first->events.size(), 1u) << "the replaced animation is told on the next turn";
  zvt::test::drainMainLoop();
  EXPECT_EQ(first->events.back(), "first cut");
  clock.advanceBy(0.6);
  EXPECT_EQ(second->events, (std::vector<std::string>{"second start"})) << "not the first one's end time";
  clock.advanceBy(0.4);
  EXPECT_EQ(second->events.back(), "second done") << "exactly at its end on the virtual clock";
  auto c = basic("opacity", N(0), N(1), 1);
  c->setDelegate(first);
  layer->addAnimation(c, nullptr);
  layer->removeAllAnimations();
  zvt::test::drainMainLoop();
  EXPECT_EQ(first->events.back(), "first cut");
}

TEST(QuartzAnimation, KeyframesAndSprings) {
  auto frames = CAKeyframeAnimation::animationWithKeyPath(S("opacity"));
  frames->setValues(NSArray::make({N(0), N(1), N(0.5)}));
  frames->setKeyTimes(NSArray::make({N(0), N(0.2), N(1)}));
  struct Case {
    double progress, want;
  } linear[] = {{0, 0}, {0.1, 0.5}, {0.2, 1}, {0.6, 0.75}, {1, 0.5}};
  for (const auto& c : linear) {
    zvt::ca::LayerProperties p;
    frames->apply(p, c.progress, 0);
    EXPECT_NEAR(p.opacity, c.want, 1e-9) << c.progress;
  }
  frames->setCalculationMode(kCAAnimationDiscrete);
  frames->setKeyTimes(nullptr);
  zvt::ca::LayerProperties p;
  frames->apply(p, 0.5, 0);
  EXPECT_DOUBLE_EQ(p.opacity, 1) << "discrete values hold for a third each";

  auto spring = CASpringAnimation::animationWithKeyPath(S("position.y"));
  spring->setDamping(5);
  EXPECT_DOUBLE_EQ(spring->springValue(0), 0);
  double peak = 0;
  for (int i = 1; i < 300; ++i) peak = std::max<double>(peak, spring->springValue(i / 100.0));
  EXPECT_GT(peak, 1) << "an underdamped spring overshoots";
  double settle = spring->settlingDuration();
  EXPECT_GT(settle, 0.5);
  EXPECT_NEAR(spring->springValue(settle + 0.01), 1, 0.001);
  spring->setDamping(20);  // critical for stiffness 100, mass 1
  for (int i = 1; i < 300; ++i) EXPECT_LE(spring->springValue(i / 100.0), 1 + 1e-12);
}

TEST(QuartzLayer, ImplicitActionsAndTransactions) {
  VirtualClockScope clock;
  auto root = CALayer::layer();
  auto child = CALayer::layer();
  child->setOpacity(0.5);
  EXPECT_FALSE(child->hasAnimations()) << "a layer outside a tree does not animate";
  root->addSublayer(child);
  int completions = 0;
  CATransaction::begin();
  CATransaction::setAnimationDuration(2);
  CATransaction::setCompletionBlock([&] { ++completions; });
  child->setOpacity(1);
  child->setOpacity(1);  // no change, no action
  CATransaction::commit();
  auto implicit = std::dynamic_pointer_cast<CABasicAnimation>(child->animationForKey(S("opacity")));
  ASSERT_TRUE(implicit);
  EXPECT_DOUBLE_EQ(implicit->duration(), 2);
  EXPECT_EQ(completions, 0);
  clock.advanceBy(1);
  double eased = CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionDefault)->evaluate(0.5);
  EXPECT_NEAR(child->presentationProperties().opacity, 0.5 + 0.5 * eased, 1e-9) << "the default curve";
  clock.advanceBy(1);
  EXPECT_EQ(completions, 1);

  CATransaction::begin();
  CATransaction::setDisableActions(true);
  CATransaction::setCompletionBlock([&] { ++completions; });
  child->setPosition({5, 5});
  CATransaction::commit();
  EXPECT_FALSE(child->hasAnimations());
  EXPECT_EQ(completions, 2) << "no animation: the block runs on commit";

  struct Refusing : CALayerDelegate {
    std::shared_ptr<CAAction> actionForLayer(CALayer&, const std::shared_ptr<NSString>&) override {
      return CANullAction();
    }
  };
  auto refusing = std::make_shared<Refusing>();
  child->setDelegate(refusing);
  child->setCornerRadius(4);
  EXPECT_FALSE(child->hasAnimations());
  EXPECT_DOUBLE_EQ(child->cornerRadius(), 4);
}

TEST(QuartzLayer, GeometryFramesAndConversions) {
  auto root = CALayer::layer();
  root->setBounds({{0, 0}, {320, 480}});
  auto layer = CALayer::layer();
  root->addSublayer(layer);
  layer->setFrame({{10, 20}, {100, 50}});
  EXPECT_EQ(layer->position(), CGPointMake(60, 45));
  EXPECT_EQ(layer->bounds(), CGRectMake(0, 0, 100, 50));
  layer->setAnchorPoint({0, 0});
  EXPECT_EQ(layer->frame(), CGRectMake(60, 45, 100, 50)) << "the position stays, the frame moves";
  layer->setAnchorPoint({0.5, 0.5});
  layer->setAffineTransform(CGAffineTransformMakeRotation(kPi / 2));
  CGRect f = layer->frame();
  EXPECT_NEAR(f.origin.x, 35, 1e-9);
  EXPECT_NEAR(f.size.width, 50, 1e-9);
  CGPoint corner = layer->convertPointToLayer({0, 0}, root);
  EXPECT_NEAR(corner.x, 85, 1e-9);
  EXPECT_NEAR(corner.y, -5, 1e-9);
  CGPoint back = layer->convertPointFromLayer(corner, root);
  EXPECT_NEAR(back.x, 0, 1e-9);
  EXPECT_NEAR(back.y, 0, 1e-9);
  auto inner = CALayer::layer();
  layer->addSublayer(inner);
  inner->setFrame({{10, 0}, {10, 10}});
  CGPoint p = root->convertPointToLayer({85, 5}, inner);
  EXPECT_NEAR(p.x, 0, 1e-9);
  EXPECT_NEAR(p.y, 0, 1e-9);
  EXPECT_EQ(std::dynamic_pointer_cast<NSNumber>(layer->valueForKey(S("opacity")))->doubleValue(), 1);
  layer->setValueForKey(N(40), S("position.x"));
  EXPECT_EQ(layer->position().x, 40);
}

class CountingLayer : public CALayer {
 public:
  int layouts = 0;
  int draws = 0;
  void layoutSublayers() override { ++layouts; }
  void drawInContext(const CGContextRef&) override { ++draws; }
};

TEST(QuartzLayer, LayoutAndDisplayPassesVisitOnlyMarkedBranches) {
  auto root = std::make_shared<CountingLayer>();
  auto left = std::make_shared<CountingLayer>();
  auto right = std::make_shared<CountingLayer>();
  auto leaf = std::make_shared<CountingLayer>();
  root->addSublayer(left);
  root->addSublayer(right);
  left->addSublayer(leaf);
  leaf->setBounds({{0, 0}, {10, 5}});  // a size change asks for layout
  leaf->setNeedsLayout();
  EXPECT_TRUE(root->treeNeedsLayout());
  root->layoutTreeIfNeeded();
  EXPECT_EQ(leaf->layouts, 1) << "marked twice, laid out once";
  EXPECT_EQ(root->layouts + left->layouts + right->layouts, 0);
  EXPECT_FALSE(root->treeNeedsLayout());
  right->setNeedsLayout();
  root->setNeedsLayout();
  leaf->layoutIfNeeded();
  EXPECT_EQ(root->layouts, 1) << "layoutIfNeeded starts at the topmost ancestor that needs it";
  EXPECT_EQ(right->layouts, 1);

  leaf->setContentsScale(2);
  leaf->setNeedsDisplay();
  right->setNeedsDisplay();  // no size: drawn into nothing
  root->displayTreeIfNeeded();
  EXPECT_EQ(leaf->draws, 1);
  ASSERT_TRUE(leaf->contents());
  EXPECT_EQ(leaf->contents()->width(), 20u);
  EXPECT_EQ(leaf->contents()->height(), 10u);
  EXPECT_FALSE(right->contents());
  auto plain = CALayer::layer();
  plain->setBounds({{0, 0}, {4, 4}});
  plain->setNeedsDisplay();
  plain->displayIfNeeded();
  EXPECT_FALSE(plain->contents()) << "a layer that does not draw gets no backing store";
}

TEST(QuartzAnimation, SlowAnimationsStretchWhatIsAddedAfterTheSwitch) {
  VirtualClockScope clock;
  auto layer = CALayer::layer();
  auto recorder = std::make_shared<Recorder>("slow");
  auto fade = basic("opacity", N(0), N(1), 0.2);
  fade->setDelegate(recorder);
  fade->setTimingFunction(CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionLinear));
  zvt::ca::setAnimationSlowdown(10);
  layer->addAnimation(fade, S("fade"));
  zvt::ca::setAnimationSlowdown(0.5);  // below 1: normal speed again
  EXPECT_EQ(zvt::ca::animationSlowdown(), 1);
  clock.advanceBy(1);
  EXPECT_NEAR(layer->presentationProperties().opacity, 0.5, 1e-9) << "half of 2 s";
  clock.advanceBy(1.01);
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"slow start", "slow done"}));
}

}  // namespace
