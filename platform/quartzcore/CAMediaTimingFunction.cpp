#include "platform/quartzcore/CAMediaTimingFunction.h"

#include <algorithm>
#include <cmath>

namespace {

// One coordinate of the cubic from 0 to 1 with control values p1 and p2.
CGFloat bezier(CGFloat t, CGFloat p1, CGFloat p2) {
  CGFloat u = 1 - t;
  return 3 * u * u * t * p1 + 3 * u * t * t * p2 + t * t * t;
}

CGFloat bezierSlope(CGFloat t, CGFloat p1, CGFloat p2) {
  CGFloat u = 1 - t;
  return 3 * u * u * p1 + 6 * u * t * (p2 - p1) + 3 * t * t * (1 - p2);
}

}  // namespace

CAMediaTimingFunction::CAMediaTimingFunction(CGFloat c1x, CGFloat c1y, CGFloat c2x, CGFloat c2y)
    : c1x_(std::clamp<CGFloat>(c1x, 0, 1)), c1y_(c1y), c2x_(std::clamp<CGFloat>(c2x, 0, 1)), c2y_(c2y) {}

std::shared_ptr<CAMediaTimingFunction> CAMediaTimingFunction::functionWithName(const std::shared_ptr<NSString>& name) {
  if (!name) return nullptr;
  const std::string n = name->utf8();
  if (n == "linear") return functionWithControlPoints(0, 0, 1, 1);
  if (n == "easeIn") return functionWithControlPoints(0.42, 0, 1, 1);
  if (n == "easeOut") return functionWithControlPoints(0, 0, 0.58, 1);
  if (n == "easeInEaseOut") return functionWithControlPoints(0.42, 0, 0.58, 1);
  if (n == "default") return functionWithControlPoints(0.25, 0.1, 0.25, 1);
  return nullptr;
}

std::shared_ptr<CAMediaTimingFunction> CAMediaTimingFunction::functionWithControlPoints(CGFloat c1x, CGFloat c1y,
                                                                                        CGFloat c2x, CGFloat c2y) {
  return std::make_shared<CAMediaTimingFunction>(c1x, c1y, c2x, c2y);
}

CGPoint CAMediaTimingFunction::controlPointAtIndex(size_t index) const {
  switch (index) {
    case 1:
      return CGPointMake(c1x_, c1y_);
    case 2:
      return CGPointMake(c2x_, c2y_);
    case 3:
      return CGPointMake(1, 1);
    default:
      return CGPointZero;
  }
}

void CAMediaTimingFunction::getControlPointAtIndex(size_t index, float values[2]) const {
  CGPoint p = controlPointAtIndex(index);
  values[0] = static_cast<float>(p.x);
  values[1] = static_cast<float>(p.y);
}

CGFloat CAMediaTimingFunction::evaluate(CGFloat time) const {
  CGFloat x = std::clamp<CGFloat>(time, 0, 1);
  if (x == 0 || x == 1) return x;
  if (c1x_ == c1y_ && c2x_ == c2y_) return x;  // a straight line
  // Newton's method from the time itself, then bisection where the slope is too flat.
  CGFloat t = x;
  for (int i = 0; i < 8; ++i) {
    CGFloat err = bezier(t, c1x_, c2x_) - x;
    if (std::fabs(err) < 1e-9) return bezier(t, c1y_, c2y_);
    CGFloat slope = bezierSlope(t, c1x_, c2x_);
    if (std::fabs(slope) < 1e-7) break;
    t -= err / slope;
    if (t < 0 || t > 1) break;
  }
  CGFloat lo = 0, hi = 1;
  t = x;
  for (int i = 0; i < 60; ++i) {
    CGFloat v = bezier(t, c1x_, c2x_);
    if (std::fabs(v - x) < 1e-10) break;
    if (v < x)
      lo = t;
    else
      hi = t;
    t = (lo + hi) / 2;
  }
  return bezier(t, c1y_, c2y_);
}

bool CAMediaTimingFunction::isEqual(const id& other) const {
  auto o = std::dynamic_pointer_cast<CAMediaTimingFunction>(other);
  return o && o->c1x_ == c1x_ && o->c1y_ == c1y_ && o->c2x_ == c2x_ && o->c2y_ == c2y_;
}

std::shared_ptr<NSString> CAMediaTimingFunction::description() const {
  return NSString::fromValidUTF8("<CAMediaTimingFunction: (" + zvt::shortestNumberText(c1x_) + ", " +
                                 zvt::shortestNumberText(c1y_) + ", " + zvt::shortestNumberText(c2x_) + ", " +
                                 zvt::shortestNumberText(c2y_) + ")>");
}
