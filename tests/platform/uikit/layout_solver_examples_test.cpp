// The constraint systems a layout builder produces, solved to the frames a person expects.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/uikit/layout/Solver.h"
#include "tests/platform/uikit/layout_solver_boxes.h"

namespace {

using namespace zvt::layout;
using zvt::layout::testing::Box;

struct Frame {
  double x, y, w, h;
};

// A 320 x 480 root at the origin.
std::vector<Constraint> rootAt(const Box& root) {
  return {root.x == 0, root.y == 0, root.w == 320, root.h == 480};
}

// A label's intrinsic width: hugging keeps it from growing, compression resistance from shrinking.
std::vector<Constraint> intrinsicWidth(const Box& b, double width, float hugging, float resistance) {
  return {(b.w <= width).withPriority(hugging), (b.w >= width).withPriority(resistance)};
}

struct Example {
  std::string name;
  std::function<std::vector<Constraint>(const Box& root, const std::vector<Box>& views)> build;
  std::vector<Frame> expected;
};

std::vector<Constraint> join(std::vector<std::vector<Constraint>> parts) {
  std::vector<Constraint> all;
  for (auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST(LayoutSolverExamples, BuilderSystemsGiveTheExpectedFrames) {
  const std::vector<Example> examples = {
      {"edges inset by top 10, left 20, bottom 30, right 40",
       [](const Box& r, const std::vector<Box>& v) {
         return join({rootAt(r),
                      {v[0].left() == r.left() + 20, v[0].right() == r.right() - 40, v[0].top() == r.top() + 10,
                       v[0].bottom() == r.bottom() - 30}});
       },
       {{20, 10, 260, 440}}},
      {"centred with a fixed size",
       [](const Box& r, const std::vector<Box>& v) {
         return join({rootAt(r),
                      {v[0].w == 100, v[0].h == 50, v[0].centerX() == r.centerX(), v[0].centerY() == r.centerY()}});
       },
       {{110, 215, 100, 50}}},
      {"equal widths with a multiplier, stacked with a gap",
       [](const Box& r, const std::vector<Box>& v) {
         return join({rootAt(r),
                      {v[0].left() == r.left(), v[0].top() == r.top(), v[0].w == r.w * 0.5, v[0].h == 40,
                       v[1].left() == v[0].left(), v[1].top() == v[0].bottom() + 8, v[1].w == v[0].w * 0.5,
                       v[1].h == v[0].h}});
       },
       {{0, 0, 160, 40}, {0, 48, 80, 40}}},
      {"a label's intrinsic width pushes its sibling that hugs more weakly",
       [](const Box& r, const std::vector<Box>& v) {
         return join({rootAt(r), intrinsicWidth(v[0], 100, 251, 750), intrinsicWidth(v[1], 80, 250, 750),
                      {v[0].left() == r.left() + 8, v[1].left() == v[0].right() + 8, v[1].right() == r.right() - 8,
                       v[0].top() == 0, v[1].top() == 0, v[0].h == 20, v[1].h == 20}});
       },
       {{8, 0, 100, 20}, {116, 0, 196, 20}}},
      {"too little room: the weaker compression resistance gives way",
       [](const Box& r, const std::vector<Box>& v) {
         return join({{r.x == 0, r.y == 0, r.w == 150, r.h == 480}, intrinsicWidth(v[0], 100, 250, 750),
                      intrinsicWidth(v[1], 80, 250, 749),
                      {v[0].left() == r.left(), v[1].left() == v[0].right(), v[1].right() <= r.right(),
                       v[0].top() == 0, v[1].top() == 0, v[0].h == 20, v[1].h == 20}});
       },
       {{0, 0, 100, 20}, {100, 0, 50, 20}}},
      {"priority 999 gives way to a required limit",
       [](const Box& r, const std::vector<Box>& v) {
         return join({rootAt(r),
                      {(v[0].w == 300).withPriority(999), v[0].right() <= r.right() - 40, v[0].left() == 20,
                       v[0].top() == 0, v[0].h == 10}});
       },
       {{20, 0, 260, 10}}},
      {"one 999 outweighs any number of 998s",
       [](const Box& r, const std::vector<Box>& v) {
         std::vector<Constraint> c = rootAt(r);
         for (int i = 0; i < 5; ++i) c.push_back((v[0].w == 50).withPriority(998));
         return join({c, {(v[0].w == 70).withPriority(999), v[0].x == 0, v[0].y == 0, v[0].h == 1}});
       },
       {{0, 0, 70, 1}}},
      {">= and <= limits clamp a wish",
       [](const Box& r, const std::vector<Box>& v) {
         return join({rootAt(r),
                      {v[0].w >= 50, v[0].w <= 200, (v[0].w == 300).withPriority(750), v[1].w >= 50,
                       v[1].w <= 200, (v[1].w == 10).withPriority(750), v[0].x == 0, v[0].y == 0, v[0].h == 1,
                       v[1].x == 0, v[1].y == 1, v[1].h == 1}});
       },
       {{0, 0, 200, 1}, {0, 1, 50, 1}}},
      {"three views side by side, fixed spacing 10, lead and tail 10",
       [](const Box& r, const std::vector<Box>& v) {
         std::vector<Constraint> c = rootAt(r);
         c.push_back(v[0].left() == r.left() + 10);
         for (int i = 1; i < 3; ++i) {
           c.push_back(v[i].w == v[i - 1].w);
           c.push_back(v[i].left() == v[i - 1].right() + 10);
         }
         c.push_back(v[2].right() == r.right() - 10);
         for (const Box& b : v) {
           c.push_back(b.top() == 0);
           c.push_back(b.h == 10);
         }
         return c;
       },
       {{10, 0, 280.0 / 3, 10}, {10 + 280.0 / 3 + 10, 0, 280.0 / 3, 10}, {320 - 10 - 280.0 / 3, 0, 280.0 / 3, 10}}},
      {"three views of length 50 spread over 300 by multiplied rights",
       [](const Box& r, const std::vector<Box>& v) {
         std::vector<Constraint> c = {r.x == 0, r.y == 0, r.w == 300, r.h == 100, v[0].left() == r.left(),
                                      v[0].w == 50, v[1].w == 50, v[1].right() == r.right() * 0.5 + 25, v[2].w == 50,
                                      v[2].right() == r.right()};
         for (const Box& b : v) {
           c.push_back(b.top() == 0);
           c.push_back(b.h == 10);
         }
         return c;
       },
       {{0, 0, 50, 10}, {125, 0, 50, 10}, {250, 0, 50, 10}}},
  };
  for (const Example& e : examples) {
    SCOPED_TRACE(e.name);
    Box root;
    std::vector<Box> views(e.expected.size());
    Solver solver;
    for (const Constraint& c : e.build(root, views)) ASSERT_TRUE(solver.addConstraint(c).ok());
    solver.updateVariables();
    for (size_t i = 0; i < views.size(); ++i) {
      SCOPED_TRACE("view " + std::to_string(i));
      EXPECT_NEAR(views[i].x.value(), e.expected[i].x, 1e-6);
      EXPECT_NEAR(views[i].y.value(), e.expected[i].y, 1e-6);
      EXPECT_NEAR(views[i].w.value(), e.expected[i].w, 1e-6);
      EXPECT_NEAR(views[i].h.value(), e.expected[i].h, 1e-6);
      EXPECT_FALSE(solver.isAmbiguous(views[i].x) || solver.isAmbiguous(views[i].w));
    }
    EXPECT_EQ(solver.checkTableau(), "");
  }
}

}  // namespace
