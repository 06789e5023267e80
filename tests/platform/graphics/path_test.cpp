// Paths: the shapes' extents and directions, arcs (clockwise, wrapping, full turns, tangent arcs),
// hit tests under both fill rules, copies, transforms, element walks, and the context's current
// path seen from user space; UIBezierPath's rounded corners.

#include <gtest/gtest.h>

#include <cmath>

#include "platform/graphics/CGPath.h"
#include "platform/graphics/UIBezierPath.h"
#include "tests/platform/graphics/Canvas.h"

using namespace zvt::test;

namespace {

const double kPi = 3.14159265358979323846;

void expectRectNear(CGRect a, CGRect b, double tolerance, const char* what) {
  EXPECT_NEAR(a.origin.x, b.origin.x, tolerance) << what;
  EXPECT_NEAR(a.origin.y, b.origin.y, tolerance) << what;
  EXPECT_NEAR(a.size.width, b.size.width, tolerance) << what;
  EXPECT_NEAR(a.size.height, b.size.height, tolerance) << what;
}

std::string elementTypes(const CGPathRef& path) {
  std::string out;
  CGPathApply(path, [&](const CGPathElement* e) { out += "MLQCZ"[e->type]; });
  return out;
}

}  // namespace

TEST(Paths, ShapesAndArcsHaveTheirExtents) {
  auto arc = [](double a0, double a1, bool clockwise) {
    auto p = CGPathCreateMutable();
    CGPathAddArc(p, nullptr, 0, 0, 10, a0, a1, clockwise);
    return CGPathRef(p);
  };
  struct Case {
    const char* name;
    CGPathRef path;
    CGRect box;
  } cases[] = {
      {"rect", CGPathCreateWithRect(CGRectMake(1, 2, 3, 4), nullptr), CGRectMake(1, 2, 3, 4)},
      {"ellipse", CGPathCreateWithEllipseInRect(CGRectMake(0, 0, 20, 10), nullptr), CGRectMake(0, 0, 20, 10)},
      {"rounded", CGPathCreateWithRoundedRect(CGRectMake(0, 0, 20, 10), 30, 30, nullptr), CGRectMake(0, 0, 20, 10)},
      // A quarter towards increasing angles: from (10, 0) to (0, 10).
      {"quarter", arc(0, kPi / 2, false), CGRectMake(0, 0, 10, 10)},
      // The same angles clockwise go the long way round.
      {"three quarters", arc(0, kPi / 2, true), CGRectMake(-10, -10, 20, 20)},
      // More than a turn is one turn; equal angles draw nothing but the start point.
      {"two turns", arc(0, 4 * kPi + 1, false), CGRectMake(-10, -10, 20, 20)},
      {"none", arc(1, 1, false), CGRectMake(10 * std::cos(1), 10 * std::sin(1), 0, 0)},
  };
  for (const auto& c : cases) expectRectNear(CGPathGetPathBoundingBox(c.path), c.box, 1e-3, c.name);
  EXPECT_TRUE(CGRectIsNull(CGPathGetBoundingBox(CGPathCreateMutable())));
  // Control points count in the plain bounding box only.
  auto curve = CGPathCreateMutable();
  CGPathMoveToPoint(curve, nullptr, 0, 0);
  CGPathAddCurveToPoint(curve, nullptr, 0, 10, 10, 10, 10, 0);
  EXPECT_EQ(CGPathGetBoundingBox(curve).size.height, 10);
  EXPECT_NEAR(CGPathGetPathBoundingBox(curve).size.height, 7.5, 0.01);
}

TEST(Paths, TangentArcsHitTestsAndFillRules) {
  // A corner rounded by an arc of radius 5 from (0, 0) via (20, 0) towards (20, 20).
  auto corner = CGPathCreateMutable();
  CGPathMoveToPoint(corner, nullptr, 0, 0);
  CGPathAddArcToPoint(corner, nullptr, 20, 0, 20, 20, 5);
  CGPoint end = CGPathGetCurrentPoint(corner);
  EXPECT_NEAR(end.x, 20, 1e-9);
  EXPECT_NEAR(end.y, 5, 1e-9);
  EXPECT_EQ(elementTypes(corner), "MLC");
  // Points on one line: just a line to the corner.
  auto straight = CGPathCreateMutable();
  CGPathMoveToPoint(straight, nullptr, 0, 0);
  CGPathAddArcToPoint(straight, nullptr, 10, 0, 20, 0, 5);
  EXPECT_EQ(CGPathGetCurrentPoint(straight), CGPointMake(10, 0));

  // Two squares the same way round, and the inner one turned the other way.
  auto same = CGPathCreateMutable(), opposite = CGPathCreateMutable();
  CGPathAddRect(same, nullptr, CGRectMake(0, 0, 10, 10));
  CGPathAddRect(same, nullptr, CGRectMake(3, 3, 4, 4));
  CGPathAddRect(opposite, nullptr, CGRectMake(0, 0, 10, 10));
  const CGPoint inner[] = {CGPointMake(3, 3), CGPointMake(3, 7), CGPointMake(7, 7), CGPointMake(7, 3)};
  CGPathAddLines(opposite, nullptr, inner, 4);
  CGPathCloseSubpath(opposite);
  struct Case {
    CGPathRef path;
    bool eoFill;
    bool hole;
  } cases[] = {{same, false, false}, {same, true, true}, {opposite, false, true}, {opposite, true, true}};
  for (const auto& c : cases) {
    EXPECT_EQ(CGPathContainsPoint(c.path, nullptr, CGPointMake(5, 5), c.eoFill), !c.hole);
    EXPECT_TRUE(CGPathContainsPoint(c.path, nullptr, CGPointMake(1, 1), c.eoFill));
    EXPECT_FALSE(CGPathContainsPoint(c.path, nullptr, CGPointMake(11, 5), c.eoFill));
  }
  // The transform maps the point before the test.
  const CGAffineTransform shift = CGAffineTransformMakeTranslation(100, 0);
  EXPECT_TRUE(CGPathContainsPoint(same, &shift, CGPointMake(-99, 1), false));
}

TEST(Paths, CopiesTransformsAndRectangles) {
  auto p = CGPathCreateMutable();
  CGPathAddRect(p, nullptr, CGRectMake(1, 1, 2, 2));
  CGRect rect;
  EXPECT_TRUE(CGPathIsRect(p, &rect));
  EXPECT_EQ(rect, CGRectMake(1, 1, 2, 2));
  auto copy = CGPathCreateCopy(p);
  auto mutableCopy = CGPathCreateMutableCopy(p);
  CGPathAddLineToPoint(mutableCopy, nullptr, 9, 9);
  EXPECT_TRUE(CGPathEqualToPath(copy, p));
  EXPECT_FALSE(CGPathEqualToPath(mutableCopy, p));
  EXPECT_FALSE(CGPathIsRect(mutableCopy, nullptr));
  const CGAffineTransform scale = CGAffineTransformMakeScale(2, 3);
  auto scaled = CGPathCreateCopyByTransformingPath(p, &scale);
  EXPECT_EQ(CGPathGetBoundingBox(scaled), CGRectMake(2, 3, 4, 6));
  EXPECT_EQ(elementTypes(scaled), "MLLLZ");
  // Lines before any move start the path; a close returns to the sub-path's start.
  auto loose = CGPathCreateMutable();
  CGPathAddLineToPoint(loose, nullptr, 4, 4);
  CGPathAddLineToPoint(loose, nullptr, 8, 4);
  CGPathCloseSubpath(loose);
  EXPECT_EQ(elementTypes(loose), "MLZ");
  EXPECT_EQ(CGPathGetCurrentPoint(loose), CGPointMake(4, 4));
  // Non-finite points are dropped.
  CGPathAddLineToPoint(loose, nullptr, NAN, 1);
  EXPECT_EQ(elementTypes(loose), "MLZ");
  EXPECT_FALSE(CGPathCreateCopy(nullptr));
}

TEST(Paths, TheContextsPathIsSeenInUserSpace) {
  Canvas canvas(20, 20, 2);
  CGContextTranslateCTM(canvas.context, 5, 5);
  CGContextMoveToPoint(canvas.context, 1, 1);
  CGContextAddLineToPoint(canvas.context, 3, 4);
  EXPECT_EQ(CGContextGetPathCurrentPoint(canvas.context), CGPointMake(3, 4));
  EXPECT_EQ(CGContextGetPathBoundingBox(canvas.context), CGRectMake(1, 1, 2, 3));
  // Points were mapped when added: a later transform does not move them.
  CGContextTranslateCTM(canvas.context, -5, -5);
  EXPECT_EQ(CGContextGetPathCurrentPoint(canvas.context), CGPointMake(8, 9));
  CGContextAddRect(canvas.context, CGRectMake(0, 0, 4, 4));
  EXPECT_TRUE(CGContextPathContainsPoint(canvas.context, CGPointMake(2, 2), kCGPathFill));
  EXPECT_FALSE(CGContextPathContainsPoint(canvas.context, CGPointMake(5, 2), kCGPathFill));
  auto copy = CGContextCopyPath(canvas.context);
  EXPECT_EQ(elementTypes(copy), "MLMLLLZ");
  CGContextBeginPath(canvas.context);
  EXPECT_TRUE(CGContextIsPathEmpty(canvas.context));
}

TEST(Paths, RoundedRectanglesRoundOnlyTheCornersNamed) {
  const CGRect r = CGRectMake(0, 0, 40, 20);
  struct Case {
    UIRectCorner corners;
    bool topLeft, topRight, bottomLeft, bottomRight;  // whether the very corner is inside
  } cases[] = {
      {UIRectCornerAllCorners, false, false, false, false},
      {UIRectCornerTopLeft, false, true, true, true},
      {UIRectCornerTopRight | UIRectCornerBottomLeft, true, false, false, true},
      {0, true, true, true, true},
  };
  for (const auto& c : cases) {
    auto path = UIBezierPath::bezierPathWithRoundedRect(r, c.corners, CGSizeMake(8, 8));
    EXPECT_EQ(path->containsPoint(CGPointMake(0.5, 0.5)), c.topLeft) << c.corners;
    EXPECT_EQ(path->containsPoint(CGPointMake(39.5, 0.5)), c.topRight) << c.corners;
    EXPECT_EQ(path->containsPoint(CGPointMake(0.5, 19.5)), c.bottomLeft) << c.corners;
    EXPECT_EQ(path->containsPoint(CGPointMake(39.5, 19.5)), c.bottomRight) << c.corners;
    EXPECT_TRUE(path->containsPoint(CGPointMake(20, 10)));
    expectRectNear(path->bounds(), r, 1e-9, "bounds");
  }
  // A radius beyond half the shorter side becomes a capsule.
  auto capsule = UIBezierPath::bezierPathWithRoundedRect(r, 100);
  EXPECT_FALSE(capsule->containsPoint(CGPointMake(2, 2)));
  EXPECT_TRUE(capsule->containsPoint(CGPointMake(10, 1)));
  EXPECT_TRUE(UIBezierPath::bezierPath()->isEmpty());
  EXPECT_EQ(UIBezierPath::bezierPath()->bounds(), CGRectZero);
}
