// Changing, removing and contradicting constraints after a layout has been solved, edit
// variables, misuse, and determinism.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/uikit/layout/Solver.h"
#include "tests/platform/uikit/layout_solver_boxes.h"

namespace {

using namespace zvt::layout;
using zvt::layout::testing::Box;

std::vector<double> valuesOf(const Solver& solver, const std::vector<Variable>& vars) {
  std::vector<double> out;
  for (const Variable& v : vars) out.push_back(solver.valueOf(v));
  return out;
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
  for (const auto& k : {v.x >= 0, v.right() <= 320, v.w == 100, (v.x == 10).withPriority(250)}) solver.addConstraint(k);
  ASSERT_TRUE(solver.addEditVariable(v.x, 999).ok());
  EXPECT_EQ(solver.valueOf(v.x), 10) << "an edit starts where the variable is";
  for (auto [suggested, expected] : {std::pair{50.0, 50.0}, {300.0, 220.0}, {-10.0, 0.0}, {123.25, 123.25}}) {
    ASSERT_TRUE(solver.suggestValue(v.x, suggested).ok());
    EXPECT_EQ(solver.valueOf(v.x), expected) << "suggested " << suggested;
  }
  ASSERT_TRUE(solver.removeEditVariable(v.x).ok());
  EXPECT_EQ(solver.valueOf(v.x), 10) << "the weaker wish takes over again";
}

TEST(LayoutSolverIncremental, MisuseIsRefusedWithoutHarm) {
  Variable x("x"), y("y"), moved("moved");
  Variable taker = std::move(moved);
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
      {"a variable moved from", solver.addConstraint(moved == 5).status, Status::Ok},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.expected) << c.name;
  EXPECT_EQ(solver.valueOf(x), 10);
  EXPECT_EQ(solver.valueOf(taker), 5) << "a move leaves both names on one variable";
  EXPECT_EQ(solver.constraints().size(), 2u) << "an edit is no constraint of the caller's";
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

// A long editing session on a random screen: constraints added, removed and changed at random,
// then everything let go added again (what contradicts stays out).
struct Session {
  std::vector<Box> views = std::vector<Box>(80);
  std::vector<Constraint> all;
  std::vector<bool> held;
  Solver solver;

  explicit Session(unsigned seed) : all(randomScreen(views, seed)), held(all.size(), false) {
    std::mt19937 rng(seed);
    for (int step = 0; step < 3000; ++step) {
      size_t i = rng() % all.size();
      Constraint& c = all[i];
      switch (rng() % 4) {
        case 0:
        case 1: held[i] = held[i] || solver.addConstraint(c).ok(); break;
        case 2: held[i] = held[i] && !solver.removeConstraint(c).ok(); break;
        case 3:
          if (held[i]) held[i] = solver.setConstant(c, c.constant() + static_cast<double>(rng() % 21) - 10).ok();
          break;
      }
    }
    for (size_t i = 0; i < all.size(); ++i) held[i] = held[i] || solver.addConstraint(all[i]).ok();
    solver.updateVariables();
  }
  std::vector<Variable> variables() const {
    std::vector<Variable> out;
    for (const Box& b : views) out.insert(out.end(), {b.x, b.y, b.w, b.h});
    return out;
  }
};

TEST(LayoutSolverIncremental, SameCallsGiveBitIdenticalValues) {
  for (unsigned seed : {1u, 2u}) {
    Session first(seed), second(seed);
    std::vector<double> a, b;
    for (const Variable& v : first.variables()) a.push_back(v.value());
    for (const Variable& v : second.variables()) b.push_back(v.value());
    EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(double)), 0) << "seed " << seed;
  }
}

TEST(LayoutSolverIncremental, ALongEditingSessionEndsWhereAFreshSolveDoes) {
  Session session(7);
  ASSERT_EQ(session.solver.checkTableau(), "");
  Solver fresh;
  for (size_t i = 0; i < session.all.size(); ++i) {
    if (session.held[i]) {
      ASSERT_TRUE(fresh.addConstraint(session.all[i].withPriority(session.all[i].priority())).ok());
    }
  }
  size_t compared = 0;
  for (const Variable& v : session.variables()) {
    ASSERT_EQ(session.solver.isAmbiguous(v), fresh.isAmbiguous(v));
    if (session.solver.isAmbiguous(v)) continue;
    EXPECT_NEAR(v.value(), fresh.valueOf(v), 1e-6);
    ++compared;
  }
  EXPECT_GT(compared, session.views.size()) << "enough of the layout is determined to compare";
}

TEST(LayoutSolverIncremental, SnappingMakesNoiseDisappear) {
  for (auto [in, out] : {std::pair{113.49999999997, 113.5}, {113.50000000003, 113.5}, {-1e-12, 0.0}, {1e300, 1e300}}) {
    EXPECT_EQ(Solver::snap(in), out) << in;
  }
  EXPECT_FALSE(std::signbit(Solver::snap(-1e-12))) << "no negative zero";
  double third = Solver::snap(280.0 / 3);
  EXPECT_NEAR(third, 280.0 / 3, 1e-6);
  EXPECT_EQ(Solver::snap(280.0 / 3 + 1e-11), third);
}

}  // namespace
