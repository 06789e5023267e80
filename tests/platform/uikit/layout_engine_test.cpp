// Constraints on views: the engine of a window solves them in the display pass and the views get
// the frames a person expects, rounded to the screen's pixels.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSLog.h"
#include "platform/uikit/NSLayoutAnchor.h"
#include "platform/uikit/UILayoutGuide.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/internal/LayoutEngine.h"
#include "tests/platform/uikit/UIKitTestSupport.h"

namespace {

using zvt::uitest::Log;
using zvt::uitest::Screen;
using C = NSLayoutConstraint;
using V = std::shared_ptr<UIView>;

constexpr auto L = NSLayoutAttributeLeft;
constexpr auto R = NSLayoutAttributeRight;
constexpr auto T = NSLayoutAttributeTop;
constexpr auto B = NSLayoutAttributeBottom;
constexpr auto W = NSLayoutAttributeWidth;
constexpr auto H = NSLayoutAttributeHeight;
constexpr auto CX = NSLayoutAttributeCenterX;
constexpr auto CY = NSLayoutAttributeCenterY;
constexpr auto NA = NSLayoutAttributeNotAnAttribute;
constexpr auto EQ = NSLayoutRelationEqual;
constexpr auto LE = NSLayoutRelationLessThanOrEqual;
constexpr auto GE = NSLayoutRelationGreaterThanOrEqual;

std::shared_ptr<C> pin(const V& a, NSLayoutAttribute x, const V& b, NSLayoutAttribute y, CGFloat c = 0, CGFloat m = 1,
                       NSLayoutRelation r = EQ) {
  return C::constraintWithItem(a, x, r, b, y, m, c);
}
std::shared_ptr<C> size(const V& a, NSLayoutAttribute x, CGFloat c, NSLayoutRelation r = EQ) {
  return C::constraintWithItem(a, x, r, nullptr, NA, 1, c);
}
std::shared_ptr<C> withPriority(std::shared_ptr<C> c, UILayoutPriority p) {
  c->setPriority(p);
  return c;
}

// A view with a natural size, as a label has one.
class Sized : public UIView {
 public:
  CGSize natural{UIViewNoIntrinsicMetric, UIViewNoIntrinsicMetric};
  CGFloat baseline = 0;
  CGSize intrinsicContentSize() const override { return natural; }
  CGFloat lastBaselineOffsetFromBottom() const override { return baseline; }
  void setNatural(CGSize s) {
    natural = s;
    invalidateIntrinsicContentSize();
  }
};

V placed(const V& parent, CGRect frame = CGRectZero) {
  auto v = UIView::initWithFrame(frame);
  v->setTranslatesAutoresizingMaskIntoConstraints(false);
  parent->addSubview(v);
  return v;
}

struct Example {
  std::string name;
  // Builds subviews of the 320 x 480 window's content view and returns them.
  std::function<std::vector<V>(const V& root)> build;
  std::vector<CGRect> expected;
};

TEST(UIKitLayoutEngine, ConstraintSystemsGiveTheFramesAPersonExpects) {
  const std::vector<Example> examples = {
      {"edges inset by 10, 20, 30, 40",
       [](const V& r) {
         auto v = placed(r);
         r->addConstraints({pin(v, L, r, L, 20), pin(v, R, r, R, -40), pin(v, T, r, T, 10), pin(v, B, r, B, -30)});
         return std::vector<V>{v};
       },
       {{{20, 10}, {260, 440}}}},
      {"centred, 100 by 50",
       [](const V& r) {
         auto v = placed(r);
         r->addConstraints({size(v, W, 100), size(v, H, 50), pin(v, CX, r, CX), pin(v, CY, r, CY)});
         return std::vector<V>{v};
       },
       {{{110, 215}, {100, 50}}}},
      {"equal widths with a multiplier and a constant, side by side",
       [](const V& r) {
         auto a = placed(r), b = placed(r);
         r->addConstraints({pin(a, L, r, L), pin(a, T, r, T), pin(a, W, r, W, 0, 0.5), size(a, H, 40),
                            pin(b, L, a, R), pin(b, T, a, T), pin(b, W, a, W, 8, 0.5), pin(b, H, a, H)});
         return std::vector<V>{a, b};
       },
       {{{0, 0}, {160, 40}}, {{160, 0}, {88, 40}}}},
      {"a natural width pushes its sibling",
       [](const V& r) {
         auto label = std::make_shared<Sized>();
         label->natural = CGSizeMake(120, 20);
         label->setTranslatesAutoresizingMaskIntoConstraints(false);
         r->addSubview(label);
         auto field = placed(r);
         r->addConstraints({pin(label, L, r, L, 10), pin(label, T, r, T, 10), pin(field, L, label, R, 8),
                            pin(field, R, r, R, -10), pin(field, CY, label, CY), size(field, H, 30)});
         return std::vector<V>{label, field};
       },
       {{{10, 10}, {120, 20}}, {{138, 5}, {172, 30}}}},
      {"priority 999 gives way to 1000",
       [](const V& r) {
         auto v = placed(r);
         r->addConstraints({pin(v, L, r, L), pin(v, T, r, T), size(v, H, 10), withPriority(size(v, W, 200), 999),
                            size(v, W, 100)});
         return std::vector<V>{v};
       },
       {{{0, 0}, {100, 10}}}},
      {"at most and at least limit a wish",
       [](const V& r) {
         auto a = placed(r), b = placed(r);
         r->addConstraints({pin(a, L, r, L), pin(a, T, r, T), size(a, H, 10), size(a, W, 80, LE),
                            withPriority(size(a, W, 300), 750), pin(b, L, r, L), pin(b, T, a, B), size(b, H, 10),
                            size(b, W, 50, GE), withPriority(size(b, W, 0), 750)});
         return std::vector<V>{a, b};
       },
       {{{0, 0}, {80, 10}}, {{0, 10}, {50, 10}}}},
      {"three views sharing 320 points with 10-point gaps (93.33 each, edges on half points)",
       [](const V& r) {
         std::vector<V> v{placed(r), placed(r), placed(r)};
         for (size_t i = 0; i < 3; ++i) {
           r->addConstraints({pin(v[i], T, r, T), size(v[i], H, 20)});
           if (i == 0) r->addConstraint(pin(v[i], L, r, L, 10));
           if (i > 0) r->addConstraints({pin(v[i], W, v[i - 1], W), pin(v[i], L, v[i - 1], R, 10)});
           if (i == 2) r->addConstraint(pin(v[i], R, r, R, -10));
         }
         return v;
       },
       {{{10, 0}, {93.5, 20}}, {{113.5, 0}, {93, 20}}, {{216.5, 0}, {93.5, 20}}}},
      {"fixed item length 50, spread by multipliers in 300 points",
       [](const V& r) {
         auto box = placed(r);
         r->addConstraints({pin(box, L, r, L), pin(box, T, r, T), size(box, W, 300), size(box, H, 40)});
         std::vector<V> v{placed(box), placed(box), placed(box)};
         for (int i = 0; i < 3; ++i) {
           box->addConstraints({size(v[i], W, 50), pin(v[i], T, box, T), pin(v[i], B, box, B)});
           if (i == 0) box->addConstraint(pin(v[i], L, box, L));
           else if (i == 2) box->addConstraint(pin(v[i], R, box, R));
           else box->addConstraint(pin(v[i], R, box, R, 50 * (1 - i / 2.0), i / 2.0));
         }
         return v;
       },
       {{{0, 0}, {50, 40}}, {{125, 0}, {50, 40}}, {{250, 0}, {50, 40}}}},
      {"margins and a baseline",
       [](const V& r) {
         auto a = placed(r);
         auto label = std::make_shared<Sized>();
         label->natural = CGSizeMake(40, 20);
         label->baseline = 4;
         label->setTranslatesAutoresizingMaskIntoConstraints(false);
         r->addSubview(label);
         auto b = placed(r);
         r->addConstraints({pin(a, L, r, NSLayoutAttributeLeftMargin), pin(a, T, r, NSLayoutAttributeTopMargin),
                            size(a, W, 10),
                            size(a, H, 10), pin(label, L, a, R), pin(label, T, a, B), pin(b, L, label, R),
                            pin(b, NSLayoutAttributeBaseline, label, NSLayoutAttributeBaseline), size(b, W, 10),
                            size(b, H, 10)});
         return std::vector<V>{a, label, b};
       },
       {{{8, 8}, {10, 10}}, {{18, 18}, {40, 20}}, {{58, 24}, {10, 10}}}},
  };
  for (const auto& example : examples) {
    SCOPED_TRACE(example.name);
    Screen screen;
    auto root = screen.add({{0, 0}, {320, 480}});
    auto views = example.build(root);
    screen.device().settle();
    ASSERT_EQ(views.size(), example.expected.size());
    for (size_t i = 0; i < views.size(); ++i)
      EXPECT_EQ(NSStringFromCGRect(views[i]->frame())->utf8(), NSStringFromCGRect(example.expected[i])->utf8())
          << "view " << i;
  }
}

TEST(UIKitLayoutEngine, HuggingAndCompressionResistanceDecideWhoGivesWay) {
  // Two labels side by side between the edges of a row: one of them must grow (or shrink) by
  // what the row has over (or lacks), and the priorities per axis say which.
  struct Case {
    const char* name;
    CGFloat rowWidth;
    std::function<void(Sized& a, Sized& b)> prioritise;
    CGFloat widthA, widthB;
  };
  const Case cases[] = {
      {"the first hugs harder: the second grows", 320,
       [](Sized& a, Sized&) { a.setContentHuggingPriority(251, UILayoutConstraintAxisHorizontal); }, 100, 220},
      {"the second hugs harder: the first grows", 320,
       [](Sized&, Sized& b) { b.setContentHuggingPriority(251, UILayoutConstraintAxisHorizontal); }, 260, 60},
      {"the first resists harder: the second shrinks", 120,
       [](Sized& a, Sized&) { a.setContentCompressionResistancePriority(751, UILayoutConstraintAxisHorizontal); }, 100,
       20},
      {"the second resists harder: the first shrinks", 120,
       [](Sized&, Sized& b) { b.setContentCompressionResistancePriority(751, UILayoutConstraintAxisHorizontal); }, 60,
       60},
      {"vertical priorities leave the widths to the defaults' order", 320,
       [](Sized& a, Sized& b) {
         a.setContentHuggingPriority(1, UILayoutConstraintAxisVertical);
         b.setContentHuggingPriority(1000, UILayoutConstraintAxisVertical);
         a.setContentHuggingPriority(252, UILayoutConstraintAxisHorizontal);
       },
       100, 220},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Screen screen;
    auto root = screen.add({{0, 0}, {320, 480}});
    auto row = placed(root);
    auto a = std::make_shared<Sized>(), b = std::make_shared<Sized>();
    a->natural = CGSizeMake(100, 20);
    b->natural = CGSizeMake(60, 20);
    for (auto& v : {a, b}) {
      v->setTranslatesAutoresizingMaskIntoConstraints(false);
      row->addSubview(v);
    }
    EXPECT_EQ(a->contentHuggingPriorityForAxis(UILayoutConstraintAxisHorizontal), 250);
    EXPECT_EQ(a->contentCompressionResistancePriorityForAxis(UILayoutConstraintAxisVertical), 750);
    c.prioritise(*a, *b);
    root->addConstraints({pin(row, L, root, L), pin(row, T, root, T), size(row, W, c.rowWidth), size(row, H, 40)});
    row->addConstraints({pin(a, L, row, L), pin(b, L, a, R), pin(b, R, row, R), pin(a, T, row, T), pin(b, T, row, T)});
    screen.device().settle();
    EXPECT_EQ(a->frame().size.width, c.widthA);
    EXPECT_EQ(b->frame().size.width, c.widthB);
    EXPECT_EQ(a->frame().size.height, 20) << "nothing pulls at the heights";
  }
  // Per axis against constraints: a wish of 999 beats the default hugging and loses to a required
  // one; a limit of 749 loses to the default resistance, one of 751 wins.
  struct Vertical {
    const char* name;
    UILayoutPriority hugging;
    NSLayoutRelation relation;
    CGFloat height;
    UILayoutPriority priority;
    CGFloat expected;
  };
  const Vertical vertical[] = {
      {"a taller wish beats hugging", 250, EQ, 50, 999, 50},
      {"required hugging keeps the natural height", 1000, EQ, 50, 999, 20},
      {"a lower limit gives way to resistance", 250, LE, 10, 749, 20},
      {"a higher limit compresses", 250, LE, 10, 751, 10},
  };
  for (const auto& c : vertical) {
    SCOPED_TRACE(c.name);
    Screen screen;
    auto root = screen.add({{0, 0}, {320, 480}});
    auto label = std::make_shared<Sized>();
    label->natural = CGSizeMake(100, 20);
    label->setTranslatesAutoresizingMaskIntoConstraints(false);
    root->addSubview(label);
    label->setContentHuggingPriority(c.hugging, UILayoutConstraintAxisVertical);
    root->addConstraints({pin(label, L, root, L), pin(label, T, root, T),
                          withPriority(size(label, H, c.height, c.relation), c.priority)});
    screen.device().settle();
    EXPECT_EQ(label->frame().size.height, c.expected);
    EXPECT_EQ(label->frame().size.width, 100);
  }
}

TEST(UIKitLayoutEngine, ChangesResolveIncrementally) {
  Screen screen;
  auto root = screen.add({{0, 0}, {320, 480}});
  auto label = std::make_shared<Sized>();
  label->natural = CGSizeMake(100, 20);
  label->setTranslatesAutoresizingMaskIntoConstraints(false);
  root->addSubview(label);
  auto field = placed(root);
  auto left = pin(label, L, root, L, 10);
  root->addConstraints({left, pin(label, T, root, T, 10), pin(field, L, label, R, 8), pin(field, R, root, R, -10),
                        pin(field, T, label, T), size(field, H, 30)});
  screen.device().settle();
  ASSERT_EQ(field->frame(), CGRectMake(118, 10, 192, 30));
  auto adds = zvt::ui::LayoutEngine::solverAddCount();
  // A constant changed after activation: the engine shifts it in place.
  left->setConstant(30);
  screen.device().settle();
  EXPECT_EQ(label->frame(), CGRectMake(30, 10, 100, 20));
  EXPECT_EQ(field->frame(), CGRectMake(138, 10, 172, 30));
  EXPECT_EQ(zvt::ui::LayoutEngine::solverAddCount(), adds) << "a constant change adds nothing to the solver";
  // The natural size grows: the sibling shrinks.
  label->setNatural(CGSizeMake(150, 20));
  screen.device().settle();
  EXPECT_EQ(field->frame(), CGRectMake(188, 10, 122, 30));
  // The window's size is a constraint too.
  root->setFrame(CGRectMake(0, 0, 300, 480));
  root->setTranslatesAutoresizingMaskIntoConstraints(true);
  screen.device().settle();
  EXPECT_EQ(field->frame(), CGRectMake(188, 10, 102, 30));
}

TEST(UIKitLayoutEngine, SolvingTheSameTreeTwiceGivesIdenticalFrames) {
  auto build = [](Screen& screen) {
    auto root = screen.add({{0, 0}, {320, 480}});
    std::vector<V> views;
    V previous = root;
    for (int i = 0; i < 12; ++i) {
      auto v = placed(root);
      root->addConstraints({pin(v, L, root, L, 7.3 * i), pin(v, W, root, W, -3, 1.0 / (i + 3)),
                            pin(v, T, previous, i == 0 ? T : B, 1.7), withPriority(size(v, H, 33.3), 500),
                            size(v, H, 20 + i, GE)});
      views.push_back(v);
      previous = v;
    }
    screen.device().settle();
    std::vector<CGRect> frames;
    for (auto& v : views) frames.push_back(v->frame());
    return frames;
  };
  std::vector<CGRect> first, second;
  {
    Screen screen;
    first = build(screen);
  }
  {
    Screen screen;
    second = build(screen);
  }
  ASSERT_EQ(first.size(), second.size());
  for (size_t i = 0; i < first.size(); ++i) EXPECT_EQ(first[i], second[i]) << i;
}

TEST(UIKitLayoutEngine, RemovingAViewRemovesTheConstraintsThatNameIt) {
  Screen screen;
  auto root = screen.add({{0, 0}, {320, 480}});
  auto a = placed(root), b = placed(root), inner = placed(a);
  auto own = size(a, W, 100);
  a->addConstraints({own, pin(inner, L, a, L), pin(inner, T, a, T), size(inner, W, 5), size(inner, H, 5)});
  root->addConstraints({pin(a, L, root, L), pin(a, T, root, T), size(a, H, 50), pin(b, L, inner, R), pin(b, T, a, B),
                        size(b, W, 10), size(b, H, 10)});
  screen.device().settle();
  EXPECT_EQ(b->frame(), CGRectMake(5, 50, 10, 10));
  a->removeFromSuperview();
  // The root's constraints on a and on its subview went; a keeps its own.
  EXPECT_EQ(root->constraints().size(), 2u);
  EXPECT_EQ(a->constraints().size(), 5u);
  EXPECT_TRUE(own->isActive());
  // Put back, a keeps its own constraints and lays out again.
  root->addSubview(a);
  root->addConstraints({pin(a, L, root, L, 40), pin(a, T, root, T)});
  screen.device().settle();
  EXPECT_EQ(a->frame().size.width, 100);
  EXPECT_EQ(a->frame().origin.x, 40);
  EXPECT_EQ(inner->frame(), CGRectMake(0, 0, 5, 5));
}

TEST(UIKitLayoutEngine, ConflictingRequiredConstraintsLogAndBreakOne) {
  Screen screen;
  auto root = screen.add({{0, 0}, {320, 480}});
  auto v = placed(root);
  auto wide = size(v, W, 200);
  wide->setIdentifier(NSString::stringWithUTF8String("too-wide"));
  root->addConstraints({pin(v, L, root, L), pin(v, T, root, T), size(v, H, 10), size(v, W, 100)});
  zvt::LogCapture capture;
  root->addConstraint(wide);
  EXPECT_NO_THROW(screen.device().settle());
  EXPECT_TRUE(capture.contains("Unable to simultaneously satisfy constraints"));
  EXPECT_TRUE(capture.contains("Will attempt to recover by breaking constraint \n<NSLayoutConstraint:"));
  EXPECT_TRUE(capture.contains("'too-wide'"));
  EXPECT_EQ(v->frame().size.width, 100) << "the constraint added last is the one broken";
  // Its constant changed to agree, it joins again.
  wide->setConstant(100);
  screen.device().settle();
  EXPECT_EQ(v->frame().size.width, 100);
  // A frame set in code conflicts with a required width: the autoresizing constraints are named.
  auto fixed = UIView::initWithFrame(CGRectMake(0, 0, 50, 50));
  root->addSubview(fixed);
  capture.clear();
  root->addConstraint(size(fixed, W, 60));
  screen.device().settle();
  EXPECT_TRUE(capture.contains("NSAutoresizingMaskLayoutConstraint"));
  EXPECT_EQ(fixed->frame().size.width, 50);
}

TEST(UIKitLayoutEngine, AutoresizingMasksBecomeConstraints) {
  Screen screen;
  auto root = screen.add({{0, 0}, {320, 480}});
  // A frame-placed container whose width follows the root, and a placed view inside it.
  auto container = UIView::initWithFrame(CGRectMake(10, 20, 300, 100));
  container->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
  root->addSubview(container);
  auto v = placed(container);
  container->addConstraints({pin(v, R, container, R, -5), pin(v, T, container, T), size(v, W, 20), size(v, H, 20)});
  auto below = placed(root);
  root->addConstraints({pin(below, L, container, L), pin(below, T, container, B), size(below, W, 10),
                        size(below, H, 10)});
  screen.device().settle();
  EXPECT_EQ(v->frame(), CGRectMake(275, 0, 20, 20));
  EXPECT_EQ(below->frame(), CGRectMake(10, 120, 10, 10));
  // The root gets narrower: autoresizing shrinks the container and the engine follows.
  root->setFrame(CGRectMake(0, 0, 220, 480));
  screen.device().settle();
  EXPECT_EQ(container->frame(), CGRectMake(10, 20, 200, 100));
  EXPECT_EQ(v->frame(), CGRectMake(175, 0, 20, 20));
  // Moved in code, the container takes its dependents along.
  container->setFrame(CGRectMake(30, 40, 200, 100));
  screen.device().settle();
  EXPECT_EQ(below->frame(), CGRectMake(30, 140, 10, 10));
}

TEST(UIKitLayoutEngine, UpdateConstraintsRunsSubviewsFirstAndMustCallTheBase) {
  struct Updating : UIView {
    Log* log = nullptr;
    std::string name;
    bool callBase = true;
    void updateConstraints() override {
      if (log) log->add(name);
      if (callBase) UIView::updateConstraints();
    }
  };
  Screen screen;
  Log log;
  auto outer = UIView::makeView<Updating>(CGRectMake(0, 0, 100, 100));
  auto inner = UIView::makeView<Updating>(CGRectMake(0, 0, 10, 10));
  outer->log = inner->log = &log;
  outer->name = "outer";
  inner->name = "inner";
  outer->addSubview(inner);
  screen.window->addSubview(outer);
  screen.device().settle();
  EXPECT_EQ(log.joined(), "inner outer") << "called once when first shown, subviews first";
  log.clear();
  screen.device().settle();
  EXPECT_EQ(log.joined(), "");
  outer->setNeedsUpdateConstraints();
  screen.device().settle();
  EXPECT_EQ(log.joined(), "outer");
  inner->callBase = false;
  inner->setNeedsUpdateConstraints();
  try {
    inner->updateConstraintsIfNeeded();
    ADD_FAILURE() << "expected an exception";
  } catch (const NSException& e) {
    EXPECT_EQ(e.name()->utf8(), "NSInternalInconsistencyException");
  }
}

TEST(UIKitLayoutEngine, FittingSizeOfACellFromItsContent) {
  auto cell = UIView::initWithFrame(CGRectMake(0, 0, 320, 44));
  auto title = std::make_shared<Sized>();
  title->natural = CGSizeMake(120, 21);
  title->setTranslatesAutoresizingMaskIntoConstraints(false);
  cell->addSubview(title);
  auto detail = std::make_shared<Sized>();
  detail->natural = CGSizeMake(200, 33.3);
  detail->setTranslatesAutoresizingMaskIntoConstraints(false);
  cell->addSubview(detail);
  cell->addConstraints({pin(title, L, cell, L, 15), pin(title, T, cell, T, 11), pin(detail, L, title, L),
                        pin(detail, T, title, B, 4), pin(detail, B, cell, B, -11),
                        pin(detail, R, cell, R, -15, 1, LE)});
  EXPECT_EQ(cell->systemLayoutSizeFittingSize(UILayoutFittingCompressedSize), CGSizeMake(230, 80.5));
  // With the width required, only the height is free.
  EXPECT_EQ(cell->systemLayoutSizeFittingSize(CGSizeMake(375, 0), UILayoutPriorityRequired,
                                              UILayoutPriorityFittingSizeLevel),
            CGSizeMake(375, 80.5));
  // The cell's own frame is untouched.
  EXPECT_EQ(cell->frame(), CGRectMake(0, 0, 320, 44));
}

TEST(UIKitLayoutEngine, AmbiguityAndPixelRoundingOnEveryScreen) {
  for (const auto& model : zvt::ui::kScreenModels) {
    SCOPED_TRACE(model.name);
    Screen screen;
    zvt::ui::Device::useScreen(model);
    auto root = screen.add({{0, 0}, {300, 300}});
    auto v = placed(root);
    root->addConstraints({size(v, W, 100.2), size(v, H, 10)});
    EXPECT_TRUE(v->hasAmbiguousLayout()) << "nothing places it";
    root->addConstraints({pin(v, L, root, L, 10.1), pin(v, T, root, T, 10.4)});
    EXPECT_FALSE(v->hasAmbiguousLayout());
    screen.device().settle();
    CGFloat s = model.scale;
    EXPECT_NEAR(v->frame().origin.x, std::floor(10.1 * s + 0.5) / s, 1e-9);
    EXPECT_NEAR(v->frame().origin.y, std::floor(10.4 * s + 0.5) / s, 1e-9);
    EXPECT_NEAR(CGRectGetMaxX(v->frame()), std::floor(110.3 * s + 0.5) / s, 1e-9);
  }
}

TEST(UIKitLayoutEngine, LayoutGuidesAndScrollContent) {
  Screen screen;
  auto root = screen.add({{0, 0}, {320, 480}});
  auto top = std::make_shared<UILayoutSupport>(true);
  auto bottom = std::make_shared<UILayoutSupport>(false);
  top->setOwningView(root);
  bottom->setOwningView(root);
  top->setLength(64);
  bottom->setLength(49);
  auto scroll = UIScrollView::initWithFrame(CGRectZero);
  scroll->setTranslatesAutoresizingMaskIntoConstraints(false);
  root->addSubview(scroll);
  root->addConstraints({pin(scroll, L, root, L), pin(scroll, R, root, R),
                        C::constraintWithItem(scroll, T, EQ, top, B, 1, 0),
                        C::constraintWithItem(scroll, B, EQ, bottom, T, 1, 0)});
  // Content pinned to the scroll view's edges gives its content size; widths are the frame's.
  auto content = placed(scroll);
  scroll->addConstraints({pin(content, L, scroll, L), pin(content, T, scroll, T), pin(content, R, scroll, R),
                          pin(content, B, scroll, B), pin(content, W, scroll, W), size(content, H, 900)});
  screen.device().settle();
  EXPECT_EQ(scroll->frame(), CGRectMake(0, 64, 320, 367));
  EXPECT_EQ(scroll->contentSize(), CGSizeMake(320, 900));
  EXPECT_EQ(content->frame(), CGRectMake(0, 0, 320, 900));
  EXPECT_EQ(top->layoutFrame(), CGRectMake(0, 0, 320, 64));
  // The bars change: the guides follow. Scrolling does not move the content's frame.
  top->setLength(20);
  scroll->setContentOffset(CGPointMake(0, 100));
  screen.device().settle();
  EXPECT_EQ(scroll->frame(), CGRectMake(0, 20, 320, 411));
  EXPECT_EQ(content->frame(), CGRectMake(0, 0, 320, 900));
  auto& margins = *root->layoutMarginsGuide();
  auto m = placed(root);
  root->addConstraints({C::constraintWithItem(m, L, EQ, root->layoutMarginsGuide(), L, 1, 0),
                        C::constraintWithItem(m, T, EQ, root->layoutMarginsGuide(), T, 1, 0), size(m, W, 1),
                        size(m, H, 1)});
  root->setLayoutMargins(UIEdgeInsetsMake(12, 16, 0, 0));
  screen.device().settle();
  EXPECT_EQ(m->frame().origin, CGPointMake(16, 12));
  EXPECT_EQ(margins.layoutFrame(), CGRectMake(16, 12, 304, 468));
}

TEST(UIKitLayoutEngine, ControllersGuidesPlaceViewsAndScrollInsetsFollowTheBars) {
  // A list under a navigation bar, as the screens build it: a scroll view first, a view pinned
  // under the top guide.
  class Screenful : public UIViewController {
   public:
    std::shared_ptr<UIScrollView> list;
    V pinned;
    void viewDidLoad() override {
      UIViewController::viewDidLoad();
      list = UIScrollView::initWithFrame(view()->bounds());
      list->setContentSize(CGSizeMake(320, 2000));
      view()->addSubview(list);
      pinned = placed(view());
      view()->addConstraints({C::constraintWithItem(pinned, T, EQ, topLayoutGuide(), B, 1, 0),
                              C::constraintWithItem(pinned, B, EQ, bottomLayoutGuide(), T, 1, 0),
                              pin(pinned, L, view(), L), size(pinned, W, 10)});
    }
  };
  Screen screen;
  auto content = std::make_shared<Screenful>();
  screen.window->setRootViewController(UINavigationController::initWithRootViewController(content));
  screen.device().wait(0.5);
  EXPECT_EQ(content->topLayoutGuide()->length(), 64);
  EXPECT_EQ(content->pinned->frame(), CGRectMake(0, 64, 10, 480 - 64));
  EXPECT_EQ(content->list->contentInset().top, 64);
  EXPECT_EQ(content->list->contentOffset().y, -64) << "the content starts under the bar";
}

TEST(UIKitLayoutEngine, AnchorsAndActivation) {
  Screen screen;
  auto root = screen.add({{0, 0}, {320, 480}});
  auto a = placed(root), b = placed(root);
  auto c1 = a->leadingAnchor()->constraintEqualToAnchor(root->leadingAnchor(), 12);
  EXPECT_FALSE(c1->isActive());
  NSLayoutConstraint::activateConstraints({c1, a->topAnchor()->constraintEqualToAnchor(root->topAnchor()),
                                           a->widthAnchor()->constraintEqualToConstant(40),
                                           a->heightAnchor()->constraintEqualToAnchorMultiplier(a->widthAnchor(), 0.5),
                                           b->leadingAnchor()->constraintEqualToAnchor(a->trailingAnchor(), 4),
                                           b->centerYAnchor()->constraintEqualToAnchor(a->centerYAnchor()),
                                           b->widthAnchor()->constraintEqualToAnchor(a->widthAnchor(), 2, 1),
                                           b->heightAnchor()->constraintGreaterThanOrEqualToConstant(30)});
  EXPECT_EQ(c1->holder(), root) << "activation adds to the closest common ancestor";
  screen.device().settle();
  EXPECT_EQ(a->frame(), CGRectMake(12, 0, 40, 20));
  EXPECT_EQ(b->frame(), CGRectMake(56, -5, 81, 30));
  c1->setActive(false);
  EXPECT_TRUE(a->hasAmbiguousLayout());
  auto stranger = UIView::make();
  EXPECT_THROW(stranger->leftAnchor()->constraintEqualToAnchor(a->leftAnchor())->setActive(true), NSException);
}

TEST(UIKitLayoutEngine, InvalidConstraintsAreRefusedAsUIKitDoes) {
  auto a = UIView::make(), b = UIView::make();
  struct Case {
    const char* name;
    std::function<void()> make;
    bool raises;
  };
  const std::vector<Case> cases = {
      {"a location equal to a constant", [&] { C::constraintWithItem(a, L, EQ, nullptr, NA, 1, 10); }, true},
      {"multiplier 0 on a location", [&] { C::constraintWithItem(a, L, EQ, b, L, 0, 10); }, true},
      {"a location paired with a size", [&] { C::constraintWithItem(a, L, EQ, b, W, 1, 0); }, true},
      {"horizontal with vertical", [&] { C::constraintWithItem(a, L, EQ, b, T, 1, 0); }, true},
      {"leading with left",
       [&] { C::constraintWithItem(a, NSLayoutAttributeLeading, EQ, b, L, 1, 0); }, true},
      {"no first item", [&] { C::constraintWithItem(nullptr, W, EQ, nullptr, NA, 1, 10); }, true},
      {"an item that is neither view nor guide",
       [&] { C::constraintWithItem(NSObject::make(), W, EQ, nullptr, NA, 1, 10); }, true},
      {"a size equal to a constant", [&] { C::constraintWithItem(a, W, EQ, nullptr, NA, 1, 10); }, false},
      {"width equal to another axis' height", [&] { C::constraintWithItem(a, W, EQ, b, H, 2, 0); }, false},
      {"centre with left", [&] { C::constraintWithItem(a, CX, EQ, b, L, 1, 0); }, false},
      {"priority 0", [&] { size(a, W, 1)->setPriority(0); }, true},
      {"required to optional while active",
       [&] {
         auto c = size(a, W, 1);
         a->addConstraint(c);
         c->setPriority(999);
       },
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.raises) {
      EXPECT_THROW(c.make(), NSException);
    } else {
      EXPECT_NO_THROW(c.make());
    }
  }
}

TEST(UIKitLayoutEngine, DescriptionsFollowUIKitAndCanBeReplaced) {
  auto a = UIView::make(), b = UIView::make();
  auto c = C::constraintWithItem(a, W, EQ, b, W, 0.5, -8);
  c->setPriority(750);
  auto text = c->description()->utf8();
  EXPECT_NE(text.find("<NSLayoutConstraint:0x"), std::string::npos);
  EXPECT_NE(text.find(".width == 0.5*UIView:0x"), std::string::npos) << text;
  EXPECT_NE(text.find(".width - 8 @750   (inactive)>"), std::string::npos) << text;
  EXPECT_NE(size(a, H, 100)->description()->utf8().find(".height == 100   (inactive)>"), std::string::npos);
  NSLayoutConstraint::setDescriptionProvider(
      [](const NSLayoutConstraint&) { return NSString::stringWithUTF8String("mine"); });
  EXPECT_EQ(c->description()->utf8(), "mine");
  NSLayoutConstraint::setDescriptionProvider(nullptr);
}

}  // namespace
