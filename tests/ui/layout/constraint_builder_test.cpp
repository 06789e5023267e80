// The constraint builder: what the chains make, where they are installed, how update and
// remake treat earlier constraints, the frames the engine solves from them, and the texts
// constraints describe themselves with.

#include <gtest/gtest.h>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSLog.h"
#include "tests/platform/uikit/UIKitTestSupport.h"
#include "ui/layout/LCAdditions.h"

namespace {

using Make = std::shared_ptr<LCConstraintMaker>;
using zvt::uitest::Screen;

std::string text(const std::shared_ptr<NSString>& s) { return s ? s->utf8() : "(null)"; }

std::vector<std::shared_ptr<LCViewConstraint>> singles(const LCConstraints& made) {
  std::vector<std::shared_ptr<LCViewConstraint>> out;
  std::function<void(const std::shared_ptr<LCConstraint>&)> walk = [&](const std::shared_ptr<LCConstraint>& c) {
    if (auto single = zvt::as<LCViewConstraint>(c)) out.push_back(single);
    if (auto composite = zvt::as<LCCompositeConstraint>(c))
      for (auto& child : composite->childConstraints()) walk(child);
  };
  for (auto& c : made) walk(c);
  return out;
}

class ConstraintBuilder : public ::testing::Test {
 protected:
  Screen screen;
  std::shared_ptr<UIView> parent = screen.add(CGRectMake(0, 0, 320, 400));
  std::shared_ptr<UIView> view = screen.add(CGRectZero, parent);
  std::shared_ptr<UIView> other = screen.add(CGRectMake(10, 20, 100, 50), parent);
};

TEST_F(ConstraintBuilder, ChainsMakeTheConstraintsAndInstallThemWhereTheyBelong) {
  struct Case {
    const char* name;
    std::function<void(const Make&, const std::shared_ptr<UIView>& other)> chain;
    // first attribute, relation, second attribute (0: none), multiplier, constant, holder: 'p' parent, 'v' view
    std::vector<std::tuple<NSLayoutAttribute, NSLayoutRelation, NSLayoutAttribute, double, double, char>> expected;
  };
  const NSLayoutRelation EQ = NSLayoutRelationEqual, GE = NSLayoutRelationGreaterThanOrEqual;
  std::vector<Case> cases = {
      {"edges to the superview",
       [](const Make& m, const std::shared_ptr<UIView>&) { m->edges()->equalTo(nullptr); },
       {{NSLayoutAttributeLeft, EQ, NSLayoutAttributeLeft, 1, 0, 'p'},
        {NSLayoutAttributeRight, EQ, NSLayoutAttributeRight, 1, 0, 'p'},
        {NSLayoutAttributeTop, EQ, NSLayoutAttributeTop, 1, 0, 'p'},
        {NSLayoutAttributeBottom, EQ, NSLayoutAttributeBottom, 1, 0, 'p'}}},
      {"left equal to a number", [](const Make& m, auto&) { m->left()->lc_equalTo(10); },
       {{NSLayoutAttributeLeft, EQ, NSLayoutAttributeLeft, 1, 10, 'p'}}},
      {"width equal to a number", [](const Make& m, auto&) { m->width()->lc_equalTo(100.0); },
       {{NSLayoutAttributeWidth, EQ, NSLayoutAttributeNotAnAttribute, 1, 100, 'v'}}},
      {"left and top to another view",
       [](const Make& m, const std::shared_ptr<UIView>& o) { m->left()->top()->equalTo(o)->offset(5); },
       {{NSLayoutAttributeLeft, EQ, NSLayoutAttributeLeft, 1, 5, 'p'},
        {NSLayoutAttributeTop, EQ, NSLayoutAttributeTop, 1, 5, 'p'}}},
      {"divided by two", [](const Make& m, const std::shared_ptr<UIView>& o) { m->width()->equalTo(o)->dividedBy(2); },
       {{NSLayoutAttributeWidth, EQ, NSLayoutAttributeWidth, 0.5, 0, 'p'}}},
      {"edges with insets",
       [](const Make& m, auto&) { m->edges()->equalTo(nullptr)->insets(UIEdgeInsetsMake(10, 20, 30, 40)); },
       {{NSLayoutAttributeLeft, EQ, NSLayoutAttributeLeft, 1, 20, 'p'},
        {NSLayoutAttributeRight, EQ, NSLayoutAttributeRight, 1, -40, 'p'},
        {NSLayoutAttributeTop, EQ, NSLayoutAttributeTop, 1, 10, 'p'},
        {NSLayoutAttributeBottom, EQ, NSLayoutAttributeBottom, 1, -30, 'p'}}},
      {"size and center from boxed values",
       [](const Make& m, auto&) {
         m->size()->lc_equalTo(CGSizeMake(30, 40));
         m->center()->lc_equalTo(nullptr)->lc_offset(CGPointMake(3, -4));
       },
       {{NSLayoutAttributeWidth, EQ, NSLayoutAttributeNotAnAttribute, 1, 30, 'v'},
        {NSLayoutAttributeHeight, EQ, NSLayoutAttributeNotAnAttribute, 1, 40, 'v'},
        {NSLayoutAttributeCenterX, EQ, NSLayoutAttributeCenterX, 1, 3, 'p'},
        {NSLayoutAttributeCenterY, EQ, NSLayoutAttributeCenterY, 1, -4, 'p'}}},
      {"greater than or equal to an array of views",
       [](const Make& m, const std::shared_ptr<UIView>& o) {
         m->left()->greaterThanOrEqualTo(NSArray::arrayWithObjects({o, lc_right(o)}));
       },
       {{NSLayoutAttributeLeft, GE, NSLayoutAttributeLeft, 1, 0, 'p'},
        {NSLayoutAttributeLeft, GE, NSLayoutAttributeRight, 1, 0, 'p'}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto made = lc_remakeConstraints(view, [&](const Make& m) { c.chain(m, other); });
    auto all = singles(made);
    ASSERT_EQ(all.size(), c.expected.size());
    for (size_t i = 0; i < all.size(); ++i) {
      auto [a1, rel, a2, mult, constant, holder] = c.expected[i];
      auto platform = all[i]->layoutConstraint();
      ASSERT_TRUE(platform);
      EXPECT_EQ(platform->firstItem(), view);
      EXPECT_EQ(platform->firstAttribute(), a1);
      EXPECT_EQ(platform->relation(), rel);
      EXPECT_EQ(platform->secondAttribute(), a2);
      EXPECT_DOUBLE_EQ(platform->multiplier(), mult);
      EXPECT_DOUBLE_EQ(platform->constant(), constant);
      EXPECT_EQ(platform->holder(), holder == 'p' ? parent : view);
    }
    EXPECT_FALSE(view->translatesAutoresizingMaskIntoConstraints());
  }
}

TEST_F(ConstraintBuilder, EdgesWithInsetsGiveTheSolvedFrame) {
  lc_makeConstraints(view, [](const Make& m) { m->edges()->equalTo(nullptr)->insets(UIEdgeInsetsMake(10, 20, 30, 40)); });
  screen.device().settle();
  EXPECT_EQ(view->frame(), CGRectMake(20, 10, 260, 360));
}

TEST_F(ConstraintBuilder, UpdateRemakeAndInstallKeepOnePlatformConstraintPerChain) {
  auto count = [&] { return parent->constraints().size() + view->constraints().size(); };
  lc_makeConstraints(view, [](const Make& m) {
    m->left()->lc_equalTo(10);
    m->top()->lc_equalTo(0);
    m->width()->lc_equalTo(50);
    m->height()->lc_equalTo(50);
  });
  ASSERT_EQ(count(), 4u);

  // The same chain with a new constant changes the constant in place.
  auto updated = lc_updateConstraints(view, [](const Make& m) { m->left()->lc_equalTo(30); });
  EXPECT_EQ(count(), 4u);
  screen.device().settle();
  EXPECT_EQ(view->frame().origin.x, 30);
  // A chain that differs in multiplier or priority is a new constraint beside the old one.
  lc_updateConstraints(view, [](const Make& m) { m->width()->lc_equalTo(60)->priority(700); });
  EXPECT_EQ(count(), 5u);

  // Installing a constraint again adds nothing.
  ASSERT_EQ(updated.size(), 1u);
  EXPECT_TRUE(updated[0]->install());
  EXPECT_EQ(count(), 5u);

  // Remake removes everything the builder installed for the view first.
  lc_remakeConstraints(view, [](const Make& m) { m->size()->lc_equalTo(CGSizeMake(5, 5)); });
  EXPECT_EQ(count(), 2u);
  EXPECT_EQ(parent->constraints().size(), 0u);
  EXPECT_EQ(LCViewConstraint::installedConstraintsForView(view).size(), 2u);
}

TEST_F(ConstraintBuilder, ConstantsSetAfterInstallationReachThePlatformConstraint) {
  std::shared_ptr<LCConstraint> left;
  lc_makeConstraints(view, [&](const Make& m) {
    left = m->left()->lc_equalTo(0);
    m->top()->width()->height()->lc_equalTo(40);
  });
  left->offset(70);
  screen.device().settle();
  EXPECT_EQ(view->frame(), CGRectMake(70, 40, 40, 40));
}

TEST_F(ConstraintBuilder, DeactivatedConstraintsLeaveTheLayoutAndComeBack) {
  std::shared_ptr<LCConstraint> wide, narrow, group;
  lc_makeConstraints(view, [&](const Make& m) {
    group = m->group([&] {
      m->left()->top()->lc_equalTo(0);
      m->height()->lc_equalTo(10);
    });
    wide = m->width()->lc_equalTo(200);
  });
  EXPECT_EQ(zvt::as<LCCompositeConstraint>(group)->childConstraints().size(), 2u);
  screen.device().settle();
  EXPECT_EQ(view->frame().size.width, 200);
  wide->deactivate();
  EXPECT_EQ(LCViewConstraint::installedConstraintsForView(view).size(), 3u);
  lc_makeConstraints(view, [&](const Make& m) { narrow = m->width()->lc_equalTo(50); });
  screen.device().settle();
  EXPECT_EQ(view->frame().size.width, 50);
  narrow->uninstall();
  wide->activate();
  screen.device().settle();
  EXPECT_EQ(view->frame().size.width, 200);
  EXPECT_EQ(LCViewConstraint::installedConstraintsForView(view).size(), 4u);
}

TEST_F(ConstraintBuilder, KeysOfCompositesNumberTheirChildren) {
  std::shared_ptr<LCConstraint> composite;
  lc_makeConstraints(view, [&](const Make& m) { composite = m->left()->top()->width()->lc_equalTo(10)->key("box"_ns); });
  auto children = zvt::as<LCCompositeConstraint>(composite)->childConstraints();
  ASSERT_EQ(children.size(), 3u);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(text(zvt::as<NSString>(zvt::as<LCViewConstraint>(children[i])->lc_key())), "box[" + std::to_string(i) + "]");
}

// Views in different trees: there is no view the constraint could be added to. It is neither
// answered as installed nor recorded for the view, and the log says why.
TEST_F(ConstraintBuilder, ViewsWithoutACommonAncestorInstallNothing) {
  auto stranger = UIView::initWithFrame(CGRectMake(0, 0, 10, 10));
  zvt::LogCapture log;
  auto made = lc_makeConstraints(view, [&](const Make& m) { m->left()->equalTo(stranger); });
  EXPECT_TRUE(made.empty());
  EXPECT_TRUE(LCViewConstraint::installedConstraintsForView(view).empty());
  EXPECT_TRUE(log.contains("no common ancestor"));
  // A position related to a superview the view does not have is refused the same way.
  auto lone = UIView::initWithFrame(CGRectZero);
  EXPECT_TRUE(lc_makeConstraints(lone, [](const Make& m) { m->top()->lc_equalTo(5); }).empty());
}

TEST_F(ConstraintBuilder, AbstractPrimitivesRaiseNamingTheSelector) {
  auto abstract = std::make_shared<LCConstraint>();
  try {
    abstract->offset(3);
    FAIL() << "no exception";
  } catch (const NSException& e) {
    EXPECT_EQ(text(e.name()), "NSInternalInconsistencyException");
    EXPECT_EQ(text(e.reason()), "You must override setOffset: in a subclass.");
  }
}

TEST(ConstraintBuilderBoxing, TypeEncodingsGiveTheirObjects) {
  double d = 1.5;
  float f = 2.5f;
  int i = -3;
  unsigned short s = 7;
  bool b = true;
  CGSize size{4, 5};
  struct Case {
    const char* type;
    const void* value;
    std::string description;
  } cases[] = {{"d", &d, "1.5"},          {"f", &f, "2.5"}, {"i", &i, "-3"},
               {"S", &s, "7"},            {"B", &b, "1"},   {"{CGSize=dd}", &size, "NSSize: {4, 5}"},
               {"{CGRect=}", &size, "(null)"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    id boxed = LCBoxValueOfType(c.type, c.value);
    EXPECT_EQ(boxed ? text(boxed->description()) : "(null)", c.description);
  }
}

TEST_F(ConstraintBuilder, DistributionSpreadsViewsAlongAnAxis) {
  auto row = screen.add(CGRectMake(0, 0, 320, 40));
  LCViews three;
  for (int i = 0; i < 3; ++i) three.push_back(screen.add(CGRectZero, row));
  for (auto& v : three) lc_makeConstraints(v, [](const Make& m) { m->top()->bottom()->equalTo(nullptr); });
  lc_distributeViewsAlongAxisWithFixedSpacing(three, UILayoutConstraintAxisHorizontal, 10, 10, 10);
  screen.device().settle();
  // 3w + 2 x 10 + 10 + 10 = 320, each frame rounded to the screen's half points.
  for (auto& v : three) EXPECT_NEAR(v->frame().size.width, 93.33, 0.5);
  EXPECT_DOUBLE_EQ(CGRectGetMaxX(three[2]->frame()), 310);

  auto wide = screen.add(CGRectMake(0, 100, 300, 40));
  LCViews fixed;
  for (int i = 0; i < 3; ++i) fixed.push_back(screen.add(CGRectZero, wide));
  for (auto& v : fixed) lc_makeConstraints(v, [](const Make& m) { m->top()->bottom()->equalTo(nullptr); });
  lc_distributeViewsAlongAxisWithFixedItemLength(fixed, UILayoutConstraintAxisHorizontal, 50, 0, 0);
  screen.device().settle();
  const double lefts[] = {0, 125, 250};
  for (int i = 0; i < 3; ++i) {
    EXPECT_DOUBLE_EQ(fixed[i]->frame().origin.x, lefts[i]);
    EXPECT_DOUBLE_EQ(fixed[i]->frame().size.width, 50);
  }

  // One view, or none: nothing is made.
  auto single = screen.add(CGRectZero, row);
  lc_distributeViewsAlongAxisWithFixedSpacing({single}, UILayoutConstraintAxisVertical, 1, 1, 1);
  lc_distributeViewsAlongAxisWithFixedItemLength({}, UILayoutConstraintAxisVertical, 1, 1, 1);
  EXPECT_TRUE(single->constraints().empty());
  EXPECT_EQ(lc_commonSuperviewOfViews({three[0], nullptr, fixed[1]}), screen.window);
}

TEST_F(ConstraintBuilder, DescriptionsNameViewsByTheirKeys) {
  setLc_key(view, "avatar"_ns);
  auto keyed = singles(lc_makeConstraints(view, [&](const Make& m) {
    m->width()->lc_equalTo(100)->key("w"_ns);
    m->left()->equalTo(lc_right(other))->offset(-8);
    m->top()->equalTo(other);
    m->height()->equalTo(other)->multipliedBy(2)->priority(999);
    m->bottom()->lc_equalTo(0)->priorityHigh();
  }));
  char otherAddress[32];
  std::snprintf(otherAddress, sizeof otherAddress, "%p", static_cast<const void*>(other.get()));
  std::string o = std::string("UIView:") + otherAddress;
  std::vector<std::pair<std::string, std::string>> expected = {
      {"<LCLayoutConstraint:w UIView:avatar.width == 100>", ""},
      {"", " UIView:avatar.left == " + o + ".right - 8>"},
      {"", " UIView:avatar.top == " + o + ".top>"},
      {"", " UIView:avatar.height == " + o + ".height * 2 ^999>"},
      {"", " UIView:avatar.bottom == UIView:0x"},
  };
  ASSERT_EQ(keyed.size(), expected.size());
  for (size_t i = 0; i < keyed.size(); ++i) {
    std::string d = text(keyed[i]->layoutConstraint()->description());
    if (!expected[i].first.empty()) {
      EXPECT_EQ(d, expected[i].first);
    } else {
      EXPECT_EQ(d.rfind("<LCLayoutConstraint:0x", 0), 0u) << d;
    }
    if (!expected[i].second.empty()) {
      EXPECT_NE(d.find(expected[i].second), std::string::npos) << d;
    }
  }
  EXPECT_NE(text(keyed[4]->layoutConstraint()->description()).find(".bottom ^high>"), std::string::npos);
  // The platform's own constraints are described the same way.
  auto plain = NSLayoutConstraint::constraintWithItem(view, NSLayoutAttributeWidth, NSLayoutRelationEqual, nullptr,
                                                      NSLayoutAttributeNotAnAttribute, 1, 0);
  EXPECT_EQ(text(plain->description()).rfind("<NSLayoutConstraint:0x", 0), 0u);
  EXPECT_NE(text(plain->description()).find(" UIView:avatar.width == 0>"), std::string::npos);
}

}  // namespace

namespace {

// Made constraints (not updates, which look for a similar one anyway) installed again: each is
// in place once already, so the second install answers yes and adds nothing anywhere.
TEST_F(ConstraintBuilder, InstallingAMadeConstraintAgainAddsNothing) {
  struct Case {
    const char* name;
    std::function<void(const Make&, const std::shared_ptr<UIView>& other)> chain;
    size_t platform;  // platform constraints the chain makes
  };
  const Case cases[] = {
      {"left to the superview", [](const Make& m, auto&) { m->left()->lc_equalTo(10); }, 1},
      {"a width of its own", [](const Make& m, auto&) { m->width()->lc_equalTo(50); }, 1},
      {"edges to the superview", [](const Make& m, auto&) { m->edges()->equalTo(nullptr); }, 4},
      {"top to a sibling's bottom",
       [](const Make& m, const std::shared_ptr<UIView>& o) { m->top()->equalTo(lc_bottom(o))->offset(4); }, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto fresh = screen.add(CGRectZero, parent);
    // The platform constraints of the fresh view, wherever they were put.
    auto count = [&] {
      size_t n = 0;
      for (const auto& holder : {parent, fresh})
        for (const auto& constraint : holder->constraints()) n += constraint->firstItem() == fresh;
      return n;
    };
    auto made = lc_makeConstraints(fresh, [&](const Make& m) { c.chain(m, other); });
    ASSERT_EQ(made.size(), 1u);
    ASSERT_EQ(count(), c.platform);
    for (int again = 0; again < 2; ++again) {
      EXPECT_TRUE(made[0]->install());
      made[0]->activate();
      EXPECT_EQ(count(), c.platform);
      EXPECT_EQ(LCViewConstraint::installedConstraintsForView(fresh).size(), c.platform);
    }
    // Taken back once, it is gone: no second copy stayed behind.
    made[0]->uninstall();
    EXPECT_EQ(count(), 0u);
    EXPECT_TRUE(LCViewConstraint::installedConstraintsForView(fresh).empty());
  }
}

}  // namespace
