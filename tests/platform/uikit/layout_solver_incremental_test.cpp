// Changing, removing and contradicting constraints after a layout has been solved, edit
// variables, misuse, and determinism.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/uikit/layout/Solver.h"
#include "tests/platform/uikit/layout_solver_boxes.h"

namespace {

using namespace zvt::layout;
using zvt::layout::testing::Box;

// A small screen: a root, a header pinned to its top edges, a centred badge and a label whose
// intrinsic width pushes a sibling, with the constants that tests change.
struct Screen {
  Box root, header, badge, label, sibling;
  Constraint rootWidth = root.w == 320;
  Constraint headerInset = header.left() == root.left() + 16;
  Constraint headerHeight = header.h == 44;
  Constraint labelWish = (label.w <= 100).withPriority(251);

  std::vector<Constraint> all() const {
    return {root.x == 0, root.y == 0, rootWidth, root.h == 480,
            // header: edges inset, fixed height
            headerInset, header.right() == root.right() - 16, header.top() == root.top() + 20, headerHeight,
            // badge: centred under the header, half its width
            badge.centerX() == header.centerX(), badge.top() == header.bottom() + 8, badge.w == header.w * 0.5,
            badge.h == 30,
            // label and sibling share a row; the label's hugging is the stronger
            labelWish, label.w >= 100, (sibling.w <= 60).withPriority(250), sibling.w >= 60,
            label.left() == root.left() + 8, sibling.left() == label.right() + 8, sibling.right() == root.right() - 8,
            label.top() == badge.bottom() + 8, sibling.top() == label.top(), label.h == 20, sibling.h == 20};
  }
  std::vector<Variable> variables() const {
    std::vector<Variable> v;
    for (const Box* b : {&root, &header, &badge, &label, &sibling}) v.insert(v.end(), {b->x, b->y, b->w, b->h});
    return v;
  }
};

std::vector<double> valuesOf(const Solver& solver, const std::vector<Variable>& vars) {
  std::vector<double> out;
  for (const Variable& v : vars) out.push_back(solver.valueOf(v));
  return out;
}

TEST(LayoutSolverIncremental, ChangedConstantsGiveWhatAFreshSolveGives) {
  struct Change {
    const char* name;
    Constraint Screen::*constraint;
    double constant;
  };
  const Change changes[] = {
      {"wider root", &Screen::rootWidth, 375},   {"larger inset", &Screen::headerInset, 40},
      {"taller header", &Screen::headerHeight, 64}, {"label wants more", &Screen::labelWish, 150},
      {"narrow root", &Screen::rootWidth, 200},  {"back to the start", &Screen::rootWidth, 320},
  };
  Screen screen;
  Solver solver;
  for (const Constraint& c : screen.all()) ASSERT_TRUE(solver.addConstraint(c).ok());
  for (const Change& change : changes) {
    SCOPED_TRACE(change.name);
    ASSERT_TRUE(solver.setConstant(screen.*change.constraint, change.constant).ok());
    EXPECT_EQ((screen.*change.constraint).constant(), change.constant);
    EXPECT_EQ(solver.checkTableau(), "");
    // The same constraints, the changed one with its new constant, solved from nothing.
    Screen fresh;
    Solver reference;
    std::vector<Constraint> held = screen.all(), again = fresh.all();
    for (size_t i = 0; i < held.size(); ++i) {
      const Constraint& c = again[i];
      ASSERT_TRUE(reference.addConstraint(Constraint(c.terms(), c.relation(), held[i].constant(), c.priority())).ok());
    }
    std::vector<double> got = valuesOf(solver, screen.variables()), want = valuesOf(reference, fresh.variables());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-9) << "variable " << i;
  }
  // Back at the first constants: the first solution, bit for bit.
  ASSERT_TRUE(solver.setConstant(screen.headerInset, 16).ok());
  ASSERT_TRUE(solver.setConstant(screen.headerHeight, 44).ok());
  ASSERT_TRUE(solver.setConstant(screen.labelWish, 100).ok());
  Screen first;
  Solver firstSolver;
  for (const Constraint& c : first.all()) firstSolver.addConstraint(c);
  EXPECT_EQ(valuesOf(solver, screen.variables()), valuesOf(firstSolver, first.variables()));
}

TEST(LayoutSolverIncremental, RemovingAViewsConstraintsLeavesTheOthersInPlace) {
  Box root, top, middle, bottom;
  Solver solver;
  std::vector<Constraint> middleConstraints = {middle.top() == top.bottom() + 8, middle.h == 100,
                                               middle.left() == root.left(), middle.w == root.w};
  std::vector<Constraint> rest = {root.x == 0, root.y == 0, root.w == 320, root.h == 480, top.top() == root.top(),
                                  top.h == 50, top.left() == root.left(), top.w == root.w,
                                  bottom.left() == root.left(), bottom.w == root.w, bottom.h == 30};
  Constraint below = bottom.top() == middle.bottom() + 8;
  for (const auto& c : rest) solver.addConstraint(c);
  for (const auto& c : middleConstraints) solver.addConstraint(c);
  solver.addConstraint(below);
  solver.updateVariables();
  EXPECT_EQ(bottom.y.value(), 166);
  // The middle view leaves: its constraints and the one tying the bottom view to it go.
  for (const auto& c : middleConstraints) ASSERT_TRUE(solver.removeConstraint(c).ok());
  ASSERT_TRUE(solver.removeConstraint(below).ok());
  ASSERT_TRUE(solver.addConstraint(bottom.top() == top.bottom() + 8).ok());
  solver.updateVariables();
  EXPECT_EQ(bottom.y.value(), 58);
  EXPECT_EQ(top.h.value(), 50);
  EXPECT_TRUE(solver.isAmbiguous(middle.y)) << "a variable no constraint holds any more";
  EXPECT_EQ(solver.constraints().size(), rest.size() + 1);
  EXPECT_EQ(solver.checkTableau(), "");
}

TEST(LayoutSolverIncremental, ContradictingRequiredConstraintsAreReportedAndTheNewOneBroken) {
  Box a, b;
  Constraint aLeft = a.left() == 0, aWidth = a.w == 50, aTop = a.top() == 0, gap = b.left() == a.right() + 10,
             atLeast = a.w >= 100, atMost = a.w <= 40;
  struct Case {
    const char* name;
    std::vector<Constraint> held;
    Constraint added;
    std::vector<Constraint> conflict;
  };
  const std::vector<Case> cases = {
      {"two widths", {aLeft, aWidth, aTop}, a.w == 80, {aWidth}},
      {"through a chain", {aLeft, aWidth, aTop, gap}, b.left() == 20, {aLeft, aWidth, gap}},
      {"a lower limit", {aLeft, aWidth, aTop}, atLeast, {aWidth}},
      {"limits only", {aLeft, atLeast, aTop}, atMost, {atLeast}},
      {"nothing to satisfy", {aLeft}, Constraint(Expression(0), Relation::Equal, Expression(5)), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Solver solver;
    for (const auto& k : c.held) ASSERT_TRUE(solver.addConstraint(k).ok());
    std::vector<double> before = valuesOf(solver, {a.x, a.y, a.w, b.x});
    Outcome out = solver.addConstraint(c.added);
    ASSERT_EQ(out.status, Status::Unsatisfiable);
    std::vector<Constraint> conflict = c.conflict;
    conflict.push_back(c.added);
    EXPECT_EQ(out.conflict, conflict);
    EXPECT_EQ(out.broken, c.added);
    EXPECT_FALSE(solver.hasConstraint(c.added));
    EXPECT_EQ(valuesOf(solver, {a.x, a.y, a.w, b.x}), before) << "the layout stays as it was";
    EXPECT_EQ(solver.checkTableau(), "");
    // The caller may break another one instead: take one involved out and add again.
    if (!c.conflict.empty()) {
      ASSERT_TRUE(solver.removeConstraint(c.conflict.back()).ok());
      EXPECT_TRUE(solver.addConstraint(c.added).ok());
    }
  }
}

TEST(LayoutSolverIncremental, AConstantChangedIntoAContradictionBreaksThatConstraint) {
  Box a;
  Solver solver;
  Constraint limit = a.w <= 50, width = a.w == 40, optional = (a.w == 45).withPriority(999);
  for (const auto& k : {a.x == 0, limit, width, optional}) ASSERT_TRUE(solver.addConstraint(k).ok());
  EXPECT_EQ(solver.valueOf(a.w), 40);
  ASSERT_TRUE(solver.setConstant(optional, 400).ok()) << "an optional constraint never contradicts";
  Outcome out = solver.setConstant(width, 60);
  ASSERT_EQ(out.status, Status::Unsatisfiable);
  EXPECT_EQ(out.conflict, (std::vector<Constraint>{limit, width}));
  EXPECT_EQ(out.broken, width);
  EXPECT_FALSE(solver.hasConstraint(width));
  EXPECT_EQ(width.constant(), 60);
  EXPECT_EQ(solver.valueOf(a.w), 50) << "the optional wish is now limited by the required one";
  EXPECT_EQ(solver.checkTableau(), "");
}

TEST(LayoutSolverIncremental, EditVariablesFollowSuggestionsWithinRequiredLimits) {
  Box v;
  Solver solver;
  for (const auto& k : {v.x >= 0, v.right() <= 320, v.w == 100, (v.x == 10).withPriority(250)}) {
    ASSERT_TRUE(solver.addConstraint(k).ok());
  }
  ASSERT_TRUE(solver.addEditVariable(v.x, 999).ok());
  EXPECT_EQ(solver.valueOf(v.x), 10) << "an edit starts where the variable is";
  const struct {
    double suggested, expected;
  } steps[] = {{50, 50}, {300, 220}, {-10, 0}, {123.25, 123.25}};
  for (const auto& s : steps) {
    ASSERT_TRUE(solver.suggestValue(v.x, s.suggested).ok());
    EXPECT_EQ(solver.valueOf(v.x), s.expected) << "suggested " << s.suggested;
  }
  ASSERT_TRUE(solver.removeEditVariable(v.x).ok());
  EXPECT_EQ(solver.valueOf(v.x), 10) << "the weaker wish takes over again";
  EXPECT_EQ(solver.checkTableau(), "");
}

TEST(LayoutSolverIncremental, MisuseIsRefusedWithoutHarm) {
  Variable x("x"), y("y");
  Solver solver;
  Constraint held = x == 10, stranger = y == 3;
  ASSERT_TRUE(solver.addConstraint(held).ok());
  const double nan = std::nan("");
  const struct {
    const char* name;
    Status got, expected;
  } cases[] = {
      {"adding twice", solver.addConstraint(held).status, Status::Duplicate},
      {"removing a stranger", solver.removeConstraint(stranger).status, Status::Unknown},
      {"changing a stranger", solver.setConstant(stranger, 1).status, Status::Unknown},
      {"no constraint", solver.addConstraint(Constraint()).status, Status::Invalid},
      {"not a number", solver.addConstraint(x + y == nan).status, Status::Invalid},
      {"infinite coefficient", solver.addConstraint(x * HUGE_VAL == 1).status, Status::Invalid},
      {"priority 0", solver.addConstraint((x == 1).withPriority(0)).status, Status::Invalid},
      {"priority above required", solver.addConstraint((x == 1).withPriority(1001)).status, Status::Invalid},
      {"changing to not a number", solver.setConstant(held, nan).status, Status::Invalid},
      {"required edit", solver.addEditVariable(y, kPriorityRequired).status, Status::Invalid},
      {"suggesting without an edit", solver.suggestValue(y, 1).status, Status::Unknown},
      {"removing a missing edit", solver.removeEditVariable(y).status, Status::Unknown},
      {"first edit", solver.addEditVariable(y, 500).status, Status::Ok},
      {"second edit", solver.addEditVariable(y, 500).status, Status::Duplicate},
      {"suggesting infinity", solver.suggestValue(y, HUGE_VAL).status, Status::Invalid},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.expected) << c.name;
  EXPECT_EQ(solver.valueOf(x), 10);
  EXPECT_EQ(solver.constraints(), std::vector<Constraint>{held}) << "an edit is no constraint of the caller's";
  EXPECT_EQ(solver.checkTableau(), "");
}

// A randomised screen of rows of views, as a layout builder makes them.
std::vector<Constraint> randomScreen(const std::vector<Box>& views, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<Constraint> out = {views[0].x == 0, views[0].y == 0, views[0].w == 375, views[0].h == 667};
  for (size_t i = 1; i < views.size(); ++i) {
    const Box& v = views[i];
    const Box& parent = views[rng() % i];
    const Box& prev = views[i - 1];
    out.push_back(v.left() == parent.left() + static_cast<double>(rng() % 20));
    out.push_back(v.top() == prev.bottom() + static_cast<double>(rng() % 10));
    out.push_back((v.w == parent.w * 0.5).withPriority(rng() % 2 ? 750 : 999));
    out.push_back(v.w <= parent.w);
    out.push_back(v.h >= static_cast<double>(10 + rng() % 30));
    out.push_back((v.h <= 20).withPriority(250));
  }
  return out;
}

TEST(LayoutSolverIncremental, SameCallsGiveBitIdenticalValues) {
  auto run = [](unsigned seed) {
    std::vector<Box> views(120);
    std::vector<Constraint> constraints = randomScreen(views, seed);
    Solver solver;
    for (const auto& c : constraints) solver.addConstraint(c);
    std::mt19937 rng(seed);
    for (int i = 0; i < 20; ++i) {
      const Constraint& c = constraints[rng() % constraints.size()];
      if (i % 3 == 0) {
        solver.removeConstraint(c);
      } else {
        solver.setConstant(c, c.constant() + static_cast<double>(rng() % 7) - 3);
      }
    }
    solver.updateVariables();
    std::vector<double> values;
    for (const Box& b : views) values.insert(values.end(), {b.x.value(), b.y.value(), b.w.value(), b.h.value()});
    return values;
  };
  for (unsigned seed : {1u, 2u, 3u}) {
    std::vector<double> first = run(seed), second = run(seed);
    ASSERT_EQ(first.size(), second.size());
    EXPECT_EQ(std::memcmp(first.data(), second.data(), first.size() * sizeof(double)), 0) << "seed " << seed;
  }
}

TEST(LayoutSolverIncremental, ALongEditingSessionEndsWhereAFreshSolveDoes) {
  std::vector<Box> views(80);
  std::vector<Constraint> all = randomScreen(views, 7);
  std::vector<bool> held(all.size(), false);
  Solver solver;
  std::mt19937 rng(11);
  for (int step = 0; step < 3000; ++step) {
    size_t i = rng() % all.size();
    Constraint& c = all[i];
    switch (rng() % 4) {
      case 0:
      case 1:
        if (!held[i]) held[i] = solver.addConstraint(c).ok();
        break;
      case 2:
        if (held[i]) held[i] = !solver.removeConstraint(c).ok();
        break;
      case 3:
        if (held[i]) held[i] = solver.setConstant(c, c.constant() + static_cast<double>(rng() % 21) - 10).ok();
        break;
    }
  }
  // Everything let go comes back (what contradicts stays out), so that most is determined.
  for (size_t i = 0; i < all.size(); ++i) {
    if (!held[i]) held[i] = solver.addConstraint(all[i]).ok();
  }
  ASSERT_EQ(solver.checkTableau(), "");
  Solver fresh;
  for (size_t i = 0; i < all.size(); ++i) {
    if (held[i]) {
      ASSERT_TRUE(fresh.addConstraint(all[i].withPriority(all[i].priority())).ok());
    }
  }
  size_t compared = 0;
  for (const Box& b : views) {
    for (const Variable& v : {b.x, b.y, b.w, b.h}) {
      ASSERT_EQ(solver.isAmbiguous(v), fresh.isAmbiguous(v));
      if (solver.isAmbiguous(v)) continue;
      EXPECT_NEAR(solver.valueOf(v), fresh.valueOf(v), 1e-6);
      ++compared;
    }
  }
  EXPECT_GT(compared, views.size()) << "enough of the layout is determined to compare";
}

TEST(LayoutSolverIncremental, SnappingMakesNoiseDisappear) {
  const struct {
    double in, out;
  } cases[] = {{113.49999999997, 113.5}, {113.50000000003, 113.5}, {-1e-12, 0}, {-0.0, 0}, {1e300, 1e300}};
  for (const auto& c : cases) {
    double snapped = Solver::snap(c.in);
    EXPECT_EQ(snapped, c.out) << c.in;
    EXPECT_FALSE(std::signbit(snapped) && snapped == 0) << "no negative zero";
  }
  double third = Solver::snap(280.0 / 3);
  EXPECT_NEAR(third, 280.0 / 3, 1e-6);
  EXPECT_EQ(Solver::snap(third), third);
  EXPECT_EQ(Solver::snap(280.0 / 3 + 1e-11), third);
}

}  // namespace
